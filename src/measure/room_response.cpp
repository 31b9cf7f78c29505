#include "measure/room_response.h"

#include <algorithm>

#include "analysis/response_analysis.h"
#include "response/transfer_function.h"
#include "signals/sample_arrays.h"
#include "state/measurement_state.h"

namespace ressona {

namespace {

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
    // The last whole period of the 2N recorded, turned to the program's alignment.
    const auto trigger = static_cast<std::size_t>(
        std::clamp<std::int32_t>(state.triggerSample, 0, static_cast<std::int32_t>(n)));
    response.samples = steadyMlsResponse(arrays, state.device.recordBuffer, trigger);
    response.samples.resize(n - 1);
    return response;
}

RoomResponse sweepRoomResponse(const TransferFunction& transfer, std::size_t lead) {
    RoomResponse response;
    response.source = "logsweep";
    response.sampleRate = transfer.sampleRate;
    if (transfer.empty()) {
        response.error = "no sweep was deconvolved";
        return response;
    }
    const std::vector<double>& impulse = transfer.impulse;
    lead = std::min(lead, impulse.size());
    response.samples.reserve(impulse.size());
    response.samples.assign(impulse.end() - static_cast<std::ptrdiff_t>(lead), impulse.end());
    response.samples.insert(response.samples.end(), impulse.begin(),
                            impulse.end() - static_cast<std::ptrdiff_t>(lead));
    return response;
}

}  // namespace ressona
