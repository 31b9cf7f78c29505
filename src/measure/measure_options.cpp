#include "measure/measure_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <functional>
#include <utility>

#include "sweep/sweep_pass_service.h"
#include "state/measurement_state.h"
#include "sweep/log_sweep.h"
#include "sweep/sweep_deconvolution.h"

namespace ressona {

namespace {

// A whole number in [low, high] read from all of text, or nothing.
std::optional<std::int64_t> wholeNumber(std::string_view text, std::int64_t low,
                                        std::int64_t high) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) return {};
    return value;
}

// Two whole numbers "A<separator>B", each in [low, high].
using NumberPair = std::pair<std::int64_t, std::int64_t>;
std::optional<NumberPair> numberPair(std::string_view text, char separator, std::int64_t low,
                                     std::int64_t high) {
    const auto at = text.find(separator);
    if (at == std::string_view::npos) return {};
    const auto first = wholeNumber(text.substr(0, at), low, high);
    const auto second = wholeNumber(text.substr(at + 1), low, high);
    if (!first || !second) return {};
    return NumberPair{*first, *second};
}

// A decimal number read from all of text, or nothing.
std::optional<double> decimalNumber(std::string_view text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return {};
    return value;
}

// The measurer's own excitation: not a panel mode.
constexpr std::int32_t kLogSweepChoice = -1;

std::string range(std::int64_t low, std::int64_t high) {
    return std::to_string(low) + " to " + std::to_string(high);
}

// An option whose text `read` turns into a value, or refuses with `refusal`
// (CLI11 puts the option's name in front); `store` keeps the value.
template <typename T>
using Reader = std::function<std::optional<T>(const std::string&)>;
template <typename T>
void addRead(CLI::App& app, const std::string& name, Reader<T> read, const std::string& refusal,
             std::function<void(T)> store) {
    app.add_option_function<std::string>(name, [=](const std::string& v) { store(*read(v)); })
        ->check(CLI::Validator(
            [=](std::string& v) { return read(v) ? std::string() : "'" + v + "' " + refusal; },
            ""));
}

// The type a field keeps: an optional field keeps its value's type.
template <typename T>
struct Kept {
    using type = T;
};
template <typename T>
struct Kept<std::optional<T>> {
    using type = T;
};

template <typename Field>
void addWhole(CLI::App& app, const std::string& name, std::int64_t low, std::int64_t high,
              Field& field) {
    addRead<std::int64_t>(
        app, name, [=](const std::string& v) { return wholeNumber(v, low, high); },
        "must be a whole number from " + range(low, high),
        [&field](std::int64_t n) { field = static_cast<typename Kept<Field>::type>(n); });
}

// A pair "LOW,HIGH" with LOW < HIGH, each within [low, high].
void addPair(CLI::App& app, const std::string& name, std::int64_t low, std::int64_t high,
             const std::string& what, std::function<void(std::int32_t, std::int32_t)> store) {
    addRead<NumberPair>(
        app, name,
        [=](const std::string& v) {
            const auto pair = numberPair(v, ',', low, high);
            return pair && pair->first < pair->second ? pair : std::nullopt;
        },
        "must be " + what + " with the first below the second, each from " + range(low, high),
        [=](NumberPair p) {
            store(static_cast<std::int32_t>(p.first), static_cast<std::int32_t>(p.second));
        });
}

// A name from the list, stored as its id.
void addChoice(CLI::App& app, const std::string& name, std::int32_t& id,
               std::vector<std::pair<std::string, std::int32_t>> names, const std::string& listed) {
    addRead<std::int32_t>(
        app, name,
        [names](const std::string& v) -> std::optional<std::int32_t> {
            for (const auto& [text, value] : names) {
                if (text == v) return value;
            }
            return {};
        },
        "must be " + listed, [&id](std::int32_t value) { id = value; });
}

