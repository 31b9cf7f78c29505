#include "measure/measure_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <span>
#include <type_traits>
#include <utility>

#include <nlohmann/json.hpp>

#include "control/program.h"
#include "measure/response_view_outputs.h"
#include "resources/control_ids.h"

namespace ressona {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::pair<std::int32_t, const char*> kExcitationNames[] = {
    {kModePulse, "pulse"},      {kModeMls, "mls"},     {kModeWhiteNoise, "noise"},
    {kModeNoSignal, "silence"}, {kModeSweep, "sweep"}, {kModeSineWave, "sine"},
    {kModeSquareWave, "square"}};

constexpr std::pair<std::int32_t, const char*> kViewNames[] = {{kViewStandard, "standard"},
                                                               {kViewPhase, "phase"},
                                                               {kViewHistogram, "histogram"},
                                                               {kViewWaterfall, "waterfall"}};

template <std::size_t n>
std::string nameOf(const std::pair<std::int32_t, const char*> (&names)[n], std::int32_t id) {
    for (const auto& [value, name] : names) {
        if (value == id) return name;
    }
    return "";
}

// The captured curve is there once it was captured or read from a file.
bool capturedPresent(const MeasurementState& state) {
    return state.capturedValid || state.showCaptured;
}

// A float as JSON holds it: the double with the float's shortest decimal form,
// so 0.1f is written as 0.1 and not as 0.10000000149011612.
double jsonNumber(float number) {
    if (!std::isfinite(number)) return number;  // written as null
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, number);
    double exact = 0.0;
    std::from_chars(text, written.ptr, exact);
    return exact;
}

template <typename T>
Json numbers(std::span<const T> values) {
    Json array = Json::array();
    for (const T& value : values) {
        if constexpr (std::is_same_v<T, float>) {
            array.push_back(jsonNumber(value));
        } else {
            array.push_back(value);
        }
    }
    return array;
}

// A level bar's setting as per cent of its travel from the bottom (the bar's
// position counts from the top).
double levelPercent(std::int32_t position, std::int32_t maximum) {
    return maximum <= 0 ? 0.0 : 100.0 * (maximum - position) / maximum;
}

Json settingsJson(const MeasureOptions& options, const MeasurementState& state) {
    return {
        {"sampleRate", state.sampleRate},
        {"sampleLength", state.sampleLength},
        {"excitation", options.logSweep ? "logsweep" : excitationName(state.excitationMode)},
        {"toneHz", state.toneFrequency},
        {"average", state.averagingOn ? Json(state.averageCount) : Json(nullptr)},
        {"averageIn", state.averageInTime ? "time" : "frequency"},
        {"halfHanning", state.halfHanning},
        {"thirdOctave", state.thirdOctave},
        {"artificial", state.artificialMode},
        {"delaySamples", state.recordDelaySamples},
        {"delayMs", jsonNumber(state.recordDelayMs)},
        {"lowerCut", state.lowerCut},
        {"upperCut", state.upperCut},
        {"fixDb", state.fixDbScale},
        {"dbLow", state.dbLow},
        {"dbHigh", state.dbHigh},
        {"hzLow", state.freqLowHz},
        {"hzHigh", state.freqHighHz},
        {"shiftDb", jsonNumber(state.shiftDb)},
        {"waterfallSteps", state.waterfallSteps},
        {"waterfallStart", state.waterfallStart},
        {"view", viewName(state.analysisView)},
        {"input", state.mixerInputMic ? "mic" : "line"},
        {"speakerLevel", levelPercent(state.speakerLevel, state.speakerLevelMax)},
        {"micLevel", levelPercent(state.micLevel, state.micLevelMax)},
        {"lineLevel", levelPercent(state.lineLevel, state.lineLevelMax)},
        {"showCaptured", state.showCaptured},
        {"subtract", state.subtractCaptured},
        {"instant", options.instant},
        // The channel that carried the output wired back; null for a mono capture.
        {"reference", options.reference == ReferenceChannel::kLeft    ? Json("left")
                      : options.reference == ReferenceChannel::kRight ? Json("right")
                                                                      : Json(nullptr)},
    };
}

Json monitorJson(const DialogModel& dialog) {
    return {
        {"sample", dialog.GetDlgItemTextA(ids::kSampleCountText)},
        {"latency", dialog.GetDlgItemTextA(ids::kLatencyText)},
        {"trigger", dialog.GetDlgItemTextA(ids::kTriggerText)},
        {"delay", dialog.GetDlgItemTextA(ids::kDelayText)},
        {"mixer", dialog.GetDlgItemTextA(ids::kMixerText)},
    };
}

