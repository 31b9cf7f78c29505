#include "analysis/smoothing.h"

#include <algorithm>

#include "signals/sample_arrays.h"

namespace ressona {

void smoothSpectrum(const SampleArrays& arrays, OneBasedSpan<float> spectrum) {
    const std::size_t bins =
        std::min(static_cast<std::size_t>(std::max(arrays.binCount, 0)), spectrum.size());
    if (bins < 2) return;
    const float binWidth = arrays.binWidth;
    // A band is written only once the bin above it has been read, so every
    // mean is taken over values as they were before smoothing.
    auto closeBand = [&](std::size_t top, float sum, std::size_t count) {
        const float mean = sum / static_cast<float>(count);
        for (std::size_t i = 0; i < count; ++i) spectrum[top - i] = mean;
    };
    float sum = 0.0f;
    std::size_t count = 0;
    float edge = kBandRatio * 2.0f * binWidth;  // 8/3 of a bin
    for (std::size_t k = 2; k <= bins; ++k) {
        const float frequency = static_cast<float>(k) * binWidth;
        if (frequency < edge) {
            sum += spectrum[k];
            ++count;
            continue;
        }
        closeBand(k - 1, sum, count);
        edge *= kBandRatio;
        sum = spectrum[k];
        count = 1;
    }
    closeBand(bins, sum, count);
}

}  // namespace ressona
