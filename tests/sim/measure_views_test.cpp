// The phase and time views of a measurement: of the transfer function after
// passes on the simulated card, and of a curve read with --passes 0, whose
// answers are known (a wire, the first-order low-pass, a pure delay).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <complex>
#include <filesystem>
#include <functional>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>

#include "measure/measure_backends.h"
#include "measure/measurement_run.h"

namespace ressona {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr double kRate = 48000.0;

struct Measured {
    int status = -1;
    std::string err;
    Json json;
};

Measured measure(std::vector<std::string> arguments) {
    for (const char* more : {"--json", "--rate", "48000", "--length", "4096"})
        arguments.push_back(more);
    std::ostringstream out, err;
    Measured run;
    run.status = measureMain(arguments, simulatedMeasureBackends(), out, err);
    run.err = err.str();
    run.json = Json::parse(out.str(), nullptr, false);
    return run;
}

// The largest |field[i] - expected(f_i)| from 100 Hz to 0.4 x the rate over a view's axis.
double worstInBand(const Json& view, const char* field,
                   const std::function<double(double)>& expected) {
    double worst = 0.0;
    for (std::size_t i = 0; i < view["frequencyHz"].size(); ++i) {
        const double hz = view["frequencyHz"][i].get<double>();
        if (hz < 100.0 || hz > 0.4 * kRate) continue;
        if (view[field][i].is_null()) return INFINITY;
        worst = std::max(worst, std::fabs(view[field][i].get<double>() - expected(hz)));
    }
    return worst;
}

// The phase of sim:filter's low-pass, h(n) = (1 - a) a^n with a = e^(-2 pi 1000 / rate).
double lowPassPhaseDeg(double hz) {
    const double a = std::exp(-2.0 * std::numbers::pi * 1000.0 / kRate);
    const std::complex<double> h =
        (1.0 - a) / (1.0 - a * std::polar(1.0, -2.0 * std::numbers::pi * hz / kRate));
    return std::arg(h) * 180.0 / std::numbers::pi;
}

const auto zero = [](double) { return 0.0; };

TEST(MeasureViews, AWiresGroupDelayIsNoneAndItsEnergyPeaksAtTimeZero) {
    const fs::path csv = fs::temp_directory_path() /
                         ("ressona-views-" + std::to_string(std::random_device{}()) + ".csv");
    const Measured run = measure({"--device", "sim:loopback", "--instant", "--excitation", "mls",
                             "--views", "--export-csv", csv.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["groupDelay"]["method"], "transferFunction");
    EXPECT_LT(worstInBand(run.json["groupDelay"], "seconds", zero) * kRate, 0.01);
    EXPECT_LT(worstInBand(run.json["excessPhase"], "degrees", zero), 0.01);
    EXPECT_EQ(run.json["energyTime"]["peakSeconds"].get<double>(), 0.0);
    std::ifstream file(csv);
    std::string header;
    std::getline(file, header);
    EXPECT_EQ(header, "frequency_hz,level_db,phase_deg,group_delay_s,minimum_phase_deg,"
                      "excess_phase_deg,excess_group_delay_s");
    fs::remove(csv);
}

TEST(MeasureViews, TheLowPassIsMinimumPhaseByMlsAndByPulse) {
    for (const char* excitation : {"mls", "pulse"}) {
        SCOPED_TRACE(excitation);
        const Measured run = measure(
            {"--device", "sim:filter", "--instant", "--excitation", excitation, "--views"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_LT(worstInBand(run.json["minimumPhase"], "degrees", lowPassPhaseDeg), 1.0);
        EXPECT_LT(worstInBand(run.json["excessPhase"], "degrees", zero), 1.0);
    }
}

class ReadViews : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("ressona-read-views-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // A flat response with the phase of a delay of `delay` samples, or with none.
    std::string delayFile(double delay, bool withPhase) const {
        const std::string path = (folder_ / (withPhase ? "delay.frd" : "level.frd")).string();
        std::ofstream file(path);
        file.precision(12);
        for (int k = 1; k <= 4096; ++k) {
            const double hz = k * 24000.0 / 4096;
            file << hz << " 0";
            if (withPhase) file << ' ' << std::remainder(-360.0 * hz * delay / kRate, 360.0);
            file << '\n';
        }
        return path;
    }

    fs::path folder_;
};

TEST_F(ReadViews, ADelayReadFromAFileKeepsItsGroupDelayAndHasNoEnergyTime) {
    const Measured run = measure({"--passes", "0", "--read", delayFile(12.0, true), "--views"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["groupDelay"]["method"], "unwrappedPhase");
    EXPECT_LT(worstInBand(run.json["groupDelay"], "seconds",
                          [](double) { return 12.0 / kRate; }) * kRate,
              0.1);
    EXPECT_TRUE(run.json["energyTime"].is_null());

    // Without a phase the file says nothing of its delay: no group delay, not 0.
    const Measured level = measure({"--passes", "0", "--read", delayFile(0.0, false), "--views"});
    ASSERT_EQ(level.status, 0) << level.err;
    EXPECT_TRUE(level.json["groupDelay"]["seconds"][10].is_null());
    EXPECT_TRUE(level.json["minimumPhase"]["degrees"][10].is_number());
}

TEST_F(ReadViews, ViewsThatCannotBeFormedAreRefusedBeforeAnythingIsWritten) {
    const std::string picture = (folder_ / "etc.png").string();
    const Measured fromFile = measure({"--passes", "0", "--read", delayFile(3.0, true), "--etc-png", picture});
    EXPECT_EQ(fromFile.status, 2);
    EXPECT_NE(fromFile.err.find("--etc-png needs an impulse response"), std::string::npos) << fromFile.err;
    const Measured silence =
        measure({"--device", "sim:loopback", "--instant", "--excitation", "silence", "--views"});
    EXPECT_EQ(silence.status, 2);
    EXPECT_FALSE(fs::exists(picture));
}

}  // namespace
}  // namespace ressona
