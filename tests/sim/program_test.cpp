#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "resources/error_dialog_templates.h"
#include "sim/program_fixture.h"

namespace ressona {
namespace {

using testing::SimulatedProgram;

TEST(ProgramStartTest, StartsWithItsWindowsAndAFirstExcitation) {
    SimulatedProgram sim;
    ASSERT_TRUE(sim.program->start());
    const MeasurementState& state = sim.program->state();
    EXPECT_TRUE(state.panelInitialised);
    EXPECT_TRUE(sim.program->queue().IsWindow(state.timePlotWindow));
    EXPECT_TRUE(sim.program->queue().IsWindow(state.freqPlotWindow));
    EXPECT_EQ(state.plotWidth, 955);
    EXPECT_EQ(state.plotHeight, 256);
    EXPECT_EQ(state.freqPlotY, 257);
    EXPECT_TRUE(state.buffersPrepared);
    EXPECT_EQ(sim.program->arrays().excitationBuffer[11], 60);
    EXPECT_TRUE(sim.dialogs.shown.empty());
    EXPECT_NE(sim.program->dialog().GetDlgItemTextA(ids::kMixerText), "Unknown Mixer");
}

TEST(ProgramStartTest, MemoryFailuresAtStartUpShowTheirDialogAndEndCleanly) {
    for (long allowed : {0L, 1L, 2L, 3L}) {
        SimulatedProgram sim;
        sim.program->arrays().allocationBudget.remaining = allowed;
        EXPECT_FALSE(sim.program->start()) << allowed;
        EXPECT_TRUE(sim.program->closed());
        EXPECT_EQ(sim.shownTemplates(), std::vector<int>{allowed < 2 ? kErrorDialogPlayMemory
                                                                     : kErrorDialogRecordMemory});
        EXPECT_TRUE(sim.program->queue().quitPosted());
        EXPECT_FALSE(sim.program->state().device.playMemoryHeld);
        EXPECT_FALSE(sim.program->state().device.recordMemoryHeld);
    }
    SimulatedProgram sim;  // memory for the device but not for the arrays
    sim.program->arrays().allocationBudget.remaining = 4;
    EXPECT_FALSE(sim.program->start());
    EXPECT_EQ(sim.shownTemplates(), std::vector<int>{kErrorDialogModeMemory});
    EXPECT_TRUE(sim.program->closed());
    EXPECT_EQ(sim.simulatedMixer().openHandles(), 0u) << "the mixer opened before is closed again";
    Message quit;
    ASSERT_TRUE(sim.program->queue().PeekMessageA(quit, kNoWindow, PM_REMOVE));
    EXPECT_EQ(quit.message, static_cast<std::uint32_t>(WM_QUIT));
    EXPECT_EQ(quit.wParam, 0u);
}

// Arrays that cannot be built at Start: "Error 12", the run is stopped and
// the panel is idle again (the devices stay open until the next open or the
// close); with memory back, Start measures.
TEST(ProgramStartTest, MemoryFailureAtStartShowsErrorTwelveAndStops) {
    SimulatedProgram sim;
    ASSERT_TRUE(sim.program->start());
    sim.program->arrays().allocationBudget.remaining = 2;
    sim.program->click(ids::kMls);
    sim.program->click(ids::kStart);
    sim.program->pumpMessages();
    EXPECT_EQ(sim.shownTemplates(), std::vector<int>{kErrorDialogModeMemory});
    EXPECT_FALSE(sim.program->state().measuring);
    EXPECT_TRUE(sim.program->dialog().IsWindowEnabled(ids::kStart));
    EXPECT_FALSE(sim.program->dialog().IsWindowEnabled(ids::kStop));
    sim.program->arrays().allocationBudget.remaining = AllocationBudget::kUnlimited;
    sim.program->click(ids::kStart);
    sim.runCaptures(2);
    EXPECT_EQ(sim.program->state().sampleCounter, 2u);
    // The devices left open by the failed Start close with the rest.
    sim.program->click(ids::kExit);
    sim.program->pumpMessages();
    EXPECT_FALSE(sim.program->program().wave.playDeviceOpen);
    EXPECT_FALSE(sim.program->program().wave.recordDeviceOpen);
}

TEST(ProgramRunTest, AnImpossibleLengthEndsTheProgramWithMajorError) {
    SimulatedProgram sim;
    ASSERT_TRUE(sim.program->start());
    sim.program->state().sampleLength = 1000;  // no button offers it
    sim.program->click(ids::kStart);
    sim.program->pumpMessages();
    ASSERT_EQ(sim.dialogs.shown.size(), 1u);
    EXPECT_EQ(sim.dialogs.shown[0].message, "Major error !");
    EXPECT_TRUE(sim.program->majorErrorShown());
    EXPECT_TRUE(sim.program->closed());
    Message quit;
    ASSERT_TRUE(sim.program->queue().PeekMessageA(quit, kNoWindow, PM_REMOVE));
    EXPECT_EQ(quit.message, WM_QUIT);
    EXPECT_EQ(quit.wParam, 1u);
}

TEST(ProgramRunTest, MlsOnTheLoopbackGivesOnePeakAtTheLatencyAndAFlatResponse) {
    SimulatedProgram sim;
    ASSERT_TRUE(sim.program->start());
    sim.program->click(ids::kMls);
    sim.program->click(ids::kStart);
    sim.runCaptures(3);
    const MeasurementState& state = sim.program->state();
    EXPECT_EQ(state.sampleCounter, 3u);
    EXPECT_EQ(state.latencySamples, 32);
    EXPECT_EQ(state.triggerSample, 32);
    EXPECT_EQ(sim.program->dialog().GetDlgItemTextA(ids::kTriggerText), "Trigger at 32");
    EXPECT_EQ(sim.program->dialog().GetDlgItemTextA(ids::kLatencyText), "Latency 32 Samples");

    const SampleArrays& arrays = sim.program->arrays();
    const auto& impulse = arrays.impulseResponse;
    std::size_t peak = 1;
    for (std::size_t i = 2; i <= impulse.size(); ++i) {
        if (std::abs(impulse[i]) > std::abs(impulse[peak])) peak = i;
    }
    EXPECT_EQ(peak, 1u);  // the trigger sits exactly where the excitation starts
    float low = 1e30f, high = 0.0f;
    for (std::size_t k = 2; k <= arrays.magnitudeSpectrum.size(); ++k) {
        low = std::min(low, arrays.magnitudeSpectrum[k]);
        high = std::max(high, arrays.magnitudeSpectrum[k]);
    }
    EXPECT_LT(20 * std::log10(high / low), 0.1);  // flat within 0.1 dB
    sim.program->click(ids::kStop);
    sim.program->pumpMessages();
    EXPECT_FALSE(state.measuring);
}

TEST(ProgramRunTest, ExitDuringARunStopsClosesAndEndsOnce) {
    SimulatedProgram sim;
    ASSERT_TRUE(sim.program->start());
    sim.program->click(ids::kStart);
    sim.runCaptures(2);
    sim.program->click(ids::kExit);
    sim.program->pumpMessages();
    const MeasurementState& state = sim.program->state();
    EXPECT_TRUE(state.panelClosed);
    EXPECT_FALSE(state.measuring);
    EXPECT_FALSE(sim.program->program().wave.playDeviceOpen);
    EXPECT_FALSE(sim.program->program().wave.recordDeviceOpen);
    EXPECT_FALSE(sim.program->queue().IsWindow(state.timePlotWindow));
    EXPECT_FALSE(state.device.playMemoryHeld);
    EXPECT_TRUE(sim.program->queue().quitPosted());
    // A second close (or the destroy that follows) changes nothing.
    sim.program->queue().SendMessageA(state.panelWindow, WM_CLOSE, 0, 0);
    sim.program->queue().SendMessageA(state.panelWindow, WM_DESTROY, 0, 0);
    EXPECT_TRUE(state.panelClosed);
}

TEST(ProgramRunTest, EveryOpenFailureGivesItsDialog) {
    const std::vector<std::pair<MMRESULT, int>> cases = {
        {4, kErrorDialogDeviceAllocated}, {2, kErrorDialogBadDevice},
        {6, kErrorDialogNoDriver},        {7, kErrorDialogDriverMemory},
        {32, kErrorDialogUnknownDriver},  {1, kErrorDialogUnknownDriver}};
    for (const bool output : {true, false}) {
        for (const auto& [result, dialog] : cases) {
            SimulatedProgram sim;
            ASSERT_TRUE(sim.program->start());
            (output ? sim.simulatedCard().faults().outOpenResult
                    : sim.simulatedCard().faults().inOpenResult) = result;
            sim.program->click(ids::kStart);
            sim.program->pumpMessages();
            EXPECT_EQ(sim.shownTemplates(), std::vector<int>{dialog}) << result << " " << output;
            EXPECT_FALSE(sim.program->state().measuring);
            EXPECT_FALSE(sim.program->dialog().IsWindowEnabled(ids::kStart));
            sim.program->click(ids::kStop);
            sim.program->pumpMessages();
            EXPECT_TRUE(sim.program->dialog().IsWindowEnabled(ids::kStart));
            // Nothing is retried; once the device opens, Start measures.
            sim.simulatedCard().faults() = SimulatedCardFaults{};
            sim.program->click(ids::kStart);
            sim.runCaptures(2);
            EXPECT_EQ(sim.program->state().sampleCounter, 2u) << result << " " << output;
        }
    }
    SimulatedProgram sim;
    ASSERT_TRUE(sim.program->start());
    sim.simulatedCard().faults().inOpenGivesNoHandle = true;
    sim.program->click(ids::kStart);
    sim.program->pumpMessages();
    EXPECT_EQ(sim.shownTemplates(), std::vector<int>{kErrorDialogUnknownDriver});
}

// A device call that fails during a run ends the chain of passes without a
// word (the pass posts nothing); the run stays formally on until Stop, after
// which the panel is as usable as before.
TEST(ProgramRunTest, FailingDeviceCallsStallTheRunAndStopRecovers) {
    const std::vector<std::pair<const char*, void (*)(SimulatedCardFaults&)>> faults = {
        {"output prepare", [](SimulatedCardFaults& f) { f.outPrepareResult = MMSYSERR_NOMEM; }},
        {"input prepare", [](SimulatedCardFaults& f) { f.inPrepareResult = MMSYSERR_NOMEM; }},
        {"output unprepare", [](SimulatedCardFaults& f) { f.outUnprepareResult = MMSYSERR_ERROR; }},
        {"input unprepare", [](SimulatedCardFaults& f) { f.inUnprepareResult = MMSYSERR_ERROR; }},
        {"add buffer", [](SimulatedCardFaults& f) { f.addBufferResult = MMSYSERR_ERROR; }},
        {"write", [](SimulatedCardFaults& f) { f.writeResult = MMSYSERR_ERROR; }}};
    for (const auto& [name, inject] : faults) {
        SimulatedProgram sim;
        ASSERT_TRUE(sim.program->start());
        sim.program->click(ids::kStart);
        sim.runCaptures(1);
        inject(sim.simulatedCard().faults());
        const std::uint32_t counted = sim.program->state().sampleCounter;
        sim.runCaptures(3);
        EXPECT_LE(sim.program->state().sampleCounter, counted + 1) << name;
        EXPECT_TRUE(sim.program->state().measuring) << name;
        EXPECT_TRUE(sim.dialogs.shown.empty()) << name;
        EXPECT_EQ(sim.program->queue().pendingCount(), 0u) << name << ": the chain has ended";
        sim.program->click(ids::kStop);
        sim.program->pumpMessages();
        EXPECT_FALSE(sim.program->state().measuring);
        EXPECT_TRUE(sim.program->dialog().IsWindowEnabled(ids::kStart)) << name;
        sim.simulatedCard().faults() = SimulatedCardFaults{};
        sim.program->click(ids::kStart);
        sim.runCaptures(2);
        EXPECT_EQ(sim.program->state().sampleCounter, 2u) << name << ": the panel stays usable";
    }
}

// A buffer that never completes holds the pass only until its time-out: four
// pass lengths and a second, here 4 x 4096 / 22050 s + 1 s. A device that
// stops like that has failed: "Error 4", and the run is over.
TEST(ProgramRunTest, ABufferThatNeverCompletesEndsTheRunAfterItsTimeOut) {
    for (const bool record : {true, false}) {
        SimulatedProgram sim;
        ASSERT_TRUE(sim.program->start());
        sim.program->click(ids::kStart);
        sim.runCaptures(1);
        (record ? sim.simulatedCard().faults().recordNeverCompletes
                : sim.simulatedCard().faults().playNeverCompletes) = true;
        Clock& clock = *sim.card.clock;
        const double before =
            double(clock.performanceCounter()) / double(clock.performanceFrequency());
        sim.runCaptures(1);  // analyses the last good pass, then waits out the next one
        const double waited =
            double(clock.performanceCounter()) / double(clock.performanceFrequency()) - before;
        const double timeOut = 4 * 4096.0 / 22050.0 + 1.0;
        EXPECT_GE(waited, timeOut) << record;
        EXPECT_LT(waited, timeOut + 0.1) << record;
        sim.program->pumpMessages();  // the plots draw the last good capture; nothing follows
        EXPECT_EQ(sim.program->queue().pendingCount(), 0u);
        EXPECT_FALSE(sim.program->state().measuring);
        EXPECT_EQ(sim.shownTemplates(), std::vector<int>{kErrorDialogDriverProblem});
        EXPECT_EQ(sim.program->state().sampleCounter, 2u) << "the pass before the stalled one";
    }
}

// The sound server killed, or the card pulled out, in the middle of a run:
// the fitting dialog, the run over with the devices closed and the mixer as
// it was before the program, the last good capture still on show and nothing
// of the broken pass in the results; once the device is back, Start sets the
// mixer up again and measures.
TEST(ProgramRunTest, ADeviceThatFailsDuringARunEndsItAndStartWorksOnceItIsBack) {
    struct Case {
        MMRESULT code;
        int dialog;
    };
    for (const Case c : {Case{MMSYSERR_NODRIVER, kErrorDialogNoDriver},
                         Case{MMSYSERR_BADDEVICEID, kErrorDialogBadDevice},
                         Case{WAVERR_DEVICEFAILED, kErrorDialogDriverProblem}}) {
        SimulatedProgram sim;
        const std::vector<std::int32_t> untouched = sim.simulatedMixer().snapshot();
        ASSERT_TRUE(sim.program->start());
        sim.program->click(ids::kMls);
        sim.program->click(ids::kStart);
        sim.runCaptures(2);
        const std::vector<std::int32_t> running = sim.simulatedMixer().snapshot();
        ASSERT_NE(running, untouched);
        // Fails a quarter into the fourth pass (the first two are analysed already).
        SimulatedCardFaults& faults = sim.simulatedCard().faults();
        faults.failAfterRecordedSamples = 3 * 4096 + 1024;
        faults.failureResult = c.code;
        sim.runCaptures(5);
        sim.program->pumpMessages();
        EXPECT_FALSE(sim.program->state().measuring);
        EXPECT_EQ(sim.shownTemplates(), std::vector<int>{c.dialog});
        EXPECT_EQ(sim.program->state().sampleCounter, 3u) << "the third pass is the last analysed";
        EXPECT_FALSE(sim.program->program().wave.playDeviceOpen);
        EXPECT_FALSE(sim.program->program().wave.recordDeviceOpen);
        EXPECT_EQ(sim.simulatedMixer().snapshot(), untouched) << "the mixer is put back";
        EXPECT_EQ(sim.simulatedMixer().openHandles(), 0u);
        EXPECT_TRUE(sim.program->dialog().IsWindowEnabled(ids::kStart));
        EXPECT_FALSE(sim.program->dialog().IsWindowEnabled(ids::kStop));
        // The flat response of a good pass is what stays on show.
        const auto& magnitude = sim.program->arrays().magnitudeSpectrum;
        float low = 1e30f, high = 0.0f;
        for (std::size_t k = 2; k <= magnitude.size(); ++k) {
            low = std::min(low, magnitude[k]);
            high = std::max(high, magnitude[k]);
        }
        EXPECT_LT(20 * std::log10(high / low), 0.1);

        // The server back: Start works as before the failure.
        faults = SimulatedCardFaults{};
        sim.program->click(ids::kStart);
        sim.runCaptures(2);
        EXPECT_TRUE(sim.program->state().measuring);
        EXPECT_EQ(sim.program->state().sampleCounter, 2u);
        EXPECT_EQ(sim.simulatedMixer().snapshot(), running) << "set up again";
        EXPECT_EQ(sim.simulatedMixer().openHandles(), 1u);
        EXPECT_EQ(sim.shownTemplates().size(), 1u);
        sim.program->click(ids::kExit);
        sim.program->pumpMessages();
        EXPECT_EQ(sim.simulatedMixer().snapshot(), untouched);
    }
}

// Each call of the mixer set-up failing in turn, at start-up and after a click
// on "LINE": the status line names the failing call's code ("No MIXER!" when
// not even the count of mixers comes back), "Error 2" is shown, and the
// program goes on: it measures, and at exit it closes the mixer and puts back
// what the set-up had changed. The read of the speakers' mute is the one call
// whose failure the set-up passes over.
TEST(ProgramMixerTest, EveryFailingMixerCallGivesMixerErrorAndErrorTwoAndTheProgramGoesOn) {
    std::size_t startCalls = 0;
    std::size_t lineCalls = 0;
    {
        SimulatedProgram clean;
        ASSERT_TRUE(clean.program->start());
        startCalls = clean.simulatedMixer().calls().size();
        clean.simulatedMixer().clearCalls();
        clean.program->click(ids::kInputLine);
        clean.program->pumpMessages();
        lineCalls = clean.simulatedMixer().calls().size() - 3;  // the three levels follow
        ASSERT_TRUE(clean.dialogs.shown.empty());
    }
    ASSERT_GT(startCalls, 20u);
    for (const bool atStart : {true, false}) {
        for (std::size_t k = 1; k <= (atStart ? startCalls : lineCalls); ++k) {
            SimulatedProgram sim;
            SimulatedMixer& mixer = sim.simulatedMixer();
            const std::vector<std::int32_t> original = mixer.snapshot();
            const auto code = static_cast<MMRESULT>(700 + k);
            if (atStart) mixer.failCall(k, code);
            ASSERT_TRUE(sim.program->start()) << k;
            if (!atStart) {
                mixer.clearCalls();
                mixer.failCall(k, code);
                sim.program->click(ids::kInputLine);
                sim.program->pumpMessages();
            }
            const MixerCall& failed = mixer.calls().at(k - 1);
            const std::string status = sim.program->dialog().GetDlgItemTextA(ids::kTriggerText);
            const SimControl* speakersMute =
                mixer.findControl(0, "Speakers", "", MIXERCONTROL_CONTROLTYPE_MUTE);
            const bool passedOver = failed.name == "mixerGetControlDetailsA" && speakersMute &&
                                    failed.controlId == speakersMute->id;
            const std::string where = std::string(atStart ? "start-up" : "LINE") + " call " +
                                      std::to_string(k) + " " + failed.name;
            if (passedOver) {
                EXPECT_TRUE(sim.dialogs.shown.empty()) << where;
            } else {
                EXPECT_EQ(status, failed.name == "mixerGetNumDevs"
                                      ? std::string("No MIXER!")
                                      : "Mixer Error " + std::to_string(code))
                    << where;
                EXPECT_EQ(sim.shownTemplates(), std::vector<int>{kErrorDialogMixer}) << where;
            }
            sim.program->click(ids::kStart);
            sim.runCaptures(2);
            EXPECT_EQ(sim.program->state().sampleCounter, 2u) << where;
            sim.program->click(ids::kExit);
            sim.program->pumpMessages();
            EXPECT_TRUE(sim.program->closed()) << where;
            EXPECT_EQ(mixer.openHandles(), 0u) << where;
            if (atStart && !passedOver) {
                EXPECT_EQ(mixer.snapshot(), original) << where;
            }
        }
    }
}

// Two clicks on Start that reach the panel together (it was busy when they
// were made): the second stops the first run and starts anew, and the first
// run's completion, still queued, must not start a second chain of passes.
TEST(ProgramRunTest, StartQueuedTwiceKeepsOneChainOfPasses) {
    SimulatedProgram sim;
    ASSERT_TRUE(sim.program->start());
    sim.program->click(ids::kStart);
    sim.program->click(ids::kStart);
    sim.runCaptures(6);
    MessageQueue& queue = sim.program->queue();
    int completions = 0;
    Message message;
    while (queue.PeekMessageA(message, kNoWindow, PM_REMOVE)) {
        if (message.message == WM_COMMAND && commandId(message.wParam) == CMD_CAPTURE_DONE)
            ++completions;
    }
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(sim.program->state().sampleCounter, 5u) << "the stale completion counts no capture";
}

// The dB range goes to the plot as floats and comes back rounded after each
// capture: a range at the ends of the 32-bit numbers must come back as the
// same ends, low still below high, never wrapped round to the other end.
TEST(ProgramRunTest, ADbRangeAtTheEndsOfTheNumbersReadsBackUnwrapped) {
    const std::vector<std::pair<const char*, const char*>> ranges = {{"2147483600", "2147483647"},
                                                                     {"-2147483648", "-2147483600"},
                                                                     {"-2147483648", "2147483647"}};
    for (const auto& [low, high] : ranges) {
        SimulatedProgram sim;
        ASSERT_TRUE(sim.program->start());
        sim.program->click(ids::kFixDbScale);
        sim.program->type(ids::kDbHighEdit, high);
        sim.program->type(ids::kDbLowEdit, low);
        sim.program->type(ids::kDbHighEdit, high);
        sim.program->click(ids::kFixDbScale);  // the plot's range is read back again
        sim.program->click(ids::kNoSignal);    // a flat trace: the range stays where it is
        sim.program->click(ids::kStart);
        sim.runCaptures(3);
        const MeasurementState& state = sim.program->state();
        EXPECT_LT(state.dbLow, state.dbHigh) << low << " " << high;
        if (high[0] != '-') {
            EXPECT_GT(state.dbHigh, 0) << low << " " << high;
        }
        if (low[0] == '-') {
            EXPECT_LT(state.dbLow, 0) << low << " " << high;
        }
    }
}

// The shift bar's position is the negated shift; the most negative shift has
// no negation in 32 bits and puts the bar at its top end.
TEST(ProgramRunTest, TheMostNegativeShiftPutsTheShiftBarAtItsTop) {
    SimulatedProgram sim;
    ASSERT_TRUE(sim.program->start());
    sim.program->type(ids::kShiftEdit, "-2147483648");
    sim.program->pumpMessages();
    EXPECT_EQ(sim.program->state().shiftDb, -2147483648.0f);
    EXPECT_GT(sim.program->state().shiftScroll.info.nPos, 0);
    sim.program->scroll(ids::kShiftBar, SB_LINEUP);
    sim.program->pumpMessages();
    EXPECT_GE(sim.program->state().shiftDb, -60.0f);
    EXPECT_LE(sim.program->state().shiftDb, 60.0f);
}

TEST(ProgramRunTest, SavedResultReadsBackAsTheCapturedCurve) {
    SimulatedProgram sim("room");
    ASSERT_TRUE(sim.program->start());
    const std::string path = ::testing::TempDir() + "program_test_result.rsn";
    sim.program->type(ids::kFileNameEdit, path);
    sim.program->click(ids::kStart);
    sim.runCaptures(2);
    sim.program->click(ids::kStop);
    sim.program->pumpMessages();
    sim.program->click(ids::kSaveAs);
    sim.program->pumpMessages();
    sim.program->click(ids::kReadFrom);
    sim.program->pumpMessages();
    EXPECT_TRUE(sim.dialogs.shown.empty());
    const SampleArrays& arrays = sim.program->arrays();
    for (std::size_t k = 1; k <= arrays.magnitudeSpectrum.size(); k += 97) {
        EXPECT_NEAR(arrays.capturedSpectrum[k], arrays.magnitudeSpectrum[k], 1e-5f) << k;
    }
    EXPECT_TRUE(sim.program->state().plotShowCaptured);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace ressona
