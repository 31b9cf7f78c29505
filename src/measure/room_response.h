#pragma once
// The impulse response the room analysis takes from a measurement, read from
// the program's state after its last pass.
//
// With the MLS it is not the program's own response: that one correlates the
// capture's first period, where a room that rings longer than the record
// delay (at most N/2 samples) has not yet settled into its steady response to
// the repeating sequence, and it rounds to whole 16-bit steps. Together these
// bury a decay 30 dB down (a room of 0.2 s at 16384 samples and 48000 Hz
// keeps about 30 dB of its decay). Here the capture's last period (the last
// N - 1 of its 2N samples, which the analysis leaves in place) is correlated
// with the sequence, without rounding, and turned to the program's alignment:
// it holds the steady response of any room that rings for less than about N
// samples. With the pulse and the logsweep (whose deconvolved response the
// program analyses as its capture) it is the time trace the program shows
// (the average of the passes when averaging in time).

#include <cstdint>
#include <string>
#include <vector>

namespace ressona {

struct MeasurementState;
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

}  // namespace ressona
