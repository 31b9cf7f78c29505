// The measurer's results for other programs and what it takes from them, on
// the simulated cards: WAV, FRD and CSV exports against the JSON arrays (and
// the WAV through sox, an independent reader), a calibration's effect, curves
// of other programs read back and subtracted, saved files converted without
// passes, and outputs that a failed run leaves alone.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>

#include "exchange/response_text.h"
#include "exchange/wav_file.h"
#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "signals/response_scale.h"

namespace ressona {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Measured {
    int status = -1;
    std::string err;
    Json json;
};

class MeasureExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("ressona-measure-exchange-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static Measured run(const std::vector<std::string>& more) {
        std::vector<std::string> arguments = {"--device",  "sim:loopback", "--excitation", "mls",
                                              "--length",  "4096",         "--rate",       "48000",
                                              "--instant", "--json",       "--arrays"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        std::ostringstream out;
        std::ostringstream err;
        Measured result;
        result.status = measureMain(arguments, simulatedMeasureBackends(), out, err);
        result.err = err.str();
        result.json = Json::parse(out.str(), nullptr, false);
        return result;
    }

    // Levels in dB as the plot forms them, positions 2..M of a JSON array.
    static std::vector<double> levels(const Json& json, const char* name) {
        const auto magnitudes = json[name].get<std::vector<float>>();
        const auto n = json["settings"]["sampleLength"].get<float>();
        std::vector<double> result;
        for (std::size_t k = 1; k < magnitudes.size(); ++k) {
            result.push_back(levelDecibels(magnitudes[k], n));
        }
        return result;
    }

    fs::path folder_;
};

// Max - min of a list.
double spread(const std::vector<double>& values) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return *high - *low;
}

TEST_F(MeasureExchange, ExportsOfTheLoopbackMlsCarryTheTransferFunctionOfTheJson) {
    const Measured r = run({"--passes", "3", "--export-wav", path("ir.wav"), "--export-frd",
                            path("r.frd"), "--export-csv", path("r.csv")});
    ASSERT_EQ(r.status, kMeasureDone) << r.err;
    EXPECT_EQ(r.json["exports"]["wav"], path("ir.wav"));
    EXPECT_EQ(r.json["exports"]["frd"], path("r.frd"));
    const Json& transfer = r.json["transferFunction"];
    EXPECT_EQ(transfer["points"], 4096);
    EXPECT_EQ(transfer["timeZeroSample"], r.json["latencySamples"]);

    // The wire is a unit impulse at time zero.
    WavSignal wav;
    ASSERT_EQ(readWav(path("ir.wav"), wav), "");
    EXPECT_EQ(wav.sampleRate, 48000u);
    ASSERT_EQ(wav.samples.size(), 4096u);
    std::vector<double> impulse(wav.samples.begin(), wav.samples.end());
    for (std::size_t i = 0; i < impulse.size(); ++i) {
        ASSERT_NEAR(impulse[i], i == 0 ? 1.0 : 0.0, 1e-6) << i;
    }

    // FRD: the comments say what was measured and in which convention; the
    // rows are the JSON's.
    const std::string frd = contents(path("r.frd"));
    for (const char* said :
         {"* device: sim:loopback", "excitation: mls; passes: 3",
          "sample rate: 48000 Hz; length: 4096 samples", "* date: 20",
          "a wire from the output to the input is 0 dB", "-360 f d / rate degrees",
          "time zero: the excitation's arrival, recording sample 32"}) {
        EXPECT_NE(frd.find(said), std::string::npos) << said << " in\n" << frd.substr(0, 600);
    }
    ResponseText rows;
    ASSERT_EQ(parseResponseText(frd, rows), "");
    ASSERT_EQ(rows.frequencyHz.size(), 2047u);
    const auto levelDb = transfer["levelDb"].get<std::vector<double>>();
    const auto phaseDeg = transfer["phaseDeg"].get<std::vector<double>>();
    const auto frequencyHz = transfer["frequencyHz"].get<std::vector<double>>();
    ASSERT_EQ(levelDb.size(), rows.levelDb.size());
    for (std::size_t i = 0; i < rows.frequencyHz.size(); ++i) {
        ASSERT_NEAR(rows.frequencyHz[i], static_cast<double>(i + 1) * 48000.0 / 4096.0, 5e-6);
        ASSERT_NEAR(rows.frequencyHz[i], frequencyHz[i], 5e-6);
        ASSERT_NEAR(rows.levelDb[i], levelDb[i], 5e-6) << i;
        ASSERT_NEAR(rows.phaseDeg[i], phaseDeg[i], 5e-5) << i;
    }
    EXPECT_LT(spread(rows.levelDb), 0.01) << "the loopback is flat";
    std::printf("[ figures  ] FRD of the loopback MLS: levels within %.5f dB\n",
                spread(rows.levelDb));

    const std::string csv = contents(path("r.csv"));
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "frequency_hz,level_db,phase_deg");
    ResponseText csvRows;
    ASSERT_EQ(parseResponseText(csv, csvRows), "");
    EXPECT_EQ(csvRows.levelDb, rows.levelDb);
    EXPECT_EQ(csvRows.phaseDeg, rows.phaseDeg);

    // sox, a reader of its own, sees the same rate, length and samples.
    if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is missing";
    FILE* pipe = popen(("sox '" + path("ir.wav") + "' -t dat - 2>/dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string dat;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) dat.append(buffer, n);
    pclose(pipe);
    std::istringstream lines(dat);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("; Sample Rate 48000", 0), 0u) << line;  // sox ends its lines in CR LF
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("; Channels 1", 0), 0u) << line;
    std::size_t count = 0;
    double time = 0.0;
    double value = 0.0;
    while (lines >> time >> value) {
        ASSERT_LT(count, impulse.size());
        ASSERT_NEAR(value, impulse[count], 1e-8) << count;  // sox prints nine digits
        ++count;
    }
    EXPECT_EQ(count, 4096u);
}

