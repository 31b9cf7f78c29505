// The calibrator, the sensitivity file and the sound level meter in the
// measurer: WAV recordings and the simulated room's input, the log, Ctrl-C,
// the JSON object and the command line's refusals.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "exchange/response_text.h"
#include "exchange/wav_file.h"
#include "measure/measure_backends.h"
#include "measure/measurement_run.h"

namespace ressona {
namespace {

using Json = nlohmann::json;
constexpr double kPi = 3.14159265358979323846;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
    Json json;
};

Result run(const std::vector<std::string>& arguments, MeasureBackends backends = simulatedMeasureBackends()) {
    std::ostringstream out, err;
    Result result;
    result.status = measureMain(arguments, backends, out, err);
    result.out = out.str();
    result.err = err.str();
    result.json = Json::parse(result.out, nullptr, false);
    return result;
}

class LevelMeasure : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("ressona-level-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // A WAV of a sine at dbfs (a full-scale sine 0 dBFS), or of silence for hz 0.
    std::string toneWav(const std::string& name, double hz, double dbfs, double seconds,
                        std::uint32_t rate = 48000) const {
        std::vector<float> samples(static_cast<std::size_t>(seconds * rate));
        const double amplitude = std::pow(10.0, dbfs / 20.0);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<float>(amplitude * std::sin(2.0 * kPi * hz * i / rate));
        EXPECT_EQ(writeFloatWav(path(name), rate, samples), "");
        return path(name);
    }
    static std::vector<std::string> lines(const std::string& file) {
        std::ifstream in(file);
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);) all.push_back(line);
        return all;
    }

    std::filesystem::path dir_;
};

TEST_F(LevelMeasure, ACalibratorsSensitivityIsKeptAndGivesTheMeterDbSpl) {
    const std::string sensitivity = path("mic.txt");
    for (const double hz : {1000.0, 250.0}) {
        const Result cal = run({"--calibrator-wav", toneWav("cal.wav", hz, -20.0, 3.0),
                                "--sensitivity", sensitivity, "--json"});
        ASSERT_EQ(cal.status, 0) << cal.err;
        EXPECT_EQ(cal.json["calibrator"]["frequencyHz"], hz);
        EXPECT_NEAR(cal.json["calibrator"]["sensitivityDbfs"].get<double>(), -20.0, 0.02);
        EXPECT_TRUE(cal.json["sensitivity"]["written"].get<bool>());
    }
    const Result tone = run({"--spl-wav", toneWav("t.wav", 1000.0, -30.0, 2.0), "--sensitivity",
                             sensitivity, "--json"});
    ASSERT_EQ(tone.status, 0) << tone.err;
    const Json& meter = tone.json["meter"];
    EXPECT_EQ(meter["unit"], "dB SPL");
    for (const char* figure : {"LZeq", "LAeq", "LCeq"}) EXPECT_NEAR(meter[figure].get<double>(), 84.0, 0.1);
    EXPECT_EQ(meter["weighting"]["fastSeconds"], 0.125);
    EXPECT_EQ(meter["weighting"]["slowSeconds"], 1.0);

    // Without a sensitivity the same tone is in dBFS and says so.
    const Result plain = run({"--spl-wav", path("t.wav")});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("LAeq -30.00 dBFS"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("no sensitivity"), std::string::npos);
}

