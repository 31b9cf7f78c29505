#include <gtest/gtest.h>

#include "state/hand_over.h"
#include "unit/panel_fixture.h"

namespace ressona {
namespace {

using testing::PanelHarness;

TEST(ControlPanelInitTest, ControlsShowTheDefaults) {
    PanelHarness h;
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(ids::kRate22050));
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(216));  // 2048
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(ids::kPulse));
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(ids::kSingleSample));
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(ids::kAverageInTime));
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(ids::kViewStandardButton));
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(ids::kInputMic));
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kAverageEdit), "100");
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kToneEdit), "2000");
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kFileNameEdit), "default.rsn");
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kSampleCountText), "Sample 0");
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kDelayText), "Adjust by  0.00 mSecs");
    EXPECT_EQ(std::string(h.state.storageFileName.data(), 11), "default.rsn");
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kToneEdit));
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kStop));
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kAverageEdit));
    EXPECT_EQ(h.state.waterfallSteps, 30);
    EXPECT_EQ(h.dialog.GetScrollInfo(ids::kWaterfallStartBar).nMax, 2048);
    EXPECT_EQ(h.dialog.GetScrollInfo(ids::kMicBar).nPos, 50);
    EXPECT_EQ(h.dialog.GetScrollInfo(ids::kMicBar).nPage, 10u);
}

TEST(ControlPanelEditTest, ToneIsKeptWithinOneToBelowHalfTheRate) {
    PanelHarness h;
    h.type(ids::kToneEdit, "30000");
    EXPECT_EQ(h.state.toneFrequency, 11024u);
    EXPECT_EQ(h.dialog.GetScrollInfo(ids::kToneSlider).nPos, 11024);
    h.type(ids::kToneEdit, "0");
    EXPECT_EQ(h.state.toneFrequency, 1u);
    h.type(ids::kToneEdit, "-5");  // negative compares as huge
    EXPECT_EQ(h.state.toneFrequency, 11024u);
    h.type(ids::kToneEdit, "garbage");  // not a number: the tone in force stays
    EXPECT_EQ(h.state.toneFrequency, 11024u);
    h.type(ids::kToneEdit, "99999999999999999999");
    EXPECT_EQ(h.state.toneFrequency, 11024u);
}

TEST(ControlPanelEditTest, DbAndFrequencyLimitsNeverCross) {
    PanelHarness h;
    h.type(ids::kDbLowEdit, "5");
    EXPECT_EQ(h.state.dbLow, 2);
    EXPECT_EQ(h.state.plotDbLow, 2.0f);
    h.state.dbLow = -90;
    h.type(ids::kDbHighEdit, "-95");
    EXPECT_EQ(h.state.dbHigh, -89);
    h.type(ids::kFreqLowEdit, "40000");
    EXPECT_EQ(h.state.freqLowHz, 29999);
    h.type(ids::kFreqHighEdit, "100");
    EXPECT_EQ(h.state.freqHighHz, 30000);  // low is 29999: high stays above it
    EXPECT_LT(h.state.plotFreqLow, h.state.plotFreqHigh);

    h.state.editEchoEnabled = false;  // the cycle's write-back stores without handing over
    h.type(ids::kDbHighEdit, "40");
    EXPECT_EQ(h.state.dbHigh, 40);
    EXPECT_EQ(h.state.plotDbHigh, -89.0f);
}

TEST(ControlPanelEditTest, StepsShiftAndAverageCount) {
    PanelHarness h;
    h.type(ids::kStepsEdit, "0");
    EXPECT_EQ(h.state.waterfallSteps, 1);
    h.type(ids::kStepsEdit, "5000");
    EXPECT_EQ(h.state.waterfallSteps, 1024);
    EXPECT_EQ(h.state.plotWaterfallSteps, 1024);

    h.type(ids::kShiftEdit, "100");
    EXPECT_EQ(h.state.shiftDb, 100.0f);
    EXPECT_EQ(h.state.plotShiftDb, 100.0f);
    EXPECT_EQ(h.state.shiftScroll.info.nPos, -100);
    EXPECT_EQ(h.dialog.shownScrollPosition(ids::kShiftBar), -60);
    h.scroll(ids::kShiftBar, SB_LINEDOWN);  // from -100, limited to -60
    EXPECT_EQ(h.state.shiftScroll.info.nPos, -60);
    EXPECT_EQ(h.state.shiftDb, 60.0f);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kShiftEdit), "60");

    h.click(ids::kAverage);
    h.type(ids::kAverageEdit, "25");
    EXPECT_TRUE(h.state.averagingOn);
    EXPECT_EQ(h.state.averageCount, 25u);
    EXPECT_TRUE(h.dialog.IsWindowEnabled(ids::kReset));
    h.click(ids::kSingleSample);
    EXPECT_FALSE(h.state.averagingOn);
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kAverageEdit));
}

