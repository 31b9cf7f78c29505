#pragma once
// The headless measurement: the whole program on a sound card, driven through
// the control panel as a user would drive it. The settings are applied by the
// clicks, typing and scroll-bar moves a user would make, Start is pressed,
// the passes run through the message queue, Stop is pressed while the last
// pass plays (so exactly the asked-for number of passes is played and
// analysed), then the captured curve, Subtract and Save are worked as on the
// panel, the pictures drawn, and a report written.

#include <ostream>
#include <string>
#include <vector>

#include "measure/measure_backends.h"
#include "measure/measure_options.h"

namespace ressona {

inline constexpr int kMeasureDone = 0;
// An error dialog was shown, the run stopped before its last pass, or an
// output could not be written.
inline constexpr int kMeasureFailed = 1;
inline constexpr int kMeasureBadCommandLine = 2;

// Runs the measurement the options describe on the backends: the report goes
// to out, error dialogs ("Ressona: Error N: message") and other failures to
// err. Returns kMeasureDone or kMeasureFailed; kMeasureBadCommandLine, before
// anything is measured, when the calibration file cannot be used.
int runMeasurement(const MeasureOptions& options, const MeasureBackends& backends,
                   std::ostream& out, std::ostream& err);

// The executable's work: parses the arguments (without the program's name),
// prints the usage for --help, a command-line error (kMeasureBadCommandLine,
// nothing measured or written), or runs the measurement.
int measureMain(const std::vector<std::string>& arguments, const MeasureBackends& backends,
                std::ostream& out, std::ostream& err);

}  // namespace ressona
