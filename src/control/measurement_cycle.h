#pragma once
// The measurement cycle: Start opens the devices, prepares the excitation and
// runs the first pass; each completed pass posts CMD_CAPTURE_DONE to the panel,
// whose handling analyses the capture, updates the panel and the plots, lets
// the panel's waiting messages run, and starts the next pass. Stop closes the
// devices, so the next pass fails without posting and the chain ends. A
// device that fails during a pass ends the run: nothing of that pass is
// analysed, the devices close, the mixer is put back, and the dialog that
// fits the failure is shown.

#include <cstdint>
#include <functional>

#include "control/control_panel.h"
#include "control/program_state.h"
#include "control/cycle_devices.h"
#include "platform/clock/clock.h"
#include "platform/messages/message_queue.h"

namespace ressona {

// The numbered dialog for a device that failed during a pass, by its result
// code: the card gone (MMSYSERR_BADDEVICEID) "Error 52", the sound server
// gone (MMSYSERR_NODRIVER) "Error 53", anything else (a broken stream, an
// under- or overrun, a buffer that never completed) "Error 4".
int passFailureErrorNumber(std::uint32_t resultCode);

class MeasurementCycle {
public:
    using Analyser = std::function<void()>;  // analyses the capture in the record buffer

    MeasurementCycle(ProgramState& program, DialogModel& dialog, ControlPanel& panel,
                     MessageQueue& queue, CycleDevices& card, UserFeedback& feedback, Clock& clock,
                     Analyser analyse);

    void startMeasurement();
    void stopMeasurement();
    // The result code of the device failure that ended the last run; 0 when
    // it was not ended by one (or is still on).
    std::uint32_t deviceFailure() const { return deviceFailure_; }
    // The handling of CMD_CAPTURE_DONE.
    void onCaptureDone();

private:
    void prepareHzSlider();
    bool openDevices();
    void showResults();
    void drainPanelMessages();
    void readBackPlotRange();
    void runPass();
    void armPassCheck();
    void endRunAfterDeviceFailure();

    ProgramState& program_;
    MeasurementState& state_;
    DialogModel& dialog_;
    ControlPanel& panel_;
    MessageQueue& queue_;
    CycleDevices& card_;
    UserFeedback& feedback_;
    Clock& clock_;
    Analyser analyse_;
    // Counts Starts, so a capture's handling knows whether its run is still the current one.
    std::uint64_t runNumber_ = 0;
    // Completions posted by passes and not handled yet, and how many of those
    // (the oldest) belong to a run that was stopped and started again since.
    int completionsQueued_ = 0;
    int staleCompletions_ = 0;
    std::uint32_t deviceFailure_ = 0;
};

}  // namespace ressona
