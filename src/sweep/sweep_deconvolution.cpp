#include "sweep/sweep_deconvolution.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace ressona {

namespace {

using Complex = std::complex<double>;

// Below this share of the played spectrum's largest power a bin counts as
// silent: the division there is held back instead of amplifying noise.
constexpr double kRegularisation = 1e-10;
// The linear response's band ends at the sweep's end with a raised-cosine
// roll-off over this much of the band: the played spectrum falls off a cliff
// there, and a smooth edge inside it makes the response ring for only a few
// dozen samples.
constexpr double kLinearRollOffOctaves = 1.0 / 8.0;
constexpr double kLeadTimeScales = 4.0;
// The harmonic response divides by the played spectrum up to this far below
// the sweep's end, where its fade-out has not begun, then changes over to the
// analytic spectrum by the fade-out's start.
constexpr double kChangeOverFromOctaves = 1.0 / 6.0;
constexpr double kChangeOverToOctaves = 1.0 / 24.0;
// Room kept after the harmonics' responses for the last one's window (a
// fifth of the gap between harmonics 4 and 5 is more than it takes).
constexpr double kHarmonicRoomShare = 1.25;

std::uint32_t nextPowerOfTwo(std::uint64_t n) {
    std::uint64_t p = 1;
    while (p < n) p *= 2;
    return p > kRealTransformLargest ? 0 : static_cast<std::uint32_t>(p);
}

// The sweep's spectrum at nu cycles per sample, from the stationary phase of
// a sin(phi(n)): magnitude (a/2) sqrt(Ls/nu), phase
// 2 pi Ls (nu - f1 - nu ln(nu/f1)) - pi/4, f1 in cycles per sample.
Complex analyticSpectrum(const LogSweep& sweep, double nu) {
    const double start = sweep.settings.fromHz / sweep.settings.sampleRate;
    const double cycles = sweep.rateSamples * (nu - start - nu * std::log(nu / start));
    const double phase =
        2.0 * std::numbers::pi * (cycles - std::floor(cycles)) - 0.25 * std::numbers::pi;
    return std::polar(0.5 * sweep.amplitude * std::sqrt(sweep.rateSamples / nu), phase);
}

// 1 up to `from`, a raised cosine down to 0 at `to`, 0 above.
double fallBetween(double nu, double from, double to) {
    if (nu <= from) return 1.0;
    if (nu >= to) return 0.0;
    return 0.5 + 0.5 * std::cos(std::numbers::pi * (nu - from) / (to - from));
}

ComplexValue toValue(Complex c) {
    return {static_cast<float>(c.real()), static_cast<float>(c.imag())};
}

void multiply(std::span<const ComplexValue> a, std::span<const ComplexValue> b,
              std::vector<ComplexValue>& out) {
    out.resize(a.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        out[k] = {a[k].re * b[k].re - a[k].im * b[k].im, a[k].re * b[k].im + a[k].im * b[k].re};
    }
}

}  // namespace

std::uint32_t sweepTransformSize(const LogSweepSettings& settings, std::uint32_t recordSamples) {
    const double harmonics =
        kHarmonicRoomShare * sweepRateSamples(settings) * std::log(double(kHighestHarmonic));
    return nextPowerOfTwo(recordSamples + static_cast<std::uint64_t>(std::ceil(harmonics)));
}

SweepDeconvolver::SweepDeconvolver(const LogSweep& sweep, std::uint32_t recordSamples)
    : transform_(sweepTransformSize(sweep.settings, recordSamples)) {
    const std::uint32_t size = transform_.size();
    if (size == 0 || sweep.played.size() > size) return;
    padded_.assign(size, 0.0f);
    std::copy(sweep.played.begin(), sweep.played.end(), padded_.begin());
    std::vector<ComplexValue> played;
    transform_.forward(padded_, played);

    double largest = 0.0;
    for (const ComplexValue& v : played)
        largest = std::max(largest, double(v.re) * v.re + double(v.im) * v.im);
    const double floor = kRegularisation * largest;
    // Counts of a full-scale system: the division by the played samples gives
    // the system's gain; the sweep's amplitude turns it into counts.
    const double scale = sweep.amplitude;
    const std::size_t bins = played.size();
    linearInverse_.resize(bins);
    harmonicInverse_.resize(bins);
    const double end = sweep.settings.toHz / sweep.settings.sampleRate;
    const double rollOffStart = end * std::exp2(-kLinearRollOffOctaves);
    const double changeFrom = end * std::exp2(-kChangeOverFromOctaves);
    const double changeTo = end * std::exp2(-kChangeOverToOctaves);
    for (std::size_t k = 0; k < bins; ++k) {
        const Complex x(played[k].re, played[k].im);
        const Complex exact = scale * std::conj(x) / (std::norm(x) + floor);
        const double nu = static_cast<double>(k) / size;
        linearInverse_[k] = toValue(fallBetween(nu, rollOffStart, end) * exact);
        const double played = fallBetween(nu, changeFrom, changeTo);
        const Complex analytic = k == 0 ? Complex() : scale / analyticSpectrum(sweep, nu);
        harmonicInverse_[k] = toValue(played * exact + (1.0 - played) * analytic);
    }
}

void SweepDeconvolver::deconvolve(std::span<const std::int16_t> recording, SweepResponses& out) {
    const std::uint32_t size = transform_.size();
    if (size == 0) return;
    const std::size_t taken = std::min<std::size_t>(recording.size(), size);
    std::fill(padded_.begin(), padded_.end(), 0.0f);
    std::copy(recording.begin(), recording.begin() + static_cast<std::ptrdiff_t>(taken),
              padded_.begin());
    transform_.forward(padded_, spectrum_);
    multiply(spectrum_, linearInverse_, product_);
    transform_.inverse(product_, out.linear);
    multiply(spectrum_, harmonicInverse_, product_);
    transform_.inverse(product_, out.harmonic);
    std::uint32_t peak = 0;
    float largest = -1.0f;
    for (std::uint32_t n = 0; n < size; ++n) {
        const float magnitude = std::fabs(out.linear[n]);
        if (magnitude > largest) {
            largest = magnitude;
            peak = n;
        }
    }
    out.peak = peak;
}

double linearBandTop(const LogSweep& sweep) {
    return sweep.settings.toHz * std::exp2(-kLinearRollOffOctaves);
}

std::uint32_t linearResponseLead(const LogSweep& sweep, std::uint32_t length) {
    const double width = sweep.settings.toHz * (1.0 - std::exp2(-kLinearRollOffOctaves));
    const double lead = std::ceil(kLeadTimeScales * sweep.settings.sampleRate / width);
    return static_cast<std::uint32_t>(std::min<double>(lead, length / 4));
}

std::vector<std::int16_t> cutLinearResponse(const SweepResponses& responses, std::uint32_t length,
                                            std::uint32_t lead) {
    std::vector<std::int16_t> cut(length, 0);
    const auto size = static_cast<std::int64_t>(responses.linear.size());
    if (size == 0) return cut;
    const std::int64_t first = static_cast<std::int64_t>(responses.peak) - lead;
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::int64_t at = ((first + i) % size + size) % size;
        const double value = std::nearbyint(responses.linear[static_cast<std::size_t>(at)]);
        cut[i] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
    return cut;
}

}  // namespace ressona
