#pragma once
// Impulse responses as WAV files, through libsndfile: a mono 32-bit float file
// written at the measurement's rate, and the first channel of any PCM or float
// WAV read back as numbers in full-scale units (1.0 is full scale).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ressona {

inline constexpr std::uint32_t kWavLowestRate = 8000;
inline constexpr std::uint32_t kWavHighestRate = 192000;

struct WavSignal {
    std::uint32_t sampleRate = 0;
    std::vector<double> samples;  // the first channel, 1.0 = full scale
};

// Writes samples (full scale 1.0) as a mono 32-bit float WAV at sampleRate Hz to
// path, replacing what is there. Empty when written, else what went wrong.
std::string writeFloatWav(const std::string& path, std::uint32_t sampleRate,
                          std::span<const float> samples);

// Reads the first channel of a WAV file of 16, 24 or 32-bit integer or 32/64-bit
// float samples at kWavLowestRate..kWavHighestRate Hz, with at least one sample.
// Empty when read, else a one-line reason (and signal left empty).
std::string readWav(const std::string& path, WavSignal& signal);

}  // namespace ressona
