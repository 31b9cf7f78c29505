#pragma once
// "Read From" as the headless measurer answers it: besides the program's own
// saved files it takes frequency responses exported by other programs (.frd,
// .txt, .csv), laid onto the measurement's grid as the captured curve. With no
// passes to measure, the curve read also becomes the result, so that the
// exports, the report and the pictures show it.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ressona {

struct MeasurementState;
struct SampleArrays;

// What the last reading found.
struct ResponseReading {
    std::string file;
    bool text = false;      // a response text; otherwise a saved file
    bool hasPhase = false;  // the file gave a phase
    std::string problem;    // why the last reading failed; empty after a success
};

// Reads the file named for "Read From" (resultFilePath). A response text is
// interpolated in log frequency onto positions 1..M at the frequencies the
// plot draws them at, its levels turned into magnitudes as the plot forms
// levels, into capturedSpectrum; the label becomes the file's name and
// plotShowCaptured is set. Any other file goes to the saved-file reader. With
// becomesResult, magnitudeSpectrum takes the curve, phaseSpectrum the file's
// phase (0 where it has none) and resultsReady is set. Answers as the
// saved-file reader does: 0; -1 cannot be opened (or no grid); -2 cannot be read.
int readResponseFile(MeasurementState& state, SampleArrays& arrays, bool becomesResult,
                     ResponseReading& reading);

// The sample rate and length N a saved file was written at, from its header,
// when they are ones the panel offers; nothing otherwise.
std::optional<std::pair<std::uint32_t, std::uint32_t>> savedFileGrid(const std::string& path);

}  // namespace ressona
