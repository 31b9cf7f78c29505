#include "platform/sim/response_convolution.h"

#include <cstring>

namespace ressona {

namespace {

// Two doubles per register; every lane sums its own output's products in
// order of j, exactly as the plain loop at the end does.
using DoublePair = double __attribute__((vector_size(16)));

DoublePair loadPair(const double* p) {
    DoublePair value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

void storePair(double* p, DoublePair value) {
    std::memcpy(p, &value, sizeof value);
}

}  // namespace

void convolveReversed(std::span<const double> reversed, std::span<const double> played,
                      std::span<double> out) {
    const std::size_t taps = reversed.size();
    const std::size_t count = out.size();
    const double* h = reversed.data();
    const double* x = played.data();
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        DoublePair s0{}, s1{}, s2{}, s3{};
        const double* window = x + i;
        for (std::size_t j = 0; j < taps; ++j) {
            const DoublePair weight = {h[j], h[j]};
            s0 += weight * loadPair(window + j);
            s1 += weight * loadPair(window + j + 2);
            s2 += weight * loadPair(window + j + 4);
            s3 += weight * loadPair(window + j + 6);
        }
        storePair(&out[i], s0);
        storePair(&out[i + 2], s1);
        storePair(&out[i + 4], s2);
        storePair(&out[i + 6], s3);
    }
    for (; i < count; ++i) {
        double sum = 0.0;
        for (std::size_t j = 0; j < taps; ++j) sum += h[j] * x[i + j];
        out[i] = sum;
    }
}

}  // namespace ressona
