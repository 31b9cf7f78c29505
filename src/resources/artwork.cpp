#include "resources/artwork.h"

#include <cmath>

namespace ressona::artwork {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kOnsetFraction = 0.18;      // where the peak sits along the trace
constexpr double kRingPeriodFraction = 0.1;  // one ring cycle, as a share of the trace
constexpr double kDecayFraction = 0.16;      // 1/e decay time, as a share of the trace

}  // namespace

std::vector<Point> impulseTrace(int left, int right, int baseline, int amplitude) {
    std::vector<Point> trace;
    if (right <= left) return trace;
    const double span = right - left;
    // The peak falls on a whole pixel, so it reaches the full amplitude.
    const double onset = left + std::round(span * kOnsetFraction);
    const double period = span * kRingPeriodFraction;
    const double decay = span * kDecayFraction;
    for (int x = left; x <= right; ++x) {
        const double t = x - onset;
        double deflection = 0.0;
        if (t >= 0.0)
            deflection = amplitude * std::exp(-t / decay) * std::cos(2.0 * kPi * t / period);
        trace.push_back({x, baseline - static_cast<int>(std::lround(deflection))});
    }
    return trace;
}

std::vector<Point> logoTrace() {
    constexpr int kMargin = 4;
    constexpr int kAmplitude = 21;
    return impulseTrace(kMargin, kLogoWidth - 1 - kMargin, kMargin + kAmplitude + 1, kAmplitude);
}

std::vector<Point> iconTrace(int side) {
    const int margin = side / 8;
    const int amplitude = side * 3 / 8;
    return impulseTrace(margin, side - 1 - margin, side / 2 + amplitude / 4, amplitude);
}

}  // namespace ressona::artwork