void addSweepSettings(CLI::App& app, MeasureOptions& o) {
    for (auto [option, field] :
         {std::pair{"--sweep-from", &o.sweepFromHz}, {"--sweep-level", &o.sweepLevelDbfs}}) {
        addRead<double>(
            app, option, [](const std::string& v) { return decimalNumber(v); }, "must be a number",
            [&o, target = field](double v) { *target = v, o.sweepOptionGiven = true; });
    }
    addRead<double>(
        app, "--sweep-to", [](const std::string& v) { return decimalNumber(v); },
        "must be a number", [&o](double v) { o.sweepToHz = v, o.sweepOptionGiven = true; });
    addRead<std::int64_t>(
        app, "--sweep-samples",
        [](const std::string& v) -> std::optional<std::int64_t> {
            const auto n = wholeNumber(v, kSweepSamplesLowest, kSweepSamplesHighest);
            return n && (*n & (*n - 1)) == 0 ? n : std::nullopt;
        },
        "must be a power of two from 16384 to 1048576",
        [&o](std::int64_t n) {
            o.sweepSamples = static_cast<std::uint32_t>(n), o.sweepOptionGiven = true;
        });
}

void addSettings(CLI::App& app, MeasureOptions& o) {
    addRead<std::string>(
        app, "--device",
        [](const std::string& v) -> std::optional<std::string> {
            const bool known = v == "sim" || v == "sim:loopback" || v == "sim:room" ||
                               v == "sim:distortion" || v == "sim:slips" || v == "sim:modes" ||
                               v == "sim:hall" || v == "sim:filter" || v == "alsa" ||
                               (v.rfind("alsa:", 0) == 0 && v.size() > 5);
            return known ? std::optional(v) : std::nullopt;
        },
        "must be sim, sim:loopback, sim:room, sim:distortion, sim:slips, sim:modes, sim:hall, "
        "sim:filter, alsa or "
        "alsa:PCMNAME",
        [&o](std::string v) { o.device = std::move(v); });
    addRead<ReferenceChannel>(
        app, "--reference",
        [](const std::string& v) -> std::optional<ReferenceChannel> {
            if (v == "left") return ReferenceChannel::kLeft;
            if (v == "right") return ReferenceChannel::kRight;
            return std::nullopt;
        },
        "must be left or right", [&o](ReferenceChannel v) { o.reference = v; });
    addRead<std::uint32_t>(
        app, "--rate",
        [](const std::string& v) -> std::optional<std::uint32_t> {
            const auto rate = wholeNumber(v, 0, 1'000'000);
            for (std::uint32_t allowed : {8000, 11025, 22050, 44100, 48000}) {
                if (rate == allowed) return allowed;
            }
            return {};
        },
        "must be one of 8000, 11025, 22050, 44100, 48000",
        [&o](std::uint32_t rate) { o.sampleRate = rate; });
    addRead<std::int64_t>(
        app, "--length",
        [](const std::string& v) -> std::optional<std::int64_t> {
            const auto n = wholeNumber(v, 64, 16384);
            return n && (*n & (*n - 1)) == 0 ? n : std::nullopt;
        },
        "must be a power of two from 64 to 16384",
        [&o](std::int64_t n) { o.sampleLength = static_cast<std::uint32_t>(n); });
    addChoice(app, "--excitation", o.excitationMode,
              {{"pulse", kModePulse},
               {"mls", kModeMls},
               {"noise", kModeWhiteNoise},
               {"silence", kModeNoSignal},
               {"sweep", kModeSweep},
               {"sine", kModeSineWave},
               {"square", kModeSquareWave},
               {"logsweep", kLogSweepChoice}},
              "pulse, mls, noise, silence, sweep, sine, square or logsweep");
    addChoice(app, "--view", o.view,
              {{"standard", kViewStandard},
               {"phase", kViewPhase},
               {"histogram", kViewHistogram},
               {"waterfall", kViewWaterfall}},
              "standard, phase, histogram or waterfall");
    addWhole(app, "--tone", 1, 24000, o.toneHz);
    addWhole(app, "--passes", 0, 1'000'000, o.passes);
    addWhole(app, "--average", 1, 1'000'000, o.averageCount);
    addWhole(app, "--delay", -8192, 8192, o.delaySamples);
    addWhole(app, "--shift", -60, 60, o.shiftDb);
    addWhole(app, "--steps", 1, 8192, o.waterfallSteps);
    addWhole(app, "--waterfall-start", 0, 16384, o.waterfallStart);
    addWhole(app, "--speaker-level", 0, 100, o.speakerLevel);
    addWhole(app, "--mic-level", 0, 100, o.micLevel);
    addWhole(app, "--line-level", 0, 100, o.lineLevel);
    addPair(app, "--cuts", 0, 1000, "LOWER,UPPER per mille",
            [&o](std::int32_t low, std::int32_t high) { o.lowerCut = low, o.upperCut = high; });
    addPair(app, "--db", -9999, 9999, "LOW,HIGH in dB", [&o](std::int32_t low, std::int32_t high) {
        o.dbRange = {low, high};
    });
    addPair(app, "--hz", 1, 1'000'000, "LOW,HIGH in Hz", [&o](std::int32_t low, std::int32_t high) {
        o.hzRange = {low, high};
    });
    addRead<NumberPair>(
        app, "--size", [](const std::string& v) { return numberPair(v, 'x', 16, 8192); },
        "must be WIDTHxHEIGHT, each 16 to 8192 pixels",
        [&o](NumberPair size) {
            o.pictureWidth = static_cast<std::int32_t>(size.first);
            o.pictureHeight = static_cast<std::int32_t>(size.second);
        });
    addSweepSettings(app, o);
    for (auto [option, field] : {std::pair{"--read", &o.readFile},
                                 {"--save", &o.saveFile},
                                 {"--time-png", &o.timePng},
                                 {"--freq-png", &o.freqPng},
                                 {"--distortion-png", &o.distortionPng}}) {
        addRead<std::string>(
            app, option,
            [](const std::string& v) { return v.empty() ? std::nullopt : std::optional(v); },
            "must not be empty", [target = field](std::string v) { *target = std::move(v); });
    }
}

