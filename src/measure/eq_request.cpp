#include "measure/eq_request.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <optional>

#include "eq/eq_fit.h"

namespace ressona {

namespace {

std::optional<double> number(std::string_view text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return {};
    return value;
}

std::optional<std::pair<double, double>> numberPair(std::string_view text) {
    const auto comma = text.find(',');
    if (comma == std::string_view::npos) return {};
    const auto low = number(text.substr(0, comma));
    const auto high = number(text.substr(comma + 1));
    if (!low || !high) return {};
    return std::pair{*low, *high};
}

// An option whose value `take` reads into the request; false refuses it with `refusal`.
void addValue(CLI::App& app, const std::string& name, EqRequest& request,
              std::function<bool(const std::string&, EqRequest&)> take, const std::string& refusal) {
    app.add_option_function<std::string>(
           name, [&request, take](const std::string& v) { take(v, request), request.anyGiven = true; })
        ->check(CLI::Validator(
            [take, refusal](std::string& v) {
                EqRequest scratch;
                return take(v, scratch) ? std::string() : "'" + v + "' " + refusal;
            },
            ""));
}

void addFile(CLI::App& app, const std::string& name, EqRequest& request, std::string EqRequest::*field) {
    addValue(
        app, name, request,
        [field](const std::string& v, EqRequest& r) { return !v.empty() && (r.*field = v, true); },
        "must not be empty");
}

}  // namespace

void addEqOptions(CLI::App& app, EqRequest& request) {
    app.add_flag("--eq", request.fit);
    app.add_flag_callback("--eq-verify", [&request] { request.verify = request.anyGiven = true; });
    app.add_flag_callback("--eq-shelves", [&request] { request.shelves = request.anyGiven = true; });
    addValue(
        app, "--eq-target", request,
        [](const std::string& v, EqRequest& r) {
            if (v.empty()) return false;
            r.targetFile = v == "flat" ? "" : v;
            return true;
        },
        "must be flat or a file");
    addValue(
        app, "--eq-range", request,
        [](const std::string& v, EqRequest& r) {
            const auto range = numberPair(v);
            if (!range || !(range->first > 0.0) || !(range->second > range->first)) return false;
            r.lowHz = range->first, r.highHz = range->second;
            return true;
        },
        "must be LOW,HIGH in Hz with 0 < LOW < HIGH");
    addValue(
        app, "--eq-filters", request,
        [](const std::string& v, EqRequest& r) {
            const auto k = number(v);
            if (!k || *k != std::floor(*k) || *k < 1 || *k > kEqMostFilters) return false;
            r.filters = static_cast<int>(*k);
            return true;
        },
        "must be a whole number from 1 to " + std::to_string(kEqMostFilters));
    addValue(
        app, "--eq-max-boost", request,
        [](const std::string& v, EqRequest& r) {
            const auto db = number(v);
            if (!db || *db < 0.0 || *db > kEqLargestCutDb) return false;
            r.maxBoostDb = *db;
            return true;
        },
        "must be a number of dB from 0 to 15");
    addValue(
        app, "--eq-q", request,
        [](const std::string& v, EqRequest& r) {
            const auto q = numberPair(v);
            if (!q || !(q->first > 0.0) || q->second < q->first || q->second > 100.0) return false;
            r.lowestQ = q->first, r.highestQ = q->second;
            return true;
        },
        "must be LOW,HIGH with 0 < LOW <= HIGH <= 100");
    addFile(app, "--eq-pipewire", request, &EqRequest::pipewire);
    addFile(app, "--eq-camilladsp", request, &EqRequest::camilladsp);
    addFile(app, "--eq-apo", request, &EqRequest::apo);
    addFile(app, "--eq-png", request, &EqRequest::png);
}

std::string checkEqRequest(const EqRequest& r, double sampleRate, double binWidthHz,
                           bool simulated) {
    if (!r.fit) return r.anyGiven ? "the --eq-... options need --eq" : "";
    EqFitSettings settings;
    settings.lowHz = r.lowHz;
    settings.highHz = r.highHz;
    settings.filters = r.filters;
    settings.maxBoostDb = r.maxBoostDb;
    settings.lowestQ = r.lowestQ;
    settings.highestQ = r.highestQ;
    settings.sampleRate = sampleRate;
    if (std::string reason = checkEqSettings(settings); !reason.empty()) return reason;
    // A smoothing window at the range's low end must hold a few of the measurement's points.
    if (binWidthHz > r.lowHz * settings.smoothingOctaves * std::log(2.0)) {
        return "--eq-range starts at " + std::to_string(static_cast<int>(r.lowHz)) +
               " Hz, too low for the measurement's resolution of " +
               std::to_string(binWidthHz).substr(0, 5) + " Hz: a lower --rate or a longer --length";
    }
    if (r.verify && !simulated)
        return "--eq-verify measures through a simulated card (sim:...) only";
    const std::string* files[] = {&r.pipewire, &r.camilladsp, &r.apo, &r.png};
    constexpr std::size_t kFiles = std::size(files);
    for (std::size_t i = 0; i < kFiles; ++i)
        for (std::size_t j = i + 1; j < kFiles; ++j)
            if (!files[i]->empty() && *files[i] == *files[j]) return "two --eq-... files have the same name";
    return "";
}

std::string eqUsage() {
    return R"(Equaliser (after the passes; the response smoothed to 1/6 octave):
  --eq                  fit filters (audio EQ cookbook biquads) to the response
  --eq-target T         flat (default) or a file of Hz and dB points (a house curve,
                        read like a calibration file); its level is free
  --eq-range LOW,HIGH   the range fitted, Hz (default 20,500)
  --eq-filters K        at most K filters, 1 .. 20 (default 8); weak ones are left out
  --eq-max-boost DB     the filters together boost at most DB (default 3; cuts to 15)
  --eq-q LOW,HIGH       Q limits of the peaking filters (default 0.3,10)
  --eq-shelves          a low and a high shelf may be among the filters
  --eq-pipewire FILE    a PipeWire filter-chain drop-in: a sink "Ressona EQ" that plays
                        into the default sink
  --eq-camilladsp FILE  CamillaDSP filters and a pipeline step (YAML)
  --eq-apo FILE         Equalizer APO text, with a preamp that keeps the peak at 0 dB
  --eq-verify           measure again with the filters in front of the simulated room
                        and report the error before and after
  --eq-png FILE         picture of the response measured, the target, the response
                        predicted with the filters and (with --eq-verify) measured
)";
}

}  // namespace ressona
