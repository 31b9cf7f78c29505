#pragma once
// What a caller may ask of the analysis beyond the results the plots draw: a
// correction of every analysed spectrum (a microphone's calibration, say),
// applied to the level and the phase before the smoothing, and the time
// average of the impulse responses as they were before the taper and the cuts.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ressona {

struct SampleArrays;

// For spectrum positions 1..M of one grid (M positions binWidth Hz apart):
// the factor each magnitude is multiplied by and the phase in radians
// subtracted from each phase.
struct SpectrumCorrection {
    float binWidth = 0.0f;
    std::vector<float> gain;   // [k - 1] for position k
    std::vector<float> phase;  // [k - 1] for position k; empty: phases are left alone
};

// The impulse responses of the current average, summed sample by sample
// (with the MLS the steady responses before their rounding to counts).
struct ImpulseAverage {
    std::vector<double> sum;  // N samples
    std::uint32_t count = 0;  // responses in the sum
};

struct AnalysisExtras {
    std::optional<SpectrumCorrection> correction;  // applied only when it fits the grid
    bool averageImpulses = false;                  // keep `impulses` up to date
    ImpulseAverage impulses;
    // With a reference channel (MeasurementState::reference): the same
    // analysis of the same stretch of that channel, averaged over the same
    // captures; empty otherwise.
    ImpulseAverage referenceImpulses;
};

// True when the correction was made for the grid the arrays are built for.
bool correctionFits(const SpectrumCorrection& correction, const SampleArrays& arrays);

// Multiplies magnitudeSpectrum[1..M] by the gains and, when phaseFresh (the
// analysis has just formed the phases), subtracts the phases, keeping each
// within -pi..+pi. Does nothing when the correction does not fit.
void applySpectrumCorrection(const SpectrumCorrection& correction, SampleArrays& arrays,
                             bool phaseFresh);

// Adds impulseResponse[1..N] to the average, which starts anew when `fresh`
// (or when N has changed).
void addToImpulseAverage(ImpulseAverage& average, const SampleArrays& arrays, bool fresh);
// Adds a response of N samples given as it is, by the same rule.
void addToImpulseAverage(ImpulseAverage& average, std::span<const double> response, bool fresh);

}  // namespace ressona
