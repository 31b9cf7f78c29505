#include "room/reliability.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace ressona {

namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[240];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

constexpr double kClarityLatestSplitSeconds = 0.080;

}  // namespace

// A response cut off while its room still rings has no noise floor to find,
// and the noise the analysis then takes is the decay itself, so that neither
// the curve nor the floor shows the cut; its depth at the end does. The
// slowest slope, because a cut bends the backward integral down and makes
// the times it gives short.
double decayDepthAtEnd(const RoomBand& band) {
    double slowest = band.lateSlopeDbPerSecond;
    for (const DecayTime* time : {&band.edt, &band.t20, &band.t30}) {
        if (time->evaluated && time->seconds > 0.0)
            slowest = std::max(slowest, -60.0 / time->seconds);
    }
    return -slowest * band.endSeconds;
}

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
    const double depth = decayDepthAtEnd(band);
    if (band.hasEnergy && depth < leastInr) {
        time.reasons.push_back(
            format("the response ends %.2f s after its start, when its decay has fallen %.0f dB, "
                   "not the %.0f dB this time needs: the room rings longer than the response",
                   band.endSeconds, depth, leastInr));
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
