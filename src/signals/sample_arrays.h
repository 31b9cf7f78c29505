#pragma once
// Every array that holds samples, spectra and plot points, sized from the
// sample length N: the pass is 2N samples, the analysis N, spectra N/2 bins.
// Positions run from 1. Rebuilt at every Start by allocateSampleArrays.

#include <cstdint>

#include "signals/allocation_budget.h"
#include "signals/mls.h"
#include "signals/noise_source.h"
#include "signals/one_based.h"
#include "state/sample_types.h"

namespace ressona {

struct MeasurementState;

// allocateSampleArrays' outcomes.
inline constexpr int kArraysReady = 0;
inline constexpr int kArraysAllocationFailed = -1;
// N is not a power of two with exponent 2..20: the program cannot go on ("Major error !").
inline constexpr int kArraysImpossibleSize = -3;

struct SampleArrays {
    // Sizes derived from N.
    std::int32_t pointCount = 0;        // N
    std::int32_t excitationLength = 0;  // 2N
    std::int32_t binCount = 0;          // N/2
    std::int32_t mlsLength = 0;         // N - 1
    std::int32_t mlsOrder = 0;          // log2 N

    // The arrays, in their order of allocation and release.
    OneBasedArray<std::uint8_t> excitationBuffer;  // 2N codes: the excitation last generated
    OneBasedArray<ComplexValue> spectrumWork;      // N: transform input and output
    OneBasedArray<ComplexValue> timeComplex;       // N: gated time signal for the waterfall
    OneBasedArray<float> timeTrace;                // N: averaged, gated time signal
    OneBasedArray<std::int16_t> impulseResponse;   // N
    OneBasedArray<float> averageSum;               // N: running sum of the average
    OneBasedArray<float> magnitudeSpectrum;        // N/2: linear magnitudes
    OneBasedArray<float> capturedSpectrum;         // N/2: captured or loaded magnitudes
    OneBasedArray<float> phaseSpectrum;            // N/2: radians
    OneBasedArray<PlotPoint> plotPoints;           // 4N polyline vertices
    OneBasedArray<float> taperWindow;              // N: built only with the half-Hanning taper

    // Analysis parameters, set by every allocation.
    float analysisSampleRate = 0.0f;  // Hz
    float binWidth = 0.0f;            // Hz per bin
    float plotTimeSpan = 0.0f;        // ms covered by N samples
    std::int32_t averagesWanted = 1;
    std::int32_t averagesDone = 0;
    bool analysisAverageInTime = true;
    std::int32_t pulseWidth = 1;
    bool resultsReady = false;

    // Plot defaults, set once by the first allocation of the run.
    bool plotDefaultsSet = false;
    float timePlotMax = 0.0f;
    float timePlotMin = 0.0f;

    // True while the excitation is the maximum-length sequence (the analysis correlates).
    bool mlsActive = false;
    MlsTables mls;

    NoiseSource noise;
    AllocationBudget allocationBudget;
};

// (Re)builds every array for sample length n at sampleRate Hz, keeping
// capturedSpectrum (and its display) when its length N/2 is unchanged. Sets the
// analysis parameters, the plot defaults on the first call, and the taper when
// state.analysisHalfHanning is set. Returns kArraysReady, kArraysAllocationFailed
// (arrays before the failing one are valid) or kArraysImpossibleSize.
int allocateSampleArrays(MeasurementState& state, SampleArrays& arrays, std::uint32_t n,
                         std::uint32_t sampleRate, std::int32_t passes, bool averageInTime);

// Releases arrays 1..11 that exist (the sequence tables are released separately).
void releaseArrayStorage(SampleArrays& arrays);

}  // namespace ressona