Json errorsJson(const std::vector<ShownError>& errors) {
    Json list = Json::array();
    for (const ShownError& error : errors) {
        list.push_back({{"number", error.number > 0 ? Json(error.number) : Json(nullptr)},
                        {"title", error.title},
                        {"message", error.message}});
    }
    return list;
}

Json capturesJson(const std::vector<CaptureFigures>& captures) {
    Json list = Json::array();
    for (const CaptureFigures& capture : captures) {
        list.push_back({{"pass", capture.pass},
                        {"recordingPeakDbfs", capture.recordingPeakDbfs
                                                  ? Json(*capture.recordingPeakDbfs)
                                                  : Json(nullptr)},
                        {"clippedSamples", capture.clippedSamples},
                        {"impulsePeakCounts", capture.impulsePeakCounts}});
    }
    return list;
}

// Null where no thread waits on a device (a simulated card).
Json deviceThreadJson(const ThreadScheduling& scheduling) {
    if (!scheduling.asked) return nullptr;
    Json thread = {{"realtime", scheduling.realtime}};
    if (scheduling.realtime) {
        thread["policy"] = "SCHED_FIFO";
        thread["priority"] = scheduling.priority;
    } else {
        thread["reason"] = scheduling.reason;
    }
    return thread;
}

Json deviceFailureJson(const MeasureOutcome& outcome) {
    if (outcome.deviceFailure == 0) return nullptr;
    return {{"afterPasses", outcome.passesCompleted},
            {"resultCode", outcome.deviceFailure},
            {"cause", outcome.deviceFailureCause.empty() ? deviceFailureCause(outcome.deviceFailure)
                                                         : outcome.deviceFailureCause}};
}

void addArrays(Json& report, const MeasurementState& state, const SampleArrays& arrays) {
    report["magnitudeSpectrum"] = numbers(arrays.magnitudeSpectrum.raw());
    report["phaseSpectrum"] = numbers(arrays.phaseSpectrum.raw());
    report["timeTrace"] = numbers(arrays.timeTrace.raw());
    report["impulseResponse"] = numbers(arrays.impulseResponse.raw());
    if (capturedPresent(state)) report["capturedSpectrum"] = numbers(arrays.capturedSpectrum.raw());
}

Json fileOrNull(const std::string& file) {
    return file.empty() ? Json(nullptr) : Json(file);
}

void addExchange(Json& report, const ExchangeNotes& notes) {
    report["calibration"] = notes.calibrationFile.empty()
                                ? Json(nullptr)
                                : Json{{"file", notes.calibrationFile},
                                       {"points", notes.calibrationPoints},
                                       {"offsetDb", notes.calibrationOffsetDb},
                                       {"phase", notes.calibrationPhase}};
    report["read"] = notes.readFile.empty()
                         ? Json(nullptr)
                         : Json{{"file", notes.readFile},
                                {"format", notes.readText ? "response text" : "saved file"},
                                {"phase", notes.readPhase}};
    report["exports"] = {{"wav", fileOrNull(notes.wav)},
                         {"frd", fileOrNull(notes.frd)},
                         {"csv", fileOrNull(notes.csv)},
                         {"levelInSpl", notes.levelInSpl}};
}

