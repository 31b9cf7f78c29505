#pragma once
// Pictures of a response's phase and time views: the phase picture (the
// measured, the minimum and the excess phase in degrees against frequency on
// a logarithmic axis) and the energy-time curve (dB against milliseconds).
// Draws ready-made curves; computes nothing but the pixels.

#include <vector>

#include "platform/canvas/canvas.h"

namespace ressona {

struct PhasePlotData {
    std::vector<double> frequencyHz;  // rising, above 0
    // Degrees, each wrapped to -180..180 for drawing; NaN leaves a gap.
    std::vector<double> phaseDeg;
    std::vector<double> minimumPhaseDeg;
    std::vector<double> excessPhaseDeg;
};

// The equaliser's curves in dB on the fit's grid; an empty one is not drawn.
struct EqPlotData {
    std::vector<double> frequencyHz;  // rising, above 0
    std::vector<double> measuredDb;
    std::vector<double> targetDb;
    std::vector<double> predictedDb;
    std::vector<double> verifiedDb;
};

struct EnergyTimePlotData {
    std::vector<double> timeSeconds;  // rising
    std::vector<double> levelDb;
};

// The energy-time picture shows this many dB below its highest level (rounded up to 10 dB).
inline constexpr double kEnergyTimePlotSpanDb = 100.0;

inline constexpr Colour kMeasuredPhaseColour{255, 255, 0};
inline constexpr Colour kMinimumPhaseColour{80, 200, 255};
inline constexpr Colour kExcessPhaseColour{255, 80, 80};
inline constexpr Colour kEqTargetColour{160, 160, 160};
inline constexpr Colour kEqPredictedColour{80, 200, 255};
inline constexpr Colour kEqVerifiedColour{80, 255, 120};

// Each draws its picture over the whole canvas.
void drawPhasePlot(Canvas& canvas, const PhasePlotData& data);
void drawEnergyTimePlot(Canvas& canvas, const EnergyTimePlotData& data);
// Level in dB against frequency on a logarithmic axis, scaled to hold every curve.
void drawEqPlot(Canvas& canvas, const EqPlotData& data);

}  // namespace ressona
