#include "measure/eq_correction.h"

#include <iomanip>
#include <memory>

#include <nlohmann/json.hpp>

#include "eq/eq_files.h"
#include "exchange/response_export.h"
#include "exchange/response_text.h"
#include "measure/response_exports.h"
#include "response/minimum_phase.h"
#include "storage/file_replacement.h"

namespace ressona {

namespace {

using Json = nlohmann::ordered_json;

// The longest ringing of the filters added to a simulated response.
constexpr double kLongestRingingSeconds = 4.0;

Json deviationJson(const EqDeviation& d) {
    return {{"maxDb", d.maxDb}, {"rmsDb", d.rmsDb}};
}

std::string deviationText(const EqDeviation& d) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(2) << "max " << d.maxDb << " dB, RMS " << d.rmsDb
         << " dB";
    return text.str();
}

}  // namespace

EqCurve eqResponseOf(const SampleArrays& arrays) {
    const ExportedResponse response = exportedResponse(arrays);
    EqCurve curve;
    for (std::size_t i = 0; i < response.frequencyHz.size(); ++i) {
        if (!(response.frequencyHz[i] > 0.0)) continue;
        curve.frequencyHz.push_back(response.frequencyHz[i]);
        curve.levelDb.push_back(response.levelDb[i]);
    }
    return curve;
}

EqCurve eqResponseOf(const TransferFunction& transfer) {
    EqCurve curve;
    if (transfer.empty()) return curve;
    std::vector<double> magnitude;
    for (const auto& value : transfer.spectrum) magnitude.push_back(std::abs(value));
    const MinimumPhase minimum = minimumPhaseOfMagnitude(magnitude);
    const std::vector<double> excess = excessPhaseDeg(transfer.spectrum, minimum.phaseRad);
    for (std::size_t k = 1; k < transfer.spectrum.size(); ++k) {
        curve.frequencyHz.push_back(transfer.frequencyHz(k));
        curve.levelDb.push_back(transfer.levelDb(k));
        if (excess.size() == transfer.spectrum.size()) curve.excessPhaseDeg.push_back(excess[k]);
    }
    return curve;
}

EqCurve eqResponseOf(const SampleArrays& arrays, const std::optional<TransferFunction>& transfer) {
    return transfer && !transfer->empty() ? eqResponseOf(*transfer) : eqResponseOf(arrays);
}

std::string EqCorrection::load() {
    target_ = {};
    if (request_.targetFile.empty()) return "";
    ResponseText text;
    if (std::string reason = readResponseText(request_.targetFile, text); !reason.empty())
        return "the target file " + reason;
    const double offset = text.sensitivityDb.value_or(0.0);
    target_.frequencyHz = text.frequencyHz;
    for (double level : text.levelDb) target_.levelDb.push_back(level + offset);
    if (target_.frequencyHz.back() <= request_.lowHz || target_.frequencyHz.front() >= request_.highHz)
        return "the target file " + request_.targetFile + " has no point within --eq-range";
    return "";
}

EqFitSettings EqCorrection::settings(double sampleRate) const {
    EqFitSettings s;
    s.lowHz = request_.lowHz;
    s.highHz = request_.highHz;
    s.filters = request_.filters;
    s.maxBoostDb = request_.maxBoostDb;
    s.lowestQ = request_.lowestQ;
    s.highestQ = request_.highestQ;
    s.shelves = request_.shelves;
    s.sampleRate = sampleRate;
    return s;
}

std::string EqCorrection::fit(const EqCurve& response, double sampleRate, EqOutcome& outcome) const {
    outcome.sampleRate = sampleRate;
    outcome.targetFile = request_.targetFile;
    outcome.fit = fitEqualiser(response, target_, settings(sampleRate));
    return outcome.fit.problem;
}

void EqCorrection::verify(const EqCurve& measuredThrough, EqOutcome& outcome) const {
    EqVerification verification;
    verification.measuredDb = smoothedLevels(measuredThrough, outcome.fit.frequencyHz,
                                             settings(outcome.sampleRate).smoothingOctaves);
    verification.before = outcome.fit.before;
    verification.after = deviationFromTarget(verification.measuredDb, outcome.fit.targetDb);
    outcome.verification = std::move(verification);
}

std::vector<std::string> EqCorrection::files() const {
    std::vector<std::string> names;
    for (const std::string* name : {&request_.pipewire, &request_.camilladsp, &request_.apo})
        if (!name->empty()) names.push_back(*name);
    return names;
}

