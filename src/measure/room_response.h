#pragma once
// The impulse response the room analysis takes from a measurement, read from
// the program's state after its last pass.
//
// With the MLS it is the steady period the program's analysis correlates too
// (the latest whole period of the 2N recorded samples, turned to the
// program's alignment), but without the rounding to whole 16-bit steps, which
// would bury a decay 30 dB down: it holds the steady response of any room
// that rings for less than about N samples. With the pulse it is the time
// trace the program shows (the average of the passes when averaging in
// time). With the logsweep it is the whole deconvolved response, as long as
// the sweep (the average of the sweeps): the program's N samples of it hold
// at most 0.34 s at 48000 Hz, where a hall rings for seconds.

#include <cstdint>
#include <string>
#include <vector>

namespace ressona {

struct MeasurementState;
struct TransferFunction;
struct SampleArrays;

struct RoomResponse {
    std::string source;  // "mls", "pulse" or "logsweep"
    std::uint32_t sampleRate = 0;
    std::vector<double> samples;  // in the program's units (16-bit steps)
    double roundingStep = 0.0;    // 1 when rounded to whole steps (pulse, logsweep), else 0
    std::string error;            // why there is none; empty when there is
};

// True for the excitation modes whose analysis yields an impulse response
// (the logsweep's as well: it runs as silence to the program).
bool givesImpulseResponse(std::int32_t excitationMode, bool logSweep);

// The response of the last analysed pass (see above); in Artificial mode the
// program's own time trace.
RoomResponse roomResponseOf(const MeasurementState& state, const SampleArrays& arrays,
                            bool logSweep);

// The room response of a sweep's transfer function: its impulse response
// with the `lead` samples that lie before time zero (at its end) put back in
// front, so that the response's last samples hold its decay and the noise
// after it, not the ringing before its arrival.
RoomResponse sweepRoomResponse(const TransferFunction& transfer, std::size_t lead);

}  // namespace ressona