TEST(ControlPanelScrollTest, CutsNeverCross) {
    PanelHarness h;
    h.scroll(ids::kLowerCutBar, SB_THUMBTRACK, 1000);
    EXPECT_EQ(h.state.lowerCut, 999);
    h.scroll(ids::kUpperCutBar, SB_THUMBTRACK, 0);
    EXPECT_EQ(h.state.upperCut, 1000);
    h.scroll(ids::kLowerCutBar, SB_THUMBTRACK, 400);
    h.scroll(ids::kUpperCutBar, SB_THUMBTRACK, 100);
    EXPECT_EQ(h.state.upperCut, 401);
    h.scroll(ids::kUpperCutBar, SB_PAGEDOWN);
    EXPECT_EQ(h.state.upperCut, 411);
    h.scroll(ids::kLowerCutBar, SB_THUMBTRACK, -32768);
    EXPECT_EQ(h.state.lowerCut, 0);
    EXPECT_EQ(h.postedTo(testing::kTimePlotWindow).size(), 6u);  // one redraw per step
    EXPECT_NEAR(h.state.plotUpperCutTime, 0.411f * h.program->arrays.plotTimeSpan, 1e-3f);
}

TEST(ControlPanelScrollTest, StepsAreSixteenBitAndEndScrollDoesNothing) {
    PanelHarness h;
    h.scroll(ids::kDelayBar, SB_THUMBTRACK, 32767);
    EXPECT_EQ(h.state.recordDelaySamples, 1024);
    h.state.delayScroll.info.nPos = 32767;  // as if the bar had been left at the top of the range
    h.scroll(ids::kDelayBar, SB_LINEDOWN);  // 32767 + 1 wraps to -32768, then limited
    EXPECT_EQ(h.state.recordDelaySamples, -1024);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kDelayText), "Adjust by -46.44 mSecs");
    h.scroll(ids::kDelayBar, SB_ENDSCROLL);
    EXPECT_EQ(h.state.recordDelaySamples, -1024);
    h.scroll(ids::kDelayBar, SB_THUMBPOSITION, 5);  // re-applies the stored position
    EXPECT_EQ(h.state.recordDelaySamples, -1024);
}

TEST(ControlPanelScrollTest, WaterfallStartAcceptsTheWholeLength) {
    PanelHarness h;
    h.click(ids::kLength16384);
    EXPECT_EQ(h.dialog.GetScrollInfo(ids::kWaterfallStartBar).nMax, 2048);
    for (int i = 0; i < 2000; ++i) h.scroll(ids::kWaterfallStartBar, SB_PAGEDOWN);
    EXPECT_EQ(h.state.waterfallStart, 16384);
    EXPECT_TRUE(h.postedTo(testing::kFreqPlotWindow).empty());  // not the waterfall view
    h.click(ids::kViewWaterfallButton);
    h.scroll(ids::kWaterfallStartBar, SB_LINEUP);
    EXPECT_EQ(h.state.plotWaterfallStart, 16383);
    EXPECT_EQ(h.postedTo(testing::kTimePlotWindow), std::vector<std::uint32_t>{MSG_REDRAW});
}

