#pragma once
// The equaliser's filters: second-order sections designed with the audio EQ
// cookbook's formulas (R. Bristow-Johnson, "Cookbook formulae for audio EQ
// biquad filter coefficients"), the same ones the equalisers we write for use,
// so that the response computed here is the response they give.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ressona {

enum class FilterKind : std::uint8_t { Peaking, LowShelf, HighShelf };

// Shelves are written with this Q (a slope of 1, the steepest without overshoot).
inline constexpr double kShelfQ = 0.707;

struct EqFilter {
    FilterKind kind = FilterKind::Peaking;
    double frequencyHz = 1000.0;  // centre (peaking) or mid-slope (shelves)
    double gainDb = 0.0;
    double q = 1.0;
};

// b0..b2 and a1, a2 of y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2].
struct BiquadCoefficients {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

// The cookbook's section for the filter at sampleRate Hz (frequency below half of it).
BiquadCoefficients biquadCoefficients(const EqFilter& filter, double sampleRate);

// The section's level in dB at frequencyHz.
double biquadLevelDb(const BiquadCoefficients& section, double frequencyHz, double sampleRate);

// The level in dB of all filters in series at frequencyHz.
double filtersLevelDb(std::span<const EqFilter> filters, double frequencyHz, double sampleRate);

// The signal through all filters in series, followed by their ringing until it
// has died away (120 dB down) or maxExtraSamples have been added.
std::vector<double> filterSignal(std::span<const EqFilter> filters, double sampleRate,
                                 std::span<const double> signal, std::size_t maxExtraSamples);

// "peaking", "lowshelf" or "highshelf".
std::string_view filterKindName(FilterKind kind);

}  // namespace ressona
