// ressona-measure's level options on the test servers' loopbacks: at the
// panel's half-way bars a server's cubic volumes take 36 dB off, the MLS
// response peaks near 135 counts and the measurer warns of a coarse result;
// with both bars at the top the response peaks above 1000 counts and it
// does not.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

#include "audio_server.h"
#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "platform/alsa/alsa_sound_card.h"

namespace ressona {
namespace {

using testing::SoundServer;

MeasureBackends alsaBackends() {
    MeasureBackends backends = simulatedMeasureBackends();
    backends.makeCard = [](std::string_view name, const SoundCardOptions& options,
                           SoundCard& card) { return makeSoundCard(name, options, card); };
    return backends;
}

struct LevelRun {
    int status = -1;
    nlohmann::json json;
    std::string err;
};

LevelRun measureAt(SoundServer server, std::vector<std::string> levels) {
    std::vector<std::string> arguments = {
        "--device",     "alsa:" + testing::loopbackPcm(server, 48000),
        "--rate",       "48000",
        "--length",     "4096",
        "--excitation", "mls",
        "--passes",     "2",
        "--json"};
    arguments.insert(arguments.end(), levels.begin(), levels.end());
    std::ostringstream out;
    std::ostringstream err;
    LevelRun run;
    run.status = measureMain(arguments, alsaBackends(), out, err);
    run.json = nlohmann::json::parse(out.str(), nullptr, false);
    run.err = err.str();
    return run;
}

// The run's warnings but those of passes a server spoilt and that were
// played again (counted in passesReplayed; the pass check's own tests
// cover them).
std::vector<std::string> levelWarnings(const nlohmann::json& json) {
    std::vector<std::string> warnings;
    for (const auto& warning : json["warnings"]) {
        std::string text = warning.get<std::string>();
        if (text.find("was played again") == std::string::npos) warnings.push_back(text);
    }
    return warnings;
}

class MeasureLevels : public ::testing::TestWithParam<SoundServer> {};

TEST_P(MeasureLevels, FullBarsGiveAFineResponseAndTheHalfWayBarsAWarning) {
    const SoundServer server = GetParam();
    RESSONA_NEED_SOUND_SERVER(server);

    const LevelRun half = measureAt(server, {});
    ASSERT_EQ(half.status, kMeasureDone) << half.err;
    ASSERT_FALSE(half.json.is_discarded());
    ASSERT_EQ(half.json["captures"].size(), 2u);
    const int halfPeak = half.json["captures"][1]["impulsePeakCounts"].get<int>();
    EXPECT_LT(halfPeak, 256);
    const std::vector<std::string> halfWarnings = levelWarnings(half.json);
    ASSERT_EQ(halfWarnings.size(), 1u) << half.err;
    const std::string warning = halfWarnings[0];
    EXPECT_NE(warning.find("coarse"), std::string::npos) << warning;
    EXPECT_NE(warning.find("--speaker-level"), std::string::npos) << warning;
    EXPECT_NE(half.err.find(warning), std::string::npos) << "the warning is printed on stderr";

    const LevelRun full = measureAt(server, {"--speaker-level", "100", "--mic-level", "100"});
    ASSERT_EQ(full.status, kMeasureDone) << full.err;
    ASSERT_FALSE(full.json.is_discarded());
    for (const auto& capture : full.json["captures"]) {
        EXPECT_GT(capture["impulsePeakCounts"].get<int>(), 1000) << capture;
        EXPECT_EQ(capture["clippedSamples"].get<int>(), 0) << capture;
    }
    EXPECT_TRUE(levelWarnings(full.json).empty()) << full.err;
    EXPECT_EQ(full.json["settings"]["speakerLevel"], 100);
    // The device threads asked for realtime scheduling; what they got is said.
    const nlohmann::json& thread = full.json["device"]["thread"];
    ASSERT_TRUE(thread.is_object()) << full.json["device"];
    if (thread["realtime"].get<bool>()) {
        EXPECT_EQ(thread["policy"], "SCHED_FIFO");
        EXPECT_GE(thread["priority"].get<int>(), 1);
    } else {
        EXPECT_FALSE(thread["reason"].get<std::string>().empty());
    }
    std::printf(
        "[ figures  ] %s levels: MLS response peak %d counts at the half-way bars, %d at "
        "--speaker-level 100 --mic-level 100\n",
        testing::serverName(server), halfPeak,
        full.json["captures"][1]["impulsePeakCounts"].get<int>());
}

INSTANTIATE_TEST_SUITE_P(Servers, MeasureLevels,
                         ::testing::Values(SoundServer::kPulseAudio, SoundServer::kPipeWire),
                         [](const ::testing::TestParamInfo<SoundServer>& info) {
                             return std::string(testing::serverName(info.param));
                         });

}  // namespace
}  // namespace ressona