TEST(ControlPanelScrollTest, LevelBarsSetTheMixerFromTheTop) {
    PanelHarness h;
    h.scroll(ids::kMicBar, SB_THUMBTRACK, 0);
    h.scroll(ids::kSpeakerBar, SB_THUMBTRACK, 100);
    h.scroll(ids::kLineBar, SB_THUMBTRACK, 250);
    EXPECT_EQ(h.state.lineLevel, 100);
    EXPECT_EQ(h.actions.levels, (std::vector<float>{1.0f, 0.0f, 0.0f}));
}

TEST(ControlPanelRateTest, LengthChangeKeepsOrClampsTheDelay) {
    struct Case {
        int delaySamples;  // at 2048 samples and 22050 Hz
        int expectedSamples;
        const char* expectedText;
    };
    // 441 samples = 20.00 ms; 22 samples = 1.00 ms (0.998 ms).
    for (const Case c : {Case{441, 32, "Adjust by  1.45 mSecs"}, Case{-441, -32, "Adjust by -1.45 mSecs"},
                         Case{22, 21, "Adjust by  1.00 mSecs"}}) {
        PanelHarness h;
        h.scroll(ids::kDelayBar, SB_THUMBTRACK, c.delaySamples);
        h.click(ids::kLength64);
        EXPECT_EQ(h.state.recordDelaySamples, c.expectedSamples) << c.delaySamples;
        EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kDelayText), c.expectedText);
        EXPECT_EQ(h.dialog.GetScrollInfo(ids::kDelayBar).nMin, -32);
        EXPECT_EQ(h.dialog.GetScrollInfo(ids::kDelayBar).nPage, 3u);
    }
    PanelHarness h;
    h.state.recordDelayMs = 1.0f;  // exactly 1.00 ms
    h.click(ids::kLength64);
    EXPECT_EQ(h.state.recordDelaySamples, 22);
}

TEST(ControlPanelRateTest, ChangingRateOrLengthDropsTheCapturedCurve) {
    PanelHarness h;
    h.click(ids::kCaptureCurrent);
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(ids::kShowCaptured));
    h.click(ids::kRate48000);
    EXPECT_EQ(h.state.sampleRate, 48000u);
    EXPECT_FALSE(h.state.showCaptured);
    EXPECT_FALSE(h.state.capturedValid);
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kShowCaptured));
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kSubtractCaptured));
    EXPECT_FALSE(h.dialog.IsDlgButtonChecked(ids::kShowCaptured));
    EXPECT_FALSE(h.dialog.IsDlgButtonChecked(ids::kRate22050));
}

TEST(ControlPanelButtonsTest, ViewsEnableTheirControlsAndAskForTheirDrawing) {
    PanelHarness h;
    const std::vector<std::pair<int, std::uint32_t>> views = {
        {ids::kViewHistogramButton, MSG_DRAW_HISTOGRAM}, {ids::kViewPhaseButton, MSG_DRAW_PHASE},
        {ids::kViewWaterfallButton, MSG_DRAW_WATERFALL}, {ids::kViewStandardButton, MSG_REDRAW}};
    for (const auto& [view, message] : views) {
        h.poster.posted.clear();
        h.click(view);
        const bool standard = view == ids::kViewStandardButton;
        EXPECT_EQ(h.dialog.IsWindowEnabled(ids::kCaptureCurrent), standard) << view;
        // Nothing captured yet: Show and Subtract stay disabled in every view.
        EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kShowCaptured)) << view;
        EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kSubtractCaptured)) << view;
        EXPECT_EQ(h.dialog.IsWindowEnabled(ids::kWaterfallStartBar), view == ids::kViewWaterfallButton);
        EXPECT_EQ(h.postedTo(testing::kFreqPlotWindow), std::vector<std::uint32_t>{message});
        EXPECT_EQ(h.state.analysisView, view);
        EXPECT_EQ(h.dialog.radioGroupOf(view).size(), 4u);
    }
}

TEST(ControlPanelButtonsTest, ShowAndSubtractStayConsistent) {
    PanelHarness h;
    h.click(ids::kCaptureCurrent);
    h.click(ids::kSubtractCaptured);
    EXPECT_TRUE(h.state.plotSubtractCaptured);
    h.click(ids::kShowCaptured);  // off: both off
    EXPECT_FALSE(h.state.showCaptured);
    EXPECT_FALSE(h.state.subtractCaptured);
    EXPECT_FALSE(h.dialog.IsDlgButtonChecked(ids::kSubtractCaptured));
    h.click(ids::kShowCaptured);  // on again: subtract stays off
    EXPECT_TRUE(h.state.plotShowCaptured);
    EXPECT_FALSE(h.state.plotSubtractCaptured);
}

