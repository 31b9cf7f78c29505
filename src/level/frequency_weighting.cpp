#include "level/frequency_weighting.h"

#include <cmath>
#include <complex>

namespace ressona {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The pole frequencies of IEC 61672-1 (its annex E), in Hz.
constexpr double kF1 = 20.598997;
constexpr double kF2 = 107.65265;
constexpr double kF3 = 737.86223;
constexpr double kF4 = 12194.217;
constexpr double kNormalisingHz = 1000.0;

using Complex = std::complex<double>;

// The analogue weighting's gain (linear, not yet normalised) at frequencyHz.
double analogueGain(Weighting weighting, double frequencyHz) {
    const double f2 = frequencyHz * frequencyHz;
    const double highPass1 = f2 / (f2 + kF1 * kF1);     // the double pole at f1, with s^2
    const double lowPass4 = kF4 * kF4 / (f2 + kF4 * kF4);  // the double pole at f4
    switch (weighting) {
        case Weighting::Z:
            return 1.0;
        case Weighting::C:
            return highPass1 * lowPass4;
        case Weighting::A:
            return highPass1 * lowPass4 * frequencyHz / std::sqrt(f2 + kF2 * kF2) * frequencyHz /
                   std::sqrt(f2 + kF3 * kF3);
    }
    return 1.0;
}

// (1 - 1/z)^2 over the two real poles fa and fb, by the bilinear transform
// (not prewarped: that moves the A weighting's poles at f2 and f3 further
// from 1 kHz at 8000 Hz): s / (s + w) becomes K (1 - 1/z) / ((K + w) + (w - K) / z),
// K = 2 rate.
WeightingSection bilinearHighPassPair(double faHz, double fbHz, double rate) {
    const double k = 2.0 * rate;
    const double wa = 2.0 * kPi * faHz;
    const double wb = 2.0 * kPi * fbHz;
    const double pa = (wa - k) / (k + wa);  // the denominators' 1/z coefficients
    const double pb = (wb - k) / (k + wb);
    const double gain = k * k / ((k + wa) * (k + wb));
    return {gain, -2.0 * gain, gain, pa + pb, pa * pb};
}

// One factor g (1 + b/z) / (1 - p/z) of the double pole at fHz: its gain is 1
// at 0 Hz (g = (1 - p) / (1 + b)) and the analogue factor's at the Nyquist
// frequency (which fixes b for a given p).
struct LowPassFactor {
    double p = 0.0;
    double b = 0.0;
    double g = 1.0;
};

double analogueLowPassSquared(double fHz, double frequencyHz) {
    const double ratio = frequencyHz / fHz;
    return 1.0 / (1.0 + ratio * ratio);
}

LowPassFactor lowPassFactor(double p, double fHz, double rate) {
    const double r = std::sqrt(analogueLowPassSquared(fHz, rate / 2.0)) * (1.0 + p) / (1.0 - p);
    LowPassFactor factor{p, (1.0 - r) / (1.0 + r), 0.0};
    factor.g = (1.0 - p) / (1.0 + factor.b);
    return factor;
}

// The factor's squared gain at a quarter of the rate (1/z = -j).
double quarterRateSquared(const LowPassFactor& f) {
    return f.g * f.g * (1.0 + f.b * f.b) / (1.0 + f.p * f.p);
}

// The double pole at f4: two equal factors whose gain is also the analogue
// factor's at a quarter of the rate, found by bisection on the pole p (the
// gain there falls as p rises). Right at 0 Hz, rate / 4 and rate / 2, the
// digital gain stays within a few tenths of a dB of the analogue one between.
WeightingSection matchedLowPassPair(double fHz, double rate) {
    const double target = analogueLowPassSquared(fHz, rate / 4.0);
    double low = 0.0;
    double high = 0.999;
    for (int step = 0; step < 60; ++step) {
        const double middle = 0.5 * (low + high);
        (quarterRateSquared(lowPassFactor(middle, fHz, rate)) > target ? low : high) = middle;
    }
    const LowPassFactor f = lowPassFactor(0.5 * (low + high), fHz, rate);
    const double g2 = f.g * f.g;
    return {g2, 2.0 * g2 * f.b, g2 * f.b * f.b, -2.0 * f.p, f.p * f.p};
}

Complex sectionResponse(const WeightingSection& s, double frequencyHz, double rate) {
    const Complex z1 = std::polar(1.0, -2.0 * kPi * frequencyHz / rate);  // 1/z
    const Complex z2 = z1 * z1;
    return (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
}

}  // namespace

std::string weightingName(Weighting weighting) {
    switch (weighting) {
        case Weighting::A:
            return "A";
        case Weighting::C:
            return "C";
        case Weighting::Z:
            break;
    }
    return "Z";
}

double analogueWeightingDb(Weighting weighting, double frequencyHz) {
    return 20.0 * std::log10(analogueGain(weighting, frequencyHz) /
                             analogueGain(weighting, kNormalisingHz));
}

WeightingFilter::WeightingFilter(Weighting weighting, double sampleRate)
    : sampleRate_(sampleRate) {
    if (weighting == Weighting::Z) return;
    sections_[count_++] = bilinearHighPassPair(kF1, kF1, sampleRate);
    sections_[count_++] = matchedLowPassPair(kF4, sampleRate);
    if (weighting == Weighting::A) sections_[count_++] = bilinearHighPassPair(kF2, kF3, sampleRate);
    const double scale = std::pow(10.0, -gainDb(kNormalisingHz) / 20.0);
    sections_[0].b0 *= scale;
    sections_[0].b1 *= scale;
    sections_[0].b2 *= scale;
}

void WeightingFilter::run(std::span<const double> input, std::span<double> output) {
    for (std::size_t i = 0; i < input.size(); ++i) {
        double x = input[i];
        for (std::size_t k = 0; k < count_; ++k) {
            const WeightingSection& s = sections_[k];
            Memory& m = memory_[k];
            const double y = s.b0 * x + s.b1 * m.in1 + s.b2 * m.in2 - s.a1 * m.out1 - s.a2 * m.out2;
            m.in2 = m.in1;
            m.in1 = x;
            m.out2 = m.out1;
            m.out1 = y;
            x = y;
        }
        output[i] = x;
    }
}

double WeightingFilter::gainDb(double frequencyHz) const {
    Complex response = 1.0;
    for (std::size_t k = 0; k < count_; ++k)
        response *= sectionResponse(sections_[k], frequencyHz, sampleRate_);
    return 20.0 * std::log10(std::abs(response));
}

}  // namespace ressona
