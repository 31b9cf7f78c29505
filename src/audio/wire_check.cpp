#include "audio/wire_check.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "analysis/symmetric_solve.h"
#include "state/sample_types.h"

namespace ressona {

namespace {

constexpr std::int64_t kWireBlock = 256;
// A block shorter than this is not compared (what a pass of 64 samples leaves).
constexpr std::int64_t kShortestBlock = 32;
constexpr double kWireLikeness = 0.98;  // a slip or a garbled block gives 0.5 and less
// A sample this many times the block's RMS residual off the expected one
// (noise, or what the fitted wire leaves, stays within about 4) ...
constexpr double kOutlierTimes = 6.0;
// ... and this many steps off, beyond the rounding of a digital wire. One
// wrong sample at the end of an MLS period put a low-pass's response 0.6 dB
// off where it attenuates, yet spoils its block's likeness by less than
// noise does.
constexpr double kOutlierSteps = 2.0;
// Taps of the wire's response before and after the arrival. A converter's
// linear-phase filter cutting at 0.45 of the rate rings both ways from its
// centre, which a half-sample delay may put on either side of the arrival; a
// filter with feedback (a biquad low-pass near the top of the band) rings on
// after it for longer. A pulse's block, silent but for the ringing, is judged
// to within 2 steps, so the fit reaches past both. A slip moves the rest of
// the recording by more than it reaches, or (a few samples) by enough that
// the codes through the fitted wire are unlike it.
constexpr std::int64_t kWireLead = 32;
constexpr std::int64_t kWireTail = 64;
constexpr std::int64_t kWireSpan = kWireLead + kWireTail;
constexpr std::int64_t kWireTaps = kWireSpan + 1;
// The wire is fitted over the stretch's first samples only, so that a slip
// after them (the case the slices miss: near the recording's end) is no part
// of the fit and is named where it happened.
constexpr std::int64_t kWireFitSamples = 2048;
// Added to the fit's diagonal, as a share of the codes' energy, so that taps
// the codes cannot tell apart (a pulse too near the stretch's edge for some
// offsets) leave the fit solvable; small enough to move no tap the codes do
// determine (at 1e-4 a full-scale pulse came out 2.6 steps low).
constexpr double kFitRidge = 1e-9;

// What the played sample n puts on the wire: 0 at rest, and before and after
// the played codes.
double codeAt(std::span<const std::uint8_t> played, std::int64_t n) {
    return n >= 0 && n < std::int64_t(played.size()) ? double(played[std::size_t(n)]) - kSilenceCode
                                                     : 0.0;
}

// The wire's taps: tap t takes the code played t - kWireLead samples before
// (after, for a negative offset) to each reference sample, found by least
// squares over played samples `from` to `to`, beside an offset (a card's
// input is seldom at 0 when silent). A unit tap at the centre when nothing
// can be fitted.
std::vector<double> fitWire(std::span<const std::uint8_t> played,
                            std::span<const std::int16_t> reference, std::int64_t arrival,
                            std::int64_t from, std::int64_t to) {
    const std::int64_t length = to - from;
    // The codes from `from - kWireTail` to `to + kWireLead`: regressor t of
    // fitted sample m is codes[m + kWireSpan - t]; the last, the offset's, is 1.
    std::vector<double> codes(std::size_t(length + kWireSpan));
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = codeAt(played, from - kWireTail + std::int64_t(i));
    const auto regressor = [&](std::int64_t m, std::int64_t t) {
        return t == kWireTaps ? 1.0 : codes[std::size_t(m + kWireSpan - t)];
    };
    const auto sample = [&](std::int64_t m) {
        return double(reference[std::size_t(from + m + arrival)]);
    };
    constexpr std::int64_t kUnknowns = kWireTaps + 1;
    // The regressors' products: row 0 summed, the taps' rest each from its
    // neighbour up and left (the same sum moved by one sample at both ends).
    std::vector<double> gram(std::size_t(kUnknowns * kUnknowns));
    std::vector<double> solution(std::size_t(kUnknowns), 0.0);
    const auto at = [&](std::int64_t t, std::int64_t u) -> double& {
        return gram[std::size_t(t * kUnknowns + u)];
    };
    const auto summed = [&](std::int64_t t, std::int64_t u) {
        double sum = 0.0;
        for (std::int64_t m = 0; m < length; ++m) sum += regressor(m, t) * regressor(m, u);
        return sum;
    };
    for (std::int64_t u = 0; u < kUnknowns; ++u) at(0, u) = summed(0, u);
    for (std::int64_t t = 1; t < kUnknowns; ++t) {
        for (std::int64_t u = t; u < kUnknowns; ++u) {
            at(t, u) = u == kWireTaps
                           ? summed(t, u)
                           : at(t - 1, u - 1) + regressor(-1, t - 1) * regressor(-1, u - 1) -
                                 regressor(length - 1, t - 1) * regressor(length - 1, u - 1);
        }
    }
    for (std::int64_t t = 1; t < kUnknowns; ++t)
        for (std::int64_t u = 0; u < t; ++u) at(t, u) = at(u, t);
    for (std::int64_t t = 0; t < kUnknowns; ++t) {
        double sum = 0.0;
        for (std::int64_t m = 0; m < length; ++m) sum += regressor(m, t) * sample(m);
        solution[std::size_t(t)] = sum;
    }
    const double ridge = kFitRidge * at(kWireLead, kWireLead);
    for (std::int64_t t = 0; t < kWireTaps; ++t) at(t, t) += ridge;
    std::vector<double> taps(std::size_t(kWireTaps), 0.0);
    if (ridge > 0.0 && solveSymmetric(std::move(gram), solution)) {
        std::copy_n(solution.begin(), kWireTaps, taps.begin());
    } else {
        taps[std::size_t(kWireLead)] = 1.0;
    }
    return taps;
}

// Played samples `from` to `to` through the wire's taps.
std::vector<double> throughWire(std::span<const std::uint8_t> played, std::span<const double> taps,
                                std::int64_t from, std::int64_t to) {
    std::vector<double> out(std::size_t(to - from), 0.0);
    for (std::int64_t n = from; n < to; ++n) {
        double sum = 0.0;
        for (std::int64_t t = 0; t < kWireTaps; ++t)
            sum += taps[std::size_t(t)] * codeAt(played, n - t + kWireLead);
        out[std::size_t(n - from)] = sum;
    }
    return out;
}

struct WireFit {
    double likeness = 0.0;  // correlation coefficient; 1 where the samples are the expected scaled
    std::int64_t outlier = -1;  // the first sample far off the expected scaled, or -1
};

// Expected and recorded samples, each less its mean, compared.
WireFit wireFit(std::span<const double> expected, std::span<const std::int16_t> samples) {
    double expectedMean = 0.0, sampleMean = 0.0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expectedMean += expected[i];
        sampleMean += samples[i];
    }
    expectedMean /= double(expected.size());
    sampleMean /= double(expected.size());
    double product = 0.0, expectedEnergy = 0.0, sampleEnergy = 0.0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const double x = expected[i] - expectedMean;
        const double y = samples[i] - sampleMean;
        product += x * y;
        expectedEnergy += x * x;
        sampleEnergy += y * y;
    }
    WireFit fit;
    const double energies = std::sqrt(expectedEnergy * sampleEnergy);
    if (energies <= 0.0) return fit;
    fit.likeness = product / energies;
    const double gain = product / expectedEnergy;
    const auto residual = [&](std::size_t i) {
        return samples[i] - sampleMean - gain * (expected[i] - expectedMean);
    };
    double residualEnergy = 0.0;
    for (std::size_t i = 0; i < expected.size(); ++i) residualEnergy += residual(i) * residual(i);
    const double limit = std::max(
        kOutlierSteps, kOutlierTimes * std::sqrt(residualEnergy / double(expected.size())));
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (std::fabs(residual(i)) > limit) {
            fit.outlier = std::int64_t(i);
            break;
        }
    return fit;
}

}  // namespace

