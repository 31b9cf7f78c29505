#pragma once
// The headless measurer's exchange with other programs over one run: the
// calibration file read before anything is measured and handed to the
// analysis, "Read From" that also takes other programs' responses, and the
// WAV, FRD and CSV files written from a run that went as asked.

#include <string>

#include "exchange/calibration.h"
#include "measure/measure_options.h"
#include "measure/measure_report.h"
#include "measure/response_reading.h"

namespace ressona {

class Clock;
struct MeasurementState;
struct ProgramState;
struct SampleArrays;
struct TransferFunction;

class ResultExchange {
  public:
    explicit ResultExchange(const MeasureOptions& options) : options_(options) {}

    // Reads the calibration file, if one is asked for. Empty, or a one-line
    // reason why the command line cannot be carried out.
    std::string load();

    // The settings to give the panel: with --passes 0 and a saved file, the
    // rate and length the file was written at, unless the command line gave them.
    MeasureOptions settings() const;

    // Answers the program's "Read From" (ProgramServices::readResponse).
    int readResponse(MeasurementState& state, SampleArrays& arrays);

    // Once the panel holds the settings and before Start: the analysis is
    // handed the calibration on the grid of those settings, and asked for the
    // impulse average when a WAV is to be written.
    void prepareAnalysis(ProgramState& program);

    // In place of the passes (--passes 0): the arrays are built for the
    // settings, as Start builds them, without playing anything.
    static bool prepareWithoutPasses(ProgramState& program, Clock& clock);

    // Takes the calibration, if one was read, off the transfer function.
    void calibrate(TransferFunction& transfer) const;
    // The calibration's level in dB at frequencyHz (what calibrate takes off
    // there); 0 without a calibration.
    double calibrationDbAt(double frequencyHz) const;

    // After a run that went as asked: checks that the calibration reached
    // every analysis and writes the exports: the transfer function
    // (outcome.transfer) after passes, the panel's curve when converting. What went wrong goes to
    // outcome.failures; what was used and written to outcome.exchange.
    void finish(ProgramState& program, MeasureOutcome& outcome);

    // The last reading succeeded and its file gave a phase.
    bool readPhase() const { return read_ && reading_.hasPhase; }

    // Notes for the report (also after a run that did not go as asked).
    void note(MeasureOutcome& outcome) const;

  private:
    const MeasureOptions& options_;
    Calibration calibration_;
    ResponseReading reading_;
    bool read_ = false;  // the last reading succeeded
};

}  // namespace ressona
