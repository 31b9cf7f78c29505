#include "measure/response_exports.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <numbers>

#include "analysis/analysis_extras.h"
#include "exchange/wav_file.h"
#include "response/transfer_function.h"
#include "signals/sample_arrays.h"
#include "signals/response_scale.h"
#include "storage/file_replacement.h"

namespace ressona {

namespace {

constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

// One file on its way: its replacement and how to fill it.
struct PendingFile {
    std::string target;
    std::function<std::string(const std::string& path)> write;
};

}  // namespace

ExportedResponse exportedResponse(const SampleArrays& arrays) {
    ExportedResponse response;
    const auto bins = static_cast<std::size_t>(std::max(arrays.binCount, 0));
    if (arrays.magnitudeSpectrum.size() < bins || arrays.phaseSpectrum.size() < bins) {
        return response;
    }
    const auto n = static_cast<float>(arrays.pointCount);
    for (std::size_t k = 2; k <= bins; ++k) {
        response.frequencyHz.push_back(positionFrequency(k, arrays.binWidth));
        response.levelDb.push_back(levelDecibels(arrays.magnitudeSpectrum[k], n));
        response.phaseDeg.push_back(-arrays.phaseSpectrum[k] * kDegreesPerRadian);
    }
    return response;
}

ExportedResponse exportedTransfer(const TransferFunction& transfer) {
    ExportedResponse response;
    const std::size_t bins = transfer.spectrum.size();
    for (std::size_t k = 1; k + 1 < bins; ++k) {
        response.frequencyHz.push_back(transfer.frequencyHz(k));
        response.levelDb.push_back(transfer.levelDb(k));
        response.phaseDeg.push_back(transfer.phaseDeg(k));
    }
    return response;
}

std::vector<float> transferImpulse(const TransferFunction& transfer) {
    return {transfer.impulse.begin(), transfer.impulse.end()};
}

std::vector<std::string> writeExports(const ExportTargets& targets, std::uint32_t sampleRate,
                                      const std::vector<float>& impulse,
                                      const ExportedResponse& response,
                                      const std::vector<std::string>& comments) {
    std::vector<PendingFile> files;
    if (!targets.wav.empty()) {
        files.push_back({targets.wav, [&](const std::string& path) {
                             return writeFloatWav(path, sampleRate, impulse);
                         }});
    }
    const bool text = !targets.frd.empty() || !targets.csv.empty();
    const std::string problem = text ? exportProblem(response) : "";
    if (!targets.frd.empty()) {
        files.push_back({targets.frd, [&](const std::string& path) {
                             return problem.empty()
                                        ? writeTextFile(path, frdText(response, comments))
                                        : problem;
                         }});
    }
    if (!targets.csv.empty()) {
        files.push_back({targets.csv, [&](const std::string& path) {
                             return problem.empty() ? writeTextFile(path, csvText(response))
                                                    : problem;
                         }});
    }

    std::vector<std::string> failures;
    std::vector<std::unique_ptr<FileReplacement>> written;
    for (const PendingFile& file : files) {
        auto replacement = std::make_unique<FileReplacement>(file.target);
        const std::string reason = replacement->ready() ? file.write(replacement->temporaryPath())
                                                        : "no file can be created beside it";
        if (!reason.empty()) {
            failures.push_back("'" + file.target + "' was not written: " + reason);
        }
        written.push_back(std::move(replacement));
    }
    if (!failures.empty()) return failures;  // the temporary files go with `written`
    for (const auto& replacement : written) {
        if (!replacement->commit()) {
            failures.push_back("'" + replacement->target() + "' could not be put in place");
        }
    }
    return failures;
}

}  // namespace ressona
