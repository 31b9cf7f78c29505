#include "measure/result_exchange.h"

#include <cmath>

#include <charconv>
#include <ctime>

#include "control/array_hand_over.h"
#include "control/program_state.h"
#include "exchange/response_text.h"
#include "measure/response_exports.h"
#include "measure/response_view_outputs.h"
#include "response/transfer_function.h"
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
    // The transfer function is formed from the average of the analysed responses.
    extras.averageImpulses = true;
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

void ResultExchange::calibrate(TransferFunction& transfer) const {
    if (calibration_.file.empty() || transfer.empty()) return;
    std::vector<double> frequencies(transfer.spectrum.size());
    for (std::size_t k = 0; k < frequencies.size(); ++k) frequencies[k] = transfer.frequencyHz(k);
    divideByCorrection(transfer, calibrationResponse(calibration_, frequencies));
}

double ResultExchange::calibrationDbAt(double frequencyHz) const {
    if (calibration_.file.empty()) return 0.0;
    const std::vector<double> frequency{frequencyHz};
    return 20.0 * std::log10(std::abs(calibrationResponse(calibration_, frequency).at(0)));
}

namespace {

// How the level of a measured transfer function is given: in dB re full
// scale, or in dB SPL once the outcome's offset is added.
std::string levelComment(const MeasureOutcome& outcome, bool inSpl) {
    const std::string fullScale = "a wire from the output to the input is 0 dB";
    if (!inSpl) return "level in dB re full scale: " + fullScale;
    return "level in dB SPL at the microphone: the level in dB re full scale (" + fullScale +
           ") + " + numberText(*outcome.splOffsetDb) + " dB, from the sensitivity " +
           numberText(*outcome.sensitivityDbfs) + " dBFS at 94 dB SPL in " +
           outcome.sensitivityFile;
}

// What the comments of a measured transfer function say about its convention and grid.
std::vector<std::string> transferComments(const TransferFunction& transfer,
                                          const MeasureOutcome& outcome, bool inSpl) {
    return {std::string("Ressona transfer function: frequency in Hz, level in ") +
                (inSpl ? "dB SPL" : "dB") + ", phase in degrees",
            levelComment(outcome, inSpl) +
                "; phase: a delay of d samples gives -360 f d / rate degrees; positive "
                "polarity: not inverting",
            "time zero: the excitation's arrival, recording sample " +
                std::to_string(transfer.timeZeroSample) + "; " +
                std::to_string(transfer.spectrum.size() - 2) + " frequencies k x " +
                numberText(transfer.binWidthHz()) + " Hz, k = 1.." +
                std::to_string(transfer.spectrum.size() - 2) + "; impulse response of " +
                std::to_string(transfer.points()) + " samples from time zero"};
}

std::vector<std::string> convertedComments(const SampleArrays& arrays) {
    return {"Ressona frequency response: frequency in Hz, level in dB, phase in degrees",
            "level 0 dB: a pulse of 65536 counts (as the file holds it); phase: a delay of d "
            "samples gives -360 f d / rate degrees; " +
                std::to_string(arrays.binCount - 1) + " spectrum positions k = 2.." +
                std::to_string(arrays.binCount) + " at (k - 1) x " + numberText(arrays.binWidth) +
                " Hz"};
}

}  // namespace

void ResultExchange::finish(ProgramState& program, MeasureOutcome& outcome) {
    const AnalysisExtras& extras = program.analysisExtras;
    if (extras.correction && !correctionFits(*extras.correction, program.arrays)) {
        outcome.failures.push_back("the calibration does not fit the measurement's grid");
        return;
    }
    const ExportTargets targets{options_.exportWav, options_.exportFrd, options_.exportCsv};
    if (!targets.any()) return;
    const bool converting = options_.passes == 0;
    if (converting && !program.arrays.resultsReady) {
        outcome.failures.push_back("there is no result to export");
        return;
    }
    if (!converting && (!outcome.transfer || outcome.transfer->empty())) {
        outcome.failures.push_back(
            "there is no transfer function to export (the excitation played nothing to divide by)");
        return;
    }

    const MeasurementState& state = program.state;
    const std::string grid = "sample rate: " + std::to_string(state.sampleRate) +
                             " Hz; length: " + std::to_string(state.sampleLength) + " samples";
    const bool inSpl = !converting && options_.exportSpl && outcome.splOffsetDb.has_value();
    if (!converting && options_.exportSpl && !inSpl) {
        outcome.failures.push_back("there is no level in dB SPL to export (no sensitivity)");
        return;
    }
    std::vector<std::string> comments = converting ? convertedComments(program.arrays)
                                                   : transferComments(*outcome.transfer,
                                                                      outcome, inSpl);
    if (converting) {
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

    ExportedResponse rows =
        converting ? exportedResponse(program.arrays) : exportedTransfer(*outcome.transfer);
    if (inSpl) {
        for (double& level : rows.levelDb) level += *outcome.splOffsetDb;
        rows.levelColumn = kSplLevelColumn;
    }
    if (options_.views && outcome.views) addViewColumns(rows, *outcome.views);
    if (!rows.extraColumns.empty()) {
        comments.insert(comments.end() - 1,
                        "further columns: group delay in s (from the " +
                            std::string(outcome.views->energyTime ? "transfer function"
                                                                  : "unwrapped phase") +
                            "), minimum phase in degrees, excess phase in degrees, excess group "
                            "delay in s");
    }
    const std::vector<std::string> failures = writeExports(
        targets, state.sampleRate,
        converting ? std::vector<float>{} : transferImpulse(*outcome.transfer), rows, comments);
    if (!failures.empty()) {
        outcome.failures.insert(outcome.failures.end(), failures.begin(), failures.end());
        return;
    }
    outcome.exchange.wav = targets.wav;
    outcome.exchange.frd = targets.frd;
    outcome.exchange.csv = targets.csv;
    outcome.exchange.levelInSpl = inSpl;
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
