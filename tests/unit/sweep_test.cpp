#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "sweep/harmonic_distortion.h"
#include "sweep/log_sweep.h"
#include "analysis/real_transform.h"
#include "sweep/sweep_deconvolution.h"

namespace ressona {
namespace {

// ---- real transforms ----

std::vector<std::complex<double>> directTransform(const std::vector<float>& x) {
    const std::size_t n = x.size();
    std::vector<std::complex<double>> out(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        for (std::size_t j = 0; j < n; ++j)
            out[k] +=
                double(x[j]) * std::polar(1.0, -2.0 * std::numbers::pi * double(k * j % n) / n);
    }
    return out;
}

TEST(RealTransformTest, MatchesTheDefinitionAndGoesBackAtEverySize) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (std::uint32_t n = 4; n <= 8192; n *= 2) {
        std::vector<float> x(n);
        for (float& v : x) v = value(random);
        RealTransform transform(n);
        ASSERT_EQ(transform.size(), n);
        std::vector<ComplexValue> spectrum;
        transform.forward(x, spectrum);
        const auto expected = directTransform(x);
        ASSERT_EQ(spectrum.size(), n / 2 + 1);
        const double scale = std::sqrt(double(n));
        for (std::size_t k = 0; k <= n / 2; ++k) {
            ASSERT_NEAR(spectrum[k].re, expected[k].real(), 1e-4 * scale) << n << " bin " << k;
            ASSERT_NEAR(spectrum[k].im, expected[k].imag(), 1e-4 * scale) << n << " bin " << k;
        }
        std::vector<float> back;
        transform.inverse(spectrum, back);
        for (std::size_t j = 0; j < n; ++j) ASSERT_NEAR(back[j], x[j], 2e-4) << n << " at " << j;
    }
}

TEST(RealTransformTest, LargeSizesStayAccurateAndOthersAreRefused) {
    // The program's transform alone is off by 5e-4 here; the two steps keep 1e-5.
    for (std::uint32_t n : {1u << 17, kRealTransformLargest}) {
        std::vector<float> x(n, 0.0f);
        x[5] = 1.0f;
        RealTransform transform(n);
        std::vector<ComplexValue> spectrum;
        transform.forward(x, spectrum);
        double error = 0.0;
        for (std::size_t k = 0; k <= n / 2; k += 7) {
            const double angle = -2.0 * std::numbers::pi * 5.0 * double(k) / n;
            error = std::max(error, std::hypot(spectrum[k].re - std::cos(angle),
                                               spectrum[k].im - std::sin(angle)));
        }
        EXPECT_LT(error, 2e-5) << n;
        std::vector<float> back;
        transform.inverse(spectrum, back);
        EXPECT_NEAR(back[5], 1.0f, 2e-5);
        EXPECT_NEAR(back[6], 0.0f, 2e-5);
    }
    EXPECT_EQ(RealTransform(2).size(), 0u);
    EXPECT_EQ(RealTransform(96).size(), 0u);
    EXPECT_EQ(RealTransform(kRealTransformLargest * 2).size(), 0u);
}

// ---- the sweep ----

TEST(LogSweepTest, BadSettingsAreRefusedWithAReason) {
    const auto refused = [](auto change) {
        LogSweepSettings settings;
        change(settings);
        return !checkLogSweepSettings(settings).empty();
    };
    EXPECT_FALSE(refused([](LogSweepSettings&) {}));
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.samples = 3u << 14; }));
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.samples = 1u << 13; }));
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.samples = 1u << 21; }));
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.toHz = 21601; }));  // above 0.45 x 48000
    EXPECT_FALSE(refused([](LogSweepSettings& s) { s.toHz = 21600; }));
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.fromHz = 0.5; }));
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.fromHz = 15000; }));  // under an octave
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.fromHz = std::nan(""); }));
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.levelDbfs = 0.5; }));
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.levelDbfs = -61; }));
    EXPECT_TRUE(refused([](LogSweepSettings& s) { s.sampleRate = 0; }));
}

TEST(LogSweepTest, RisesExponentiallyAtItsLevelWithFadedEnds) {
    LogSweepSettings settings;
    settings.samples = 1u << 14;
    settings.fromHz = 100;
    settings.toHz = 6400;  // six octaves
    settings.levelDbfs = 0;
    const LogSweep sweep = makeLogSweep(settings);
    ASSERT_EQ(sweep.played.size(), settings.samples);
    EXPECT_NEAR(sweep.rateSamples, settings.samples / std::log(64.0), 1e-9);
    EXPECT_NEAR(harmonicLeadSamples(sweep, 2), sweep.rateSamples * std::log(2.0), 1e-9);
    EXPECT_EQ(sweep.played.front(), 0);
    EXPECT_LE(std::abs(sweep.played.back()), 1);
    const auto peak = *std::max_element(sweep.played.begin(), sweep.played.end());
    EXPECT_EQ(peak, 32767);
    // Each octave lasts S/6 samples and holds twice the cycles of the one before.
    std::vector<int> crossings(6, 0);
    for (std::size_t n = 1; n < sweep.played.size(); ++n) {
        if (sweep.played[n - 1] < 0 && sweep.played[n] >= 0) ++crossings[n * 6 / settings.samples];
    }
    for (int octave = 2; octave < 5; ++octave)
        EXPECT_NEAR(double(crossings[octave + 1]) / crossings[octave], 2.0, 0.05);
}

