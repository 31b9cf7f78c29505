#pragma once
// Everything the program keeps while it runs, in one place: the measurement
// state, the sample arrays (with the sequence tables and the noise source),
// the transform with its cache of step factors, the two plot windows' records,
// the wave devices and the mixer.
// main() makes one; a test makes a fresh one in one line.

#include "analysis/analysis_extras.h"
#include "analysis/fft.h"
#include "audio/mixer_state.h"
#include "audio/wave_devices.h"
#include "state/measurement_state.h"
#include "plots/freq_plot.h"
#include "plots/time_plot.h"
#include "signals/sample_arrays.h"

namespace ressona {

struct ProgramState {
    MeasurementState state;
    SampleArrays arrays;
    FourierTransform transform;
    TimePlotState timePlot;
    FreqPlotState freqPlot;
    WaveDeviceState wave;  // the open output and input devices
    MixerState mixer;      // the mixer in use, its level slots and restore list
    // What the headless measurer adds to each analysis.
    AnalysisExtras analysisExtras;
};

}  // namespace ressona
