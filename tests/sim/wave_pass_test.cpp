// The wave pass and the device opens on the simulated card, timed on a
// manual clock so that every completion time is exact.

#include "audio/wave_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "audio/wave_devices.h"
#include "common/pass_rig.h"
#include "control/error_dialogs.h"
#include "platform/dialog/error_dialog_service.h"
#include "platform/sim/simulated_card.h"

namespace ressona {
namespace {

using testing::PassRig;

// The loopback with the output taking `delay` and a half samples to start
// (and reporting its buffer done well before the input): the excitation lands
// at `delay`, and so does the estimate.
SimulatedCardConfig loopback(std::int32_t delay = 32) {
    SimulatedCardConfig config;
    config.preset = SimPreset::kLoopback;
    config.outputStartSamples = delay + 0.5;
    config.outputFifoSamples = delay + 64.0;
    return config;
}

// A manual clock that also counts its pauses (a wait must not spin).
class CountingClock final : public Clock {
  public:
    std::int64_t performanceFrequency() const override { return inner.performanceFrequency(); }
    std::int64_t performanceCounter() override { return inner.performanceCounter(); }
    TimeOfDay timeOfDay() const override { return inner.timeOfDay(); }
    void pause(std::chrono::microseconds duration) override {
        ++pauses;
        inner.pause(duration);
    }
    ManualClock inner;
    long pauses = 0;
};

struct Bench {
    explicit Bench(SimulatedCardConfig config, std::uint32_t rate = 22050,
                   std::uint32_t length = 2048)
        : card(config, time), rig(rate, length) {}

    void open() {
        ASSERT_EQ(openPlayDevice(rig.state, rig.devices, card), 0);
        ASSERT_EQ(openRecordDevice(rig.state, rig.devices, card), 0);
    }
    int pass() { return runPass(rig.state, rig.devices, card, card.clock(), rig.poster); }

