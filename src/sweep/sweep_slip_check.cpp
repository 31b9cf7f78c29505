#include "sweep/sweep_slip_check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace ressona {

namespace {

// A faithful slice's lag is exact to a sample or two (a rounding, a delay
// between two samples) ...
constexpr double kExactSamples = 2.0;
// ... and in the lowest bands a phase shift that still leaves the slice
// faithful (about 0.2 rad across a band of 0.6 octave) moves the best lag by
// up to this share of a period of the slice's lowest frequency.
constexpr double kPeriodShare = 1.0 / 16.0;
constexpr std::int64_t kRefineSamples = 16;
// A faithful path (a cable, a card, a loopback) shows in this many faithful
// slices; its recording is then followed block by block.
constexpr std::size_t kFaithfulPath = 4;
constexpr std::uint32_t kBlockSamples = 64;
// A block's error against the played sweep (delayed and scaled), as a share
// of its played energy, that breaks the match: at least kBroken, and kJump
// times that of the block before (or after: the match found again). A linear
// system's error changes with the sweep's frequency, by less than a percent
// in a block, and noise by a few dB; only samples lost, added or changed jump
// by 30 dB from one block to the next.
constexpr double kBroken = 1e-2;
constexpr double kJump = 1e3;
// Blocks played below this share of the loudest block's energy are not judged.
constexpr double kQuietBlock = 1e-2;

bool clipped(std::int16_t sample) {
    return sample == std::numeric_limits<std::int16_t>::max() ||
           sample == std::numeric_limits<std::int16_t>::min();
}

std::uint32_t nextPowerOfTwo(std::uint64_t n) {
    std::uint64_t p = 4;
    while (p < n) p *= 2;
    return p > kRealTransformLargest ? 0 : static_cast<std::uint32_t>(p);
}

std::uint32_t correlationSize(const LogSweep& sweep) {
    const std::uint64_t slice = sweep.played.size() / kSweepSlices;
    return slice == 0 ? 0 : nextPowerOfTwo(slice + 2 * kSweepSlipSearchSamples);
}

}  // namespace

SweepSlipCheck::SweepSlipCheck(const LogSweep& sweep)
    : sweep_(sweep),
      sliceSamples_(static_cast<std::uint32_t>(sweep.played.size() / kSweepSlices)),
      transform_(correlationSize(sweep)) {
    padded_.assign(transform_.size(), 0.0f);
    energyBefore_.assign(transform_.size() + 1, 0.0);
}

double SweepSlipCheck::tolerance(std::uint32_t slice) const {
    const double lowestHz =
        sweep_.settings.fromHz * std::exp(double(slice) * sliceSamples_ / sweep_.rateSamples);
    return kExactSamples + kPeriodShare * sweep_.settings.sampleRate / lowestHz;
}

std::int64_t SweepSlipCheck::firstBreak(std::span<const std::int16_t> recording, std::int64_t lag,
                                        double gain) const {
    const std::vector<std::int16_t>& played = sweep_.played;
    const std::int64_t length = std::int64_t(played.size());
    const auto recorded = [&](std::int64_t n) {
        const std::int64_t p = n + lag;
        return p >= 0 && p < std::int64_t(recording.size()) ? double(recording[std::size_t(p)])
                                                            : 0.0;
    };
    // A clipped recording breaks its match at every peak: not judged.
    for (std::int64_t n = 0; n < length; ++n) {
        if (clipped(static_cast<std::int16_t>(recorded(n)))) return -1;
    }
    // Each block's error share, between the fades.
    const std::int64_t from = sweep_.fadeInSamples;
    const std::int64_t to = length - std::int64_t(sweep_.fadeOutSamples);
    std::vector<double> share;
    std::vector<double> playedEnergy;
    for (std::int64_t block = from; block + kBlockSamples <= to; block += kBlockSamples) {
        double error = 0.0;
        double sound = 0.0;
        for (std::int64_t n = block; n < block + kBlockSamples; ++n) {
            const double expected = gain * played[std::size_t(n)];
            error += (recorded(n) - expected) * (recorded(n) - expected);
            sound += expected * expected;
        }
        share.push_back(sound > 0.0 ? error / sound : 0.0);
        playedEnergy.push_back(sound);
    }
    const double loudest = *std::max_element(playedEnergy.begin(), playedEnergy.end());
    for (std::size_t b = 0; b + 1 < share.size(); ++b) {
        if (playedEnergy[b] < kQuietBlock * loudest || playedEnergy[b + 1] < kQuietBlock * loudest)
            continue;
        const bool breaks = share[b + 1] >= kBroken && share[b + 1] >= kJump * share[b];
        const bool mends = share[b] >= kBroken && share[b] >= kJump * share[b + 1];
        if (breaks || mends) return from + std::int64_t(b + 1) * kBlockSamples;
    }
    return -1;
}

