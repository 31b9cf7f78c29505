#pragma once
// Frequency responses as text, the way measuring programs export them and
// microphone makers ship their calibration files: one line per point with the
// frequency in Hz, the level in dB and optionally the phase in degrees, the
// fields separated by blanks, tabs, commas or semicolons (a run of them counts
// as one). Fields after the third are ignored. Lines that start with a letter,
// '*', '#', '"', ';' or a byte outside ASCII are comments; blank lines are
// skipped; a line at 0 Hz is skipped too (it has no place on a logarithmic
// axis). One comment may give an overall sensitivity offset in dB:
// "Sens Factor =-1.2dB", "SENS: -1.2", "Sensitivity -1.2 dB" (a number in any
// other unit, such as "-38 dBV/Pa", is not taken for one).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ressona {

// Largest file and most points read; a response has a few thousand.
inline constexpr std::size_t kResponseTextMostBytes = std::size_t{64} << 20;
inline constexpr std::size_t kResponseTextMostPoints = std::size_t{1} << 20;
// Values beyond these are taken for damage, not for a response. Levels (and
// sensitivities) within +-300 dB keep every magnitude, gain and level formed
// from them, together, within what a 32-bit float holds.
inline constexpr double kResponseHighestHz = 10'000'000.0;
inline constexpr double kResponseLargestDb = 300.0;
inline constexpr double kResponseLargestDegrees = 1'000'000.0;

struct ResponseText {
    std::vector<double> frequencyHz;      // rising, above 0
    std::vector<double> levelDb;          // one per frequency
    std::vector<double> phaseDeg;         // one per frequency, or empty when no line has a phase
    std::optional<double> sensitivityDb;  // from a "Sens Factor" comment
};

// Parses text into response. Empty when it holds at least two points with
// rising frequencies and every data line reads, else a one-line reason naming
// the line (response is then left empty). A phase must be on every data line
// or on none.
std::string parseResponseText(std::string_view text, ResponseText& response);

// Reads the file at path (at most kResponseTextMostBytes) and parses it; the
// reason of a failure starts with the path.
std::string readResponseText(const std::string& path, ResponseText& response);

// True when a file of this name is read as a response text: it ends in
// ".frd", ".txt" or ".csv", in any case.
bool isResponseTextName(std::string_view path);

}  // namespace ressona
