#include "signals/generators.h"

#include <cassert>
#include <cmath>

#include "signals/sample_arrays.h"
#include "state/sample_types.h"

namespace ressona {

namespace {

constexpr std::int32_t kPulseStart = 11;  // the pulse sits ten samples after the pass starts

// The tone's amplitude in codes: a quarter of the distance from rest to the
// active level, (60 - 128) / 4 in integer division.
constexpr float kToneAmplitude = static_cast<float>((kDriveCode - kSilenceCode) / 4);  // -17

// Writes one sample code to both copies of the excitation.
class PassWriter {
public:
    PassWriter(std::span<std::uint8_t> playBuffer, SampleArrays& arrays)
        : play_(playBuffer), arrays_(arrays) {
        assert(playBuffer.size() >= static_cast<std::size_t>(arrays.excitationLength));
        arrays.mlsActive = false;
    }
    std::int32_t length() const { return arrays_.excitationLength; }
    void write(std::int32_t i, std::uint8_t code) {
        play_[i] = code;
        arrays_.excitationBuffer[i] = code;
    }

private:
    OneBasedSpan<std::uint8_t> play_;
    SampleArrays& arrays_;
};

// Radians per sample of a tone of hz at the analysis rate, as a 32-bit float.
float radiansPerSample(float hz, float sampleRate) { return hz * kTwoPi / sampleRate; }

// The code of a tone sample: v = nearest(A sin(phase) + A) runs from -34 to 0
// and is placed below the rest level, so the tone swings from rest towards the
// active level like every other signal.
std::uint8_t toneCode(float phase) {
    const long v = std::lround(kToneAmplitude * std::sin(phase) + kToneAmplitude);
    return static_cast<std::uint8_t>(kSilenceCode + v);
}

}  // namespace

int generatePulse(std::span<std::uint8_t> playBuffer, SampleArrays& arrays) {
    PassWriter pass(playBuffer, arrays);
    const std::int32_t pulseEnd = kPulseStart + arrays.pulseWidth - 1;
    for (std::int32_t i = 1; i <= pass.length(); ++i) {
        const bool inPulse = i >= kPulseStart && i <= pulseEnd;
        pass.write(i, inPulse ? kDriveCode : kSilenceCode);
    }
    return 0;
}

int generateSquareWave(std::span<std::uint8_t> playBuffer, SampleArrays& arrays,
                       std::uint32_t toneHz) {
    PassWriter pass(playBuffer, arrays);
    const float w = radiansPerSample(static_cast<float>(toneHz), arrays.analysisSampleRate);
    for (std::int32_t i = 1; i <= pass.length(); ++i) {
        const float phase = static_cast<float>(i) * w;
        pass.write(i, std::sin(phase) > 0.0f ? kSilenceCode : kDriveCode);
    }
    return 0;
}

int generateSineWave(std::span<std::uint8_t> playBuffer, SampleArrays& arrays,
                     std::uint32_t toneHz) {
    PassWriter pass(playBuffer, arrays);
    const float w = radiansPerSample(static_cast<float>(toneHz), arrays.analysisSampleRate);
    for (std::int32_t i = 1; i <= pass.length(); ++i) {
        pass.write(i, toneCode(static_cast<float>(i) * w));
    }
    return 0;
}

int generateSweep(std::span<std::uint8_t> playBuffer, SampleArrays& arrays) {
    PassWriter pass(playBuffer, arrays);
    const float rate = arrays.analysisSampleRate;
    const float fStart = static_cast<float>(arrays.pointCount) / rate;
    const float fStop = 0.5f * rate;
    const auto passLength = static_cast<float>(pass.length());
    for (std::int32_t i = 1; i <= pass.length(); ++i) {
        // The phase is i * w(i), w taken at sample i, not accumulated.
        const float t = static_cast<float>(i - 1) / passLength;
        const float f = fStart + t * (fStop - fStart);
        const float w = radiansPerSample(f, rate);
        pass.write(i, toneCode(static_cast<float>(i) * w));
    }
    return 0;
}

int generateWhiteNoise(std::span<std::uint8_t> playBuffer, SampleArrays& arrays, TimeOfDay now) {
    PassWriter pass(playBuffer, arrays);
    arrays.noise.seed(static_cast<std::uint32_t>(now.seconds + now.hundredths));
    constexpr float kSwing = static_cast<float>(static_cast<std::int8_t>(kDriveCode - kSilenceCode));
    constexpr float kRest = static_cast<float>(static_cast<std::int8_t>(kSilenceCode));  // -128
    for (std::int32_t i = 1; i <= pass.length(); ++i) {
        // trunc(-68 r - 128) lies in -195..-128; its low byte is the code 61..128.
        const auto v = static_cast<std::int32_t>(kSwing * arrays.noise.next() + kRest);
        pass.write(i, static_cast<std::uint8_t>(v & 0xFF));
    }
    return 0;
}

int generateSilence(std::span<std::uint8_t> playBuffer, SampleArrays& arrays) {
    PassWriter pass(playBuffer, arrays);
    for (std::int32_t i = 1; i <= pass.length(); ++i) pass.write(i, kSilenceCode);
    return 0;
}

}  // namespace ressona