    CountingClock time;
    SimulatedCard card;
    PassRig rig;
};

TEST(WavePass, PulseLandsAtThePathDelayAndTheEstimateFindsIt) {
    for (const std::uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u}) {
        for (const std::int32_t delay : {0, 32, 301}) {
            Bench bench(loopback(delay), rate, 1024);
            bench.open();
            bench.rig.writePulse(10);
            ASSERT_EQ(bench.pass(), kPassDone);
            const auto recording = bench.rig.recording();
            const auto nonSilent = std::count_if(recording.begin(), recording.end(),
                                                 [](std::int16_t s) { return s != 0; });
            EXPECT_EQ(nonSilent, 1);
            EXPECT_EQ(recording[10 + delay], -17408) << rate << " Hz, delay " << delay;
            // The trigger the analysis uses is where the excitation starts.
            EXPECT_EQ(bench.rig.state.latencySamples, delay) << rate << " Hz";
            EXPECT_EQ(bench.rig.capturesPosted(), 1u);
            EXPECT_EQ(bench.rig.state.device.recordHeader.dwBytesRecorded,
                      bench.rig.state.device.recordBytes);
        }
    }
}

// The estimate comes from the devices' positions, not from when their
// buffers happen to be reported done: whatever the hand-overs, it is where
// the excitation starts.
TEST(WavePass, LatencyIsWhereTheExcitationLandsWhateverTheCompletionTimes) {
    struct Case {
        double outputStart;
        double outputFifo;
        double inputHandOver;
    };
    for (const Case c : {
             Case{32.5, 64.0, 16.0},    // the default card
             Case{0.0, 0.0, 0.0},       // both take equally long
             Case{32.5, 10.25, 0.0},    // output done after the input
             Case{200.5, 64.0, 16.25},  // a slow start, longer than both hand-overs
             Case{0.5, -20.25, 0.0},    // output done after it sounded
             Case{1500.5, 0.0, 900.0},  // the input done long after its last sample
         }) {
        SimulatedCardConfig config;
        config.preset = SimPreset::kLoopback;
        config.outputStartSamples = c.outputStart;
        config.outputFifoSamples = c.outputFifo;
        config.inputHandOverSamples = c.inputHandOver;
        Bench bench(config);
        bench.open();
        for (int pass = 0; pass < 3; ++pass) {
            bench.rig.writePulse();
            std::fill(bench.rig.state.device.recordBuffer.begin(),
                      bench.rig.state.device.recordBuffer.end(), 0);
            ASSERT_EQ(bench.pass(), kPassDone);
            const auto recording = bench.rig.recording();
            const auto pulse = std::find(recording.begin(), recording.end(), -17408);
            ASSERT_NE(pulse, recording.end()) << c.outputStart << " pass " << pass;
            EXPECT_EQ(bench.rig.state.latencySamples, pulse - recording.begin() - 10)
                << c.outputStart << " " << c.outputFifo << " pass " << pass;
        }
    }
}

// A server whose input moves in whole cycles: the pass waits for the first
// cycle to arrive (before it, position 0 says nothing about where the
// playback will land), and the input's count at the write is the latency.
TEST(WavePass, ASteppedInputIsAwaitedAndItsCountAtTheWriteIsTheLatency) {
    for (const std::int64_t cycle : {256, 1024}) {
        SimulatedCardConfig config = loopback();
        config.captureCycleSamples = cycle;
        Bench bench(config);
        bench.open();
        for (int pass = 0; pass < 3; ++pass) {
            bench.rig.writePulse();
            std::fill(bench.rig.state.device.recordBuffer.begin(),
                      bench.rig.state.device.recordBuffer.end(), 0);
            ASSERT_EQ(bench.pass(), kPassDone) << cycle;
            const auto recording = bench.rig.recording();
            const auto pulse = std::find(recording.begin(), recording.end(), -17408);
            ASSERT_NE(pulse, recording.end()) << cycle << " pass " << pass;
            EXPECT_EQ(bench.rig.state.latencySamples, pulse - recording.begin() - 10)
                << cycle << " pass " << pass;
            EXPECT_GE(bench.rig.state.latencySamples, cycle);
            EXPECT_EQ(bench.rig.state.latencySamples % cycle, 0);
        }
    }
}

// A record buffer handed back with fewer samples than it holds is a failed
// pass, not a recording to analyse; the next full one measures again.
TEST(WavePass, ARecordingThatCompletesShortFailsThePass) {
    for (const std::int64_t missing : {1, 2048}) {
        Bench bench(loopback());
        bench.open();
        bench.rig.writePulse();
        bench.card.faults().recordShortSamples = missing;
        EXPECT_EQ(bench.pass(), kPassDeviceFailed) << missing;
        EXPECT_EQ(bench.rig.state.lastWaveError, WAVERR_DEVICEFAILED);
        EXPECT_EQ(bench.rig.capturesPosted(), 0u);
        bench.card.faults().recordShortSamples = 0;
        EXPECT_EQ(bench.pass(), kPassDone);
        EXPECT_EQ(bench.rig.capturesPosted(), 1u);
    }
}

TEST(WavePass, PassTakesItsDurationOnTheCardClock) {
    Bench bench(loopback());
    bench.open();
    bench.rig.writePulse();
    const std::int64_t before = bench.time.performanceCounter();
    ASSERT_EQ(bench.pass(), kPassDone);
    const std::int64_t micros = bench.time.performanceCounter() - before;
    // 4096 samples at 22050 Hz, then the input's 16-sample hand-over.
    EXPECT_NEAR(micros, (4096.0 + 16.0) / 22050 * 1e6, 2.0);
}

TEST(WavePass, FirstPassUnpreparesNeverPreparedHeadersAndEveryPassRepeatsTheOrder) {
    Bench bench(loopback());
    bench.open();
    bench.rig.writePulse();
    for (int pass = 0; pass < 3; ++pass) {
        const std::size_t first = bench.card.calls().size();
        ASSERT_EQ(bench.pass(), kPassDone);
        const std::vector<std::string> calls(bench.card.calls().begin() + first,
                                             bench.card.calls().end());
        const std::vector<std::string> expected{"waveInUnprepareHeader", "waveOutUnprepareHeader",
                                                "waveOutPrepareHeader",  "waveInPrepareHeader",
                                                "waveInAddBuffer",       "waveInStart",
                                                "waveOutWrite",          "waveInReset"};
        EXPECT_EQ(calls, expected) << "pass " << pass;
    }
    EXPECT_EQ(bench.rig.capturesPosted(), 3u);
}

TEST(WavePass, AFailingCallEndsThePassWithoutPosting) {
    using Fault = MMRESULT SimulatedCardFaults::*;
    for (const Fault fault :
         {&SimulatedCardFaults::inUnprepareResult, &SimulatedCardFaults::outUnprepareResult,
          &SimulatedCardFaults::outPrepareResult, &SimulatedCardFaults::inPrepareResult,
          &SimulatedCardFaults::addBufferResult, &SimulatedCardFaults::writeResult}) {
        Bench bench(loopback());
        bench.open();
        bench.rig.writePulse();
        ASSERT_EQ(bench.pass(), kPassDone);
        bench.card.faults().*fault = MMSYSERR_ERROR;
        EXPECT_EQ(bench.pass(), kPassFailed);
        EXPECT_EQ(bench.rig.capturesPosted(), 1u);
    }
}

TEST(WavePass, APassAfterTheDevicesAreClosedFailsAtOnce) {
    Bench bench(loopback());
    bench.open();
    bench.rig.writePulse();
    ASSERT_EQ(bench.pass(), kPassDone);
    EXPECT_EQ(closePlayDevice(bench.rig.state, bench.rig.devices, bench.card), 0);
    EXPECT_EQ(closeRecordDevice(bench.rig.state, bench.rig.devices, bench.card), 0);
    const std::int64_t before = bench.time.performanceCounter();
    EXPECT_EQ(bench.pass(), kPassFailed);
    EXPECT_EQ(bench.time.performanceCounter(), before);
    EXPECT_EQ(bench.rig.capturesPosted(), 1u);
}

TEST(WavePass, ABufferThatNeverCompletesTimesOutWithoutSpinning) {
    for (const bool recordStalls : {true, false}) {
        Bench bench(loopback());
        bench.open();
        bench.rig.writePulse();
        bench.card.faults().recordNeverCompletes = recordStalls;
        bench.card.faults().playNeverCompletes = !recordStalls;
        const std::int64_t before = bench.time.performanceCounter();
        EXPECT_EQ(bench.pass(), kPassDeviceFailed);
        EXPECT_EQ(bench.rig.state.lastWaveError, WAVERR_DEVICEFAILED);
        const double waited = (bench.time.performanceCounter() - before) / 1e6;
        const double passSeconds = 4096.0 / 22050;
        const double limit = kPassTimeoutPasses * passSeconds + 1.0;
        EXPECT_GE(waited, limit);
        EXPECT_LT(waited, limit + 0.01);
        EXPECT_EQ(bench.rig.capturesPosted(), 0u);
        // Mostly millisecond pauses: about one per millisecond waited, not thousands more.
        EXPECT_LT(bench.time.pauses, static_cast<long>(waited * 1000) + 1200);
        // Both devices were stopped, so neither touches the buffers any more.
        const auto& calls = bench.card.calls();
        EXPECT_NE(std::find(calls.end() - 2, calls.end(), "waveInReset"), calls.end());
        EXPECT_NE(std::find(calls.end() - 2, calls.end(), "waveOutReset"), calls.end());
        EXPECT_NE(bench.rig.state.device.recordHeader.dwFlags.load() & WHDR_DONE, 0u);
        EXPECT_NE(bench.rig.state.device.playHeader.dwFlags.load() & WHDR_DONE, 0u);
        // The next pass works again once the card does.
        bench.card.faults() = {};
        EXPECT_EQ(bench.pass(), kPassDone);
        EXPECT_EQ(bench.rig.state.latencySamples, 32);
    }
}

// A card that fails in the middle of a pass (its server killed, the card
// pulled out): the pass ends at once with the card's code, posts nothing,
// and leaves both devices stopped; every pass after it fails the same way
// until the devices are opened again.
TEST(WavePass, ACardThatFailsDuringAPassEndsItWithItsCode) {
    for (const MMRESULT code : {MMSYSERR_NODRIVER, MMSYSERR_BADDEVICEID, WAVERR_DEVICEFAILED}) {
        for (const std::int64_t after :
             {std::int64_t{0}, std::int64_t{100}, std::int64_t{4096 + 2000}}) {
            Bench bench(loopback());
            bench.open();
            bench.rig.writePulse();
            bench.card.faults().failAfterRecordedSamples = after;
            bench.card.faults().failureResult = code;
            const int first = bench.pass();
            // Failing after more than one pass's samples lets the first pass through.
            const int expectedFirst = after > 4096 ? kPassDone : kPassDeviceFailed;
            EXPECT_EQ(first, expectedFirst) << code << " after " << after;
            const std::int64_t before = bench.time.performanceCounter();
            if (first == kPassDone) {
                EXPECT_EQ(bench.pass(), kPassDeviceFailed);
            }
            EXPECT_EQ(bench.rig.state.lastWaveError, code);
            EXPECT_EQ(bench.rig.capturesPosted(), first == kPassDone ? 1u : 0u);
            // It ended when the card failed, not after a time-out.
            EXPECT_LT(bench.time.performanceCounter() - before, 4096.0 / 22050 * 1e6 + 1000);
            // Neither device holds a buffer any more.
            EXPECT_EQ(bench.rig.state.device.recordHeader.dwFlags.load() & WHDR_INQUEUE, 0u);
            EXPECT_EQ(bench.rig.state.device.playHeader.dwFlags.load() & WHDR_INQUEUE, 0u);
            // Still failed: the next pass fails at once, the same way.
            bench.rig.state.lastWaveError = 0;
            EXPECT_EQ(bench.pass(), kPassDeviceFailed);
            EXPECT_EQ(bench.rig.state.lastWaveError, code);
            // Closed and opened again (the server back), the card measures.
            bench.card.faults() = {};
            EXPECT_EQ(closePlayDevice(bench.rig.state, bench.rig.devices, bench.card), 0);
            EXPECT_EQ(closeRecordDevice(bench.rig.state, bench.rig.devices, bench.card), 0);
            bench.open();
            EXPECT_EQ(bench.pass(), kPassDone);
            EXPECT_EQ(bench.rig.state.latencySamples, 32);
        }
    }
}

// Calls that fail with a code saying the device has gone end the pass as a
// device failure; any other failing call stalls it as before.
TEST(WavePass, AFailingCallIsADeviceFailureOnlyWhenItsCodeSaysSo) {
    using Fault = MMRESULT SimulatedCardFaults::*;
    for (const Fault fault :
         {&SimulatedCardFaults::inUnprepareResult, &SimulatedCardFaults::outPrepareResult,
          &SimulatedCardFaults::addBufferResult, &SimulatedCardFaults::writeResult}) {
        for (const MMRESULT code : {MMSYSERR_NODRIVER, MMSYSERR_BADDEVICEID, WAVERR_DEVICEFAILED,
                                    MMSYSERR_NOMEM, MMSYSERR_INVALHANDLE}) {
            Bench bench(loopback());
            bench.open();
            bench.rig.writePulse();
            bench.card.faults().*fault = code;
            bench.rig.state.lastWaveError = 0;
            const bool deviceFailure = isDeviceFailure(code);
            EXPECT_EQ(bench.pass(), deviceFailure ? kPassDeviceFailed : kPassFailed) << code;
            EXPECT_EQ(bench.rig.state.lastWaveError, deviceFailure ? code : 0u);
            EXPECT_EQ(bench.rig.capturesPosted(), 0u);
        }
    }
}

TEST(WavePass, BuffersTooSmallForTheLengthFailInsteadOfOverflowing) {
    Bench bench(loopback());
    bench.open();
    bench.rig.state.device.recordBytes =
        static_cast<std::uint32_t>(bench.rig.state.device.recordBuffer.size() * 2 + 2);
    EXPECT_EQ(bench.pass(), kPassFailed);
    bench.rig.setLength(22050, 2048);
    bench.rig.state.device.playBuffer.clear();
    EXPECT_EQ(bench.pass(), kPassFailed);
    EXPECT_EQ(bench.rig.capturesPosted(), 0u);
}

TEST(WaveDevices, OpenFailuresLeaveTheCodeAndChooseTheirDialog) {
    struct Case {
        MMRESULT code;
        const char* title;
    };
    for (const Case c :
         {Case{MMSYSERR_ALLOCATED, "Ressona: Error 51"},
          Case{MMSYSERR_BADDEVICEID, "Ressona: Error 52"},
          Case{MMSYSERR_NODRIVER, "Ressona: Error 53"}, Case{MMSYSERR_NOMEM, "Ressona: Error 54"},
          Case{WAVERR_BADFORMAT, "Ressona: Error 1"}, Case{MMSYSERR_ERROR, "Ressona: Error 1"}}) {
        for (const bool output : {true, false}) {
            Bench bench(loopback());
            if (output) {
                bench.card.faults().outOpenResult = c.code;
                EXPECT_EQ(openPlayDevice(bench.rig.state, bench.rig.devices, bench.card),
                          static_cast<int>(c.code));
                EXPECT_FALSE(bench.rig.devices.playDeviceOpen);
            } else {
                bench.card.faults().inOpenResult = c.code;
                EXPECT_EQ(openRecordDevice(bench.rig.state, bench.rig.devices, bench.card),
                          kRecordOpenFailed);
                EXPECT_FALSE(bench.rig.devices.recordDeviceOpen);
            }
            EXPECT_EQ(bench.rig.state.lastWaveError, c.code);
            RecordingDialogService dialogs;
            EXPECT_EQ(showWaveDeviceError(dialogs, testing::kPanel, bench.rig.state.lastWaveError),
                      1);
            ASSERT_EQ(dialogs.shown.size(), 1u);
            EXPECT_EQ(dialogs.shown[0].title, c.title);
            EXPECT_EQ(dialogs.shown[0].owner, testing::kPanel);
        }
    }
}

TEST(WaveDevices, InputOpenWithoutAHandleFailsAndReadsAsError1) {
    Bench bench(loopback());
    bench.card.faults().inOpenGivesNoHandle = true;
    EXPECT_EQ(openRecordDevice(bench.rig.state, bench.rig.devices, bench.card), kRecordOpenFailed);
    EXPECT_EQ(bench.rig.state.lastWaveError, 0u);
    EXPECT_FALSE(bench.rig.devices.recordDeviceOpen);
    RecordingDialogService dialogs;
    showWaveDeviceError(dialogs, testing::kPanel, bench.rig.state.lastWaveError);
    EXPECT_EQ(dialogs.shown.at(0).title, "Ressona: Error 1");
}

TEST(WaveDevices, RateAndLengthTakeEffectAtTheNextOpen) {
    Bench bench(loopback());
    bench.open();
    EXPECT_EQ(bench.rig.devices.playFormat.nSamplesPerSec, 22050u);
    EXPECT_EQ(bench.rig.devices.recordFormat.nAvgBytesPerSec, 44100u);
    EXPECT_EQ(bench.rig.devices.recordFormat.nBlockAlign, 2);
    EXPECT_EQ(bench.rig.state.device.recordHeader.dwBufferLength, 8192u);

    // Start again with another rate and length: each open closes what was left open.
    bench.rig.setLength(48000, 256);
    bench.open();
    EXPECT_EQ(bench.rig.devices.playFormat.nSamplesPerSec, 48000u);
    EXPECT_EQ(bench.rig.devices.playFormat.nAvgBytesPerSec, 48000u);
    EXPECT_EQ(bench.rig.state.device.playHeader.dwBufferLength, 512u);
    EXPECT_EQ(bench.rig.state.device.recordHeader.dwBufferLength, 1024u);
    bench.rig.writePulse();
    ASSERT_EQ(bench.pass(), kPassDone);
    EXPECT_EQ(bench.rig.recording()[10 + 32], -17408);
}

TEST(WaveDevices, ClosingUnpreparesResetsAndClosesInThatOrder) {
    Bench bench(loopback());
    bench.open();
    const std::size_t first = bench.card.calls().size();
    EXPECT_EQ(closePlayDevice(bench.rig.state, bench.rig.devices, bench.card), 0);
    EXPECT_EQ(closeRecordDevice(bench.rig.state, bench.rig.devices, bench.card), 0);
    const std::vector<std::string> calls(bench.card.calls().begin() + first,
                                         bench.card.calls().end());
    const std::vector<std::string> expected{
        "waveOutUnprepareHeader", "waveOutReset", "waveOutClose",
        "waveInUnprepareHeader",  "waveInReset",  "waveInClose"};
    EXPECT_EQ(calls, expected);
    // Closing again does nothing.
    EXPECT_EQ(closePlayDevice(bench.rig.state, bench.rig.devices, bench.card), 0);
    EXPECT_EQ(closeRecordDevice(bench.rig.state, bench.rig.devices, bench.card), 0);
    EXPECT_EQ(bench.card.calls().size(), first + expected.size());
}

TEST(WaveDevices, TheInputIsLeftAloneBeforeThePanelHasInitialised) {
    Bench bench(loopback());
    bench.open();
    bench.rig.state.panelInitialised = false;
    const std::size_t first = bench.card.calls().size();
    EXPECT_EQ(closeRecordDevice(bench.rig.state, bench.rig.devices, bench.card), 1);
    EXPECT_EQ(bench.card.calls().size(), first);
    EXPECT_TRUE(bench.rig.devices.recordDeviceOpen);
}

}  // namespace
}  // namespace ressona
