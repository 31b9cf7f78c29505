#include "room/reliability.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace ressona {

namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

constexpr double kClarityLatestSplitSeconds = 0.080;

}  // namespace

void judgeDecayTime(DecayTime& time, const RoomBand& band) {
    time.reasons.clear();
    const double bottom = time.range.bottomDb;
    if (!band.hasEnergy) {
        time.reasons.push_back("the band holds no energy");
    } else if (!time.evaluated) {
        if (time.lowestDb > bottom) {
            time.reasons.push_back(
                format("the decay curve reaches only %.1f dB before the noise floor, not %.0f dB",
                       time.lowestDb, bottom));
        } else {
            time.reasons.push_back(
                format("the decay curve has no falling stretch from %.0f to %.0f dB",
                       time.range.topDb, bottom));
        }
    }
    const double leastInr = -bottom + kNoiseMarginDb;
    if (band.hasEnergy && band.inrDb < leastInr) {
        time.reasons.push_back(
            format("impulse-to-noise ratio %.1f dB is below %.0f dB", band.inrDb, leastInr));
    }
    if (time.evaluated && std::abs(time.r) < kLeastCorrelation) {
        time.reasons.push_back(
            format("|r| = %.4f is below %.2f", std::abs(time.r), kLeastCorrelation));
    }
    if (time.evaluated && band.band.kind != BandKind::Broadband) {
        const double product = band.band.widthHz() * time.seconds;
        if (product < kLeastWidthTimesTime) {
            time.reasons.push_back(
                format("band width x T = %.0f is below %.0f: the band filter's own decay "
                       "spoils the estimate",
                       product, kLeastWidthTimesTime));
        }
    }
    time.reliable = time.evaluated && time.reasons.empty();
}

void judgeClarity(RoomBand& band) {
    band.clarityReasons.clear();
    if (!band.hasEnergy) {
        band.clarityReasons.push_back("the band holds no energy");
    } else if (!std::isfinite(band.c50Db) || !std::isfinite(band.c80Db)) {
        band.clarityReasons.push_back("no energy after 50 or 80 ms: the ratio has no bound");
    } else if (band.crossSeconds < kClarityLatestSplitSeconds && band.noiseReached) {
        band.clarityReasons.push_back(
            format("the decay meets the noise floor after %.0f ms, before 80 ms: the late "
                   "energy is mostly extrapolated",
                   band.crossSeconds * 1000.0));
    }
}

}  // namespace ressona
