#pragma once
// The measurement cycle's view of the sound card: the two wave devices, one
// play-and-record pass, and the three mixer levels. The program implements it
// over the audio code and whichever wave and mixer backend it runs on.

#include <cstdint>

namespace ressona {

class CycleDevices {
public:
    virtual ~CycleDevices() = default;
    // 0, or the device's result code (also left in lastWaveError).
    virtual int openPlayDevice() = 0;
    virtual int openRecordDevice() = 0;
    // 0, or non-zero when the device could not be closed.
    virtual int closePlayDevice() = 0;
    virtual int closeRecordDevice() = 0;
    // Plays and records one pass and posts its completion to the panel;
    // non-zero (and nothing posted) when a device call failed.
    virtual int runPass() = 0;
    // Fractions 0..1 of full level for MIC, SPK and LINE.
    virtual void setMixerLevels(float mic, float speaker, float line) = 0;
};

// What the cycle tells the user besides the panel's own texts.
class UserFeedback {
public:
    virtual ~UserFeedback() = default;
    virtual void showErrorDialog(int number) = 0;
    // The dialog that belongs to a failed device open's result code.
    virtual void showWaveDeviceError(std::uint32_t resultCode) = 0;
    // The hourglass while a capture is analysed, the previous cursor afterwards.
    virtual void showWaitCursor(bool waiting) = 0;
    // An impossible sample length: the program reports "Major error !" and ends.
    virtual void endWithMajorError() = 0;
    // Start brings the plot windows back when they are minimised, and the panel
    // to the front, so a run never goes on unseen. Nothing to do without windows.
    virtual void restoreWindows() {}
};

}  // namespace ressona
