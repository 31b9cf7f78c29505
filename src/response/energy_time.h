#pragma once
// The energy-time curve: the envelope of an impulse response, |h + i H{h}|
// with H the Hilbert transform (the analytic signal's magnitude), in dB re
// full scale. The envelope does not fall to 0 where h crosses zero, so
// reflections and decay show as a smooth curve. The response is circular:
// the curve runs from -P/2 to P/2 - 1 samples around time zero.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ressona {

inline constexpr double kEnergyTimeFloorDb = -300.0;  // the level of a silent sample

struct EnergyTimeCurve {
    std::vector<double> timeSeconds;  // rising, 0 at time zero
    std::vector<double> levelDb;      // dB re full scale, kEnergyTimeFloorDb at 0
    double peakSeconds = 0.0;
    double peakDb = kEnergyTimeFloorDb;
};

// The envelope's samples of a response of P samples (a power of two from 4 to
// 2^21, full-scale units), time zero at sample 0; empty for another length.
std::vector<double> impulseEnvelope(std::span<const double> impulse);

// The curve at `rate`, with at most mostPoints points: when the response is
// longer, each point is the highest of a block of samples (so no peak is
// lost) at the block's first sample's time. Empty for a length the envelope refuses.
EnergyTimeCurve energyTimeCurve(std::span<const double> impulse, std::uint32_t rate,
                                std::size_t mostPoints);

}  // namespace ressona
