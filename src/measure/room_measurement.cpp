#include "measure/room_measurement.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "control/program.h"
#include "exchange/wav_file.h"
#include "measure/measurement_run.h"
#include "measure/room_response.h"
#include "room/decay_picture.h"
#include "room/reliability.h"
#include "storage/file_replacement.h"
#include "sweep/sweep_pass_service.h"

namespace ressona {

namespace {

constexpr const char* kName = "ressona-measure";
constexpr std::size_t kCurvePoints = 2000;  // per band, for the picture

}  // namespace

RoomOutcome analyseRoomResponse(const std::string& source, std::span<const double> samples,
                                std::uint32_t sampleRate, const MeasureOptions& options,
                                double roundingStep) {
    RoomOutcome room;
    room.source = source;
    RoomOptions analysis;
    analysis.curvePoints = options.decayPng.empty() ? 0 : kCurvePoints;
    analysis.roundingStep = roundingStep;
    room.error = analyseRoom(samples, sampleRate, analysis, room.analysis);
    return room;
}

RoomOutcome measuredRoom(Program& program, const MeasureOptions& options,
                         const SweepPassService* sweep, const TransferFunction* transfer) {
    const RoomResponse response =
        sweep != nullptr && transfer != nullptr
            ? sweepRoomResponse(*transfer,
                                linearResponseLead(sweep->sweep(), sweep->sweep().settings.samples))
            : roomResponseOf(program.state(), program.arrays(), options.logSweep);
    if (!response.error.empty()) {
        RoomOutcome room;
        room.source = response.source;
        room.error = response.error;
        return room;
    }
    return analyseRoomResponse(response.source, response.samples, response.sampleRate, options,
                               response.roundingStep);
}

std::string roomLengthWarning(const RoomOutcome& room) {
    if (!room.error.empty()) return "";
    std::string bands;
    double endSeconds = 0.0;
    for (const RoomBand& band : room.analysis.bands) {
        if (band.band.kind != BandKind::Octave || !band.hasEnergy ||
            decayDepthAtEnd(band) >= -kT30Range.bottomDb + kNoiseMarginDb)
            continue;
        bands += (bands.empty() ? "" : ", ") + bandName(band.band);
        endSeconds = band.endSeconds;
    }
    if (bands.empty()) return "";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", endSeconds);
    return "room: the response ends " + std::string(seconds) +
           " s after its start, before the decay has fallen 45 dB in the octave bands " + bands +
           ": the room rings longer than the response, whose T30 there is not reliable (a longer "
           "logsweep measures it whole)";
}

void saveDecayPicture(const MeasureBackends& backends, const MeasureOptions& options,
                      const RoomOutcome& room, std::vector<std::string>& failures) {
    if (options.decayPng.empty()) return;
    if (!room.error.empty() || !backends.saveDrawing) {
        failures.push_back("the picture '" + options.decayPng + "' could not be drawn");
        return;
    }
    // Beside its target and renamed over it once written, so a picture that
    // fails halfway never takes the place of the one that was there.
    FileReplacement replacement(options.decayPng);
    const bool written = replacement.ready() &&
                         backends.saveDrawing(
                             options.pictureWidth, options.pictureHeight,
                             [&room](Canvas& canvas) { drawDecayPicture(canvas, room.analysis); },
                             replacement.temporaryPath()) == 0 &&
                         replacement.commit();
    if (!written) failures.push_back("the picture '" + options.decayPng + "' could not be written");
}

int runRoomFile(const MeasureOptions& options, const MeasureBackends& backends, std::ostream& out,
                std::ostream& err) {
    if (!options.decayPng.empty() && !backends.saveDrawing) {
        err << kName << ": this build cannot draw pictures\n";
        return kMeasureFailed;
    }
    WavSignal signal;
    RoomOutcome room;
    room.source = "wav";
    room.error = readWav(options.irWav, signal);
    if (room.error.empty()) {
        room = analyseRoomResponse("wav", signal.samples, signal.sampleRate, options);
    }
    room.file = options.irWav;
    std::vector<std::string> failures;
    if (!room.error.empty()) failures.push_back("no room parameters: " + room.error);
    if (!options.decayPng.empty() && backends.prepare) backends.prepare();
    if (room.error.empty()) saveDecayPicture(backends, options, room, failures);

    // Said in the JSON as a measurement's JSON says it, and on stderr.
    std::vector<std::string> warnings;
    if (std::string tooShort = roomLengthWarning(room); !tooShort.empty())
        warnings.push_back(std::move(tooShort));
    if (options.json) {
        const nlohmann::ordered_json report = {
            {"room", roomJson(room)}, {"warnings", warnings}, {"failures", failures}};
        out << report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    } else {
        writeRoomTable(out, room);
    }
    for (const std::string& warning : warnings) err << kName << ": " << warning << '\n';
    for (const std::string& failure : failures) err << kName << ": " << failure << '\n';
    return failures.empty() ? kMeasureDone : kMeasureFailed;
}

}  // namespace ressona
