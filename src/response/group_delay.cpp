#include "response/group_delay.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "response/double_transform.h"

namespace ressona {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// The phases in degrees with whole turns added so that no step exceeds half a turn.
std::vector<double> unwrappedDegrees(std::span<const double> phaseDeg) {
    std::vector<double> phase(phaseDeg.begin(), phaseDeg.end());
    for (std::size_t i = 1; i < phase.size(); ++i)
        phase[i] += 360.0 * std::round((phase[i - 1] - phase[i]) / 360.0);
    return phase;
}

double powerFloor(double highestPower) {
    return highestPower * std::pow(10.0, -kGroupDelayFloorDb / 10.0);
}

}  // namespace

std::vector<double> groupDelayOfImpulse(std::span<const double> impulse, std::uint32_t rate) {
    if (rate == 0) return {};
    std::vector<double> weighted(impulse.size());
    for (std::size_t n = 0; n < impulse.size(); ++n) {
        weighted[n] = signedSample(n, impulse.size()) * impulse[n];
    }
    const Spectrum response = realSpectrum(impulse);
    const Spectrum slope = realSpectrum(weighted);
    if (response.empty() || slope.size() != response.size()) return {};
    double highest = 0.0;
    for (const auto& value : response) highest = std::max(highest, std::norm(value));
    const double floor = powerFloor(highest);
    std::vector<double> delay(response.size(), kNoValue);
    for (std::size_t k = 0; k < response.size(); ++k) {
        const double power = std::norm(response[k]);
        if (power > floor && power > 0.0) {
            delay[k] = (slope[k] * std::conj(response[k])).real() / power / rate;
        }
    }
    return delay;
}

std::vector<double> groupDelayOfPhase(std::span<const double> frequencyHz,
                                      std::span<const double> levelDb,
                                      std::span<const double> phaseDeg) {
    const std::size_t count = frequencyHz.size();
    if (count < 2 || levelDb.size() != count || phaseDeg.size() != count) return {};
    const std::vector<double> phase = unwrappedDegrees(phaseDeg);
    const double highest = *std::max_element(levelDb.begin(), levelDb.end());
    std::vector<double> delay(count, kNoValue);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t below = i == 0 ? 0 : i - 1;
        const std::size_t above = i + 1 == count ? i : i + 1;
        const double span = frequencyHz[above] - frequencyHz[below];
        if (levelDb[i] < highest - kGroupDelayFloorDb || !(span > 0.0)) continue;
        delay[i] = -(phase[above] - phase[below]) / (360.0 * span);
    }
    return delay;
}

}  // namespace ressona
