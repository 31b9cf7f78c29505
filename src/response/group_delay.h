#pragma once
// Group delay, the time each frequency takes through the system: minus the
// slope of the phase against angular frequency, in seconds.
//
// From an impulse response it comes from the transfer function itself,
// tau(k) = Re( FFT(n h(n))(k) / FFT(h)(k) ) / rate, which needs no unwrapping
// and holds whatever the phase does between positions. A response known only
// as frequency, level and phase (a file another program wrote) has no impulse
// response: its phase is unwrapped point to point and differentiated, which is
// right only while the phase turns less than half a turn between neighbours.
// Where the response has next to no energy the phase means nothing and the
// delay is NaN.

#include <cstdint>
#include <span>
#include <vector>

namespace ressona {

// Positions whose level lies this far below the response's highest have no group delay.
inline constexpr double kGroupDelayFloorDb = 80.0;

// tau at k x rate / P for k = 0..P/2, seconds; the impulse response holds P
// samples (a power of two from 4 to 2^21) with time zero at sample 0 and what
// came before it at the end. Empty for another length or a rate of 0.
std::vector<double> groupDelayOfImpulse(std::span<const double> impulse, std::uint32_t rate);

// tau at each frequency from the phase in degrees there (frequencies rising),
// by central differences of the unwrapped phase (one-sided at the ends);
// seconds. NaN where levelDb lies kGroupDelayFloorDb below its highest.
// Empty when fewer than two points or the sizes differ.
std::vector<double> groupDelayOfPhase(std::span<const double> frequencyHz,
                                      std::span<const double> levelDb,
                                      std::span<const double> phaseDeg);

}  // namespace ressona
