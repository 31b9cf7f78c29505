#include "measure/sweep_report.h"

#include <cmath>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "sweep/sweep_pass_service.h"
#include "sweep/sweep_deconvolution.h"

namespace ressona {

namespace {

using Json = nlohmann::ordered_json;

constexpr double kThirdOctave = 1.0 / 3.0;

// NaN is written as null.
Json level(double value) {
    return std::isfinite(value) ? Json(std::round(value * 1000.0) / 1000.0) : Json(nullptr);
}

Json percent(double db) {
    return std::isfinite(db) ? Json(std::round(percentOf(db) * 1e6) / 1e6) : Json(nullptr);
}

std::string cell(double value, const char* format) {
    if (!std::isfinite(value)) return "       -";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

SweepSummary summariseSweeps(const SweepPassService& service, std::uint32_t length) {
    const LogSweep& sweep = service.sweep();
    SweepSummary summary;
    summary.settings = sweep.settings;
    summary.fadeInSamples = sweep.fadeInSamples;
    summary.fadeOutSamples = sweep.fadeOutSamples;
    summary.recordSamples = sweepRecordSamples(sweep.settings, length);
    summary.transformSize = sweepTransformSize(sweep.settings, summary.recordSamples);
    summary.leadSamples = linearResponseLead(sweep, length);
    summary.sweeps = service.sweepsDone();
    summary.sweepsRepeated = static_cast<std::uint32_t>(service.repeatedSweeps().size());
    const std::optional<HarmonicSpectra> spectra = service.harmonicSpectra();
    if (spectra) {
        summary.harmonicWindowSamples = spectra->windowSamples();
        const double from = sweep.settings.fromHz;
        const double to = sweep.settings.toHz;
        summary.curves =
            distortionCurves(*spectra, logFrequencies(from, to, kDistortionPointsPerOctave),
                             1.0 / kDistortionPointsPerOctave);
        summary.thirdOctave =
            distortionCurves(*spectra, thirdOctaveCentres(from, to), kThirdOctave);
    }
    return summary;
}

void addSweepJson(Json& report, const SweepSummary& s) {
    report["sweep"] = {
        {"fromHz", s.settings.fromHz},
        {"toHz", s.settings.toHz},
        {"samples", s.settings.samples},
        {"levelDbfs", s.settings.levelDbfs},
        {"seconds", static_cast<double>(s.settings.samples) / s.settings.sampleRate},
        {"fadeInSamples", s.fadeInSamples},
        {"fadeOutSamples", s.fadeOutSamples},
        {"recordSamples", s.recordSamples},
        {"transformSize", s.transformSize},
        {"leadSamples", s.leadSamples},
        {"harmonicWindowSamples", s.harmonicWindowSamples},
        {"sweeps", s.sweeps},
        {"sweepsRepeated", s.sweepsRepeated},
    };
    if (!s.curves) return;
    Json frequency = Json::array();
    Json fundamental = Json::array();
    Json thd = Json::array();
    Json thdPercent = Json::array();
    std::array<Json, kHarmonicCount> harmonics;
    std::array<Json, kHarmonicCount> harmonicPercents;
    for (int k = 0; k < kHarmonicCount; ++k) harmonics[k] = harmonicPercents[k] = Json::array();
    for (const DistortionPoint& p : s.curves->points) {
        frequency.push_back(std::round(p.frequencyHz * 100.0) / 100.0);
        fundamental.push_back(level(p.fundamentalDb));
        for (int k = 0; k < kHarmonicCount; ++k) {
            harmonics[k].push_back(level(p.harmonicDb[k]));
            harmonicPercents[k].push_back(percent(p.harmonicDb[k]));
        }
        thd.push_back(level(p.thdDb));
        thdPercent.push_back(percent(p.thdDb));
    }
    Json distortion = {{"frequencyHz", frequency}, {"fundamentalDb", fundamental}};
    for (int k = 0; k < kHarmonicCount; ++k)
        distortion["h" + std::to_string(k + 2) + "Db"] = harmonics[k];
    distortion["thdDb"] = thd;
    for (int k = 0; k < kHarmonicCount; ++k)
        distortion["h" + std::to_string(k + 2) + "Percent"] = harmonicPercents[k];
    distortion["thdPercent"] = thdPercent;
    report["distortion"] = distortion;
}

void writeDistortionTable(std::ostream& out, const SweepSummary& s) {
    if (!s.thirdOctave) {
        out << "distortion: no sweep was measured\n";
        return;
    }
    char heading[160];
    std::snprintf(heading, sizeof heading,
                  "harmonic distortion: sweep %g to %g Hz at %g dBFS, %u sweep%s; harmonics in dB "
                  "re the fundamental\n",
                  s.settings.fromHz, s.settings.toHz, s.settings.levelDbfs, s.sweeps,
                  s.sweeps == 1 ? "" : "s");
    out << heading;
    out << "      Hz  fund dB    H2 dB    H3 dB    H4 dB    H5 dB   THD dB    THD %\n";
    for (const DistortionPoint& p : s.thirdOctave->points) {
        out << cell(p.frequencyHz, "%8.0f") << ' ' << cell(p.fundamentalDb, "%8.2f");
        for (const double h : p.harmonicDb) out << ' ' << cell(h, "%8.2f");
        out << ' ' << cell(p.thdDb, "%8.2f") << ' '
            << cell(std::isfinite(p.thdDb) ? percentOf(p.thdDb) : p.thdDb, "%8.4f") << '\n';
    }
}

DistortionPlotData distortionPlotData(const DistortionCurves& curves) {
    DistortionPlotData data;
    for (const DistortionPoint& p : curves.points) {
        data.frequencyHz.push_back(p.frequencyHz);
        data.levelDb[0].push_back(p.fundamentalDb);
        for (int k = 0; k < kHarmonicCount; ++k)
            data.levelDb[static_cast<std::size_t>(k + 1)].push_back(p.fundamentalDb +
                                                                    p.harmonicDb[k]);
    }
    return data;
}

}  // namespace ressona
