#include "measure/level_report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace ressona {

namespace {

using Json = nlohmann::ordered_json;

// The figures' names, in the order of the log's columns.
constexpr const char* kFigureNames[] = {"LZeq",   "LAeq",   "LCeq", "LAFmax",
                                        "LASmax", "LCpeak", "LAE"};

std::vector<double> figureValues(const LevelFigures& f) {
    return {f.lzeq, f.laeq, f.lceq, f.lafmax, f.lasmax, f.lcpeak, f.lae};
}

Json level(double value, double offset) {
    return std::isfinite(value) ? Json(std::round((value + offset) * 1000.0) / 1000.0)
                                : Json(nullptr);
}

std::string cell(double value, double offset) {
    if (!std::isfinite(value)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value + offset);
    return text;
}

std::string unitSuffix(const std::optional<Sensitivity>& sensitivity) {
    return sensitivity ? "_db_spl" : "_dbfs";
}

Json sensitivityJson(const LevelOutcome& o) {
    if (!o.sensitivity) return nullptr;
    Json json = {{"dbfsAt94DbSpl", o.sensitivity->dbfsAt94DbSpl}};
    json["calibratorHz"] = o.sensitivity->calibratorHz ? Json(*o.sensitivity->calibratorHz) : Json(nullptr);
    json["calibratorDb"] = o.sensitivity->calibratorDb ? Json(*o.sensitivity->calibratorDb) : Json(nullptr);
    json["file"] = o.sensitivityFile.empty() ? Json(nullptr) : Json(o.sensitivityFile);
    json["from"] = o.calibrator ? "calibrator" : "file";
    json["written"] = o.sensitivityWritten;
    return json;
}

Json meterJson(const MeterOutcome& m, const std::optional<Sensitivity>& sensitivity) {
    const double offset = splOffsetDb(sensitivity);
    Json json = {{"source", m.source},
                 {"file", m.file},
                 {"sampleRate", m.sampleRate},
                 {"seconds", m.whole.seconds},
                 {"interrupted", m.interrupted},
                 {"unit", levelUnit(sensitivity)}};
    json["weighting"] = {{"frequency", "IEC 61672-1 A, C and Z"},
                         {"time", "IEC 61672-1 exponential, Fast and Slow"},
                         {"fastSeconds", kFastSeconds},
                         {"slowSeconds", kSlowSeconds},
                         {"bands", "IEC 61260-1 class 1 third-octaves, Z weighted"}};
    const std::vector<double> values = figureValues(m.whole);
    for (std::size_t i = 0; i < values.size(); ++i) json[kFigureNames[i]] = level(values[i], offset);
    Json bands = Json::array();
    for (std::size_t b = 0; b < m.bands.size() && b < m.whole.bandLeqDb.size(); ++b) {
        bands.push_back({{"band", bandName(m.bands[b])},
                         {"centreHz", m.bands[b].centreHz},
                         {"leq", level(m.whole.bandLeqDb[b], offset)}});
    }
    json["thirdOctaves"] = bands;
    json["log"] = m.logFile.empty() ? Json(nullptr)
                                    : Json{{"file", m.logFile},
                                           {"intervalSeconds", m.intervalSeconds},
                                           {"rows", m.logRows}};
    return json;
}

}  // namespace

double splOffsetDb(const std::optional<Sensitivity>& sensitivity) {
    return sensitivity ? kReferenceSplDb - sensitivity->dbfsAt94DbSpl : 0.0;
}

std::string levelUnit(const std::optional<Sensitivity>& sensitivity) {
    return sensitivity ? "dB SPL" : "dBFS";
}

std::string levelLogHeader(const std::vector<FrequencyBand>& bands,
                           const std::optional<Sensitivity>& sensitivity) {
    const std::string unit = unitSuffix(sensitivity);
    std::string header = "start_s,seconds";
    for (const char* name : kFigureNames) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        header += "," + lower + unit;
    }
    for (const FrequencyBand& band : bands) {
        char text[48];
        std::snprintf(text, sizeof text, ",band_%g_hz", band.nominalHz);
        header += text + unit;
    }
    return header + "\n";
}

std::string levelLogRow(double startSeconds, const LevelFigures& figures,
                        const std::optional<Sensitivity>& sensitivity) {
    const double offset = splOffsetDb(sensitivity);
    char text[64];
    std::snprintf(text, sizeof text, "%.3f,%.3f", startSeconds, figures.seconds);
    std::string row = text;
    for (const double value : figureValues(figures)) row += "," + cell(value, offset);
    for (const double value : figures.bandLeqDb) row += "," + cell(value, offset);
    return row + "\n";
}

void writeLevelJson(std::ostream& out, const LevelOutcome& o) {
    Json report;
    if (o.calibrator) {
        const CalibratorReading& c = *o.calibrator;
        report["calibrator"] = {{"source", o.calibratorSource},
                                {"frequencyHz", c.frequencyHz},
                                {"toneDbfs", std::round(c.toneDbfs * 1000.0) / 1000.0},
                                {"calibratorDb", c.calibratorDb},
                                {"sensitivityDbfs", std::round(c.sensitivityDbfs * 1000.0) / 1000.0},
                                {"seconds", c.seconds}};
    }
    report["sensitivity"] = sensitivityJson(o);
    report["unit"] = levelUnit(o.sensitivity);
    if (o.meter) report["meter"] = meterJson(*o.meter, o.sensitivity);
    report["failures"] = o.failures;
    out << report.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

void writeLevelText(std::ostream& out, const LevelOutcome& o) {
    char text[160];
    if (o.calibrator) {
        std::snprintf(text, sizeof text,
                      "calibrator: %.0f Hz tone at %.2f dBFS for %.1f dB SPL: sensitivity %.2f "
                      "dBFS at 94 dB SPL\n",
                      o.calibrator->frequencyHz, o.calibrator->toneDbfs, o.calibrator->calibratorDb,
                      o.calibrator->sensitivityDbfs);
        out << text;
    }
    if (!o.meter) return;
    const MeterOutcome& m = *o.meter;
    const std::string unit = levelUnit(o.sensitivity);
    std::snprintf(text, sizeof text, "sound level meter: %s, %.1f s at %u Hz%s; levels in %s%s\n",
                  m.file.c_str(), m.whole.seconds, m.sampleRate,
                  m.interrupted ? " (interrupted)" : "", unit.c_str(),
                  o.sensitivity ? "" : " (no sensitivity)");
    out << text;
    const std::vector<double> values = figureValues(m.whole);
    const double offset = splOffsetDb(o.sensitivity);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string value = cell(values[i], offset);
        out << "  " << kFigureNames[i] << ' ' << (value.empty() ? "-" : value) << ' ' << unit
            << '\n';
    }
    if (!m.logFile.empty())
        out << "  log: " << m.logFile << ", " << m.logRows << " rows of " << m.intervalSeconds
            << " s\n";
}

}  // namespace ressona
