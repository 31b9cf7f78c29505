#pragma once
// Everything the program keeps while it runs, in one place: the measurement
// state, the sample arrays (with the sequence tables and the noise source),
// the wave devices and the mixer.
// main() makes one; a test makes a fresh one in one line.

#include "audio/mixer_state.h"
#include "audio/wave_devices.h"
#include "control/measurement_state.h"
#include "signals/sample_arrays.h"

namespace ressona {

struct ProgramState {
    MeasurementState state;
    SampleArrays arrays;
    WaveDeviceState wave;  // the open output and input devices
    MixerState mixer;      // the mixer in use, its level slots and restore list
};

}  // namespace ressona
