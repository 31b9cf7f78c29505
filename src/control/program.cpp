#include "control/program.h"

#include "analysis/fft.h"
#include "analysis/response_analysis.h"
#include "analysis/smoothing.h"
#include "audio/mixer_control.h"
#include "audio/wave_pass.h"
#include "control/device_memory.h"
#include "control/error_dialogs.h"
#include "resources/control_ids.h"
#include "resources/error_dialog_templates.h"
#include "resources/panel_template.h"
#include "signals/excitation.h"
#include "state/hand_over.h"
#include "storage/result_file.h"

namespace ressona {

namespace {

constexpr const char* kPanelClass = "RessonaPanel";

// "Major error !" is not one of the numbered dialogs: the program ends after it.
const MessageDialogTemplate kMajorErrorDialog{
    0, "Ressona", "Ressona: Error", "Major error !", {}, {}, {}, {}};

}  // namespace

Program::Program(ProgramServices& services)
    : services_(services),
      program_(std::make_unique<ProgramState>()),
      dialog_(panelTemplate()),
      panel_(*program_, dialog_, queue_, *this, drops_),
      cycle_(*program_, dialog_, panel_, queue_, *this, *this, services.clock,
             [this] { analyse(); }),
      timePlotEnvironment_{program_->state, program_->arrays, queue_, services.timePlotSurface},
      freqPlotEnvironment_{program_->state, program_->arrays, queue_, services.freqPlotSurface} {
    tools_.transform = [this](OneBasedSpan<ComplexValue> data) {
        fft(program_->transform, data.raw(), static_cast<std::int32_t>(data.size()), -1);
    };
    tools_.leadingTransform = [this](OneBasedSpan<ComplexValue> data,
                                     std::span<ComplexValue> leading) {
        fftLeading(program_->transform, data.raw(), static_cast<std::int32_t>(data.size()), -1,
                   leading);
    };
    tools_.smooth = [this](OneBasedSpan<float> magnitudes, float) {
        smoothSpectrum(program_->arrays, magnitudes);
    };
}

Program::~Program() {
    if (program_->state.panelWindow != kNoWindow && !closed()) closeCleanUp();
}

bool Program::start() {
    const WindowHandle panel = queue_.CreateWindowA(
        kPanelClass, [this](WindowHandle w, std::uint32_t m, WPARAM wp, LPARAM lp) {
            return panelProcedure(w, m, wp, lp);
        });
    program_->state.panelWindow = panel;
    queue_.SendMessageA(panel, WM_INITDIALOG, 0, 0);
    return !closed();
}

LRESULT Program::panelProcedure(WindowHandle, std::uint32_t message, WPARAM wParam, LPARAM lParam) {
    MeasurementState& state = program_->state;
    switch (message) {
        case WM_INITDIALOG:
            return initialise() ? 1 : 0;
        case WM_COMMAND:
            if (commandId(wParam) == CMD_CAPTURE_DONE) {
                cycle_.onCaptureDone();
                return 1;
            }
            return panel_.handleMessage({state.panelWindow, message, wParam, lParam}) ? 1 : 0;
        case WM_CLOSE:
            closeCleanUp();
            return 1;
        case WM_DESTROY:
            // Answered with the close message, so the clean-up runs exactly once.
            if (!state.panelClosed) queue_.SendMessageA(state.panelWindow, WM_CLOSE, 0, 0);
            return 1;
        default:
            return panel_.handleMessage({state.panelWindow, message, wParam, lParam}) ? 1 : 0;
    }
}

// --- Start-up and shutdown ---------------------------------------------------

bool Program::initialise() {
    MeasurementState& state = program_->state;
    state.panelClosed = false;
    state.panelWindowMixer = state.panelWindow;
    state.sampleLength = 2048;
    state.device.playBytes = 2 * state.sampleLength;
    state.device.recordBytes = 4 * state.sampleLength;
    if (!allocateDeviceMemory()) return false;

    panel_.initialiseControls();
    panel_.setUpScrollBars();
    state.panelWindowAudio = state.panelWindow;
    if (openMixer() != kMixerDone) showErrorDialog(2);
    state.panelInitialised = true;
    handFixDbScale(state, state.fixDbScale);
    handDbRange(state, state.dbLow, state.dbHigh, state.shiftDb);
    handFrequencyRange(state, state.freqLowHz, state.freqHighHz);
    panel_.showPlotLimits();
    if (!createPlotWindows()) {
        closeCleanUp();
        return false;
    }

    const int prepared = prepareExcitation(state, program_->arrays, services_.clock.timeOfDay());
    if (prepared == kPrepareImpossibleSize) {
        endWithMajorError();
        return false;
    }
    if (prepared != kPrepareDone) {
        showErrorDialog(12);
        closePanel();
        return false;
    }
    return true;
}

bool Program::allocateDeviceMemory() {
    MeasurementState& state = program_->state;
    AllocationBudget& budget = program_->arrays.allocationBudget;
    if (!allocatePlayMemory(state.device, budget)) {
        showErrorDialog(5);
        closePanel();
        return false;
    }
    if (!allocateRecordMemory(state.device, budget)) {
        showErrorDialog(6);
        closePanel();
        return false;
    }
    return true;
}

// The plot windows sit above the panel: each 14/15 of the screen wide and a
// third of it high (less on a screen too low for the panel under them), the
// time plot at the top, the frequency plot below it.
bool Program::createPlotWindows() {
    MeasurementState& state = program_->state;
    const WindowLayout layout = windowLayout(services_.screenWidth, services_.screenHeight, 0);
    state.plotWidth = layout.plotWidth;
    state.plotHeight = layout.plotHeight;
    state.freqPlotY = layout.freqPlotTop;
    state.timePlotWindow = createTimePlotWindow(program_->timePlot, program_->freqPlot.drawnView,
                                                timePlotEnvironment_);
    if (state.timePlotWindow == kNoWindow) return false;
    state.freqPlotWindow = createFreqPlotWindow(program_->freqPlot, tools_, freqPlotEnvironment_);
    return state.freqPlotWindow != kNoWindow;
}

WindowLayout Program::placeWindows(int screenWidth, int screenHeight, int panelHeight) {
    MeasurementState& state = program_->state;
    const WindowLayout layout = windowLayout(screenWidth, screenHeight, panelHeight);
    state.plotWidth = layout.plotWidth;
    state.plotHeight = layout.plotHeight;
    state.freqPlotY = layout.freqPlotTop;
    return layout;
}

void Program::closeCleanUp() {
    MeasurementState& state = program_->state;
    if (state.panelClosed) return;
    if (state.timePlotWindow != kNoWindow) queue_.DestroyWindow(state.timePlotWindow);
    if (state.freqPlotWindow != kNoWindow) queue_.DestroyWindow(state.freqPlotWindow);
    state.timePlotWindow = kNoWindow;
    state.freqPlotWindow = kNoWindow;
    if (state.measuring) cycle_.stopMeasurement();
    releaseSampleArrays(program_->arrays);
    closePlayDevice();
    closeRecordDevice();
    restoreMixer(program_->mixer, services_.mixer);
    closeMixer(program_->mixer, services_.mixer);
    freeDeviceMemory(state.device);
    state.panelClosed = true;
    queue_.PostQuitMessage(majorError_ ? 1 : 0);
}

// --- Driving the panel as a user would -------------------------------------------

void Program::click(int controlId) {
    dialog_.clickButton(controlId);
    queue_.PostMessageA(panelWindow(), WM_COMMAND,
                        makeCommandParam(static_cast<std::uint16_t>(controlId), BN_CLICKED),
                        static_cast<LPARAM>(dialog_.handleOf(controlId)));
}

void Program::type(int controlId, std::string_view text) {
    dialog_.typeText(controlId, text);
    queue_.PostMessageA(panelWindow(), WM_COMMAND,
                        makeCommandParam(static_cast<std::uint16_t>(controlId), EN_CHANGE),
                        static_cast<LPARAM>(dialog_.handleOf(controlId)));
}

void Program::leave(int controlId) {
    queue_.PostMessageA(panelWindow(), WM_COMMAND,
                        makeCommandParam(static_cast<std::uint16_t>(controlId), EN_KILLFOCUS),
                        static_cast<LPARAM>(dialog_.handleOf(controlId)));
}

void Program::scroll(int barId, int code, int thumbPosition) {
    const bool vertical = dialog_.templateOf(barId).kind == ControlKind::VerticalScrollBar;
    const auto wParam =
        static_cast<WPARAM>((static_cast<std::uint32_t>(code) & 0xFFFF) |
                            (static_cast<std::uint32_t>(thumbPosition & 0xFFFF) << 16));
    queue_.PostMessageA(panelWindow(), vertical ? WM_VSCROLL : WM_HSCROLL, wParam,
                        static_cast<LPARAM>(dialog_.handleOf(barId)));
}

void Program::pumpMessages(int rounds) {
    for (int i = 0; i < rounds && queue_.dispatchPending() > 0; ++i) {
    }
}

// --- Panel actions ------------------------------------------------------------------

void Program::startMeasurement() {
    cycle_.startMeasurement();
}

void Program::stopMeasurement() {
    cycle_.stopMeasurement();
}

int Program::saveResult() {
    return ressona::saveResult(program_->state, program_->arrays);
}

int Program::readResult() {
    if (services_.readResponse) return services_.readResponse(program_->state, program_->arrays);
    return ressona::readResult(program_->state, program_->arrays);
}

int Program::openMixer() {
    return ressona::openMixer(program_->state, program_->mixer, services_.mixer, services_.dialogs,
                              *this);
}

void Program::setMixerLevels(float mic, float speaker, float line) {
    if (mixerPutBack_) {
        // The mixer chosen before, opened afresh (its server may have been
        // restarted since) and set up again.
        mixerPutBack_ = false;
        MixerState& mixer = program_->mixer;
        const bool reopened = !mixer.mixerChosen ||
                              services_.mixer.mixerOpen(&mixer.mixerHandle, mixer.mixerIndex, 0, 0,
                                                        MIXER_OBJECTF_MIXER) == MMSYSERR_NOERROR;
        if (!reopened || openMixer() != kMixerDone) showErrorDialog(2);
    }
    ressona::setMixerLevels(program_->state, program_->mixer, services_.mixer, mic, speaker, line);
}

void Program::showErrorDialog(int number) {
    ressona::showErrorDialog(services_.dialogs, program_->state.panelWindow,
                             errorTemplateOfNumber(number));
}

void Program::showAbout() {
    if (services_.showAbout) services_.showAbout();
}

void Program::closePanel() {
    queue_.SendMessageA(program_->state.panelWindow, WM_CLOSE, 0, 0);
}

// --- Cycle devices ---------------------------------------------------------------

int Program::openPlayDevice() {
    return ressona::openPlayDevice(program_->state, program_->wave, services_.wave);
}

int Program::openRecordDevice() {
    return ressona::openRecordDevice(program_->state, program_->wave, services_.wave);
}

int Program::closePlayDevice() {
    return ressona::closePlayDevice(program_->state, program_->wave, services_.wave);
}

int Program::closeRecordDevice() {
    return ressona::closeRecordDevice(program_->state, program_->wave, services_.wave);
}

int Program::runPass() {
    return ressona::runPass(program_->state, program_->wave, services_.wave, services_.clock,
                            queue_);
}

void Program::putMixerBack() {
    restoreMixer(program_->mixer, services_.mixer);
    closeMixer(program_->mixer, services_.mixer);
    mixerPutBack_ = true;
}

// --- Feedback ------------------------------------------------------------------------

void Program::showWaveDeviceError(std::uint32_t resultCode) {
    ressona::showWaveDeviceError(services_.dialogs, program_->state.panelWindow, resultCode);
}

void Program::showWaitCursor(bool waiting) {
    if (services_.showWaitCursor) services_.showWaitCursor(waiting);
}

void Program::restoreWindows() {
    if (services_.restoreWindows) services_.restoreWindows();
}

void Program::endWithMajorError() {
    majorError_ = true;
    services_.dialogs.runMessageDialog(kMajorErrorDialog, program_->state.panelWindow);
    closePanel();
}

bool Program::SetDlgItemTextA(WindowHandle dialog, int itemId, const char* text) {
    if (dialog != program_->state.panelWindow || !dialog_.hasControl(itemId)) return false;
    dialog_.SetDlgItemTextA(itemId, text != nullptr ? text : "");
    return true;
}

void Program::analyse() {
    MeasurementState& state = program_->state;
    analyseCapture(state, program_->arrays, program_->transform, state.device.recordBuffer,
                   state.recordDelaySamples, state.artificialMode, state.sampleCounter,
                   state.latencySamples, &program_->analysisExtras);
}

}  // namespace ressona
