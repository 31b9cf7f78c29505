#include "control/control_panel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "control/array_hand_over.h"
#include "resources/control_ids.h"
#include "resources/panel_texts.h"
#include "signals/mls.h"

namespace ressona {

namespace {

constexpr std::array<std::uint32_t, 5> kRateValues = {8000, 11025, 22050, 44100, 48000};
constexpr std::array<int, 5> kRateIds = {ids::kRate8000, ids::kRate11025, ids::kRate22050,
                                         ids::kRate44100, ids::kRate48000};
constexpr std::array<int, 7> kModeIds = {kModeMls,        kModeSineWave,  kModeSquareWave,
                                         kModeSweep,      kModePulse,     kModeWhiteNoise,
                                         kModeNoSignal};
constexpr std::int32_t kCutScale = 1000;   // cuts are per mille of the analysed span
constexpr std::int32_t kShiftLimit = 60;   // dB either way
constexpr std::int32_t kInitialDelayPage = 10;
constexpr std::int32_t kLowestFrequency = 1;  // Hz: the frequency axis is logarithmic

std::uint32_t lengthOfId(int id) { return 64u << (id - ids::kLength64); }

bool isLengthId(int id) { return id >= ids::kLength64 && id <= ids::kLength16384; }

int rateIndexOfId(int id) {
    const auto found = std::find(kRateIds.begin(), kRateIds.end(), id);
    return found == kRateIds.end() ? -1 : static_cast<int>(found - kRateIds.begin());
}

bool isModeId(int id) { return std::find(kModeIds.begin(), kModeIds.end(), id) != kModeIds.end(); }

bool isToneMode(std::int32_t mode) { return mode == kModeSineWave || mode == kModeSquareWave; }

// The level fraction a bar stands for: the top (position 0) is full level.
float levelFraction(std::int32_t position, std::int32_t maximum) {
    return maximum == 0 ? 0.0f : static_cast<float>(maximum - position) / static_cast<float>(maximum);
}

// One below and one above, stopping at the ends of the 32-bit range: a range
// read back from the plot may lie at either end.
std::int32_t oneBelow(std::int32_t value) { return value == INT32_MIN ? value : value - 1; }
std::int32_t oneAbove(std::int32_t value) { return value == INT32_MAX ? value : value + 1; }

// The shift bar's position for a shift: its negation, -2147483648 giving the top end.
std::int32_t negated(std::int32_t value) { return value == INT32_MIN ? INT32_MAX : -value; }

std::uint16_t lowWord(WPARAM value) { return static_cast<std::uint16_t>(value & 0xFFFF); }
std::int16_t highWordSigned(WPARAM value) { return static_cast<std::int16_t>((value >> 16) & 0xFFFF); }

}  // namespace

ControlPanel::ControlPanel(ProgramState& program, DialogModel& dialog, MessagePoster& poster,
                           PanelActions& actions, DroppedFiles& drops)
    : program_(program), state_(program.state), dialog_(dialog), poster_(poster),
      actions_(actions), drops_(drops) {
    dialog_.setCommandHandler(
        [this](std::uint16_t id, std::uint16_t notification) { onCommand(id, notification); });
}

bool ControlPanel::handleMessage(const Message& message) {
    switch (message.message) {
        case WM_COMMAND:
            onCommand(commandId(message.wParam), commandNotification(message.wParam));
            return true;
        case WM_HSCROLL:
        case WM_VSCROLL:
            onScroll(static_cast<WindowHandle>(message.lParam), lowWord(message.wParam),
                     highWordSigned(message.wParam));
            return true;
        case WM_DROPFILES:
            onDropFiles(static_cast<HDROP>(message.wParam));
            return true;
        default:
            return false;
    }
}

void ControlPanel::onCommand(std::uint16_t id, std::uint16_t notification) {
    if (const int rate = rateIndexOfId(id); rate >= 0) return chooseSampleRate(kRateValues[rate]);
    if (isLengthId(id)) return chooseSampleLength(lengthOfId(id));
    if (isModeId(id)) return chooseExcitation(id);
    if (notification == EN_KILLFOCUS) return showValueInForce(id);
    switch (id) {
        case ids::kStart: return actions_.startMeasurement();
        case ids::kStop: return actions_.stopMeasurement();
        case ids::kExit: return actions_.closePanel();
        case ids::kAbout: return actions_.showAbout();
        case kViewStandard:
        case kViewHistogram:
        case kViewPhase:
        case kViewWaterfall: return chooseView(id);
        case ids::kSingleSample: return chooseAveraging(false);
        case ids::kAverage: return chooseAveraging(true);
        case ids::kAverageEdit: return onAverageEdit();
        case ids::kReset: state_.sampleCounter = 0; return;
        case ids::kAverageInTime: state_.averageInTime = true; return;
        case ids::kAverageInFrequency: state_.averageInTime = false; return;
        case ids::kArtificial: state_.artificialMode = !state_.artificialMode; return;
        case ids::kHalfHanning: state_.halfHanning = !state_.halfHanning; return;
        case ids::kThirdOctave: state_.thirdOctave = !state_.thirdOctave; return;
        case ids::kFixDbScale: return toggleFixDbScale();
        case ids::kToneEdit: return onToneEdit();
        case ids::kDbLowEdit: return onDbLowEdit();
        case ids::kDbHighEdit: return onDbHighEdit();
        case ids::kFreqLowEdit: return onFreqLowEdit();
        case ids::kFreqHighEdit: return onFreqHighEdit();
        case ids::kShiftEdit: return onShiftEdit();
        case ids::kStepsEdit: return onStepsEdit();
        case ids::kFileNameEdit: return onFileNameEdit();
        case ids::kSaveAs: return saveFile();
        case ids::kReadFrom: return readFile();
        case ids::kInputMic: return chooseInput(true);
        case ids::kInputLine: return chooseInput(false);
        case ids::kCaptureCurrent: return captureCurrentResponse();
        case ids::kShowCaptured: return toggleShowCaptured();
        case ids::kSubtractCaptured: return toggleSubtractCaptured();
        default: return;  // other ids are accepted and ignored
    }
}

// --- Settings -------------------------------------------------------------

void ControlPanel::chooseSampleRate(std::uint32_t rate) {
    state_.sampleRate = rate;
    afterRateOrLengthChange();
}

void ControlPanel::chooseSampleLength(std::uint32_t length) {
    state_.sampleLength = length;
    afterRateOrLengthChange();
}

// Keeps the record delay in milliseconds where the new span allows it,
// otherwise clamps it to the nearer end; the captured curve no longer fits.
void ControlPanel::afterRateOrLengthChange() {
    const auto length = static_cast<std::int32_t>(state_.sampleLength);
    const double span = double(state_.sampleLength) * 1000.0 / double(state_.sampleRate);
    const double delayMs = state_.recordDelayMs;
    if (delayMs >= -span / 2 && delayMs <= span / 2) {
        const double scaled = std::trunc(double(state_.sampleLength) * delayMs);
        state_.recordDelaySamples = static_cast<std::int32_t>(std::trunc(scaled / span));
    } else {
        const bool positive = delayMs > 0;
        state_.recordDelaySamples = positive ? length / 2 : -(length / 2);
        state_.recordDelayMs = static_cast<float>(positive ? span / 2 : -span / 2);
    }
    setScrollBar(ids::kDelayBar, -(length / 2), length / 2, static_cast<std::uint32_t>(length / 20),
                 state_.recordDelaySamples);
    dialog_.SetDlgItemTextA(ids::kDelayText, texts::format(texts::kDelay, double(state_.recordDelayMs)));
    state_.showCaptured = false;
    state_.capturedValid = false;
    dialog_.EnableWindow(ids::kShowCaptured, false);
    dialog_.EnableWindow(ids::kSubtractCaptured, false);
    dialog_.CheckDlgButton(ids::kShowCaptured, false);
}

void ControlPanel::chooseExcitation(std::int32_t mode) {
    if (state_.excitationMode == kModeMls && mode != kModeMls) releaseMlsTables(program_.arrays.mls);
    state_.excitationMode = mode;
    dialog_.EnableWindow(ids::kToneEdit, isToneMode(mode));
    dialog_.EnableWindow(ids::kToneSlider, isToneMode(mode));
}

void ControlPanel::chooseView(std::int32_t view) {
    state_.analysisView = view;
    const bool standard = view == kViewStandard;
    dialog_.EnableWindow(ids::kCaptureCurrent, standard);
    // Show and Subtract need a curve: subtracting none would divide by nothing.
    for (int id : {ids::kShowCaptured, ids::kSubtractCaptured}) {
        dialog_.EnableWindow(id, standard && state_.capturedValid);
    }
    dialog_.EnableWindow(ids::kWaterfallStartBar, view == kViewWaterfall);
    requestFreqPlotRedraw();
}

void ControlPanel::chooseAveraging(bool on) {
    state_.averagingOn = on;
    dialog_.EnableWindow(ids::kAverageEdit, on);
    dialog_.EnableWindow(ids::kReset, on);
    if (on) onAverageEdit();
}

void ControlPanel::toggleFixDbScale() {
    state_.fixDbScale = !state_.fixDbScale;
    dialog_.EnableWindow(ids::kDbLowEdit, state_.fixDbScale);
    dialog_.EnableWindow(ids::kDbHighEdit, state_.fixDbScale);
    dialog_.CheckDlgButton(ids::kFixDbScale, state_.fixDbScale);
    handFixDbScale(state_, state_.fixDbScale);
}

void ControlPanel::saveFile() {
    if (fileNameTooLong_ || actions_.saveResult() == -1) actions_.showErrorDialog(10);
}

void ControlPanel::readFile() {
    if (fileNameTooLong_) return actions_.showErrorDialog(8);
    const int status = actions_.readResult();
    if (status == -1) return actions_.showErrorDialog(8);
    if (status == -2) return actions_.showErrorDialog(9);
    state_.capturedValid = true;  // a read curve is a captured one
    state_.showCaptured = true;
    state_.subtractCaptured = false;
    dialog_.EnableWindow(ids::kShowCaptured, true);
    dialog_.CheckDlgButton(ids::kShowCaptured, true);
    dialog_.EnableWindow(ids::kSubtractCaptured, true);
    dialog_.CheckDlgButton(ids::kSubtractCaptured, false);
    handShowSubtract(state_, state_.showCaptured, state_.subtractCaptured);
    post(state_.freqPlotWindow, MSG_REDRAW);
}

void ControlPanel::chooseInput(bool mic) {
    state_.mixerInputMic = mic;
    if (actions_.openMixer() != 0) actions_.showErrorDialog(2);
    applyMixerLevels();
}

void ControlPanel::applyMixerLevels() {
    actions_.setMixerLevels(levelFraction(state_.micLevel, state_.micLevelMax),
                            levelFraction(state_.speakerLevel, state_.speakerLevelMax),
                            levelFraction(state_.lineLevel, state_.lineLevelMax));
}

// --- Edits ----------------------------------------------------------------

void ControlPanel::onToneEdit() {
    // Text that is no number leaves the tone in force, within the rate's limits.
    const std::optional<std::int32_t> typed = readSigned(ids::kToneEdit);
    // Read as signed, compared as unsigned: a negative entry counts as huge.
    auto tone = typed ? static_cast<std::uint32_t>(*typed) : state_.toneFrequency;
    const std::uint32_t highest = highestToneFrequency(state_.sampleRate);
    if (tone > highest) tone = highest;
    if (tone == 0) tone = 1;
    state_.toneFrequency = tone;
    setScrollPosition(ids::kToneSlider, static_cast<std::int32_t>(tone));
}

void ControlPanel::onAverageEdit() {
    const std::optional<std::uint32_t> typed = readUnsigned(ids::kAverageEdit);
    // An average of no captures would never complete.
    if (typed) state_.averageCount = std::max(*typed, 1u);
}

void ControlPanel::onDbLowEdit() {
    const std::optional<std::int32_t> typed = readSigned(ids::kDbLowEdit);
    if (!typed) return;
    state_.dbLow = *typed;
    if (state_.dbLow >= state_.dbHigh) state_.dbLow = oneBelow(state_.dbHigh);
    if (state_.editEchoEnabled) handDbRange(state_, state_.dbLow, state_.dbHigh, state_.shiftDb);
}

void ControlPanel::onDbHighEdit() {
    const std::optional<std::int32_t> typed = readSigned(ids::kDbHighEdit);
    if (!typed) return;
    state_.dbHigh = *typed;
    if (state_.dbLow >= state_.dbHigh) state_.dbHigh = oneAbove(state_.dbLow);
    if (state_.editEchoEnabled) handDbRange(state_, state_.dbLow, state_.dbHigh, state_.shiftDb);
}

// Hz(low) is at least 1 Hz: the frequency axis is logarithmic.
void ControlPanel::onFreqLowEdit() {
    const std::optional<std::int32_t> typed = readSigned(ids::kFreqLowEdit);
    if (!typed) return;
    state_.freqLowHz = std::max(*typed, kLowestFrequency);
    if (state_.freqLowHz >= state_.freqHighHz) {
        state_.freqLowHz = std::max(oneBelow(state_.freqHighHz), kLowestFrequency);
    }
    if (state_.editEchoEnabled) handFrequencyRange(state_, state_.freqLowHz, state_.freqHighHz);
}

void ControlPanel::onFreqHighEdit() {
    const std::optional<std::int32_t> typed = readSigned(ids::kFreqHighEdit);
    if (!typed) return;
    state_.freqHighHz = *typed;
    if (state_.freqLowHz >= state_.freqHighHz) state_.freqHighHz = oneAbove(state_.freqLowHz);
    if (state_.editEchoEnabled) handFrequencyRange(state_, state_.freqLowHz, state_.freqHighHz);
}

void ControlPanel::onShiftEdit() {
    const std::optional<std::int32_t> typed = readSigned(ids::kShiftEdit);
    if (!typed) return;
    state_.shiftDb = static_cast<float>(*typed);
    setScrollPosition(ids::kShiftBar, negated(*typed));
    handDbRange(state_, state_.dbLow, state_.dbHigh, state_.shiftDb);
    requestFreqPlotRedraw();
}

void ControlPanel::onStepsEdit() {
    // Text that is no number leaves the steps in force, within the length's limits.
    const std::optional<std::int32_t> typed = readSigned(ids::kStepsEdit);
    auto steps = typed ? static_cast<std::uint32_t>(*typed)
                       : static_cast<std::uint32_t>(state_.waterfallSteps);
    const std::uint32_t highest = state_.sampleLength / 2;
    if (steps == 0) steps = 1;
    if (steps > highest) steps = highest;
    state_.waterfallSteps = static_cast<std::int32_t>(steps);
    handWaterfall(state_, state_.waterfallStart, state_.waterfallSteps);
}

// The edit shows the value in force when its text does not already read as it
// (text that is no number, or a value the limits changed).
void ControlPanel::showValueInForce(int editId) {
    std::int64_t value = 0;
    bool isSigned = true;
    switch (editId) {
        case ids::kToneEdit:
            value = state_.toneFrequency;
            isSigned = false;
            break;
        case ids::kAverageEdit:
            value = state_.averageCount;
            isSigned = false;
            break;
        case ids::kDbLowEdit:
            value = state_.dbLow;
            break;
        case ids::kDbHighEdit:
            value = state_.dbHigh;
            break;
        case ids::kFreqLowEdit:
            value = state_.freqLowHz;
            break;
        case ids::kFreqHighEdit:
            value = state_.freqHighHz;
            break;
        case ids::kShiftEdit:
            value = static_cast<std::int64_t>(state_.shiftDb);
            break;
        case ids::kStepsEdit:
            value = state_.waterfallSteps;
            isSigned = false;
            break;
        default:
            return;
    }
    const auto bits = static_cast<std::uint32_t>(value);
    bool translated = false;
    const std::uint32_t shown = dialog_.GetDlgItemInt(editId, translated, isSigned);
    if (!translated || shown != bits) dialog_.SetDlgItemInt(editId, bits, isSigned);
}

void ControlPanel::onFileNameEdit() {
    setFileName(dialog_.GetDlgItemTextA(ids::kFileNameEdit));
}

void ControlPanel::setFileName(std::string_view name) {
    fileNameTooLong_ = name.size() > kStorageNameLength;
    const std::size_t kept = std::min(name.size(), kFileNameMaxLength);
    state_.fileNameText.fill('\0');
    std::memcpy(state_.fileNameText.data(), name.data(), kept);
    setStorageFileName(state_, name.substr(0, kept));
}

// --- Drops ----------------------------------------------------------------

void ControlPanel::onDropFiles(HDROP drop) {
    const std::uint32_t count = drops_.DragQueryFileA(drop, kDropFileCount, nullptr, 0);
    if (count >= 1) {
        std::array<char, kFileNameMaxLength + 1> name{};
        const std::uint32_t copied =
            drops_.DragQueryFileA(drop, 0, name.data(), static_cast<std::uint32_t>(name.size()));
        dialog_.SetDlgItemTextA(ids::kFileNameEdit, std::string_view(name.data(), copied));
        // The edit's handler kept what it holds; a longer name is refused when read.
        if (drops_.DragQueryFileA(drop, 0, nullptr, 0) > kStorageNameLength)
            fileNameTooLong_ = true;
        poster_.PostMessageA(state_.panelWindow, WM_COMMAND, makeCommandParam(ids::kReadFrom), 0);
    }
    drops_.DragFinish(drop);
}

// --- Scroll bars ----------------------------------------------------------

void ControlPanel::onScroll(WindowHandle bar, std::int32_t code, std::int32_t thumbPosition) {
    if (code == SB_ENDSCROLL) return;
    const int id = dialog_.idOfHandle(bar);
    ScrollBarRecord* record = scrollRecord(id);
    if (record == nullptr) return;
    // Positions are stepped in 16-bit signed arithmetic, as the bars always were.
    auto position = static_cast<std::int16_t>(code == SB_THUMBTRACK ? thumbPosition : record->info.nPos);
    const auto page = static_cast<std::int16_t>(record->info.nPage);
    switch (code) {
        case SB_PAGEDOWN: position = static_cast<std::int16_t>(position + page); break;
        case SB_PAGEUP: position = static_cast<std::int16_t>(position - page); break;
        case SB_LINEDOWN: position = static_cast<std::int16_t>(position + 1); break;
        case SB_LINEUP: position = static_cast<std::int16_t>(position - 1); break;
        default: break;
    }
    const std::int32_t limited = limitScrollPosition(id, position);
    setScrollPosition(id, limited);
    runScrollAction(id, limited);
}

std::int32_t ControlPanel::limitScrollPosition(int barId, std::int32_t p) const {
    const std::uint32_t highestTone = highestToneFrequency(state_.sampleRate);
    switch (barId) {
        case ids::kDelayBar:
            return std::clamp(p, state_.delayScroll.info.nMin,
                              std::max(state_.delayScroll.info.nMin, state_.delayScroll.info.nMax));
        case ids::kToneSlider: return std::min(std::max(p, 1), static_cast<std::int32_t>(highestTone));
        case ids::kLowerCutBar: return p <= 0 ? 0 : (p >= state_.upperCut ? state_.upperCut - 1 : p);
        case ids::kUpperCutBar:
            return p <= state_.lowerCut ? state_.lowerCut + 1 : std::min(p, kCutScale);
        case ids::kWaterfallStartBar:
            return std::clamp(p, 0, static_cast<std::int32_t>(state_.sampleLength));
        case ids::kMicBar: return std::clamp(p, 0, state_.micLevelMax);
        case ids::kSpeakerBar: return std::clamp(p, 0, state_.speakerLevelMax);
        case ids::kLineBar: return std::clamp(p, 0, state_.lineLevelMax);
        case ids::kShiftBar: return std::clamp(p, -kShiftLimit, kShiftLimit);
        default: return p;
    }
}

void ControlPanel::runScrollAction(int barId, std::int32_t position) {
    switch (barId) {
        case ids::kDelayBar:
            state_.recordDelaySamples = position;
            state_.recordDelayMs = static_cast<float>(position) * 1000.0f / float(state_.sampleRate);
            return showDelay();
        case ids::kToneSlider:
            dialog_.SetDlgItemInt(ids::kToneEdit, static_cast<std::uint32_t>(position), false);
            state_.toneFrequency = static_cast<std::uint32_t>(position);
            return;
        case ids::kLowerCutBar:
        case ids::kUpperCutBar:
            (barId == ids::kLowerCutBar ? state_.lowerCut : state_.upperCut) = position;
            handTimeCuts(state_, program_.arrays, state_.lowerCut, state_.upperCut);
            post(state_.timePlotWindow, MSG_REDRAW);
            return requestFreqPlotRedraw();
        case ids::kWaterfallStartBar:
            state_.waterfallStart = position;
            handWaterfall(state_, state_.waterfallStart, state_.waterfallSteps);
            if (state_.analysisView == kViewWaterfall) {
                post(state_.timePlotWindow, MSG_REDRAW);
                post(state_.freqPlotWindow, MSG_DRAW_WATERFALL);
            }
            return;
        case ids::kMicBar: state_.micLevel = position; return applyMixerLevels();
        case ids::kSpeakerBar: state_.speakerLevel = position; return applyMixerLevels();
        case ids::kLineBar: state_.lineLevel = position; return applyMixerLevels();
        case ids::kShiftBar:
            dialog_.SetDlgItemInt(ids::kShiftEdit, static_cast<std::uint32_t>(-position), true);
            state_.shiftDb = static_cast<float>(-position);
            handDbRange(state_, state_.dbLow, state_.dbHigh, state_.shiftDb);
            handFrequencyRange(state_, state_.freqLowHz, state_.freqHighHz);
            return requestFreqPlotRedraw();
        default: return;
    }
}

ScrollBarRecord* ControlPanel::scrollRecord(int barId) {
    switch (barId) {
        case ids::kDelayBar: return &state_.delayScroll;
        case ids::kToneSlider: return &state_.toneScroll;
        case ids::kLowerCutBar: return &state_.lowerCutScroll;
        case ids::kUpperCutBar: return &state_.upperCutScroll;
        case ids::kWaterfallStartBar: return &state_.waterfallScroll;
        case ids::kMicBar: return &state_.micScroll;
        case ids::kSpeakerBar: return &state_.speakerScroll;
        case ids::kLineBar: return &state_.lineScroll;
        case ids::kShiftBar: return &state_.shiftScroll;
        default: return nullptr;
    }
}

void ControlPanel::setScrollBar(int barId, std::int32_t minimum, std::int32_t maximum,
                                std::uint32_t page, std::int32_t position) {
    ScrollBarRecord* record = scrollRecord(barId);
    record->info = {SIF_ALL, minimum, maximum, page, position};
    record->handle = dialog_.handleOf(barId);
    dialog_.SetScrollInfo(barId, record->info);
}

void ControlPanel::setScrollPosition(int barId, std::int32_t position) {
    ScrollBarRecord* record = scrollRecord(barId);
    record->info.nPos = position;
    dialog_.SetScrollInfo(barId, {SIF_POS, 0, 0, 0, position});
}

void ControlPanel::showDelay() {
    const float ms = float(state_.recordDelaySamples) * 1000.0f / float(state_.sampleRate);
    dialog_.SetDlgItemTextA(ids::kDelayText, texts::format(texts::kDelay, double(ms)));
}

// --- Arrangements, initialisation, captured response ------------------------

void ControlPanel::initialiseControls() {
    for (int id : {ids::kInputMic, ids::kInputLine, ids::kArtificial, ids::kReadFrom, ids::kViewPhaseButton,
                   ids::kAverageEdit, ids::kStart, ids::kAverageInTime, ids::kAverageInFrequency,
                   ids::kViewStandardButton, ids::kViewWaterfallButton, ids::kFixDbScale, ids::kDelayBar, ids::kMicBar,
                   ids::kSpeakerBar, ids::kLineBar, ids::kLowerCutBar, ids::kUpperCutBar,
                   ids::kWaterfallStartBar, ids::kShiftBar, ids::kDelayText, ids::kHalfHanning,
                   ids::kThirdOctave, ids::kStepsEdit, ids::kShiftEdit}) {
        dialog_.EnableWindow(id, true);
    }
    for (int id : kModeIds) dialog_.EnableWindow(id, true);
    for (int id : kRateIds) dialog_.EnableWindow(id, true);
    for (int id = ids::kLength64; id <= ids::kLength16384; ++id) dialog_.EnableWindow(id, true);
    for (int id : {ids::kToneEdit, ids::kToneSlider, ids::kReset, ids::kCaptureCurrent,
                   ids::kShowCaptured, ids::kSubtractCaptured, ids::kSaveAs, ids::kStop}) {
        dialog_.EnableWindow(id, false);
    }

    dialog_.CheckDlgButton(ids::kArtificial, false);
    dialog_.CheckDlgButton(state_.averageInTime ? ids::kAverageInTime : ids::kAverageInFrequency, true);
    dialog_.CheckDlgButton(state_.mixerInputMic ? ids::kInputMic : ids::kInputLine, true);
    dialog_.CheckDlgButton(state_.analysisView, true);
    dialog_.EnableWindow(ids::kAverageEdit, state_.averagingOn);
    dialog_.CheckDlgButton(state_.averagingOn ? ids::kAverage : ids::kSingleSample, true);
    dialog_.CheckDlgButton(ids::kFixDbScale, state_.fixDbScale);
    for (std::size_t i = 0; i < kRateIds.size(); ++i) {
        if (kRateValues[i] == state_.sampleRate) dialog_.CheckDlgButton(kRateIds[i], true);
    }
    for (int id = ids::kLength64; id <= ids::kLength16384; ++id) {
        if (lengthOfId(id) == state_.sampleLength) dialog_.CheckDlgButton(id, true);
    }
    dialog_.CheckDlgButton(state_.excitationMode, true);
    dialog_.CheckDlgButton(ids::kHalfHanning, state_.halfHanning);
    dialog_.CheckDlgButton(ids::kThirdOctave, state_.thirdOctave);

    dialog_.SetDlgItemTextA(ids::kFileNameEdit, texts::kDefaultFileName);
    dialog_.SetDlgItemTextA(ids::kSampleCountText,
                            texts::format(texts::kSampleCount, int(state_.sampleCounter)));
    dialog_.SetDlgItemInt(ids::kAverageEdit, state_.averageCount, false);
    dialog_.SetDlgItemInt(ids::kToneEdit, state_.toneFrequency, false);
    dialog_.SetDlgItemInt(ids::kShiftEdit, static_cast<std::uint32_t>(std::int32_t(state_.shiftDb)), true);
    dialog_.SetDlgItemInt(ids::kStepsEdit, static_cast<std::uint32_t>(state_.waterfallSteps), false);
}

void ControlPanel::setUpScrollBars() {
    const auto length = static_cast<std::int32_t>(state_.sampleLength);
    setScrollBar(ids::kDelayBar, -(length / 2), length / 2, kInitialDelayPage, state_.recordDelaySamples);
    showDelay();
    setScrollBar(ids::kLowerCutBar, 0, kCutScale, 10, state_.lowerCut);
    setScrollBar(ids::kUpperCutBar, 0, kCutScale, 10, state_.upperCut);
    handTimeCuts(state_, program_.arrays, state_.lowerCut, state_.upperCut);
    setScrollBar(ids::kWaterfallStartBar, 0, length, 10, state_.waterfallStart);
    handWaterfall(state_, state_.waterfallStart, state_.waterfallSteps);
    const auto highestTone = static_cast<std::int32_t>(highestToneFrequency(state_.sampleRate));
    setScrollBar(ids::kToneSlider, 1, highestTone, state_.sampleRate / 20,
                 static_cast<std::int32_t>(state_.toneFrequency));
    dialog_.EnableWindow(ids::kToneSlider, false);
    setScrollBar(ids::kMicBar, 0, state_.micLevelMax, std::uint32_t(state_.micLevelMax / 10), state_.micLevel);
    setScrollBar(ids::kSpeakerBar, 0, state_.speakerLevelMax, std::uint32_t(state_.speakerLevelMax / 10),
                 state_.speakerLevel);
    setScrollBar(ids::kLineBar, 0, state_.lineLevelMax, std::uint32_t(state_.lineLevelMax / 10),
                 state_.lineLevel);
    setScrollBar(ids::kShiftBar, -kShiftLimit, kShiftLimit, 10, -static_cast<std::int32_t>(state_.shiftDb));
}

void ControlPanel::showPlotLimits() {
    dialog_.SetDlgItemInt(ids::kDbLowEdit, static_cast<std::uint32_t>(state_.dbLow), true);
    dialog_.SetDlgItemInt(ids::kDbHighEdit, static_cast<std::uint32_t>(state_.dbHigh), true);
    dialog_.SetDlgItemInt(ids::kFreqLowEdit, static_cast<std::uint32_t>(state_.freqLowHz), true);
    dialog_.SetDlgItemInt(ids::kFreqHighEdit, static_cast<std::uint32_t>(state_.freqHighHz), true);
}

void ControlPanel::arrangeForRun() {
    for (int id : kModeIds) dialog_.EnableWindow(id, false);
    for (int id : kRateIds) dialog_.EnableWindow(id, false);
    for (int id = ids::kLength64; id <= ids::kLength16384; ++id) dialog_.EnableWindow(id, false);
    for (int id : {ids::kToneEdit, ids::kToneSlider, ids::kAverageEdit, ids::kSingleSample,
                   ids::kAverage, ids::kStart, ids::kAverageInTime, ids::kAverageInFrequency,
                   ids::kHalfHanning, ids::kThirdOctave, ids::kSaveAs, ids::kReadFrom}) {
        dialog_.EnableWindow(id, false);
    }
    for (int id : {ids::kStop, ids::kFixDbScale, ids::kCaptureCurrent}) dialog_.EnableWindow(id, true);
}

void ControlPanel::arrangeForIdle() {
    for (int id : kModeIds) dialog_.EnableWindow(id, true);
    for (int id : kRateIds) dialog_.EnableWindow(id, true);
    for (int id = ids::kLength64; id <= ids::kLength16384; ++id) dialog_.EnableWindow(id, true);
    dialog_.EnableWindow(ids::kAverageEdit, state_.averagingOn);
    dialog_.EnableWindow(ids::kSingleSample, true);
    dialog_.EnableWindow(ids::kAverage, true);
    dialog_.EnableWindow(ids::kStop, false);
    for (int id : {ids::kStart, ids::kAverageInTime, ids::kAverageInFrequency, ids::kFixDbScale,
                   ids::kHalfHanning, ids::kThirdOctave, ids::kSaveAs, ids::kReadFrom}) {
        dialog_.EnableWindow(id, true);
    }
    const bool tone = isToneMode(state_.excitationMode);
    dialog_.EnableWindow(ids::kToneEdit, tone);
    dialog_.EnableWindow(ids::kToneSlider, tone);
}

void ControlPanel::captureCurrentResponse() {
    state_.capturedValid = true;
    dialog_.EnableWindow(ids::kShowCaptured, true);
    dialog_.CheckDlgButton(ids::kShowCaptured, true);
    dialog_.EnableWindow(ids::kSubtractCaptured, true);
    state_.showCaptured = true;
    captureCurrent(state_, program_.arrays);
    post(state_.freqPlotWindow, MSG_REDRAW);
}

// Show and Subtract act only on a curve. A click queued before the curve went
// away finds none: the box's mark, which the click moved, goes back.
void ControlPanel::toggleShowCaptured() {
    if (!state_.capturedValid)
        return dialog_.CheckDlgButton(ids::kShowCaptured, state_.showCaptured);
    state_.showCaptured = !state_.showCaptured;
    dialog_.CheckDlgButton(ids::kShowCaptured, state_.showCaptured);
    if (!state_.showCaptured) {
        dialog_.CheckDlgButton(ids::kSubtractCaptured, false);
        state_.subtractCaptured = false;
    }
    handShowSubtract(state_, state_.showCaptured, state_.subtractCaptured);
    post(state_.freqPlotWindow, MSG_REDRAW);
}

void ControlPanel::toggleSubtractCaptured() {
    if (!state_.capturedValid) {
        return dialog_.CheckDlgButton(ids::kSubtractCaptured, state_.subtractCaptured);
    }
    state_.subtractCaptured = !state_.subtractCaptured;
    dialog_.CheckDlgButton(ids::kSubtractCaptured, state_.subtractCaptured);
    handShowSubtract(state_, state_.showCaptured, state_.subtractCaptured);
    post(state_.freqPlotWindow, MSG_REDRAW);
}

void ControlPanel::requestFreqPlotRedraw() {
    switch (state_.analysisView) {
        case kViewWaterfall: return post(state_.freqPlotWindow, MSG_DRAW_WATERFALL);
        case kViewPhase: return post(state_.freqPlotWindow, MSG_DRAW_PHASE);
        case kViewHistogram: return post(state_.freqPlotWindow, MSG_DRAW_HISTOGRAM);
        default: return post(state_.freqPlotWindow, MSG_REDRAW);
    }
}

// --- Helpers ----------------------------------------------------------------

void ControlPanel::post(WindowHandle window, std::uint32_t message) {
    if (window != kNoWindow) poster_.PostMessageA(window, message, 0, 0);
}

std::optional<std::int32_t> ControlPanel::readSigned(int id) const {
    bool translated = false;
    const std::uint32_t value = dialog_.GetDlgItemInt(id, translated, true);
    if (!translated) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<std::uint32_t> ControlPanel::readUnsigned(int id) const {
    bool translated = false;
    const std::uint32_t value = dialog_.GetDlgItemInt(id, translated, false);
    if (!translated) return std::nullopt;
    return value;
}

std::uint32_t highestToneFrequency(std::uint32_t sampleRate) {
    return std::max(sampleRate / 2, 2u) - 1;
}

}  // namespace ressona
