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

#include "audio/capture_figures.h"
#include "measure/eq_correction.h"
#include "measure/measure_options.h"
#include "measure/room_report.h"
#include "measure/sweep_report.h"
#include "platform/wave/thread_scheduling.h"
#include "response/response_views.h"
#include "response/transfer_function.h"

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
    bool levelInSpl = false;  // the FRD and CSV levels are in dB SPL (--export-spl)
};

struct MeasureOutcome {
    std::string deviceName;         // e.g. "sim:loopback", "alsa:default"
    std::string deviceDescription;  // e.g. "Simulated room"
    bool deviceSimulated = false;
    bool deviceByDefault = false;  // chosen without --device
    std::uint32_t passesRequested = 0;
    std::uint32_t passesCompleted = 0;   // completions the panel analysed
    // Passes played again after their recording failed its own check
    // (audio/pass_check.h); one warning each.
    std::uint32_t passesReplayed = 0;
    std::vector<double> passSeconds;     // wall time of each completed pass
    std::vector<double> processSeconds;  // before each pass after the first: since the last ended
    std::vector<ShownError> errors;
    std::vector<std::string> failures;  // the measurer's own, e.g. a picture not written
    std::vector<CaptureFigures> captures;  // one per completed pass
    std::vector<std::string> warnings;     // captures that clipped or came out coarse
    // How the threads that waited on the devices were scheduled (none asked
    // on a simulated card).
    ThreadScheduling deviceThreads;
    std::uint32_t deviceFailure = 0;       // result code of the failure that ended the run; 0 none
    std::string deviceFailureCause;        // what it was, when more is known than its code says
    std::optional<RoomOutcome> room;    // with --room
    std::optional<SweepSummary> sweep;  // --excitation logsweep
    std::optional<EqOutcome> eq;        // --eq
    // The system's transfer function, once the passes ran as asked (empty
    // when the excitation gives none), with the calibration taken off.
    std::optional<TransferFunction> transfer;
    // The phase and time views (--views, --phase-png, --etc-png): of the
    // transfer function after passes, of the curve read with --passes 0.
    std::optional<ResponseViews> views;
    ExchangeNotes exchange;
    // ---- Absolute levels: with --sensitivity FILE, the transfer function's
    // level in dB SPL is its level plus splOffsetDb (94 less the sensitivity,
    // that less the calibration file's level at the calibrator's frequency
    // when a calibration was taken off too).
    std::string sensitivityFile;
    std::optional<double> sensitivityDbfs;
    double calibrationDbAtCalibrator = 0.0;
    std::optional<double> splOffsetDb;
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
