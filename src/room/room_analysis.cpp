#include "room/room_analysis.h"

#include <algorithm>
#include <cmath>

#include "room/band_filter.h"
#include "room/energy_decay.h"
#include "room/reliability.h"

namespace ressona {

namespace {

// The response starts where its level first comes within 20 dB of its peak.
constexpr double kStartBelowPeak = 0.01;  // -20 dB in energy
constexpr double kEarly50 = 0.050;
constexpr double kEarly80 = 0.080;
constexpr double kDeepestDb = 300.0;
constexpr double kLargestSample = 1e150;
constexpr double kPi = 3.14159265358979323846;

std::size_t startOf(std::span<const double> response) {
    double peak = 0.0;
    for (const double x : response) peak = std::max(peak, x * x);
    const double threshold = peak * kStartBelowPeak;
    for (std::size_t n = 0; n < response.size(); ++n) {
        if (response[n] * response[n] >= threshold) return n;
    }
    return 0;
}

double ratioDb(double numerator, double denominator) {
    return 10.0 * std::log10(numerator / denominator);
}

void keepCurve(const EnergyDecay& decay, std::size_t points, RoomBand& band) {
    if (points == 0 || !(decay.total() > 0.0)) return;
    const std::size_t length = decay.crossIndex() + 1;
    const std::size_t step = std::max<std::size_t>(1, (length + points - 1) / points);
    band.curveStepSeconds = static_cast<double>(step) / decay.sampleRate;
    for (std::size_t n = 0; n < length; n += step)
        band.curveDb.push_back(static_cast<float>(decay.levelDb(n)));
}

// The share of a white noise's power a band passes: its filter's noise
// bandwidth over half the rate. An analog Butterworth band-pass of prototype
// order n passes B (pi / 2n) / sin(pi / 2n), close enough for its digital form.
double noiseShare(const FrequencyBand& band, double rate) {
    if (band.kind == BandKind::Broadband) return 1.0;
    const double order =
        static_cast<double>(designBandPass(band.lowerHz, band.upperHz, rate).count);
    const double angle = kPi / (2.0 * order);
    return band.widthHz() * (angle / std::sin(angle)) / (rate / 2.0);
}

void measureBand(std::span<const double> after, double rate, const RoomOptions& options,
                 RoomBand& band) {
    const double rounding = options.roundingStep * options.roundingStep / 12.0;
    const double leastNoise = rounding > 0.0 ? rounding * noiseShare(band.band, rate) : 0.0;
    const EnergyDecay decay = analyseDecay(after, rate, leastNoise);
    const NoiseFloor& used = decay.floor;
    band.hasEnergy = decay.total() > 0.0;
    band.noiseReached = used.noiseReached;
    band.crossSeconds = static_cast<double>(used.crossIndex) / rate;
    band.endSeconds = static_cast<double>(after.size() - 1) / rate;
    band.lateSlopeDbPerSecond = used.decayFound ? used.slopeDbPerSecond : 0.0;
    if (band.hasEnergy) {
        // A background of exact zeros counts as 300 dB down, which keeps the ratio finite.
        const double startDb =
            used.decayFound ? std::max(used.peakDb, used.interceptDb) : used.peakDb;
        const double noiseDb =
            std::max(10.0 * std::log10(std::max(used.noiseEnergy, 1e-300)), startDb - kDeepestDb);
        band.inrDb = startDb - noiseDb;
    }

    band.edt = fitDecayTime(decay, kEdtRange);
    band.t20 = fitDecayTime(decay, kT20Range);
    band.t30 = fitDecayTime(decay, kT30Range);

    if (band.hasEnergy) {
        const double total = decay.total();
        const auto at = [rate](double seconds) {
            return static_cast<std::size_t>(std::lround(seconds * rate));
        };
        const double early50 = decay.energyBefore(at(kEarly50));
        const double early80 = decay.energyBefore(at(kEarly80));
        band.c50Db = ratioDb(early50, total - early50);
        band.c80Db = ratioDb(early80, total - early80);
        band.d50 = early50 / total;
        band.centreTimeSeconds = decay.firstMoment / total;
    }
    keepCurve(decay, options.curvePoints, band);
}

}  // namespace

std::string analyseRoom(std::span<const double> response, std::uint32_t sampleRate,
                        const RoomOptions& options, RoomAnalysis& analysis) {
    analysis = RoomAnalysis{};
    if (sampleRate < kRoomLowestRate || sampleRate > kRoomHighestRate)
        return "the sample rate " + std::to_string(sampleRate) + " Hz is outside 8000..192000 Hz";
    if (response.empty()) return "the impulse response is empty";
    for (const double x : response) {
        // Squares and their sums must stay finite too.
        if (!(std::abs(x) <= kLargestSample))
            return "the impulse response holds a value that is not finite or beyond 1e150";
    }
    const std::size_t start = startOf(response);
    if (response[start] == 0.0) return "the impulse response is silent";

    const double rate = sampleRate;
    analysis.sampleRate = sampleRate;
    analysis.durationSeconds = static_cast<double>(response.size()) / rate;
    analysis.startSeconds = static_cast<double>(start) / rate;
    const std::vector<FrequencyBand> bands =
        roomBands(sampleRate, options.octaves, options.thirdOctaves);
    analysis.bands.resize(bands.size());
    // The sums from the end of each band's energy; from the start on they are
    // the sums of the band measured from there.
    std::vector<double> after(response.size() + 1);
    std::vector<double> second(response.size() + 1);
    auto measure = [&](std::size_t index, std::span<const double> sums) {
        RoomBand& result = analysis.bands[index];
        result.band = bands[index];
        measureBand(sums.subspan(start), rate, options, result);
        for (DecayTime* time : {&result.edt, &result.t20, &result.t30})
            judgeDecayTime(*time, result);
        judgeClarity(result);
    };
    // The broadband response first, then the bands two by two (one by one
    // where the next has another order).
    sumSquaresFromEnd(response, after);
    measure(0, after);
    auto design = [&](std::size_t index) {
        return designBandPass(bands[index].lowerHz, bands[index].upperHz, rate);
    };
    for (std::size_t index = 1; index < bands.size();) {
        const BandPassFilter filter = design(index);
        if (index + 1 < bands.size() && design(index + 1).count == filter.count) {
            filterPairBackwardsSummed(filter, design(index + 1), response, after, second);
            measure(index, after);
            measure(index + 1, second);
            index += 2;
        } else {
            filterBackwardsSummed(filter, response, after);
            measure(index, after);
            index += 1;
        }
    }
    return {};
}

const RoomBand* findBand(const RoomAnalysis& analysis, BandKind kind, double nominalHz) {
    for (const RoomBand& band : analysis.bands) {
        if (band.band.kind == kind &&
            (kind == BandKind::Broadband || band.band.nominalHz == nominalHz))
            return &band;
    }
    return nullptr;
}

}  // namespace ressona
