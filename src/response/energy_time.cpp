#include "response/energy_time.h"

#include <algorithm>
#include <cmath>

#include "response/double_transform.h"

namespace ressona {

namespace {

double decibels(double envelope) {
    return envelope > 0.0 ? std::max(20.0 * std::log10(envelope), kEnergyTimeFloorDb)
                          : kEnergyTimeFloorDb;
}

}  // namespace

std::vector<double> impulseEnvelope(std::span<const double> impulse) {
    Spectrum spectrum = realSpectrum(impulse);
    if (spectrum.empty()) return {};
    // The Hilbert transform: -i for positive frequencies, nothing at 0 and P/2.
    spectrum.front() = 0.0;
    spectrum.back() = 0.0;
    for (std::size_t k = 1; k + 1 < spectrum.size(); ++k) {
        spectrum[k] *= std::complex<double>(0.0, -1.0);
    }
    const std::vector<double> quadrature = realSignal(spectrum);
    std::vector<double> envelope(impulse.size());
    for (std::size_t n = 0; n < impulse.size(); ++n) {
        envelope[n] = std::hypot(impulse[n], quadrature[n]);
    }
    return envelope;
}

EnergyTimeCurve energyTimeCurve(std::span<const double> impulse, std::uint32_t rate,
                                std::size_t mostPoints) {
    const std::vector<double> envelope = impulseEnvelope(impulse);
    if (envelope.empty() || rate == 0 || mostPoints == 0) return {};
    const std::size_t points = envelope.size();
    const std::size_t block = (points + mostPoints - 1) / mostPoints;
    EnergyTimeCurve curve;
    // Time order: the second half (before time zero) first.
    for (std::size_t start = 0; start < points; start += block) {
        double highest = 0.0;
        for (std::size_t i = start; i < std::min(start + block, points); ++i) {
            highest = std::max(highest, envelope[(i + points / 2) % points]);
        }
        const double samples = static_cast<double>(start) - static_cast<double>(points / 2);
        curve.timeSeconds.push_back(samples / rate);
        curve.levelDb.push_back(decibels(highest));
    }
    const auto peak = std::max_element(envelope.begin(), envelope.end());
    curve.peakSeconds =
        signedSample(static_cast<std::size_t>(peak - envelope.begin()), points) / rate;
    curve.peakDb = decibels(*peak);
    return curve;
}

}  // namespace ressona
