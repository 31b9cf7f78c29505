#pragma once
// Everything the program keeps while it runs, in one place: the measurement
// state, the sample arrays (with the sequence tables and the noise source) and
// the transform with its cache of step factors.
// main() makes one; a test makes a fresh one in one line.

#include "analysis/fft.h"
#include "control/measurement_state.h"
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
};

}  // namespace ressona
