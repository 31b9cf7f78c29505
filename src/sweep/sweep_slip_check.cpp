#include "sweep/sweep_slip_check.h"

#include <algorithm>
#include <cmath>

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

SweepTiming SweepSlipCheck::check(std::span<const std::int16_t> recording,
                                  std::int64_t expectedLag) {
    SweepTiming timing;
    const std::uint32_t size = transform_.size();
    if (size == 0 || sliceSamples_ == 0) return timing;
    const std::int64_t window = sliceSamples_ + 2 * kSweepSlipSearchSamples;
    struct Found {
        std::uint32_t slice;
        std::int64_t lag;
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
        for (std::int64_t d = from; d <= to; ++d) {
            double sum = 0.0;
            for (std::uint32_t n = 0; n < sliceSamples_; ++n)
                sum += double(sweep_.played[first + n]) * double(padded_[std::size_t(d) + n]);
            const double value = coefficientAt(d, sum);
            if (value > coefficient) {
                coefficient = value;
                best = d;
            }
        }
        if (coefficient >= kSweepSliceFaithful)
            faithful.push_back({slice, expectedLag - kSweepSlipSearchSamples + best});
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
    return timing;
}

}  // namespace ressona
