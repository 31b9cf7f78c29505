#pragma once
// The control panel's procedure: what every button, edit, scroll bar and
// dropped file does to the settings, the hand-over copies and the plots. It
// works on the dialog model only; the Qt skin mirrors that model.

#include <cstdint>
#include <optional>
#include <string_view>

#include "control/panel_actions.h"
#include "control/program_state.h"
#include "platform/dialog/dialog_model.h"
#include "platform/dialog/dropped_files.h"
#include "platform/messages/message.h"

namespace ressona {

class ControlPanel {
public:
    ControlPanel(ProgramState& program, DialogModel& dialog, MessagePoster& poster,
                 PanelActions& actions, DroppedFiles& drops);

    // The panel's window procedure for commands, scrolls and drops; true when handled.
    bool handleMessage(const Message& message);
    // A command from a control; an edit's notification is EN_CHANGE while it
    // is written to and EN_KILLFOCUS when the user leaves it.
    void onCommand(std::uint16_t id, std::uint16_t notification = BN_CLICKED);
    // A scroll message from the bar with this handle: code and thumb position.
    void onScroll(WindowHandle bar, std::int32_t code, std::int32_t thumbPosition);
    void onDropFiles(HDROP drop);

    // Sets every control from the settings (the panel's initialisation, before the mixer).
    void initialiseControls();
    // Sets up the nine scroll bars with their ranges, pages and positions.
    void setUpScrollBars();
    // Writes the dB and frequency limits into their edits (after the hand-over at start-up).
    void showPlotLimits();
    // Posts the frequency plot the message of the selected view.
    void requestFreqPlotRedraw();

    // Running and idle arrangements of the controls.
    void arrangeForRun();
    void arrangeForIdle();

    // The captured response: Capture Current, Show and Subtract.
    void captureCurrentResponse();
    void toggleShowCaptured();
    void toggleSubtractCaptured();

private:
    void chooseSampleRate(std::uint32_t rate);
    void chooseSampleLength(std::uint32_t length);
    void afterRateOrLengthChange();
    void chooseExcitation(std::int32_t mode);
    void chooseView(std::int32_t view);
    void chooseAveraging(bool on);
    void toggleFixDbScale();
    void readFile();
    void chooseInput(bool mic);
    void applyMixerLevels();

    // The number edits: each stores the edit's value within its limits, and
    // a text that is no number leaves the value in force as it is.
    void onToneEdit();
    void onAverageEdit();
    void onDbLowEdit();
    void onDbHighEdit();
    void onFreqLowEdit();
    void onFreqHighEdit();
    void onShiftEdit();
    void onStepsEdit();
    void onFileNameEdit();
    // When the user leaves a number edit it shows the value in force.
    void showValueInForce(int editId);
    void saveFile();

    std::int32_t limitScrollPosition(int barId, std::int32_t position) const;
    void runScrollAction(int barId, std::int32_t position);
    ScrollBarRecord* scrollRecord(int barId);
    void setScrollBar(int barId, std::int32_t minimum, std::int32_t maximum, std::uint32_t page,
                      std::int32_t position);
    void setScrollPosition(int barId, std::int32_t position);
    void showDelay();
    void setFileName(std::string_view name);
    void post(WindowHandle window, std::uint32_t message);
    // The edit's number, or nothing when its text is none.
    std::optional<std::int32_t> readSigned(int id) const;
    std::optional<std::uint32_t> readUnsigned(int id) const;

    ProgramState& program_;
    MeasurementState& state_;
    DialogModel& dialog_;
    MessagePoster& poster_;
    PanelActions& actions_;
    DroppedFiles& drops_;
    // The name given last is longer than the stored name holds: it is
    // refused by "Save as " and "Read From" rather than cut.
    bool fileNameTooLong_ = false;
};

// The highest tone the panel accepts: one below half the rate (a sine at half
// the rate is sampled at its zeros and plays a constant).
std::uint32_t highestToneFrequency(std::uint32_t sampleRate);

}  // namespace ressona
