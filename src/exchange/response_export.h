#pragma once
// Frequency responses written for other programs: FRD (comment lines starting
// with '*', then frequency, level and phase separated by blanks) and CSV (a
// header row, then the same three fields separated by commas). Numbers always
// have a dot as the decimal sign, whatever the locale.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ressona {

// A further column written after the phase, on request: its values may be
// NaN where they have none (written "nan"); readers that take three fields
// skip it.
struct ExportedColumn {
    std::string name;  // the CSV header's name, e.g. "group_delay_s"
    std::vector<double> values;
};

inline constexpr std::string_view kLevelColumn = "level_db";
inline constexpr std::string_view kSplLevelColumn = "level_db_spl";

// One row per spectrum position.
struct ExportedResponse {
    std::vector<double> frequencyHz;
    std::vector<double> levelDb;
    std::vector<double> phaseDeg;
    std::vector<ExportedColumn> extraColumns;
    // The level's CSV name: kLevelColumn, or kSplLevelColumn for levels in dB SPL.
    std::string_view levelColumn = kLevelColumn;
};

inline constexpr std::string_view kCsvHeader = "frequency_hz,level_db,phase_deg";

// Empty when every row has a frequency, level and phase that are finite
// numbers, else what is wrong.
std::string exportProblem(const ExportedResponse& response);

// The FRD text: each comment on a line of its own after "* " (control
// characters in it become '?'), then one line per row.
std::string frdText(const ExportedResponse& response, std::span<const std::string> comments);

// The CSV text: kCsvHeader, its level named response.levelColumn (and the
// further columns' names), then one line per row.
std::string csvText(const ExportedResponse& response);

// Writes text as the whole of the file at path. Empty when written and
// closed, else a one-line reason.
std::string writeTextFile(const std::string& path, std::string_view text);

}  // namespace ressona
