#include "analysis/analysis_extras.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "signals/sample_arrays.h"

namespace ressona {

namespace {

constexpr float kPiFloat = std::numbers::pi_v<float>;

// An angle in radians brought back within -pi..+pi by whole turns.
float wrapped(float radians) {
    if (radians > kPiFloat || radians < -kPiFloat) {
        radians = std::remainder(radians, 2.0f * kPiFloat);
    }
    return radians;
}

}  // namespace

bool correctionFits(const SpectrumCorrection& correction, const SampleArrays& arrays) {
    const auto bins = static_cast<std::size_t>(std::max(arrays.binCount, 0));
    return bins > 0 && correction.binWidth == arrays.binWidth && correction.gain.size() == bins &&
           (correction.phase.empty() || correction.phase.size() == bins) &&
           arrays.magnitudeSpectrum.size() >= bins && arrays.phaseSpectrum.size() >= bins;
}

void applySpectrumCorrection(const SpectrumCorrection& correction, SampleArrays& arrays,
                             bool phaseFresh) {
    if (!correctionFits(correction, arrays)) return;
    const std::size_t bins = correction.gain.size();
    for (std::size_t k = 1; k <= bins; ++k) arrays.magnitudeSpectrum[k] *= correction.gain[k - 1];
    if (!phaseFresh || correction.phase.empty()) return;
    for (std::size_t k = 1; k <= bins; ++k) {
        arrays.phaseSpectrum[k] = wrapped(arrays.phaseSpectrum[k] - correction.phase[k - 1]);
    }
}

void addToImpulseAverage(ImpulseAverage& average, const SampleArrays& arrays, bool fresh) {
    const std::size_t n = arrays.impulseResponse.size();
    if (fresh || average.sum.size() != n) {
        average.sum.assign(n, 0.0);
        average.count = 0;
    }
    for (std::size_t i = 1; i <= n; ++i) average.sum[i - 1] += arrays.impulseResponse[i];
    ++average.count;
}

void addToImpulseAverage(ImpulseAverage& average, std::span<const double> response, bool fresh) {
    if (fresh || average.sum.size() != response.size()) {
        average.sum.assign(response.size(), 0.0);
        average.count = 0;
    }
    for (std::size_t i = 0; i < response.size(); ++i) average.sum[i] += response[i];
    ++average.count;
}

}  // namespace ressona
