#pragma once
// Element types and sample-code constants shared by the signal, analysis and plot code.

#include <cstdint>

namespace ressona {

// One complex value: two 32-bit floats, real part first; arrays are contiguous.
struct ComplexValue {
    float re = 0.0f;
    float im = 0.0f;
};

// A polyline vertex in window pixels.
struct PlotPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// Unsigned 8-bit codes of the played excitation.
inline constexpr std::uint8_t kSilenceCode = 128;  // rest level
inline constexpr std::uint8_t kDriveCode = 60;     // active level, 68 codes below rest

// 2*pi and pi as the single-precision constants the generators and taper use.
inline constexpr float kTwoPi = 6.2831850f;
inline constexpr float kPi = 3.1415925f;

}  // namespace ressona