TEST_F(LevelMeasure, NoiseSilenceAndBadFilesAreRefusedBeforeAnythingIsWritten) {
    std::vector<float> noise(96000);
    std::uint32_t state = 1;
    for (float& x : noise) {
        state = state * 1664525u + 1013904223u;
        x = static_cast<float>(state >> 8) / 16777216.0f * 0.2f - 0.1f;
    }
    ASSERT_EQ(writeFloatWav(path("noise.wav"), 48000, noise), "");
    const std::string sensitivity = path("mic.txt");
    for (const std::string& wav : {path("noise.wav"), toneWav("quiet.wav", 0.0, 0.0, 2.0),
                                   path("missing.wav")}) {
        const Result refused = run({"--calibrator-wav", wav, "--sensitivity", sensitivity});
        EXPECT_EQ(refused.status, 2) << wav;
        EXPECT_NE(refused.err.find("--calibrator-wav"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(sensitivity));
    }
    std::ofstream(sensitivity) << "sensitivity_dbfs_at_94_db_spl = loud\n";
    const Result bad = run({"--spl-wav", toneWav("t.wav", 1000.0, -30.0, 1.0), "--sensitivity",
                            sensitivity, "--spl-log", path("log.csv")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("line 1"), std::string::npos) << bad.err;
    EXPECT_FALSE(std::filesystem::exists(path("log.csv")));
}

TEST_F(LevelMeasure, TheLiveMeterLogsOneRowPerWholeInterval) {
    const std::string log = path("f.csv");
    const Result live = run({"--device", "sim:room", "--instant", "--spl-meter", "3", "--spl-log",
                             log, "--spl-interval", "1", "--json"});
    ASSERT_EQ(live.status, 0) << live.err;
    EXPECT_EQ(live.err, "");  // stderr is no terminal: no progress
    const std::vector<std::string> rows = lines(log);
    ASSERT_EQ(rows.size(), 1u + 3u);
    EXPECT_EQ(rows[0].rfind("start_s,seconds,lzeq_dbfs,laeq_dbfs,", 0), 0u) << rows[0];
    EXPECT_NE(rows[0].find("band_25_hz_dbfs"), std::string::npos);
    EXPECT_NE(rows[0].find("band_20000_hz_dbfs"), std::string::npos);
    EXPECT_EQ(rows[3].rfind("2.000,1.000,", 0), 0u);
    const Json& meter = live.json["meter"];
    EXPECT_EQ(meter["source"], "input");
    EXPECT_EQ(meter["unit"], "dBFS");
    EXPECT_EQ(meter["log"]["rows"], 3);
    EXPECT_NEAR(meter["seconds"].get<double>(), 3.0, 1e-9);
    EXPECT_TRUE(meter["LAeq"].is_number());
}

TEST_F(LevelMeasure, CtrlCEndsTheLiveMeterWithTheLogCompleteToTheLastWholeInterval) {
    MeasureBackends backends = simulatedMeasureBackends();
    int asked = 0;
    bool watching = false;
    backends.watchInterrupt = [&] {
        watching = true;
        // Asked while each buffer is awaited, too: a few seconds of the input.
        return std::function<bool()>([&asked] { return ++asked > 2000; });
    };
    backends.errIsTerminal = true;
    const std::string log = path("f.csv");
    const Result stopped = run({"--device", "sim:room", "--instant", "--spl-meter", "100",
                                "--spl-log", log, "--spl-interval", "0.5", "--json"},
                               backends);
    ASSERT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_TRUE(watching);
    const Json& meter = stopped.json["meter"];
    EXPECT_TRUE(meter["interrupted"].get<bool>());
    const double seconds = meter["seconds"].get<double>();
    EXPECT_GT(seconds, 0.5);
    EXPECT_LT(seconds, 100.0);
    const std::vector<std::string> rows = lines(log);
    EXPECT_EQ(rows.size(), 1u + static_cast<std::size_t>(seconds / 0.5));
    EXPECT_EQ(std::count(rows.back().begin(), rows.back().end(), ','),
              std::count(rows[0].begin(), rows[0].end(), ','));
    EXPECT_NE(stopped.err.find("LAF"), std::string::npos);  // the progress on the "terminal"
}

TEST_F(LevelMeasure, TheLiveCalibratorRefusesTheRoomsNoise) {
    const Result refused = run({"--device", "sim:room", "--instant", "--calibrator-seconds", "2",
                                "--sensitivity", path("mic.txt")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("no steady tone"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(path("mic.txt")));
}

TEST_F(LevelMeasure, TheLoopbacksTransferFunctionInDbSplIsItsLevelPlus94LessTheSensitivity) {
    const std::string sensitivity = path("mic.txt");
    std::ofstream(sensitivity) << "sensitivity_dbfs_at_94_db_spl = -23.5\ncalibrator_hz = 1000\n";
    const Result measured = run({"--device", "sim:loopback", "--instant", "--excitation", "mls",
                                 "--sensitivity", sensitivity, "--json", "--arrays"});
    ASSERT_EQ(measured.status, 0) << measured.err;
    const Json& transfer = measured.json["transferFunction"];
    ASSERT_TRUE(transfer["splDb"].is_array());
    ASSERT_EQ(transfer["splDb"].size(), transfer["levelDb"].size());
    EXPECT_EQ(transfer["spl"]["offsetDb"], 94.0 + 23.5);
    for (std::size_t k = 0; k < transfer["splDb"].size(); ++k) {
        ASSERT_NEAR(transfer["splDb"][k].get<double>(),
                    transfer["levelDb"][k].get<double>() + 94.0 + 23.5, 0.01);
    }
    // A sensitivity file that cannot be read stops the measurement before it starts.
    const Result refused = run({"--device", "sim:loopback", "--instant", "--sensitivity",
                                path("missing.txt")});
    EXPECT_EQ(refused.status, 2);
}

TEST_F(LevelMeasure, ExportsInDbSplSaySoAndNeedASensitivityAndAResponse) {
    const std::string sensitivity = path("mic.txt");
    std::ofstream(sensitivity) << "sensitivity_dbfs_at_94_db_spl = -23.5\n";
    const Result measured =
        run({"--device", "sim:loopback", "--instant", "--excitation", "pulse", "--sensitivity",
             sensitivity, "--export-spl", "--export-frd", path("spl.frd"), "--export-csv",
             path("spl.csv"), "--json"});
    ASSERT_EQ(measured.status, 0) << measured.err;
    EXPECT_EQ(measured.json["exports"]["levelInSpl"], true);
    const std::vector<std::string> frd = lines(path("spl.frd"));
    ASSERT_GT(frd.size(), 100u);
    EXPECT_NE(frd[0].find("level in dB SPL"), std::string::npos) << frd[0];
    ResponseText rows;
    ASSERT_EQ(readResponseText(path("spl.frd"), rows), "");
    for (const double level : rows.levelDb) ASSERT_NEAR(level, 94.0 + 23.5, 0.01);
    EXPECT_EQ(lines(path("spl.csv")).at(0), "frequency_hz,level_db_spl,phase_deg");

    // Nothing to put in dB SPL: refused before anything is measured or written.
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"--export-spl"},
             {"--export-spl", "--sensitivity", sensitivity, "--passes", "0", "--read", path("spl.frd")},
             {"--export-spl", "--sensitivity", sensitivity, "--excitation", "noise", "--freq-png",
              path("f.png")}}) {
        std::vector<std::string> full = arguments;
        for (const char* more : {"--device", "sim:loopback", "--instant", "--export-csv"})
            full.push_back(more);
        full.push_back(path("never.csv"));
        const Result refused = run(full);
        EXPECT_EQ(refused.status, 2) << arguments.size();
        EXPECT_NE(refused.err.find("--export-spl"), std::string::npos) << refused.err;
        EXPECT_FALSE(std::filesystem::exists(path("never.csv")));
    }
    EXPECT_NE(run({"--export-spl"}).err.find("--sensitivity FILE"), std::string::npos);
}

TEST(LevelOptions, CombinationsThatCannotWorkAreRefused) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{
             {"--calibrator-db", "114"},
             {"--spl-log", "f.csv"},
             {"--spl-interval", "2"},
             {"--spl-meter", "3", "--passes", "2"},
             {"--spl-meter", "3", "--spl-wav", "a.wav"},
             {"--calibrator-wav", "a.wav", "--calibrator-seconds", "3"},
             {"--calibrator-seconds", "0.5"},
             {"--calibrator-db", "20", "--calibrator-wav", "a.wav"},
             {"--spl-meter", "3", "--spl-interval", "0"},
             {"--spl-meter", "3", "--spl-log", "f.csv", "--sensitivity", "f.csv"},
         }) {
        const Result refused = run(arguments);
        EXPECT_EQ(refused.status, 2) << arguments[0] << " " << arguments[1];
        EXPECT_FALSE(refused.err.empty());
    }
}

}  // namespace
}  // namespace ressona
