#include "signals/sample_arrays.h"

#include <cmath>

#include "state/measurement_state.h"

namespace ressona {

namespace {

constexpr float kTimePlotDefaultMax = 10000.0f;
constexpr float kTimePlotDefaultMin = -10000.0f;
constexpr std::int32_t kDefaultWaterfallSteps = 20;

// The order p with 2^p == n for p in 2..20, or 0 when there is none.
std::int32_t orderOf(std::uint32_t n) {
    for (std::int32_t p = 2; p <= 20; ++p) {
        if (n == (1u << p)) return p;
    }
    return 0;
}

// Keeps the captured curve when its length is already N/2; otherwise it is
// built anew and no longer shown.
bool allocateCapturedSpectrum(MeasurementState& state, SampleArrays& arrays, std::size_t bins) {
    OneBasedArray<float>& captured = arrays.capturedSpectrum;
    if (captured.allocated() && captured.size() == bins) return true;
    if (captured.allocated()) state.plotShowCaptured = false;
    return captured.allocate(bins, arrays.allocationBudget);
}

bool allocateArrays(MeasurementState& state, SampleArrays& arrays, std::size_t n) {
    AllocationBudget& budget = arrays.allocationBudget;
    return arrays.excitationBuffer.allocate(2 * n, budget) &&
           arrays.spectrumWork.allocate(n, budget) &&
           arrays.timeComplex.allocate(n, budget) &&
           arrays.timeTrace.allocate(n, budget) &&
           arrays.impulseResponse.allocate(n, budget) &&
           arrays.averageSum.allocate(n, budget) &&
           arrays.magnitudeSpectrum.allocate(n / 2, budget) &&
           allocateCapturedSpectrum(state, arrays, n / 2) &&
           arrays.phaseSpectrum.allocate(n / 2, budget) &&
           arrays.plotPoints.allocate(4 * n, budget);
}

void setAnalysisParameters(SampleArrays& arrays, std::uint32_t n, std::uint32_t sampleRate,
                           std::int32_t passes, bool averageInTime) {
    arrays.analysisSampleRate = static_cast<float>(sampleRate);
    arrays.binWidth = arrays.analysisSampleRate / static_cast<float>(n);
    arrays.plotTimeSpan = static_cast<float>(n) * 1000.0f / arrays.analysisSampleRate;
    arrays.averagesWanted = passes;
    arrays.averagesDone = 0;
    arrays.analysisAverageInTime = averageInTime;
    arrays.pulseWidth = 1;
}

void setPlotDefaults(MeasurementState& state, SampleArrays& arrays) {
    arrays.timePlotMax = kTimePlotDefaultMax;
    arrays.timePlotMin = kTimePlotDefaultMin;
    state.plotShiftDb = 0.0f;
    state.plotWaterfallStart = 0;
    state.plotWaterfallSteps = kDefaultWaterfallSteps;
    arrays.plotDefaultsSet = true;
}

// A quarter period of a cosine: 1 at i = 1 falling towards 0 at i = N.
bool buildTaperWindow(SampleArrays& arrays, std::size_t n) {
    if (!arrays.taperWindow.allocate(n, arrays.allocationBudget)) return false;
    for (std::size_t i = 1; i <= n; ++i) {
        const float angle = kPi * 0.5f * static_cast<float>(i - 1) / static_cast<float>(n);
        arrays.taperWindow[i] = std::cos(angle);
    }
    return true;
}

}  // namespace

int allocateSampleArrays(MeasurementState& state, SampleArrays& arrays, std::uint32_t n,
                         std::uint32_t sampleRate, std::int32_t passes, bool averageInTime) {
    const std::int32_t order = orderOf(n);
    if (order == 0) return kArraysImpossibleSize;
    const auto count = static_cast<std::int32_t>(n);
    arrays.pointCount = count;
    arrays.excitationLength = 2 * count;
    arrays.binCount = count / 2;
    arrays.mlsLength = count - 1;
    arrays.mlsOrder = order;

    if (!allocateArrays(state, arrays, n)) return kArraysAllocationFailed;

    setAnalysisParameters(arrays, n, sampleRate, passes, averageInTime);
    if (!arrays.plotDefaultsSet) setPlotDefaults(state, arrays);
    if (state.analysisHalfHanning && !buildTaperWindow(arrays, n)) return kArraysAllocationFailed;
    arrays.resultsReady = false;
    return kArraysReady;
}

void releaseArrayStorage(SampleArrays& arrays) {
    arrays.excitationBuffer.release();
    arrays.spectrumWork.release();
    arrays.timeComplex.release();
    arrays.timeTrace.release();
    arrays.impulseResponse.release();
    arrays.averageSum.release();
    arrays.magnitudeSpectrum.release();
    arrays.capturedSpectrum.release();
    arrays.phaseSpectrum.release();
    arrays.plotPoints.release();
    arrays.taperWindow.release();
}

}  // namespace ressona
