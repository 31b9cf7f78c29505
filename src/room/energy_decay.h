#pragma once
// The decay of one band's energy from the response's start: where it sinks
// into the background noise, and the backward integral of what lies above it.
//
// The noise floor and the point where the decay meets it (the crosspoint)
// come from the iterative method of Lundeby, Vigran, Bietz and Vorlaender
// ("Uncertainties of measurements in room acoustics", Acustica 81, 1995): the
// squared response averaged over short intervals, the noise level from its
// last tenth, a line through the decay down to 10 dB above the noise, the
// crosspoint of line and noise, intervals resized to 5 per 10 dB of that decay,
// the noise measured again from 10 dB of decay past the crosspoint (at least
// the last tenth), the late decay fitted from 30 dB to 10 dB above the noise,
// and a new crosspoint; repeated until it settles (at most 5 times).
//
// The backward integral (Schroeder, "New method of measuring reverberation
// time", JASA 37, 1965) runs from the crosspoint, where the energy the late
// decay's line would have carried on to infinity is added, so that neither
// the noise nor its cut-off bends the curve's end.

#include <cstddef>
#include <span>
#include <vector>

namespace ressona {

struct NoiseFloor {
    bool decayFound = false;     // a late decay falling by 60 dB within 100 s was found
    bool noiseReached = false;   // the decay meets the noise before the response's last tenth
    double noiseEnergy = 0.0;    // mean energy per sample of the background
    std::size_t crossIndex = 0;  // the crosspoint, samples from the start (at most the length)
    // The late decay's line: energy per sample in dB = interceptDb + slopeDbPerSecond x t.
    double slopeDbPerSecond = 0.0;
    double interceptDb = 0.0;
    double peakDb = 0.0;  // the highest interval average, dB of energy per sample
    int iterations = 0;
};

struct EnergyDecay {
    double sampleRate = 0.0;
    NoiseFloor floor;
    // after[n] = energy[n] + ... + energy[L - 1], n = 0 .. L (after[L] = 0): a
    // view of the caller's sums, which must outlive the decay. They run from
    // the end, so the small late ones keep their precision.
    std::span<const double> after;
    double tailEnergy = 0.0;   // the late decay's line summed from the crosspoint on
    double tailRatio = 0.0;    // per-sample factor of that line (0 without a decay)
    double firstMoment = 0.0;  // sum of t x energy (seconds x energy), the tail included

    std::size_t crossIndex() const { return floor.crossIndex; }
    // The backward integral: energy from n to the crosspoint plus the tail, n <= crossIndex().
    double remaining(std::size_t n) const {
        return after[n] - after[floor.crossIndex] + tailEnergy;
    }
    double total() const { return after.empty() ? 0.0 : remaining(0); }
    // The energy of samples 0 .. n - 1, the line's beyond the crosspoint.
    double energyBefore(std::size_t n) const;
    // 10 log10(remaining(n) / total()), n <= crossIndex().
    double levelDb(std::size_t n) const;
};

// after[n] = x[n]^2 + ... + x[L - 1]^2, n = 0 .. L; after holds x.size() + 1 values.
void sumSquaresFromEnd(std::span<const double> x, std::span<double> after);

// The noise floor (Lundeby) and backward integral of the energy whose sums
// from the end are `after` (L + 1 values: squared samples from the response's
// start to its end L, then 0), at sampleRate Hz. The background is taken to
// hold at least leastNoise per sample (a response rounded without dither
// reads zero where its rounding noise still lies).
EnergyDecay analyseDecay(std::span<const double> after, double sampleRate, double leastNoise = 0.0);

}  // namespace ressona
