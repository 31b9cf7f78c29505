#include "analysis/response_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "analysis/smoothing.h"
#include "analysis_test_support.h"

namespace ressona {
namespace {

using testing::Preparation;
using testing::preparedProgram;

std::int32_t analyse(ProgramState& p, std::int32_t delay, bool artificial, std::uint32_t counter,
                     std::int32_t latency) {
    return analyseCapture(p.state, p.arrays, p.transform, p.state.device.recordBuffer, delay,
                          artificial, counter, latency);
}

std::int16_t signedCode(std::uint8_t code) {
    return static_cast<std::int8_t>(code);
}

TEST(Alignment, StartsAtDelayPlusLatencyWithinTheCapture) {
    auto p = preparedProgram({.mode = kModePulse, .n = 64});
    auto& record = p->state.device.recordBuffer;
    std::iota(record.begin(), record.begin() + 128, std::int16_t{1});  // sample i holds i

    // Artificial mode reads the excitation's codes as signed bytes, whatever the latency.
    EXPECT_EQ(analyse(*p, 0, true, 0, 300), 0);
    for (std::size_t i = 1; i <= 64; ++i) {
        EXPECT_EQ(p->arrays.impulseResponse[i], i == 11 ? 60 : -128) << i;
    }
    EXPECT_EQ(analyse(*p, 5, true, 0, 300), 5);
    EXPECT_EQ(p->arrays.impulseResponse[6], 60);

    EXPECT_EQ(analyse(*p, -500, false, 0, 200), 0) << "clamped, not -300";
    EXPECT_EQ(p->arrays.impulseResponse[1], 1);
    EXPECT_EQ(p->state.triggerSample, 0);
    EXPECT_EQ(analyse(*p, 20, false, 0, 3), 23);
    EXPECT_EQ(p->arrays.impulseResponse[1], 24);

    // Past the end of the capture the stretch stops at its last N samples.
    EXPECT_EQ(analyse(*p, 32, false, 0, 5000), 64);
    EXPECT_EQ(p->arrays.impulseResponse[1], 65);
    EXPECT_EQ(p->arrays.impulseResponse[64], 128);
    EXPECT_TRUE(p->arrays.resultsReady);
}

TEST(Alignment, RefusesABufferShorterThanTheStretch) {
    auto p = preparedProgram({.mode = kModePulse, .n = 64});
    std::vector<std::int16_t> tooShort(40, 7);
    EXPECT_EQ(analyseCapture(p->state, p->arrays, p->transform, tooShort, 0, false, 0, 0), 0);
    EXPECT_FALSE(p->arrays.resultsReady);
    std::vector<std::int16_t> oneStretch(64, 7);  // N samples: only start 0 fits
    EXPECT_EQ(analyseCapture(p->state, p->arrays, p->transform, oneStretch, 10, false, 0, 10), 0);
    EXPECT_EQ(p->arrays.impulseResponse[64], 7);
}

// The excitation's MLS repeats with period L, so any stretch of it correlates
// to one clean impulse, at position 1 for no delay and moving back by the delay.
TEST(MlsDeconvolution, ExcitationItselfGivesOneImpulse) {
    for (std::uint32_t n : {64u, 256u, 2048u, 16384u}) {
        auto p = preparedProgram({.mode = kModeMls, .n = n});
        const auto length = static_cast<std::int32_t>(n) - 1;
        for (std::int32_t delay : {0, 1, 17, static_cast<std::int32_t>(n / 2)}) {
            analyse(*p, delay, true, 0, 999);
            const std::size_t peak = static_cast<std::size_t>((length - delay) % length) + 1;
            const auto& response = p->arrays.impulseResponse;
            // (60 - (-128)) / 2 = 94 codes per sequence step.
            EXPECT_NEAR(response[peak], 94, 1) << "n " << n << " delay " << delay;
            for (std::size_t i = 1; i <= n; ++i) {
                if (i != peak) {
                    ASSERT_LE(std::abs(response[i]), 1) << "n " << n << " at " << i;
                }
            }
            EXPECT_EQ(response[n], 0);
        }
    }
}

// A recording of the excitation through a short filter, delayed by the
// latency, gives back the filter: with x = 94 s - 34 (s the +-1 sequence),
// position k + 1 holds 94 (L + 1) / L * h(k) - 60 * sum(h) / L.
TEST(MlsDeconvolution, RecoversAKnownFilterFromARecording) {
    const std::vector<double> filter = {8000.0, -4000.0, 2500.0, 0.0, -1200.0, 300.0};
    const double filterSum = std::accumulate(filter.begin(), filter.end(), 0.0);
    for (std::uint32_t n : {1024u, 8192u}) {
        auto p = preparedProgram({.mode = kModeMls, .n = n});
        const auto length = static_cast<std::int64_t>(n) - 1;
        const std::int32_t latency = 37;
        std::vector<double> excitation(static_cast<std::size_t>(length));
        for (std::int64_t i = 0; i < length; ++i) {
            excitation[static_cast<std::size_t>(i)] =
                signedCode(p->arrays.excitationBuffer[static_cast<std::size_t>(i + 1)]) / 128.0;
        }
        auto& record = p->state.device.recordBuffer;
        for (std::int64_t i = 0; i < 2 * static_cast<std::int64_t>(n); ++i) {
            double y = 0.0;
            for (std::size_t k = 0; k < filter.size(); ++k) {
                const std::int64_t j =
                    ((i - latency - static_cast<std::int64_t>(k)) % length + length) % length;
                y += filter[k] * excitation[static_cast<std::size_t>(j)];
            }
            record[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(y));
        }
        EXPECT_EQ(analyse(*p, 0, false, 0, latency), latency);
        const double scale = 94.0 / 128.0;
        const double floor = -60.0 / 128.0 * filterSum / static_cast<double>(length);
        for (std::size_t g = 1; g <= 40; ++g) {
            const double tap = g <= filter.size() ? filter[g - 1] : 0.0;
            const double expected =
                scale * tap * (length + 1) / static_cast<double>(length) + floor;
            EXPECT_NEAR(p->arrays.impulseResponse[g], expected, 1.5) << "n " << n << " tap " << g;
        }
    }
}

TEST(MlsDeconvolution, KeepsAFullScaleResponseWithinSixteenBits) {
    auto p = preparedProgram({.mode = kModeMls, .n = 256});
    // Full scale in phase with the sequence: the correlation is just above 32767.
    std::vector<std::int16_t> capture(256);
    for (std::size_t i = 1; i <= 255; ++i) {
        capture[i - 1] = p->arrays.excitationBuffer[i] == kDriveCode ? 32767 : -32768;
    }
    mlsDeconvolve(p->arrays, capture);
    EXPECT_EQ(p->arrays.impulseResponse[1], 32767);
}

TEST(Taper, FadesTowardsTheMeanAndLeavesAConstantAlone) {
    auto p = preparedProgram({.mode = kModePulse, .n = 512, .halfHanning = true});
    auto& record = p->state.device.recordBuffer;
    std::fill(record.begin(), record.end(), std::int16_t{-1234});
    analyse(*p, 0, false, 0, 0);
    for (std::size_t i = 1; i <= 512; ++i) ASSERT_EQ(p->arrays.impulseResponse[i], -1234) << i;

    // 1000 at both ends, 0 between: the mean is 4 (2000/512 rounded). The first
    // sample is kept; the last fades from 996 above the mean almost to it.
    std::fill(record.begin(), record.end(), std::int16_t{0});
    record[0] = 1000;
    record[511] = 1000;
    analyse(*p, 0, false, 0, 0);
    EXPECT_EQ(p->arrays.impulseResponse[1], 1000);
    EXPECT_EQ(p->arrays.impulseResponse[2], 0);
    EXPECT_EQ(p->arrays.impulseResponse[512],
              4 + std::lround(996 * std::cos(M_PI * 0.5 * 511 / 512)));
}

TEST(Cuts, HoldTheEdgeSamplesOutsideTheKeptSpan) {
    auto p = preparedProgram({.mode = kModePulse, .n = 1024});
    auto& record = p->state.device.recordBuffer;
    for (std::size_t i = 0; i < 2048; ++i) record[i] = static_cast<std::int16_t>(i % 700);
    const auto& trace = p->arrays.timeTrace;

    analyse(*p, 0, false, 0, 0);  // 0 and 1000 per mille keep everything
    for (std::size_t i = 1; i <= 1024; ++i) ASSERT_EQ(trace[i], static_cast<float>((i - 1) % 700));

    handTimeCuts(p->state, p->arrays, 250, 500);
    analyse(*p, 0, false, 0, 0);
    for (std::size_t i = 1; i <= 1024; ++i) {
        const std::size_t kept = std::clamp<std::size_t>(i, 257, 513);
        ASSERT_EQ(trace[i], static_cast<float>((kept - 1) % 700)) << i;
        ASSERT_EQ(p->arrays.timeComplex[i].re, trace[i]);
        ASSERT_EQ(p->arrays.timeComplex[i].im, 0.0f);
    }

    // A lower cut near the end of a short record still keeps one sample.
    auto small = preparedProgram({.mode = kModePulse, .n = 64});
    auto& smallRecord = small->state.device.recordBuffer;
    for (std::size_t i = 0; i < 128; ++i) smallRecord[i] = static_cast<std::int16_t>(i);
    handTimeCuts(small->state, small->arrays, 999, 1000);
    analyse(*small, 0, false, 0, 0);
    for (std::size_t i = 1; i <= 64; ++i) ASSERT_EQ(small->arrays.timeTrace[i], 63.0f) << i;
}

// A cut between two samples keeps from the nearest one: at 2048 samples and
// 22050 Hz, 12 per mille is 24.576 samples (first kept position 26, not 25)
// and 990 per mille 2027.52 samples (last kept position 2029, not 2028).
TEST(Cuts, ACutBetweenTwoSamplesGoesToTheNearest) {
    auto p = preparedProgram({.mode = kModePulse, .n = 2048, .rate = 22050});
    auto& record = p->state.device.recordBuffer;
    for (std::size_t i = 0; i < 4096; ++i) record[i] = static_cast<std::int16_t>(i % 3000);
    handTimeCuts(p->state, p->arrays, 12, 990);
    analyse(*p, 0, false, 0, 0);
    const auto& trace = p->arrays.timeTrace;
    for (std::size_t i = 1; i <= 26; ++i) ASSERT_EQ(trace[i], 25.0f) << i;
    EXPECT_EQ(trace[27], 26.0f);
    EXPECT_EQ(trace[2028], 2027.0f);
    for (std::size_t i = 2029; i <= 2048; ++i) ASSERT_EQ(trace[i], 2028.0f) << i;
}

TEST(Spectrum, MagnitudesAndPhasesOfKnownSignals) {
    auto p = preparedProgram({.mode = kModePulse, .n = 256});
    auto& record = p->state.device.recordBuffer;
    const auto& magnitude = p->arrays.magnitudeSpectrum;
    const auto& phase = p->arrays.phaseSpectrum;

    // A negative impulse at the first sample: every bin real and negative;
    // a zero imaginary part gives phase 0, not pi.
    std::fill(record.begin(), record.end(), std::int16_t{0});
    record[0] = -256;
    analyse(*p, 0, false, 0, 0);
    for (std::size_t k = 1; k <= 128; ++k) {
        ASSERT_FLOAT_EQ(magnitude[k], 1.0f);
        ASSERT_EQ(phase[k], 0.0f) << k;
    }

    // One sample later: phase +2 pi (k - 1) / N at position k (position 1 is DC).
    std::fill(record.begin(), record.end(), std::int16_t{0});
    record[1] = 256;
    analyse(*p, 0, false, 0, 0);
    for (std::size_t k = 2; k <= 100; ++k) {
        EXPECT_NEAR(phase[k], 2.0 * M_PI * static_cast<double>(k - 1) / 256.0, 1e-4) << k;
    }

    // A constant A gives A at position 1; a cosine of amplitude A on bin 10 gives A/2.
    for (std::size_t i = 0; i < 512; ++i) {
        record[i] = static_cast<std::int16_t>(
            std::lround(300 + 1000 * std::cos(2 * M_PI * 10 * i / 256.0)));
    }
    analyse(*p, 0, false, 0, 0);
    EXPECT_NEAR(magnitude[1], 300.0f, 0.01f);
    EXPECT_NEAR(magnitude[11], 500.0f, 0.05f);
    EXPECT_NEAR(magnitude[30], 0.0f, 0.05f);
}

TEST(Spectrum, SmoothsWhenAskedAtStart) {
    auto plain = preparedProgram({.mode = kModePulse, .n = 2048});
    auto smoothed = preparedProgram({.mode = kModePulse, .n = 2048, .thirdOctave = true});
    for (ProgramState* p : {plain.get(), smoothed.get()}) {
        auto& record = p->state.device.recordBuffer;
        for (std::size_t i = 0; i < 4096; ++i)
            record[i] = static_cast<std::int16_t>((i * i * 7) % 2001 - 1000);
        analyse(*p, 0, false, 0, 0);
    }
    smoothSpectrum(plain->arrays, plain->arrays.magnitudeSpectrum.view());
    for (std::size_t k = 1; k <= 1024; ++k) {
        ASSERT_EQ(smoothed->arrays.magnitudeSpectrum[k], plain->arrays.magnitudeSpectrum[k]) << k;
    }
}

std::vector<float> singleSpectrum(std::int16_t amplitude, std::size_t at) {
    auto p = preparedProgram({.mode = kModePulse, .n = 256});
    auto& record = p->state.device.recordBuffer;
    record[at] = amplitude;
    record[at + 3] = static_cast<std::int16_t>(amplitude / 2);
    analyse(*p, 0, false, 0, 0);
    const auto raw = p->arrays.magnitudeSpectrum.raw();
    return {raw.begin(), raw.end()};
}

TEST(Averaging, FrequencyAverageIsTheMeanOfMagnitudesAndLeavesPhase) {
    auto p = preparedProgram({.mode = kModePulse, .n = 256, .averages = 4, .averageInTime = false});
    auto& record = p->state.device.recordBuffer;
    std::fill(p->arrays.phaseSpectrum.raw().begin(), p->arrays.phaseSpectrum.raw().end(), 7.0f);
    const std::int16_t amplitudes[] = {100, 300, -200, 1000, 50};
    const std::size_t positions[] = {0, 5, 9, 2, 30};
    std::vector<std::vector<float>> singles;
    for (int c = 0; c < 5; ++c) {
        singles.push_back(singleSpectrum(amplitudes[c], positions[c]));
        std::fill(record.begin(), record.end(), std::int16_t{0});
        record[positions[c]] = amplitudes[c];
        record[positions[c] + 3] = static_cast<std::int16_t>(amplitudes[c] / 2);
        analyse(*p, 0, false, static_cast<std::uint32_t>(c + 1), 0);
        if (c == 3) {
            for (std::size_t k = 1; k <= 128; ++k) {
                const float mean = (singles[0][k - 1] + singles[1][k - 1] + singles[2][k - 1] +
                                    singles[3][k - 1]) /
                                   4.0f;
                ASSERT_NEAR(p->arrays.magnitudeSpectrum[k], mean, 1e-4f) << k;
                ASSERT_EQ(p->arrays.phaseSpectrum[k], 7.0f);
            }
            EXPECT_EQ(p->arrays.averagesDone, 0) << "the average is complete";
        }
    }
    for (std::size_t k = 1; k <= 128; ++k) {
        ASSERT_NEAR(p->arrays.magnitudeSpectrum[k], singles[4][k - 1], 1e-5f) << "5th starts anew";
    }
}

TEST(Averaging, TimeAverageIsTheMeanSignalAndRestartsAtCountZero) {
    auto p = preparedProgram({.mode = kModePulse, .n = 64, .averages = 3});
    auto& record = p->state.device.recordBuffer;
    std::fill(record.begin(), record.end(), std::int16_t{30});
    analyse(*p, 0, false, 0, 0);
    std::fill(record.begin(), record.end(), std::int16_t{-10});
    analyse(*p, 0, false, 1, 0);
    EXPECT_FLOAT_EQ(p->arrays.timeTrace[5], 10.0f);
    EXPECT_FLOAT_EQ(p->arrays.magnitudeSpectrum[1], 10.0f);
    analyse(*p, 0, false, 0, 0);  // a new run: the average starts again
    EXPECT_FLOAT_EQ(p->arrays.timeTrace[5], -10.0f);
}

}  // namespace
}  // namespace ressona
