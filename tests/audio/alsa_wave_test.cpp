// Passes through ALSA into the test server's null sinks and back from their
// monitors: what is played must come back bit-exact, wherever it lands.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "audio/wave_devices.h"
#include "audio/wave_pass.h"
#include "audio_server.h"
#include "common/pass_rig.h"
#include "platform/alsa/alsa_sound_card.h"
#include "platform/clock/clock.h"

namespace ressona {
namespace {

using testing::PassRig;

struct PassOutcome {
    int result = -1;
    double seconds = 0;
};

PassOutcome openAndRun(PassRig& rig, WaveService& wave, Clock& clock) {
    EXPECT_EQ(openPlayDevice(rig.state, rig.devices, wave), 0);
    EXPECT_EQ(openRecordDevice(rig.state, rig.devices, wave), 0);
    const auto start = std::chrono::steady_clock::now();
    PassOutcome outcome;
    outcome.result = runPass(rig.state, rig.devices, wave, clock, rig.poster);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}

// The index of the one sample that is not silent, or -1 when there is not exactly one.
long onlyNonSilent(std::span<const std::int16_t> samples) {
    long found = -1;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] == 0) continue;
        if (found >= 0) return -1;
        found = static_cast<long>(i);
    }
    return found;
}

class AlsaPulsePass : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(AlsaPulsePass, PulseComesBackBitExact) {
    RESSONA_NEED_AUDIO_SERVER();
    const std::uint32_t rate = GetParam();
    auto wave = makeAlsaWaveService("ressona_r" + std::to_string(rate));
    SystemClock clock;
    PassRig rig(rate, 2048);
    for (int pass = 0; pass < 3; ++pass) {
        rig.writePulse(10);
        std::fill(rig.state.device.recordBuffer.begin(), rig.state.device.recordBuffer.end(), 1);
        const PassOutcome outcome = pass == 0 ? openAndRun(rig, *wave, clock)
                                              : PassOutcome{runPass(rig.state, rig.devices, *wave,
                                                                    clock, rig.poster)};
        ASSERT_EQ(outcome.result, kPassDone);
        const long at = onlyNonSilent(rig.recording());
        ASSERT_GE(at, 0) << "pass " << pass;
        EXPECT_EQ(rig.recording()[static_cast<std::size_t>(at)], -17408);
        std::printf("rate %u pass %d: pulse at %ld, latency %d samples\n", rate, pass, at,
                    rig.state.latencySamples);
    }
    EXPECT_EQ(rig.capturesPosted(), 3u);
    closePlayDevice(rig.state, rig.devices, *wave);
    closeRecordDevice(rig.state, rig.devices, *wave);
}

INSTANTIATE_TEST_SUITE_P(Rates, AlsaPulsePass, ::testing::Values(22050u, 48000u));

}  // namespace
}  // namespace ressona
