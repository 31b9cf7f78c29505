// The measurer's --combine and --views on files: averages of responses whose
// answer is known, a delay read from an FRD file's phase, and files or
// options that cannot be combined (exit 2, nothing written).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "exchange/response_text.h"
#include "exchange/wav_file.h"
#include "measure/measure_backends.h"
#include "measure/measurement_run.h"

namespace ressona {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr std::uint32_t kRate = 48000;

struct Outcome {
    int status = -1;
    std::string err;
    Json json;
};

class CombineMeasure : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("ressona-combine-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    static Outcome run(std::vector<std::string> arguments) {
        std::ostringstream out, err;
        Outcome result;
        result.status = measureMain(arguments, simulatedMeasureBackends(), out, err);
        result.err = err.str();
        result.json = Json::parse(out.str(), nullptr, false);
        return result;
    }

    // A decaying response starting `delay` samples in, at `gain`.
    std::string impulseFile(const std::string& name, std::size_t delay,
                            std::uint32_t rate = kRate) {
        std::vector<float> samples(2048, 0.0f);
        for (std::size_t n = 0; n + delay < samples.size(); ++n)
            samples[n + delay] = static_cast<float>(0.3 * std::pow(0.8, n) * std::cos(0.7 * n));
        EXPECT_EQ(writeFloatWav(path(name), rate, samples), "");
        return path(name);
    }

    // A flat response at levelDb, its phase that of a delay of `delay` samples.
    std::string textFile(const std::string& name, double levelDb, double delay) {
        std::ofstream file(path(name));
        file.precision(12);
        for (int k = 1; k <= 4096; ++k) {
            const double hz = k * 24000.0 / 4096;
            file << hz << ' ' << levelDb << ' '
                 << std::remainder(-360.0 * hz * delay / kRate, 360.0) << '\n';
        }
        return path(name);
    }

    static double levelNear(const std::string& frd, double hz) {
        ResponseText curve;
        EXPECT_EQ(readResponseText(frd, curve), "");
        for (std::size_t i = 0; i < curve.frequencyHz.size(); ++i) {
            if (curve.frequencyHz[i] >= hz) return curve.levelDb[i];
        }
        return NAN;
    }

    fs::path folder_;
};

TEST_F(CombineMeasure, LevelsSixDecibelsApartAverageByPowerAndByDecibels) {
    const std::string low = textFile("low.frd", -20.0, 0.0);
    const std::string high = textFile("high.frd", -20.0 + 20.0 * std::log10(2.0), 0.0);
    ASSERT_EQ(run({"--combine", low, high, "--export-frd", path("rms.frd")}).status, 0);
    ASSERT_EQ(
        run({"--combine", low, high, "--combine-average", "db", "--export-frd", path("db.frd")})
            .status,
        0);
    // Powers 1 and 4 average to 2.5 (3.98 dB); 0 and 6.02 dB average to 3.01 dB.
    EXPECT_NEAR(levelNear(path("rms.frd"), 1000.0) + 20.0, 10.0 * std::log10(2.5), 1e-3);
    EXPECT_NEAR(levelNear(path("db.frd"), 1000.0) + 20.0, 3.0103, 1e-3);
    const Outcome levelled = run({"--combine", low, high, "--combine-align", "--combine-align-level",
                              "--json", "--export-frd", path("levelled.frd")});
    ASSERT_EQ(levelled.status, 0) << levelled.err;
    EXPECT_NEAR(levelled.json["combine"]["parts"][1]["levelDb"].get<double>(), 6.02, 0.01);
    EXPECT_NEAR(levelNear(path("levelled.frd"), 1000.0), -20.0, 1e-3);
}

