// The sound level meter: its weightings against the analogue ones, the
// figures of tones, a burst and white noise, the third-octave bands, and the
// calibrator's tone found or refused.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "level/calibrator.h"
#include "level/frequency_weighting.h"
#include "level/sensitivity_file.h"
#include "level/sound_level_meter.h"

namespace ressona {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A sine of `dbfs` (a full-scale sine 0 dBFS) for `seconds`.
std::vector<double> tone(double hz, double dbfs, double seconds, double rate) {
    const double amplitude = std::pow(10.0, dbfs / 20.0);
    std::vector<double> samples(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = amplitude * std::sin(2.0 * kPi * hz * static_cast<double>(i) / rate);
    return samples;
}

TEST(FrequencyWeighting, FollowsTheAnalogueWeightingAtEveryRate) {
    EXPECT_NEAR(analogueWeightingDb(Weighting::A, 100.0), -19.1, 0.05);
    EXPECT_NEAR(analogueWeightingDb(Weighting::C, 100.0), -0.3, 0.05);
    EXPECT_NEAR(analogueWeightingDb(Weighting::A, 10000.0), -2.5, 0.05);
    for (const double rate : {8000.0, 11025.0, 22050.0, 44100.0, 48000.0}) {
        for (const Weighting w : {Weighting::A, Weighting::C, Weighting::Z}) {
            const WeightingFilter filter(w, rate);
            EXPECT_NEAR(filter.gainDb(1000.0), 0.0, 1e-9);
            // Within 0.2 dB up to 2 kHz and a tenth of the rate, 0.6 dB to a
            // quarter of it, and 1.2 dB to 0.98 of the Nyquist frequency.
            for (double hz = 10.0; hz < 0.49 * rate; hz *= 1.05) {
                const double error = filter.gainDb(hz) - analogueWeightingDb(w, hz);
                const double allowed = hz <= std::max(2000.0, 0.1 * rate) ? 0.2
                                       : hz <= 0.25 * rate                ? 0.6
                                                                          : 1.2;
                ASSERT_LE(std::abs(error), allowed) << weightingName(w) << " " << hz << " Hz at " << rate;
            }
        }
    }
}

TEST(SoundLevelMeter, GivesATonesLevelsWithEachWeightingAndTimeConstant) {
    const double rate = 48000.0;
    SoundLevelMeter meter(48000, false);
    const std::vector<double> samples = tone(1000.0, -30.0, 3.0, rate);
    meter.add(std::span(samples).first(48000));  // the filters' start, past the first interval
    meter.takeInterval();
    meter.add(std::span(samples).subspan(48000));
    const LevelFigures kilohertz = meter.takeInterval();
    for (const double level : {kilohertz.lzeq, kilohertz.laeq, kilohertz.lceq, kilohertz.lafmax}) {
        EXPECT_NEAR(level, -30.0, 0.05);
    }
    EXPECT_NEAR(kilohertz.lcpeak, -30.0 + 3.01, 0.05);  // a sine's peak lies 3 dB above its level
    EXPECT_NEAR(kilohertz.lae, -30.0 + 10.0 * std::log10(2.0), 0.05);
    // Slow, 3 s after the tone's start: 1 - e^-3 of its square.
    EXPECT_NEAR(kilohertz.lasmax, -30.0 + 10.0 * std::log10(1.0 - std::exp(-3.0)), 0.05);
    EXPECT_NEAR(meter.currentLafDb(), -30.0, 0.1);

    SoundLevelMeter low(48000, false);
    low.add(tone(100.0, -30.0, 2.0, rate));
    const LevelFigures hundred = low.whole();
    EXPECT_NEAR(hundred.lzeq, -30.0, 0.02);
    EXPECT_NEAR(hundred.lzeq - hundred.laeq, 19.1, 0.2);
    EXPECT_NEAR(hundred.lzeq - hundred.lceq, 0.3, 0.1);
}

TEST(SoundLevelMeter, ABurstsExposureAndMaximaFollowItsLengthAndTheTimeConstants) {
    const double rate = 48000.0;
    // 1 s of tone, then 4 s of silence: LAeq over 5 s, LAE of the one second.
    std::vector<double> samples = tone(1000.0, -20.0, 1.0, rate);
    samples.resize(static_cast<std::size_t>(5 * rate), 0.0);
    SoundLevelMeter meter(48000, false);
    meter.add(samples);
    const LevelFigures f = meter.whole();
    EXPECT_NEAR(f.laeq, -20.0 - 10.0 * std::log10(5.0), 0.05);
    EXPECT_NEAR(f.lae, f.laeq + 10.0 * std::log10(5.0), 1e-9);
    EXPECT_NEAR(f.lae, -20.0, 0.05);
    // Fast reaches the tone's level within 1 s; Slow only 1 - e^-1 of its square.
    EXPECT_NEAR(f.lafmax, -20.0, 0.05);
    EXPECT_NEAR(f.lasmax, -20.0 + 10.0 * std::log10(1.0 - std::exp(-1.0)), 0.05);
    EXPECT_LT(meter.currentLafDb(), -150.0);  // 4 s of silence after it
}

TEST(SoundLevelMeter, IntervalsSplitTheWholeAndSilenceHasNoLevel) {
    SoundLevelMeter meter(8000, true);
    const std::vector<double> second = tone(1000.0, -10.0, 1.0, 8000.0);
    meter.add(second);
    const LevelFigures first = meter.takeInterval();
    EXPECT_EQ(meter.intervalSamples(), 0u);
    meter.add(std::vector<double>(8000, 0.0));
    const LevelFigures quiet = meter.takeInterval();
    EXPECT_NEAR(first.seconds, 1.0, 1e-12);
    EXPECT_NEAR(first.lzeq, -10.0, 0.02);
    EXPECT_TRUE(std::isinf(quiet.lzeq));  // no more than the filters' fading ring
    EXPECT_NEAR(meter.whole().lzeq, -10.0 - 10.0 * std::log10(2.0), 0.02);
    EXPECT_NEAR(meter.whole().seconds, 2.0, 1e-12);
    // The 1 kHz band holds the tone; the bands stop below 0.47 of the rate.
    ASSERT_FALSE(meter.bands().empty());
    EXPECT_EQ(meter.bands().front().nominalHz, 25.0);
    EXPECT_EQ(meter.bands().back().nominalHz, 3150.0);
    for (std::size_t b = 0; b < meter.bands().size(); ++b) {
        if (meter.bands()[b].nominalHz == 1000.0) {
            EXPECT_NEAR(first.bandLeqDb[b], -10.0, 0.05);
        }
    }
}

// A maximum-length sequence of 2^16 - 1 samples: its periodic spectrum is
// flat, so each band holds the share of its power its width gives.
std::vector<double> whiteSequence(std::size_t periods, double amplitude) {
    std::vector<double> samples;
    std::uint32_t state = 1;
    for (std::size_t i = 0; i < periods * 65535; ++i) {
        const bool bit = state & 1u;
        state = (state >> 1) ^ (bit ? 0xB400u : 0u);
        samples.push_back(bit ? amplitude : -amplitude);
    }
    return samples;
}

TEST(SoundLevelMeter, WhiteNoiseGivesEachThirdOctaveTheLevelOfItsWidth) {
    for (const std::uint32_t rate : {48000u, 22050u}) {
        SoundLevelMeter meter(rate, true);
        const std::vector<double> noise = whiteSequence(3, 0.1);
        const std::size_t period = 65535;
        meter.add(std::span(noise).first(period));  // the filters settle
        meter.takeInterval();
        meter.add(std::span(noise).subspan(period, 2 * period));
        const LevelFigures f = meter.takeInterval();
        EXPECT_NEAR(f.lzeq, 10.0 * std::log10(2.0 * 0.01), 1e-6);
        if (rate == 48000u) {
            EXPECT_EQ(meter.bands().back().nominalHz, 20000.0);
        }
        for (std::size_t b = 0; b < meter.bands().size(); ++b) {
            const FrequencyBand& band = meter.bands()[b];
            const double expected = f.lzeq + 10.0 * std::log10(band.widthHz() / (rate / 2.0));
            EXPECT_NEAR(f.bandLeqDb[b], expected, 0.3) << bandName(band) << " at " << rate;
        }
    }
}

TEST(Calibrator, FindsTheTonesSensitivityAndRefusesWhatHoldsNone) {
    for (const double hz : {1000.0, 250.0}) {
        for (const double rate : {48000.0, 8000.0}) {
            CalibratorReading reading;
            std::vector<double> samples = tone(hz, -20.0, 3.0, rate);
            std::mt19937 random(3);
            std::normal_distribution<double> hiss(0.0, 1e-4);  // -77 dBFS of noise
            for (double& x : samples) x += hiss(random);
            ASSERT_EQ(readCalibrator(samples, static_cast<std::uint32_t>(rate), 94.0, reading), "");
            EXPECT_EQ(reading.frequencyHz, hz);
            EXPECT_NEAR(reading.sensitivityDbfs, -20.0, 0.02);
            ASSERT_EQ(readCalibrator(samples, static_cast<std::uint32_t>(rate), 114.0, reading), "");
            EXPECT_NEAR(reading.sensitivityDbfs, -40.0, 0.02);
        }
    }
    CalibratorReading reading;
    const std::vector<double> noise = whiteSequence(1, 0.1);
    EXPECT_NE(readCalibrator(noise, 48000, 94.0, reading).find("no steady tone"), std::string::npos);
    EXPECT_NE(readCalibrator(std::vector<double>(96000, 0.0), 48000, 94.0, reading).find("silent"),
              std::string::npos);
    EXPECT_NE(readCalibrator(tone(1000.0, -20.0, 0.5, 48000.0), 48000, 94.0, reading).find("too short"),
              std::string::npos);
    // A tone that drops by 6 dB halfway is no calibrator.
    std::vector<double> falling = tone(1000.0, -20.0, 3.0, 48000.0);
    for (std::size_t i = falling.size() / 2; i < falling.size(); ++i) falling[i] *= 0.5;
    EXPECT_NE(readCalibrator(falling, 48000, 94.0, reading).find("not steady"), std::string::npos);
    // A tone at 500 Hz is in neither band.
    EXPECT_NE(readCalibrator(tone(500.0, -20.0, 3.0, 48000.0), 48000, 94.0, reading)
                  .find("no steady tone"),
              std::string::npos);
}

TEST(SensitivityFile, RoundTripsAndRefusesWhatIsNotOne) {
    const Sensitivity written{-23.456, 1000.0, 114.0};
    Sensitivity read;
    ASSERT_EQ(parseSensitivity(sensitivityText(written), read), "");
    EXPECT_NEAR(read.dbfsAt94DbSpl, -23.456, 1e-9);
    EXPECT_EQ(read.calibratorHz, 1000.0);
    EXPECT_EQ(read.calibratorDb, 114.0);
    ASSERT_EQ(parseSensitivity("  sensitivity_dbfs_at_94_db_spl=-20 # mine\r\n\n", read), "");
    EXPECT_FALSE(read.calibratorHz);
    for (const auto& [text, reason] : std::vector<std::pair<std::string, std::string>>{
             {"", "no sensitivity"},
             {"# nothing\n", "no sensitivity"},
             {"sensitivity_dbfs_at_94_db_spl -20\n", "line 1: not"},
             {"gain = 3\n", "unknown name 'gain'"},
             {"sensitivity_dbfs_at_94_db_spl = -20\nsensitivity_dbfs_at_94_db_spl = -21\n",
              "line 2: sensitivity_dbfs_at_94_db_spl is given twice"},
             {"sensitivity_dbfs_at_94_db_spl = nan\n", "must be a number"},
             {"sensitivity_dbfs_at_94_db_spl = -20 dB\n", "must be a number"},
             {"sensitivity_dbfs_at_94_db_spl = 1e300\n", "must be a number"},
             {"sensitivity_dbfs_at_94_db_spl = -20\ncalibrator_hz = 0\n", "line 2"},
             {std::string("sensitivity_dbfs_at_94_db_spl = -2\0", 35) + "0\n", "must be a number"},
         }) {
        EXPECT_NE(parseSensitivity(text, read).find(reason), std::string::npos) << text;
    }
    EXPECT_NE(readSensitivityFile("/nonexistent/mic.txt", read).find("cannot be read"),
              std::string::npos);
}

}  // namespace
}  // namespace ressona