std::vector<std::string> EqCorrection::write(EqOutcome& outcome) const {
    const std::vector<EqFilter>& filters = outcome.fit.filters;
    const std::pair<const std::string*, std::string> contents[] = {
        {&request_.pipewire, request_.pipewire.empty() ? "" : pipewireFilterChain(filters)},
        {&request_.camilladsp, request_.camilladsp.empty() ? "" : camillaDspFilters(filters)},
        {&request_.apo, request_.apo.empty() ? "" : apoFilters(filters, outcome.sampleRate)}};
    std::vector<std::string> failures;
    std::vector<std::unique_ptr<FileReplacement>> pending;
    for (const auto& [target, text] : contents) {
        if (target->empty()) continue;
        auto replacement = std::make_unique<FileReplacement>(*target);
        const std::string reason = replacement->ready()
                                       ? writeTextFile(replacement->temporaryPath(), text)
                                       : "no file can be created beside it";
        if (!reason.empty()) failures.push_back("'" + *target + "' was not written: " + reason);
        pending.push_back(std::move(replacement));
    }
    if (!failures.empty()) return failures;  // the temporary files go with `pending`
    for (const auto& replacement : pending) {
        if (replacement->commit()) {
            outcome.written.push_back(replacement->target());
        } else {
            failures.push_back("'" + replacement->target() + "' could not be put in place");
        }
    }
    return failures;
}

std::function<std::vector<double>(std::uint32_t, std::vector<double>)> eqOutputFilter(
    std::vector<EqFilter> filters) {
    return [filters = std::move(filters)](std::uint32_t rate, std::vector<double> response) {
        return filterSignal(filters, rate, response,
                            static_cast<std::size_t>(kLongestRingingSeconds * rate));
    };
}

EqPlotData eqPlotData(const EqOutcome& outcome) {
    const EqFit& fit = outcome.fit;
    EqPlotData data{fit.frequencyHz, fit.measuredDb, fit.targetDb, fit.predictedDb, {}};
    double offset = 0.0;
    for (std::size_t i = 0; i < fit.predictedDb.size() && i < fit.targetDb.size(); ++i)
        offset += (fit.predictedDb[i] - fit.targetDb[i]) / fit.predictedDb.size();
    for (double& level : data.targetDb) level += offset;
    if (outcome.verification) data.verifiedDb = outcome.verification->measuredDb;
    return data;
}

Json eqJson(const EqOutcome& outcome) {
    const EqFit& fit = outcome.fit;
    Json filters = Json::array();
    for (const EqFilter& f : fit.filters) {
        filters.push_back({{"kind", std::string(filterKindName(f.kind))},
                           {"frequencyHz", f.frequencyHz},
                           {"gainDb", f.gainDb},
                           {"q", f.q}});
    }
    Json eq = {{"sampleRate", outcome.sampleRate},
               {"target", outcome.targetFile.empty() ? Json("flat") : Json(outcome.targetFile)},
               {"filters", filters},
               {"preampDb", eqPreampDb(fit.filters, outcome.sampleRate)},
               {"frequencyHz", fit.frequencyHz},
               {"targetDb", fit.targetDb},
               {"measuredDb", fit.measuredDb},
               {"predictedDb", fit.predictedDb},
               {"predicted", {{"before", deviationJson(fit.before)}, {"after", deviationJson(fit.after)}}},
               {"files", outcome.written}};
    if (outcome.verification) {
        const EqVerification& v = *outcome.verification;
        eq["verify"] = {{"measuredDb", v.measuredDb},
                        {"before", deviationJson(v.before)},
                        {"after", deviationJson(v.after)}};
    } else {
        eq["verify"] = nullptr;
    }
    return eq;
}

void writeEqText(std::ostream& out, const EqOutcome& outcome) {
    const EqFit& fit = outcome.fit;
    out << "eq: " << fit.filters.size() << " filters; deviation from the target, predicted: before "
        << deviationText(fit.before) << "; after " << deviationText(fit.after) << '\n';
    for (const EqFilter& f : fit.filters) {
        out << std::fixed << std::setprecision(2) << "  " << filterKindName(f.kind) << ' '
            << f.frequencyHz << " Hz " << f.gainDb << " dB Q " << std::setprecision(3) << f.q
            << '\n'
            << std::defaultfloat;
    }
    if (outcome.verification) {
        out << "eq verify: deviation from the target, measured: before "
            << deviationText(outcome.verification->before) << "; after "
            << deviationText(outcome.verification->after) << '\n';
    }
}

}  // namespace ressona
