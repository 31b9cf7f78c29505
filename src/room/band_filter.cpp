#include "room/band_filter.h"

#include <cmath>
#include <complex>
#include <type_traits>

namespace ressona {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Above this share of the rate the upper edge makes the filter 8th-order.
constexpr double kHighOrderShareOfRate = 0.25;
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

// Runs `Count` sections in direct form I over input from its last sample to
// its first, for one filter (double) or two side by side (DoublePair, filter a
// in lane 0), and hands the sums of the squared outputs from the end to store
// with their positions. The previous
// output's term comes last, so that each sample waits for one product and one
// sum of the sample before. The states are locals, so they stay in registers
// (the stores could alias members).
template <typename Value, std::size_t Count, typename Store>
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
    std::array<Value, Count> b0, b2, a1, a2;
    std::array<Value, Count> in1{}, in2{}, out1{}, out2{};
    Value sum{};
    for (std::size_t k = 0; k < Count; ++k) {
        b0[k] = pick(a.sections[k].b0, b.sections[k].b0);
        b2[k] = pick(a.sections[k].b2, b.sections[k].b2);
        a1[k] = pick(a.sections[k].a1, b.sections[k].a1);
        a2[k] = pick(a.sections[k].a2, b.sections[k].a2);
    }
    for (std::size_t i = input.size(); i-- > 0;) {
        Value x = pick(input[i], input[i]);
        // Unrolled, so that the arrays become registers.
#pragma GCC unroll 4
        for (std::size_t k = 0; k < Count; ++k) {
            const Value y = (b0[k] * x + b2[k] * in2[k] - a2[k] * out2[k]) - a1[k] * out1[k];
            in2[k] = in1[k];
            in1[k] = x;
            out2[k] = out1[k];
            out1[k] = y;
            x = y;
        }
        sum += x * x;
        store(i, sum);
    }
}

template <typename Value, typename Store>
void runBackwards(const BandPassFilter& a, const BandPassFilter& b, std::span<const double> input,
                  Store store) {
    if (a.count == kMostSections) {
        runBackwards<Value, kMostSections>(a, b, input, store);
    } else {
        runBackwards<Value, 3>(a, b, input, store);
    }
}

// Runs `Count` sections forwards over one block of a stream, for one filter
// (double) or two side by side (DoublePair, filter a in lane 0), with the
// same operations in the same order as runBackwards; the memories are loaded
// into locals (registers) and stored back after the block. Returns the sum
// of the squared outputs.
template <typename Value, std::size_t Count>
Value runForwards(const BandPassFilter& a, const BandPassFilter& b, BandPassMemory& memoryA,
                  BandPassMemory& memoryB, std::span<const double> input) {
    auto pick = [](double first, double second) {
        if constexpr (std::is_same_v<Value, double>) {
            (void)second;
            return first;
        } else {
            return Value{first, second};
        }
    };
    std::array<Value, Count> b0, b2, a1, a2, in1, in2, out1, out2;
    for (std::size_t k = 0; k < Count; ++k) {
        b0[k] = pick(a.sections[k].b0, b.sections[k].b0);
        b2[k] = pick(a.sections[k].b2, b.sections[k].b2);
        a1[k] = pick(a.sections[k].a1, b.sections[k].a1);
        a2[k] = pick(a.sections[k].a2, b.sections[k].a2);
        in1[k] = pick(memoryA.in1[k], memoryB.in1[k]);
        in2[k] = pick(memoryA.in2[k], memoryB.in2[k]);
        out1[k] = pick(memoryA.out1[k], memoryB.out1[k]);
        out2[k] = pick(memoryA.out2[k], memoryB.out2[k]);
    }
    Value sum{};
    for (const double sample : input) {
        Value x = pick(sample, sample);
#pragma GCC unroll 4
        for (std::size_t k = 0; k < Count; ++k) {
            const Value y = (b0[k] * x + b2[k] * in2[k] - a2[k] * out2[k]) - a1[k] * out1[k];
            in2[k] = in1[k];
            in1[k] = x;
            out2[k] = out1[k];
            out1[k] = y;
            x = y;
        }
        sum += x * x;
    }
    auto lane = [](Value v, int i) {
        if constexpr (std::is_same_v<Value, double>) {
            (void)i;
            return v;
        } else {
            return v[i];
        }
    };
    for (std::size_t k = 0; k < Count; ++k) {
        for (const auto& [memory, i] : {std::pair{&memoryA, 0}, std::pair{&memoryB, 1}}) {
            memory->in1[k] = lane(in1[k], i);
            memory->in2[k] = lane(in2[k], i);
            memory->out1[k] = lane(out1[k], i);
            memory->out2[k] = lane(out2[k], i);
        }
    }
    return sum;
}

