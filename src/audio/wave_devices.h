#pragma once
// The sound card's output and input devices: opened at Start with the
// formats of a pass (8-bit mono out, 16-bit mono in, or two channels in when
// a reference channel records the output wired back, at the sample rate),
// closed at Stop and at shutdown.

#include <cstdint>

#include "platform/wave/wave_service.h"

namespace ressona {

struct MeasurementState;

struct WaveDeviceState {
    HWAVEOUT waveOutHandle = 0;
    HWAVEIN waveInHandle = 0;
    bool playDeviceOpen = false;
    bool recordDeviceOpen = false;
    WAVEFORMATEX playFormat;
    WAVEFORMATEX recordFormat;
    // Samples written to the output since its open or last reset: the output
    // position at which the next written buffer's first sample is played.
    std::int64_t samplesWritten = 0;
};

// openRecordDevice's failure status (whatever the device said; see lastWaveError).
inline constexpr int kRecordOpenFailed = 2;

// Opens the output on the default device (closing one left open first) and
// points the play header at playBuffer/playBytes. Returns 0, or the device's
// result code, which is also left in state.lastWaveError.
int openPlayDevice(MeasurementState& state, WaveDeviceState& devices, WaveService& wave);

// Opens the input likewise, pointing the record header at recordBuffer/recordBytes.
// Leaves the result code in state.lastWaveError; returns 0, or 2 when the open
// failed or gave no handle.
int openRecordDevice(MeasurementState& state, WaveDeviceState& devices, WaveService& wave);

// Unprepares the play header, resets and closes the output if it is open. Returns 0.
int closePlayDevice(MeasurementState& state, WaveDeviceState& devices, WaveService& wave);

// Does nothing and returns 1 before the panel has finished initialising;
// otherwise unprepares the record header, resets and closes the input if it
// is open, and returns 0.
int closeRecordDevice(MeasurementState& state, WaveDeviceState& devices, WaveService& wave);

// The formats of a pass at the given rate; the recording has two channels
// (interleaved) when a reference channel is asked for.
WAVEFORMATEX playFormatFor(std::uint32_t sampleRate);
WAVEFORMATEX recordFormatFor(std::uint32_t sampleRate, std::uint16_t channels = 1);

// The channels a pass records: 2 with state.reference, else 1.
std::uint16_t recordChannels(const MeasurementState& state);

}  // namespace ressona
