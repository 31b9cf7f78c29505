#pragma once
// The acoustic systems the simulated card plays through: the response from
// the played signal (code - 128) x 256 to the recorded 16-bit samples, not
// counting the card's own path delay.

#include <cstdint>
#include <string_view>
#include <vector>

namespace ressona {

enum class SimPreset {
    kLoopback,    // a cable from output to input: the played signal exactly
    kRoom,        // a small loudspeaker in a room, heard by a microphone
    kDistortion,  // the loopback, then y = x + 0.02 x^2 + 0.01 x^3 (full-scale units)
};

// The memoryless curve a preset passes its signal through after its
// response: y = x + square x^2 + cube x^3, x and y in units of full scale.
struct SimNonlinearity {
    double square = 0.0;
    double cube = 0.0;
};
SimNonlinearity presetNonlinearity(SimPreset preset);

// The preset's exact impulse response at the sample rate: recorded sample n
// (before the path delay, noise and rounding) is sum over k of h[k] x[n - k].
// Loopback: {1}. Room: a small loudspeaker's band-pass (100 Hz second-order
// high-pass, Q 0.9; 9 kHz second-order low-pass, Q 0.7, at most 0.45 of the
// rate) heard directly after 1 ms and through five early reflections
// (3.4, 6.1, 9.3, 13.8 and 19.5 ms), 45 ms long in all.
std::vector<double> presetImpulseResponse(SimPreset preset, std::uint32_t sampleRate);

// Standard deviation of the recording's noise, in 16-bit steps.
double presetNoiseRms(SimPreset preset);

// "loopback", "room" or "distortion".
std::string_view presetName(SimPreset preset);

}  // namespace ressona
