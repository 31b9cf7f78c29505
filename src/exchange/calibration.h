#pragma once
// A microphone's (or a sound card's) calibration: the file its maker ships,
// read before anything is measured and turned into the correction the
// analysis applies to every spectrum on the measurement's grid.

#include <complex>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis_extras.h"
#include "exchange/response_text.h"

namespace ressona {

struct Calibration {
    std::string file;
    ResponseText curve;     // frequency, dB and optionally phase in degrees
    double offsetDb = 0.0;  // the file's sensitivity line; 0 without one
};

// Reads and checks the calibration file at path. Empty when it can be
// applied, else a one-line reason (it cannot be read, holds fewer than two
// points, or its frequencies do not rise).
std::string loadCalibration(const std::string& path, Calibration& calibration);

// The correction for a grid of n points at sampleRate Hz: at the frequency of
// each position k (as the plot draws it), the file's level interpolated in log
// frequency (held at its ends outside its range) plus its offset is taken off
// the level, and its phase, when it has one, off the phase.
SpectrumCorrection calibrationCorrection(const Calibration& calibration, std::uint32_t sampleRate,
                                         std::uint32_t n);

// The file's response (its level plus its offset, and its phase when it has
// one) at each of the frequencies, as complex factors, read as
// calibrationCorrection reads it.
std::vector<std::complex<double>> calibrationResponse(const Calibration& calibration,
                                                      std::span<const double> frequencies);

}  // namespace ressona
