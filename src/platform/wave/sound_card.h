#pragma once
// A sound card as the program uses it: its wave service, its mixer service
// and the clock that passes must be timed with, chosen by a stable
// lower-case name:
//   sim, sim:room     the simulated card in a small room
//   sim:loopback      the simulated card with its output wired to its input
//   sim:distortion    the loopback through a known memoryless curve (harmonics)
//   sim:modes         the loopback through four documented room modes
//   alsa              ALSA's `default` device
//   alsa:PCMNAME      the named ALSA device, e.g. alsa:hw:0 or alsa:pulse

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/mixer/mixer_service.h"
#include "platform/wave/wave_service.h"

namespace ressona {

struct SoundCardOptions {
    bool instant = false;    // simulated cards: run as fast as possible, not in real time
    std::uint64_t seed = 1;  // simulated cards: the noise
    // `sim:slips`: the draws of its slips and late starts; 0: new ones in
    // every run, as a server slips elsewhere each time (tests give their own).
    std::uint64_t slipSeed = 0;
    Clock* timeBase = nullptr;  // simulated cards: keep time on this clock (tests)
    // Simulated cards: an equaliser between the output and the acoustic
    // system (see SimulatedCardConfig::outputFilter).
    std::function<std::vector<double>(std::uint32_t sampleRate, std::vector<double> response)>
        outputFilter;
};

struct SoundCard {
    std::string name;         // the stable name it was made from, e.g. "sim:room"
    std::string description;  // for people, e.g. "Simulated room"
    bool simulated = false;
    // Declared first so that it outlives the services that keep time on it.
    std::unique_ptr<Clock> ownedClock;
    std::unique_ptr<WaveService> wave;
    std::unique_ptr<MixerService> mixer;
    Clock* clock = nullptr;  // time passes with this one
};

struct DeviceName {
    std::string backend;   // "sim" or "alsa"
    std::string argument;  // what follows the first ':'; empty when none
};

// Splits a device name; false when the backend is unknown or the name is malformed.
bool parseDeviceName(std::string_view text, DeviceName& name);

inline constexpr int kSoundCardMade = 0;
inline constexpr int kSoundCardUnknownName = 1;
inline constexpr int kSoundCardUnavailable = 2;  // e.g. ALSA not built in

}  // namespace ressona
