// Frequency responses carried in and out as text: calibration files and curves
// of other programs read under one set of rules, FRD and CSV written, curves
// interpolated in log frequency, and the analysis' correction and impulse
// average.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/analysis_extras.h"
#include "analysis/response_analysis.h"
#include "analysis_test_support.h"
#include "exchange/log_interpolation.h"
#include "exchange/response_export.h"
#include "exchange/response_text.h"
#include "measure/response_reading.h"
#include "signals/response_scale.h"
#include "storage/result_file.h"

namespace ressona {
namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string parsed(std::string_view text, ResponseText& response) {
    return parseResponseText(text, response);
}

TEST(ResponseText, ReadsCalibrationFilesAsMakersShipThem) {
    ResponseText r;
    // A byte-order mark, a quoted sensitivity line, tabs and Windows line ends.
    ASSERT_EQ(parsed("\xEF\xBB\xBF\"Sens Factor =-.7423dB, SERNO: 7000000\"\r\n"
                     "20.0\t-1.5\r\n"
                     "  1000\t0\r\n"
                     "\r\n"
                     "20000\t+2.25\r\n",
                     r),
              "");
    EXPECT_EQ(r.frequencyHz, (std::vector<double>{20, 1000, 20000}));
    EXPECT_EQ(r.levelDb, (std::vector<double>{-1.5, 0, 2.25}));
    EXPECT_TRUE(r.phaseDeg.empty());
    ASSERT_TRUE(r.sensitivityDb);
    EXPECT_DOUBLE_EQ(*r.sensitivityDb, -0.7423);

    // Commas and semicolons with blanks around them, a phase column, comment
    // kinds, a header row, extra columns, a 0 Hz line.
    ASSERT_EQ(parsed("* measured response\n# note\n; note\nFreq(Hz),SPL(dB),Phase(degrees)\n"
                     "0, 1, 2\n10 ; 1.5e0 ; -170 ; 0.99\n100,2,170\n",
                     r),
              "");
    EXPECT_EQ(r.frequencyHz, (std::vector<double>{10, 100}));
    EXPECT_EQ(r.levelDb, (std::vector<double>{1.5, 2}));
    EXPECT_EQ(r.phaseDeg, (std::vector<double>{-170, 170}));
    EXPECT_FALSE(r.sensitivityDb);

    const std::pair<const char*, std::optional<double>> sensitivities[] = {
        {"SENS: -1.25\n", -1.25},
        {"Sensitivity -3 dB\n", -3.0},
        {"sens factor=2.5 db, gain 18dB\n", 2.5},
        {"Sensitivity: -38 dBV/Pa\n", std::nullopt},  // a microphone's sensitivity, not an offset
        {"Sensitivity 12.5 mV/Pa\n", std::nullopt},
        {"Insensitive: 3\n", std::nullopt},
    };
    for (const auto& [line, expected] : sensitivities) {
        ASSERT_EQ(parsed(std::string(line) + "20 0\n200 1\n", r), "") << line;
        EXPECT_EQ(r.sensitivityDb, expected) << line;
    }
}

TEST(ResponseText, RefusesDamageWithTheLineThatHoldsIt) {
    const std::pair<const char*, const char*> bad[] = {
        {"", "holds 0 points"},
        {"* only a comment\n", "holds 0 points"},
        {"100 1\n", "holds 1 point above"},
        {"0 1\n100 2\n", "holds 1 point above"},
        {"100 1\n100 2\n", "line 2: the frequency 100 Hz does not rise"},
        {"100 1\n50 2\n", "line 2: the frequency 50 Hz does not rise"},
        {"100\n200 1\n", "line 1: not a frequency"},
        {"100 12dB\n200 1\n", "line 1: not a frequency"},
        {"100 1\n200 1 x\n", "line 2: the phase is not a number"},
        {"100 1 5\n200 1\n", "line 2: has no phase"},
        {"100 1\n200 1 5\n", "line 2: has a phase"},
        {"-100 1\n200 1\n", "line 1: the frequency must lie"},
        {"100 1\n2e7 1\n", "line 2: the frequency must lie"},
        {"100 nan\n200 1\n", "line 1: the level must lie"},
        {"100 1e300\n200 1\n", "line 1: the level must lie"},
        {"100 1\n200 -300.5\n", "line 2: the level must lie within +-300 dB"},
        {"100 1 inf\n200 1 0\n", "line 1: the phase must lie"},
        {"100 1\n200 1\n+-300 1\n", "line 3: not a frequency"},
        {"100 1\n.\n", "line 2: not a frequency"},
        {"1,5 2,5\n", "holds 1 point above"},  // decimal commas are field separators
    };
    for (const auto& [text, reason] : bad) {
        ResponseText r;
        r.frequencyHz = {1.0};
        const std::string got = parsed(text, r);
        EXPECT_NE(got.find(reason), std::string::npos) << "'" << text << "' gave '" << got << "'";
        EXPECT_TRUE(r.frequencyHz.empty() && r.levelDb.empty() && r.phaseDeg.empty()) << text;
    }

    ResponseText r;
    const std::string missing = "/nonexistent-folder/mic.txt";
    EXPECT_EQ(readResponseText(missing, r).rfind(missing + ": cannot be opened", 0), 0u);
    EXPECT_NE(readResponseText(std::filesystem::temp_directory_path().string(), r), "");
}

TEST(ResponseText, NamesReadAsResponses) {
    for (const char* name : {"a.frd", "B.FRD", "x.txt", "dir.rsn/c.Csv"}) {
        EXPECT_TRUE(isResponseTextName(name)) << name;
    }
    for (const char* name : {"room.rsn", "frd", "a.frdx", ".tx", ""}) {
        EXPECT_FALSE(isResponseTextName(name)) << name;
    }
}

TEST(LogInterpolation, IsLinearInLogFrequencyAndHeldOutside) {
    const std::vector<double> hz{100, 1000, 4000};
    const std::vector<double> db{0, 10, 30};
    const std::vector<double> at{0, 50, 100, std::sqrt(100.0 * 1000.0), 2000, 4000, 9000};
    std::vector<double> out(at.size());
    interpolateLogFrequency(hz, db, at, out);
    const std::vector<double> expected{0, 0, 0, 5, 20, 30, 30};
    for (std::size_t i = 0; i < at.size(); ++i) EXPECT_NEAR(out[i], expected[i], 1e-12) << at[i];

    // Across +-180 degrees the unwrapped phase takes the short way.
    const std::vector<double> phase{170, -170, -10, 160};
    const std::vector<double> unwrapped = unwrappedDegrees(phase);
    EXPECT_EQ(unwrapped, (std::vector<double>{170, 190, 350, 520}));
    EXPECT_NEAR(wrappedRadians(190), -170 * std::numbers::pi / 180, 1e-12);
    EXPECT_NEAR(wrappedRadians(-720 + 45), std::numbers::pi / 4, 1e-12);
    EXPECT_NEAR(wrappedRadians(180), std::numbers::pi, 1e-12);
    EXPECT_NEAR(wrappedRadians(-180), std::numbers::pi, 1e-12);
}

TEST(ResponseExport, FrdAndCsvReadBackWhateverTheLocale) {
    ExportedResponse response;
    response.frequencyHz = {10.7666015625, 21.533203125, 11025};
    response.levelDb = {-0.000001, -119.99999, 3.123456};
    response.phaseDeg = {179.99999, -0.00001, -45.5};
    ASSERT_EQ(exportProblem(response), "");
    // A locale with a decimal comma must not reach the files.
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    const std::vector<std::string> comments{"Ressona", "device: sim\nloopback"};
    const std::string frd = frdText(response, comments);
    const std::string csv = csvText(response);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(frd.substr(0, frd.find("10.76660")), "* Ressona\n* device: sim?loopback\n");
    EXPECT_NE(frd.find("\n10.76660 0.00000 180.0000\n"), std::string::npos) << frd;
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "frequency_hz,level_db,phase_deg");
    EXPECT_NE(csv.find("\n11025.00000,3.12346,-45.5000\n"), std::string::npos) << csv;

