#pragma once
// Turns one completed capture into the results the plots draw and the saved
// file stores: aligns it in time, correlates it with the sequence (MLS) or
// takes it as it is, tapers, averages, cuts, transforms, and forms magnitude
// and phase. Decibels, subtraction and views belong to the plots.

#include <cstdint>
#include <span>

namespace ressona {

struct MeasurementState;
struct SampleArrays;
struct FourierTransform;
struct AnalysisExtras;

// Analyses the capture in recordBuffer (2N samples; in Artificial mode the
// excitation in arrays.excitationBuffer instead) and returns where the
// analysed stretch of N samples starts: recordDelaySamples + latencySamples
// (the delay alone in Artificial mode), clamped to 0..N so that nothing is read
// past the 2N samples. Also stores it in state.triggerSample. Fills
// impulseResponse, timeTrace, timeComplex, spectrumWork, averageSum,
// magnitudeSpectrum, phaseSpectrum and sets resultsReady. A sampleCounter of 0
// starts a new average. With the MLS the capture's first N samples in
// recordBuffer are overwritten by the aligned stretch. When the arrays are not
// built for N, or recordBuffer holds fewer than N samples, nothing is analysed.
// With extras, the impulse response joins their average before the taper and
// their correction is applied to the spectrum before the smoothing.
std::int32_t analyseCapture(MeasurementState& state, SampleArrays& arrays,
                            FourierTransform& transform, std::span<std::int16_t> recordBuffer,
                            std::int32_t recordDelaySamples, bool artificialMode,
                            std::uint32_t sampleCounter, std::int32_t latencySamples,
                            AnalysisExtras* extras = nullptr);

// Circular cross-correlation of capture[0..L-1] with the sequence, by the
// fast Hadamard transform and the sequence's two permutation tables:
// impulseResponse[1..L] = the correlation / L (rounded, kept within 16 bits),
// impulseResponse[N] = 0. Uses mlsSequence and mlsScratch as work arrays.
void mlsDeconvolve(SampleArrays& arrays, std::span<const std::int16_t> capture);

// From impulseResponse: accumulates the running average (in time or of the
// magnitudes), holds the signal outside the time cuts at the nearest kept
// sample, transforms N points (direction -1) and fills magnitudeSpectrum[1..M]
// and, when averaging in time, phaseSpectrum[1..M]. Does nothing when the
// arrays are not built for N.
void computeSpectrum(const MeasurementState& state, SampleArrays& arrays,
                     FourierTransform& transform, std::uint32_t sampleCounter);

}  // namespace ressona