template <typename Value>
Value runForwards(const BandPassFilter& a, const BandPassFilter& b, BandPassMemory& memoryA,
                  BandPassMemory& memoryB, std::span<const double> input) {
    if (a.count == kMostSections) return runForwards<Value, kMostSections>(a, b, memoryA, memoryB, input);
    return runForwards<Value, 3>(a, b, memoryA, memoryB, input);
}

}  // namespace

BandPassFilter designBandPass(double lowerHz, double upperHz, double sampleRate) {
    // Prewarped edges, so that the digital -3 dB points fall on the band edges.
    const double bilinearK = 2.0 * sampleRate;
    const double w1 = bilinearK * std::tan(kPi * lowerHz / sampleRate);
    const double w2 = bilinearK * std::tan(kPi * upperHz / sampleRate);
    const double width = w2 - w1;
    const double centreSquared = w1 * w2;

    BandPassFilter filter;
    filter.count = upperHz > kHighOrderShareOfRate * sampleRate ? 4 : 3;
    const int order = static_cast<int>(filter.count);
    // The prototype's Butterworth poles in the upper half plane,
    // exp(j pi (2k + order - 1) / (2 order)). s -> (s^2 + w0^2) / (B s) turns a
    // real pole into one section and each pole of a complex pair into two.
    std::size_t next = 0;
    for (int k = 1; 2 * k <= order + 1; ++k) {
        const Complex p = std::polar(1.0, kPi * (2 * k + order - 1) / (2.0 * order));
        if (std::abs(p.imag()) < 1e-12) {
            filter.sections[next++] = bilinearSection(width, centreSquared, bilinearK);
            continue;
        }
        const Complex root = std::sqrt(p * p * width * width - 4.0 * centreSquared);
        for (const Complex pole : {(p * width + root) / 2.0, (p * width - root) / 2.0}) {
            // (s - q)(s - conj(q)) = s^2 - 2 Re(q) s + |q|^2
            filter.sections[next++] =
                bilinearSection(-2.0 * pole.real(), std::norm(pole), bilinearK);
        }
    }
    // Gain 1 at the digital centre, the frequency that prewarps to sqrt(w1 w2).
    const double centreHz = sampleRate / kPi * std::atan(std::sqrt(centreSquared) / bilinearK);
    for (std::size_t i = 0; i < filter.count; ++i) {
        BandPassSection& section = filter.sections[i];
        const double gain = sectionGain(section, centreHz, sampleRate);
        section.b0 /= gain;
        section.b2 /= gain;
    }
    return filter;
}

double bandPassGain(const BandPassFilter& filter, double frequencyHz, double sampleRate) {
    double gain = 1.0;
    for (std::size_t i = 0; i < filter.count; ++i)
        gain *= sectionGain(filter.sections[i], frequencyHz, sampleRate);
    return gain;
}

void filterBackwardsSummed(const BandPassFilter& filter, std::span<const double> input,
                           std::span<double> after) {
    double* out = after.data();
    out[input.size()] = 0.0;
    runBackwards<double>(filter, filter, input, [out](std::size_t i, double e) { out[i] = e; });
}

void filterPairBackwardsSummed(const BandPassFilter& filterA, const BandPassFilter& filterB,
                               std::span<const double> input, std::span<double> afterA,
                               std::span<double> afterB) {
    double* outA = afterA.data();
    double* outB = afterB.data();
    outA[input.size()] = 0.0;
    outB[input.size()] = 0.0;
    runBackwards<DoublePair>(filterA, filterB, input, [outA, outB](std::size_t i, DoublePair e) {
        outA[i] = e[0];
        outB[i] = e[1];
    });
}

}  // namespace ressona

namespace ressona {

double filterForwardSquares(const BandPassFilter& filter, BandPassMemory& memory,
                            std::span<const double> input) {
    // The second lane's memory is the same object: stored last, with the same values.
    return runForwards<double>(filter, filter, memory, memory, input);
}

void filterPairForwardSquares(const BandPassFilter& filterA, const BandPassFilter& filterB,
                              BandPassMemory& memoryA, BandPassMemory& memoryB,
                              std::span<const double> input, double& squaresA, double& squaresB) {
    const DoublePair sums = runForwards<DoublePair>(filterA, filterB, memoryA, memoryB, input);
    squaresA = sums[0];
    squaresB = sums[1];
}

}  // namespace ressona