void addFlags(CLI::App& app, MeasureOptions& o) {
    for (auto [option, field] : {std::pair{"--frequency-domain", &o.averageInFrequency},
                                 {"--hanning", &o.halfHanning},
                                 {"--third-octave", &o.thirdOctave},
                                 {"--artificial", &o.artificial},
                                 {"--fix-db", &o.fixDb},
                                 {"--instant", &o.instant},
                                 {"--capture", &o.capture},
                                 {"--subtract", &o.subtract},
                                 {"--json", &o.json},
                                 {"--arrays", &o.arrays},
                                 {"--distortion", &o.distortionTable},
                                 {"--help", &o.help}}) {
        app.add_flag(option, *field);
    }
    app.add_flag("--mic{true},--line{false}", o.inputMic);
}

void addExchange(CLI::App& app, MeasureOptions& o) {
    for (auto [option, field] : {std::pair{"--export-wav", &o.exportWav},
                                 {"--export-frd", &o.exportFrd},
                                 {"--export-csv", &o.exportCsv},
                                 {"--calibration", &o.calibrationFile}}) {
        addRead<std::string>(
            app, option,
            [](const std::string& v) { return v.empty() ? std::nullopt : std::optional(v); },
            "must not be empty", [target = field](std::string v) { *target = std::move(v); });
    }
}

// Checks of the exchange options against the others.
std::string exchangeCheck(const MeasureOptions& o) {
    if (o.passes == 0) {
        if (o.readFile.empty()) return "--passes 0 needs --read FILE: the curve read is the result";
        if (o.capture || o.subtract) {
            return "--passes 0 measures nothing to capture or subtract from";
        }
        if (!o.saveFile.empty()) {
            return "--save needs passes: the panel saves only after a measurement; with "
                   "--passes 0 write the curve with --export-frd or --export-csv";
        }
        if (!o.exportWav.empty())
            return "--export-wav needs passes: a curve read has no impulse response";
        if (!o.etcPng.empty())
            return "--etc-png needs an impulse response, and a frequency response read with "
                   "--passes 0 has none";
        if (!o.calibrationFile.empty()) {
            return "--calibration corrects measured passes; with --passes 0 nothing is measured";
        }
    }
    const std::pair<const char*, const std::string*> outputs[] = {{"--export-wav", &o.exportWav},
                                                                  {"--export-frd", &o.exportFrd},
                                                                  {"--export-csv", &o.exportCsv},
                                                                  {"--save", &o.saveFile}};
    for (std::size_t i = 0; i < std::size(outputs); ++i) {
        for (std::size_t j = i + 1; j < std::size(outputs); ++j) {
            if (!outputs[i].second->empty() && *outputs[i].second == *outputs[j].second) {
                return std::string(outputs[i].first) + " and " + outputs[j].first +
                       " name the same file";
            }
        }
    }
    return "";
}

