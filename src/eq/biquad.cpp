#include "eq/biquad.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace ressona {

namespace {

struct SectionState {
    BiquadCoefficients c;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double step(double x) {
        const double y = c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

BiquadCoefficients normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

}  // namespace

BiquadCoefficients biquadCoefficients(const EqFilter& filter, double sampleRate) {
    const double a = std::pow(10.0, filter.gainDb / 40.0);
    const double w0 = 2.0 * std::numbers::pi * filter.frequencyHz / sampleRate;
    const double cosw = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * filter.q);
    const double root = 2.0 * std::sqrt(a) * alpha;
    switch (filter.kind) {
        case FilterKind::LowShelf:
            return normalised(a * ((a + 1) - (a - 1) * cosw + root),
                              2 * a * ((a - 1) - (a + 1) * cosw),
                              a * ((a + 1) - (a - 1) * cosw - root), (a + 1) + (a - 1) * cosw + root,
                              -2 * ((a - 1) + (a + 1) * cosw), (a + 1) + (a - 1) * cosw - root);
        case FilterKind::HighShelf:
            return normalised(a * ((a + 1) + (a - 1) * cosw + root),
                              -2 * a * ((a - 1) + (a + 1) * cosw),
                              a * ((a + 1) + (a - 1) * cosw - root), (a + 1) - (a - 1) * cosw + root,
                              2 * ((a - 1) - (a + 1) * cosw), (a + 1) - (a - 1) * cosw - root);
        case FilterKind::Peaking:
            break;
    }
    return normalised(1 + alpha * a, -2 * cosw, 1 - alpha * a, 1 + alpha / a, -2 * cosw,
                      1 - alpha / a);
}

double biquadLevelDb(const BiquadCoefficients& s, double frequencyHz, double sampleRate) {
    const std::complex<double> z1 =
        std::polar(1.0, -2.0 * std::numbers::pi * frequencyHz / sampleRate);
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> h = (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
    return 20.0 * std::log10(std::abs(h));
}

double filtersLevelDb(std::span<const EqFilter> filters, double frequencyHz, double sampleRate) {
    double level = 0.0;
    for (const EqFilter& filter : filters)
        level += biquadLevelDb(biquadCoefficients(filter, sampleRate), frequencyHz, sampleRate);
    return level;
}

std::vector<double> filterSignal(std::span<const EqFilter> filters, double sampleRate,
                                 std::span<const double> signal, std::size_t maxExtraSamples) {
    std::vector<SectionState> sections;
    for (const EqFilter& filter : filters) sections.push_back({biquadCoefficients(filter, sampleRate)});
    const auto through = [&sections](double x) {
        for (SectionState& section : sections) x = section.step(x);
        return x;
    };
    std::vector<double> out;
    out.reserve(signal.size());
    double peak = 0.0;
    for (double x : signal) {
        out.push_back(through(x));
        peak = std::max(peak, std::fabs(out.back()));
    }
    // The ringing has died away once a whole stretch of it stays 120 dB below the peak.
    constexpr std::size_t kQuietStretch = 1024;
    const double quiet = peak * 1e-6;
    std::size_t quietFor = 0;
    for (std::size_t i = 0; i < maxExtraSamples && quietFor < kQuietStretch; ++i) {
        out.push_back(through(0.0));
        quietFor = std::fabs(out.back()) < quiet ? quietFor + 1 : 0;
    }
    return out;
}

std::string_view filterKindName(FilterKind kind) {
    switch (kind) {
        case FilterKind::LowShelf:
            return "lowshelf";
        case FilterKind::HighShelf:
            return "highshelf";
        case FilterKind::Peaking:
            break;
    }
    return "peaking";
}

}  // namespace ressona
