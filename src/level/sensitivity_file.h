#pragma once
// The sensitivity file: what a calibration with an acoustic calibrator found,
// kept for later measurements. A few lines of text, "name = value", with
// comments after '#':
//   # Ressona input sensitivity
//   sensitivity_dbfs_at_94_db_spl = -20.00
//   calibrator_hz = 1000
//   calibrator_db = 94.0
// The sensitivity is required; the calibrator's figures are optional.

#include <optional>
#include <string>

namespace ressona {

struct Sensitivity {
    double dbfsAt94DbSpl = 0.0;  // the level (a full-scale sine 0 dBFS) that 94 dB SPL gives
    std::optional<double> calibratorHz;
    std::optional<double> calibratorDb;
};

// The file's text for sensitivity.
std::string sensitivityText(const Sensitivity& sensitivity);

// Reads a sensitivity from text. Empty when read, else a one-line reason (a
// line that is not "name = value", an unknown or repeated name, a value that
// is not a number in its range, no sensitivity).
std::string parseSensitivity(const std::string& text, Sensitivity& sensitivity);

// The same for the file at path (at most 64 KiB).
std::string readSensitivityFile(const std::string& path, Sensitivity& sensitivity);

// Writes the file at path, replacing what is there only once written whole.
// Empty when written, else what went wrong.
std::string writeSensitivityFile(const std::string& path, const Sensitivity& sensitivity);

}  // namespace ressona
