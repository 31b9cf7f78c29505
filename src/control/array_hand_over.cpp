#include "control/array_hand_over.h"

#include "signals/sample_arrays.h"

namespace ressona {

void captureCurrent(MeasurementState& state, SampleArrays& arrays) {
    state.plotShowCaptured = true;
    const auto bins = static_cast<std::size_t>(arrays.binCount);
    if (arrays.magnitudeSpectrum.size() >= bins && arrays.capturedSpectrum.size() >= bins) {
        for (std::size_t k = 1; k <= bins; ++k)
            arrays.capturedSpectrum[k] = arrays.magnitudeSpectrum[k];
    }
    setCapturedLabel(state, "Captured ");
}

void handTimeCuts(MeasurementState& state, const SampleArrays& arrays, std::int32_t lowerCut,
                  std::int32_t upperCut) {
    state.plotLowerCutTime = static_cast<float>(lowerCut) * 0.001f * arrays.plotTimeSpan;
    state.plotUpperCutTime = static_cast<float>(upperCut) * 0.001f * arrays.plotTimeSpan;
}

}  // namespace ressona
