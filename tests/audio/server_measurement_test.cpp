// The whole program measuring the test servers' loopbacks as a user would:
// full levels on the bars, no record delay, Start, three passes. A loopback
// is flat, so the analysed response must be flat and start at the
// excitation: that holds only when each pass's latency says where the
// excitation landed, the first pass after Start included.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <tuple>

#include "audio_server.h"
#include "control/program.h"
#include "platform/alsa/alsa_sound_card.h"
#include "platform/canvas/recording_canvas.h"
#include "platform/dialog/error_dialog_service.h"
#include "resources/control_ids.h"
#include "state/scroll_info.h"

namespace ressona {
namespace {

using testing::SoundServer;

struct Case {
    SoundServer server;
    std::uint32_t rate;
    std::int32_t excitation;
};

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return std::string(testing::serverName(info.param.server)) + "_" +
           std::to_string(info.param.rate) +
           (info.param.excitation == ids::kMls ? "_Mls" : "_Pulse");
}

int rateButton(std::uint32_t rate) {
    return rate == 48000 ? ids::kRate48000 : ids::kRate22050;
}

// The program on a server's loopback, with recording windows and dialogs.
struct ServerProgram {
    explicit ServerProgram(const std::string& pcm) {
        EXPECT_EQ(makeSoundCard("alsa:" + pcm, {}, card), kSoundCardMade);
        services = std::make_unique<ProgramServices>(ProgramServices{*card.wave,
                                                                     *card.mixer,
                                                                     *card.clock,
                                                                     dialogs,
                                                                     timeSurface,
                                                                     freqSurface,
                                                                     1024,
                                                                     768,
                                                                     {},
                                                                     {}});
        program = std::make_unique<Program>(*services);
    }
    // Handles queued messages until `captures` more completions have been
    // handled; with `stop`, pressing Stop as the last comes up (as the measurer does).
    int runCaptures(int captures, bool stop) {
        MessageQueue& queue = program->queue();
        Message message;
        int handled = 0;
        while (handled < captures && queue.PeekMessageA(message, kNoWindow, PM_NOREMOVE)) {
            const bool done = message.window == program->panelWindow() &&
                              message.message == WM_COMMAND &&
                              commandId(message.wParam) == CMD_CAPTURE_DONE;
            if (stop && done && handled + 1 == captures) program->click(ids::kStop);
            queue.PeekMessageA(message, kNoWindow, PM_REMOVE);
            queue.DispatchMessageA(message);
            if (done) ++handled;
        }
        if (stop) program->pumpMessages();
        return handled;
    }

    SoundCard card;
    RecordingDialogService dialogs;
    RecordingSurface timeSurface{955, 256};
    RecordingSurface freqSurface{955, 256};
    std::unique_ptr<ProgramServices> services;
    std::unique_ptr<Program> program;
};

// The spread in dB of the magnitude over positions 2..M.
double spreadDb(const SampleArrays& arrays) {
    const auto& magnitude = arrays.magnitudeSpectrum;
    float low = 1e30f, high = 0.0f;
    for (std::size_t k = 2; k <= magnitude.size(); ++k) {
        low = std::min(low, magnitude[k]);
        high = std::max(high, magnitude[k]);
    }
    return low > 0.0f ? 20.0 * std::log10(double(high) / double(low)) : 999.0;
}

// Where the analysed stretch starts against where the excitation starts, in
// samples: 0 when the latency was exact. From the analysis of the last
// capture: the impulse response's peak (MLS: at position 1 when exact) or
// the pulse in the analysed time trace (where it was played when exact).
long misalignment(Program& program, std::int32_t excitation) {
    const MeasurementState& state = program.state();
    const SampleArrays& arrays = program.arrays();
    const long n = static_cast<long>(state.sampleLength);
    const auto peakOf = [](const auto& values) {
        std::size_t peak = 1;
        for (std::size_t i = 2; i <= values.size(); ++i)
            if (std::abs(values[i]) > std::abs(values[peak])) peak = i;
        return static_cast<long>(peak) - 1;
    };
    long offset = 0;
    if (excitation == ids::kMls) {
        offset = peakOf(arrays.impulseResponse);
    } else {
        const auto& play = state.device.playBuffer;
        const long played = std::find_if(play.begin(), play.begin() + 2 * n,
                                         [](std::uint8_t c) { return c != 128; }) -
                            play.begin();
        offset = peakOf(arrays.timeTrace) - played;
    }
    return offset > n / 2 ? offset - n : offset;
}

class ServerMeasurement : public ::testing::TestWithParam<Case> {};

TEST_P(ServerMeasurement, FlatFromTheFirstPassWithNoRecordDelay) {
    const Case c = GetParam();
    RESSONA_NEED_SOUND_SERVER(c.server);
    ServerProgram sim(testing::loopbackPcm(c.server, c.rate));
    ASSERT_TRUE(sim.program->start());
    Program& program = *sim.program;
    program.click(rateButton(c.rate));
    program.click(ids::kLength64 + 6);  // 4096
    program.click(c.excitation);
    // Both level bars dragged to the top: full level.
    program.scroll(ids::kSpeakerBar, SB_THUMBTRACK, 0);
    program.scroll(ids::kMicBar, SB_THUMBTRACK, 0);
    program.pumpMessages();
    ASSERT_EQ(program.state().sampleLength, 4096u);
    ASSERT_EQ(program.state().recordDelaySamples, 0);

    program.click(ids::kStart);
    ASSERT_EQ(sim.runCaptures(1, false), 1)
        << "the first pass: code " << program.state().lastWaveError;
    EXPECT_NEAR(misalignment(program, c.excitation), 0, 2) << "first pass";
    const double firstSpread = spreadDb(program.arrays());
    ASSERT_EQ(sim.runCaptures(2, true), 2)
        << "dialogs " << sim.dialogs.shown.size() << ", code " << program.state().lastWaveError;
    EXPECT_TRUE(sim.dialogs.shown.empty());
    EXPECT_NEAR(misalignment(program, c.excitation), 0, 2);
    const double spread = spreadDb(program.arrays());
    EXPECT_LT(firstSpread, 0.05);
    EXPECT_LT(spread, 0.05);
    std::printf("[ figures  ] %s %u Hz %s: latency %d, spread %.4f dB (first pass %.4f dB)\n",
                testing::serverName(c.server), c.rate, c.excitation == ids::kMls ? "MLS" : "pulse",
                program.state().latencySamples, spread, firstSpread);
    program.click(ids::kExit);
    program.pumpMessages();
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerMeasurement,
                         ::testing::Values(Case{SoundServer::kPulseAudio, 22050, ids::kPulse},
                                           Case{SoundServer::kPulseAudio, 22050, ids::kMls},
                                           Case{SoundServer::kPulseAudio, 48000, ids::kPulse},
                                           Case{SoundServer::kPulseAudio, 48000, ids::kMls},
                                           Case{SoundServer::kPipeWire, 22050, ids::kPulse},
                                           Case{SoundServer::kPipeWire, 22050, ids::kMls},
                                           Case{SoundServer::kPipeWire, 48000, ids::kPulse},
                                           Case{SoundServer::kPipeWire, 48000, ids::kMls}),
                         caseName);

}  // namespace
}  // namespace ressona
