#pragma once
// The equaliser fit: filters whose response, added to a measured response,
// brings it as near a target as they can over a frequency range. The target's
// shape is what matters, not its level: the fit places it at the level that
// suits the response best. Both are smoothed to a fraction of an octave and
// compared on a grid of 48 points per octave over the range.
//
// The filters together boost no frequency by more than the largest boost and
// cut none by more than the largest cut; narrow dips (they are seldom minimum
// phase, and a boost does not fill them but only wastes headroom) are not
// boosted at all; a filter that changes the response by less than half a dB
// anywhere is left out.

#include <string>
#include <vector>

#include "eq/biquad.h"

namespace ressona {

inline constexpr int kEqMostFilters = 20;
inline constexpr double kEqLargestCutDb = 15.0;
inline constexpr double kEqSmallestEffectDb = 0.5;
// A dip narrower than this at half its depth is not boosted.
inline constexpr double kEqNarrowDipOctaves = 0.25;
// Nor is one across whose half depth the excess phase (its delay taken out)
// swings by more than this: its zeros lie outside the unit circle, and no
// boost fills such a dip.
inline constexpr double kEqExcessPhaseSwingDeg = 60.0;
inline constexpr double kEqGridPointsPerOctave = 48.0;

struct EqFitSettings {
    double lowHz = 20.0;
    double highHz = 500.0;
    int filters = 8;
    double maxBoostDb = 3.0;
    double maxCutDb = kEqLargestCutDb;
    double lowestQ = 0.3;
    double highestQ = 10.0;
    bool shelves = false;  // a low and a high shelf may take the place of peaking filters
    double smoothingOctaves = 1.0 / 6.0;
    double sampleRate = 48000.0;
};

// Levels in dB at rising frequencies above 0 Hz, and where the response has a
// phase, its excess phase in degrees (-180 .. 180) at the same frequencies.
struct EqCurve {
    std::vector<double> frequencyHz;
    std::vector<double> levelDb;
    std::vector<double> excessPhaseDeg = {};  // empty: not known
};

struct EqDeviation {
    double maxDb = 0.0;  // largest deviation from the target, either way
    double rmsDb = 0.0;
};

struct EqFit {
    std::vector<EqFilter> filters;    // as written: rounded to the files' decimals
    std::vector<double> frequencyHz;  // the grid over the range
    std::vector<double> measuredDb;   // the smoothed response on the grid
    std::vector<double> targetDb;     // the target's shape on the grid (flat: 0)
    std::vector<double> predictedDb;  // measuredDb plus the filters
    EqDeviation before;               // measuredDb against the target at its best level
    EqDeviation after;                // predictedDb likewise
    std::string problem;              // why nothing was fitted; empty after a fit
};

// Empty when the settings can be fitted at sampleRate, else a one-line reason.
std::string checkEqSettings(const EqFitSettings& settings);

// The log-spaced grid of the range: 48 points per octave from lowHz to highHz.
std::vector<double> eqGrid(double lowHz, double highHz);

// The curve smoothed over `octaves` (power averaged in a window of that width
// around each frequency) at the grid's frequencies; where the window holds no
// point of the curve, the curve interpolated in log frequency.
std::vector<double> smoothedLevels(const EqCurve& curve, const std::vector<double>& gridHz,
                                   double octaves);

// The curve (held at its ends) interpolated in log frequency at the grid.
std::vector<double> curveAt(const EqCurve& curve, const std::vector<double>& gridHz);

// levels against target (one per grid point) with the target at the level
// that minimises the RMS deviation.
EqDeviation deviationFromTarget(const std::vector<double>& levels,
                                const std::vector<double>& target);

// Fits the filters to the response (any frequency grid, at least two points)
// against the target (empty: flat). problem says why when it cannot: no energy
// in the range, or a target that asks for more than the filters can give.
EqFit fitEqualiser(const EqCurve& response, const EqCurve& target, const EqFitSettings& settings);

}  // namespace ressona
