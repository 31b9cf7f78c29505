#pragma once
// Harmonic distortion from a sweep's harmonic response: the fundamental's and
// each harmonic's (2..5) impulse response cut from its own time with the same
// window, their spectra, and the levels against the frequency that excited
// them. Harmonic k at excitation frequency f is read at k f and set against
// the fundamental at f; THD = sqrt(H2^2 + ... + H5^2) / H1 over the
// harmonics that are measured there.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "sweep/log_sweep.h"

namespace ressona {

inline constexpr int kHarmonicCount = kHighestHarmonic - 1;  // H2..H5

// Levels at one excitation frequency; NaN where not measured (the harmonic
// above 0.45 x the rate, or no fundamental).
struct DistortionPoint {
    double frequencyHz = 0.0;
    double fundamentalDb = 0.0;                       // dB re a full-scale system (32767 counts)
    std::array<double, kHarmonicCount> harmonicDb{};  // H2..H5, dB re the fundamental
    double thdDb = 0.0;
};

struct DistortionCurves {
    std::vector<DistortionPoint> points;
};

class HarmonicSpectra {
  public:
    // response: the harmonic response (P samples, circular) with the linear
    // response's peak at position peak.
    HarmonicSpectra(const LogSweep& sweep, std::span<const float> response, std::uint32_t peak);

    // The window each response is cut with, in samples (0 when the sweep
    // leaves no room between harmonics 4 and 5).
    std::uint32_t windowSamples() const { return window_; }

    // The levels at f, each harmonic's and the fundamental's power averaged
    // over a band of bandOctaves around its own frequency.
    DistortionPoint at(double frequencyHz, double bandOctaves) const;

  private:
    double bandPower(int harmonic, double frequencyHz, double bandOctaves) const;

    double sampleRate_ = 0.0;
    std::uint32_t window_ = 0;
    std::uint32_t transformSize_ = 0;
    // |spectrum|^2 of the fundamental (index 0) and harmonics 2..5, bins 0..Q/2.
    std::array<std::vector<double>, kHighestHarmonic> power_;
};

// The levels at each frequency.
DistortionCurves distortionCurves(const HarmonicSpectra& spectra,
                                  std::span<const double> frequencies, double bandOctaves);

// Frequencies from `from` to `to` Hz, pointsPerOctave to the octave, from `from` up.
std::vector<double> logFrequencies(double from, double to, int pointsPerOctave);
// The third-octave centres 1000 x 10^(n/10) Hz from `from` to `to`, each end
// taken 1 % wide (19.95 Hz is the band called 20 Hz).
std::vector<double> thirdOctaveCentres(double from, double to);

// 100 x 10^(dB/20): a level in dB as a share in per cent.
double percentOf(double db);

}  // namespace ressona
