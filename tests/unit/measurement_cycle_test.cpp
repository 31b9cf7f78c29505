#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/measurement_cycle.h"
#include "unit/panel_fixture.h"

namespace ressona {
namespace {

// A card whose passes complete at once: each pass posts its completion to the
// panel, and the test can queue clicks "during" the next pass.
struct InstantCard final : CycleDevices {
    int openPlayDevice() override { return openResult(playOpenResult); }
    int openRecordDevice() override { return openResult(recordOpenResult); }
    int closePlayDevice() override { return 0; }
    int closeRecordDevice() override { return 0; }
    int runPass() override {
        ++passes;
        playedPasses.emplace_back(state->device.playBuffer.begin(),
                                  state->device.playBuffer.begin() + state->device.playBytes);
        if (failPasses) return 1;
        if (failDeviceAtPass > 0 && passes >= failDeviceAtPass) {
            state->lastWaveError = failureCode;
            return 2;
        }
        queue->PostMessageA(state->panelWindow, WM_COMMAND, makeCommandParam(CMD_CAPTURE_DONE), 0);
        for (const Message& click : clicksDuringPass) queue->PostMessageA(click.window, click.message, click.wParam, 0);
        clicksDuringPass.clear();
        return 0;
    }
    void setMixerLevels(float, float, float) override { ++levelCalls; }
    void putMixerBack() override { ++mixerPutBack; }
    int openResult(std::uint32_t result) {
        state->lastWaveError = result;
        return static_cast<int>(result);
    }

    MeasurementState* state = nullptr;
    MessageQueue* queue = nullptr;
    std::uint32_t playOpenResult = 0, recordOpenResult = 0;
    bool failPasses = false;
    int failDeviceAtPass = 0;  // from this pass on (1-based) the device fails; 0: never
    std::uint32_t failureCode = 0;
    int passes = 0, levelCalls = 0, mixerPutBack = 0;
    std::vector<Message> clicksDuringPass;
    std::vector<std::vector<std::uint8_t>> playedPasses;
};

struct RecordingFeedback final : UserFeedback {
    void showErrorDialog(int number) override { errors.push_back(number); }
    void showWaveDeviceError(std::uint32_t code) override { waveErrors.push_back(code); }
    void showWaitCursor(bool) override {}
    void endWithMajorError() override { errors.push_back(-1); }
    std::vector<int> errors;
    std::vector<std::uint32_t> waveErrors;
};

// The actions a panel hands to the cycle, as the program wires them.
struct CycleActions final : PanelActions {
    void startMeasurement() override { cycle->startMeasurement(); }
    void stopMeasurement() override { cycle->stopMeasurement(); }
    int saveResult() override { return 0; }
    int readResult() override { return 0; }
    int openMixer() override { return 0; }
    void setMixerLevels(float, float, float) override {}
    void showErrorDialog(int) override {}
    void showAbout() override {}
    void closePanel() override {}
    MeasurementCycle* cycle = nullptr;
};

class MeasurementCycleTest : public ::testing::Test {
protected:
    MeasurementCycleTest() {
        state.panelWindow = queue.CreateWindowA("Panel", [this](WindowHandle, std::uint32_t m, WPARAM w, LPARAM l) {
            if (m == WM_COMMAND && commandId(w) == CMD_CAPTURE_DONE) {
                events.push_back("capture");
                cycle.onCaptureDone();
                return LRESULT{1};
            }
            return LRESULT{panel.handleMessage({state.panelWindow, m, w, l})};
        });
        state.timePlotWindow = queue.CreateWindowA("TimePlot", recorder("time"));
        state.freqPlotWindow = queue.CreateWindowA("FreqPlot", recorder("freq"));
        card.state = &state;
        card.queue = &queue;
        actions.cycle = &cycle;
        panel.initialiseControls();
        panel.setUpScrollBars();
        prepareExcitation(state, program->arrays, {});
        pump();  // the redraws asked for while the controls were set up
        events.clear();
    }
    WindowProcedure recorder(std::string name) {
        return [this, name](WindowHandle, std::uint32_t m, WPARAM, LPARAM) {
            if (m == MSG_REDRAW || m == MSG_DRAW_PHASE || m == MSG_DRAW_WATERFALL || m == MSG_DRAW_HISTOGRAM) {
                events.push_back(name);
                if (name == "freq" && state.measuring) {  // the plot's automatic scaling
                    state.plotDbLow = -50.0f - float(++freqDraws);
                    state.plotDbHigh = 10.0f;
                }
            }
            return LRESULT{0};
        };
    }
    void click(int id) {
        dialog.clickButton(id);
        queue.PostMessageA(state.panelWindow, WM_COMMAND, makeCommandParam(std::uint16_t(id)), 0);
    }
    // Runs the queue as the program's loop would, for at most `rounds` dispatches.
    void pump(int rounds = 100) {
        for (int i = 0; i < rounds && queue.pendingCount() > 0; ++i) queue.dispatchPending();
    }
    std::vector<std::uint32_t> counterAfterEachCapture(int captures) {
        std::vector<std::uint32_t> seen;
        for (int i = 0; i < captures; ++i) {
            Message m;
            while (queue.PeekMessageA(m, kNoWindow, PM_REMOVE)) {
                queue.DispatchMessageA(m);
                if (m.window == state.panelWindow && commandId(m.wParam) == CMD_CAPTURE_DONE) break;
            }
            seen.push_back(state.sampleCounter);
        }
        return seen;
    }

