#pragma once
// The mixer set-up: finds the mixer (asking the user when there are
// several), routes the wave output to the speakers and the chosen input to
// the recording, silences every other source, records every control it
// changes so that it can be put back at exit, and drives the three level
// controls from the panel's scroll bars.

#include "audio/mixer_state.h"

namespace ressona {

struct MeasurementState;
class DialogService;
class DialogItemText;

// Control panel items the set-up writes: the status line and the mixer's name.
inline constexpr int kMixerStatusText = 267;
inline constexpr int kMixerNameLabel = 239;

inline constexpr int kMixerDone = 0;
inline constexpr int kMixerFailed = 1;  // "No MIXER!" or "Mixer Error %d" is in the status line

// Sets the mixer up for state.mixerInputMic ("MIC" or "LINE"), starting the
// restore list afresh. The mixer is chosen once per run (the choice is asked
// again after a failed one). On the first failing call it writes the message
// to the panel's status line and returns kMixerFailed; the changes made so far
// stay, and stay in the restore list. Capacities: the first kMaxMixers mixers
// are offered, the first kMaxLinesWalked destinations and sources of each and
// the first kMaxControlsPerLine controls of a line are treated; a select
// control with more than kMaxSelectItems items, and every control once
// kMaxRestoreEntries are recorded, is left exactly as it is.
int openMixer(MeasurementState& state, MixerState& mixer, MixerService& service,
              DialogService& dialogs, DialogItemText& panelText);

// Writes the three levels, each a fraction 0..1 of its control's range
// (truncated): the microphone (its minimum while "LINE" is selected), the wave
// output, and the line (its minimum while "MIC" is selected). Results are not
// examined; a slot never filled simply fails. Returns 0.
int setMixerLevels(const MeasurementState& state, MixerState& mixer, MixerService& service,
                   float micFraction, float outputFraction, float lineFraction);

// Writes back every recorded control, oldest first; results are not examined.
void restoreMixer(MixerState& mixer, MixerService& service);

// Closes the mixer in use, if any.
void closeMixer(MixerState& mixer, MixerService& service);

}  // namespace ressona
