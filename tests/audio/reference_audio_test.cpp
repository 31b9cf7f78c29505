// The loopback timing reference through both private servers: their
// two-channel loops send the left channel through a +6 dB peaking section at
// 1 kHz (PipeWire's builtin, PulseAudio's LADSPA plugin from tests/tools) and
// the right one back without it (PulseAudio's straight, PipeWire's with both
// through a 20 kHz low-pass, as a card's converters band-limit a cable
// loop); --reference right must give the section's response, run after run,
// whatever latency the server puts the passes at.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

#include "audio/audio_server.h"
#include "common/frd_error.h"
#include "eq/biquad.h"
#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "platform/alsa/alsa_sound_card.h"

namespace ressona {
namespace {

namespace fs = std::filesystem;
using testing::SoundServer;

constexpr double kRate = 48000.0;
constexpr int kRuns = 5;

// The loops' peaking section, as the audio EQ cookbook gives it.
std::complex<double> sectionAt(double hz) {
    const BiquadCoefficients c = biquadCoefficients({FilterKind::Peaking, 1000.0, 6.0, 1.0}, kRate);
    const std::complex<double> z = std::polar(1.0, -2.0 * std::numbers::pi * hz / kRate);
    return (c.b0 + c.b1 * z + c.b2 * z * z) / (1.0 + c.a1 * z + c.a2 * z * z);
}

using Worst = testing::FrdError;

class ReferenceAudio : public ::testing::TestWithParam<SoundServer> {};

TEST_P(ReferenceAudio, TheReferenceGivesTheFiltersResponse) {
    const SoundServer server = GetParam();
    RESSONA_NEED_SOUND_SERVER(server);
    MeasureBackends alsa = simulatedMeasureBackends();
    alsa.makeCard = [](std::string_view name, const SoundCardOptions& options, SoundCard& card) {
        return makeSoundCard(name, options, card);
    };
    const std::string device =
        server == SoundServer::kPulseAudio ? "alsa:ressona_reference" : "alsa:ressona_pw_reference";
    const std::string frd = ::testing::TempDir() + "ressona-reference-audio.frd";
    for (const char* excitation : {"mls", "pulse", "logsweep"}) {
        std::vector<std::string> arguments{
            "--device",        device,  "--reference", "right", "--excitation", excitation,
            "--rate",          "48000", "--length",    "4096",  "--passes",     "1",
            "--speaker-level", "100",   "--mic-level", "100",   "--export-frd", frd};
        // The section lifts the sweep by 6 dB: it is played 12 dB down, clear of full scale.
        if (std::string(excitation) == "logsweep")
            arguments.insert(arguments.end(), {"--sweep-samples", "32768", "--sweep-level", "-12"});
        Worst worst;
        for (int run = 0; run < kRuns; ++run) {
            fs::remove(frd);
            std::ostringstream out, err;
            const int status = measureMain(arguments, alsa, out, err);
            ASSERT_EQ(status, kMeasureDone) << excitation << " run " << run << ": " << err.str();
            const Worst one = testing::frdErrorAgainst(frd, 0.4 * kRate, sectionAt);
            worst.levelDb = std::max(worst.levelDb, one.levelDb);
            worst.phaseDeg = std::max(worst.phaseDeg, one.phaseDeg);
        }
        EXPECT_LT(worst.levelDb, 0.05) << excitation;
        EXPECT_LT(worst.phaseDeg, 1.0) << excitation;
        std::printf(
            "[ figures  ] %s reference loop, %s: %d of %d runs within %.4f dB and %.3f "
            "degrees of the section from 50 Hz to 0.4 x rate\n",
            testing::serverName(server), excitation, kRuns, kRuns, worst.levelDb, worst.phaseDeg);
    }
    fs::remove(frd);
}

INSTANTIATE_TEST_SUITE_P(BothServers, ReferenceAudio,
                         ::testing::Values(SoundServer::kPulseAudio, SoundServer::kPipeWire),
                         [](const ::testing::TestParamInfo<SoundServer>& info) {
                             return std::string(testing::serverName(info.param));
                         });

}  // namespace
}  // namespace ressona
