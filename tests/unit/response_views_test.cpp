// Group delay, minimum and excess phase, the energy-time curve and the
// averages of several responses, on responses whose answers are known.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "response/energy_time.h"
#include "response/group_delay.h"
#include "response/minimum_phase.h"
#include "response/response_average.h"

namespace ressona {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::size_t kPoints = 4096;

std::vector<double> delayedImpulse(std::size_t delay, double amplitude = 1.0) {
    std::vector<double> impulse(kPoints, 0.0);
    impulse[delay] = amplitude;
    return impulse;
}

// A one-pole low-pass (minimum phase), delayed by `delay` samples.
std::vector<double> lowPass(std::size_t delay, double pole = 0.8) {
    std::vector<double> impulse(kPoints, 0.0);
    for (std::size_t n = 0; n + delay < kPoints; ++n) {
        impulse[n + delay] = (1.0 - pole) * std::pow(pole, static_cast<double>(n));
    }
    return impulse;
}

double frequencyOf(std::size_t k) {
    return static_cast<double>(k) * kRate / kPoints;
}

// The positions from 100 Hz to 0.4 x the rate, where the checks hold.
template <typename Check>
void overBand(Check check) {
    for (std::size_t k = 0; k <= kPoints / 2; ++k) {
        if (frequencyOf(k) >= 100.0 && frequencyOf(k) <= 0.4 * kRate) check(k);
    }
}

TEST(GroupDelay, APureDelayIsItsLengthFromTheImpulseAndFromTheUnwrappedPhase) {
    constexpr double kDelay = 37.0;
    const std::vector<double> fromImpulse = groupDelayOfImpulse(delayedImpulse(37), kRate);
    ASSERT_EQ(fromImpulse.size(), kPoints / 2 + 1);
    std::vector<double> hz, level, phase;
    for (std::size_t k = 1; k <= kPoints / 2; ++k) {
        hz.push_back(frequencyOf(k));
        level.push_back(0.0);
        phase.push_back(std::remainder(-360.0 * frequencyOf(k) * kDelay / kRate, 360.0));
    }
    const std::vector<double> fromPhase = groupDelayOfPhase(hz, level, phase);
    ASSERT_EQ(fromPhase.size(), hz.size());
    overBand([&](std::size_t k) {
        EXPECT_NEAR(fromImpulse[k] * kRate, kDelay, 0.1) << k;
        EXPECT_NEAR(fromPhase[k - 1] * kRate, kDelay, 0.1) << k;
    });
}

TEST(GroupDelay, PositionsWithoutEnergyAndBadInputHaveNone) {
    const std::vector<double> hz{100.0, 200.0, 300.0};
    const std::vector<double> level{0.0, -100.0, 0.0};
    const std::vector<double> phase{0.0, 10.0, 20.0};
    const std::vector<double> delay = groupDelayOfPhase(hz, level, phase);
    EXPECT_TRUE(std::isfinite(delay[0]));
    EXPECT_TRUE(std::isnan(delay[1]));
    EXPECT_TRUE(groupDelayOfPhase(hz, level, std::vector<double>{0.0}).empty());
    EXPECT_TRUE(groupDelayOfImpulse(std::vector<double>(1000, 1.0), kRate).empty());
    EXPECT_TRUE(groupDelayOfImpulse(delayedImpulse(0), 0).empty());
}

TEST(MinimumPhase, AOnePoleLowPassIsMinimumPhaseAndItsDelayIsTheExcess) {
    for (const std::size_t delay : {std::size_t{0}, std::size_t{25}}) {
        const std::vector<double> impulse = lowPass(delay);
        const Spectrum response = realSpectrum(impulse);
        std::vector<double> magnitude;
        for (const auto& value : response) magnitude.push_back(std::abs(value));
        const MinimumPhase minimum = minimumPhaseOfMagnitude(magnitude);
        ASSERT_EQ(minimum.phaseRad.size(), response.size());
        const std::vector<double> excess = excessPhaseDeg(response, minimum.phaseRad);
        const std::vector<double> delayed = groupDelayOfImpulse(impulse, kRate);
        overBand([&](std::size_t k) {
            const double expected = -360.0 * frequencyOf(k) * delay / kRate;
            EXPECT_NEAR(std::remainder(excess[k] - expected, 360.0), 0.0, 1.0) << k;
            const double excessDelay = delayed[k] * kRate - minimum.groupDelaySamples[k];
            EXPECT_NEAR(excessDelay, static_cast<double>(delay), 0.1) << k;
        });
    }
    EXPECT_TRUE(minimumPhaseOfMagnitude(std::vector<double>(100, 1.0)).phaseRad.empty());
}

TEST(EnergyTime, TheEnvelopePeaksAtTheArrivalAndHoldsThroughATone) {
    const EnergyTimeCurve curve = energyTimeCurve(delayedImpulse(96, 0.5), kRate, 4096);
    ASSERT_EQ(curve.timeSeconds.size(), kPoints);
    EXPECT_DOUBLE_EQ(curve.peakSeconds, 96.0 / kRate);
    EXPECT_NEAR(curve.peakDb, -6.02, 0.01);
    EXPECT_DOUBLE_EQ(curve.timeSeconds.front(), -(kPoints / 2.0) / kRate);
    // Fewer points: each block's highest, so the peak survives.
    const EnergyTimeCurve coarse = energyTimeCurve(delayedImpulse(96, 0.5), kRate, 100);
    EXPECT_LE(coarse.timeSeconds.size(), 100u);
    EXPECT_NEAR(*std::max_element(coarse.levelDb.begin(), coarse.levelDb.end()), -6.02, 0.01);
    // A tone's envelope is its amplitude, also where the tone crosses zero.
    std::vector<double> tone(kPoints);
    for (std::size_t n = 0; n < kPoints; ++n)
        tone[n] = 0.25 * std::cos(2.0 * std::numbers::pi * 64.0 * n / kPoints);
    for (const double value : impulseEnvelope(tone)) EXPECT_NEAR(value, 0.25, 1e-4);
    EXPECT_TRUE(energyTimeCurve(std::vector<double>(3, 1.0), kRate, 10).levelDb.empty());
}

TEST(ResponseAverage, LevelsSixDecibelsApartAverageByPowerAndByDecibels) {
    const Spectrum lower = realSpectrum(delayedImpulse(0, 0.25));
    const Spectrum higher = realSpectrum(delayedImpulse(0, 0.5));
    const std::vector<Spectrum> both{lower, higher};
    const double lowerDb = 20.0 * std::log10(0.25);
    const auto levelAt = [](const Spectrum& s, std::size_t k) {
        return 20.0 * std::log10(std::abs(s[k]));
    };
    const Spectrum rms = averageResponses(both, AverageKind::Rms);
    const Spectrum db = averageResponses(both, AverageKind::Db);
    // The mean of powers 1 and 4 is 2.5 (3.98 dB); the mean of 0 and 6.02 dB is 3.01 dB.
    EXPECT_NEAR(levelAt(rms, 100) - lowerDb, 10.0 * std::log10(2.5), 1e-3);
    EXPECT_NEAR(levelAt(db, 100) - lowerDb, 3.01, 1e-2);
    EXPECT_NEAR(levelAbove(lower, higher), 6.02, 1e-2);
    Spectrum levelled = higher;
    removeLevel(levelled, levelAbove(lower, higher));
    EXPECT_NEAR(std::abs(levelled[7]), std::abs(lower[7]), 1e-6);
    EXPECT_TRUE(
        averageResponses(std::vector<Spectrum>{lower, Spectrum(5)}, AverageKind::Rms).empty());
    EXPECT_EQ(averageKindNamed("vector"), AverageKind::Vector);
    EXPECT_FALSE(averageKindNamed("mean"));
}

TEST(ResponseAverage, AResponseAndItselfTenSamplesLaterAverageToItAfterAlignment) {
    const Spectrum first = realSpectrum(lowPass(3));
    Spectrum later = realSpectrum(lowPass(13));
    EXPECT_NEAR(delayAgainst(first, later), 10.0, 1e-3);
    EXPECT_NEAR(delayAgainst(later, first), -10.0, 1e-3);
    removeDelay(later, delayAgainst(first, later));
    const Spectrum average =
        averageResponses(std::vector<Spectrum>{first, later}, AverageKind::Vector);
    for (std::size_t k = 0; k < first.size(); ++k) {
        EXPECT_NEAR(std::abs(average[k] - first[k]), 0.0, 1e-4) << k;
    }
}

}  // namespace
}  // namespace ressona
