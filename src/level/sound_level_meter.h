#pragma once
// An integrating sound level meter over a stream of samples (1.0 = full
// scale): the time-average levels with Z, A and C weighting, the maximum
// A-weighted levels with Fast and Slow exponential time weighting, the peak
// C-weighted level, the A-weighted sound exposure level and, on request, the
// Z-weighted time-average level of each third-octave band; for the whole
// stream and for intervals of it.
//
// Levels are in dB re full scale as a sine is measured: a full-scale sine is
// 0 dB, so a level is 10 log10(2 x mean square) and a peak level
// 10 log10(2 x peak^2). With a microphone's sensitivity the same figures
// plus one offset are sound pressure levels. A stretch that holds no signal
// at all has levels of minus infinity.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "level/frequency_weighting.h"
#include "level/third_octave_bank.h"

namespace ressona {

// The exponential time constants of IEC 61672-1, in seconds.
inline constexpr double kFastSeconds = 0.125;
inline constexpr double kSlowSeconds = 1.0;

struct LevelFigures {
    double seconds = 0.0;  // the stretch's length
    double lzeq = 0.0;
    double laeq = 0.0;
    double lceq = 0.0;
    double lafmax = 0.0;  // the largest A-weighted Fast level within the stretch
    double lasmax = 0.0;  // the same, Slow
    double lcpeak = 0.0;
    double lae = 0.0;                // laeq + 10 log10(seconds / 1 s)
    std::vector<double> bandLeqDb;  // per band of SoundLevelMeter::bands(), Z weighted
};

class SoundLevelMeter {
  public:
    // The meter at sampleRate Hz (8000 .. 192000), with third-octave bands when asked.
    SoundLevelMeter(std::uint32_t sampleRate, bool thirdOctaves);

    // The bands whose levels the figures hold (none without third-octaves).
    const std::vector<FrequencyBand>& bands() const;

    // Takes the stream's next samples.
    void add(std::span<const double> samples);

    // The figures since the start.
    LevelFigures whole() const;
    // The figures since the last interval was taken (or the start); the next
    // interval begins.
    LevelFigures takeInterval();
    // The A-weighted Fast level of the last sample taken.
    double currentLafDb() const;
    // Samples taken since the last interval was taken.
    std::uint64_t intervalSamples() const { return interval_.samples; }

  private:
    struct Sums {
        std::uint64_t samples = 0;
        double z = 0.0, a = 0.0, c = 0.0;  // sums of squares
        double fastMax = 0.0, slowMax = 0.0, peakSquared = 0.0;
        std::vector<double> bands;

        void merge(const Sums& other);
    };
    LevelFigures figuresOf(const Sums& sums) const;
    void addBlock(std::span<const double> block);

    std::uint32_t sampleRate_;
    WeightingFilter aFilter_;
    WeightingFilter cFilter_;
    std::optional<ThirdOctaveBank> bank_;
    double fastCoefficient_;
    double slowCoefficient_;
    double fast_ = 0.0;  // the exponential averages of the A-weighted square
    double slow_ = 0.0;
    Sums past_;      // the intervals already taken
    Sums interval_;  // the one running
    std::vector<double> aBlock_, cBlock_;
};

}  // namespace ressona
