#include "room/decay_time.h"

#include <algorithm>
#include <cmath>

#include "room/line_fit.h"

namespace ressona {

namespace {

constexpr std::size_t kMostFitPoints = 1000;

// The first position in first .. last (last if none) whose remaining energy is not above `level`.
std::size_t firstAtOrBelow(const EnergyDecay& decay, std::size_t first, std::size_t last,
                           double level) {
    while (first < last) {
        const std::size_t middle = first + (last - first) / 2;
        if (decay.remaining(middle) > level) {
            first = middle + 1;
        } else {
            last = middle;
        }
    }
    return first;
}

}  // namespace

DecayTime fitDecayTime(const EnergyDecay& decay, DecayRange range) {
    DecayTime time;
    time.range = range;
    if (!(decay.total() > 0.0)) return time;
    const std::size_t cross = decay.crossIndex();
    time.lowestDb = decay.levelDb(cross);

    // The curve never rises, so both ends are found by bisection: from the
    // first point at or below the top to the last one at or above the bottom.
    const double top = decay.total() * std::pow(10.0, range.topDb / 10.0);
    const double bottom = decay.total() * std::pow(10.0, range.bottomDb / 10.0);
    const std::size_t from = firstAtOrBelow(decay, 0, cross, top);
    // Just below the bottom: the first point whose energy is below it.
    std::size_t below = from;
    std::size_t high = cross + 1;
    while (below < high) {
        const std::size_t middle = below + (high - below) / 2;
        if (decay.remaining(middle) >= bottom) {
            below = middle + 1;
        } else {
            high = middle;
        }
    }
    if (below > cross || below == from) return time;  // the bottom is not reached
    const std::size_t last = below - 1;

    const std::size_t stride = std::max<std::size_t>(1, (last - from + 1) / kMostFitPoints);
    LineAccumulator line;
    for (std::size_t n = from; n <= last; n += stride)
        line.add(static_cast<double>(n) / decay.sampleRate, decay.levelDb(n));
    const LineFit fit = line.fit();
    time.r = fit.r;
    time.slopeDbPerSecond = fit.slope;
    time.interceptDb = fit.intercept;
    time.fromSeconds = static_cast<double>(from) / decay.sampleRate;
    time.toSeconds = static_cast<double>(last) / decay.sampleRate;
    time.evaluated = fit.slope < 0.0;
    if (time.evaluated) time.seconds = -60.0 / fit.slope;
    return time;
}

}  // namespace ressona
