#include "room/band_filter.h"

#include <cmath>
#include <complex>
#include <type_traits>

namespace ressona {

namespace {

constexpr double kPi = 3.14159265358979323846;
using Complex = std::complex<double>;

// One analog section k s / (s^2 + c1 s + c0) made digital by s = K (1 - 1/z) / (1 + 1/z).
BandPassSection bilinearSection(double c1, double c0, double bilinearK) {
    const double k2 = bilinearK * bilinearK;
    const double d0 = k2 + c1 * bilinearK + c0;
    BandPassSection section;
    section.b0 = bilinearK / d0;
    section.b2 = -section.b0;
    section.a1 = (2.0 * c0 - 2.0 * k2) / d0;
    section.a2 = (k2 - c1 * bilinearK + c0) / d0;
    return section;
}

double sectionGain(const BandPassSection& s, double frequencyHz, double sampleRate) {
    const Complex z1 = std::polar(1.0, -2.0 * kPi * frequencyHz / sampleRate);  // 1/z
    const Complex z2 = z1 * z1;
    return std::abs((s.b0 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2));
}

// Two doubles in one vector register: two filters run side by side, each
// lane doing exactly the single filter's operations.
using DoublePair = double __attribute__((vector_size(16)));

// Runs the three sections in direct form I over input from its last sample to
// its first, for one filter (double) or two side by side (DoublePair, filter a
// in lane 0), and hands each output with its position to store. The previous
// output's term comes last, so that each sample waits for one product and one
// sum of the sample before. The states are locals, so they stay in registers
// (the stores could alias members).
template <typename Value, typename Store>
void runBackwards(const BandPassFilter& a, const BandPassFilter& b, std::span<const double> input,
                  Store store) {
    auto pick = [](double first, double second) {
        if constexpr (std::is_same_v<Value, double>) {
            (void)second;
            return first;
        } else {
            return Value{first, second};
        }
    };
    const BandPassSection* sa = a.sections.data();
    const BandPassSection* sb = b.sections.data();
    const Value b00 = pick(sa[0].b0, sb[0].b0), b20 = pick(sa[0].b2, sb[0].b2);
    const Value a10 = pick(sa[0].a1, sb[0].a1), a20 = pick(sa[0].a2, sb[0].a2);
    const Value b01 = pick(sa[1].b0, sb[1].b0), b21 = pick(sa[1].b2, sb[1].b2);
    const Value a11 = pick(sa[1].a1, sb[1].a1), a21 = pick(sa[1].a2, sb[1].a2);
    const Value b02 = pick(sa[2].b0, sb[2].b0), b22 = pick(sa[2].b2, sb[2].b2);
    const Value a12 = pick(sa[2].a1, sb[2].a1), a22 = pick(sa[2].a2, sb[2].a2);
    Value x1{}, x2{}, u1{}, u2{}, v1{}, v2{}, y1{}, y2{};
    for (std::size_t i = input.size(); i-- > 0;) {
        const Value x = pick(input[i], input[i]);
        const Value u = (b00 * x + b20 * x2 - a20 * u2) - a10 * u1;
        const Value v = (b01 * u + b21 * u2 - a21 * v2) - a11 * v1;
        const Value y = (b02 * v + b22 * v2 - a22 * y2) - a12 * y1;
        x2 = x1;
        x1 = x;
        u2 = u1;
        u1 = u;
        v2 = v1;
        v1 = v;
        y2 = y1;
        y1 = y;
        store(i, y * y);
    }
}

}  // namespace

BandPassFilter designBandPass(double lowerHz, double upperHz, double sampleRate) {
    // Prewarped edges, so that the digital -3 dB points fall on the band edges.
    const double bilinearK = 2.0 * sampleRate;
    const double w1 = bilinearK * std::tan(kPi * lowerHz / sampleRate);
    const double w2 = bilinearK * std::tan(kPi * upperHz / sampleRate);
    const double width = w2 - w1;
    const double centreSquared = w1 * w2;

    // Butterworth poles of the 3rd-order prototype: -1 and -1/2 +- j sqrt(3)/2.
    // s -> (s^2 + w0^2) / (B s) turns the real pole into one section and each
    // pole of the complex pair into two poles of the band-pass.
    BandPassFilter filter;
    filter.sections[0] = bilinearSection(width, centreSquared, bilinearK);
    const Complex p(-0.5, std::sqrt(3.0) / 2.0);
    const Complex root = std::sqrt(p * p * width * width - 4.0 * centreSquared);
    const Complex poles[2] = {(p * width + root) / 2.0, (p * width - root) / 2.0};
    for (int i = 0; i < 2; ++i) {
        // (s - q)(s - conj(q)) = s^2 - 2 Re(q) s + |q|^2
        filter.sections[static_cast<std::size_t>(i) + 1] =
            bilinearSection(-2.0 * poles[i].real(), std::norm(poles[i]), bilinearK);
    }
    // Gain 1 at the digital centre, the frequency that prewarps to sqrt(w1 w2).
    const double centreHz = sampleRate / kPi * std::atan(std::sqrt(centreSquared) / bilinearK);
    for (BandPassSection& section : filter.sections) {
        const double gain = sectionGain(section, centreHz, sampleRate);
        section.b0 /= gain;
        section.b2 /= gain;
    }
    return filter;
}

double bandPassGain(const BandPassFilter& filter, double frequencyHz, double sampleRate) {
    double gain = 1.0;
    for (const BandPassSection& section : filter.sections)
        gain *= sectionGain(section, frequencyHz, sampleRate);
    return gain;
}

void filterBackwardsSquared(const BandPassFilter& filter, std::span<const double> input,
                            std::span<double> energy) {
    double* out = energy.data();
    runBackwards<double>(filter, filter, input, [out](std::size_t i, double e) { out[i] = e; });
}

void filterPairBackwardsSquared(const BandPassFilter& filterA, const BandPassFilter& filterB,
                                std::span<const double> input, std::span<double> energyA,
                                std::span<double> energyB) {
    double* outA = energyA.data();
    double* outB = energyB.data();
    runBackwards<DoublePair>(filterA, filterB, input, [outA, outB](std::size_t i, DoublePair e) {
        outA[i] = e[0];
        outB[i] = e[1];
    });
}

}  // namespace ressona