    for (const std::string& text : {frd, csv}) {
        ResponseText back;
        ASSERT_EQ(parseResponseText(text, back), "");
        ASSERT_EQ(back.frequencyHz.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(back.frequencyHz[i], response.frequencyHz[i], 5e-6);
            EXPECT_NEAR(back.levelDb[i], response.levelDb[i], 5e-6);
            EXPECT_NEAR(back.phaseDeg[i], response.phaseDeg[i], 5e-5);
        }
    }

    response.phaseDeg[1] = std::nan("");
    EXPECT_NE(exportProblem(response), "");
    response.phaseDeg.pop_back();
    EXPECT_NE(exportProblem(response), "");
    EXPECT_NE(writeTextFile("/nonexistent-folder/x.frd", frd), "");
}

TEST(SpectrumScale, LevelAndMagnitudeAreInverses) {
    for (const float n : {64.0f, 4096.0f, 16384.0f}) {
        for (const double db : {-100.0, -20.0, 0.0, 0.01, 37.5}) {
            EXPECT_NEAR(levelDecibels(magnitudeOfLevel(db, n), n), db, 1e-4) << n << " " << db;
        }
        EXPECT_EQ(magnitudeOfLevel(-130.0, n), 0.0f);
        EXPECT_EQ(magnitudeOfLevel(1e4, n), std::numeric_limits<float>::max());
        EXPECT_NEAR(levelDecibels(0.0f, n), -120.0f, 1e-4);
    }
    EXPECT_EQ(positionFrequency(1, 10.5f), 0.0f);
    EXPECT_EQ(positionFrequency(3, 10.5f), 21.0f);
}

