#include "audio/pass_agreement.h"

#include <algorithm>
#include <vector>

namespace ressona {

namespace {

// A stretch departs when its difference holds this many times the typical
// stretch's (the noise of both recordings: pure noise over 16 samples comes
// nowhere near) ...
constexpr double kNoiseTimes = 20.0;
// ... and at least this share of what the two recordings hold there, so that
// what the room does from pass to pass (air moving, a fraction of a sample of
// drift at a loud direct sound) is not taken for a slip: a cut or doubled
// tail differs by about all of it.
constexpr double kLeastShare = 0.25;
// One step of the converter squared per sample: a floor for digital silence,
// where two exact recordings differ by rounding only.
constexpr double kStepEnergy = 1.0;

// The factor that brings `recording` to `kept`'s level (least squares).
double levelOf(std::span<const std::int16_t> kept, std::span<const std::int16_t> recording) {
    double product = 0.0, recordedEnergy = 0.0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        product += double(kept[i]) * recording[i];
        recordedEnergy += double(recording[i]) * recording[i];
    }
    return recordedEnergy > 0.0 ? product / recordedEnergy : 1.0;
}

struct Stretch {
    double difference = 0.0;  // energy of kept less the scaled recording
    double held = 0.0;        // energy of both
};

// The stretch from `first` on departs as a whole (`noise` is what a
// stretch's difference may hold): the sample in it where the departure
// begins, and whether the samples before held the sound. A drop a few
// samples after a pulse lies in the stretch of the pulse itself.
PassDeparture departureIn(std::span<const std::int16_t> kept,
                          std::span<const std::int16_t> recording, double level,
                          std::size_t first, double noise) {
    const std::size_t end = std::min(first + kAgreementBlock, kept.size());
    const double perSample = noise / kAgreementBlock;
    std::size_t from = first;
    while (from + 1 < end) {
        const double a = kept[from];
        const double b = level * recording[from];
        if ((a - b) * (a - b) > perSample && (a - b) * (a - b) > kLeastShare * (a * a + b * b))
            break;
        ++from;
    }
    double held = 0.0;
    for (std::size_t i = 0; i < from; ++i) {
        const double b = level * recording[i];
        held += double(kept[i]) * kept[i] + b * b;
    }
    return {std::int64_t(from), held > noise};
}

}  // namespace

PassDeparture departureFrom(std::span<const std::int16_t> kept,
                            std::span<const std::int16_t> recording) {
    const std::size_t length = std::min(kept.size(), recording.size());
    kept = kept.first(length);
    recording = recording.first(length);
    const double level = levelOf(kept, recording);
    std::vector<Stretch> stretches((length + kAgreementBlock - 1) / kAgreementBlock);
    for (std::size_t i = 0; i < length; ++i) {
        const double a = kept[i];
        const double b = level * recording[i];
        Stretch& stretch = stretches[i / kAgreementBlock];
        stretch.difference += (a - b) * (a - b);
        stretch.held += a * a + b * b;
    }
    if (stretches.empty()) return {};
    std::vector<double> differences(stretches.size());
    std::transform(stretches.begin(), stretches.end(), differences.begin(),
                   [](const Stretch& s) { return s.difference; });
    auto middle = differences.begin() + std::ptrdiff_t(differences.size() / 2);
    std::nth_element(differences.begin(), middle, differences.end());
    const double noise = kNoiseTimes * std::max(*middle, kStepEnergy * kAgreementBlock);
    for (std::size_t s = 0; s < stretches.size(); ++s) {
        const Stretch& stretch = stretches[s];
        if (stretch.difference > noise && stretch.difference > kLeastShare * stretch.held)
            return departureIn(kept, recording, level, s * kAgreementBlock, noise);
    }
    return {};
}

}  // namespace ressona
