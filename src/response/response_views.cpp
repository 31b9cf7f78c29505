#include "response/response_views.h"

#include <cmath>
#include <numbers>

#include "response/group_delay.h"
#include "response/minimum_phase.h"
#include "response/double_transform.h"

namespace ressona {

namespace {

constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;
constexpr double kSilentDb = -300.0;

double levelOf(std::complex<double> value) {
    const double magnitude = std::abs(value);
    return magnitude > 0.0 ? std::max(20.0 * std::log10(magnitude), kSilentDb) : kSilentDb;
}

// Everything but the group delay and the energy-time curve; `delay` at
// k = 0..P/2 in seconds becomes the group delay and gives the excess.
ResponseViews commonViews(std::span<const std::complex<double>> spectrum, std::uint32_t rate,
                          const std::vector<double>& delay) {
    std::vector<double> magnitude;
    magnitude.reserve(spectrum.size());
    for (const auto& value : spectrum) magnitude.push_back(std::abs(value));
    const MinimumPhase minimum = minimumPhaseOfMagnitude(magnitude);
    if (minimum.phaseRad.size() != spectrum.size() || delay.size() != spectrum.size()) return {};
    const std::vector<double> excess = excessPhaseDeg(spectrum, minimum.phaseRad);
    const double points = 2.0 * static_cast<double>(spectrum.size() - 1);
    ResponseViews views;
    views.sampleRate = rate;
    for (std::size_t k = 1; k < spectrum.size(); ++k) {
        views.frequencyHz.push_back(static_cast<double>(k) * rate / points);
        views.levelDb.push_back(levelOf(spectrum[k]));
        views.phaseDeg.push_back(std::arg(spectrum[k]) * kDegreesPerRadian);
        views.groupDelaySeconds.push_back(delay[k]);
        views.minimumPhaseDeg.push_back(minimum.phaseRad[k] * kDegreesPerRadian);
        views.excessPhaseDeg.push_back(excess[k]);
        views.excessGroupDelaySeconds.push_back(delay[k] - minimum.groupDelaySamples[k] / rate);
    }
    return views;
}

}  // namespace

ResponseViews viewsOfImpulse(std::span<const double> impulse, std::uint32_t rate) {
    const Spectrum spectrum = realSpectrum(impulse);
    if (spectrum.empty() || rate == 0) return {};
    ResponseViews views = commonViews(spectrum, rate, groupDelayOfImpulse(impulse, rate));
    views.groupDelayMethod = kDelayFromTransferFunction;
    views.energyTime = energyTimeCurve(impulse, rate, kEnergyTimeMostPoints);
    return views;
}

ResponseViews viewsOfSpectrum(std::span<const std::complex<double>> spectrum, std::uint32_t rate) {
    if (spectrum.size() < 3 || rate == 0) return {};
    const double points = 2.0 * static_cast<double>(spectrum.size() - 1);
    std::vector<double> hz, level, phase;
    for (std::size_t k = 0; k < spectrum.size(); ++k) {
        hz.push_back(static_cast<double>(k) * rate / points);
        level.push_back(levelOf(spectrum[k]));
        phase.push_back(std::arg(spectrum[k]) * kDegreesPerRadian);
    }
    ResponseViews views = commonViews(spectrum, rate, groupDelayOfPhase(hz, level, phase));
    views.groupDelayMethod = kDelayFromUnwrappedPhase;
    return views;
}

}  // namespace ressona
