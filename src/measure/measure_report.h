#pragma once
// What a headless measurement reports: the device it used, the passes with
// their timing, the settings the program ended up with, the monitor texts,
// the error dialogs that were shown and, on request, the result arrays. As one
// JSON object (--json) or as a few lines for people.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "measure/capture_figures.h"
#include "measure/measure_options.h"
#include "measure/room_report.h"
#include "measure/sweep_report.h"

namespace ressona {

class Program;

// A numbered error dialog the program showed.
struct ShownError {
    int number = 0;  // 0 for "Major error !", which has none
    std::string title;
    std::string message;
};

// What was read from and written for other programs.
struct ExchangeNotes {
    std::string calibrationFile;  // empty: no calibration
    std::size_t calibrationPoints = 0;
    double calibrationOffsetDb = 0.0;  // the file's sensitivity line
    bool calibrationPhase = false;
    std::string readFile;   // the curve --read took, once read
    bool readText = false;  // a response text; otherwise a saved file
    bool readPhase = false;
    std::string wav;  // the files written (empty: not asked for or not written)
    std::string frd;
    std::string csv;
};

struct MeasureOutcome {
    std::string deviceName;         // e.g. "sim:loopback", "alsa:default"
    std::string deviceDescription;  // e.g. "Simulated room"
    bool deviceSimulated = false;
    bool deviceByDefault = false;  // chosen without --device
    std::uint32_t passesRequested = 0;
    std::uint32_t passesCompleted = 0;   // completions the panel analysed
    std::vector<double> passSeconds;     // wall time of each completed pass
    std::vector<double> processSeconds;  // before each pass after the first: since the last ended
    std::vector<ShownError> errors;
    std::vector<std::string> failures;  // the measurer's own, e.g. a picture not written
    std::vector<CaptureFigures> captures;  // one per completed pass
    std::vector<std::string> warnings;     // captures that clipped or came out coarse
    std::uint32_t deviceFailure = 0;       // result code of the failure that ended the run; 0 none
    std::string deviceFailureCause;        // what it was, when more is known than its code says
    std::optional<RoomOutcome> room;    // with --room
    std::optional<SweepSummary> sweep;  // --excitation logsweep
    ExchangeNotes exchange;
};

// What a device failure's result code means, in a few words.
std::string deviceFailureCause(std::uint32_t resultCode);

// The name --excitation and --view use for a mode or view id; "" for another id.
std::string excitationName(std::int32_t mode);
std::string viewName(std::int32_t view);

// The JSON object, with the arrays when options.arrays, and a final newline.
void writeJsonReport(std::ostream& out, const MeasureOptions& options,
                     const MeasureOutcome& outcome, Program& program);
// A few lines for people: device, passes, monitor texts, timing.
void writeTextReport(std::ostream& out, const MeasureOutcome& outcome, Program& program);

}  // namespace ressona
