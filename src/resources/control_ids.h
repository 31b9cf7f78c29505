#pragma once
// The ids of the control panel's controls (dialog template 101). The
// excitation and view buttons share their ids with ExcitationMode and
// AnalysisView, so a button's id is also the setting it selects.

#include "state/measurement_state.h"
#include "state/excitation_mode.h"

namespace ressona::ids {

inline constexpr int kPanelTemplate = 101;
inline constexpr int kAboutTemplate = 103;
inline constexpr int kProgramIcon = 105;
inline constexpr int kLogoBitmap = 216;

// Sample rates.
inline constexpr int kRate8000 = 1009;
inline constexpr int kRate11025 = 1012;
inline constexpr int kRate22050 = 1013;
inline constexpr int kRate44100 = 1010;
inline constexpr int kRate48000 = 1011;

// Sample lengths 64 .. 16384 are ids 211 .. 219 in order.
inline constexpr int kLength64 = 211;
inline constexpr int kLength16384 = 219;

// Excitation modes.
inline constexpr int kPulse = kModePulse;
inline constexpr int kMls = kModeMls;
inline constexpr int kWhiteNoise = kModeWhiteNoise;
inline constexpr int kNoSignal = kModeNoSignal;
inline constexpr int kSweep = kModeSweep;
inline constexpr int kSineWave = kModeSineWave;
inline constexpr int kSquareWave = kModeSquareWave;
inline constexpr int kToneEdit = 235;
inline constexpr int kToneSlider = 240;
inline constexpr int kArtificial = 245;

// Analysis results.
inline constexpr int kViewStandardButton = kViewStandard;
inline constexpr int kViewWaterfallButton = kViewWaterfall;
inline constexpr int kViewPhaseButton = kViewPhase;
inline constexpr int kViewHistogramButton = kViewHistogram;
inline constexpr int kStepsEdit = 264;
inline constexpr int kWaterfallStartBar = 274;

// Averaging.
inline constexpr int kSingleSample = 255;
inline constexpr int kAverage = 254;
inline constexpr int kAverageEdit = 227;
inline constexpr int kAverageInTime = 229;
inline constexpr int kAverageInFrequency = 230;
inline constexpr int kSampleCountText = 228;
inline constexpr int kReset = 258;
inline constexpr int kThirdOctave = 280;

// Time.
inline constexpr int kDelayBar = 236;
inline constexpr int kDelayText = 237;
inline constexpr int kLowerCutBar = 248;
inline constexpr int kUpperCutBar = 249;
inline constexpr int kHalfHanning = 250;

// Buttons.
inline constexpr int kStart = 207;
inline constexpr int kStop = 208;
inline constexpr int kExit = 1007;
inline constexpr int kAbout = 1006;

// Mixer.
inline constexpr int kMicBar = 243;
inline constexpr int kSpeakerBar = 244;
inline constexpr int kLineBar = 247;
inline constexpr int kMixerText = 239;
inline constexpr int kInputMic = 270;
inline constexpr int kInputLine = 271;

// Plot scaling.
inline constexpr int kFixDbScale = 231;
inline constexpr int kDbHighEdit = 233;
inline constexpr int kDbLowEdit = 232;
inline constexpr int kShiftBar = 272;
inline constexpr int kShiftEdit = 273;
inline constexpr int kFreqLowEdit = 281;
inline constexpr int kFreqHighEdit = 282;

// Monitor.
inline constexpr int kLatencyText = 257;
inline constexpr int kTriggerText = 267;

// Storage.
inline constexpr int kCaptureCurrent = 259;
inline constexpr int kShowCaptured = 260;
inline constexpr int kSubtractCaptured = 268;
inline constexpr int kFileNameEdit = 261;
inline constexpr int kSaveAs = 262;
inline constexpr int kReadFrom = 263;

}  // namespace ressona::ids
