#pragma once
// The exponential sine sweep: x(n) = a sin(2 pi f1 Ls (e^(n/Ls) - 1)) over S
// samples, Ls = S / ln(f2/f1) samples, with raised-cosine fades at both ends,
// played as signed 16-bit samples. Its frequency rises by the same factor in
// equal times, so the k-th harmonic of the system under test sounds Ls ln(k)
// samples before the fundamental reaches the same frequency (A. Farina,
// "Simultaneous measurement of impulse response and distortion with a
// swept-sine technique", AES 108th Convention, 2000).

#include <cstdint>
#include <string>
#include <vector>

namespace ressona {

inline constexpr std::uint32_t kSweepSamplesLowest = 1u << 14;
inline constexpr std::uint32_t kSweepSamplesHighest = 1u << 20;
inline constexpr double kSweepHighestShareOfRate = 0.45;  // --sweep-to at most this x rate
inline constexpr double kSweepFullScale = 32767.0;        // 16-bit peak at 0 dBFS
inline constexpr int kHighestHarmonic = 5;                // harmonics 2..5 are separated

struct LogSweepSettings {
    double fromHz = 20.0;
    double toHz = 20000.0;
    std::uint32_t samples = 1u << 16;  // S, a power of two
    double levelDbfs = -6.0;           // peak level, 0 is full scale
    std::uint32_t sampleRate = 48000;
};

struct LogSweep {
    LogSweepSettings settings;
    double rateSamples = 0.0;  // Ls: samples per factor e in frequency
    double amplitude = 0.0;    // a: the peak in 16-bit counts
    std::uint32_t fadeInSamples = 0;
    std::uint32_t fadeOutSamples = 0;
    std::vector<std::int16_t> played;  // S samples
};

// Empty when the settings make a sweep; otherwise why not, for people.
std::string checkLogSweepSettings(const LogSweepSettings& settings);

// The sweep for settings that checkLogSweepSettings accepts.
LogSweep makeLogSweep(const LogSweepSettings& settings);

// Ls = S / ln(f2/f1): the samples in which the frequency rises by a factor e.
double sweepRateSamples(const LogSweepSettings& settings);

// How far before the fundamental's impulse response harmonic k's lies: Ls ln(k) samples.
double harmonicLeadSamples(const LogSweep& sweep, int harmonic);

}  // namespace ressona