// ---- deconvolution and distortion ----

// The sweep through y = gain (x + square x^2 + cube x^3), x in full-scale units, delayed.
std::vector<std::int16_t> recordingOf(const LogSweep& sweep, std::uint32_t samples,
                                      std::uint32_t delay, double gain, double square,
                                      double cube) {
    std::vector<std::int16_t> recording(samples, 0);
    for (std::size_t n = 0; n < sweep.played.size() && delay + n < samples; ++n) {
        const double x = sweep.played[n] / 32768.0;
        const double y = gain * (x + square * x * x + cube * x * x * x);
        recording[delay + n] = static_cast<std::int16_t>(std::lround(y * 32768.0));
    }
    return recording;
}

struct Measured {
    LogSweep sweep;
    SweepResponses responses;
};

Measured measure(double gain, double square, double cube, std::uint32_t delay = 100) {
    LogSweepSettings settings;  // 20 Hz to 20 kHz, 2^16 samples at 48000 Hz, -6 dBFS
    Measured m{makeLogSweep(settings), {}};
    const std::uint32_t samples = settings.samples + 40000;
    SweepDeconvolver deconvolver(m.sweep, samples);
    EXPECT_TRUE(deconvolver.ready());
    deconvolver.deconvolve(recordingOf(m.sweep, samples, delay, gain, square, cube), m.responses);
    return m;
}

// Level in dB of the cut response's spectrum at each bin between the frequencies.
std::vector<double> cutSpectrumDb(const Measured& m, std::uint32_t length, double from, double to) {
    const auto cut = cutLinearResponse(m.responses, length, linearResponseLead(m.sweep, length));
    std::vector<float> signal(cut.begin(), cut.end());
    RealTransform transform(length);
    std::vector<ComplexValue> spectrum;
    transform.forward(signal, spectrum);
    std::vector<double> levels;
    for (std::size_t k = 1; k < spectrum.size(); ++k) {
        const double hz = k * 48000.0 / length;
        if (hz >= from && hz <= to)
            levels.push_back(20.0 * std::log10(std::hypot(spectrum[k].re, spectrum[k].im)));
    }
    return levels;
}

TEST(SweepDeconvolutionTest, ALoopbackGivesAFlatResponseAtItsDelayAndNoHarmonics) {
    const Measured m = measure(1.0, 0.0, 0.0);
    EXPECT_EQ(m.responses.peak, 100u);
    for (std::uint32_t length : {4096u, 16384u}) {
        const auto levels = cutSpectrumDb(m, length, 40.0, 18000.0);
        const auto [low, high] = std::minmax_element(levels.begin(), levels.end());
        EXPECT_LT(*high - *low, 0.02) << length;
        // The level of the unit response to a sweep at -6 dBFS: 32767 x 10^(-6/20) counts.
        EXPECT_NEAR(*high, 20.0 * std::log10(m.sweep.amplitude), 0.02);
    }
    const HarmonicSpectra spectra(m.sweep, m.responses.harmonic, m.responses.peak);
    EXPECT_GT(spectra.windowSamples(), 1000u);
    for (const double f : logFrequencies(20.0, 20000.0, 12)) {
        const DistortionPoint p = spectra.at(f, 1.0 / 12.0);
        EXPECT_NEAR(p.fundamentalDb, -6.0, f < 30.0 || f > 19000.0 ? 4.0 : 0.02) << f;
        for (int k = 2; k <= 5; ++k) {
            const double level = p.harmonicDb[k - 2];
            if (k * f > 0.45 * 48000.0) {
                EXPECT_TRUE(std::isnan(level)) << f << " H" << k;
            } else {
                EXPECT_LT(level, -90.0) << f << " H" << k;
            }
        }
    }
}

TEST(SweepDeconvolutionTest, HarmonicsOfAKnownCurveMatchTheory) {
    // y = x + 0.02 x^2 + 0.01 x^3 at amplitude A: H2 = 0.01 A / (1 + 0.0075 A^2),
    // H3 = 0.0025 A^2 / (1 + 0.0075 A^2).
    const Measured m = measure(1.0, 0.02, 0.01);
    const double a = m.sweep.amplitude / 32768.0;
    const double fundamental = 1.0 + 0.0075 * a * a;
    const double h2 = 20.0 * std::log10(0.01 * a / fundamental);
    const double h3 = 20.0 * std::log10(0.0025 * a * a / fundamental);
    const HarmonicSpectra spectra(m.sweep, m.responses.harmonic, m.responses.peak);
    for (const double f : logFrequencies(100.0, 10800.0, 24)) {
        const DistortionPoint p = spectra.at(f, 1.0 / 12.0);
        // Within 0.5 dB up to 0.45 x the rate, within 0.1 dB in the middle of the band.
        const double tolerance = f >= 200.0 && f <= 4000.0 ? 0.1 : 0.5;
        EXPECT_NEAR(p.harmonicDb[0], h2, tolerance) << f;
        if (f <= 7200.0) {
            EXPECT_NEAR(p.harmonicDb[1], h3, tolerance) << f;
        }
        if (f <= 4320.0) {
            EXPECT_LT(p.harmonicDb[2], -90.0) << f;
            double sum = 0.0;
            for (const double level : p.harmonicDb) sum += std::pow(10.0, level / 10.0);
            EXPECT_NEAR(p.thdDb, 10.0 * std::log10(sum), 1e-9) << f;
        }
    }
}

