#pragma once
// The saved measurement file: a four-line header and one fixed-column line per
// spectrum position (frequency, linear magnitude, phase), written from the
// current result and read back as the captured curve on the current grid.

#include <cstdio>
#include <string>

namespace ressona {

struct MeasurementState;
struct SampleArrays;

inline constexpr int kResultFileDone = 0;
inline constexpr int kResultFileNotOpened = -1;  // reading: "Error 8"; saving: "Error 10"
inline constexpr int kResultFileBadHeader = -2;  // reading: "Error 9"

// The file's path: storageFileName without its blank padding.
std::string resultFilePath(const MeasurementState& state);

// Replaces the file with the current result: magnitudeSpectrum and
// phaseSpectrum at positions 1..M, position k written as k * binWidth Hz.
// 0, or -1 when the file cannot be created or a line (or the close) fails.
int saveResult(const MeasurementState& state, const SampleArrays& arrays);

// Reads the file into capturedSpectrum[1..M] on the grid the arrays were
// last built for, sets capturedLabel from its title and plotShowCaptured.
// 0; -1 when the file cannot be opened (or no grid is built); -2 when a header
// line or the first data line cannot be read. Later unreadable lines end the
// reading quietly with what was read.
int readResult(MeasurementState& state, SampleArrays& arrays);

// readResult on an already open stream, from its current position; the
// caller closes it. Any bytes at all are handled.
int readResultStream(std::FILE* file, MeasurementState& state, SampleArrays& arrays);

}  // namespace ressona
