#pragma once
// Several measurements of one system (a listening area, not a point) as one
// response, all on the same grid: k x rate / P, k = 0..P/2.
//
// - rms: the magnitude is the root of the mean of |H|^2 (the power average
//   a diffuse field calls for; a notch at one position barely shows);
// - db:  the magnitude is the mean of the levels in dB (the geometric mean);
// - vector: the mean of the complex values H, which is the mean of the
//   impulse responses: what is not in time across the positions cancels.
// The rms and db averages take the mean of the phases, each unwrapped along
// frequency, which is only meaningful once the delays are aligned.
//
// Alignment against the first response: the delay is the peak of the cross
// correlation of the impulse responses, refined between samples by a
// parabola through the peak and its neighbours, and taken out as a linear
// phase; the level, when asked, is the median over the positions where both
// have energy of the difference in dB.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "response/double_transform.h"

namespace ressona {

enum class AverageKind : std::uint8_t { Rms, Db, Vector };

// The kind named "rms", "db" or "vector"; none for another name.
std::optional<AverageKind> averageKindNamed(std::string_view name);

// How far `other` lags `first`, in samples (negative: it leads), from the
// cross correlation of their impulse responses. 0 for spectra of different sizes.
double delayAgainst(const Spectrum& first, const Spectrum& other);

// Advances the response by `samples` (a linear phase of +2 pi k samples / P).
void removeDelay(Spectrum& response, double samples);

// How far `other` lies above `first`, in dB: the median of the differences
// at the positions where both lie within 60 dB of their highest; 0 where none do.
double levelAbove(const Spectrum& first, const Spectrum& other);

// Scales the response by -db decibels.
void removeLevel(Spectrum& response, double db);

// The average of responses of one size (at least one); empty when the sizes differ.
Spectrum averageResponses(std::span<const Spectrum> responses, AverageKind kind);

}  // namespace ressona
