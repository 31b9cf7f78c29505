#pragma once
// The band-pass filters of the room analysis: 6th-order Butterworth
// band-passes (a 3rd-order low-pass prototype moved to the band), made digital
// by the bilinear transform with both band edges prewarped, as three
// second-order sections. Over octave and third-octave bands they meet the
// class 1 acceptance limits of IEC 61260-1. They run over the response
// backwards in time, so the filter's own ringing falls before the response's
// start instead of lengthening its decay (Jacobsen and Rindel's time-reversed
// filtering).

#include <array>
#include <span>

namespace ressona {

// y[n] = b0 x[n] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2] (a band-pass section: b1 = 0).
struct BandPassSection {
    double b0 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

struct BandPassFilter {
    std::array<BandPassSection, 3> sections;
};

// The filter for lowerHz .. upperHz (the -3 dB points) at sampleRate Hz, with
// gain 1 at the band's centre; needs 0 < lowerHz < upperHz < sampleRate / 2.
BandPassFilter designBandPass(double lowerHz, double upperHz, double sampleRate);

// The filter's gain (linear) at frequencyHz.
double bandPassGain(const BandPassFilter& filter, double frequencyHz, double sampleRate);

// Runs the filter over `input` from its last sample to its first and writes the
// squares of the outputs to energy[0 .. input.size() - 1] (same positions as
// the input). energy must be as long as input.
void filterBackwardsSquared(const BandPassFilter& filter, std::span<const double> input,
                            std::span<double> energy);

// The same for two filters at once (about as fast as one): energyA from
// filterA, energyB from filterB, each as long as input.
void filterPairBackwardsSquared(const BandPassFilter& filterA, const BandPassFilter& filterB,
                                std::span<const double> input, std::span<double> energyA,
                                std::span<double> energyB);

}  // namespace ressona
