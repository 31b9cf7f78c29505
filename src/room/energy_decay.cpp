#include "room/energy_decay.h"

#include <algorithm>
#include <cmath>

#include "room/line_fit.h"

namespace ressona {

namespace {

constexpr double kFirstIntervalSeconds = 0.010;  // Lundeby: 10 to 50 ms
constexpr double kIntervalsPer10Db = 5.0;        // Lundeby: 3 to 10
constexpr double kPreliminaryAboveNoiseDb = 10.0;
constexpr double kLateFitAboveNoiseDb = 10.0;  // bottom of the late decay's fit
constexpr double kLateFitRangeDb = 20.0;       // its extent
constexpr double kNoiseAfterCrossDb = 10.0;    // decay past the crosspoint before the noise
constexpr int kMostIterations = 5;
// A line falling more slowly than 60 dB in 100 s is no decay: its tail would
// carry on for ever.
constexpr double kSlowestDecayDbPerSecond = -0.6;
constexpr double kLowestLevelDb = -3000.0;  // what an interval of no energy reads

double toDb(double energy) {
    return energy > 0.0 ? 10.0 * std::log10(energy) : kLowestLevelDb;
}

// Mean energy per sample of samples from .. to - 1.
double meanEnergy(std::span<const double> after, std::size_t from, std::size_t to) {
    return to > from ? (after[from] - after[to]) / static_cast<double>(to - from) : 0.0;
}

// The squared response averaged over intervals of `width` samples (the last,
// shorter one included when it is at least half as long), in dB, with the
// intervals' middle times.
struct Intervals {
    std::vector<double> seconds;
    std::vector<double> levelDb;
};

Intervals averageIntervals(std::span<const double> after, std::size_t width, double rate) {
    Intervals out;
    const std::size_t length = after.size() - 1;
    for (std::size_t from = 0; from < length; from += width) {
        const std::size_t count = std::min(width, length - from);
        if (count * 2 < width && from > 0) break;
        out.seconds.push_back((static_cast<double>(from) + 0.5 * static_cast<double>(count)) /
                              rate);
        out.levelDb.push_back(toDb(meanEnergy(after, from, from + count)));
    }
    return out;
}

std::size_t peakInterval(const Intervals& intervals) {
    return static_cast<std::size_t>(
        std::max_element(intervals.levelDb.begin(), intervals.levelDb.end()) -
        intervals.levelDb.begin());
}

// A line through intervals first .. last - 1; slope 0 with fewer than two.
LineFit fitIntervals(const Intervals& intervals, std::size_t first, std::size_t last) {
    LineAccumulator line;
    for (std::size_t i = first; i < last; ++i) line.add(intervals.seconds[i], intervals.levelDb[i]);
    return line.fit();
}

// The first interval from `from` on whose level lies below `levelDb`, or the count.
std::size_t firstBelow(const Intervals& intervals, std::size_t from, double levelDb) {
    std::size_t i = from;
    while (i < intervals.levelDb.size() && intervals.levelDb[i] >= levelDb) ++i;
    return i;
}

std::size_t intervalWidth(double seconds, double rate, std::size_t length) {
    const double samples = std::clamp(seconds * rate, 1.0, static_cast<double>(length) / 4.0);
    return std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(samples)));
}