TEST(AnalysisExtras, CorrectionActsBeforeSmoothingAndOnlyOnItsGrid) {
    auto p = testing::preparedProgram({.mode = kModePulse, .n = 64, .rate = 8000});
    SampleArrays& arrays = p->arrays;
    SpectrumCorrection correction;
    correction.binWidth = arrays.binWidth;
    correction.gain.assign(32, 0.5f);
    correction.phase.assign(32, 3.0f);
    for (std::size_t k = 1; k <= 32; ++k) {
        arrays.magnitudeSpectrum[k] = 2.0f;
        arrays.phaseSpectrum[k] = -1.0f;
    }
    ASSERT_TRUE(correctionFits(correction, arrays));
    applySpectrumCorrection(correction, arrays, false);
    EXPECT_EQ(arrays.magnitudeSpectrum[7], 1.0f);
    EXPECT_EQ(arrays.phaseSpectrum[7], -1.0f) << "a phase the analysis did not form stays";
    applySpectrumCorrection(correction, arrays, true);
    EXPECT_NEAR(arrays.phaseSpectrum[7], 2.0f * std::numbers::pi_v<float> - 4.0f, 1e-6);

    SpectrumCorrection other = correction;
    other.binWidth *= 2.0f;
    applySpectrumCorrection(other, arrays, true);
    EXPECT_EQ(arrays.magnitudeSpectrum[7], 0.5f);
    other = correction;
    other.gain.pop_back();
    EXPECT_FALSE(correctionFits(other, arrays));

    // Through the analysis: an impulse (flat magnitude) corrected by a rising
    // gain, then smoothed, gives the band means of the corrected values.
    std::vector<std::int16_t>& record = p->state.device.recordBuffer;
    std::fill(record.begin(), record.end(), 0);
    record[0] = 6400;
    for (std::size_t k = 0; k < 32; ++k) correction.gain[k] = static_cast<float>(k + 1);
    correction.phase.clear();
    AnalysisExtras extras;
    extras.correction = correction;
    p->state.analysisThirdOctave = true;
    analyseCapture(p->state, arrays, p->transform, record, 0, false, 0, 0, &extras);
    // Bins 5 and 6 form one band (see the smoothing's band layout): 100 x (5 + 6) / 2.
    EXPECT_NEAR(arrays.magnitudeSpectrum[5], 550.0f, 1e-2);
    EXPECT_NEAR(arrays.magnitudeSpectrum[6], 550.0f, 1e-2);
    EXPECT_NEAR(arrays.magnitudeSpectrum[2], 200.0f, 1e-2);
}

TEST(AnalysisExtras, ImpulseAverageRunsOverTheAverageBeforeTheTaper) {
    auto p =
        testing::preparedProgram({.mode = kModePulse, .n = 64, .averages = 2, .halfHanning = true});
    std::vector<std::int16_t>& record = p->state.device.recordBuffer;
    AnalysisExtras extras;
    extras.averageImpulses = true;
    const auto capture = [&](std::int16_t level, std::uint32_t counter) {
        std::fill(record.begin(), record.end(), level);
        record[63] = 1000;
        analyseCapture(p->state, p->arrays, p->transform, record, 0, false, counter, 0, &extras);
    };
    capture(10, 0);
    capture(30, 1);
    ASSERT_EQ(extras.impulses.count, 2u);
    EXPECT_EQ(extras.impulses.sum[0], 40.0);
    EXPECT_EQ(extras.impulses.sum[63], 2000.0) << "untapered: the taper fades the end";
    EXPECT_LT(p->arrays.impulseResponse[64], 100);
    capture(50, 2);  // the third capture starts the next average of two
    EXPECT_EQ(extras.impulses.count, 1u);
    EXPECT_EQ(extras.impulses.sum[0], 50.0);
    capture(70, 0);  // a new run starts one too
    EXPECT_EQ(extras.impulses.count, 1u);
}

// A file in the test's temporary folder, removed with the fixture.
class ResponseFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("ressona-response-files-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string file(const std::string& name, const std::string& text) const {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::filesystem::path folder_;
};

