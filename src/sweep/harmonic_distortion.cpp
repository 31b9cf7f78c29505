#include "sweep/harmonic_distortion.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "state/sample_types.h"
#include "analysis/real_transform.h"

namespace ressona {

namespace {

constexpr double kNotMeasured = std::numeric_limits<double>::quiet_NaN();
constexpr double kFloorRatio = 1e-30;  // -300 dB
// The window takes this share of the gap between harmonics 4 and 5, the
// smallest gap, and starts an eighth of itself before the response.
constexpr double kWindowShareOfGap = 0.9;
constexpr std::uint32_t kWindowLeadDivisor = 8;
constexpr std::uint32_t kLongestWindow = 1u << 16;
constexpr std::uint32_t kShortestWindow = 64;
// Spectra are read from a transform of twice the window, for finer bins.
constexpr std::uint32_t kPadding = 2;

std::uint32_t windowFor(const LogSweep& sweep) {
    const double gap = sweep.rateSamples * std::log(5.0 / 4.0);
    const auto window =
        static_cast<std::uint32_t>(std::min<double>(kWindowShareOfGap * gap, kLongestWindow));
    return window < kShortestWindow ? 0 : window;
}

// A flat window with raised-cosine flanks, each as long as its lead.
double taper(std::uint32_t i, std::uint32_t window, std::uint32_t flank) {
    auto rise = [flank](double at) {
        return 0.5 - 0.5 * std::cos(std::numbers::pi * (at + 0.5) / flank);
    };
    if (i < flank) return rise(i);
    if (window - 1 - i < flank) return rise(window - 1 - i);
    return 1.0;
}

std::uint32_t nextPowerOfTwo(std::uint32_t n) {
    std::uint32_t p = 1;
    while (p < n) p *= 2;
    return p;
}

}  // namespace

HarmonicSpectra::HarmonicSpectra(const LogSweep& sweep, std::span<const float> response,
                                 std::uint32_t peak)
    : sampleRate_(sweep.settings.sampleRate), window_(windowFor(sweep)) {
    const auto size = static_cast<std::int64_t>(response.size());
    if (window_ == 0 || size == 0) return;
    transformSize_ = nextPowerOfTwo(window_) * kPadding;
    RealTransform transform(transformSize_);
    const std::uint32_t flank = window_ / kWindowLeadDivisor;
    std::vector<float> cut(transformSize_, 0.0f);
    std::vector<ComplexValue> spectrum;
    for (int k = 1; k <= kHighestHarmonic; ++k) {
        const double at = static_cast<double>(peak) - harmonicLeadSamples(sweep, k);
        const std::int64_t first = std::llround(at) - flank;
        for (std::uint32_t i = 0; i < window_; ++i) {
            const std::int64_t n = ((first + i) % size + size) % size;
            cut[i] = static_cast<float>(response[static_cast<std::size_t>(n)] *
                                        taper(i, window_, flank));
        }
        transform.forward(cut, spectrum);
        std::vector<double>& power = power_[static_cast<std::size_t>(k - 1)];
        power.resize(spectrum.size());
        for (std::size_t b = 0; b < spectrum.size(); ++b) {
            power[b] =
                double(spectrum[b].re) * spectrum[b].re + double(spectrum[b].im) * spectrum[b].im;
        }
    }
}

double HarmonicSpectra::bandPower(int harmonic, double frequencyHz, double bandOctaves) const {
    const std::vector<double>& power = power_[static_cast<std::size_t>(harmonic - 1)];
    if (power.empty()) return kNotMeasured;
    const double binHz = sampleRate_ / transformSize_;
    const double centre = frequencyHz / binHz;
    const double half = std::exp2(bandOctaves / 2.0);
    const auto last = static_cast<double>(power.size() - 1);
    const double low = std::clamp(centre / half, 0.0, last);
    const double high = std::clamp(centre * half, 0.0, last);
    double sum = 0.0;
    int count = 0;
    for (auto b = static_cast<std::size_t>(std::ceil(low)); b <= std::floor(high); ++b) {
        sum += power[b];
        ++count;
    }
    if (count > 0) return sum / count;
    // A band narrower than a bin: between the two bins around its centre.
    const double below = std::floor(std::clamp(centre, 0.0, last - 1.0));
    const double share = std::clamp(centre - below, 0.0, 1.0);
    const auto b = static_cast<std::size_t>(below);
    return power[b] * (1.0 - share) + power[b + 1] * share;
}

DistortionPoint HarmonicSpectra::at(double frequencyHz, double bandOctaves) const {
    DistortionPoint point;
    point.frequencyHz = frequencyHz;
    const double fundamental = bandPower(1, frequencyHz, bandOctaves);
    point.fundamentalDb = fundamental > 0.0
                              ? 10.0 * std::log10(fundamental) - 20.0 * std::log10(kSweepFullScale)
                              : kNotMeasured;
    double sum = 0.0;
    bool any = false;
    for (int k = 2; k <= kHighestHarmonic; ++k) {
        double& level = point.harmonicDb[static_cast<std::size_t>(k - 2)];
        level = kNotMeasured;
        if (!(fundamental > 0.0) || k * frequencyHz > kSweepHighestShareOfRate * sampleRate_)
            continue;
        // A harmonic of no power at all reads as the floor, not as minus infinity.
        const double ratio =
            std::max(bandPower(k, k * frequencyHz, bandOctaves) / fundamental, kFloorRatio);
        level = 10.0 * std::log10(ratio);
        sum += ratio;
        any = true;
    }
    point.thdDb = any ? 10.0 * std::log10(sum) : kNotMeasured;
    return point;
}

DistortionCurves distortionCurves(const HarmonicSpectra& spectra,
                                  std::span<const double> frequencies, double bandOctaves) {
    DistortionCurves curves;
    curves.points.reserve(frequencies.size());
    for (const double f : frequencies) curves.points.push_back(spectra.at(f, bandOctaves));
    return curves;
}

std::vector<double> logFrequencies(double from, double to, int pointsPerOctave) {
    std::vector<double> frequencies;
    if (!(from > 0.0) || !(to >= from) || pointsPerOctave < 1) return frequencies;
    const double steps = std::floor(std::log2(to / from) * pointsPerOctave + 1e-9);
    for (double i = 0; i <= steps; ++i)
        frequencies.push_back(from * std::exp2(i / pointsPerOctave));
    return frequencies;
}

std::vector<double> thirdOctaveCentres(double from, double to) {
    std::vector<double> centres;
    if (!(from > 0.0) || !(to >= from)) return centres;
    // A centre within 1 % of an end counts: 19.95 Hz is the band called 20 Hz.
    constexpr double kTolerance = 0.01;
    const double first = 10.0 * std::log10(from / (1.0 + kTolerance) / 1000.0);
    for (int n = static_cast<int>(std::ceil(first));; ++n) {
        const double centre = 1000.0 * std::pow(10.0, n / 10.0);
        if (centre > to * (1.0 + kTolerance)) break;
        centres.push_back(centre);
    }
    return centres;
}

double percentOf(double db) {
    return 100.0 * std::pow(10.0, db / 20.0);
}

}  // namespace ressona
