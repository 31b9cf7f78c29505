#pragma once
// A calibration with an acoustic calibrator and the sound level meter, as the
// measurer runs them: the calibrator's recording (a file or the input) gives
// the sensitivity, written to the sensitivity file when one is named (read
// from it otherwise); the meter then runs over a file or the input with that
// sensitivity (dB SPL) or without (dBFS), logging one row per interval.

#include <ostream>

#include "measure/measure_backends.h"
#include "measure/measure_options.h"

namespace ressona {

// Runs what options.levelRun() asks for. kMeasureBadCommandLine when a file
// it reads cannot be used (nothing recorded or written), kMeasureFailed when
// the live calibrator heard no tone, the device failed or an output could not
// be written, else kMeasureDone (also after Ctrl-C ended a live meter).
int runLevels(const MeasureOptions& options, const MeasureBackends& backends, std::ostream& out,
              std::ostream& err);

}  // namespace ressona
