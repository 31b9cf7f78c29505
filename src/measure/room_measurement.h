#pragma once
// The measurer's room step: the room parameters of a measured impulse
// response or of one read from a WAV file (--ir-wav), and the picture of their
// decay curves (--decay-png).

#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "measure/measure_backends.h"
#include "measure/measure_options.h"
#include "measure/room_report.h"

namespace ressona {

class Program;
class SweepPassService;
struct TransferFunction;

// The parameters in every band (broadband, octaves, third-octaves) of
// samples at sampleRate Hz (rounded to whole multiples of roundingStep, or
// not when 0), keeping the octave bands' curves when the options ask for a picture.
RoomOutcome analyseRoomResponse(const std::string& source, std::span<const double> samples,
                                std::uint32_t sampleRate, const MeasureOptions& options,
                                double roundingStep = 0.0);

// The parameters of the program's response after its last pass, or of the
// sweeps' whole response when `sweep` ran them (room_response.h): `transfer`,
// the sweep's transfer function as sweep->transferFunction() gives it (the run
// makes it once for everything that needs it).
RoomOutcome measuredRoom(Program& program, const MeasureOptions& options,
                         const SweepPassService* sweep, const TransferFunction* transfer);

// A warning for people when the response ends before the decay has fallen
// the 45 dB a T30 needs in some octave band (reliability.h): the room rings
// longer than the response. Empty otherwise.
std::string roomLengthWarning(const RoomOutcome& room);

// Draws options.decayPng when it is set, beside it and renamed over it once
// written; a line in failures when it cannot be written.
void saveDecayPicture(const MeasureBackends& backends, const MeasureOptions& options,
                      const RoomOutcome& room, std::vector<std::string>& failures);

// --ir-wav FILE: reads the file's first channel, reports its parameters (the
// JSON's `room` object, or the table) and draws the picture. kMeasureDone, or
// kMeasureFailed when the file cannot be read or analysed or the picture not written.
int runRoomFile(const MeasureOptions& options, const MeasureBackends& backends, std::ostream& out,
                std::ostream& err);

}  // namespace ressona
