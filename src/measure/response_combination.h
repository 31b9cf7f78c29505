#pragma once
// Several measurements combined into one response (--combine): impulse
// responses from WAV files and frequency responses from FRD, TXT or CSV
// files, laid onto one grid, aligned against the first when asked, and
// averaged.
//
// The grid: k x rate / P, k = 0..P/2. The rate is the WAV files' (they must
// agree: a response is not resampled), else --rate when given, else 48000 Hz.
// P is --length when given, else the longest WAV file's length rounded up to
// a power of two (at least 16384 when only text files are combined). A
// shorter impulse response is padded with silence at its end; a text
// response is interpolated in log frequency onto the grid, its unwrapped
// phase likewise, and held at its first and last point outside its range.

#include <cstdint>
#include <string>
#include <vector>

#include "response/response_average.h"

namespace ressona {

struct MeasureOptions;
struct ResponseText;

// What each file gave and what was done with it.
struct CombinedPart {
    std::string file;
    bool impulse = false;       // a WAV file's impulse response; otherwise a text response
    bool hasPhase = true;       // a text response without phase has none
    double delaySamples = 0.0;  // taken out against the first (0 when not aligned)
    double levelDb = 0.0;       // taken out against the first (0 when levels are not aligned)
};

struct Combination {
    std::uint32_t sampleRate = 0;
    std::uint32_t points = 0;  // P
    AverageKind kind = AverageKind::Rms;
    bool aligned = false;
    bool levelsAligned = false;
    std::vector<CombinedPart> parts;
    Spectrum response;  // k = 0..P/2
    // Every part an impulse response: the combination has one too (the
    // inverse transform of `response`).
    bool fromImpulses = false;
};

// A text response at k x rate / P, k = 0..P/2 (P a power of two from 4): its
// level interpolated in log frequency, its unwrapped phase linearly in
// frequency (a delay's phase is a straight line there, so its group delay
// comes through whole); both held outside the file's range.
Spectrum textResponseOnGrid(const ResponseText& text, std::uint32_t rate, std::uint32_t points);

// Reads the files options.combineFiles names and combines them as the options
// ask. Empty, or a one-line reason (the file that could not be read and why,
// or why these files cannot be combined); the measurer then ends with exit 2.
std::string combineResponses(const MeasureOptions& options, Combination& combination);

}  // namespace ressona