// --room, --ir-wav FILE and --decay-png FILE.
void addRoomOptions(CLI::App& app, MeasureOptions& o) {
    app.add_flag("--room", o.room);
    for (auto [option, field] : {std::pair{"--ir-wav", &o.irWav}, {"--decay-png", &o.decayPng}}) {
        addRead<std::string>(
            app, option,
            [](const std::string& v) { return v.empty() ? std::nullopt : std::optional(v); },
            "must not be empty", [target = field](std::string v) { *target = std::move(v); });
    }
}

// A file's response is analysed without measuring, so no option of the
// measurement may come with it.
std::string roomCheck(const CLI::App& app, const MeasureOptions& o) {
    if (!o.irWav.empty()) {
        for (const CLI::Option* option : app.get_options()) {
            std::string name = option->get_name(false, true);  // "--mic,--line" for the pair
            for (char& c : name) c = c == ',' ? '/' : c;
            const bool allowed = name == "--ir-wav" || name == "--room" || name == "--json" ||
                                 name == "--decay-png" || name == "--size" || name == "--help";
            if (!allowed && option->count() > 0) {
                return "--ir-wav analyses a file and measures nothing, so " + name +
                       " does not apply";
            }
        }
        return "";
    }
    if (!o.decayPng.empty() && !o.room) return "--decay-png needs --room or --ir-wav";
    if (o.room && o.passes == 0) return "--room needs passes (or --ir-wav FILE)";
    if (o.room && !o.logSweep && o.excitationMode != kModeMls && o.excitationMode != kModePulse) {
        return "--room needs an impulse response: --excitation mls, pulse or logsweep (or "
               "--ir-wav FILE)";
    }
    return "";
}

// --views, --phase-png, --etc-png, and --combine FILE... with its average and alignment.
void addResponseViewOptions(CLI::App& app, MeasureOptions& o) {
    app.add_flag("--views", o.views);
    app.add_flag("--combine-align", o.combineAlign);
    app.add_flag("--combine-align-level", o.combineAlignLevels);
    for (auto [option, field] : {std::pair{"--phase-png", &o.phasePng}, {"--etc-png", &o.etcPng}}) {
        addRead<std::string>(
            app, option,
            [](const std::string& v) { return v.empty() ? std::nullopt : std::optional(v); },
            "must not be empty", [target = field](std::string v) { *target = std::move(v); });
    }
    addRead<AverageKind>(
        app, "--combine-average",
        [](const std::string& v) { return averageKindNamed(v); }, "must be rms, db or vector",
        [&o](AverageKind kind) { o.combineAverage = kind; });
    app.add_option("--combine", o.combineFiles)
        ->expected(1, CLI::detail::expected_max_vector_size)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(CLI::Validator(
            [](std::string& v) { return v.empty() ? "file names must not be empty" : ""; }, ""));
}

// Combining reads files and measures nothing, so only the options of its
// result may come with it.
std::string responseViewCheck(const CLI::App& app, const MeasureOptions& o) {
    if (o.combineFiles.empty()) {
        for (const char* name : {"--combine-average", "--combine-align", "--combine-align-level"}) {
            if (app.count(name) > 0) return std::string(name) + " needs --combine FILE...";
        }
        // Silence has nothing to divide by: no transfer function, no views of it.
        const bool silent = o.passes > 0 && !o.logSweep && o.excitationMode == kModeNoSignal;
        for (const char* name : {"--views", "--phase-png", "--etc-png"}) {
            if (silent && app.count(name) > 0)
                return std::string(name) + " needs a transfer function, and silence gives none";
        }
        return "";
    }
    constexpr std::string_view kAllowed[] = {
        "--combine", "--combine-average", "--combine-align", "--combine-align-level", "--json",
        "--views",   "--phase-png",       "--etc-png",       "--export-frd",          "--export-csv",
        "--export-wav", "--size",         "--rate",          "--length",              "--help"};
    for (const CLI::Option* option : app.get_options()) {
        const std::string name = option->get_name(false, true);
        if (option->count() > 0 &&
            std::find(std::begin(kAllowed), std::end(kAllowed), name) == std::end(kAllowed)) {
            return "--combine reads its files and measures nothing, so " + name +
                   " does not apply";
        }
    }
    if (o.combineAlignLevels && !o.combineAlign)
        return "--combine-align-level comes with --combine-align";
    return "";
}

// ---- Absolute levels: the calibrator, the sensitivity file, the sound level meter.

