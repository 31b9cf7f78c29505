#include "exchange/log_interpolation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ressona {

void interpolateLogFrequency(std::span<const double> curveHz, std::span<const double> curveValues,
                             std::span<const double> atHz, std::span<double> out) {
    const std::size_t points = std::min(curveHz.size(), curveValues.size());
    if (points == 0) return;
    for (std::size_t i = 0; i < atHz.size() && i < out.size(); ++i) {
        const double f = atHz[i];
        if (!(f > curveHz[0])) {
            out[i] = curveValues[0];
            continue;
        }
        if (!(f < curveHz[points - 1])) {
            out[i] = curveValues[points - 1];
            continue;
        }
        // curveHz[above - 1] <= f < curveHz[above]
        const auto above = static_cast<std::size_t>(
            std::upper_bound(curveHz.begin(), curveHz.begin() + static_cast<std::ptrdiff_t>(points),
                             f) -
            curveHz.begin());
        const double lowHz = curveHz[above - 1];
        const double share = std::log(f / lowHz) / std::log(curveHz[above] / lowHz);
        out[i] = curveValues[above - 1] + share * (curveValues[above] - curveValues[above - 1]);
    }
}

std::vector<double> unwrappedDegrees(std::span<const double> phaseDeg) {
    std::vector<double> unwrapped(phaseDeg.begin(), phaseDeg.end());
    double turns = 0.0;
    for (std::size_t i = 1; i < unwrapped.size(); ++i) {
        const double step = phaseDeg[i] - phaseDeg[i - 1];
        turns -= 360.0 * std::round(step / 360.0);
        unwrapped[i] = phaseDeg[i] + turns;
    }
    return unwrapped;
}

double wrappedRadians(double degrees) {
    const double turns = degrees / 360.0;
    double radians = (turns - std::round(turns)) * 2.0 * std::numbers::pi;
    if (radians <= -std::numbers::pi) radians += 2.0 * std::numbers::pi;
    return radians;
}

}  // namespace ressona
