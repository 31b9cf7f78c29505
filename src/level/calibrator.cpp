#include "level/calibrator.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "room/band_filter.h"

namespace ressona {

namespace {

// The start of a recording is left out: the filters settle and a user's hand
// may still be on the calibrator.
constexpr double kSettleSeconds = 0.25;
constexpr double kLeastSeconds = 0.5;  // after the settling
constexpr double kBlockSeconds = 0.1;  // the steadiness is judged block by block
// The band (a third-octave wide around the tone) must hold this share of the
// power, and each block's tone level stay this close to the whole's.
constexpr double kLeastToneShare = 0.9;
constexpr double kMostBlockDeviationDb = 0.5;
constexpr double kSilenceDbfs = -100.0;
constexpr double kCalibratorHz[] = {250.0, 1000.0};

double levelDbfs(double sumOfSquares, std::size_t samples) {
    return 10.0 * std::log10(2.0 * sumOfSquares / static_cast<double>(samples));
}

struct BandPower {
    double total = 0.0;                // sum of squares in the band after the settling
    std::vector<double> blockLevels;  // dBFS per whole block
};

BandPower bandPower(std::span<const double> samples, std::size_t settle, std::size_t block,
                    double centreHz, std::uint32_t rate) {
    const double halfWidth = std::pow(10.0, 0.3 / 6.0);  // a base-ten sixth of an octave
    const BandPassFilter filter = designBandPass(centreHz / halfWidth, centreHz * halfWidth, rate);
    BandPassMemory memory;
    filterForwardSquares(filter, memory, samples.first(settle));
    BandPower power;
    for (std::size_t at = settle; at + block <= samples.size(); at += block) {
        const double squares = filterForwardSquares(filter, memory, samples.subspan(at, block));
        power.total += squares;
        power.blockLevels.push_back(levelDbfs(squares, block));
    }
    return power;
}

std::string formatted(const char* format, double a, double b = 0.0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

std::string readCalibrator(std::span<const double> samples, std::uint32_t sampleRate,
                           double calibratorDb, CalibratorReading& reading) {
    reading = {};
    const auto settle = static_cast<std::size_t>(kSettleSeconds * sampleRate);
    const auto block = static_cast<std::size_t>(kBlockSeconds * sampleRate);
    const std::size_t blocks = samples.size() > settle ? (samples.size() - settle) / block : 0;
    if (static_cast<double>(blocks) * kBlockSeconds < kLeastSeconds - 1e-9) {
        return formatted("the calibrator's recording is too short: at least %.2f s are needed",
                         kSettleSeconds + kLeastSeconds);
    }
    const std::span<const double> used = samples.subspan(settle, blocks * block);
    double mean = 0.0;
    for (const double x : used) mean += x;
    mean /= static_cast<double>(used.size());
    double total = 0.0;  // the power about the mean: a DC offset is no sound
    for (const double x : used) total += (x - mean) * (x - mean);
    if (total <= 0.0 || levelDbfs(total, used.size()) < kSilenceDbfs)
        return "the calibrator's recording is silent: no tone to calibrate with";

    BandPower best;
    double bestHz = 0.0;
    for (const double hz : kCalibratorHz) {
        BandPower power = bandPower(samples.first(settle + used.size()), settle, block, hz, sampleRate);
        if (power.total > best.total) {
            best = std::move(power);
            bestHz = hz;
        }
    }
    const double share = best.total / total;
    if (bestHz == 0.0 || share < kLeastToneShare) {
        return formatted("the calibrator's recording holds no steady tone at 250 Hz or 1 kHz "
                         "(%.0f %% of its power lies in the band around %.0f Hz, at least 90 %% "
                         "is needed)",
                         100.0 * share, bestHz);
    }
    const double toneDbfs = levelDbfs(best.total, used.size());
    for (const double level : best.blockLevels) {
        if (std::abs(level - toneDbfs) > kMostBlockDeviationDb) {
            return formatted("the calibrator's tone is not steady: its level moves by %.1f dB "
                             "(at most %.1f dB in 0.1 s blocks)",
                             std::abs(level - toneDbfs), kMostBlockDeviationDb);
        }
    }
    reading.frequencyHz = bestHz;
    reading.toneDbfs = toneDbfs;
    reading.calibratorDb = calibratorDb;
    reading.sensitivityDbfs = toneDbfs - (calibratorDb - kReferenceSplDb);
    reading.seconds = static_cast<double>(used.size()) / sampleRate;
    return "";
}

}  // namespace ressona
