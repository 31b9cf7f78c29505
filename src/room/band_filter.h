#pragma once
// The band-pass filters of the room analysis: Butterworth band-passes of
// 6th order (a 3rd-order low-pass prototype moved to the band), made digital
// by the bilinear transform with both band edges prewarped, as three
// second-order sections. Near the Nyquist frequency the transform's warping
// flattens a 6th-order filter's lower skirt below class 1 (at 8000 Hz the 2 kHz
// octave reaches 16.4 dB one octave down, where 16.6 dB are needed), so a band
// whose upper edge lies above a quarter of the rate gets an 8th-order filter
// (4th-order prototype, four sections). So built, every octave and
// third-octave band meets the class 1 acceptance limits of IEC 61260-1. The
// filters run over the response backwards in time, so the filter's own
// ringing falls before the response's start instead of lengthening its decay
// (Jacobsen and Rindel's time-reversed filtering).

#include <array>
#include <cstddef>
#include <span>

namespace ressona {

// y[n] = b0 x[n] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2] (a band-pass section: b1 = 0).
struct BandPassSection {
    double b0 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

inline constexpr std::size_t kMostSections = 4;

struct BandPassFilter {
    std::size_t count = 3;  // sections in use: the prototype's order, 3 or 4
    std::array<BandPassSection, kMostSections> sections;
};

// The filter for lowerHz .. upperHz (the -3 dB points) at sampleRate Hz, with
// gain 1 at the band's centre; needs 0 < lowerHz < upperHz < sampleRate / 2.
BandPassFilter designBandPass(double lowerHz, double upperHz, double sampleRate);

// The filter's gain (linear) at frequencyHz.
double bandPassGain(const BandPassFilter& filter, double frequencyHz, double sampleRate);

// Runs the filter over `input` from its last sample to its first and sums the
// squares of its outputs from the end: after[i] = y[i]^2 + ... + y[L - 1]^2
// for i = 0 .. L (after[L] = 0), L = input.size(); after holds L + 1 values.
void filterBackwardsSummed(const BandPassFilter& filter, std::span<const double> input,
                           std::span<double> after);

// The same for two filters with the same count of sections at once (about as
// fast as one): afterA from filterA, afterB from filterB.
void filterPairBackwardsSummed(const BandPassFilter& filterA, const BandPassFilter& filterB,
                               std::span<const double> input, std::span<double> afterA,
                               std::span<double> afterB);

// The sections' memories (direct form I) of a filter that runs forwards over
// a stream in blocks: zero at the stream's start.
struct BandPassMemory {
    std::array<double, kMostSections> in1{}, in2{}, out1{}, out2{};
};

// Runs the filter forwards over the next block of a stream, its memory
// carried from the block before, and returns the sum of its squared outputs.
double filterForwardSquares(const BandPassFilter& filter, BandPassMemory& memory,
                            std::span<const double> input);

// The same for two filters with the same count of sections at once (about as
// fast as one); the sums go to squaresA and squaresB.
void filterPairForwardSquares(const BandPassFilter& filterA, const BandPassFilter& filterB,
                              BandPassMemory& memoryA, BandPassMemory& memoryB,
                              std::span<const double> input, double& squaresA, double& squaresB);

}  // namespace ressona
