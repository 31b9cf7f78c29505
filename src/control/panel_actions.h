#pragma once
// What the control panel asks of the rest of the program: the measurement
// cycle, the result file, the mixer, the dialogs and closing. The program's
// assembly implements it over the real parts; tests record the calls.

namespace ressona {

class PanelActions {
public:
    virtual ~PanelActions() = default;
    virtual void startMeasurement() = 0;
    virtual void stopMeasurement() = 0;
    // Result file operations; their statuses are those of the file code (0, -1, -2).
    virtual int saveResult() = 0;
    virtual int readResult() = 0;
    // 0 when the mixer is set up, anything else when it failed.
    virtual int openMixer() = 0;
    // Fractions 0..1 of full level for MIC, SPK and LINE.
    virtual void setMixerLevels(float mic, float speaker, float line) = 0;
    virtual void showErrorDialog(int number) = 0;
    virtual void showAbout() = 0;
    // Sends the panel its close message (the close clean-up runs once).
    virtual void closePanel() = 0;
};

}  // namespace ressona
