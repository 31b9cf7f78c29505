#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <set>
#include <vector>

#include "control/program_state.h"
#include "signals/excitation.h"
#include "signals/generators.h"
#include "unit/program_fixture.h"

namespace ressona {
namespace {

class GeneratorsTest : public ::testing::Test {
protected:
    void SetUp() override { prepare(2048, 22050); }

    void prepare(std::uint32_t n, std::uint32_t rate) {
        program->state.sampleLength = n;
        program->state.sampleRate = rate;
        ASSERT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone);
    }
    std::span<std::uint8_t> play() { return program->state.device.playBuffer; }
    SampleArrays& arrays() { return program->arrays; }
    // Fills both copies with a marker so a generator that skips a sample shows.
    void poison() {
        std::fill(play().begin(), play().end(), 7);
        arrays().excitationBuffer.fill(7);
    }
    // The pass as played, checked to equal its copy sample for sample.
    std::vector<std::uint8_t> pass() {
        const auto length = static_cast<std::size_t>(arrays().excitationLength);
        std::vector<std::uint8_t> codes(play().begin(), play().begin() + length);
        for (std::size_t i = 1; i <= length; ++i) {
            EXPECT_EQ(arrays().excitationBuffer[i], codes[i - 1]) << "sample " << i;
        }
        return codes;
    }

    std::unique_ptr<ProgramState> program = testing::makeProgram();
};

TEST_F(GeneratorsTest, PulseSitsAtSampleElevenForEveryLength) {
    for (std::uint32_t n : {64u, 2048u, 16384u}) {
        prepare(n, 22050);
        poison();
        generatePulse(play(), arrays());
        const auto codes = pass();
        ASSERT_EQ(codes.size(), 2 * n);
        for (std::size_t i = 1; i <= codes.size(); ++i) {
            EXPECT_EQ(codes[i - 1], i == 11 ? 60 : 128) << "sample " << i;
        }
    }
}

TEST_F(GeneratorsTest, SquareWaveStartsWithHalfAPeriodAtRest) {
    poison();
    generateSquareWave(play(), arrays(), 2000);
    const auto codes = pass();
    const std::vector<std::uint8_t> first(codes.begin(), codes.begin() + 12);
    EXPECT_EQ(first, (std::vector<std::uint8_t>{128, 128, 128, 128, 128, 60, 60, 60, 60, 60, 60, 128}));
    for (auto code : codes) EXPECT_TRUE(code == 60 || code == 128);
}

TEST_F(GeneratorsTest, SilenceRewritesTheWholePass) {
    poison();
    generateSilence(play(), arrays());
    for (auto code : pass()) EXPECT_EQ(code, 128);
}

TEST_F(GeneratorsTest, WhiteNoiseStaysWithinItsCodesAndChangesWithTheSeed) {
    poison();
    generateWhiteNoise(play(), arrays(), {12, 34});
    const auto first = pass();
    std::set<int> seen(first.begin(), first.end());
    EXPECT_EQ(*seen.begin(), 61);
    EXPECT_EQ(*seen.rbegin(), 128);
    EXPECT_EQ(seen.size(), 68u);  // every code of 61..128 occurs in 4096 draws

    generateWhiteNoise(play(), arrays(), {12, 35});
    EXPECT_NE(pass(), first);
    generateWhiteNoise(play(), arrays(), {12, 34});
    EXPECT_EQ(pass(), first);  // the same seed gives the same noise
}

// Magnitudes of the pass's first N samples at bins 0..N/2 (plain DFT, double).
std::vector<double> spectrumOf(const std::vector<std::uint8_t>& codes, std::size_t n) {
    std::vector<double> magnitude(n / 2 + 1);
    double mean = 0;
    for (std::size_t i = 0; i < n; ++i) mean += codes[i];
    mean /= double(n);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        std::complex<double> sum;
        for (std::size_t i = 0; i < n; ++i) {
            sum += (codes[i] - mean) * std::polar(1.0, -2 * M_PI * double(k * i) / double(n));
        }
        magnitude[k] = std::abs(sum) / double(n);
    }
    return magnitude;
}

TEST_F(GeneratorsTest, SineWaveIsACleanToneBelowTheRestLevel) {
    prepare(1024, 8000);
    const std::uint32_t bin = 48;  // 375 Hz lies exactly on bin 48 of the first N samples
    const std::uint32_t hz = 375;
    generateSineWave(play(), arrays(), hz);
    const auto codes = pass();
    for (auto code : codes) {
        EXPECT_GE(code, 94);
        EXPECT_LE(code, 128);
    }
    const auto magnitude = spectrumOf(codes, 1024);
    EXPECT_NEAR(magnitude[bin], 17.0 / 2, 0.5);
    for (std::size_t k = 1; k < magnitude.size(); ++k) {
        // Only the rounding to whole codes is left; a tone that wrapped around
        // the byte range would put most of its energy into harmonics.
        if (k != bin) {
            EXPECT_LT(magnitude[k], 0.05 * magnitude[bin]) << "bin " << k;
        }
    }
}

TEST_F(GeneratorsTest, SweepStaysBetweenRestAndItsAmplitudeAndRisesInFrequency) {
    prepare(1024, 8000);
    generateSweep(play(), arrays());
    const auto codes = pass();
    std::size_t earlyCrossings = 0, lateCrossings = 0;
    for (std::size_t i = 1; i < codes.size(); ++i) {
        EXPECT_GE(codes[i], 94);
        EXPECT_LE(codes[i], 128);
        const bool crossing = (codes[i - 1] < 111) != (codes[i] < 111);
        (i < codes.size() / 4 ? earlyCrossings : lateCrossings) += crossing;
    }
    EXPECT_LT(earlyCrossings * 3, lateCrossings);
}

}  // namespace
}  // namespace ressona
