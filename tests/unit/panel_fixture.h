#pragma once
// A control panel on the dialog model with recording collaborators: what it
// posts and what it asks of the cycle, the file, the mixer and the dialogs.

#include <memory>
#include <string>
#include <vector>

#include "control/control_panel.h"
#include "resources/control_ids.h"
#include "resources/panel_template.h"
#include "signals/excitation.h"
#include "unit/program_fixture.h"

namespace ressona::testing {

struct RecordingPoster final : MessagePoster {
    bool PostMessageA(WindowHandle window, std::uint32_t message, WPARAM wParam, LPARAM lParam) override {
        posted.push_back({window, message, wParam, lParam});
        return true;
    }
    std::vector<Message> posted;
};

struct RecordingActions final : PanelActions {
    void startMeasurement() override { calls.push_back("start"); }
    void stopMeasurement() override { calls.push_back("stop"); }
    int saveResult() override { calls.push_back("save"); return saveStatus; }
    int readResult() override { calls.push_back("read"); return readStatus; }
    int openMixer() override { calls.push_back("openMixer"); return mixerStatus; }
    void setMixerLevels(float mic, float speaker, float line) override {
        levels = {mic, speaker, line};
        calls.push_back("levels");
    }
    void showErrorDialog(int number) override { errors.push_back(number); }
    void showAbout() override { calls.push_back("about"); }
    void closePanel() override { calls.push_back("close"); }

    int saveStatus = 0, readStatus = 0, mixerStatus = 0;
    std::vector<std::string> calls;
    std::vector<int> errors;
    std::vector<float> levels;
};

inline constexpr WindowHandle kPanelWindow = 1000;
inline constexpr WindowHandle kTimePlotWindow = 1001;
inline constexpr WindowHandle kFreqPlotWindow = 1002;

// A panel initialised as at start-up, with the arrays built for the defaults.
struct PanelHarness {
    PanelHarness() {
        MeasurementState& state = program->state;
        state.panelWindow = kPanelWindow;
        state.timePlotWindow = kTimePlotWindow;
        state.freqPlotWindow = kFreqPlotWindow;
        panel.initialiseControls();
        panel.setUpScrollBars();
        prepareExcitation(state, program->arrays, {});
        poster.posted.clear();
        actions.calls.clear();
    }
    // A user types text into an edit: its notification reaches the panel.
    void type(int id, const std::string& text) {
        dialog.typeText(id, text);
        panel.onCommand(static_cast<std::uint16_t>(id), EN_CHANGE);
    }
    // The user leaves an edit (the focus moves on): its notification reaches the panel.
    void leave(int id) {
        panel.handleMessage(Message{kPanelWindow, WM_COMMAND,
                                    makeCommandParam(static_cast<std::uint16_t>(id), EN_KILLFOCUS),
                                    static_cast<LPARAM>(dialog.handleOf(id))});
    }
    // Types into an edit and leaves it.
    void enter(int id, const std::string& text) {
        type(id, text);
        leave(id);
    }
    // A user clicks a button.
    void click(int id) {
        dialog.clickButton(id);
        panel.onCommand(static_cast<std::uint16_t>(id));
    }
    void scroll(int barId, int code, int thumb = 0) {
        panel.onScroll(dialog.handleOf(barId), code, thumb);
    }
    std::vector<std::uint32_t> postedTo(WindowHandle window) const {
        std::vector<std::uint32_t> messages;
        for (const Message& m : poster.posted) {
            if (m.window == window) messages.push_back(m.message);
        }
        return messages;
    }

    std::unique_ptr<ProgramState> program = makeProgram();
    MeasurementState& state = program->state;
    DialogModel dialog{panelTemplate()};
    RecordingPoster poster;
    RecordingActions actions;
    DroppedFiles drops;
    ControlPanel panel{*program, dialog, poster, actions, drops};
};

}  // namespace ressona::testing