TEST(ControlPanelButtonsTest, LeavingMlsReleasesTheTablesOnce) {
    PanelHarness h;
    h.click(ids::kMls);
    h.state.excitationMode = kModeMls;
    ASSERT_EQ(prepareExcitation(h.state, h.program->arrays, {}), kPrepareDone);
    h.click(ids::kMls);  // MLS again: nothing released
    EXPECT_TRUE(h.program->arrays.mls.mlsInputTags.allocated());
    h.click(ids::kPulse);
    EXPECT_FALSE(h.program->arrays.mls.mlsInputTags.allocated());
    EXPECT_FALSE(h.dialog.IsDlgButtonChecked(ids::kMls));
    h.click(ids::kSineWave);
    EXPECT_TRUE(h.dialog.IsWindowEnabled(ids::kToneEdit));
    EXPECT_TRUE(h.dialog.IsWindowEnabled(ids::kToneSlider));
}

TEST(ControlPanelButtonsTest, FixDbScaleManagesItsOwnMark) {
    PanelHarness h;
    h.click(ids::kFixDbScale);
    EXPECT_TRUE(h.state.fixDbScale && h.state.plotFixDbScale);
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(ids::kFixDbScale));
    EXPECT_TRUE(h.dialog.IsWindowEnabled(ids::kDbLowEdit));
    h.click(ids::kFixDbScale);
    EXPECT_FALSE(h.dialog.IsDlgButtonChecked(ids::kFixDbScale));
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kDbHighEdit));
}

TEST(ControlPanelFileTest, ReadAndSaveStatusesBecomeTheirDialogs) {
    PanelHarness h;
    h.actions.readStatus = -1;
    h.click(ids::kReadFrom);
    h.actions.readStatus = -2;
    h.click(ids::kReadFrom);
    h.actions.saveStatus = -1;
    h.click(ids::kSaveAs);
    EXPECT_EQ(h.actions.errors, (std::vector<int>{8, 9, 10}));
    EXPECT_FALSE(h.state.showCaptured);

    h.actions.readStatus = 0;
    h.click(ids::kReadFrom);
    EXPECT_TRUE(h.state.plotShowCaptured);
    EXPECT_TRUE(h.dialog.IsDlgButtonChecked(ids::kShowCaptured));
    EXPECT_TRUE(h.dialog.IsWindowEnabled(ids::kSubtractCaptured));
}

TEST(ControlPanelFileTest, OnlyTheFirstDroppedFileIsReadAndLongNamesAreCut) {
    PanelHarness h;
    const HDROP drop = h.drops.add({"first.rsn", "second.rsn"});
    h.panel.onDropFiles(drop);
    EXPECT_EQ(fileNameOf(h.state), "first.rsn");
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kFileNameEdit), "first.rsn");
    ASSERT_EQ(h.poster.posted.size(), 1u);
    EXPECT_EQ(h.poster.posted[0].window, testing::kPanelWindow);
    EXPECT_EQ(commandId(h.poster.posted[0].wParam), ids::kReadFrom);
    EXPECT_EQ(h.drops.pendingDrops(), 0u);

    h.panel.onDropFiles(h.drops.add({std::string(5000, 'n')}));
    EXPECT_EQ(fileNameOf(h.state), std::string(254, 'n'));
    h.panel.onDropFiles(h.drops.add({}));
    EXPECT_EQ(h.poster.posted.size(), 2u);
    h.type(ids::kFileNameEdit, std::string(300, 'e'));
    EXPECT_EQ(fileNameOf(h.state), std::string(254, 'e'));
    EXPECT_EQ(std::string(h.state.storageFileName.begin(), h.state.storageFileName.end()),
              std::string(250, 'e'));
}

