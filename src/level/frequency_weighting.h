#pragma once
// The frequency weightings of a sound level meter (IEC 61672-1): A, C and Z
// (none). The analogue weightings are products of real poles at
// f1 = 20.6 Hz (double), f2 = 107.7 Hz, f3 = 737.9 Hz and f4 = 12194 Hz
// (double) over zeros at 0 Hz (four for A, two for C), normalised to 0 dB at
// 1 kHz. The digital filters: the high-pass factors by the bilinear
// transform (their poles lie far below any rate's Nyquist frequency), the
// low-pass pair at f4 with poles matched to exp(-2 pi f4 / rate) and a zero
// pair that makes the section's gain right at 0 Hz and at the Nyquist
// frequency (the bilinear transform would squeeze it to nothing there, which
// at 8 to 22 kHz rates is well inside the audible band). The whole filter is
// scaled to 0 dB at 1 kHz.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ressona {

enum class Weighting : std::uint8_t { Z, A, C };

// "Z", "A" or "C".
std::string weightingName(Weighting weighting);

// The analogue weighting's gain in dB at frequencyHz > 0 (0 dB at 1 kHz; always 0 for Z).
double analogueWeightingDb(Weighting weighting, double frequencyHz);

// y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2]
struct WeightingSection {
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

inline constexpr std::size_t kWeightingSections = 3;

// One weighting's digital filter at one rate, with its memory: samples in,
// weighted samples out, a stream in blocks of any size.
class WeightingFilter {
  public:
    // The filter of `weighting` at sampleRate Hz (8000 .. 192000).
    WeightingFilter(Weighting weighting, double sampleRate);

    // Weights input into output (the same size; they may be the same span).
    void run(std::span<const double> input, std::span<double> output);

    // The digital filter's gain in dB at frequencyHz (0 .. sampleRate / 2).
    double gainDb(double frequencyHz) const;

  private:
    struct Memory {
        double in1 = 0.0, in2 = 0.0, out1 = 0.0, out2 = 0.0;
    };
    double sampleRate_;
    std::size_t count_ = 0;  // sections in use: 0 for Z, 2 for C, 3 for A
    std::array<WeightingSection, kWeightingSections> sections_;
    std::array<Memory, kWeightingSections> memory_;
};

}  // namespace ressona