TEST_F(ResponseFiles, SavedFileGridOnlyFromAHeaderThePanelCouldHaveWritten) {
    const auto header = [](const char* rate, const char* count) {
        return std::string(" Ressona saved file\n Samples per second ") + rate +
               "\n   Number of points " + count + "\n";
    };
    EXPECT_EQ(savedFileGrid(file("a.rsn", header("     48000", "      2048"))),
              (std::pair<std::uint32_t, std::uint32_t>{48000, 4096}));
    EXPECT_EQ(savedFileGrid(file("b.rsn", header("     8 000", "        32"))),
              (std::pair<std::uint32_t, std::uint32_t>{8000, 64}))
        << "blanks are ignored";
    for (const std::string& damaged :
         {header("     12345", "      2048"), header("     48000", "      1000"),
          header("     48000", "     16384"), header("     48000", "        16"),
          header("      4.8e", "      2048"), header("     48000", ""),
          std::string(" Ressona saved file\n"), std::string("")}) {
        EXPECT_FALSE(savedFileGrid(file("c.rsn", damaged))) << damaged;
    }
    EXPECT_FALSE(savedFileGrid((folder_ / "absent.rsn").string()));
}

TEST_F(ResponseFiles, ReadingMakesTheCurveTheResultOnlyWhenAsked) {
    auto p = testing::preparedProgram({.mode = kModePulse, .n = 64, .rate = 8000});
    MeasurementState& state = p->state;
    SampleArrays& arrays = p->arrays;
    for (std::size_t k = 1; k <= 32; ++k) {
        arrays.magnitudeSpectrum[k] = static_cast<float>(k);
        arrays.phaseSpectrum[k] = 0.01f * static_cast<float>(k);
    }
    const std::string saved = (folder_ / "r.rsn").string();
    setStorageFileName(state, saved);
    ASSERT_EQ(saveResult(state, arrays), kResultFileDone);
    arrays.magnitudeSpectrum.fill(0.0f);
    arrays.phaseSpectrum.fill(0.0f);

    ResponseReading reading;
    ASSERT_EQ(readResponseFile(state, arrays, false, reading), 0);
    EXPECT_FALSE(reading.text);
    EXPECT_EQ(arrays.capturedSpectrum[5], 5.0f);
    EXPECT_EQ(arrays.magnitudeSpectrum[5], 0.0f) << "a captured curve only";
    ASSERT_EQ(readResponseFile(state, arrays, true, reading), 0);
    EXPECT_TRUE(reading.hasPhase);
    EXPECT_EQ(arrays.magnitudeSpectrum[5], 5.0f);
    EXPECT_NEAR(arrays.phaseSpectrum[5], 0.05f, 1e-6);
    EXPECT_TRUE(arrays.resultsReady);

    // A phase column that does not read leaves the phase at 0, the levels as read.
    std::string text = contents(saved);
    text.replace(text.find('\n', text.find("0.05")) - 4, 4, "abcd");
    setStorageFileName(state, file("damaged.rsn", text));
    ASSERT_EQ(readResponseFile(state, arrays, true, reading), 0);
    EXPECT_FALSE(reading.hasPhase);
    EXPECT_EQ(arrays.phaseSpectrum[3], 0.0f);
    EXPECT_EQ(arrays.magnitudeSpectrum[3], 3.0f);

    // A response text: levels onto the grid at (k - 1) x 125 Hz, label from the name.
    setStorageFileName(state, file("curve.frd", "125 -20 10\n250 -10 20\n"));
    ASSERT_EQ(readResponseFile(state, arrays, true, reading), 0);
    EXPECT_TRUE(reading.text && reading.hasPhase);
    EXPECT_NEAR(levelDecibels(arrays.capturedSpectrum[2], 64), -20.0f, 1e-4);
    EXPECT_NEAR(levelDecibels(arrays.capturedSpectrum[1], 64), -20.0f, 1e-4) << "held below";
    EXPECT_NEAR(levelDecibels(arrays.capturedSpectrum[32], 64), -10.0f, 1e-4) << "held above";
    // The text's phase falls with delay, the panel's rises: the sign turns.
    EXPECT_NEAR(arrays.phaseSpectrum[3], -20 * std::numbers::pi / 180, 1e-6);
    EXPECT_EQ(std::string(state.capturedLabel.data(), 10), "curve.frd ");
    EXPECT_TRUE(state.plotShowCaptured);

    setStorageFileName(state, file("bad.csv", "a,b\n1,2\n"));
    EXPECT_EQ(readResponseFile(state, arrays, false, reading), kResultFileBadHeader);
    EXPECT_NE(reading.problem.find("bad.csv: holds 1 point"), std::string::npos);
    setStorageFileName(state, (folder_ / "absent.txt").string());
    EXPECT_EQ(readResponseFile(state, arrays, false, reading), kResultFileNotOpened);
}

}  // namespace
}  // namespace ressona
