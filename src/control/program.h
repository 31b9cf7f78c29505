#pragma once
// The program as a whole, without its windows' skin: the control panel (its
// dialog model and procedure), the measurement cycle, the two plot windows on
// the message queue, and the sound card, dialogs and drawing surfaces it runs
// on. The desktop program puts Qt widgets around it; the headless measurer
// and the tests drive it through the same messages a user's clicks make.

#include <cstdint>
#include <functional>
#include <memory>

#include "control/control_panel.h"
#include "control/cycle_devices.h"
#include "control/measurement_cycle.h"
#include "control/panel_actions.h"
#include "control/program_state.h"
#include "control/window_layout.h"
#include "platform/canvas/canvas.h"
#include "platform/dialog/dialog_item_text.h"
#include "platform/dialog/error_dialog_service.h"
#include "platform/messages/message_queue.h"
#include "platform/mixer/mixer_service.h"
#include "platform/wave/wave_service.h"
#include "plots/plot_environment.h"

namespace ressona {

// What the program runs on. Everything is borrowed and must outlive the program.
struct ProgramServices {
    WaveService& wave;
    MixerService& mixer;
    Clock& clock;
    DialogService& dialogs;
    WindowSurface& timePlotSurface;
    WindowSurface& freqPlotSurface;
    int screenWidth = 1024;   // pixels: the plot windows' geometry follows the screen
    int screenHeight = 768;
    // Optional: the About box, the hourglass cursor, the end after "Major error !".
    std::function<void()> showAbout;
    std::function<void(bool)> showWaitCursor;
    // Optional: restores minimised plot windows and brings the panel back (at Start).
    std::function<void()> restoreWindows = nullptr;
    // Optional: reads the file named for "Read From" as the captured curve in
    // place of the saved-file reader, answering as readResult does (0; -1 not
    // opened, "Error 8"; -2 not readable, "Error 9").
    std::function<int(MeasurementState&, SampleArrays&)> readResponse = nullptr;
};

class Program final : private PanelActions, private CycleDevices, private UserFeedback,
                      private DialogItemText {
public:
    explicit Program(ProgramServices& services);
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Creates the panel's window and runs its initialisation: device memory,
    // controls, scroll bars, mixer, plot windows, first excitation. False when
    // the initialisation failed and closed the panel (its dialog was shown).
    bool start();
    // The panel's window procedure.
    LRESULT panelProcedure(WindowHandle window, std::uint32_t message, WPARAM wParam, LPARAM lParam);

    // Sends the panel a click on a button as a user's click would: the check
    // marks change as they do on screen, then the panel's command runs.
    void click(int controlId);
    // Lays the plot windows out again for a panel that takes panelHeight pixels
    // of the screen's height (control/window_layout.h), before they are shown;
    // returns the layout, the panel's place included.
    WindowLayout placeWindows(int screenWidth, int screenHeight, int panelHeight);

    // A user types text into an edit.
    void type(int controlId, std::string_view text);
    // The user leaves an edit (the focus moves on): it then shows the value in force.
    void leave(int controlId);
    // A user moves a scroll bar (code SB_..., thumb position for SB_THUMBTRACK).
    void scroll(int barId, int code, int thumbPosition = 0);
    // Dispatches queued messages until none is left, or at most `rounds` rounds.
    void pumpMessages(int rounds = 1000);

    ProgramState& program() { return *program_; }
    MeasurementState& state() { return program_->state; }
    SampleArrays& arrays() { return program_->arrays; }
    MessageQueue& queue() { return queue_; }
    DialogModel& dialog() { return dialog_; }
    DroppedFiles& drops() { return drops_; }
    const SpectrumTools& spectrumTools() const { return tools_; }
    WindowHandle panelWindow() const { return program_->state.panelWindow; }
    bool closed() const { return program_->state.panelClosed; }
    bool majorErrorShown() const { return majorError_; }
    // The result code of the device failure that ended the last run (0: none).
    std::uint32_t deviceFailure() const { return cycle_.deviceFailure(); }

private:
    // Panel actions.
    void startMeasurement() override;
    void stopMeasurement() override;
    int saveResult() override;
    int readResult() override;
    int openMixer() override;
    void setMixerLevels(float mic, float speaker, float line) override;
    void showErrorDialog(int number) override;
    void showAbout() override;
    void closePanel() override;
    // Cycle devices.
    int openPlayDevice() override;
    int openRecordDevice() override;
    int closePlayDevice() override;
    int closeRecordDevice() override;
    int runPass() override;
    void putMixerBack() override;
    // User feedback.
    void showWaveDeviceError(std::uint32_t resultCode) override;
    void showWaitCursor(bool waiting) override;
    void restoreWindows() override;
    void endWithMajorError() override;
    // Dialog item text (the mixer's status line and label).
    bool SetDlgItemTextA(WindowHandle dialog, int itemId, const char* text) override;

    bool initialise();
    bool allocateDeviceMemory();
    bool createPlotWindows();
    void closeCleanUp();
    void analyse();

    ProgramServices& services_;
    std::unique_ptr<ProgramState> program_;
    MessageQueue queue_;
    DialogModel dialog_;
    DroppedFiles drops_;
    ControlPanel panel_;
    MeasurementCycle cycle_;
    SpectrumTools tools_;
    PlotEnvironment timePlotEnvironment_;
    PlotEnvironment freqPlotEnvironment_;
    bool majorError_ = false;
    bool mixerPutBack_ = false;  // after a device failure, until the mixer is set up again
};

}  // namespace ressona