// A decimal number within [low, high] for the option, stored in field.
template <typename Field>
void addDecimal(CLI::App& app, const std::string& name, double low, double high, Field& field) {
    char text[96];
    std::snprintf(text, sizeof text, "must be a number from %g to %g", low, high);
    addRead<double>(
        app, name,
        [=](const std::string& v) -> std::optional<double> {
            const auto value = decimalNumber(v);
            return value && *value >= low && *value <= high ? value : std::nullopt;
        },
        text, [&field](double value) { field = value; });
}

void addLevelOptions(CLI::App& app, MeasureOptions& o) {
    for (auto [option, field] : {std::pair{"--calibrator-wav", &o.calibratorWav},
                                 {"--sensitivity", &o.sensitivityFile},
                                 {"--spl-wav", &o.splWav},
                                 {"--spl-log", &o.splLog}}) {
        addRead<std::string>(
            app, option,
            [](const std::string& v) { return v.empty() ? std::nullopt : std::optional(v); },
            "must not be empty", [target = field](std::string v) { *target = std::move(v); });
    }
    app.add_flag("--export-spl", o.exportSpl);
    addDecimal(app, "--calibrator-seconds", 1.0, 600.0, o.calibratorSeconds);
    addDecimal(app, "--calibrator-db", 70.0, 150.0, o.calibratorDb);
    addDecimal(app, "--spl-meter", 0.1, 1e7, o.splMeterSeconds);
    addDecimal(app, "--spl-interval", 0.1, 86400.0, o.splIntervalSeconds);
}

// Levels in dB SPL need the sensitivity and a measured transfer function;
// the frequency picture is put in dB SPL only where its curve is that
// function on the panel's own scale (the pulse's and the MLS's responses, the
// logsweep's) and nothing is subtracted from it.
std::string exportSplCheck(const MeasureOptions& o) {
    if (!o.exportSpl) return "";
    if (o.sensitivityFile.empty())
        return "--export-spl needs the input's sensitivity: --sensitivity FILE (a file written "
               "with --calibrator-wav FILE or --calibrator-seconds S)";
    if (o.passes == 0)
        return "--export-spl needs passes: a curve read with --passes 0 has no known level";
    if (o.freqPng.empty()) return "";
    if (o.subtract)
        return "--export-spl cannot put the --freq-png in dB SPL with --subtract: a difference "
               "of two curves has no absolute level";
    const bool response =
        o.logSweep || o.excitationMode == kModeMls || o.excitationMode == kModePulse;
    if (!response)
        return "--export-spl puts the --freq-png in dB SPL only with --excitation pulse, mls or "
               "logsweep, whose curve is the response";
    return "";
}

// A level run records or reads, and measures nothing with the panel: only the
// device, its rate, the simulated card's speed and the report apply with it.
std::string levelCheck(const CLI::App& app, const MeasureOptions& o) {
    const auto given = [&app](const char* name) { return app.count(name) > 0; };
    if (!o.calibratorWav.empty() && o.calibratorSeconds)
        return "--calibrator-wav and --calibrator-seconds both give the calibrator's recording; "
               "choose one";
    if (!o.splWav.empty() && o.splMeterSeconds)
        return "--spl-wav and --spl-meter both give the meter's signal; choose one";
    if (given("--calibrator-db") && o.calibratorWav.empty() && !o.calibratorSeconds)
        return "--calibrator-db needs --calibrator-wav FILE or --calibrator-seconds S";
    const bool meter = !o.splWav.empty() || o.splMeterSeconds;
    if ((given("--spl-log") || given("--spl-interval")) && !meter)
        return "--spl-log and --spl-interval need --spl-meter SECONDS or --spl-wav FILE";
    if (!o.levelRun()) return exportSplCheck(o);
    for (const CLI::Option* option : app.get_options()) {
        std::string name = option->get_name(false, true);
        for (char& c : name) c = c == ',' ? '/' : c;
        const bool allowed = name.rfind("--calibrator-", 0) == 0 || name.rfind("--spl-", 0) == 0 ||
                             name == "--sensitivity" || name == "--device" || name == "--rate" ||
                             name == "--instant" || name == "--json" || name == "--help";
        if (!allowed && option->count() > 0) {
            return "a calibration or a sound level meter measures nothing else, so " + name +
                   " does not apply";
        }
    }
    for (const std::string* file : {&o.sensitivityFile, &o.calibratorWav, &o.splWav}) {
        if (!o.splLog.empty() && *file == o.splLog)
            return "--spl-log must not name the same file as another option";
    }
    return "";
}

