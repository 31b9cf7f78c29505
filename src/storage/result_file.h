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
// phaseSpectrum at positions 1..M, position k written as k * binWidth Hz. The
// lines go to a temporary file beside it, renamed over it only when all are
// written. 0, or -1 when the file cannot be created or a line (or the close,
// or the rename) fails; the old file is then untouched.
int saveResult(const MeasurementState& state, const SampleArrays& arrays);

// Reads the file into capturedSpectrum[1..M] on the grid the arrays were
// last built for, sets capturedLabel from its title and plotShowCaptured.
// 0; -1 when the file cannot be opened (or no grid is built); -2 when it is
// damaged: a header line missing or unreadable, a row count that is not one
// the program writes (a power of two from 32 to 8192), fewer data rows than
// it promises, or a row whose frequency or amplitude is missing, not a finite
// number, negative (the amplitude) or too large for its ten columns. On -2 the
// captured curve, its label and the Show flag are left as they were.
// Positions between rows are joined by straight lines; positions beyond the
// file's first and last rows hold NaN (no value), which the plot leaves out.
int readResult(MeasurementState& state, SampleArrays& arrays);

// readResult on an already open stream, from its current position; the
// caller closes it. Any bytes at all are handled.
int readResultStream(std::FILE* file, MeasurementState& state, SampleArrays& arrays);

}  // namespace ressona