TEST_F(MeasureExchange, TheWavIsTheTransferFunctionOfTheAverageBeforeTheTaper) {
    const Measured plain = run({"--passes", "1", "--device", "sim:room", "--export-wav",
                                path("one.wav")});
    const Measured tapered = run({"--passes", "3", "--average", "3", "--hanning", "--device",
                                  "sim:room", "--export-wav", path("avg.wav")});
    ASSERT_EQ(tapered.status, kMeasureDone) << tapered.err;
    WavSignal one;
    WavSignal wav;
    ASSERT_EQ(readWav(path("one.wav"), one), "");
    ASSERT_EQ(readWav(path("avg.wav"), wav), "");
    ASSERT_EQ(wav.samples.size(), one.samples.size());
    // The room's noise differs from pass to pass; its tail, well below the
    // response, is where the taper would have shown.
    double worst = 0.0;
    for (std::size_t i = 0; i < wav.samples.size(); ++i)
        worst = std::max(worst, double(std::fabs(wav.samples[i] - one.samples[i])));
    EXPECT_LT(worst, 0.01);
    const auto last = tapered.json["impulseResponse"].get<std::vector<double>>();
    EXPECT_NEAR(wav.samples[4000], one.samples[4000], 0.002) << "not faded out";
    EXPECT_GT(std::fabs(one.samples[4000]), 1e-4) << "the room still rings at the end";
    EXPECT_LT(std::fabs(last[4000]), 2.0) << "the JSON holds the tapered response";
}

TEST_F(MeasureExchange, AnFrdReadBackAndSubtractedIsFlat) {
    // The FRD holds the transfer function (the wire at 0 dB), the panel its
    // own level: the two differ by the excitation's level, the same at every frequency.
    ASSERT_EQ(run({"--passes", "1", "--export-frd", path("x.frd")}).status, kMeasureDone);
    const Measured r = run({"--passes", "1", "--read", path("x.frd"), "--subtract"});
    ASSERT_EQ(r.status, kMeasureDone) << r.err;
    EXPECT_TRUE(r.json["settings"]["subtract"].get<bool>());
    EXPECT_EQ(r.json["read"]["format"], "response text");
    EXPECT_TRUE(r.json["read"]["phase"].get<bool>());
    const std::vector<double> measured = levels(r.json, "magnitudeSpectrum");
    const std::vector<double> captured = levels(r.json, "capturedSpectrum");
    std::vector<double> difference;
    for (std::size_t i = 0; i < measured.size(); ++i) difference.push_back(measured[i] - captured[i]);
    EXPECT_LT(spread(difference), 0.01);
    std::printf("[ figures  ] FRD read back and subtracted: flat within %.6f dB\n",
                spread(difference));

    write("damaged.frd", "10 1\n20 x\n");
    const Measured damaged = run({"--passes", "1", "--read", path("damaged.frd")});
    EXPECT_EQ(damaged.status, kMeasureFailed);
    EXPECT_NE(damaged.err.find("Error 9"), std::string::npos) << damaged.err;
    EXPECT_NE(damaged.err.find("damaged.frd: line 2: not a frequency"), std::string::npos);
}