// ---- End of the absolute levels.

// The panel keeps a file's name in a field of kStorageNameLength characters,
// padded with blanks: a longer name, or one ending in a blank, would name
// another file.
std::string checkFileName(const char* option, const std::string& name) {
    if (name.size() > kStorageNameLength) {
        return std::string(option) + " needs a file name of at most " +
               std::to_string(kStorageNameLength) + " characters";
    }
    if (name.back() == ' ')
        return std::string(option) + " needs a file name that does not end in a blank";
    return "";
}

std::string crossCheckSweep(const MeasureOptions& o) {
    if (!o.logSweep) {
        if (o.sweepOptionGiven) return "the --sweep-... options need --excitation logsweep";
        if (o.distortionTable || !o.distortionPng.empty())
            return "--distortion and --distortion-png need --excitation logsweep";
        return "";
    }
    if (o.artificial) return "--artificial analyses the excitation; a logsweep has none to analyse";
    if (o.distortionTable && o.json)
        return "--distortion prints a table, --json an object: choose one (the JSON holds the "
               "same figures under \"distortion\")";
    const LogSweepSettings settings = sweepSettingsOf(o);
    if (std::string error = checkLogSweepSettings(settings); !error.empty()) return error;
    if (sweepTransformSize(settings, sweepRecordSamples(settings, o.sampleLength)) == 0)
        return "the sweep's band is too narrow for its length: its harmonics would not fit "
               "the largest transform";
    return "";
}

// A reference channel times an excitation that can be found in it and
// divides by it: one that has a response to divide by, played, not analysed.
std::string referenceCheck(const MeasureOptions& o) {
    if (o.reference == ReferenceChannel::kNone) return "";
    if (o.passes == 0) return "--reference needs passes: it is a channel of the recording";
    if (o.artificial) return "--reference divides by a recording; --artificial records nothing";
    const bool response =
        o.logSweep || o.excitationMode == kModeMls || o.excitationMode == kModePulse;
    if (!response) return "--reference needs --excitation pulse, mls or logsweep";
    return "";
}

// Checks that need more than one option.
std::string crossCheck(const MeasureOptions& o) {
    for (const auto& [option, name] :
         {std::pair{"--read", &o.readFile}, std::pair{"--save", &o.saveFile}}) {
        if (name->empty()) continue;
        if (std::string error = checkFileName(option, *name); !error.empty()) return error;
    }
    if (!o.readFile.empty() && o.capture) {
        return "--read and --capture both give the captured curve; choose one";
    }
    if (o.subtract && o.readFile.empty() && !o.capture) {
        return "--subtract needs a captured curve: add --read FILE or --capture";
    }
    if (o.toneHz > o.sampleRate / 2) return "--tone must not exceed half the sample rate";
    const auto half = static_cast<std::int32_t>(o.sampleLength / 2);
    if (o.delaySamples < -half || o.delaySamples > half) {
        return "--delay must lie within plus or minus half the sample length";
    }
    if (o.waterfallSteps && *o.waterfallSteps > half) {
        return "--steps must not exceed half the sample length";
    }
    if (o.waterfallStart > static_cast<std::int32_t>(o.sampleLength)) {
        return "--waterfall-start must not exceed the sample length";
    }
    if (std::string error = referenceCheck(o); !error.empty()) return error;
    return crossCheckSweep(o);
}

// CLI11's message on one line, in the words of the rest for a value that is
// missing or given to a flag.
std::string oneLine(const CLI::ParseError& error) {
    std::string text = error.what();
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    constexpr std::string_view kFlagValue = " was given a disallowed flag override";
    if (const auto at = text.find(kFlagValue); at != std::string::npos) {
        return "--" + text.substr(0, at) + " takes no value";
    }
    if (const auto colon = text.find(": "); colon != std::string::npos &&
                                            text.ends_with(" missing") &&
                                            text.find(" required ") != std::string::npos) {
        return text.substr(0, colon) + " needs a value";
    }
    return text;
}

}  // namespace

