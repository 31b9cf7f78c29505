#pragma once
// Fractional-octave smoothing: the magnitude spectrum is cut into bands whose
// edges grow by 4/3 from one to the next, and every bin of a band takes the
// band's arithmetic mean. Narrow (one bin) at low frequencies, wide at high ones.

#include "signals/one_based.h"

namespace ressona {

struct SampleArrays;

inline constexpr float kBandRatio = 1.3333334f;  // 4/3 as a 32-bit float

// Smooths positions 2..M of spectrum in place (M = arrays.binCount, position
// k at k * arrays.binWidth Hz); position 1 is neither read nor changed. A
// spectrum shorter than M is smoothed over its own length.
void smoothSpectrum(const SampleArrays& arrays, OneBasedSpan<float> spectrum);

}  // namespace ressona