// The transfer function's record: its grid, time zero, where its impulse
// response peaks and, with the arrays, its rows as the FRD export holds them.
Json transferJson(const TransferFunction& transfer, bool withArrays,
                  const MeasureOutcome& outcome) {
    if (transfer.empty()) return nullptr;
    const auto peak = std::max_element(
        transfer.impulse.begin(), transfer.impulse.end(),
        [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    Json json = {{"sampleRate", transfer.sampleRate},
                 {"points", transfer.points()},
                 {"binWidthHz", transfer.binWidthHz()},
                 {"timeZeroSample", transfer.timeZeroSample},
                 {"impulsePeakSample", peak - transfer.impulse.begin()},
                 {"impulsePeak", *peak}};
    if (outcome.splOffsetDb) {
        json["spl"] = {{"sensitivityFile", outcome.sensitivityFile},
                       {"sensitivityDbfsAt94DbSpl", *outcome.sensitivityDbfs},
                       {"calibrationDbAtCalibrator", outcome.calibrationDbAtCalibrator},
                       {"offsetDb", *outcome.splOffsetDb}};
    }
    if (!withArrays) return json;
    Json frequency = Json::array();
    Json level = Json::array();
    Json phase = Json::array();
    for (std::size_t k = 1; k + 1 < transfer.spectrum.size(); ++k) {
        frequency.push_back(transfer.frequencyHz(k));
        level.push_back(transfer.levelDb(k));
        phase.push_back(transfer.phaseDeg(k));
    }
    json["frequencyHz"] = std::move(frequency);
    if (outcome.splOffsetDb) {
        Json spl = Json::array();
        for (const Json& value : level) spl.push_back(value.get<double>() + *outcome.splOffsetDb);
        json["splDb"] = std::move(spl);
    }
    json["levelDb"] = std::move(level);
    json["phaseDeg"] = std::move(phase);
    return json;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

}  // namespace

std::string deviceFailureCause(std::uint32_t resultCode) {
    switch (resultCode) {
        case 2:  // MMSYSERR_BADDEVICEID
            return "the sound card went away";
        case 6:  // MMSYSERR_NODRIVER
            return "the sound server went away";
        default:
            return "the sound stream broke off (its server gone, an under- or overrun, or a "
                   "device that stopped)";
    }
}

std::string excitationName(std::int32_t mode) {
    return nameOf(kExcitationNames, mode);
}

std::string viewName(std::int32_t view) {
    return nameOf(kViewNames, view);
}

void writeJsonReport(std::ostream& out, const MeasureOptions& options,
                     const MeasureOutcome& outcome, Program& program) {
    const MeasurementState& state = program.state();
    const SampleArrays& arrays = program.arrays();
    Json report = {
        {"device",
         {{"name", outcome.deviceName},
          {"description", outcome.deviceDescription},
          {"simulated", outcome.deviceSimulated},
          {"chosenBy", outcome.deviceByDefault ? "default" : "option"},
          {"thread", deviceThreadJson(outcome.deviceThreads)}}},
        {"settings", settingsJson(options, state)},
        {"passesRequested", outcome.passesRequested},
        {"passes", outcome.passesCompleted},
        {"passesReplayed", outcome.passesReplayed},
        {"sampleCounter", state.sampleCounter},
        {"latencySamples", state.latencySamples},
        {"triggerSample", state.triggerSample},
        {"binWidth", jsonNumber(arrays.binWidth)},
        {"passSeconds", outcome.passSeconds},
        {"processSeconds", outcome.processSeconds},
        {"monitor", monitorJson(program.dialog())},
        {"errors", errorsJson(outcome.errors)},
        {"failures", outcome.failures},
        {"deviceFailure", deviceFailureJson(outcome)},
        {"captures", capturesJson(outcome.captures)},
        {"warnings", outcome.warnings},
    };
    if (outcome.sweep) addSweepJson(report, *outcome.sweep);
    addExchange(report, outcome.exchange);
    if (options.arrays && arrays.resultsReady) addArrays(report, state, arrays);
    if (outcome.room) report["room"] = roomJson(*outcome.room);
    if (outcome.eq) report["eq"] = eqJson(*outcome.eq);
    report["transferFunction"] =
        outcome.transfer ? transferJson(*outcome.transfer, options.arrays, outcome) : Json(nullptr);
    if (options.views && outcome.views) {
        addViewsJson(report, *outcome.views);
    } else if (options.views) {
        for (const char* field : {"groupDelay", "minimumPhase", "excessPhase", "energyTime"})
            report[field] = nullptr;
    }
    // Bytes that are not UTF-8 (a file name, a device's answer) become U+FFFD.
    out << report.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

void writeTextReport(std::ostream& out, const MeasureOutcome& outcome, Program& program) {
    const DialogModel& dialog = program.dialog();
    const MeasurementState& state = program.state();
    out << "device: " << outcome.deviceName << " (" << outcome.deviceDescription << ")\n";
    out << "passes: " << outcome.passesCompleted << " of " << outcome.passesRequested << ", "
        << state.sampleLength << " samples at " << state.sampleRate << " Hz, "
        << (outcome.sweep ? "logsweep" : excitationName(state.excitationMode)) << '\n';
    out << dialog.GetDlgItemTextA(ids::kSampleCountText) << "; "
        << dialog.GetDlgItemTextA(ids::kLatencyText) << "; "
        << dialog.GetDlgItemTextA(ids::kTriggerText) << '\n';
    out << "mixer: " << dialog.GetDlgItemTextA(ids::kMixerText) << '\n';
    if (!outcome.passSeconds.empty()) {
        out << std::fixed << std::setprecision(2) << "pass: median "
            << median(outcome.passSeconds) * 1000.0 << " ms";
        if (!outcome.processSeconds.empty()) {
            out << "; between passes: median " << median(outcome.processSeconds) * 1000.0 << " ms";
        }
        out << '\n' << std::defaultfloat;
    }
}

}  // namespace ressona
