#include "measure/result_exchange.h"

#include <charconv>
#include <ctime>

#include "control/array_hand_over.h"
#include "control/program_state.h"
#include "exchange/response_text.h"
#include "measure/response_exports.h"
#include "signals/excitation.h"

namespace ressona {

namespace {

std::string utcDate(std::time_t now) {
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

// The shortest text that reads back as the same number, with a dot whatever the locale.
std::string numberText(double value) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

}  // namespace

std::string ResultExchange::load() {
    if (options_.calibrationFile.empty()) return "";
    return loadCalibration(options_.calibrationFile, calibration_);
}

MeasureOptions ResultExchange::settings() const {
    MeasureOptions settings = options_;
    if (options_.passes != 0) return settings;
    // Nothing is played: without a device named, the simulated card stands
    // in, so that no real card's mixer is touched for a conversion.
    if (settings.device.empty()) settings.device = "sim";
    if (!options_.gridGiven && !isResponseTextName(options_.readFile)) {
        if (const auto grid = savedFileGrid(options_.readFile)) {
            settings.sampleRate = grid->first;
            settings.sampleLength = grid->second;
        }
    }
    return settings;
}

int ResultExchange::readResponse(MeasurementState& state, SampleArrays& arrays) {
    const int status = readResponseFile(state, arrays, options_.passes == 0, reading_);
    read_ = status == 0;
    return status;
}

void ResultExchange::prepareAnalysis(ProgramState& program) {
    AnalysisExtras& extras = program.analysisExtras;
    extras.averageImpulses = !options_.exportWav.empty();
    extras.impulses = {};
    extras.correction.reset();
    if (!calibration_.file.empty()) {
        extras.correction = calibrationCorrection(calibration_, program.state.sampleRate,
                                                  program.state.sampleLength);
    }
}

bool ResultExchange::prepareWithoutPasses(ProgramState& program, Clock& clock) {
    MeasurementState& state = program.state;
    if (prepareExcitation(state, program.arrays, clock.timeOfDay()) != kPrepareDone) return false;
    handShowSubtract(state, state.showCaptured, state.subtractCaptured);
    handTimeCuts(state, program.arrays, state.lowerCut, state.upperCut);
    return true;
}

void ResultExchange::finish(ProgramState& program, MeasureOutcome& outcome) {
    const AnalysisExtras& extras = program.analysisExtras;
    if (extras.correction && !correctionFits(*extras.correction, program.arrays)) {
        outcome.failures.push_back("the calibration does not fit the measurement's grid");
        return;
    }
    const ExportTargets targets{options_.exportWav, options_.exportFrd, options_.exportCsv};
    if (!targets.any()) return;
    if (!program.arrays.resultsReady) {
        outcome.failures.push_back("there is no result to export");
        return;
    }
    if (!targets.wav.empty() && extras.impulses.count == 0) {
        outcome.failures.push_back("no impulse response was analysed for the WAV file");
        return;
    }

    const MeasurementState& state = program.state;
    const std::string grid = "sample rate: " + std::to_string(state.sampleRate) +
                             " Hz; length: " + std::to_string(state.sampleLength) + " samples";
    std::vector<std::string> comments{
        "Ressona frequency response: frequency in Hz, level in dB, phase in degrees",
        "level 0 dB: a pulse of 65536 counts; " + std::to_string(program.arrays.binCount - 1) +
            " spectrum positions k = 2.." + std::to_string(program.arrays.binCount) +
            " at (k - 1) x " + numberText(program.arrays.binWidth) + " Hz"};
    if (options_.passes == 0) {
        comments.push_back("converted from: " + reading_.file + " (no passes measured)");
        comments.push_back(grid);
    } else {
        comments.push_back("device: " + outcome.deviceName + " (" + outcome.deviceDescription +
                           ")");
        // A log sweep plays under the panel's "No Signal".
        const std::string excitation =
            options_.logSweep ? "logsweep" : excitationName(state.excitationMode);
        comments.push_back(grid + "; excitation: " + excitation +
                           "; passes: " + std::to_string(outcome.passesCompleted));
    }
    if (!calibration_.file.empty()) {
        comments.push_back("calibration: " + calibration_.file + " (offset " +
                           numberText(calibration_.offsetDb) + " dB)");
    }
    comments.push_back("date: " + utcDate(std::time(nullptr)));

    const std::vector<std::string> failures =
        writeExports(targets, state.sampleRate, impulseSamples(extras.impulses),
                     exportedResponse(program.arrays), comments);
    if (!failures.empty()) {
        outcome.failures.insert(outcome.failures.end(), failures.begin(), failures.end());
        return;
    }
    outcome.exchange.wav = targets.wav;
    outcome.exchange.frd = targets.frd;
    outcome.exchange.csv = targets.csv;
}

void ResultExchange::note(MeasureOutcome& outcome) const {
    ExchangeNotes& notes = outcome.exchange;
    if (!calibration_.file.empty()) {
        notes.calibrationFile = calibration_.file;
        notes.calibrationPoints = calibration_.curve.frequencyHz.size();
        notes.calibrationOffsetDb = calibration_.offsetDb;
        notes.calibrationPhase = !calibration_.curve.phaseDeg.empty();
    }
    if (read_) {
        notes.readFile = reading_.file;
        notes.readText = reading_.text;
        notes.readPhase = reading_.hasPhase;
    } else if (!reading_.problem.empty()) {
        outcome.failures.push_back(reading_.problem);
    }
}

}  // namespace ressona