    std::unique_ptr<ProgramState> program = testing::makeProgram();
    MeasurementState& state = program->state;
    MessageQueue queue;
    DialogModel dialog{panelTemplate()};
    DroppedFiles drops;
    CycleActions actions;
    ControlPanel panel{*program, dialog, queue, actions, drops};
    InstantCard card;
    RecordingFeedback feedback;
    ManualClock clock;
    int analyses = 0;
    MeasurementCycle cycle{*program, dialog, panel, queue, card, feedback, clock, [this] { ++analyses; }};
    std::vector<std::string> events;
    int freqDraws = 0;
};

TEST_F(MeasurementCycleTest, SingleSampleCountsUpAndEachCaptureIsDrawnBeforeTheNext) {
    click(ids::kStart);
    pump(1);
    EXPECT_TRUE(state.measuring);
    EXPECT_FALSE(dialog.IsWindowEnabled(ids::kStart));
    EXPECT_TRUE(dialog.IsWindowEnabled(ids::kStop));
    EXPECT_FALSE(dialog.IsWindowEnabled(ids::kRate48000));
    EXPECT_EQ(counterAfterEachCapture(4), (std::vector<std::uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(dialog.GetDlgItemTextA(ids::kSampleCountText), "Sample 4");
    pump(3);
    const std::vector<std::string> expected = {"capture", "time", "freq", "capture", "time", "freq"};
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 6), expected);
}

TEST_F(MeasurementCycleTest, AveragingCountsToTheAverageAndResetStartsAgain) {
    click(ids::kAverage);
    dialog.typeText(ids::kAverageEdit, "3");
    queue.PostMessageA(state.panelWindow, WM_COMMAND, makeCommandParam(ids::kAverageEdit, EN_CHANGE), 0);
    click(ids::kStart);
    pump(1);
    EXPECT_EQ(program->arrays.averagesWanted, 3);
    EXPECT_EQ(counterAfterEachCapture(6), (std::vector<std::uint32_t>{1, 2, 3, 1, 2, 3}));
    // A Reset clicked during a pass is handled in the drain after that pass's
    // capture has been counted; the capture after it counts as 1.
    card.clicksDuringPass.push_back({state.panelWindow, WM_COMMAND, makeCommandParam(ids::kReset), 0});
    EXPECT_EQ(counterAfterEachCapture(4), (std::vector<std::uint32_t>{1, 0, 1, 2}));
}

TEST_F(MeasurementCycleTest, StopDuringAPassEndsTheRunAfterThatCaptureIsAnalysed) {
    click(ids::kStart);
    pump(1);
    counterAfterEachCapture(2);
    const int passesBefore = card.passes;
    card.clicksDuringPass.push_back({state.panelWindow, WM_COMMAND, makeCommandParam(ids::kStop), 0});
    counterAfterEachCapture(1);  // runs the pass during which Stop was clicked
    const int analysesBefore = analyses;
    pump();
    EXPECT_EQ(analyses, analysesBefore + 1);  // that pass is still analysed
    EXPECT_EQ(card.passes, passesBefore + 1);  // and no further pass starts
    EXPECT_FALSE(state.measuring);
    EXPECT_TRUE(dialog.IsWindowEnabled(ids::kStart));
    EXPECT_TRUE(dialog.IsWindowEnabled(ids::kRate8000));
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST_F(MeasurementCycleTest, StopAndStartWithinOnePassKeepOneChainOfPasses) {
    click(ids::kStart);
    pump(1);
    counterAfterEachCapture(1);
    card.clicksDuringPass.push_back({state.panelWindow, WM_COMMAND, makeCommandParam(ids::kStop), 0});
    card.clicksDuringPass.push_back({state.panelWindow, WM_COMMAND, makeCommandParam(ids::kStart), 0});
    pump(20);
    // One completion in flight at any time: never two captures without the plots between.
    std::size_t captures = 0;
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        if (events[i] == "capture") {
            ++captures;
            EXPECT_NE(events[i + 1], "capture") << "at event " << i;
        }
    }
    EXPECT_GT(captures, 5u);
    EXPECT_TRUE(state.measuring);
}

TEST_F(MeasurementCycleTest, UnfixedDbScaleFollowsThePlotOneCaptureBehind) {
    click(ids::kStart);
    pump(1);
    counterAfterEachCapture(1);
    EXPECT_EQ(dialog.GetDlgItemTextA(ids::kDbLowEdit), "-90");  // the plot has not drawn yet
    counterAfterEachCapture(1);
    EXPECT_EQ(state.dbLow, -51);
    EXPECT_EQ(dialog.GetDlgItemTextA(ids::kDbLowEdit), "-51");
    EXPECT_EQ(dialog.GetDlgItemTextA(ids::kDbHighEdit), "10");
    EXPECT_TRUE(state.editEchoEnabled);

    click(ids::kFixDbScale);
    dialog.typeText(ids::kDbLowEdit, "-70");
    queue.PostMessageA(state.panelWindow, WM_COMMAND, makeCommandParam(ids::kDbLowEdit, EN_CHANGE), 0);
    counterAfterEachCapture(3);
    EXPECT_EQ(state.dbLow, -70);
}

TEST_F(MeasurementCycleTest, WhiteNoiseChangesAfterTheSecondPassOnly) {
    click(ids::kWhiteNoise);
    pump();
    for (int i = 0; i < 5; ++i) clock.setTimeOfDay({i, 7 * i});
    click(ids::kStart);
    pump(1);
    for (int i = 0; i < 4; ++i) {
        clock.setTimeOfDay({10 + i, 3 * i});
        counterAfterEachCapture(1);
    }
    ASSERT_GE(card.playedPasses.size(), 4u);
    EXPECT_EQ(card.playedPasses[0], card.playedPasses[1]);
    EXPECT_NE(card.playedPasses[1], card.playedPasses[2]);
    EXPECT_NE(card.playedPasses[2], card.playedPasses[3]);
}

TEST_F(MeasurementCycleTest, OtherExcitationsLeaveThePlayBufferAlone) {
    click(ids::kSquareWave);
    click(ids::kStart);
    pump(1);
    counterAfterEachCapture(4);
    for (const auto& pass : card.playedPasses) EXPECT_EQ(pass, card.playedPasses[0]);
}

TEST_F(MeasurementCycleTest, DeviceInUseShowsItsDialogAndStopRecovers) {
    card.playOpenResult = 4;
    click(ids::kStart);
    pump();
    EXPECT_EQ(feedback.waveErrors, std::vector<std::uint32_t>{4});
    EXPECT_FALSE(state.measuring);
    EXPECT_FALSE(dialog.IsWindowEnabled(ids::kStart));
    EXPECT_TRUE(dialog.IsWindowEnabled(ids::kStop));
    click(ids::kStop);
    pump();
    EXPECT_TRUE(dialog.IsWindowEnabled(ids::kStart));
    EXPECT_FALSE(dialog.IsWindowEnabled(ids::kStop));

    card.playOpenResult = 0;
    card.recordOpenResult = 2;
    click(ids::kStart);
    pump();
    EXPECT_EQ(feedback.waveErrors, (std::vector<std::uint32_t>{4, 2}));
}

TEST_F(MeasurementCycleTest, AFailingPassStallsSilentlyUntilStop) {
    card.failPasses = true;
    click(ids::kStart);
    pump();
    EXPECT_TRUE(state.measuring);
    EXPECT_EQ(card.passes, 1);
    EXPECT_EQ(analyses, 0);
    EXPECT_TRUE(feedback.errors.empty());
    click(ids::kStop);
    pump();
    EXPECT_FALSE(state.measuring);
    EXPECT_TRUE(dialog.IsWindowEnabled(ids::kStart));
}

// A device failing during a pass ends the run: the passes before it are
// analysed and shown, the failed one is not, the devices close, the mixer is
// put back, the fitting dialog is shown, and Start works again afterwards.
TEST_F(MeasurementCycleTest, ADeviceFailureEndsTheRunWithItsDialog) {
    struct Case {
        int failAt;
        std::uint32_t code;
        int dialog;
    };
    for (const Case c : {Case{1, 6, 53}, Case{3, 2, 52}, Case{2, 35, 4}, Case{4, 1, 4}}) {
        card.failDeviceAtPass = card.passes + c.failAt;
        card.failureCode = c.code;
        feedback.errors.clear();
        const int analysesBefore = analyses;
        const int putBackBefore = card.mixerPutBack;
        click(ids::kStart);
        pump();
        EXPECT_FALSE(state.measuring) << c.code;
        EXPECT_EQ(analyses, analysesBefore + c.failAt - 1) << "the failed pass is not analysed";
        EXPECT_EQ(feedback.errors, std::vector<int>{c.dialog});
        EXPECT_EQ(card.mixerPutBack, putBackBefore + 1);
        EXPECT_TRUE(dialog.IsWindowEnabled(ids::kStart));
        EXPECT_FALSE(dialog.IsWindowEnabled(ids::kStop));
        EXPECT_TRUE(dialog.IsWindowEnabled(ids::kRate48000));
    }
    // The device back: a run measures again.
    card.failDeviceAtPass = 0;
    feedback.errors.clear();
    click(ids::kStart);
    EXPECT_EQ(counterAfterEachCapture(3), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_TRUE(state.measuring);
    EXPECT_TRUE(feedback.errors.empty());
}

TEST(PassFailureDialog, TheCardGoneTheServerGoneAndEverythingElse) {
    EXPECT_EQ(passFailureErrorNumber(2), 52);
    EXPECT_EQ(passFailureErrorNumber(6), 53);
    for (const std::uint32_t code : {0u, 1u, 4u, 7u, 35u, 0xFFFFFFFFu})
        EXPECT_EQ(passFailureErrorNumber(code), 4) << code;
}

TEST_F(MeasurementCycleTest, StartLimitsTheToneAndFailedPreparationStops) {
    state.toneScroll.info.nPos = 30000;
    click(ids::kRate8000);
    click(ids::kStart);
    pump(1);
    EXPECT_EQ(state.toneFrequency, 3999u);  // below half the rate
    EXPECT_EQ(state.toneScroll.info.nMax, 3999);
    click(ids::kStop);
    pump();

    program->arrays.allocationBudget.remaining = 0;
    click(ids::kStart);
    pump();
    EXPECT_EQ(feedback.errors, std::vector<int>{12});
    EXPECT_FALSE(state.measuring);
    EXPECT_TRUE(dialog.IsWindowEnabled(ids::kStart));
}

}  // namespace
}  // namespace ressona
