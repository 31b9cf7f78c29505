#include "response/wire_reference.h"

#include <algorithm>

#include "analysis/response_analysis.h"
#include "signals/sample_arrays.h"

namespace ressona {

namespace {

// A code as the analysis sees it: as it sounds through a wire, (c - 128) x
// 256 counts, or as a signed byte in Artificial mode.
std::int16_t recordedCode(std::uint8_t code, bool artificialMode) {
    if (artificialMode) return static_cast<std::int16_t>(static_cast<std::int8_t>(code));
    return static_cast<std::int16_t>((static_cast<std::int32_t>(code) - kSilenceCode) * 256);
}

}  // namespace

std::vector<double> wireResponse(SampleArrays& arrays, std::int64_t offset, bool artificialMode) {
    const auto n = static_cast<std::size_t>(std::max(arrays.pointCount, 0));
    const std::span<const std::uint8_t> codes = arrays.excitationBuffer.raw();
    if (n < 4 || codes.size() != 2 * n || arrays.impulseResponse.size() != n) return {};
    // The analysis correlates a recorded sequence from a period in which the
    // system answers it steadily, as if it had always been playing.
    const bool periodic = arrays.mlsActive && !artificialMode && arrays.mlsLength > 0;
    const std::int64_t period = arrays.mlsLength;
    std::vector<std::int16_t> stretch(n, recordedCode(kSilenceCode, artificialMode));
    for (std::size_t i = 0; i < n; ++i) {
        std::int64_t at = offset + static_cast<std::int64_t>(i);
        if (periodic) at = (at % period + period) % period;
        if (at >= 0 && at < static_cast<std::int64_t>(codes.size()))
            stretch[i] = recordedCode(codes[static_cast<std::size_t>(at)], artificialMode);
    }
    if (!arrays.mlsActive) return {stretch.begin(), stretch.end()};
    if (periodic) {
        // Unrounded, as the analysis averages the steady response for the transfer function.
        std::vector<double> reference = mlsCorrelation(arrays, stretch);
        if (!reference.empty()) reference.push_back(0.0);
        return reference;
    }
    const std::vector<std::int16_t> kept(arrays.impulseResponse.raw().begin(),
                                         arrays.impulseResponse.raw().end());
    mlsDeconvolve(arrays, stretch);
    std::vector<double> reference(arrays.impulseResponse.raw().begin(),
                                  arrays.impulseResponse.raw().end());
    std::copy(kept.begin(), kept.end(), arrays.impulseResponse.raw().begin());
    return reference;
}

}  // namespace ressona
