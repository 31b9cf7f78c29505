// How ALSA's elements become the lines and controls the mixer set-up walks:
// every mixer has two destinations, "Speakers" (DST_SPEAKERS) and
// "Recording Control" (DST_WAVEIN).
// - Speakers: the "Master" element's playback volume is the destination's
//   VOLUME and its playback switch the destination's MUTE (switch on = not
//   muted). A "PCM" (or "Wave") element is the WAVEOUT source; without one,
//   the Master volume is the WAVEOUT source's volume instead (so that the
//   level bar for the output still moves the output), and the destination
//   keeps only the MUTE. Playback elements named after an input (Mic, Line,
//   CD, Aux, Phone, Beep, Synth) are sources of their type with VOLUME and
//   MUTE. Output-path elements (Front, Speaker, Headphone, ...), boosts and
//   anything unrecognised are not shown and so never touched.
// - Recording Control: an enumerated capture element ("Input Source",
//   "Capture Source") is the destination's MUX, one item per entry, each
//   typed by its name. Capture elements named after an input are sources
//   with VOLUME (capture volume) and ONOFF (capture switch); the "Capture"
//   element is then the destination's VOLUME and MUTE. Without per-input
//   elements (a sound server, or a card that selects its input with the
//   enumeration) "Capture" is shown as two sources, "Microphone" and
//   "Line In", each with a VOLUME and an ONOFF of its own; the element
//   follows the louder of the two volumes and the "or" of the two switches
//   (the mixer service keeps the two). So whichever input is chosen, its
//   level bar moves the capture level, and putting both back puts the
//   element back.

#include "platform/alsa/alsa_mixer_layout.h"

#include <array>
#include <cctype>
#include <optional>

#include "platform/mixer/mixer_service.h"

