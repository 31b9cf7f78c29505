#pragma once
// A curve known at a few rising frequencies, read at any others: linear in the
// logarithm of frequency between its points, held at its first and last value
// outside them (and at its first value at 0 Hz and below).

#include <span>
#include <vector>

namespace ressona {

// out[i] = the curve (curveHz rising and above 0, curveValues one per
// frequency, at least one point) at frequency atHz[i]; out has atHz's size.
void interpolateLogFrequency(std::span<const double> curveHz, std::span<const double> curveValues,
                             std::span<const double> atHz, std::span<double> out);

// The phases in degrees with whole turns added so that no step from one point
// to the next exceeds half a turn, for interpolating across +-180 degrees.
std::vector<double> unwrappedDegrees(std::span<const double> phaseDeg);

// An angle in degrees as radians from -pi to +pi.
double wrappedRadians(double degrees);

}  // namespace ressona