ParsedOptions parseMeasureOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    MeasureOptions& o = parsed.options;
    CLI::App app;
    app.set_help_flag();  // --help is an ordinary flag: measureMain prints the usage
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addSettings(app, o);
    addFlags(app, o);
    addExchange(app, o);
    addRoomOptions(app, o);
    addEqOptions(app, o.eq);
    addResponseViewOptions(app, o);
    addLevelOptions(app, o);
    for (CLI::Option* option : app.get_options()) option->disable_flag_override();
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        parsed.error = oneLine(error);
        return parsed;
    }
    if (o.excitationMode == kLogSweepChoice) {
        o.logSweep = true;
        o.excitationMode = kModeNoSignal;
    }
    o.gridGiven = app.count("--rate") > 0 || app.count("--length") > 0;
    o.rateGiven = app.count("--rate") > 0;
    o.lengthGiven = app.count("--length") > 0;
    if (!o.help) parsed.error = levelCheck(app, o);
    if (!o.help && (o.levelRun() || !parsed.error.empty())) return parsed;
    if (!o.help) parsed.error = responseViewCheck(app, o);
    if (!o.help && parsed.error.empty() && !o.combineFiles.empty()) return parsed;
    if (!o.help && parsed.error.empty()) parsed.error = roomCheck(app, o);
    if (!o.help && parsed.error.empty()) parsed.error = crossCheck(o);
    if (!o.help && parsed.error.empty()) parsed.error = exchangeCheck(o);
    if (!o.help && parsed.error.empty() && o.eq.anyGiven && !o.eq.fit)
        parsed.error = "the --eq-... options need --eq";
    return parsed;
}

LogSweepSettings sweepSettingsOf(const MeasureOptions& o) {
    LogSweepSettings settings;
    settings.fromHz = o.sweepFromHz;
    constexpr double kDefaultEndHz = 20000.0;
    settings.toHz =
        o.sweepToHz.value_or(std::min(kDefaultEndHz, kSweepHighestShareOfRate * o.sampleRate));
    settings.samples = o.sweepSamples;
    settings.levelDbfs = o.sweepLevelDbfs;
    settings.sampleRate = o.sampleRate;
    return settings;
}

std::string measureUsage() {
    std::string usage = R"(Usage: ressona-measure [OPTION]...
Runs a measurement without windows, on the same code as the desktop program.

Device and passes:
  --device D            sim (simulated room), sim:loopback, sim:room, sim:distortion,
                        sim:slips, sim:modes, sim:hall, sim:filter, alsa, alsa:PCMNAME
                        (default: the ALSA default device if it opens, else sim)
  --passes K            passes to run (default 1); 0 with --read: none, the curve
                        read is the result (to convert a saved file)
  --instant             the simulated card runs as fast as it can
  --reference L|R       record two channels: the left or right one is the card's
                        output wired straight back; the result is the other one over
                        it, timed by it (pulse, mls, logsweep). A reference that holds
                        no excitation is an error. The simulated cards' right input
                        is such a wire.
Panel settings:
  --rate R              8000, 11025, 22050 (default), 44100 or 48000
  --length N            64 .. 16384, a power of two (default 2048)
  --excitation E        pulse (default), mls, noise, silence, sweep, sine, square,
                        logsweep (an exponential sine sweep, 16-bit, deconvolved)
  --sweep-from HZ       logsweep: start (default 20);  --sweep-to HZ  end (at most
                        0.45 x the rate; default 20000, or that limit when lower)
  --sweep-samples S     logsweep: length, a power of two 16384 .. 1048576 (default 65536)
  --sweep-level DBFS    logsweep: peak level, -60 .. 0 (default -6)
  --tone HZ             tone of sine and square (default 2000)
  --average K           average K captures (default: single sample)
  --frequency-domain    average in frequency instead of time
  --hanning             1/2 Hanning window
  --third-octave        1/3 octave smoothing
  --artificial          analyse the excitation itself
  --delay SAMPLES       sample record delay
  --cuts LOWER,UPPER    time-domain cuts, per mille (default 0,1000)
  --db LOW,HIGH         dB scale the plot starts from
  --fix-db              keep the dB scale fixed (at --db, or the default -90,3)
  --hz LOW,HIGH         frequency range of the plot, 1 Hz and up
  --shift DB            shift plot by dB (-60 .. 60)
  --steps S             waterfall steps;  --waterfall-start P  first waterfall sample
  --view V              standard (default), phase, histogram, waterfall
  --mic | --line        recording input (default mic)
  --speaker-level P     the speakers' level bar at P per cent of its travel (0 .. 100);
  --mic-level P         likewise the microphone's and
  --line-level P        the line input's (default: the panel's half way)
