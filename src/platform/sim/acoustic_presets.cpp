#include "platform/sim/acoustic_presets.h"

#include <algorithm>
#include <cmath>

namespace ressona {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRoomLengthSeconds = 0.045;
constexpr double kDirectDelaySeconds = 0.001;
constexpr double kDirectGain = 0.6;
constexpr double kRoomNoiseRms = 6.0;

struct Reflection {
    double delaySeconds;
    double gain;  // relative to the direct sound
};
constexpr Reflection kReflections[] = {
    {0.0034, 0.40}, {0.0061, 0.28}, {0.0093, 0.20}, {0.0138, 0.13}, {0.0195, 0.08},
};

// A second-order section from the usual bilinear-transform designs.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    double step(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

Biquad highPass(double frequency, double q, double rate) {
    const double w = 2.0 * kPi * frequency / rate;
    const double alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    const double c = std::cos(w);
    Biquad f;
    f.b0 = (1.0 + c) / 2.0 / a0;
    f.b1 = -(1.0 + c) / a0;
    f.b2 = (1.0 + c) / 2.0 / a0;
    f.a1 = -2.0 * c / a0;
    f.a2 = (1.0 - alpha) / a0;
    return f;
}

Biquad lowPass(double frequency, double q, double rate) {
    const double w = 2.0 * kPi * frequency / rate;
    const double alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    const double c = std::cos(w);
    Biquad f;
    f.b0 = (1.0 - c) / 2.0 / a0;
    f.b1 = (1.0 - c) / a0;
    f.b2 = (1.0 - c) / 2.0 / a0;
    f.a1 = -2.0 * c / a0;
    f.a2 = (1.0 - alpha) / a0;
    return f;
}

std::vector<double> loudspeakerResponse(std::size_t length, double rate) {
    Biquad hp = highPass(100.0, 0.9, rate);
    Biquad lp = lowPass(std::min(9000.0, 0.45 * rate), 0.7, rate);
    std::vector<double> h(length);
    for (std::size_t n = 0; n < length; ++n) h[n] = lp.step(hp.step(n == 0 ? 1.0 : 0.0));
    return h;
}

std::vector<double> roomResponse(std::uint32_t sampleRate) {
    const double rate = sampleRate;
    const auto length = static_cast<std::size_t>(std::lround(kRoomLengthSeconds * rate));
    const std::vector<double> speaker = loudspeakerResponse(length, rate);
    std::vector<double> h(length, 0.0);
    auto add = [&](double delaySeconds, double gain) {
        const auto delay = static_cast<std::size_t>(std::lround(delaySeconds * rate));
        for (std::size_t n = delay; n < length; ++n) h[n] += gain * speaker[n - delay];
    };
    add(kDirectDelaySeconds, kDirectGain);
    for (const Reflection& reflection : kReflections)
        add(kDirectDelaySeconds + reflection.delaySeconds, kDirectGain * reflection.gain);
    return h;
}

}  // namespace

std::vector<double> presetImpulseResponse(SimPreset preset, std::uint32_t sampleRate) {
    if (preset == SimPreset::kRoom && sampleRate > 0) return roomResponse(sampleRate);
    return {1.0};
}

SimNonlinearity presetNonlinearity(SimPreset preset) {
    if (preset == SimPreset::kDistortion) return {0.02, 0.01};
    return {};
}

double presetNoiseRms(SimPreset preset) {
    return preset == SimPreset::kRoom ? kRoomNoiseRms : 0.0;
}

std::string_view presetName(SimPreset preset) {
    switch (preset) {
        case SimPreset::kRoom:
            return "room";
        case SimPreset::kDistortion:
            return "distortion";
        case SimPreset::kLoopback:
            break;
    }
    return "loopback";
}

}  // namespace ressona
