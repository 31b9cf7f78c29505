#pragma once
// The minimum phase a magnitude response implies, and what the measured
// response has beyond it (the excess phase: delay, and the all-pass part a
// correction filter cannot take out).
//
// Method: the real cepstrum. c = IFFT(ln |H|) over the whole circle; folding
// it onto positive times (c(0), 2 c(n) for 0 < n < P/2, c(P/2)) and
// transforming back gives ln H_min, whose imaginary part is the minimum phase,
// already unwrapped. Its group delay is Re FFT(n c_min(n)), exact, with no
// differences taken. Limits: a magnitude of 0 has no logarithm, so levels
// more than kMinimumPhaseFloorDb below the highest are raised to that floor
// (the phase near a deep notch or outside the measured band is then only the
// floor's); the cepstrum of P points aliases what is longer than P/2, so a
// response that still rings at P/2 gets a slightly wrong minimum phase.

#include <complex>
#include <span>
#include <vector>

namespace ressona {

inline constexpr double kMinimumPhaseFloorDb = 120.0;

struct MinimumPhase {
    std::vector<double> phaseRad;           // k = 0..P/2, unwrapped, phase of e^(-i w t) convention
    std::vector<double> groupDelaySamples;  // k = 0..P/2
};

// From |H| at k = 0..P/2 (P = 2 x (size - 1) a power of two from 4 to 2^21);
// empty for another size.
MinimumPhase minimumPhaseOfMagnitude(std::span<const double> magnitude);

// The excess phase arg(H) - phase_min, in degrees from -180 to +180, at each
// position (sizes equal, else empty).
std::vector<double> excessPhaseDeg(std::span<const std::complex<double>> response,
                                   std::span<const double> minimumPhaseRad);

}  // namespace ressona