TEST(SweepDeconvolutionTest, GainAndDelayOfTheSystemAreMeasured) {
    const Measured m = measure(0.5, 0.0, 0.0, 3000);
    EXPECT_EQ(m.responses.peak, 3000u);
    const HarmonicSpectra spectra(m.sweep, m.responses.harmonic, m.responses.peak);
    EXPECT_NEAR(spectra.at(1000.0, 1.0 / 3.0).fundamentalDb, -12.02, 0.02);
    // The cut starts its lead before the peak and clips what 16 bits cannot hold.
    const std::uint32_t lead = linearResponseLead(m.sweep, 4096);
    const auto cut = cutLinearResponse(m.responses, 4096, lead);
    EXPECT_EQ(std::max_element(cut.begin(), cut.end()) - cut.begin(), std::ptrdiff_t(lead));
    SweepResponses loud = m.responses;
    loud.linear[3000] = 1e6f;
    loud.linear[3005] = -1e6f;
    const auto clipped = cutLinearResponse(loud, 4096, lead);
    EXPECT_EQ(clipped[lead], 32767);
    EXPECT_EQ(clipped[lead + 5], -32768);
    // Before the start of the response the cut wraps round to its end.
    loud.peak = 10;
    loud.linear.back() = 1234.0f;
    EXPECT_EQ(cutLinearResponse(loud, 64, 11)[0], 1234);
}

TEST(SweepDeconvolutionTest, SilenceAndNoiseGiveNoFiguresOutOfRange) {
    LogSweepSettings settings;
    settings.samples = 1u << 14;
    const LogSweep sweep = makeLogSweep(settings);
    SweepDeconvolver deconvolver(sweep, settings.samples + 8000);
    SweepResponses responses;
    deconvolver.deconvolve(std::vector<std::int16_t>(10, 0), responses);  // short: silence after
    const HarmonicSpectra silent(sweep, responses.harmonic, responses.peak);
    EXPECT_TRUE(std::isnan(silent.at(1000.0, 1.0 / 3.0).fundamentalDb));
    EXPECT_TRUE(std::isnan(silent.at(1000.0, 1.0 / 3.0).thdDb));
    std::mt19937 random(3);
    std::vector<std::int16_t> noise(settings.samples + 8000);
    for (auto& v : noise) v = static_cast<std::int16_t>(random());
    deconvolver.deconvolve(noise, responses);
    EXPECT_LT(responses.peak, deconvolver.transformSize());
    for (const float v : responses.linear) ASSERT_TRUE(std::isfinite(v));
}

TEST(SweepDeconvolutionTest, TransformSizeHoldsTheRecordingAndTheHarmonics) {
    LogSweepSettings settings;
    EXPECT_EQ(sweepTransformSize(settings, 93920), 1u << 17);
    settings.samples = 1u << 20;
    EXPECT_EQ(sweepTransformSize(settings, (1u << 20) + 30000), 1u << 21);
    settings.fromHz = 1000;
    settings.toHz = 2000;  // Ls ln 5 is 2.3 times the sweep
    EXPECT_EQ(sweepTransformSize(settings, (1u << 20) + 30000), 0u);
}

TEST(DistortionFrequenciesTest, GridsAndShares) {
    const auto centres = thirdOctaveCentres(20.0, 20000.0);
    ASSERT_EQ(centres.size(), 31u);
    EXPECT_NEAR(centres.front(), 19.953, 1e-3) << "the nominal 20 Hz band counts";
    EXPECT_NEAR(centres[17], 1000.0, 1e-9);
    EXPECT_NEAR(centres.back(), 19952.6, 0.1);
    EXPECT_TRUE(thirdOctaveCentres(100.0, 50.0).empty());
    const auto fine = logFrequencies(100.0, 800.0, 12);
    ASSERT_EQ(fine.size(), 37u);
    EXPECT_NEAR(fine.back(), 800.0, 1e-9);
    EXPECT_TRUE(logFrequencies(0.0, 800.0, 12).empty());
    EXPECT_NEAR(percentOf(-40.0), 1.0, 1e-12);
    EXPECT_NEAR(percentOf(-46.0206), 0.5, 1e-4);
}

}  // namespace
}  // namespace ressona
