#include "analysis/smoothing.h"

#include <gtest/gtest.h>

#include <vector>

#include "signals/sample_arrays.h"

namespace ressona {
namespace {

SampleArrays gridOf(std::int32_t n, float rate) {
    SampleArrays arrays;
    arrays.pointCount = n;
    arrays.binCount = n / 2;
    arrays.binWidth = rate / static_cast<float>(n);
    return arrays;
}

TEST(Smoothing, BandsOfSixtyFourPointsAreTheSameAtEveryRate) {
    const std::vector<std::vector<int>> bands = {
        {2}, {3}, {4}, {5, 6}, {7, 8}, {9, 10, 11}, {12, 13, 14}, {15, 16, 17, 18, 19}};
    for (float rate : {8000.0f, 11025.0f, 22050.0f, 44100.0f, 48000.0f}) {
        const SampleArrays arrays = gridOf(64, rate);
        std::vector<float> spectrum(32);
        for (std::size_t k = 1; k <= 32; ++k) spectrum[k - 1] = static_cast<float>(k * k);
        smoothSpectrum(arrays, OneBasedSpan<float>(spectrum));

        EXPECT_EQ(spectrum[0], 1.0f) << "the DC position keeps its value";
        auto expectBand = [&](int from, int to) {
            float sum = 0.0f;
            for (int k = from; k <= to; ++k) sum += static_cast<float>(k * k);
            for (int k = from; k <= to; ++k) {
                EXPECT_FLOAT_EQ(spectrum[static_cast<std::size_t>(k - 1)],
                                sum / static_cast<float>(to - from + 1))
                    << "rate " << rate << " position " << k;
            }
        };
        for (const auto& band : bands) expectBand(band.front(), band.back());
        expectBand(20, 26);
        expectBand(27, 32);
    }
}

TEST(Smoothing, LeavesAConstantSpectrumAndTinyGridsAlone) {
    const SampleArrays arrays = gridOf(16384, 44100.0f);
    // Sums of a power of two stay exact; others carry the running sum's rounding.
    std::vector<float> exact(8192, 0.5f);
    smoothSpectrum(arrays, OneBasedSpan<float>(exact));
    for (float v : exact) ASSERT_EQ(v, 0.5f);
    std::vector<float> constant(8192, 0.3f);
    smoothSpectrum(arrays, OneBasedSpan<float>(constant));
    for (float v : constant) ASSERT_NEAR(v, 0.3f, 2e-5f);

    SampleArrays single = gridOf(2, 8000.0f);
    std::vector<float> one = {5.0f};
    smoothSpectrum(single, OneBasedSpan<float>(one));
    EXPECT_EQ(one[0], 5.0f);

    // A spectrum shorter than the grid is smoothed over its own length only.
    std::vector<float> shortSpectrum = {1.0f, 2.0f, 4.0f};
    smoothSpectrum(arrays, OneBasedSpan<float>(shortSpectrum));
    EXPECT_EQ(shortSpectrum, (std::vector<float>{1.0f, 2.0f, 4.0f}));
}

}  // namespace
}  // namespace ressona
