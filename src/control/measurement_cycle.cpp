#include "control/measurement_cycle.h"

#include "audio/wave_pass.h"
#include "control/array_hand_over.h"
#include "platform/wave/wave_service.h"
#include "resources/control_ids.h"
#include "resources/panel_texts.h"
#include "signals/excitation.h"
#include "signals/generators.h"

namespace ressona {

namespace {

float levelFraction(std::int32_t position, std::int32_t maximum) {
    return maximum == 0 ? 0.0f : static_cast<float>(maximum - position) / static_cast<float>(maximum);
}

}  // namespace

int passFailureErrorNumber(std::uint32_t resultCode) {
    switch (resultCode) {
        case MMSYSERR_BADDEVICEID:
            return 52;
        case MMSYSERR_NODRIVER:
            return 53;
        default:
            return 4;
    }
}

MeasurementCycle::MeasurementCycle(ProgramState& program, DialogModel& dialog, ControlPanel& panel,
                                   MessageQueue& queue, CycleDevices& card, UserFeedback& feedback,
                                   Clock& clock, Analyser analyse)
    : program_(program), state_(program.state), dialog_(dialog), panel_(panel), queue_(queue),
      card_(card), feedback_(feedback), clock_(clock), analyse_(std::move(analyse)) {}

void MeasurementCycle::startMeasurement() {
    // A completion still queued from an earlier run (a second Start queued
    // behind the first) must not be taken for one of this run's passes: it
    // would start a second chain of passes beside this one.
    staleCompletions_ = completionsQueued_;
    deviceFailure_ = 0;
    if (state_.measuring) stopMeasurement();
    panel_.arrangeForRun();
    prepareHzSlider();
    state_.device.recordBytes = 4 * state_.sampleLength;
    state_.device.playBytes = 2 * state_.sampleLength;
    if (!openDevices()) return;
    card_.setMixerLevels(levelFraction(state_.micLevel, state_.micLevelMax),
                         levelFraction(state_.speakerLevel, state_.speakerLevelMax),
                         levelFraction(state_.lineLevel, state_.lineLevelMax));
    feedback_.restoreWindows();
    dialog_.EnableWindow(ids::kStop, true);
    dialog_.EnableWindow(ids::kStart, false);

    const int prepared = prepareExcitation(state_, program_.arrays, clock_.timeOfDay());
    if (prepared == kPrepareImpossibleSize) return feedback_.endWithMajorError();
    if (prepared != kPrepareDone) {
        feedback_.showErrorDialog(12);
        return stopMeasurement();
    }
    armPassCheck();
    handShowSubtract(state_, state_.showCaptured, state_.subtractCaptured);
    handTimeCuts(state_, program_.arrays, state_.lowerCut, state_.upperCut);
    state_.measuring = true;
    state_.sampleCounter = 0;
    ++runNumber_;
    runPass();
}

// Every excitation that can be found again in its recording is checked
// there; a tone repeats every period and silence has nothing to find.
void MeasurementCycle::armPassCheck() {
    PassCheckRecord& check = state_.passCheck;
    const std::int32_t mode = state_.excitationMode;
    check.armed = mode == kModeMls || mode == kModePulse || mode == kModeWhiteNoise ||
                  mode == kModeSweep;
    check.period = mode == kModeMls ? std::int64_t(state_.sampleLength) - 1 : 0;
    check.comparesPasses = mode == kModePulse || mode == kModeMls;
    check.kept.clear();
    check.hasReference = false;
    check.referenceOffset = 0;
    check.referenceSlices = 0;
    check.firstOffset.reset();
    check.unjudgedReplayed = false;
    check.passesAccepted = 0;
    check.replays.clear();
    check.failure.clear();
}

void MeasurementCycle::runPass() {
    const int status = card_.runPass();
    if (status == kPassDone) ++completionsQueued_;
    if (status == kPassDeviceFailed) endRunAfterDeviceFailure();
}

// Nothing of the failed pass was posted, so nothing of it is analysed, shown
// or saved; the run ends as Stop ends it, with the devices closed and the
// mixer as it was before the program, before the user is told.
void MeasurementCycle::endRunAfterDeviceFailure() {
    const std::uint32_t code = state_.lastWaveError;
    deviceFailure_ = code != 0 ? code : WAVERR_DEVICEFAILED;
    stopMeasurement();
    card_.putMixerBack();
    feedback_.showErrorDialog(passFailureErrorNumber(code));
}

// The tone is fixed for the run: the slider's position goes through the edit
// (which limits it) and the slider is set to the rate's range and disabled.
void MeasurementCycle::prepareHzSlider() {
    dialog_.SetDlgItemInt(ids::kToneEdit, static_cast<std::uint32_t>(state_.toneScroll.info.nPos), false);
    const auto highestTone = static_cast<std::int32_t>(highestToneFrequency(state_.sampleRate));
    ScrollBarRecord& slider = state_.toneScroll;
    slider.info = {SIF_ALL, 1, highestTone, state_.sampleRate / 20, std::min(slider.info.nPos, highestTone)};
    dialog_.SetScrollInfo(ids::kToneSlider, slider.info);
    dialog_.EnableWindow(ids::kToneSlider, false);
}

bool MeasurementCycle::openDevices() {
    if (card_.openPlayDevice() != 0 || card_.openRecordDevice() != 0) {
        feedback_.showWaveDeviceError(state_.lastWaveError);
        return false;
    }
    return true;
}

void MeasurementCycle::stopMeasurement() {
    if (state_.measuring) {
        if (card_.closePlayDevice() != 0) feedback_.showErrorDialog(4);
        if (card_.closeRecordDevice() != 0) feedback_.showErrorDialog(4);
        state_.measuring = false;
    }
    panel_.arrangeForIdle();
}

void MeasurementCycle::onCaptureDone() {
    if (completionsQueued_ > 0) --completionsQueued_;
    if (staleCompletions_ > 0) {
        --staleCompletions_;
        return;  // the pass of a run that has ended
    }
    if (!state_.measuring) return;  // a completion still queued after Stop
    const std::uint64_t run = runNumber_;
    dialog_.SetDlgItemTextA(ids::kLatencyText, texts::format(texts::kLatency, int(state_.latencySamples)));
    feedback_.showWaitCursor(true);
    analyse_();
    showResults();
    feedback_.showWaitCursor(false);
    drainPanelMessages();
    // A Stop in the drain closed the devices; a Stop and Start there began a
    // new run with its own first pass. Either way this run's chain ends here.
    if (state_.measuring && run == runNumber_) runPass();
    if (!state_.fixDbScale) readBackPlotRange();
    if (state_.measuring && state_.excitationMode == kModeWhiteNoise) {
        generateWhiteNoise(state_.device.playBuffer, program_.arrays, clock_.timeOfDay());
    }
}

void MeasurementCycle::showResults() {
    dialog_.SetDlgItemTextA(ids::kTriggerText, texts::format(texts::kTrigger, int(state_.triggerSample)));
    dialog_.SetDlgItemInt(ids::kStepsEdit, static_cast<std::uint32_t>(state_.waterfallSteps), false);
    ++state_.sampleCounter;
    if (state_.averagingOn && state_.sampleCounter > state_.averageCount) state_.sampleCounter = 1;
    dialog_.SetDlgItemTextA(ids::kSampleCountText,
                            texts::format(texts::kSampleCount, int(state_.sampleCounter)));
    if (state_.timePlotWindow != kNoWindow) {
        queue_.PostMessageA(state_.timePlotWindow, MSG_REDRAW, 0, 0);
    }
    panel_.requestFreqPlotRedraw();
}

// Handles the clicks that waited for the panel during the pass. The plots'
// redraws stay queued. A completion posted by a pass started in here (Stop
// then Start) is left queued too, so that run's chain goes on from the main
// loop instead of nesting passes inside this drain.
void MeasurementCycle::drainPanelMessages() {
    Message message;
    while (queue_.PeekMessageA(message, state_.panelWindow, PM_NOREMOVE)) {
        if (message.message == WM_COMMAND && commandId(message.wParam) == CMD_CAPTURE_DONE) break;
        queue_.PeekMessageA(message, state_.panelWindow, PM_REMOVE);
        queue_.DispatchMessageA(message);
    }
}

// The frequency plot's automatic range (from its last redraw) goes back into
// the dB edits, stored without being handed to the plot again.
void MeasurementCycle::readBackPlotRange() {
    readBackDbRange(state_, state_.dbLow, state_.dbHigh);
    state_.editEchoEnabled = false;
    dialog_.SetDlgItemInt(ids::kDbLowEdit, static_cast<std::uint32_t>(state_.dbLow), true);
    dialog_.SetDlgItemInt(ids::kDbHighEdit, static_cast<std::uint32_t>(state_.dbHigh), true);
    state_.editEchoEnabled = true;
}

}  // namespace ressona