namespace ressona {

namespace {

std::string lowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

LayoutControl control(std::size_t element, Aspect aspect, std::uint32_t type, std::string name) {
    LayoutControl result;
    result.type = type;
    result.name = std::move(name);
    result.element = element;
    result.aspect = aspect;
    return result;
}

LayoutLine line(std::uint32_t type, std::string name) {
    LayoutLine result;
    result.type = type;
    result.name = std::move(name);
    return result;
}

void addCaptureControls(LayoutLine& target, const ElementTraits& traits, std::size_t index,
                        bool switchAsMute) {
    if (traits.captureVolume)
        target.controls.push_back(control(index, Aspect::kCaptureVolume,
                                          MIXERCONTROL_CONTROLTYPE_VOLUME,
                                          traits.name + " Volume"));
    if (!traits.captureSwitch) return;
    if (switchAsMute) {
        target.controls.push_back(control(index, Aspect::kCaptureMute,
                                          MIXERCONTROL_CONTROLTYPE_MUTE, traits.name + " Mute"));
    } else {
        target.controls.push_back(control(index, Aspect::kCaptureSwitch,
                                          MIXERCONTROL_CONTROLTYPE_ONOFF, traits.name + " Switch"));
    }
}

void addSharedCaptureSources(LayoutLine& recording, const ElementTraits& traits,
                             std::size_t index) {
    const std::array<std::pair<std::uint32_t, const char*>, 2> inputs{
        std::pair{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone"},
        std::pair{MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In"}};
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::string name = inputs[i].second;
        LayoutLine source = line(inputs[i].first, name);
        if (traits.captureVolume) {
            source.controls.push_back(control(index, Aspect::kSharedVolume,
                                              MIXERCONTROL_CONTROLTYPE_VOLUME, name + " Volume"));
            source.controls.back().shared = i;
        }
        if (traits.captureSwitch) {
            source.controls.push_back(control(index, Aspect::kSharedSwitch,
                                              MIXERCONTROL_CONTROLTYPE_ONOFF, name + " Switch"));
            source.controls.back().shared = i;
        }
        recording.sources.push_back(std::move(source));
    }
}

}  // namespace

std::uint32_t inputTypeForName(std::string_view name) {
    const std::string n = lowerCase(name);
    if (contains(n, "boost") || contains(n, "out") || contains(n, "mode") ||
        contains(n, "loopback") || contains(n, "master"))
        return 0;
    if (contains(n, "mic")) return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    if (contains(n, "line")) return MIXERLINE_COMPONENTTYPE_SRC_LINE;
    if (contains(n, "cd")) return MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    if (contains(n, "aux")) return MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
    if (contains(n, "phone") && !contains(n, "headphone"))
        return MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE;
    if (contains(n, "beep") || contains(n, "pc speaker"))
        return MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER;
    if (contains(n, "synth") || contains(n, "midi")) return MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER;
    return 0;
}

std::vector<LayoutLine> layOutMixer(const std::vector<ElementTraits>& elements) {
    std::optional<std::size_t> master;
    std::optional<std::size_t> wave;
    std::optional<std::size_t> capture;
    std::optional<std::size_t> inputSelect;
    std::vector<std::size_t> playbackInputs;
    std::vector<std::size_t> captureInputs;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const ElementTraits& e = elements[i];
        if (e.name == "Master" && e.playbackVolume && !master) {
            master = i;
        } else if ((e.name == "PCM" || e.name == "Wave") && e.playbackVolume && !wave) {
            wave = i;
        } else if (e.captureEnum && !inputSelect) {
            inputSelect = i;
        } else if (e.name == "Capture" && (e.captureVolume || e.captureSwitch) && !capture) {
            capture = i;
        } else if (inputTypeForName(e.name) != 0) {
            if (e.playbackVolume) playbackInputs.push_back(i);
            if (e.captureVolume || e.captureSwitch) captureInputs.push_back(i);
        }
    }

    LayoutLine speakers = line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers");
    if (master) {
        if (wave)
            speakers.controls.push_back(control(*master, Aspect::kPlaybackVolume,
                                                MIXERCONTROL_CONTROLTYPE_VOLUME, "Master Volume"));
        if (elements[*master].playbackSwitch)
            speakers.controls.push_back(control(*master, Aspect::kPlaybackMute,
                                                MIXERCONTROL_CONTROLTYPE_MUTE, "Master Mute"));
    }
    if (const std::optional<std::size_t> waveVolume = wave ? wave : master) {
        const std::string& name = elements[*waveVolume].name;
        LayoutLine source = line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, name);
        source.controls.push_back(control(*waveVolume, Aspect::kPlaybackVolume,
                                          MIXERCONTROL_CONTROLTYPE_VOLUME, name + " Volume"));
        if (wave && elements[*wave].playbackSwitch)
            source.controls.push_back(control(*wave, Aspect::kPlaybackMute,
                                              MIXERCONTROL_CONTROLTYPE_MUTE, name + " Mute"));
        speakers.sources.push_back(std::move(source));
    }
    for (const std::size_t i : playbackInputs) {
        const std::string& name = elements[i].name;
        LayoutLine source = line(inputTypeForName(name), name);
        source.controls.push_back(
            control(i, Aspect::kPlaybackVolume, MIXERCONTROL_CONTROLTYPE_VOLUME, name + " Volume"));
        if (elements[i].playbackSwitch)
            source.controls.push_back(
                control(i, Aspect::kPlaybackMute, MIXERCONTROL_CONTROLTYPE_MUTE, name + " Mute"));
        speakers.sources.push_back(std::move(source));
    }

    LayoutLine recording = line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control");
    if (inputSelect && !elements[*inputSelect].enumItems.empty()) {
        LayoutControl mux = control(*inputSelect, Aspect::kCaptureEnum,
                                    MIXERCONTROL_CONTROLTYPE_MUX, elements[*inputSelect].name);
        for (const std::string& item : elements[*inputSelect].enumItems) {
            const std::uint32_t type = inputTypeForName(item);
            mux.items.push_back({item, type != 0 ? type : MIXERLINE_COMPONENTTYPE_SRC_ANALOG});
        }
        recording.controls.push_back(std::move(mux));
    }
    if (!captureInputs.empty()) {
        if (capture) addCaptureControls(recording, elements[*capture], *capture, true);
        for (const std::size_t i : captureInputs) {
            LayoutLine source = line(inputTypeForName(elements[i].name), elements[i].name);
            addCaptureControls(source, elements[i], i, false);
            recording.sources.push_back(std::move(source));
        }
    } else if (capture) {
        addSharedCaptureSources(recording, elements[*capture], *capture);
    }
    return {std::move(speakers), std::move(recording)};
}

}  // namespace ressona
