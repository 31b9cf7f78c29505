// The measured transfer function through the whole measurer: every
// excitation gives a wire the same answer (0 dB, 0 degrees, a unit impulse at
// time zero) in its FRD and WAV exports, whatever the rate or the record delay.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <complex>
#include <numbers>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "exchange/response_text.h"
#include "exchange/wav_file.h"
#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "platform/sim/acoustic_presets.h"

namespace ressona {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Measurement {
    int status = -1;
    std::string err;
    Json json;
};

Measurement measure(std::vector<std::string> arguments) {
    for (const char* more : {"--instant", "--json"}) arguments.push_back(more);
    std::ostringstream out;
    std::ostringstream err;
    Measurement run;
    run.status = measureMain(arguments, simulatedMeasureBackends(), out, err);
    run.err = err.str();
    run.json = Json::parse(out.str(), nullptr, false);
    return run;
}

class TransferMeasure : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("ressona-transfer-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    fs::path folder_;
};

// The worst level and phase of FRD rows from 50 Hz to 0.4 x rate.
struct Worst {
    double levelDb = 0.0;
    double phaseDeg = 0.0;
};

Worst worstInBand(const std::string& frd, double rate) {
    std::ifstream in(frd);
    std::stringstream text;
    text << in.rdbuf();
    ResponseText rows;
    EXPECT_EQ(parseResponseText(text.str(), rows), "");
    Worst worst;
    for (std::size_t i = 0; i < rows.frequencyHz.size(); ++i) {
        if (rows.frequencyHz[i] < 50.0 || rows.frequencyHz[i] > 0.4 * rate) continue;
        worst.levelDb = std::max(worst.levelDb, std::fabs(rows.levelDb[i]));
        worst.phaseDeg = std::max(worst.phaseDeg, std::fabs(rows.phaseDeg[i]));
    }
    return worst;
}

TEST_F(TransferMeasure, EveryExcitationGivesTheWireTheSameAnswer) {
    for (const char* rate : {"48000", "22050"}) {
        for (const char* excitation : {"pulse", "mls", "logsweep"}) {
            const std::string name = std::string(excitation) + rate;
            const Measurement run = measure({"--device", "sim:loopback", "--excitation", excitation,
                                     "--rate", rate, "--length", "4096", "--passes", "2",
                                     "--export-frd", path(name + ".frd"), "--export-wav",
                                     path(name + ".wav")});
            ASSERT_EQ(run.status, kMeasureDone) << name << run.err;
            const Worst worst = worstInBand(path(name + ".frd"), std::stod(rate));
            // Within half the tolerance each, so any two are within the whole of it.
            EXPECT_LT(worst.levelDb, 0.025) << name;
            EXPECT_LT(worst.phaseDeg, 0.5) << name;
            WavSignal wav;
            ASSERT_EQ(readWav(path(name + ".wav"), wav), "") << name;
            const auto peak = std::max_element(wav.samples.begin(), wav.samples.end(),
                                               [](float a, float b) { return std::fabs(a) < std::fabs(b); });
            EXPECT_EQ(peak - wav.samples.begin(), 0) << name << ": at time zero";
            EXPECT_NEAR(*peak, 1.0, 1e-3) << name;
            const Json& transfer = run.json["transferFunction"];
            EXPECT_EQ(transfer["timeZeroSample"], 32) << name << ": the card's latency";
            std::printf("[ figures  ] %s on the wire: within %.4f dB and %.4f degrees, peak %.5f\n",
                        name.c_str(), worst.levelDb, worst.phaseDeg, *peak);
        }
    }
}

TEST_F(TransferMeasure, TheRecordDelayMovesTheWindowButNotTimeZero) {
    for (const char* excitation : {"pulse", "mls"}) {
        for (const char* delay : {"-10", "5", "300"}) {
            if (std::string(excitation) == "pulse" && std::string(delay) == "300") continue;
            const Measurement run = measure({"--device", "sim:loopback", "--excitation", excitation,
                                     "--rate", "48000", "--length", "1024", "--passes", "1",
                                     "--delay", delay, "--export-wav", path("d.wav")});
            ASSERT_EQ(run.status, kMeasureDone) << excitation << delay << run.err;
            WavSignal wav;
            ASSERT_EQ(readWav(path("d.wav"), wav), "");
            for (std::size_t i = 0; i < wav.samples.size(); ++i)
                ASSERT_NEAR(wav.samples[i], i == 0 ? 1.0 : 0.0, 1e-4) << excitation << delay << i;
        }
    }
    // A pulse the window starts after has nothing in it to divide by.
    const Measurement late = measure({"--device", "sim:loopback", "--excitation", "pulse", "--rate",
                              "48000", "--length", "1024", "--passes", "1", "--delay", "300",
                              "--export-frd", path("never.frd")});
    EXPECT_EQ(late.status, kMeasureFailed);
    EXPECT_NE(late.err.find("no transfer function"), std::string::npos) << late.err;
    EXPECT_TRUE(late.json["transferFunction"].is_null());
    EXPECT_FALSE(fs::exists(path("never.frd")));
}

// Power-averaged level in dB over the third of an octave around `centre`.
double thirdOctaveDb(const Json& transfer, double centre) {
    const auto frequency = transfer["frequencyHz"].get<std::vector<double>>();
    const auto level = transfer["levelDb"].get<std::vector<double>>();
    double sum = 0.0;
    int count = 0;
    for (std::size_t i = 0; i < frequency.size(); ++i) {
        if (frequency[i] < centre * std::pow(2.0, -1.0 / 6) ||
            frequency[i] > centre * std::pow(2.0, 1.0 / 6))
            continue;
        sum += std::pow(10.0, level[i] / 10.0);
        ++count;
    }
    return 10.0 * std::log10(sum / count);
}

TEST_F(TransferMeasure, ASystemWithMemoryMeasuredByMlsIsItsExactResponse) {
    // The first-order 1 kHz low-pass at full levels, with and without a record
    // delay that starts the window before the excitation.
    const double rate = 48000.0;
    const double a = std::exp(-2.0 * std::numbers::pi * lowPassCornerHz() / rate);
    for (const char* delay : {"0", "-10"}) {
        const Measurement run = measure({"--device", "sim:filter", "--excitation", "mls", "--rate",
                                         "48000", "--length", "4096", "--passes", "1", "--delay",
                                         delay, "--speaker-level", "100", "--mic-level", "100",
                                         "--arrays"});
        ASSERT_EQ(run.status, kMeasureDone) << run.err;
        const Json& transfer = run.json["transferFunction"];
        const auto frequency = transfer["frequencyHz"].get<std::vector<double>>();
        const auto level = transfer["levelDb"].get<std::vector<double>>();
        const auto phase = transfer["phaseDeg"].get<std::vector<double>>();
        Worst worst;
        for (std::size_t i = 0; i < frequency.size(); ++i) {
            if (frequency[i] > 0.4 * rate) continue;
            const std::complex<double> exact =
                (1.0 - a) / (1.0 - a * std::polar(1.0, -2.0 * std::numbers::pi * frequency[i] / rate));
            worst.levelDb = std::max(worst.levelDb, std::fabs(level[i] - 20.0 * std::log10(std::abs(exact))));
            worst.phaseDeg = std::max(
                worst.phaseDeg,
                std::fabs(std::remainder(phase[i] - std::arg(exact) * 180.0 / std::numbers::pi, 360.0)));
        }
        EXPECT_LT(worst.levelDb, 0.02) << delay;
        EXPECT_LT(worst.phaseDeg, 0.2) << delay;
        std::printf("[ figures  ] MLS of the 1 kHz low-pass, delay %s: within %.4f dB and %.3f "
                    "degrees of its exact response up to 0.4 x rate\n",
                    delay, worst.levelDb, worst.phaseDeg);
    }
    // The panel's own response is steady too: the loopback with the window
    // started 10 samples early is flat.
    const Measurement early = measure({"--device", "sim:loopback", "--excitation", "mls", "--rate",
                                       "48000", "--length", "4096", "--passes", "1", "--delay",
                                       "-10", "--arrays"});
    ASSERT_EQ(early.status, kMeasureDone) << early.err;
    const auto magnitude = early.json["magnitudeSpectrum"].get<std::vector<double>>();
    const auto [low, high] = std::minmax_element(magnitude.begin() + 1, magnitude.end());
    EXPECT_LT(20.0 * std::log10(*high / *low), 0.05);
}

TEST_F(TransferMeasure, TheRoomByMlsAndByLogsweepAgree) {
    Json transfers[2];
    const char* excitations[] = {"mls", "logsweep"};
    for (int i = 0; i < 2; ++i) {
        const Measurement run = measure({"--device", "sim:room", "--excitation", excitations[i],
                                         "--rate", "48000", "--length", "16384", "--passes", "1",
                                         "--arrays"});
        ASSERT_EQ(run.status, kMeasureDone) << run.err;
        transfers[i] = run.json["transferFunction"];
    }
    double worst = 0.0;
    for (double centre = 100.0; centre < 0.4 * 48000.0; centre *= std::pow(2.0, 1.0 / 3)) {
        worst = std::max(worst, std::fabs(thirdOctaveDb(transfers[0], centre) -
                                          thirdOctaveDb(transfers[1], centre)));
    }
    EXPECT_LT(worst, 0.2);
    std::printf("[ figures  ] sim:room, MLS of 16384 against the logsweep: third-octave levels "
                "within %.3f dB from 100 Hz\n", worst);
}

}  // namespace
}  // namespace ressona
