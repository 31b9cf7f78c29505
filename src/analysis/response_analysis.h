#pragma once
// Turns one completed capture into the results the plots draw and the saved
// file stores: aligns it in time, correlates it with the sequence (MLS) or
// takes it as it is, tapers, averages, cuts, transforms, and forms magnitude
// and phase. Decibels, subtraction and views belong to the plots.

#include <cstdint>
#include <span>
#include <vector>

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
// starts a new average. With the MLS the response is correlated from the
// latest whole period of L = N - 1 samples the recording holds after that
// start (the system then answers the sequence steadily), turned back by whole
// samples so that it still starts where the stretch does; that period is
// copied to the capture's first L samples in recordBuffer. In Artificial mode
// the excitation's stretch itself is correlated. When the arrays are not
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

// The circular cross-correlation of capture[0..L-1] with the sequence, as
// mlsDeconvolve forms it but in 64 bits and without rounding: result[g - 1]
// = the correlation at lag g / L, g = 1..L. Empty without the sequence's tables.
std::vector<double> mlsCorrelation(const SampleArrays& arrays,
                                   std::span<const std::int16_t> capture);

// The steady MLS response of a recording (at most 2N samples are used) whose
// analysed stretch starts at `start`: the latest whole period it holds,
// correlated without rounding and turned so that value 0 is the response at
// the stretch's start, as impulseResponse[1] is. N values, the last 0 (as
// the program's); empty without the tables or a whole period after start.
std::vector<double> steadyMlsResponse(const SampleArrays& arrays,
                                      std::span<const std::int16_t> recording, std::size_t start);

// From impulseResponse: accumulates the running average (in time or of the
// magnitudes), holds the signal outside the time cuts at the nearest kept
// sample, transforms N points (direction -1) and fills magnitudeSpectrum[1..M]
// and, when averaging in time, phaseSpectrum[1..M]. Does nothing when the
// arrays are not built for N.
void computeSpectrum(const MeasurementState& state, SampleArrays& arrays,
                     FourierTransform& transform, std::uint32_t sampleCounter);

}  // namespace ressona
