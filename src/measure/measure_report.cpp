#include "measure/measure_report.h"

#include <algorithm>
#include <iomanip>
#include <utility>

#include "control/program.h"
#include "measure/json_writer.h"
#include "resources/control_ids.h"

namespace ressona {

namespace {

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

void writeSettings(JsonWriter& json, const MeasureOptions& options, const MeasurementState& state) {
    json.beginObject();
    json.key("sampleRate").value(state.sampleRate);
    json.key("sampleLength").value(state.sampleLength);
    json.key("excitation").value(excitationName(state.excitationMode));
    json.key("toneHz").value(state.toneFrequency);
    json.key("average");
    if (state.averagingOn) {
        json.value(state.averageCount);
    } else {
        json.null();
    }
    json.key("averageIn").value(state.averageInTime ? "time" : "frequency");
    json.key("halfHanning").value(state.halfHanning);
    json.key("thirdOctave").value(state.thirdOctave);
    json.key("artificial").value(state.artificialMode);
    json.key("delaySamples").value(state.recordDelaySamples);
    json.key("delayMs").value(state.recordDelayMs);
    json.key("lowerCut").value(state.lowerCut);
    json.key("upperCut").value(state.upperCut);
    json.key("fixDb").value(state.fixDbScale);
    json.key("dbLow").value(state.dbLow);
    json.key("dbHigh").value(state.dbHigh);
    json.key("hzLow").value(state.freqLowHz);
    json.key("hzHigh").value(state.freqHighHz);
    json.key("shiftDb").value(state.shiftDb);
    json.key("waterfallSteps").value(state.waterfallSteps);
    json.key("waterfallStart").value(state.waterfallStart);
    json.key("view").value(viewName(state.analysisView));
    json.key("input").value(state.mixerInputMic ? "mic" : "line");
    json.key("showCaptured").value(state.showCaptured);
    json.key("subtract").value(state.subtractCaptured);
    json.key("instant").value(options.instant);
    json.endObject();
}

void writeMonitor(JsonWriter& json, const DialogModel& dialog) {
    json.beginObject();
    json.key("sample").value(dialog.GetDlgItemTextA(ids::kSampleCountText));
    json.key("latency").value(dialog.GetDlgItemTextA(ids::kLatencyText));
    json.key("trigger").value(dialog.GetDlgItemTextA(ids::kTriggerText));
    json.key("delay").value(dialog.GetDlgItemTextA(ids::kDelayText));
    json.key("mixer").value(dialog.GetDlgItemTextA(ids::kMixerText));
    json.endObject();
}

template <typename T>
void writeArray(JsonWriter& json, const char* name, const OneBasedArray<T>& array) {
    json.key(name);
    json.array(array.raw());
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

}  // namespace

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
    JsonWriter json(out);
    json.beginObject();
    json.key("device");
    json.beginObject();
    json.key("name").value(outcome.deviceName);
    json.key("description").value(outcome.deviceDescription);
    json.key("simulated").value(outcome.deviceSimulated);
    json.key("chosenBy").value(outcome.deviceByDefault ? "default" : "option");
    json.endObject();
    json.key("settings");
    writeSettings(json, options, state);
    json.key("passesRequested").value(outcome.passesRequested);
    json.key("passes").value(outcome.passesCompleted);
    json.key("sampleCounter").value(state.sampleCounter);
    json.key("latencySamples").value(state.latencySamples);
    json.key("triggerSample").value(state.triggerSample);
    json.key("binWidth").value(arrays.binWidth);
    json.key("passSeconds");
    json.array(std::span<const double>(outcome.passSeconds));
    json.key("processSeconds");
    json.array(std::span<const double>(outcome.processSeconds));
    json.key("monitor");
    writeMonitor(json, program.dialog());
    json.key("errors");
    json.beginArray();
    for (const ShownError& error : outcome.errors) {
        json.beginObject();
        json.key("number");
        if (error.number > 0) {
            json.value(error.number);
        } else {
            json.null();
        }
        json.key("title").value(error.title);
        json.key("message").value(error.message);
        json.endObject();
    }
    json.endArray();
    json.key("failures");
    json.beginArray();
    for (const std::string& failure : outcome.failures) json.value(failure);
    json.endArray();
    if (options.arrays && arrays.resultsReady) {
        writeArray(json, "magnitudeSpectrum", arrays.magnitudeSpectrum);
        writeArray(json, "phaseSpectrum", arrays.phaseSpectrum);
        writeArray(json, "timeTrace", arrays.timeTrace);
        writeArray(json, "impulseResponse", arrays.impulseResponse);
        if (capturedPresent(state)) writeArray(json, "capturedSpectrum", arrays.capturedSpectrum);
    }
    json.endObject();
    out << '\n';
}

void writeTextReport(std::ostream& out, const MeasureOutcome& outcome, Program& program) {
    const DialogModel& dialog = program.dialog();
    const MeasurementState& state = program.state();
    out << "device: " << outcome.deviceName << " (" << outcome.deviceDescription << ")\n";
    out << "passes: " << outcome.passesCompleted << " of " << outcome.passesRequested << ", "
        << state.sampleLength << " samples at " << state.sampleRate << " Hz, "
        << excitationName(state.excitationMode) << '\n';
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
