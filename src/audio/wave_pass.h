#pragma once
// One play-and-record pass: records 2N samples while playing the 2N-sample
// excitation, estimates the offset between recording and playback from the
// performance counter, and posts CMD_CAPTURE_DONE to the control panel.

#include <chrono>
#include <cstdint>

namespace ressona {

struct MeasurementState;
struct WaveDeviceState;
class WaveService;
class Clock;
class MessagePoster;

inline constexpr int kPassDone = 0;
inline constexpr int kPassFailed = 1;  // a wave call failed or a buffer timed out; nothing posted

// How long a pass may wait for each buffer before it gives up: this many
// pass durations plus the allowance for the devices to start.
inline constexpr int kPassTimeoutPasses = 4;
inline constexpr std::chrono::milliseconds kPassTimeoutAllowance{1000};

// Runs one pass on the open devices over state.device's buffers (playBytes
// codes out, recordBytes bytes in), blocking until both buffers are done.
// Sets state.latencySamples and posts WM_COMMAND CMD_CAPTURE_DONE (lParam 0)
// to state.panelWindowAudio; returns kPassDone. Any failing call returns
// kPassFailed at once without posting. A buffer that is not done within
// kPassTimeoutPasses pass durations plus kPassTimeoutAllowance fails the pass
// too, after both devices have been reset so that neither touches the
// buffers any more. The waits pause the clock between looks at the flags.
int runPass(MeasurementState& state, WaveDeviceState& devices, WaveService& wave, Clock& clock,
            MessagePoster& poster);

}  // namespace ressona