TEST(ControlPanelMixerTest, InputChoiceReopensTheMixerAndReportsFailure) {
    PanelHarness h;
    h.actions.mixerStatus = 1;
    h.click(ids::kInputLine);
    EXPECT_FALSE(h.state.mixerInputMic);
    EXPECT_EQ(h.actions.errors, std::vector<int>{2});
    EXPECT_EQ(h.actions.calls, (std::vector<std::string>{"openMixer", "levels"}));
    EXPECT_EQ(h.actions.levels, (std::vector<float>{0.5f, 0.5f, 0.5f}));
}

// Values that cannot be drawn are corrected where they are typed, and the
// edit shows the value in force once the user leaves it; text that is not a
// number changes nothing.
TEST(ControlPanelEditTest, EditsShowTheValueInForceWhenLeft) {
    PanelHarness h;
    h.click(ids::kFixDbScale);
    h.enter(ids::kDbLowEdit, "-70");
    h.enter(ids::kDbHighEdit, "-80");  // not above dB low: one above it
    EXPECT_EQ(h.state.dbHigh, -69);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kDbHighEdit), "-69");
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kDbLowEdit), "-70");
    EXPECT_EQ(h.state.plotDbHigh, -69.0f);
    EXPECT_EQ(h.state.plotDbLow, -70.0f);
    h.enter(ids::kDbLowEdit, "abc");
    EXPECT_EQ(h.state.dbLow, -70);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kDbLowEdit), "-70");
    h.enter(ids::kDbHighEdit, "");
    EXPECT_EQ(h.state.dbHigh, -69);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kDbHighEdit), "-69");

    h.enter(ids::kFreqLowEdit, "0");
    EXPECT_EQ(h.state.freqLowHz, 1);
    EXPECT_EQ(h.state.plotFreqLow, 1.0f);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kFreqLowEdit), "1");
    h.enter(ids::kFreqLowEdit, "-20");
    EXPECT_EQ(h.state.freqLowHz, 1);
    h.enter(ids::kFreqLowEdit, "40000");  // above Hz(high): one below it
    EXPECT_EQ(h.state.freqLowHz, 29999);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kFreqLowEdit), "29999");
    h.enter(ids::kFreqHighEdit, "x");
    EXPECT_EQ(h.state.freqHighHz, 30000);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kFreqHighEdit), "30000");
    EXPECT_LT(h.state.plotFreqLow, h.state.plotFreqHigh);

    // While typing, the text stays as typed: "-" is on its way to a number.
    h.type(ids::kShiftEdit, "-");
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kShiftEdit), "-");
    EXPECT_EQ(h.state.shiftDb, 0.0f);
    h.leave(ids::kShiftEdit);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kShiftEdit), "0");
    h.enter(ids::kStepsEdit, "many");
    EXPECT_EQ(h.state.waterfallSteps, 30);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kStepsEdit), "30");
}

// "abc" or 0 in the Average edit left a count of 0, and the counter stuck at 1.
TEST(ControlPanelEditTest, AverageCountIsAtLeastOne) {
    PanelHarness h;
    h.click(ids::kAverage);
    h.enter(ids::kAverageEdit, "abc");
    EXPECT_EQ(h.state.averageCount, 100u);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kAverageEdit), "100");
    h.enter(ids::kAverageEdit, "0");
    EXPECT_EQ(h.state.averageCount, 1u);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kAverageEdit), "1");
    h.type(ids::kAverageEdit, "zz");
    h.click(ids::kSingleSample);
    h.click(ids::kAverage);  // reads the edit again
    EXPECT_EQ(h.state.averageCount, 1u);
}

// A tone at half the sample rate plays a constant: the highest is one below.
TEST(ControlPanelEditTest, ToneStaysBelowHalfTheRate) {
    PanelHarness h;
    h.click(ids::kSineWave);
    h.enter(ids::kToneEdit, "11025");
    EXPECT_EQ(h.state.toneFrequency, 11024u);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kToneEdit), "11024");
    EXPECT_EQ(h.dialog.GetScrollInfo(ids::kToneSlider).nPos, 11024);
    h.scroll(ids::kToneSlider, SB_THUMBTRACK, 11025);
    EXPECT_EQ(h.state.toneFrequency, 11024u);
    h.enter(ids::kToneEdit, "tone");
    EXPECT_EQ(h.state.toneFrequency, 11024u);
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kToneEdit), "11024");
}

