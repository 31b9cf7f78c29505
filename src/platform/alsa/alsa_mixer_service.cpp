// The mixer service over ALSA's simple mixer elements.
//
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
//   MUTE. Output-path elements (Front, Speaker, Headphone, ...) and anything
//   unrecognised are not shown and never touched.
// - Recording Control: an enumerated capture element ("Input Source",
//   "Capture Source") is the destination's MUX, one item per entry, each
//   typed by its name. Capture elements named after an input are sources
//   with VOLUME (capture volume) and ONOFF (capture switch); the "Capture"
//   element is then the destination's VOLUME and MUTE. A sound server offers
//   no per-input elements, only "Capture": it is then shown as two sources,
//   "Microphone" and "Line In", each with a VOLUME and an ONOFF of its own,
//   and the element follows the louder of the two volumes and the "or" of
//   the two switches. So whichever input is chosen, its level bar moves the
//   capture level, and putting both back puts the element back. When the
//   element has been changed from outside since, both sources read its new
//   level.

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/alsa/alsa_sound_card.h"

namespace ressona {

namespace {

void quietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

constexpr std::uint32_t kDestinations = 2;

std::string lowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// The component type of an input named `name`; 0 when the name is no input.
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

std::int32_t toInt32(long value) {
    return static_cast<std::int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

template <std::size_t N>
void copyName(char (&field)[N], const std::string& name) {
    std::memset(field, 0, N);
    std::memcpy(field, name.data(), std::min(name.size(), N - 1));
}

// Which side of which element a control reads and writes.
enum class Aspect {
    kPlaybackVolume,
    kPlaybackMute,  // the inverse of the playback switch
    kCaptureVolume,
    kCaptureMute,  // the inverse of the capture switch
    kCaptureSwitch,
    kCaptureEnum,
    kSharedVolume,  // one of the two sources shown over a lone "Capture" element
    kSharedSwitch,
};

struct Item {
    std::string name;
    std::uint32_t type = 0;
};

struct Control {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::string name;
    std::int32_t minimum = 0;
    std::int32_t maximum = 1;
    snd_mixer_elem_t* element = nullptr;
    Aspect aspect = Aspect::kPlaybackVolume;
    std::size_t shared = 0;  // kShared*: which of the two sources
    std::vector<Item> items;
};

struct Line {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::string name;
    std::vector<Control> controls;
    std::vector<Line> sources;
};

// One opened mixer: ALSA's element list turned into lines and controls.
class OpenMixer {
  public:
    OpenMixer() = default;
    OpenMixer(const OpenMixer&) = delete;
    OpenMixer& operator=(const OpenMixer&) = delete;
    ~OpenMixer() {
        if (mixer_ != nullptr) snd_mixer_close(mixer_);
    }

    int open(const std::string& ctlName) {
        if (const int error = snd_mixer_open(&mixer_, 0); error < 0) return error;
        if (const int error = snd_mixer_attach(mixer_, ctlName.c_str()); error < 0) return error;
        if (const int error = snd_mixer_selem_register(mixer_, nullptr, nullptr); error < 0)
            return error;
        if (const int error = snd_mixer_load(mixer_); error < 0) return error;
        build();
        return 0;
    }

    const std::vector<Line>& destinations() const { return destinations_; }

    const Line* findLine(std::uint32_t id) const {
        for (const Line& destination : destinations_) {
            if (destination.id == id) return &destination;
            for (const Line& source : destination.sources) {
                if (source.id == id) return &source;
            }
        }
        return nullptr;
    }

    const Control* findControl(std::uint32_t id) const {
        for (const Line& destination : destinations_) {
            for (const Control& control : destination.controls) {
                if (control.id == id) return &control;
            }
            for (const Line& source : destination.sources) {
                for (const Control& control : source.controls) {
                    if (control.id == id) return &control;
                }
            }
        }
        return nullptr;
    }

    // The control's values: one, or one per item.
    std::vector<std::int32_t> read(const Control& control) {
        snd_mixer_handle_events(mixer_);
        snd_mixer_elem_t* e = control.element;
        long value = 0;
        int on = 0;
        switch (control.aspect) {
            case Aspect::kPlaybackVolume:
                snd_mixer_selem_get_playback_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &value);
                return {toInt32(value)};
            case Aspect::kPlaybackMute:
                snd_mixer_selem_get_playback_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                return {on ? 0 : 1};
            case Aspect::kCaptureVolume:
                snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &value);
                return {toInt32(value)};
            case Aspect::kCaptureMute:
                snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                return {on ? 0 : 1};
            case Aspect::kCaptureSwitch:
                snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                return {on ? 1 : 0};
            case Aspect::kCaptureEnum: {
                unsigned int index = 0;
                snd_mixer_selem_get_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, &index);
                std::vector<std::int32_t> values(control.items.size(), 0);
                if (index < values.size()) values[index] = 1;
                return values;
            }
            case Aspect::kSharedVolume:
                snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &value);
                // Changed by someone else since: both sources take the element's level.
                if (value != std::max(sharedVolume_[0], sharedVolume_[1]))
                    sharedVolume_.fill(value);
                return {toInt32(sharedVolume_[control.shared])};
            case Aspect::kSharedSwitch:
                snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
                if ((on != 0) != (sharedSwitch_[0] || sharedSwitch_[1]))
                    sharedSwitch_.fill(on != 0);
                return {sharedSwitch_[control.shared] ? 1 : 0};
        }
        return {0};
    }

    int write(const Control& control, const std::vector<std::int32_t>& values) {
        snd_mixer_elem_t* e = control.element;
        const std::int32_t value = values.at(0);
        switch (control.aspect) {
            case Aspect::kPlaybackVolume:
                return snd_mixer_selem_set_playback_volume_all(e, value);
            case Aspect::kPlaybackMute:
                return snd_mixer_selem_set_playback_switch_all(e, value ? 0 : 1);
            case Aspect::kCaptureVolume:
                return snd_mixer_selem_set_capture_volume_all(e, value);
            case Aspect::kCaptureMute:
                return snd_mixer_selem_set_capture_switch_all(e, value ? 0 : 1);
            case Aspect::kCaptureSwitch:
                return snd_mixer_selem_set_capture_switch_all(e, value ? 1 : 0);
            case Aspect::kCaptureEnum: {
                const auto first = std::find(values.begin(), values.end(), 1);
                if (first == values.end()) return -EINVAL;
                const auto index = static_cast<unsigned int>(first - values.begin());
                int result = snd_mixer_selem_set_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, index);
                for (int channel = 1; channel <= SND_MIXER_SCHN_LAST; ++channel) {
                    if (snd_mixer_selem_set_enum_item(
                            e, static_cast<snd_mixer_selem_channel_id_t>(channel), index) < 0)
                        break;
                }
                return result;
            }
            case Aspect::kSharedVolume:
                sharedVolume_[control.shared] = value;
                return snd_mixer_selem_set_capture_volume_all(
                    e, std::max(sharedVolume_[0], sharedVolume_[1]));
            case Aspect::kSharedSwitch:
                sharedSwitch_[control.shared] = value != 0;
                return snd_mixer_selem_set_capture_switch_all(
                    e, sharedSwitch_[0] || sharedSwitch_[1] ? 1 : 0);
        }
        return -EINVAL;
    }

  private:
    Control volumeControl(snd_mixer_elem_t* e, Aspect aspect, const std::string& name) {
        long minimum = 0;
        long maximum = 0;
        if (aspect == Aspect::kPlaybackVolume)
            snd_mixer_selem_get_playback_volume_range(e, &minimum, &maximum);
        else
            snd_mixer_selem_get_capture_volume_range(e, &minimum, &maximum);
        Control control;
        control.id = nextControl_++;
        control.type = MIXERCONTROL_CONTROLTYPE_VOLUME;
        control.name = name + " Volume";
        control.minimum = toInt32(minimum);
        control.maximum = toInt32(maximum);
        control.element = e;
        control.aspect = aspect;
        return control;
    }

    Control switchControl(snd_mixer_elem_t* e, Aspect aspect, std::uint32_t type,
                          const std::string& name) {
        Control control;
        control.id = nextControl_++;
        control.type = type;
        control.name = name;
        control.minimum = 0;
        control.maximum = 1;
        control.element = e;
        control.aspect = aspect;
        return control;
    }

    Line line(std::uint32_t type, std::string name) {
        Line result;
        result.id = nextLine_++;
        result.type = type;
        result.name = std::move(name);
        return result;
    }

    void build() {
        snd_mixer_elem_t* master = nullptr;
        snd_mixer_elem_t* wave = nullptr;
        snd_mixer_elem_t* capture = nullptr;
        snd_mixer_elem_t* inputSelect = nullptr;
        std::vector<snd_mixer_elem_t*> playbackInputs;
        std::vector<snd_mixer_elem_t*> captureInputs;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e != nullptr;
             e = snd_mixer_elem_next(e)) {
            if (!snd_mixer_selem_is_active(e)) continue;
            const std::string name = snd_mixer_selem_get_name(e);
            const bool pvolume = snd_mixer_selem_has_playback_volume(e);
            const bool cvolume = snd_mixer_selem_has_capture_volume(e);
            const bool cswitch = snd_mixer_selem_has_capture_switch(e);
            if (name == "Master" && pvolume && master == nullptr) {
                master = e;
            } else if ((name == "PCM" || name == "Wave") && pvolume && wave == nullptr) {
                wave = e;
            } else if (snd_mixer_selem_is_enum_capture(e) && inputSelect == nullptr) {
                inputSelect = e;
            } else if (name == "Capture" && (cvolume || cswitch) && capture == nullptr) {
                capture = e;
            } else if (inputTypeForName(name) != 0) {
                if (pvolume) playbackInputs.push_back(e);
                if (cvolume || cswitch) captureInputs.push_back(e);
            }
        }

        Line speakers = line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers");
        if (master != nullptr) {
            if (wave != nullptr)
                speakers.controls.push_back(
                    volumeControl(master, Aspect::kPlaybackVolume, "Master"));
            if (snd_mixer_selem_has_playback_switch(master))
                speakers.controls.push_back(switchControl(
                    master, Aspect::kPlaybackMute, MIXERCONTROL_CONTROLTYPE_MUTE, "Master Mute"));
        }
        snd_mixer_elem_t* waveVolume = wave != nullptr ? wave : master;
        if (waveVolume != nullptr) {
            const std::string name = snd_mixer_selem_get_name(waveVolume);
            Line source = line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, name);
            source.controls.push_back(volumeControl(waveVolume, Aspect::kPlaybackVolume, name));
            if (wave != nullptr && snd_mixer_selem_has_playback_switch(wave))
                source.controls.push_back(switchControl(
                    wave, Aspect::kPlaybackMute, MIXERCONTROL_CONTROLTYPE_MUTE, name + " Mute"));
            speakers.sources.push_back(std::move(source));
        }
        for (snd_mixer_elem_t* e : playbackInputs) {
            const std::string name = snd_mixer_selem_get_name(e);
            Line source = line(inputTypeForName(name), name);
            source.controls.push_back(volumeControl(e, Aspect::kPlaybackVolume, name));
            if (snd_mixer_selem_has_playback_switch(e))
                source.controls.push_back(switchControl(
                    e, Aspect::kPlaybackMute, MIXERCONTROL_CONTROLTYPE_MUTE, name + " Mute"));
            speakers.sources.push_back(std::move(source));
        }

        Line recording = line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control");
        if (inputSelect != nullptr) {
            Control mux =
                switchControl(inputSelect, Aspect::kCaptureEnum, MIXERCONTROL_CONTROLTYPE_MUX,
                              snd_mixer_selem_get_name(inputSelect));
            const int count = snd_mixer_selem_get_enum_items(inputSelect);
            for (int i = 0; i < count; ++i) {
                char itemName[64] = {};
                snd_mixer_selem_get_enum_item_name(inputSelect, static_cast<unsigned>(i),
                                                   sizeof itemName - 1, itemName);
                const std::uint32_t type = inputTypeForName(itemName);
                mux.items.push_back(
                    {itemName, type != 0 ? type : MIXERLINE_COMPONENTTYPE_SRC_ANALOG});
            }
            if (!mux.items.empty()) recording.controls.push_back(std::move(mux));
        }
        if (!captureInputs.empty()) {
            if (capture != nullptr) addCaptureControls(recording, capture, "Capture", true);
            for (snd_mixer_elem_t* e : captureInputs) {
                const std::string name = snd_mixer_selem_get_name(e);
                Line source = line(inputTypeForName(name), name);
                addCaptureControls(source, e, name, false);
                recording.sources.push_back(std::move(source));
            }
        } else if (capture != nullptr) {
            addSharedCaptureSources(recording, capture);
        }
        destinations_.push_back(std::move(speakers));
        destinations_.push_back(std::move(recording));
    }

    void addCaptureControls(Line& target, snd_mixer_elem_t* e, const std::string& name,
                            bool switchAsMute) {
        if (snd_mixer_selem_has_capture_volume(e))
            target.controls.push_back(volumeControl(e, Aspect::kCaptureVolume, name));
        if (!snd_mixer_selem_has_capture_switch(e)) return;
        if (switchAsMute) {
            target.controls.push_back(switchControl(e, Aspect::kCaptureMute,
                                                    MIXERCONTROL_CONTROLTYPE_MUTE, name + " Mute"));
        } else {
            target.controls.push_back(switchControl(
                e, Aspect::kCaptureSwitch, MIXERCONTROL_CONTROLTYPE_ONOFF, name + " Switch"));
        }
    }

    void addSharedCaptureSources(Line& recording, snd_mixer_elem_t* capture) {
        long volume = 0;
        int on = 1;
        snd_mixer_selem_get_capture_volume(capture, SND_MIXER_SCHN_FRONT_LEFT, &volume);
        if (snd_mixer_selem_has_capture_switch(capture))
            snd_mixer_selem_get_capture_switch(capture, SND_MIXER_SCHN_FRONT_LEFT, &on);
        const std::array<std::pair<std::uint32_t, const char*>, 2> inputs{
            std::pair{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone"},
            std::pair{MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In"}};
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            sharedVolume_[i] = volume;
            sharedSwitch_[i] = on != 0;
            Line source = line(inputs[i].first, inputs[i].second);
            if (snd_mixer_selem_has_capture_volume(capture)) {
                Control control = volumeControl(capture, Aspect::kCaptureVolume, inputs[i].second);
                control.aspect = Aspect::kSharedVolume;
                control.shared = i;
                source.controls.push_back(std::move(control));
            }
            if (snd_mixer_selem_has_capture_switch(capture)) {
                Control control =
                    switchControl(capture, Aspect::kSharedSwitch, MIXERCONTROL_CONTROLTYPE_ONOFF,
                                  std::string(inputs[i].second) + " Switch");
                control.shared = i;
                source.controls.push_back(std::move(control));
            }
            recording.sources.push_back(std::move(source));
        }
    }

    snd_mixer_t* mixer_ = nullptr;
    std::vector<Line> destinations_;
    std::uint32_t nextLine_ = 1;
    std::uint32_t nextControl_ = 1;
    std::array<long, 2> sharedVolume_{};
    std::array<bool, 2> sharedSwitch_{};
};

void fillLine(const Line& line, MIXERLINEA& out, std::uint32_t destination, std::uint32_t source) {
    out.dwDestination = destination;
    out.dwSource = source;
    out.dwLineID = line.id;
    out.fdwLine = 1;
    out.dwComponentType = line.type;
    out.cChannels = 1;
    out.cConnections = static_cast<std::uint32_t>(line.sources.size());
    out.cControls = static_cast<std::uint32_t>(line.controls.size());
    copyName(out.szShortName, line.name);
    copyName(out.szName, line.name);
}

// The control device that goes with a PCM name: a card's for hw and plughw
// names, the same name otherwise.
std::string controlNameFor(const std::string& pcmName) {
    for (const char* prefix : {"hw:", "plughw:"}) {
        const std::size_t length = std::strlen(prefix);
        if (pcmName.compare(0, length, prefix) == 0) {
            const std::string card = pcmName.substr(length);
            return "hw:" + card.substr(0, card.find(','));
        }
    }
    return pcmName;
}

// The product name of a control device, or "" when it does not open.
std::string productName(const std::string& ctlName) {
    snd_ctl_t* ctl = nullptr;
    if (snd_ctl_open(&ctl, ctlName.c_str(), SND_CTL_NONBLOCK) < 0) return {};
    snd_ctl_card_info_t* info = nullptr;
    snd_ctl_card_info_alloca(&info);
    std::string name;
    if (snd_ctl_card_info(ctl, info) >= 0) name = snd_ctl_card_info_get_name(info);
    snd_ctl_close(ctl);
    if (name.empty()) name = ctlName;
    return name;
}

class AlsaMixerService final : public MixerService {
  public:
    explicit AlsaMixerService(std::string pcmName) {
        snd_lib_error_set_handler(&quietAlsaErrors);
        // The device's own mixer first, then every card's.
        std::string own = controlNameFor(pcmName);
        std::string ownName = productName(own);
        if (ownName.empty() && own != "default") {
            own = "default";
            ownName = productName(own);
        }
        if (!ownName.empty()) devices_.push_back({own, ownName + " (" + own + ")"});
        int card = -1;
        while (snd_card_next(&card) >= 0 && card >= 0) {
            const std::string ctl = "hw:" + std::to_string(card);
            if (ctl == own) continue;
            const std::string name = productName(ctl);
            if (!name.empty()) devices_.push_back({ctl, name});
        }
    }

    UINT mixerGetNumDevs() override { return static_cast<UINT>(devices_.size()); }

    MMRESULT mixerOpen(HMIXER* handle, UINT mixerId, std::uintptr_t, std::uintptr_t,
                       std::uint32_t) override {
        if (handle == nullptr) return MMSYSERR_INVALPARAM;
        *handle = 0;
        if (mixerId >= devices_.size()) return MMSYSERR_BADDEVICEID;
        auto mixer = std::make_unique<OpenMixer>();
        if (const int error = mixer->open(devices_[mixerId].ctlName); error < 0)
            return waveResultForAlsaOpenError(error);
        *handle = nextHandle_++;
        open_[*handle] = std::move(mixer);
        return MMSYSERR_NOERROR;
    }

    MMRESULT mixerClose(HMIXER handle) override {
        return open_.erase(handle) == 1 ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    }

    MMRESULT mixerGetDevCapsA(std::uintptr_t mixerId, MIXERCAPSA* caps, UINT size) override {
        if (caps == nullptr || size != sizeof(MIXERCAPSA)) return MMSYSERR_INVALPARAM;
        if (mixerId >= devices_.size()) return MMSYSERR_BADDEVICEID;
        *caps = MIXERCAPSA{};
        copyName(caps->szPname, devices_[mixerId].productName);
        caps->cDestinations = kDestinations;
        return MMSYSERR_NOERROR;
    }

    MMRESULT mixerGetLineInfoA(HMIXER handle, MIXERLINEA* line, std::uint32_t flags) override {
        OpenMixer* mixer = find(handle);
        if (mixer == nullptr) return MMSYSERR_INVALHANDLE;
        if (line == nullptr || line->cbStruct != sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
        const std::vector<Line>& destinations = mixer->destinations();
        const std::uint32_t d = line->dwDestination;
        if (d >= destinations.size()) return MIXERR_INVALLINE;
        switch (flags & ~MIXER_OBJECTF_HMIXER) {
            case MIXER_GETLINEINFOF_DESTINATION:
                fillLine(destinations[d], *line, d, 0);
                return 0;
            case MIXER_GETLINEINFOF_SOURCE: {
                const std::uint32_t s = line->dwSource;
                if (s >= destinations[d].sources.size()) return MIXERR_INVALLINE;
                fillLine(destinations[d].sources[s], *line, d, s);
                return MMSYSERR_NOERROR;
            }
            default:
                return MMSYSERR_INVALFLAG;
        }
    }

    MMRESULT mixerGetLineControlsA(HMIXER handle, MIXERLINECONTROLSA* request,
                                   std::uint32_t flags) override {
        OpenMixer* mixer = find(handle);
        if (mixer == nullptr) return MMSYSERR_INVALHANDLE;
        if (request == nullptr || request->cbmxctrl != sizeof(MIXERCONTROLA) ||
            (request->pamxctrl == nullptr && request->cControls > 0) ||
            (flags & ~MIXER_OBJECTF_HMIXER) != MIXER_GETLINECONTROLSF_ALL)
            return MMSYSERR_INVALPARAM;
        const Line* line = mixer->findLine(request->dwLineID);
        if (line == nullptr) return MIXERR_INVALLINE;
        const std::size_t count = std::min<std::size_t>(request->cControls, line->controls.size());
        for (std::size_t c = 0; c < count; ++c) {
            const Control& control = line->controls[c];
            MIXERCONTROLA& out = request->pamxctrl[c];
            out = MIXERCONTROLA{};
            out.dwControlID = control.id;
            out.dwControlType = control.type;
            out.cMultipleItems = static_cast<std::uint32_t>(control.items.size());
            out.fdwControl = control.items.empty() ? 0 : MIXERCONTROL_CONTROLF_MULTIPLE;
            copyName(out.szShortName, control.name);
            copyName(out.szName, control.name);
            out.lMinimum = control.minimum;
            out.lMaximum = control.maximum;
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT mixerGetControlDetailsA(HMIXER handle, MIXERCONTROLDETAILS* details,
                                     std::uint32_t flags) override {
        OpenMixer* mixer = find(handle);
        if (mixer == nullptr) return MMSYSERR_INVALHANDLE;
        if (details == nullptr) return MMSYSERR_INVALPARAM;
        const Control* control = mixer->findControl(details->dwControlID);
        if (control == nullptr) return MIXERR_INVALCONTROL;
        const std::uint32_t what = flags & ~MIXER_OBJECTF_HMIXER;
        const bool listText = what == MIXER_GETCONTROLDETAILSF_LISTTEXT;
        if (!detailsFit(*control, *details,
                        listText ? sizeof(MIXERCONTROLDETAILS_LISTTEXTA)
                                 : sizeof(MIXERCONTROLDETAILS_SIGNED)) ||
            (what != MIXER_GETCONTROLDETAILSF_VALUE && !listText) ||
            (listText && control->items.empty()))
            return MMSYSERR_INVALPARAM;
        const std::uint32_t count = std::max<std::uint32_t>(details->cMultipleItems, 1);
        if (listText) {
            auto* out = static_cast<MIXERCONTROLDETAILS_LISTTEXTA*>(details->paDetails);
            for (std::uint32_t i = 0; i < count; ++i) {
                out[i] = MIXERCONTROLDETAILS_LISTTEXTA{};
                out[i].dwParam2 = control->items[i].type;
                copyName(out[i].szName, control->items[i].name);
            }
            return MMSYSERR_NOERROR;
        }
        const std::vector<std::int32_t> values = mixer->read(*control);
        auto* out = static_cast<MIXERCONTROLDETAILS_SIGNED*>(details->paDetails);
        for (std::uint32_t i = 0; i < count; ++i) out[i].lValue = i < values.size() ? values[i] : 0;
        return MMSYSERR_NOERROR;
    }

    MMRESULT mixerSetControlDetails(HMIXER handle, const MIXERCONTROLDETAILS* details,
                                    std::uint32_t flags) override {
        OpenMixer* mixer = find(handle);
        if (mixer == nullptr) return MMSYSERR_INVALHANDLE;
        if (details == nullptr) return MMSYSERR_INVALPARAM;
        const Control* control = mixer->findControl(details->dwControlID);
        if (control == nullptr) return MIXERR_INVALCONTROL;
        if (!detailsFit(*control, *details, sizeof(MIXERCONTROLDETAILS_SIGNED)) ||
            (flags & ~MIXER_OBJECTF_HMIXER) != MIXER_SETCONTROLDETAILSF_VALUE)
            return MMSYSERR_INVALPARAM;
        const std::uint32_t count = std::max<std::uint32_t>(details->cMultipleItems, 1);
        const auto* in = static_cast<const MIXERCONTROLDETAILS_SIGNED*>(details->paDetails);
        std::vector<std::int32_t> values(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            values[i] = in[i].lValue;
            if (values[i] < control->minimum || values[i] > control->maximum)
                return MIXERR_INVALVALUE;
        }
        if (!control->items.empty()) {
            // Items beyond those given keep their values.
            std::vector<std::int32_t> all = mixer->read(*control);
            std::copy(values.begin(), values.end(), all.begin());
            values = std::move(all);
        }
        return mixer->write(*control, values) < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    }

  private:
    struct Device {
        std::string ctlName;
        std::string productName;
    };

    static bool detailsFit(const Control& control, const MIXERCONTROLDETAILS& details,
                           std::size_t entrySize) {
        const bool itemsFit =
            control.items.empty()
                ? details.cMultipleItems == 0
                : details.cMultipleItems >= 1 && details.cMultipleItems <= control.items.size();
        return details.cbStruct == sizeof(MIXERCONTROLDETAILS) && details.cChannels == 1 &&
               details.cbDetails == entrySize && details.paDetails != nullptr && itemsFit;
    }

    OpenMixer* find(HMIXER handle) {
        const auto found = open_.find(handle);
        return found == open_.end() ? nullptr : found->second.get();
    }

    std::vector<Device> devices_;
    std::map<HMIXER, std::unique_ptr<OpenMixer>> open_;
    HMIXER nextHandle_ = 0xB1;
};

}  // namespace

std::unique_ptr<MixerService> makeAlsaMixerService(std::string pcmName) {
    return std::make_unique<AlsaMixerService>(std::move(pcmName));
}

}  // namespace ressona
