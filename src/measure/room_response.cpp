#include "measure/room_response.h"

#include <algorithm>

#include "signals/sample_arrays.h"
#include "state/measurement_state.h"

namespace ressona {

namespace {

// The circular correlation of capture[0 .. L - 1] with the sequence, by the
// fast Hadamard transform and the sequence's tables, as the program's own
// (response_analysis.cpp) but in 64 bits and without rounding:
// result[g - 1] = correlation at lag g / L, g = 1 .. L.
std::vector<double> correlateWithSequence(const SampleArrays& arrays,
                                          std::span<const std::int16_t> capture) {
    const auto n = static_cast<std::size_t>(arrays.pointCount);
    const auto length = static_cast<std::size_t>(arrays.mlsLength);
    const MlsTables& mls = arrays.mls;
    std::vector<std::int64_t> x(n, 0);
    std::vector<std::int64_t> y(n, 0);
    for (std::size_t j = 1; j <= length; ++j)
        x[static_cast<std::size_t>(mls.mlsInputTags[j])] = capture[j - 1];
    const std::size_t half = n / 2;
    for (std::int32_t pass = 0; pass < arrays.mlsOrder; ++pass) {
        for (std::size_t h = 0; h < half; ++h) {
            y[h] = x[2 * h] + x[2 * h + 1];
            y[h + half] = x[2 * h] - x[2 * h + 1];
        }
        std::swap(x, y);
    }
    std::vector<double> result(length);
    for (std::size_t g = 1; g <= length; ++g) {
        result[g - 1] = static_cast<double>(x[static_cast<std::size_t>(mls.mlsOutputTags[g])]) /
                        static_cast<double>(length);
    }
    return result;
}

bool sequenceTablesBuilt(const SampleArrays& arrays) {
    const auto n = static_cast<std::size_t>(arrays.pointCount);
    return arrays.mlsActive && n >= 4 && arrays.mlsLength == arrays.pointCount - 1 &&
           arrays.mls.mlsInputTags.size() == n - 1 && arrays.mls.mlsOutputTags.size() == n - 1;
}

}  // namespace

bool givesImpulseResponse(std::int32_t excitationMode, bool logSweep) {
    return logSweep || excitationMode == kModeMls || excitationMode == kModePulse;
}

RoomResponse roomResponseOf(const MeasurementState& state, const SampleArrays& arrays,
                            bool logSweep) {
    RoomResponse response;
    response.sampleRate = state.sampleRate;
    response.source = logSweep ? "logsweep" : state.excitationMode == kModeMls ? "mls" : "pulse";
    if (!givesImpulseResponse(state.excitationMode, logSweep)) {
        response.error = "the excitation gives no impulse response";
        return response;
    }
    if (!arrays.resultsReady) {
        response.error = "no pass was analysed";
        return response;
    }
    const auto n = static_cast<std::size_t>(arrays.pointCount);
    const bool mls = !logSweep && state.excitationMode == kModeMls && !state.artificialMode;
    if (!mls) {
        // Whole 16-bit steps (or their average over the passes).
        const auto trace = arrays.timeTrace.raw();
        response.samples.assign(trace.begin(), trace.end());
        response.roundingStep = 1.0;
        return response;
    }
    if (!sequenceTablesBuilt(arrays) || state.device.recordBuffer.size() < 2 * n) {
        response.error = "the sequence's tables are not there";
        return response;
    }
    // The last L samples of the 2N recorded; the program's stretch starts at
    // the trigger, so this one is `shift` samples later, which moves every
    // lag of the correlation forward by as much.
    const std::size_t length = n - 1;
    const std::size_t start = 2 * n - length;
    const auto trigger = static_cast<std::size_t>(
        std::clamp<std::int32_t>(state.triggerSample, 0, static_cast<std::int32_t>(n)));
    const std::size_t shift = (start - trigger) % length;
    const std::vector<double> lags =
        correlateWithSequence(arrays, std::span(state.device.recordBuffer).subspan(start, length));
    response.samples.resize(length);
    for (std::size_t g = 0; g < length; ++g)
        response.samples[g] = lags[(g + length - shift) % length];
    return response;
}

}  // namespace ressona
