#pragma once
// One play-and-record pass: records 2N samples while playing the 2N-sample
// excitation, estimates the offset between recording and playback from the
// devices' own clocks (latency_estimate.h), and posts CMD_CAPTURE_DONE to the
// control panel.

#include <chrono>
#include <cstdint>

namespace ressona {

struct MeasurementState;
struct WaveDeviceState;
class WaveService;
class Clock;
class MessagePoster;

inline constexpr int kPassDone = 0;
inline constexpr int kPassFailed = 1;  // a wave call failed; nothing posted
// A device failed during the pass: it reported its stream broken, gone or
// under- or overrun, a buffer never completed, or the recording came back
// short. Nothing is posted; the failure's result code is in lastWaveError
// (WAVERR_DEVICEFAILED for a buffer that timed out or came back short).
inline constexpr int kPassDeviceFailed = 2;

// True for the result codes with which a device says it has failed or gone.
bool isDeviceFailure(std::uint32_t resultCode);

// How long a pass may wait for each buffer before it gives up: this many
// pass durations plus the allowance for the devices to start.
inline constexpr int kPassTimeoutPasses = 4;
inline constexpr std::chrono::milliseconds kPassTimeoutAllowance{1000};

// Runs one pass on the open devices over state.device's buffers (playBytes
// codes out, recordBytes bytes in), blocking until both buffers are done.
// Recording starts first; when the input moves in a server's cycles, the
// playback is written just after a cycle has arrived. Both positions are read
// right after the write and at every look at the flags while both buffers
// run. Sets state.latencySamples and posts WM_COMMAND CMD_CAPTURE_DONE
// (lParam 0) to state.panelWindowAudio; returns kPassDone. A call that fails
// returns at once without posting: kPassDeviceFailed when its code says the
// device failed (isDeviceFailure), kPassFailed otherwise. A buffer that is not
// done within kPassTimeoutPasses pass durations plus kPassTimeoutAllowance,
// and a recording that comes back short, give kPassDeviceFailed. Every
// failure after the start resets both devices first, so that neither touches
// the buffers any more. The waits pause the clock between looks.
int runPass(MeasurementState& state, WaveDeviceState& devices, WaveService& wave, Clock& clock,
            MessagePoster& poster);

}  // namespace ressona
