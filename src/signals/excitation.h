#pragma once
// Makes a measurement ready: latches the analysis settings, rebuilds every
// sample array for the current length and rate, and runs the one generator the
// excitation mode selects, leaving a fresh pass in the playback buffer.

#include "platform/clock/clock.h"

namespace ressona {

struct MeasurementState;
struct SampleArrays;

inline constexpr int kPrepareDone = 0;
inline constexpr int kPrepareFailed = 1;  // out of memory: "Error 12"
// The sample length cannot be built at all ("Major error !"): the program ends.
inline constexpr int kPrepareImpossibleSize = 2;

// Uses the playback buffer of state.device (at least 2N bytes are needed; a
// smaller one fails rather than overflow). `now` seeds the white noise. A mode
// outside the table runs no generator and leaves the playback buffer as it was.
int prepareExcitation(MeasurementState& state, SampleArrays& arrays, TimeOfDay now);

// Runs the generator of state.excitationMode on the playback buffer; 0, or 1
// when the MLS tables cannot be allocated.
int runExcitationGenerator(MeasurementState& state, SampleArrays& arrays, TimeOfDay now);

// Releases every array and the sequence tables; results are no longer ready.
void releaseSampleArrays(SampleArrays& arrays);

}  // namespace ressona