// A name longer than the stored name holds is refused with the file's error
// dialog; nothing is read or saved under a name cut short.
TEST(ControlPanelFileTest, TooLongNamesAreRefusedNotCut) {
    PanelHarness h;
    const std::string name = std::string(266, 'l') + ".rsn";
    h.type(ids::kFileNameEdit, name);
    h.click(ids::kSaveAs);
    h.click(ids::kReadFrom);
    EXPECT_EQ(h.actions.errors, (std::vector<int>{10, 8}));
    EXPECT_TRUE(h.actions.calls.empty());
    EXPECT_EQ(h.dialog.GetDlgItemTextA(ids::kFileNameEdit), name);

    h.type(ids::kFileNameEdit, std::string(250, 'k'));  // the longest name that fits
    h.click(ids::kSaveAs);
    EXPECT_EQ(h.actions.calls, std::vector<std::string>{"save"});

    h.panel.onDropFiles(h.drops.add({std::string(251, 'd')}));
    h.click(ids::kReadFrom);  // the command the drop posted
    EXPECT_EQ(h.actions.errors, (std::vector<int>{10, 8, 8}));
    EXPECT_EQ(h.actions.calls, std::vector<std::string>{"save"});
}

// With nothing captured, the view buttons leave Show and Subtract disabled
// (Subtract would divide by an empty curve); a captured or read curve enables them.
TEST(ControlPanelButtonsTest, ShowAndSubtractOnlyWithACurve) {
    PanelHarness h;
    h.click(ids::kViewWaterfallButton);
    h.click(ids::kViewStandardButton);
    EXPECT_TRUE(h.dialog.IsWindowEnabled(ids::kCaptureCurrent));
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kShowCaptured));
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kSubtractCaptured));
    h.click(ids::kSubtractCaptured);  // a click that was queued before the curve went
    EXPECT_FALSE(h.state.subtractCaptured);
    EXPECT_FALSE(h.state.plotSubtractCaptured);
    EXPECT_FALSE(h.dialog.IsDlgButtonChecked(ids::kSubtractCaptured));

    h.actions.readStatus = 0;
    h.click(ids::kReadFrom);
    h.click(ids::kViewPhaseButton);
    h.click(ids::kViewStandardButton);
    EXPECT_TRUE(h.dialog.IsWindowEnabled(ids::kShowCaptured));
    EXPECT_TRUE(h.dialog.IsWindowEnabled(ids::kSubtractCaptured));
    h.click(ids::kRate8000);  // the curve no longer fits
    h.click(ids::kViewHistogramButton);
    h.click(ids::kViewStandardButton);
    EXPECT_FALSE(h.dialog.IsWindowEnabled(ids::kShowCaptured));
    h.click(ids::kCaptureCurrent);
    h.click(ids::kViewWaterfallButton);
    h.click(ids::kViewStandardButton);
    EXPECT_TRUE(h.dialog.IsWindowEnabled(ids::kSubtractCaptured));
}

// Page Up moves a bar back by its page, Page Down on by it.
TEST(ControlPanelScrollTest, PageUpAndPageDownMoveOppositeWays) {
    PanelHarness h;
    h.scroll(ids::kLowerCutBar, SB_THUMBTRACK, 400);
    h.scroll(ids::kLowerCutBar, SB_PAGEUP);
    EXPECT_EQ(h.state.lowerCut, 390);
    h.scroll(ids::kLowerCutBar, SB_PAGEDOWN);
    h.scroll(ids::kLowerCutBar, SB_PAGEDOWN);
    EXPECT_EQ(h.state.lowerCut, 410);
    h.scroll(ids::kShiftBar, SB_PAGEUP);  // up the vertical bar raises the shift
    EXPECT_EQ(h.state.shiftDb, 10.0f);
    h.scroll(ids::kDelayBar, SB_PAGEUP);
    EXPECT_EQ(h.state.recordDelaySamples, -10);
}

}  // namespace
}  // namespace ressona
