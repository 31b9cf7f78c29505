#include "sweep/log_sweep.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ressona {

namespace {

// The fades: in over the first half octave of the sweep, out over its last
// twenty-fourth of an octave, each at least this many samples. The long fade
// in keeps the start's click out of the lowest octave; the short fade out
// leaves the top of the band at full level.
constexpr double kFadeInOctaves = 0.5;
constexpr double kFadeOutOctaves = 1.0 / 24.0;
constexpr std::uint32_t kShortestFade = 32;

bool isPowerOfTwo(std::uint32_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

std::uint32_t fadeSamples(double rateSamples, double octaves, std::uint32_t sweepSamples) {
    const double samples = rateSamples * octaves * std::numbers::ln2;
    const auto whole = static_cast<std::uint32_t>(std::ceil(samples));
    return std::min(std::max(whole, kShortestFade), sweepSamples / 4);
}

// Raised cosine from 0 (position 0) to 1 (position length).
double riseAt(double position, double length) {
    return 0.5 - 0.5 * std::cos(std::numbers::pi * position / length);
}

}  // namespace

std::string checkLogSweepSettings(const LogSweepSettings& s) {
    if (s.sampleRate == 0) return "the sample rate must be above 0";
    if (!isPowerOfTwo(s.samples) || s.samples < kSweepSamplesLowest ||
        s.samples > kSweepSamplesHighest)
        return "the sweep's length must be a power of two from 16384 to 1048576 samples";
    if (!(s.fromHz >= 1.0)) return "the sweep must start at 1 Hz or above";
    const double highest = kSweepHighestShareOfRate * s.sampleRate;
    if (!(s.toHz <= highest))
        return "the sweep must end at most at 0.45 x the sample rate (" +
               std::to_string(static_cast<long>(highest)) + " Hz)";
    if (!(s.toHz >= 2.0 * s.fromHz)) return "the sweep must cover at least an octave";
    if (!(s.levelDbfs <= 0.0 && s.levelDbfs >= -60.0))
        return "the sweep's level must be from -60 to 0 dBFS";
    return {};
}

LogSweep makeLogSweep(const LogSweepSettings& settings) {
    LogSweep sweep;
    sweep.settings = settings;
    const std::uint32_t count = settings.samples;
    sweep.rateSamples = sweepRateSamples(settings);
    sweep.amplitude = kSweepFullScale * std::pow(10.0, settings.levelDbfs / 20.0);
    sweep.fadeInSamples = fadeSamples(sweep.rateSamples, kFadeInOctaves, count);
    sweep.fadeOutSamples = fadeSamples(sweep.rateSamples, kFadeOutOctaves, count);
    sweep.played.resize(count);
    const double startCycles = settings.fromHz / settings.sampleRate * sweep.rateSamples;
    for (std::uint32_t n = 0; n < count; ++n) {
        // The phase in whole cycles first, so that its growth to millions of
        // cycles keeps the fraction exact.
        const double cycles = startCycles * std::expm1(n / sweep.rateSamples);
        const double phase = 2.0 * std::numbers::pi * (cycles - std::floor(cycles));
        double envelope = 1.0;
        if (n < sweep.fadeInSamples) envelope = riseAt(n, sweep.fadeInSamples);
        const std::uint32_t fromEnd = count - 1 - n;
        if (fromEnd < sweep.fadeOutSamples) envelope *= riseAt(fromEnd, sweep.fadeOutSamples);
        sweep.played[n] =
            static_cast<std::int16_t>(std::lround(sweep.amplitude * envelope * std::sin(phase)));
    }
    return sweep;
}

double sweepRateSamples(const LogSweepSettings& settings) {
    return settings.samples / std::log(settings.toHz / settings.fromHz);
}

double harmonicLeadSamples(const LogSweep& sweep, int harmonic) {
    return sweep.rateSamples * std::log(static_cast<double>(harmonic));
}

}  // namespace ressona