TEST_F(MeasureExchange, ACalibrationIsTakenOffTheLevelAndPhase) {
    const Measured plain = run({"--passes", "1"});
    const std::vector<double> before = levels(plain.json, "magnitudeSpectrum");
    const auto phaseBefore = plain.json["phaseSpectrum"].get<std::vector<double>>();

    write("flat.txt", "\"Sens Factor =1.5dB\"\n10\t1.5\t90\n30000\t1.5\t90\n");
    const Measured flat = run({"--passes", "1", "--calibration", path("flat.txt")});
    ASSERT_EQ(flat.status, kMeasureDone) << flat.err;
    EXPECT_EQ(flat.json["calibration"]["file"], path("flat.txt"));
    EXPECT_EQ(flat.json["calibration"]["offsetDb"].get<double>(), 1.5);
    EXPECT_TRUE(flat.json["calibration"]["phase"].get<bool>());
    const std::vector<double> after = levels(flat.json, "magnitudeSpectrum");
    const auto phaseAfter = flat.json["phaseSpectrum"].get<std::vector<double>>();
    for (std::size_t i = 0; i < before.size(); ++i) {
        ASSERT_NEAR(after[i] - before[i], -3.0, 0.005) << i;
        const double turned = std::remainder(
            phaseAfter[i + 1] - phaseBefore[i + 1] + std::numbers::pi / 2, 2 * std::numbers::pi);
        ASSERT_NEAR(turned, 0.0, 1e-5) << i;
    }

    // Rising 6 dB per octave from 100 Hz to 6400 Hz: the response falls as much.
    write("rising.csv", "frequency,dB\n100,0\n200,6\n400,12\n800,18\n1600,24\n3200,30\n6400,36\n");
    const Measured rising = run({"--passes", "1", "--calibration", path("rising.csv")});
    ASSERT_EQ(rising.status, kMeasureDone) << rising.err;
    const std::vector<double> tilted = levels(rising.json, "magnitudeSpectrum");
    const double binWidth = 48000.0 / 4096.0;
    double worst = 0.0;
    for (std::size_t i = 0; i < tilted.size(); ++i) {
        const double hz = static_cast<double>(i + 1) * binWidth;  // position i + 2
        const double held = std::clamp(hz, 100.0, 6400.0);
        const double error = tilted[i] - before[i] + 6.0 * std::log2(held / 100.0);
        worst = std::max(worst, std::fabs(error));
    }
    EXPECT_LT(worst, 0.05);
    std::printf("[ figures  ] 6 dB/octave calibration: tilt within %.4f dB of -6 dB/octave\n",
                worst);
}

TEST_F(MeasureExchange, AnUnusableCalibrationStopsBeforeAnythingIsMeasured) {
    write("one.txt", "* one point\n1000 0\n");
    write("falling.txt", "100 0\n1000 1\n500 2\n");
    write("garbage.txt", "100 0\n1000 one\n");
    for (const std::string name : {"one.txt", "falling.txt", "garbage.txt", "absent.txt"}) {
        const Measured r =
            run({"--passes", "1", "--calibration", path(name), "--export-frd", path("never.frd")});
        EXPECT_EQ(r.status, kMeasureBadCommandLine) << name;
        EXPECT_TRUE(r.json.is_discarded()) << "no report for " << name;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("calibration file " + path(name)), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(path("never.frd")));
}