SweepTiming SweepSlipCheck::check(std::span<const std::int16_t> recording,
                                  std::int64_t expectedLag) {
    SweepTiming timing;
    const std::uint32_t size = transform_.size();
    if (size == 0 || sliceSamples_ == 0) return timing;
    const std::int64_t window = sliceSamples_ + 2 * kSweepSlipSearchSamples;
    struct Found {
        std::uint32_t slice;
        std::int64_t lag;
        double gain;  // of the recording against the played slice
    };
    std::vector<Found> faithful;
    for (std::uint32_t slice = 0; slice < kSweepSlices; ++slice) {
        const std::int64_t first = std::int64_t(slice) * sliceSamples_;
        std::fill(padded_.begin(), padded_.end(), 0.0f);
        double playedEnergy = 0.0;
        for (std::uint32_t n = 0; n < sliceSamples_; ++n) {
            const double x = sweep_.played[first + n];
            padded_[n] = static_cast<float>(x);
            playedEnergy += x * x;
        }
        transform_.forward(padded_, played_);

        // The recording from kSweepSlipSearchSamples before the slice's expected place.
        const std::int64_t start = first + expectedLag - kSweepSlipSearchSamples;
        std::fill(padded_.begin(), padded_.end(), 0.0f);
        for (std::int64_t m = 0; m < window; ++m) {
            const std::int64_t p = start + m;
            const double y =
                p >= 0 && p < std::int64_t(recording.size()) ? recording[std::size_t(p)] : 0.0;
            padded_[std::size_t(m)] = static_cast<float>(y);
            energyBefore_[std::size_t(m) + 1] = energyBefore_[std::size_t(m)] + y * y;
        }
        transform_.forward(padded_, recorded_);
        for (std::size_t k = 0; k < recorded_.size(); ++k) {
            const ComplexValue a = recorded_[k];
            const ComplexValue b = played_[k];
            recorded_[k] = {a.re * b.re + a.im * b.im, a.im * b.re - a.re * b.im};
        }
        // correlation_[d] = sum over n of played slice[n] x window[n + d]; no
        // wrap for d <= 2 x search, as the window fits the transform.
        transform_.inverse(recorded_, correlation_);

        // The best lag has the largest correlation coefficient: the largest
        // correlation alone would favour a louder stretch of the recording.
        if (playedEnergy <= 0.0) continue;
        const auto coefficientAt = [&](std::int64_t d, double correlation) {
            const double energy =
                energyBefore_[std::size_t(d + sliceSamples_)] - energyBefore_[std::size_t(d)];
            return energy > 0.0 ? std::fabs(correlation) / std::sqrt(playedEnergy * energy) : 0.0;
        };
        std::int64_t best = 0;
        double coefficient = -1.0;
        for (std::int64_t d = 0; d <= 2 * kSweepSlipSearchSamples; ++d) {
            const double value = coefficientAt(d, correlation_[std::size_t(d)]);
            if (value > coefficient) {
                coefficient = value;
                best = d;
            }
        }
        // The transform's single precision leaves the peak of a low slice,
        // flat over several lags, a few samples out: the lags around it are
        // correlated again in double precision.
        const std::int64_t from = std::max<std::int64_t>(best - kRefineSamples, 0);
        const std::int64_t to =
            std::min<std::int64_t>(best + kRefineSamples, 2 * kSweepSlipSearchSamples);
        coefficient = -1.0;
        double gain = 0.0;
        for (std::int64_t d = from; d <= to; ++d) {
            double sum = 0.0;
            for (std::uint32_t n = 0; n < sliceSamples_; ++n)
                sum += double(sweep_.played[first + n]) * double(padded_[std::size_t(d) + n]);
            const double value = coefficientAt(d, sum);
            if (value > coefficient) {
                coefficient = value;
                best = d;
                gain = sum / playedEnergy;
            }
        }
        if (coefficient >= kSweepSliceFaithful)
            faithful.push_back({slice, expectedLag - kSweepSlipSearchSamples + best, gain});
    }

    timing.slicesCompared = static_cast<std::uint32_t>(faithful.size());
    if (faithful.empty()) return timing;
    const auto [earliest, latest] =
        std::minmax_element(faithful.begin(), faithful.end(),
                            [](const Found& a, const Found& b) { return a.lag < b.lag; });
    timing.earliestLag = earliest->lag;
    timing.latestLag = latest->lag;
    for (const Found& a : faithful) {
        for (const Found& b : faithful) {
            if (double(std::llabs(a.lag - b.lag)) > tolerance(a.slice) + tolerance(b.slice))
                timing.slipped = true;
        }
    }
    if (!timing.slipped && faithful.size() >= kFaithfulPath) {
        // The path's lag and gain: those of its middle faithful slice by lag
        // (they agree to within their tolerances).
        std::nth_element(faithful.begin(), faithful.begin() + faithful.size() / 2, faithful.end(),
                         [](const Found& a, const Found& b) { return a.lag < b.lag; });
        const Found& middle = faithful[faithful.size() / 2];
        timing.damagedAt = firstBreak(recording, middle.lag, middle.gain);
    }
    return timing;
}

std::int64_t silentGapInSweep(std::span<const std::int16_t> recording, std::int64_t lag,
                              std::uint32_t sweepSamples) {
    const auto size = static_cast<std::int64_t>(recording.size());
    const auto soundIn = [&](std::int64_t from, std::int64_t to) {
        for (std::int64_t n = std::max<std::int64_t>(from, 0); n < std::min(to, size); ++n)
            if (std::abs(int(recording[std::size_t(n)])) >= kSweepGapSound) return true;
        return false;
    };
    const std::int64_t end = std::min(size, lag + std::int64_t(sweepSamples));
    std::int64_t zerosFrom = -1;
    for (std::int64_t n = std::max<std::int64_t>(lag, 0); n < end; ++n) {
        if (recording[std::size_t(n)] == 0) {
            if (zerosFrom < 0) zerosFrom = n;
            continue;
        }
        if (zerosFrom >= 0 && n - zerosFrom >= kSweepGapSamples &&
            soundIn(zerosFrom - kSweepGapContext, zerosFrom) && soundIn(n, n + kSweepGapContext))
            return zerosFrom - lag;
        zerosFrom = -1;
    }
    return -1;
}

}  // namespace ressona
