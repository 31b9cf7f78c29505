#include "platform/sim/simulated_sound_card.h"

#include <algorithm>
#include <random>

#include "platform/sim/mixer_topologies.h"
#include "platform/sim/simulated_card.h"
#include "platform/sim/simulated_mixer.h"

namespace ressona {

namespace {

double fraction(const SimControl* control) {
    if (control == nullptr) return 1.0;
    const double span = static_cast<double>(control->maximum) - control->minimum;
    if (span <= 0.0) return 0.0;
    return std::clamp((control->values.at(0) - control->minimum) / span, 0.0, 1.0);
}

bool isOn(const SimControl* control, bool absentMeans) {
    return control == nullptr ? absentMeans : control->values.at(0) != 0;
}

const SimLine* destinationOfType(const SimMixerDevice& device, std::uint32_t type) {
    for (const SimLine& line : device.destinations) {
        if (line.componentType == type) return &line;
    }
    return nullptr;
}

const SimControl* controlOfType(const SimLine& line, std::uint32_t type) {
    for (const SimControl& control : line.controls) {
        if (control.type == type) return &control;
    }
    return nullptr;
}

double inputLevel(const SimLine& recording) {
    const SimControl* mux = controlOfType(recording, MIXERCONTROL_CONTROLTYPE_MUX);
    double level = 0.0;
    for (const SimLine& source : recording.sources) {
        const bool input = source.componentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE ||
                           source.componentType == MIXERLINE_COMPONENTTYPE_SRC_LINE ||
                           source.componentType == MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
        bool routed = false;
        if (mux != nullptr) {
            for (std::size_t i = 0; i < mux->items.size(); ++i)
                routed = routed || (mux->items[i].name == source.name && mux->values.at(i) != 0);
        } else {
            routed = !isOn(controlOfType(source, MIXERCONTROL_CONTROLTYPE_MUTE), false) &&
                     isOn(controlOfType(source, MIXERCONTROL_CONTROLTYPE_ONOFF), true);
        }
        if (input && routed)
            level =
                std::max(level, fraction(controlOfType(source, MIXERCONTROL_CONTROLTYPE_VOLUME)));
    }
    return level;
}

}  // namespace

double simulatedMixerGain(SimulatedMixer& mixer) {
    const SimMixerDevice& device = mixer.device(0);
    const SimLine* speakers = destinationOfType(device, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    const SimLine* recording = destinationOfType(device, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    if (speakers == nullptr || recording == nullptr) return 1.0;
    double output = fraction(controlOfType(*speakers, MIXERCONTROL_CONTROLTYPE_VOLUME));
    if (isOn(controlOfType(*speakers, MIXERCONTROL_CONTROLTYPE_MUTE), false)) output = 0.0;
    for (const SimLine& source : speakers->sources) {
        if (source.componentType != MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT) continue;
        output *= fraction(controlOfType(source, MIXERCONTROL_CONTROLTYPE_VOLUME));
        if (isOn(controlOfType(source, MIXERCONTROL_CONTROLTYPE_MUTE), false)) output = 0.0;
    }
    const double input = fraction(controlOfType(*recording, MIXERCONTROL_CONTROLTYPE_VOLUME)) *
                         inputLevel(*recording);
    return output * input;
}

int makeSimulatedSoundCard(std::string_view preset, const SoundCardOptions& options,
                           SoundCard& card) {
    SimulatedCardConfig config;
    if (preset.empty() || preset == "room") {
        config.preset = SimPreset::kRoom;
    } else if (preset == "loopback") {
        config.preset = SimPreset::kLoopback;
    } else if (preset == "distortion") {
        config.preset = SimPreset::kDistortion;
    } else if (preset == "modes") {
        config.preset = SimPreset::kModes;
    } else if (preset == "slips") {
        config.preset = SimPreset::kLoopback;
        config.randomSlips = true;
        // Each run slips elsewhere, as a server does, unless told its draws.
        config.slipSeed = options.slipSeed != 0 ? options.slipSeed : std::random_device{}();
    } else if (preset == "hall") {
        config.preset = SimPreset::kHall;
    } else if (preset == "filter") {
        config.preset = SimPreset::kLowPass;
    } else {
        return kSoundCardUnknownName;
    }
    config.seed = options.seed;
    config.outputFilter = options.outputFilter;
    config.keepCallLog = false;  // the program's card runs as long as the program does

    card = SoundCard{};
    card.name = config.randomSlips ? "sim:slips" : "sim:" + std::string(presetName(config.preset));
    card.description = config.randomSlips                        ? "Simulated loopback that slips"
                       : config.preset == SimPreset::kRoom         ? "Simulated room"
                       : config.preset == SimPreset::kDistortion ? "Simulated distortion"
                       : config.preset == SimPreset::kModes      ? "Simulated room modes"
                       : config.preset == SimPreset::kHall       ? "Simulated hall"
                       : config.preset == SimPreset::kLowPass    ? "Simulated low-pass filter"
                                                                 : "Simulated loopback";
    card.simulated = true;
    Clock* timeBase = options.timeBase;
    if (timeBase == nullptr) {
        if (options.instant) {
            card.ownedClock = std::make_unique<ManualClock>();
        } else {
            card.ownedClock = std::make_unique<SystemClock>();
        }
        timeBase = card.ownedClock.get();
    }
    auto wave = std::make_unique<SimulatedCard>(config, *timeBase);
    auto mixer = std::make_unique<SimulatedMixer>(
        std::vector<SimMixerDevice>{multiplexerCardMixer(card.description)});
    // In the room, the mixer's levels are what the microphone hears; the
    // loopback is a cable that bypasses them and records the codes exactly.
    if (config.preset == SimPreset::kRoom) {
        SimulatedMixer* levels = mixer.get();
        wave->setGainSource([levels] { return simulatedMixerGain(*levels); });
    }
    card.clock = &wave->clock();
    card.wave = std::move(wave);
    card.mixer = std::move(mixer);
    return kSoundCardMade;
}

}  // namespace ressona
