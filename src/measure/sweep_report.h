#pragma once
// What a logsweep measurement reports beyond the program's own results: the
// sweep as played, and the harmonic distortion of the average of its sweeps
// against frequency, as JSON (`sweep`, `distortion`), as a table at the
// third-octave centres for people, and as the data of the distortion picture.

#include <cstdint>
#include <optional>
#include <ostream>

#include <nlohmann/json_fwd.hpp>

#include "plots/distortion_plot.h"
#include "sweep/harmonic_distortion.h"
#include "sweep/log_sweep.h"

namespace ressona {

class SweepPassService;

// The JSON's frequencies, this many to the octave, each level a power
// average over a band as wide as their spacing.
inline constexpr int kDistortionPointsPerOctave = 12;

struct SweepSummary {
    LogSweepSettings settings;
    std::uint32_t fadeInSamples = 0;
    std::uint32_t fadeOutSamples = 0;
    std::uint32_t recordSamples = 0;
    std::uint32_t transformSize = 0;
    std::uint32_t leadSamples = 0;
    std::uint32_t harmonicWindowSamples = 0;
    std::uint32_t sweeps = 0;
    std::uint32_t sweepsRepeated = 0;  // played again after their recording slipped
    std::optional<DistortionCurves> curves;       // fine: kDistortionPointsPerOctave
    std::optional<DistortionCurves> thirdOctave;  // at the third-octave centres, third-octave bands
};

// The summary of the sweeps the service has played (for N-sample responses).
SweepSummary summariseSweeps(const SweepPassService& service, std::uint32_t length);

// report["sweep"] and, once a sweep was deconvolved, report["distortion"]:
// frequencyHz, fundamentalDb, h2Db..h5Db, thdDb, h2Percent..h5Percent,
// thdPercent (null where not measured).
void addSweepJson(nlohmann::ordered_json& report, const SweepSummary& summary);

// The table at the third-octave centres; a line saying so when there is none.
void writeDistortionTable(std::ostream& out, const SweepSummary& summary);

// The picture's data: the fundamental and the harmonics' own levels
// (fundamental plus their level below it) on the fine frequencies.
DistortionPlotData distortionPlotData(const DistortionCurves& curves);

}  // namespace ressona
