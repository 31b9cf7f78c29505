#pragma once
// The phase and time views of one response, ready to report, export and
// draw: on the response's own grid k x rate / P for k = 1..P/2 (0 Hz has no
// place on a logarithmic axis), level, phase, group delay, minimum phase,
// excess phase and excess group delay; with an impulse response, also the
// energy-time curve.

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "response/energy_time.h"

namespace ressona {

// How the group delay was found.
inline constexpr const char* kDelayFromTransferFunction = "transferFunction";
inline constexpr const char* kDelayFromUnwrappedPhase = "unwrappedPhase";

// The energy-time curve is reported with at most this many points.
inline constexpr std::size_t kEnergyTimeMostPoints = 4096;

struct ResponseViews {
    std::uint32_t sampleRate = 0;
    std::vector<double> frequencyHz;
    std::vector<double> levelDb;   // 20 log10 |H|, -300 where H is 0
    std::vector<double> phaseDeg;  // -180 .. 180
    std::string groupDelayMethod;
    std::vector<double> groupDelaySeconds;  // NaN where the response has no energy
    std::vector<double> minimumPhaseDeg;    // unwrapped
    std::vector<double> excessPhaseDeg;     // -180 .. 180
    std::vector<double> excessGroupDelaySeconds;
    std::optional<EnergyTimeCurve> energyTime;  // only from an impulse response
};

// The views of a measured impulse response (P samples, a power of two from 4
// to 2^21, time zero at sample 0, full-scale units). Empty for another length.
ResponseViews viewsOfImpulse(std::span<const double> impulse, std::uint32_t rate);

// The views of a response known only as its spectrum at k = 0..P/2 (one read
// from a file and laid onto the grid): the group delay from its unwrapped
// phase, no energy-time curve. Empty for another size.
ResponseViews viewsOfSpectrum(std::span<const std::complex<double>> spectrum, std::uint32_t rate);

}  // namespace ressona
