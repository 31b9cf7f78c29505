#pragma once
// The excitation signals. Each value is the id of the signal's radio button on
// the control panel, so the panel's commands and the dispatch share one number.

#include <cstdint>

namespace ressona {

enum ExcitationMode : std::int32_t {
    kModeMls = 221,
    kModeSineWave = 222,
    kModeSquareWave = 223,
    kModePulse = 224,
    kModeWhiteNoise = 225,
    kModeNoSignal = 251,
    kModeSweep = 266,
};

}  // namespace ressona