TEST_F(MeasureExchange, ASavedFileConvertsWithoutPassesOnItsOwnGrid) {
    std::vector<std::string> room = {"--device", "sim:room", "--passes",
                                     "2",        "--save",   path("room.rsn")};
    const Measured saved = run(room);
    ASSERT_EQ(saved.status, kMeasureDone) << saved.err;

    // Without --rate and --length the file's own 48000 Hz and 4096 points are used.
    const std::vector<std::string> convert = {
        "--passes",       "0",      "--read",  path("room.rsn"), "--export-frd",
        path("room.frd"), "--json", "--arrays"};
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(measureMain(convert, simulatedMeasureBackends(), out, err), kMeasureDone)
        << err.str();
    const Json json = Json::parse(out.str());
    EXPECT_EQ(json["passes"], 0);
    EXPECT_EQ(json["sampleCounter"], 0);
    EXPECT_EQ(json["settings"]["sampleRate"], 48000);
    EXPECT_EQ(json["settings"]["sampleLength"], 4096);
    EXPECT_EQ(json["device"]["name"], "sim:room");
    EXPECT_EQ(json["read"]["format"], "saved file");
    const auto original = saved.json["magnitudeSpectrum"].get<std::vector<double>>();
    const auto converted = json["magnitudeSpectrum"].get<std::vector<double>>();
    const auto originalPhase = saved.json["phaseSpectrum"].get<std::vector<double>>();
    const auto convertedPhase = json["phaseSpectrum"].get<std::vector<double>>();
    ASSERT_EQ(converted.size(), original.size());
    for (std::size_t k = 0; k < original.size(); ++k) {
        ASSERT_NEAR(converted[k], original[k], 0.51e-5) << k;  // five decimals in the file
        ASSERT_NEAR(convertedPhase[k], originalPhase[k], 0.0051) << k;
    }
    const std::string frd = contents(path("room.frd"));
    EXPECT_NE(frd.find("* converted from: " + path("room.rsn")), std::string::npos);
    EXPECT_EQ(frd.find("device:"), std::string::npos) << "no device measured anything";

    // A response text converts on the grid the command line gives.
    const Measured again =
        run({"--passes", "0", "--read", path("room.frd"), "--export-csv", path("room.csv")});
    ASSERT_EQ(again.status, kMeasureDone) << again.err;
    ResponseText frdRows;
    ResponseText csvRows;
    ASSERT_EQ(parseResponseText(frd, frdRows), "");
    ASSERT_EQ(parseResponseText(contents(path("room.csv")), csvRows), "");
    ASSERT_EQ(csvRows.levelDb.size(), frdRows.levelDb.size());
    for (std::size_t i = 0; i < csvRows.levelDb.size(); ++i) {
        ASSERT_NEAR(csvRows.levelDb[i], frdRows.levelDb[i], 2e-5) << i;
        ASSERT_NEAR(std::remainder(csvRows.phaseDeg[i] - frdRows.phaseDeg[i], 360.0), 0.0, 2e-4);
    }
}

TEST_F(MeasureExchange, AFailedRunLeavesEveryOutputAsItWas) {
    write("keep.frd", "old");
    write("keep.wav", "old");
    const Measured r = run({"--passes", "1", "--read", path("missing.rsn"), "--export-frd",
                            path("keep.frd"), "--export-wav", path("keep.wav")});
    EXPECT_EQ(r.status, kMeasureFailed);
    EXPECT_TRUE(r.json["exports"]["frd"].is_null());
    EXPECT_EQ(contents(path("keep.frd")), "old");
    EXPECT_EQ(contents(path("keep.wav")), "old");
    // An export that cannot be written costs the others nothing either.
    const Measured half = run({"--passes", "1", "--export-frd", path("keep.frd"), "--export-csv",
                               path("no-folder/x.csv")});
    EXPECT_EQ(half.status, kMeasureFailed);
    EXPECT_NE(half.err.find("no-folder/x.csv' was not written"), std::string::npos) << half.err;
    EXPECT_EQ(contents(path("keep.frd")), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), {}), 2) << "no temporary files left";
}

TEST_F(MeasureExchange, CommandLinesThatCannotBeCarriedOutAreRefused) {
    const std::vector<std::vector<std::string>> bad = {
        {"--passes", "0"},
        {"--passes", "0", "--read", "a.rsn", "--capture"},
        {"--passes", "0", "--read", "a.rsn", "--subtract"},
        {"--passes", "0", "--read", "a.rsn", "--export-wav", "a.wav"},
        {"--passes", "0", "--read", "a.rsn", "--save", "b.rsn"},
        {"--passes", "0", "--read", "a.rsn", "--calibration", "mic.txt"},
        {"--export-frd", "same", "--export-csv", "same"},
        {"--export-csv", "same", "--save", "same"},
        {"--export-frd", ""},
        {"--calibration"},
    };
    for (const auto& arguments : bad) {
        const Measured r = run(arguments);
        EXPECT_EQ(r.status, kMeasureBadCommandLine) << arguments[0] << " " << arguments.back();
        EXPECT_TRUE(r.json.is_discarded());
    }
}

}  // namespace
}  // namespace ressona
