#include "exchange/calibration.h"

#include <cmath>
#include <vector>

#include "exchange/log_interpolation.h"
#include "signals/response_scale.h"

namespace ressona {

std::string loadCalibration(const std::string& path, Calibration& calibration) {
    calibration = {};
    const std::string reason = readResponseText(path, calibration.curve);
    if (!reason.empty()) return "the calibration file " + reason;
    calibration.file = path;
    calibration.offsetDb = calibration.curve.sensitivityDb.value_or(0.0);
    return "";
}

SpectrumCorrection calibrationCorrection(const Calibration& calibration, std::uint32_t sampleRate,
                                         std::uint32_t n) {
    SpectrumCorrection correction;
    // The same float the arrays' own bin width is, so that the two match exactly.
    correction.binWidth = static_cast<float>(sampleRate) / static_cast<float>(n);
    const std::size_t bins = n / 2;
    std::vector<double> frequencies(bins);
    for (std::size_t k = 1; k <= bins; ++k) {
        frequencies[k - 1] = positionFrequency(k, correction.binWidth);
    }
    const ResponseText& curve = calibration.curve;
    std::vector<double> levels(bins);
    interpolateLogFrequency(curve.frequencyHz, curve.levelDb, frequencies, levels);
    correction.gain.resize(bins);
    for (std::size_t i = 0; i < bins; ++i) {
        correction.gain[i] =
            static_cast<float>(std::pow(10.0, -(levels[i] + calibration.offsetDb) / 20.0));
    }
    if (!curve.phaseDeg.empty()) {
        std::vector<double> phases(bins);
        interpolateLogFrequency(curve.frequencyHz, unwrappedDegrees(curve.phaseDeg), frequencies,
                                phases);
        correction.phase.resize(bins);
        for (std::size_t i = 0; i < bins; ++i) {
            correction.phase[i] = static_cast<float>(wrappedRadians(phases[i]));
        }
    }
    return correction;
}

std::vector<std::complex<double>> calibrationResponse(const Calibration& calibration,
                                                      std::span<const double> frequencies) {
    const ResponseText& curve = calibration.curve;
    std::vector<double> levels(frequencies.size());
    interpolateLogFrequency(curve.frequencyHz, curve.levelDb, frequencies, levels);
    std::vector<double> phases(frequencies.size(), 0.0);
    if (!curve.phaseDeg.empty()) {
        interpolateLogFrequency(curve.frequencyHz, unwrappedDegrees(curve.phaseDeg), frequencies,
                                phases);
    }
    std::vector<std::complex<double>> response(frequencies.size());
    for (std::size_t i = 0; i < response.size(); ++i) {
        response[i] = std::polar(std::pow(10.0, (levels[i] + calibration.offsetDb) / 20.0),
                                 wrappedRadians(phases[i]));
    }
    return response;
}

}  // namespace ressona
