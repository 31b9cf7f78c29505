#include "platform/sim/acoustic_presets.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace ressona {

namespace {

constexpr double kPi = 3.14159265358979323846;
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

// Longer at low frequencies, as in most rooms, and short enough that the
// longest measurement (16384 samples at 48000 Hz, 0.34 s) holds the decay
// down to its noise with room to spare.
constexpr OctaveReverberation kRoomReverberation[] = {
    {63, 0.24},   {125, 0.22},  {250, 0.20},  {500, 0.18},
    {1000, 0.17}, {2000, 0.16}, {4000, 0.14}, {8000, 0.12},
};
// A hall: ten times the room's times and more, longest at the lowest band.
constexpr OctaveReverberation kHallReverberation[] = {
    {63, 1.7},   {125, 1.6},  {250, 1.4},  {500, 1.3},
    {1000, 1.2}, {2000, 1.1}, {4000, 0.9}, {8000, 0.7},
};
// The first-order low-pass's corner.
constexpr double kLowPassHz = 1000.0;
constexpr double kLowPassTailShare = 1e-9;  // its response ends this far below its start
constexpr double kReverberantToDirect = 1.0;  // energy ratio in every band
constexpr double kToneSpacingHz = 50.0;
constexpr double kTailDepthDb = 90.0;  // where the response ends
constexpr double kHighestToneShareOfRate = 0.45;

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

Biquad peaking(const SimRoomMode& mode, double rate) {
    const double a = std::pow(10.0, mode.gainDb / 40.0);
    const double w = 2.0 * kPi * mode.frequencyHz / rate;
    const double alpha = std::sin(w) / (2.0 * mode.q);
    const double a0 = 1.0 + alpha / a;
    Biquad f;
    f.b0 = (1.0 + alpha * a) / a0;
    f.b1 = -2.0 * std::cos(w) / a0;
    f.b2 = (1.0 - alpha * a) / a0;
    f.a1 = f.b1;
    f.a2 = (1.0 - alpha / a) / a0;
    return f;
}

constexpr SimRoomMode kRoomModes[] = {{45, 8, 5}, {90, 6, 4}, {150, -6, 3}, {210, 4, 6}};

// The modes' impulse response: until a stretch of 1024 samples stays 120 dB
// below its start (at most 4 s).
std::vector<double> modesResponse(std::uint32_t sampleRate) {
    std::vector<Biquad> modes;
    for (const SimRoomMode& mode : kRoomModes) modes.push_back(peaking(mode, sampleRate));
    std::vector<double> h;
    std::size_t quiet = 0;
    for (std::size_t n = 0; n < 4 * static_cast<std::size_t>(sampleRate) && quiet < 1024; ++n) {
        double y = n == 0 ? kModesGain : 0.0;
        for (Biquad& mode : modes) y = mode.step(y);
        h.push_back(y);
        quiet = std::fabs(y) < kModesGain * 1e-6 ? quiet + 1 : 0;
    }
    h.resize(h.size() - quiet);
    return h;
}

// Adds the reverberation to h from position `start` on: per octave band
// (base-ten mid-band frequency 1000 x 10^(0.3 x)), K tones across the band,
// tone i at the band's lower edge + (i + 1/2) W / K with Schroeder's phase
// -pi i^2 / K (a flat envelope), amplitudes such that the band's energy is
// kReverberantToDirect times the direct sound's in that band.
void addReverberation(std::vector<double>& h, std::size_t start, double rate,
                      std::span<const OctaveReverberation> times) {
    const double bandOffsets[] = {-4, -3, -2, -1, 0, 1, 2, 3};
    const double halfBand = std::pow(10.0, 0.15);
    const double directEnergy = kDirectGain * kDirectGain;
    for (std::size_t b = 0; b < times.size(); ++b) {
        const double centre = 1000.0 * std::pow(10.0, 0.3 * bandOffsets[b]);
        const double lower = centre / halfBand;
        const double width = centre * halfBand - lower;
        const int tones = std::max(1, static_cast<int>(std::lround(width / kToneSpacingHz)));
        const double spacing = width / tones;
        // Amplitude decays at k per second; energy at 2k. One tone's energy is
        // about A^2 / 2 x rate / 2k, the direct sound's in the band 2 W / rate of its own.
        const double k = 3.0 * std::log(10.0) / times[b].seconds;
        const double bandEnergy = kReverberantToDirect * directEnergy * 2.0 * width / rate;
        const double amplitude = std::sqrt(bandEnergy / tones * 4.0 * k / rate);
        const std::complex<double> decay = std::exp(-k / rate);
        for (int i = 0; i < tones; ++i) {
            const double frequency = lower + (i + 0.5) * spacing;
            if (frequency >= kHighestToneShareOfRate * rate) break;
            const double phase = -kPi * i * i / tones;
            const std::complex<double> step = decay * std::polar(1.0, 2.0 * kPi * frequency / rate);
            std::complex<double> tone = std::polar(amplitude, phase);
            for (std::size_t n = start; n < h.size(); ++n) {
                h[n] += tone.real();
                tone *= step;
            }
        }
    }
}

// The room heard through the loudspeaker: the direct sound, the reflections
// and the reverberation as taps, then the loudspeaker's two filters over them.
std::vector<double> roomResponse(std::uint32_t sampleRate,
                                 std::span<const OctaveReverberation> times) {
    const double rate = sampleRate;
    double longest = 0.0;
    for (const OctaveReverberation& band : times)
        longest = std::max(longest, band.seconds);
    const auto direct = static_cast<std::size_t>(std::lround(kDirectDelaySeconds * rate));
    const auto length =
        direct + static_cast<std::size_t>(std::lround(longest * kTailDepthDb / 60.0 * rate));
    std::vector<double> taps(length, 0.0);
    taps[direct] += kDirectGain;
    for (const Reflection& reflection : kReflections) {
        const auto delay = static_cast<std::size_t>(
            std::lround((kDirectDelaySeconds + reflection.delaySeconds) * rate));
        taps[delay] += kDirectGain * reflection.gain;
    }
    addReverberation(taps, direct, rate, times);

    Biquad hp = highPass(100.0, 0.9, rate);
    Biquad lp = lowPass(std::min(9000.0, 0.45 * rate), 0.7, rate);
    std::vector<double> h(length);
    for (std::size_t n = 0; n < length; ++n) h[n] = lp.step(hp.step(taps[n]));
    return h;
}

// h(n) = (1 - a) a^n, a = e^(-2 pi fc / rate): the impulse-invariant
// first-order low-pass, 1 at 0 Hz.
std::vector<double> lowPassResponse(std::uint32_t sampleRate) {
    const double a = std::exp(-2.0 * kPi * kLowPassHz / sampleRate);
    std::vector<double> h;
    for (double tap = 1.0 - a; tap > kLowPassTailShare * (1.0 - a); tap *= a) h.push_back(tap);
    return h;
}

}  // namespace

