#pragma once
// What a calibration or a sound level meter run reports: the calibrator's
// reading, the sensitivity used, the meter's figures over the whole time and
// its log, as JSON (--json) or a few lines for people; and the log's rows.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "level/calibrator.h"
#include "level/sensitivity_file.h"
#include "level/sound_level_meter.h"

namespace ressona {

struct MeterOutcome {
    std::string source;  // "wav" or "input"
    std::string file;    // the WAV file, or the device's name
    std::uint32_t sampleRate = 0;
    bool interrupted = false;  // a live meter ended by Ctrl-C
    LevelFigures whole;
    std::vector<FrequencyBand> bands;
    std::string logFile;  // empty: no log (or none written)
    double intervalSeconds = 0.0;
    std::size_t logRows = 0;
};

struct LevelOutcome {
    std::optional<CalibratorReading> calibrator;
    std::string calibratorSource;  // the WAV file, or the device's name
    std::optional<Sensitivity> sensitivity;
    std::string sensitivityFile;     // read or written
    bool sensitivityWritten = false;
    std::optional<MeterOutcome> meter;
    std::vector<std::string> failures;
};

// Levels are dB SPL with a sensitivity (the offset 94 - sensitivity added), dBFS without.
double splOffsetDb(const std::optional<Sensitivity>& sensitivity);
std::string levelUnit(const std::optional<Sensitivity>& sensitivity);

// The log's first line: the columns, named with their unit.
std::string levelLogHeader(const std::vector<FrequencyBand>& bands,
                           const std::optional<Sensitivity>& sensitivity);
// One interval's row, starting startSeconds into the run.
std::string levelLogRow(double startSeconds, const LevelFigures& figures,
                        const std::optional<Sensitivity>& sensitivity);

void writeLevelJson(std::ostream& out, const LevelOutcome& outcome);
void writeLevelText(std::ostream& out, const LevelOutcome& outcome);

}  // namespace ressona
