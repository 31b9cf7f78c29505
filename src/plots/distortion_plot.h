#pragma once
// The picture of a sweep's harmonic distortion: the fundamental and each
// harmonic in dB against the exciting frequency on a logarithmic axis, each
// in its own colour, with a key. Draws ready-made levels; computes nothing.

#include <array>
#include <cstdint>
#include <vector>

#include "platform/canvas/canvas.h"

namespace ressona {

inline constexpr int kDistortionCurves = 5;  // the fundamental, then harmonics 2..5

struct DistortionPlotData {
    std::vector<double> frequencyHz;  // ascending, above 0
    // Levels in dB at each frequency, the fundamental first; NaN leaves a gap.
    std::array<std::vector<double>, kDistortionCurves> levelDb;
};

// The curves' colours and the key's names, the fundamental first.
inline constexpr std::array<Colour, kDistortionCurves> kDistortionColours{
    Colour{255, 255, 0}, Colour{255, 80, 80}, Colour{80, 220, 80}, Colour{80, 200, 255},
    Colour{230, 110, 230}};
inline constexpr std::array<const char*, kDistortionCurves> kDistortionNames{"Fundamental", "H2",
                                                                             "H3", "H4", "H5"};

// The dB range the picture shows: from the highest level, rounded up to 10 dB,
// 120 dB down.
inline constexpr double kDistortionPlotSpanDb = 120.0;

// Draws the picture over the whole canvas.
void drawDistortionPlot(Canvas& canvas, const DistortionPlotData& data);

}  // namespace ressona
