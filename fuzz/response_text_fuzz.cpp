// Any bytes as a response text (a microphone calibration file, or a curve
// another program exported): what is accepted must hold at least two points of
// rising, finite frequencies within the limits, with finite levels and phases,
// and read onto a measurement's grid it must give values between the curve's
// own lowest and highest, as linear interpolation does.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "exchange/log_interpolation.h"
#include "exchange/response_text.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "response_text_fuzz: %s\n", what);
    std::abort();
}

void checkInterpolated(const std::vector<double>& hz, const std::vector<double>& values,
                       const std::vector<double>& grid) {
    std::vector<double> out(grid.size());
    ressona::interpolateLogFrequency(hz, values, grid, out);
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const double slack = 1e-9 * std::max(1.0, std::max(std::fabs(*low), std::fabs(*high)));
    for (const double v : out) {
        if (!std::isfinite(v) || v < *low - slack || v > *high + slack) {
            finding("an interpolated value outside the curve's range");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ressona::ResponseText response;
    const std::string reason = ressona::parseResponseText(text, response);
    if (!reason.empty()) {
        if (!response.frequencyHz.empty()) finding("a refused text left points behind");
        return 0;
    }
    const std::size_t points = response.frequencyHz.size();
    if (points < 2 || response.levelDb.size() != points) finding("too few points or levels");
    if (!response.phaseDeg.empty() && response.phaseDeg.size() != points) finding("phase count");
    for (std::size_t i = 0; i < points; ++i) {
        const double f = response.frequencyHz[i];
        if (!(f > 0.0) || f > ressona::kResponseHighestHz) finding("a frequency out of range");
        if (i > 0 && !(f > response.frequencyHz[i - 1])) finding("frequencies that do not rise");
        if (!(std::fabs(response.levelDb[i]) <= ressona::kResponseLargestDb)) finding("a level");
        if (!response.phaseDeg.empty() &&
            !(std::fabs(response.phaseDeg[i]) <= ressona::kResponseLargestDegrees)) {
            finding("a phase");
        }
    }
    if (response.sensitivityDb &&
        !(std::fabs(*response.sensitivityDb) <= ressona::kResponseLargestDb)) {
        finding("a sensitivity out of range");
    }

    // A grid as the measurer's: position k at (k - 1) x bin width, 0 Hz first.
    std::vector<double> grid(256);
    const double binWidth = 48000.0 / 512.0 * (1.0 + static_cast<double>(size % 7));
    for (std::size_t k = 0; k < grid.size(); ++k) grid[k] = static_cast<double>(k) * binWidth;
    checkInterpolated(response.frequencyHz, response.levelDb, grid);
    if (!response.phaseDeg.empty()) {
        checkInterpolated(response.frequencyHz, ressona::unwrappedDegrees(response.phaseDeg), grid);
    }
    return 0;
}
