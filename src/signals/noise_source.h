#pragma once
// The seedable uniform generator behind the White Noise excitation. Owned by
// the program state (never a global), so every instance has its own sequence.

#include <cstdint>
#include <random>

namespace ressona {

class NoiseSource {
public:
    void seed(std::uint32_t value) { engine_.seed(value); }
    // A value uniform in [0, 1).
    float next() {
        // 24 random bits map exactly onto the floats of [0, 1) with spacing 2^-24.
        return static_cast<float>(engine_() >> 8) * (1.0f / 16777216.0f);
    }

private:
    std::mt19937 engine_{0u};
};

}  // namespace ressona