After the passes:
  --read FILE           read FILE as the captured curve
  --capture             capture the current response
  --subtract            turn Subtract on (needs --read or --capture)
  --save FILE           save the result as FILE
  --read also takes .frd, .txt and .csv responses (frequency, dB, phase).
Results for other programs:
  --export-wav FILE     the transfer function's impulse response, 32-bit float,
                        from time zero (a wire: 1.0 there)
  --export-frd FILE     the transfer function: Hz, dB re full scale, degrees ('*' comments)
  --export-csv FILE     the same as CSV: frequency_hz,level_db,phase_deg
  --calibration FILE    subtract a microphone calibration file (Hz, dB, optionally
                        degrees; "Sens Factor" offset) before the smoothing
  File names: at most 250 characters, not ending in a blank.
Room parameters (ISO 3382-1: EDT, T20, T30, C50, C80, D50, Ts per octave and third-octave band):
  --room                of the measured impulse response (--excitation mls, pulse or logsweep)
  --ir-wav FILE         of the impulse response in a WAV file (first channel), measuring nothing
  --decay-png FILE      picture of the octave bands' decay curves with their fitted lines
Phase and time of the transfer function, of a curve read with --passes 0 or of --combine:
  --views               the JSON gets groupDelay, minimumPhase, excessPhase and
                        energyTime; --export-frd and --export-csv get the columns
                        group delay (s), minimum phase (deg), excess phase (deg),
                        excess group delay (s)
  --phase-png FILE      picture of the measured, minimum and excess phase
  --etc-png FILE        picture of the energy-time curve (needs an impulse response,
                        so not with --passes 0)
Several measurements (measuring nothing):
  --combine FILE...     average these responses: WAV impulse responses (from
                        --export-wav) or .frd/.txt/.csv frequency responses
  --combine-average A   rms (default), db or vector (vector needs WAV files)
  --combine-align       take out each one's delay against the first (cross
                        correlation of the impulse responses)
  --combine-align-level and each one's level against the first
  The result goes to --json, --export-frd/-csv (-wav when all are WAV files),
  --phase-png and --etc-png; --rate and --length set the grid of text files.
Absolute levels (a full-scale sine is 0 dBFS; dB SPL with a sensitivity):
  --calibrator-wav FILE a recording of an acoustic calibrator (250 Hz or 1 kHz) on the
                        microphone: the input's sensitivity, dBFS at 94 dB SPL
  --calibrator-seconds S  record the calibrator live for S seconds (1 .. 600)
  --calibrator-db DB    the calibrator's level (70 .. 150; default 94)
  --sensitivity FILE    written with the calibrator's sensitivity; read otherwise
  --export-spl          with --sensitivity: --export-frd/-csv in dB SPL (CSV column
                        level_db_spl) and the --freq-png's axis in dB SPL (pulse,
                        mls and logsweep)
  --spl-meter SECONDS   sound level meter on the input (--rate; default 48000 here):
                        LZeq, LAeq, LCeq, LAFmax, LASmax, LCpeak, LAE (IEC 61672-1)
  --spl-wav FILE        the same of a recording (first channel)
  --spl-log FILE.csv    one row per interval: the same figures and the third-octave
                        levels 25 Hz .. 20 kHz (IEC 61260-1 class 1) as far as the rate allows
  --spl-interval S      the log's interval (0.1 .. 86400; default 1)
  Ctrl-C ends a live meter: the log holds every whole interval.
@EQ@Output:
  --json                print a JSON summary on stdout;  --arrays  include the result arrays
  --time-png FILE       picture of the time plot;  --freq-png FILE  of the frequency plot
  --size WxH            picture size in pixels (default 1200x400)
  --distortion          logsweep: a table of harmonic distortion at the third-octave
                        centres (not with --json, whose "distortion" holds the figures)
  --distortion-png FILE logsweep: picture of the fundamental and harmonics 2..5
  --help                this text
Error dialogs are printed as "Ressona: Error N: message" on stderr, and a
device that fails during a pass is named there; a capture that clipped or
whose impulse response peaks below 256 counts is warned of on one line.
Exit status: 0 success; 1 an error dialog was shown, the run stopped early or
an output could not be written; 2 bad command line (nothing is measured).
)";
    const std::size_t at = usage.find("@EQ@");
    return usage.replace(at, 4, eqUsage());
}

}  // namespace ressona
