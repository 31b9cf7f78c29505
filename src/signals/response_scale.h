#pragma once
// Where a spectrum position lies in frequency and how its level in decibels is
// formed: the one place both the frequency plot and the exported responses
// take them from, so that a curve written to a file is the curve drawn.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace ressona {

// Offset added to the relative magnitude before the logarithm, so that a zero
// magnitude gives -120 dB instead of minus infinity.
inline constexpr float kLevelFloor = 0.000001f;
// The full-scale count: a pulse of 65536 counts (a magnitude of 65536 / N) is 0 dB.
inline constexpr float kLevelReference = 65536.0f;

// The frequency in Hz at which spectrum position k (1..M) is drawn and
// exported: (k - 1) x binWidth, since position 1 holds the transform's
// zero-frequency value.
inline float positionFrequency(std::size_t position, float binWidth) {
    return static_cast<float>(position - 1) * binWidth;
}

// 20 log10(N x magnitude / 65536 + 0.000001): the level in dB of a linear
// magnitude that carries the transform's 1/N, for a transform of n points.
inline float levelDecibels(float magnitude, float n) {
    return 20.0f * std::log10(n * magnitude / kLevelReference + kLevelFloor);
}

// The linear magnitude whose level is `decibels` (the inverse of
// levelDecibels), 0 for levels at or below the -120 dB floor, and at most the
// largest float.
inline float magnitudeOfLevel(double decibels, float n) {
    const double relative = std::pow(10.0, decibels / 20.0) - static_cast<double>(kLevelFloor);
    if (!(relative > 0.0)) return 0.0f;
    return static_cast<float>(
        std::min(relative * kLevelReference / n, double{std::numeric_limits<float>::max()}));
}

}  // namespace ressona
