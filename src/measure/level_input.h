#pragma once
// The sound card's input as a stream for the sound level meter and the live
// calibrator: mono 16-bit at one rate, through a ring of buffers, handed on
// as numbers (1.0 = full scale) until enough samples came, the user
// interrupted, or the device failed.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "platform/clock/clock.h"
#include "platform/wave/wave_service.h"

namespace ressona {

struct InputRecording {
    std::uint64_t samples = 0;  // handed on
    bool interrupted = false;
    std::string failure;  // empty unless the device failed or delivered nothing
};

// Records `samples` samples at sampleRate Hz from wave's input, handing each
// buffer's samples to take as they come (the last one cut to the count).
// interrupted (may be empty) is asked while waiting; when it says true the
// recording ends with what was handed on.
InputRecording recordInput(WaveService& wave, Clock& clock, std::uint32_t sampleRate,
                           std::uint64_t samples, const std::function<bool()>& interrupted,
                           const std::function<void(std::span<const double>)>& take);

}  // namespace ressona
