#include "response/panel_transfer.h"

#include <algorithm>

#include "analysis/analysis_extras.h"
#include "response/wire_reference.h"
#include "signals/sample_arrays.h"
#include "state/measurement_state.h"

namespace ressona {

namespace {

// The MLS correlation gives a system h as A h(g) + B H(0) over the L lags
// (A, B from the sequence's two levels; the wire gives A at lag 0 and B at
// every lag), periodic in L, while the transform runs over N = L + 1 points
// with the last one 0. The constant would not cancel in the division over N
// points (at -25 dB it leaves 0.04 dB): it is taken out of both first, H(0)
// from the sum over the lags, whose share of A + L B is the system's.
void takeOutSequenceOffset(std::vector<double>& measured, std::vector<double>& reference,
                           double offset) {
    const std::size_t lags = reference.size() - 1;
    double measuredSum = 0.0;
    double referenceSum = 0.0;
    for (std::size_t g = 0; g < lags; ++g) {
        measuredSum += measured[g];
        referenceSum += reference[g];
    }
    if (referenceSum == 0.0) return;
    const double atZeroHz = measuredSum / referenceSum;
    for (std::size_t g = 0; g < lags; ++g) {
        measured[g] -= offset * atZeroHz;
        reference[g] -= offset;
    }
}

// A recorded reference's share of the sequence's offset: the value at most of
// its lags (a wire answers at one lag, wherever the stretch starts).
double recordedSequenceOffset(const std::vector<double>& reference) {
    std::vector<double> lags(reference.begin(), reference.end() - 1);
    std::nth_element(lags.begin(), lags.begin() + std::ptrdiff_t(lags.size() / 2), lags.end());
    return lags[lags.size() / 2];
}

std::vector<double> averageOf(const ImpulseAverage& average) {
    std::vector<double> values(average.sum.size());
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = average.sum[i] / average.count;
    return values;
}

}  // namespace

TransferFunction panelTransferFunction(const MeasurementState& state, SampleArrays& arrays,
                                       const ImpulseAverage& average,
                                       const ImpulseAverage& referenceAverage) {
    if (!state.reference.present()) return panelTransferFunction(state, arrays, average);
    const auto n = static_cast<std::size_t>(std::max(arrays.pointCount, 0));
    if (average.count == 0 || average.sum.size() != n || n < 4 ||
        referenceAverage.count != average.count || referenceAverage.sum.size() != n)
        return {};
    std::vector<double> measured = averageOf(average);
    std::vector<double> reference = averageOf(referenceAverage);
    if (arrays.mlsActive)
        takeOutSequenceOffset(measured, reference, recordedSequenceOffset(reference));
    return transferFunctionOverReference(measured, reference, state.sampleRate,
                                         state.latencySamples);
}

TransferFunction panelTransferFunction(const MeasurementState& state, SampleArrays& arrays,
                                       const ImpulseAverage& average) {
    const auto n = static_cast<std::size_t>(std::max(arrays.pointCount, 0));
    if (average.count == 0 || average.sum.size() != n) return {};
    const std::int64_t arrival = state.artificialMode ? 0 : state.latencySamples;
    std::vector<double> reference =
        wireResponse(arrays, std::int64_t{state.triggerSample} - arrival, state.artificialMode);
    if (reference.size() != n) return {};
    std::vector<double> measured = averageOf(average);
    if (arrays.mlsActive && !state.artificialMode)
        takeOutSequenceOffset(measured, reference, reference[1]);
    return transferFunctionOfResponses(measured, reference, state.sampleRate, arrival);
}

}  // namespace ressona
