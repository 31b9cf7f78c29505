// The timing check of a sweep's recording: a recording that slipped by a
// block of samples is caught and its slip measured; a faithful one, one
// through a distorting curve, a room or at a low level never is.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "platform/sim/acoustic_presets.h"
#include "sweep/log_sweep.h"
#include "sweep/sweep_slip_check.h"

namespace ressona {
namespace {

constexpr std::int64_t kDelay = 700;

LogSweep sweepOf(std::uint32_t samples) {
    LogSweepSettings settings;
    settings.samples = samples;
    return makeLogSweep(settings);
}

// The sweep through h, scaled by gain, after kDelay samples of silence, with
// Gaussian noise, rounded and clipped to 16 bits; a quarter second after it.
std::vector<std::int16_t> record(const LogSweep& sweep, const std::vector<double>& h,
                                 double gain = 1.0, double noiseRms = 0.0, double square = 0.0,
                                 double cube = 0.0) {
    const std::size_t length = sweep.played.size() + kDelay + 12000;
    std::vector<double> heard(length, 0.0);
    for (std::size_t n = 0; n < sweep.played.size(); ++n) {
        const double x = sweep.played[n] / 32768.0;
        const double shaped = (x + square * x * x + cube * x * x * x) * 32768.0;
        for (std::size_t k = 0; k < h.size() && n + kDelay + k < length; ++k)
            heard[n + kDelay + k] += h[k] * shaped;
    }
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<std::int16_t> recording(length);
    for (std::size_t n = 0; n < length; ++n) {
        const double value = gain * heard[n] + noiseRms * noise(random);
        recording[n] =
            static_cast<std::int16_t>(std::clamp(std::nearbyint(value), -32768.0, 32767.0));
    }
    return recording;
}

// The recording from `at` on shifted by `slip` samples: later (silence
// inserted) when positive, earlier (samples dropped) when negative.
std::vector<std::int16_t> slipped(std::vector<std::int16_t> recording, std::size_t at,
                                  std::int64_t slip) {
    if (slip > 0) {
        recording.insert(recording.begin() + std::ptrdiff_t(at), std::size_t(slip), 0);
        recording.resize(recording.size() - std::size_t(slip));
    } else {
        recording.erase(recording.begin() + std::ptrdiff_t(at),
                        recording.begin() + std::ptrdiff_t(at - slip));
    }
    return recording;
}

TEST(SweepSlipCheckTest, FaithfulRecordingsAgreeOnOneLagWhateverTheirLevelOrPolarity) {
    const LogSweep sweep = sweepOf(1u << 16);
    SweepSlipCheck check(sweep);
    struct Case {
        const char* name;
        std::vector<double> h;
        double gain;
        double noise;
        std::int64_t lag;
        std::uint32_t fewestSlices;  // found faithful
    };
    const std::vector<Case> cases = {
        {"loopback", {1.0}, 1.0, 0.0, kDelay, kSweepSlices},
        {"inverted", {-1.0}, 1.0, 0.0, kDelay, kSweepSlices},
        {"-50 dB with noise", {1.0}, 0.00316, 0.5, kDelay, 4},
        {"two samples later, half a sample smeared", {0.0, 0.0, 0.5, 0.5}, 0.9, 0.0, kDelay + 2, 4},
    };
    for (const Case& c : cases) {
        const SweepTiming timing = check.check(record(sweep, c.h, c.gain, c.noise), kDelay + 300);
        EXPECT_FALSE(timing.broken()) << c.name << " at " << timing.damagedAt;
        EXPECT_GE(timing.slicesCompared, c.fewestSlices) << c.name;
        EXPECT_LE(std::llabs(timing.earliestLag - c.lag), 2) << c.name;
        EXPECT_LE(std::llabs(timing.latestLag - c.lag), 2) << c.name;
    }
    // The harmonics of a distorting curve leave every slice faithful at the same lag.
    const SweepTiming distorted = check.check(record(sweep, {1.0}, 1.0, 0.0, 0.02, 0.01), kDelay);
    EXPECT_FALSE(distorted.broken());
    EXPECT_GE(distorted.slicesCompared, kSweepSlices - 1);
    EXPECT_EQ(distorted.earliestLag, kDelay);
    EXPECT_EQ(distorted.latestLag, kDelay);
}

TEST(SweepSlipCheckTest, ARoomsReverberationAndColourNeverCountAsASlip) {
    for (const std::uint32_t samples : {1u << 14, 1u << 15}) {
        const LogSweep sweep = sweepOf(samples);
        SweepSlipCheck check(sweep);
        const std::vector<double> room = presetImpulseResponse(SimPreset::kRoom, 48000);
        for (const double gain : {1.0, 0.1, 0.01}) {
            const SweepTiming timing = check.check(record(sweep, room, gain, 6.0), kDelay + 48);
            EXPECT_FALSE(timing.broken()) << samples << " at gain " << gain;
        }
        // Silence: nothing found, nothing compared, no slip.
        const SweepTiming silent =
            check.check(std::vector<std::int16_t>(samples + 20000, 0), kDelay);
        EXPECT_FALSE(silent.broken());
        EXPECT_EQ(silent.slicesCompared, 0u);
    }
}

TEST(SweepSlipCheckTest, ABlockDroppedOrInsertedDuringTheSweepIsCaughtAndMeasured) {
    for (const std::uint32_t samples : {1u << 14, 1u << 16, 1u << 18}) {
        const LogSweep sweep = sweepOf(samples);
        SweepSlipCheck check(sweep);
        const std::vector<std::int16_t> clean = record(sweep, {1.0}, 0.5);
        // Early (the low, narrow bands), in the middle and late in the sweep; one and two
        // graph cycles of a sound server either way, and a single sample.
        for (const double share : {0.2, 0.5, 0.85}) {
            const std::size_t at = kDelay + std::size_t(share * samples);
            for (const std::int64_t slip : {128, -128, 256, -256, 1, -1}) {
                const SweepTiming timing = check.check(slipped(clean, at, slip), kDelay);
                // A single sample is within what a faithful slice's lag may stray.
                if (std::llabs(slip) == 1) {
                    EXPECT_FALSE(timing.slipped) << samples << ' ' << share << ' ' << slip;
                    continue;
                }
                EXPECT_TRUE(timing.slipped) << samples << ' ' << share << ' ' << slip;
                EXPECT_EQ(timing.slipSamples(), std::llabs(slip))
                    << samples << ' ' << share << ' ' << slip;
            }
        }
        // Expected a thousand samples off: still found, and the slip still measured.
        const SweepTiming off =
            check.check(slipped(clean, kDelay + samples / 2, 256), kDelay + 1000);
        EXPECT_TRUE(off.slipped);
        EXPECT_EQ(off.earliestLag, kDelay);
        EXPECT_EQ(off.latestLag, kDelay + 256);
    }
}

// A peaking filter (the usual bilinear design) of gain dB at hz, quality q,
// as an impulse response of the given length.
std::vector<double> peakingFilter(double hz, double q, double db, std::size_t length) {
    const double a = std::pow(10.0, db / 40.0);
    const double w = 2.0 * 3.14159265358979 * hz / 48000.0;
    const double alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha / a;
    const double b0 = (1.0 + alpha * a) / a0, b1 = -2.0 * std::cos(w) / a0,
                 b2 = (1.0 - alpha * a) / a0, a1 = b1, a2 = (1.0 - alpha / a) / a0;
    std::vector<double> h(length);
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (std::size_t n = 0; n < length; ++n) {
        const double x = n == 0 ? 1.0 : 0.0;
        h[n] = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = h[n];
    }
    return h;
}

TEST(SweepSlipCheckTest, SamplesLostOrChangedWhileKeepingTimeBreakAFaithfulPathsMatch) {
    const LogSweep sweep = sweepOf(1u << 16);
    SweepSlipCheck check(sweep);
    const std::vector<std::int16_t> clean = record(sweep, {1.0}, 0.5);
    const std::size_t at = kDelay + 44000;
    // A cycle of silence in place of the sound; a cycle played twice (the next one lost).
    std::vector<std::int16_t> silenced = clean;
    std::fill_n(silenced.begin() + std::ptrdiff_t(at), 128, 0);
    std::vector<std::int16_t> repeated = clean;
    std::copy_n(clean.begin() + std::ptrdiff_t(at - 128), 128,
                repeated.begin() + std::ptrdiff_t(at));
    for (const auto& damaged : {silenced, repeated}) {
        const SweepTiming timing = check.check(damaged, kDelay);
        EXPECT_FALSE(timing.slipped);
        EXPECT_NEAR(double(timing.damagedAt), 44000.0, 64.0);
    }
    // Dropped samples early in the sweep, where a slice's lag may stray widely.
    EXPECT_TRUE(check.check(slipped(clean, kDelay + 6000, -128), kDelay).broken());

    // What a faithful path's own system may do is not a break: a narrow, strong
    // resonance, a sweep clipped at its peaks, a recording with noise.
    const SweepTiming resonant =
        check.check(record(sweep, peakingFilter(1000, 10, 12, 4000)), kDelay);
    EXPECT_FALSE(resonant.broken()) << resonant.damagedAt;
    const SweepTiming notched =
        check.check(record(sweep, peakingFilter(3000, 30, -30, 8000)), kDelay);
    EXPECT_FALSE(notched.broken()) << notched.damagedAt;
    const SweepTiming clippedPeaks = check.check(record(sweep, {1.0}, 3.0), kDelay);
    EXPECT_FALSE(clippedPeaks.broken());
    const SweepTiming noisy = check.check(record(sweep, {1.0}, 0.1, 3.0), kDelay);
    EXPECT_FALSE(noisy.broken()) << noisy.damagedAt;
}

// A cycle lost and filled with silence is found where the room keeps the
// slices from being judged; a system that silences the sweep from one side
// on (a steep filter), a quiet one or a short run of zeros never counts.
TEST(SweepSilentGapTest, SilenceBetweenStretchesOfSoundIsALostCycleAndNothingElseIs) {
    const LogSweep sweep = sweepOf(1u << 15);
    const std::vector<double> room = presetImpulseResponse(SimPreset::kRoom, 48000);
    const std::vector<std::int16_t> clean = record(sweep, room, 0.5);
    EXPECT_EQ(silentGapInSweep(clean, kDelay, sweep.settings.samples), -1);

    std::vector<std::int16_t> lost = clean;
    std::fill_n(lost.begin() + kDelay + 20000, 256, 0);
    EXPECT_EQ(silentGapInSweep(lost, kDelay, sweep.settings.samples), 20000);
    std::vector<std::int16_t> shortRun = clean;
    std::fill_n(shortRun.begin() + kDelay + 20000, kSweepGapSamples - 1, 0);
    EXPECT_EQ(silentGapInSweep(shortRun, kDelay, sweep.settings.samples), -1);

    // Silent up to a point (a high-pass), or from a point on (a low-pass).
    std::vector<std::int16_t> risesLate = clean;
    std::fill_n(risesLate.begin(), kDelay + 20000, 0);
    EXPECT_EQ(silentGapInSweep(risesLate, kDelay, sweep.settings.samples), -1);
    std::vector<std::int16_t> endsEarly = clean;
    std::fill(endsEarly.begin() + kDelay + 20000, endsEarly.end(), 0);
    EXPECT_EQ(silentGapInSweep(endsEarly, kDelay, sweep.settings.samples), -1);
    // Far below the sound the rule asks for: zeros between the few counts left.
    std::vector<std::int16_t> quiet = record(sweep, {1.0}, 1.0 / 4096);
    std::fill_n(quiet.begin() + kDelay + 20000, 256, 0);
    EXPECT_EQ(silentGapInSweep(quiet, kDelay, sweep.settings.samples), -1);
    // A gap outside the sweep (before it lands, after it ends) is not looked at.
    EXPECT_EQ(silentGapInSweep(lost, kDelay + 20300, sweep.settings.samples - 20300), -1);
}

}  // namespace
}  // namespace ressona
