#pragma once
// The test-signal generators. Each writes one pass, samples 1..2N, both into
// the playback buffer the output device plays and into excitationBuffer, and
// clears mlsActive. Codes lie between the rest level kSilenceCode (128) and
// the active level kDriveCode (60): every signal swings from rest towards the
// active level. None can fail; each returns 0.

#include <cstdint>
#include <span>

#include "platform/clock/clock.h"

namespace ressona {

struct SampleArrays;

// A single sample at the active level at sample 11, rest elsewhere.
int generatePulse(std::span<std::uint8_t> playBuffer, SampleArrays& arrays);
// Rest while sin(i*w) > 0, active otherwise; w = 2*pi*toneHz/rate.
int generateSquareWave(std::span<std::uint8_t> playBuffer, SampleArrays& arrays,
                       std::uint32_t toneHz);
// A sine of 17 codes amplitude swinging from rest (128) down to 94.
int generateSineWave(std::span<std::uint8_t> playBuffer, SampleArrays& arrays,
                     std::uint32_t toneHz);
// A linear sweep from N/rate Hz to rate/2 over the pass, same levels as the sine.
int generateSweep(std::span<std::uint8_t> playBuffer, SampleArrays& arrays);
// Uniform codes 61..128, seeded from the time of day's seconds + hundredths.
int generateWhiteNoise(std::span<std::uint8_t> playBuffer, SampleArrays& arrays, TimeOfDay now);
// Rest level throughout.
int generateSilence(std::span<std::uint8_t> playBuffer, SampleArrays& arrays);

}  // namespace ressona
