#include "measure/combination_run.h"

#include <nlohmann/json.hpp>

#include "measure/measure_backends.h"
#include "measure/measure_options.h"
#include "measure/response_combination.h"
#include "measure/response_exports.h"
#include "measure/response_view_outputs.h"
#include "response/double_transform.h"

namespace ressona {

namespace {

constexpr const char* kName = "ressona-measure";
constexpr int kCombined = 0;
constexpr int kOutputFailed = 1;
constexpr int kBadInput = 2;

const char* averageName(AverageKind kind) {
    switch (kind) {
        case AverageKind::Db:
            return "db";
        case AverageKind::Vector:
            return "vector";
        default:
            return "rms";
    }
}

std::vector<std::string> exportComments(const Combination& combination) {
    std::vector<std::string> comments{
        "Ressona frequency response: frequency in Hz, level in dB re full scale, phase in degrees",
        std::string(averageName(combination.kind)) + " average of " +
            std::to_string(combination.parts.size()) + " responses" +
            (combination.aligned ? ", delays aligned" : "") +
            (combination.levelsAligned ? ", levels aligned" : "")};
    for (const CombinedPart& part : combination.parts) comments.push_back("from: " + part.file);
    comments.push_back("sample rate: " + std::to_string(combination.sampleRate) +
                       " Hz; grid: " + std::to_string(combination.points) + " points");
    return comments;
}

nlohmann::ordered_json combinationJson(const Combination& combination) {
    nlohmann::ordered_json parts = nlohmann::ordered_json::array();
    for (const CombinedPart& part : combination.parts) {
        parts.push_back({{"file", part.file},
                         {"kind", part.impulse ? "impulse" : "frequencyResponse"},
                         {"phase", part.hasPhase},
                         {"delaySamples", part.delaySamples},
                         {"levelDb", part.levelDb}});
    }
    return {{"average", averageName(combination.kind)},
            {"aligned", combination.aligned},
            {"levelsAligned", combination.levelsAligned},
            {"sampleRate", combination.sampleRate},
            {"points", combination.points},
            {"parts", parts}};
}

void writeText(std::ostream& out, const Combination& combination, const ResponseViews& views) {
    out << "combined: " << averageName(combination.kind) << " average of "
        << combination.parts.size() << " responses at " << combination.sampleRate << " Hz, "
        << combination.points << " points\n";
    for (const CombinedPart& part : combination.parts) {
        out << "  " << part.file << ": delay " << part.delaySamples << " samples, level "
            << part.levelDb << " dB\n";
    }
    out << "group delay from the " << (views.energyTime ? "transfer function" : "unwrapped phase")
        << "\n";
}

}  // namespace

int runCombination(const MeasureOptions& options, const MeasureBackends& backends,
                   std::ostream& out, std::ostream& err) {
    Combination combination;
    if (std::string problem = combineResponses(options, combination); !problem.empty()) {
        err << kName << ": " << problem << '\n';
        return kBadInput;
    }
    if (!options.exportWav.empty() && !combination.fromImpulses) {
        err << kName << ": --export-wav needs every combined file to be an impulse response\n";
        return kBadInput;
    }
    const std::vector<double> impulse =
        combination.fromImpulses ? realSignal(combination.response) : std::vector<double>{};
    const ResponseViews views = combination.fromImpulses
                                    ? viewsOfImpulse(impulse, combination.sampleRate)
                                    : viewsOfSpectrum(combination.response, combination.sampleRate);
    if (std::string problem = viewPicturesProblem(backends, options, views); !problem.empty()) {
        err << kName << ": " << problem << '\n';
        return kBadInput;
    }
    std::vector<std::string> failures;
    if ((!options.phasePng.empty() || !options.etcPng.empty()) && backends.prepare)
        backends.prepare();
    drawViewPictures(backends, options, views, failures);
    const ExportTargets targets{options.exportWav, options.exportFrd, options.exportCsv};
    if (failures.empty() && targets.any()) {
        const std::vector<float> samples(impulse.begin(), impulse.end());
        failures = writeExports(targets, combination.sampleRate, samples,
                                exportedViews(views, options.views), exportComments(combination));
    }
    if (options.json) {
        nlohmann::ordered_json report = {{"combine", combinationJson(combination)}};
        if (options.views) addViewsJson(report, views);
        report["failures"] = failures;
        out << report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    } else {
        writeText(out, combination, views);
    }
    for (const std::string& failure : failures) err << kName << ": " << failure << '\n';
    return failures.empty() ? kCombined : kOutputFailed;
}

}  // namespace ressona