std::vector<double> presetImpulseResponse(SimPreset preset, std::uint32_t sampleRate) {
    if (sampleRate == 0) return {1.0};
    switch (preset) {
        case SimPreset::kRoom:
        case SimPreset::kHall:
            return roomResponse(sampleRate, presetReverberationTimes(preset));
        case SimPreset::kModes:
            return modesResponse(sampleRate);
        case SimPreset::kLowPass:
            return lowPassResponse(sampleRate);
        default:
            return {1.0};
    }
}

std::vector<double> reverberantResponse(std::uint32_t sampleRate,
                                        std::span<const OctaveReverberation> times) {
    if (sampleRate == 0) return {1.0};
    return roomResponse(sampleRate,
                        times.first(std::min(times.size(), std::size(kRoomReverberation))));
}

std::span<const SimRoomMode> presetRoomModes() {
    return kRoomModes;
}

std::span<const OctaveReverberation> presetReverberationTimes(SimPreset preset) {
    if (preset == SimPreset::kRoom) return kRoomReverberation;
    if (preset == SimPreset::kHall) return kHallReverberation;
    return {};
}

double lowPassCornerHz() {
    return kLowPassHz;
}

SimNonlinearity presetNonlinearity(SimPreset preset) {
    if (preset == SimPreset::kDistortion) return {0.02, 0.01};
    return {};
}

double presetNoiseRms(SimPreset preset) {
    return preset == SimPreset::kRoom || preset == SimPreset::kHall ? kRoomNoiseRms : 0.0;
}

std::string_view presetName(SimPreset preset) {
    switch (preset) {
        case SimPreset::kRoom:
            return "room";
        case SimPreset::kDistortion:
            return "distortion";
        case SimPreset::kModes:
            return "modes";
        case SimPreset::kHall:
            return "hall";
        case SimPreset::kLowPass:
            return "filter";
        case SimPreset::kLoopback:
            break;
    }
    return "loopback";
}

}  // namespace ressona