// The last block takes what is left over (up to twice a block), so that no
// stretch is too short to compare.
std::int64_t wireMismatchFrom(std::span<const std::uint8_t> played,
                              std::span<const std::int16_t> reference, std::int64_t arrival) {
    const std::int64_t start = std::max<std::int64_t>(0, -arrival);
    const std::int64_t end = std::min<std::int64_t>(std::int64_t(played.size()),
                                                    std::int64_t(reference.size()) - arrival);
    if (end <= start) return -1;
    const std::vector<double> taps =
        fitWire(played, reference, arrival, start, std::min(end, start + kWireFitSamples));
    const std::vector<double> expected = throughWire(played, taps, start, end);
    for (std::int64_t first = start; first < end; first += kWireBlock) {
        const std::int64_t left = end - first;
        const std::int64_t length = left < 2 * kWireBlock ? left : kWireBlock;
        const auto block = played.subspan(std::size_t(first), std::size_t(length));
        const bool sounds = std::any_of(block.begin(), block.end(),
                                        [&](std::uint8_t code) { return code != block.front(); });
        if (!sounds || length < kShortestBlock) continue;
        const WireFit fit =
            wireFit(std::span(expected).subspan(std::size_t(first - start), std::size_t(length)),
                    reference.subspan(std::size_t(first + arrival), std::size_t(length)));
        if (fit.likeness < kWireLikeness) return first;
        if (fit.outlier >= 0) return first + fit.outlier;
        if (length != kWireBlock) break;
    }
    return -1;
}

}  // namespace ressona
