#include "response/minimum_phase.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "response/double_transform.h"

namespace ressona {

namespace {

// ln |H| with the floor, as a real spectrum (imaginary values 0).
Spectrum logMagnitude(std::span<const double> magnitude) {
    const double highest = *std::max_element(magnitude.begin(), magnitude.end());
    const double floor = highest * std::pow(10.0, -kMinimumPhaseFloorDb / 20.0);
    Spectrum logs(magnitude.size());
    for (std::size_t k = 0; k < magnitude.size(); ++k) {
        const double value = std::max(std::abs(magnitude[k]), floor);
        logs[k] = value > 0.0 ? std::log(value) : 0.0;
    }
    return logs;
}

}  // namespace

MinimumPhase minimumPhaseOfMagnitude(std::span<const double> magnitude) {
    std::vector<double> cepstrum = realSignal(logMagnitude(magnitude));
    const std::size_t points = cepstrum.size();
    if (points == 0) return {};
    // The causal fold: what the minimum-phase response's log spectrum holds.
    std::vector<double> weighted(points, 0.0);
    for (std::size_t n = 1; n < points; ++n) {
        if (n < points / 2) {
            cepstrum[n] *= 2.0;
        } else if (n > points / 2) {
            cepstrum[n] = 0.0;
        }
        weighted[n] = static_cast<double>(n) * cepstrum[n];
    }
    const Spectrum logResponse = realSpectrum(cepstrum);
    const Spectrum delay = realSpectrum(weighted);
    MinimumPhase result;
    result.phaseRad.reserve(logResponse.size());
    result.groupDelaySamples.reserve(delay.size());
    for (const auto& value : logResponse) result.phaseRad.push_back(value.imag());
    for (const auto& value : delay) result.groupDelaySamples.push_back(value.real());
    return result;
}

std::vector<double> excessPhaseDeg(std::span<const std::complex<double>> response,
                                   std::span<const double> minimumPhaseRad) {
    if (response.size() != minimumPhaseRad.size()) return {};
    std::vector<double> excess(response.size());
    for (std::size_t k = 0; k < response.size(); ++k) {
        const std::complex<double> turned = response[k] * std::polar(1.0, -minimumPhaseRad[k]);
        excess[k] = std::arg(turned) * 180.0 / std::numbers::pi;
    }
    return excess;
}

}  // namespace ressona