// Lundeby's iteration over the sums from the end (see energy_decay.h).
NoiseFloor estimateNoiseFloor(std::span<const double> after, double rate, double leastNoise) {
    NoiseFloor floor;
    const std::size_t length = after.size() - 1;
    floor.crossIndex = length;
    if (length == 0) return floor;
    const std::size_t noiseLatest = length - std::max<std::size_t>(1, length / 10);
    floor.noiseEnergy = std::max(meanEnergy(after, noiseLatest, length), leastNoise);
    double noiseDb = toDb(floor.noiseEnergy);

    Intervals intervals =
        averageIntervals(after, intervalWidth(kFirstIntervalSeconds, rate, length), rate);
    std::size_t peak = peakInterval(intervals);
    floor.peakDb = intervals.levelDb[peak];

    // The preliminary line: from the peak down to 10 dB above the noise.
    LineFit line = fitIntervals(intervals, peak,
                                firstBelow(intervals, peak, noiseDb + kPreliminaryAboveNoiseDb));
    if (!(line.slope < kSlowestDecayDbPerSecond)) return floor;
    floor.decayFound = true;
    const double endSeconds = static_cast<double>(length) / rate;
    double crossSeconds = std::clamp((noiseDb - line.intercept) / line.slope, 0.0, endSeconds);

    for (int iteration = 1; iteration <= kMostIterations; ++iteration) {
        floor.iterations = iteration;
        const std::size_t width =
            intervalWidth(10.0 / (-line.slope * kIntervalsPer10Db), rate, length);
        intervals = averageIntervals(after, width, rate);
        peak = peakInterval(intervals);
        floor.peakDb = intervals.levelDb[peak];

        // The noise from 10 dB of decay past the crosspoint, at least the last tenth.
        const double noiseFrom = (crossSeconds + kNoiseAfterCrossDb / -line.slope) * rate;
        const auto noiseIndex =
            static_cast<std::size_t>(std::clamp(noiseFrom, 0.0, static_cast<double>(noiseLatest)));
        floor.noiseEnergy = std::max(meanEnergy(after, noiseIndex, length), leastNoise);
        noiseDb = toDb(floor.noiseEnergy);

        // The late decay: from 30 dB down to 10 dB above the noise.
        const double bottom = noiseDb + kLateFitAboveNoiseDb;
        const std::size_t first = firstBelow(intervals, peak, bottom + kLateFitRangeDb);
        const std::size_t from = first > peak ? first - 1 : peak;
        const LineFit late = fitIntervals(intervals, from, firstBelow(intervals, from, bottom));
        if (late.slope < kSlowestDecayDbPerSecond) line = late;

        const double next = std::clamp((noiseDb - line.intercept) / line.slope, 0.0, endSeconds);
        const bool settled = std::abs(next - crossSeconds) * rate < static_cast<double>(width);
        crossSeconds = next;
        if (settled) break;
    }
    floor.slopeDbPerSecond = line.slope;
    floor.interceptDb = line.intercept;
    floor.crossIndex = std::min(length, static_cast<std::size_t>(std::lround(crossSeconds * rate)));
    floor.noiseReached = floor.crossIndex < noiseLatest;
    return floor;
}

}  // namespace

void sumSquaresFromEnd(std::span<const double> x, std::span<double> after) {
    double sum = 0.0;
    after[x.size()] = 0.0;
    for (std::size_t n = x.size(); n-- > 0;) {
        sum += x[n] * x[n];
        after[n] = sum;
    }
}

EnergyDecay analyseDecay(std::span<const double> after, double sampleRate, double leastNoise) {
    EnergyDecay decay;
    decay.sampleRate = sampleRate;
    decay.after = after;
    if (after.empty()) return decay;
    decay.floor = estimateNoiseFloor(after, sampleRate, leastNoise);
    const NoiseFloor& floor = decay.floor;
    const std::size_t cross = floor.crossIndex;
    const double crossSeconds = static_cast<double>(cross) / sampleRate;
    if (floor.decayFound) {
        // The line's energy per sample at the crosspoint, falling by tailRatio each sample.
        const double atCross =
            std::pow(10.0, (floor.interceptDb + floor.slopeDbPerSecond * crossSeconds) / 10.0);
        const double q = std::pow(10.0, floor.slopeDbPerSecond / (10.0 * sampleRate));
        decay.tailRatio = q;
        decay.tailEnergy = atCross / (1.0 - q);
        // The sum over j >= 0 of (t_c + j / fs) atCross q^j.
        decay.firstMoment =
            atCross * (crossSeconds / (1.0 - q) + q / ((1.0 - q) * (1.0 - q) * sampleRate));
    }
    // The sum of n x energy[n] below the crosspoint is the sum of after[j] -
    // after[cross] over j = 1 .. cross - 1; four partial sums keep the adds apart.
    double partial[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t j = 1;
    for (; j + 4 <= cross; j += 4) {
        for (std::size_t k = 0; k < 4; ++k) partial[k] += after[j + k];
    }
    double moment = (partial[0] + partial[1]) + (partial[2] + partial[3]);
    for (; j < cross; ++j) moment += after[j];
    if (cross > 1) moment -= static_cast<double>(cross - 1) * after[cross];
    decay.firstMoment += moment / sampleRate;
    return decay;
}

double EnergyDecay::energyBefore(std::size_t n) const {
    if (after.empty()) return 0.0;
    const std::size_t cross = floor.crossIndex;
    if (n <= cross) return total() - remaining(n);
    // Past the crosspoint: the line's share of the samples cross .. n - 1.
    const double beyond = tailEnergy * (1.0 - std::pow(tailRatio, static_cast<double>(n - cross)));
    return total() - tailEnergy + beyond;
}

double EnergyDecay::levelDb(std::size_t n) const {
    return 10.0 * std::log10(remaining(n) / total());
}

}  // namespace ressona