TEST_F(CombineMeasure, AResponseAndItselfTenSamplesLaterVectorAverageToIt) {
    const std::string first = impulseFile("a.wav", 5);
    const std::string later = impulseFile("b.wav", 15);
    const Outcome combined =
        run({"--combine", first, later, "--combine-average", "vector", "--combine-align", "--json",
             "--views", "--export-wav", path("avg.wav")});
    ASSERT_EQ(combined.status, 0) << combined.err;
    EXPECT_NEAR(combined.json["combine"]["parts"][1]["delaySamples"].get<double>(), 10.0, 1e-3);
    EXPECT_EQ(combined.json["groupDelay"]["method"], "transferFunction");
    EXPECT_NEAR(combined.json["energyTime"]["peakSeconds"].get<double>() * kRate, 5.0, 1.0);
    WavSignal original, average;
    ASSERT_EQ(readWav(first, original), "");
    ASSERT_EQ(readWav(path("avg.wav"), average), "");
    ASSERT_EQ(average.samples.size(), original.samples.size());
    for (std::size_t n = 0; n < original.samples.size(); ++n)
        EXPECT_NEAR(average.samples[n], original.samples[n], 1e-4) << n;
}

TEST_F(CombineMeasure, AnFrdFilesDelayComesFromItsUnwrappedPhase) {
    const Outcome read = run({"--combine", textFile("delay.frd", 0.0, 24.0), "--views", "--json",
                          "--export-csv", path("views.csv")});
    ASSERT_EQ(read.status, 0) << read.err;
    const Json& delay = read.json["groupDelay"];
    EXPECT_EQ(delay["method"], "unwrappedPhase");
    EXPECT_TRUE(read.json["energyTime"].is_null());
    const auto hz = delay["frequencyHz"].get<std::vector<double>>();
    const auto seconds = delay["seconds"].get<std::vector<double>>();
    const auto excess = delay["excessSeconds"].get<std::vector<double>>();
    for (std::size_t i = 0; i < hz.size(); ++i) {
        if (hz[i] < 100.0 || hz[i] > 0.4 * kRate) continue;
        EXPECT_NEAR(seconds[i] * kRate, 24.0, 0.1) << hz[i];
        EXPECT_NEAR(excess[i] * kRate, 24.0, 0.1) << hz[i];  // a flat response: all of it excess
    }
    std::ifstream csv(path("views.csv"));
    std::string header;
    std::getline(csv, header);
    EXPECT_EQ(header,
              "frequency_hz,level_db,phase_deg,group_delay_s,minimum_phase_deg,"
              "excess_phase_deg,excess_group_delay_s");
}

TEST_F(CombineMeasure, FilesAndOptionsThatCannotBeCombinedEndTheRunBeforeAnythingIsWritten) {
    const std::string wav = impulseFile("a.wav", 0);
    const std::string other = impulseFile("b.wav", 0, 44100);
    const std::string frd = textFile("flat.frd", 0.0, 0.0);
    const std::string out = path("out.frd");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--combine", wav, path("missing.wav")}, "missing.wav"},
        {{"--combine", frd, path("missing.frd")}, "missing.frd"},
        {{"--combine", wav, other}, "44100 Hz"},
        {{"--combine", wav, frd, "--combine-average", "vector"}, "flat.frd"},
        {{"--combine", frd, "--etc-png", path("etc.png")}, "--etc-png"},
        {{"--combine", frd, "--export-wav", path("x.wav")}, "--export-wav"},
        {{"--combine", frd, "--passes", "3"}, "--passes"},
        {{"--combine", frd, "--combine-average", "mean"}, "rms, db or vector"},
        {{"--combine-align", "--passes", "1"}, "needs --combine"},
        {{"--combine", frd, "--combine-align-level"}, "--combine-align"},
    };
    for (auto [arguments, named] : refused) {
        arguments.insert(arguments.end(), {"--export-frd", out});
        const Outcome refusal = run(arguments);
        EXPECT_EQ(refusal.status, 2) << named;
        EXPECT_NE(refusal.err.find(named), std::string::npos) << refusal.err;
        EXPECT_FALSE(fs::exists(out)) << named;
    }
}

}  // namespace
}  // namespace ressona
