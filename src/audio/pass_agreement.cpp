#include "audio/pass_agreement.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/real_transform.h"

namespace ressona {

namespace {

// A stretch departs when its difference holds this many times the typical
// stretch's (the noise of both recordings: pure noise over 16 samples comes
// nowhere near) ...
constexpr double kNoiseTimes = 20.0;
// ... and at least this share of what the two recordings hold there, so that
// what the room does from pass to pass (air moving) is not taken for a slip:
// a cut or doubled tail differs by about all of it.
constexpr double kLeastShare = 0.25;
// One step of the converter squared per sample: a floor for digital silence,
// where two exact recordings differ by rounding only.
constexpr double kStepEnergy = 1.0;
// A server that resamples lands each pass's pulse elsewhere between two
// samples (a band-limited pulse a fifth of a sample later differs by a good
// share of itself), so the kept recording is first moved by the fraction of
// a sample, within this many samples, that matches the new one best.
constexpr double kFurthestShift = 1.0;
constexpr double kShiftStep = 0.25;  // the products lie on a smooth curve: a parabola finds its top
constexpr std::size_t kShortestCompared = 32;

using Samples = std::vector<double>;

// The two recordings' spectra over P points (zero beyond their samples).
struct Spectra {
    std::vector<ComplexValue> kept, recording;
};

// Re <recording, kept moved by `shift` samples> times P, from the spectra.
// (Plain arithmetic: std::complex's product checks for infinities at every step.)
double productAtShift(const Spectra& spectra, double shift, std::size_t size) {
    const std::size_t half = size / 2;
    const double angle = 2.0 * std::numbers::pi * shift / double(size);
    const double turnRe = std::cos(angle), turnIm = std::sin(angle);
    double phasorRe = 1.0, phasorIm = 0.0;
    double sum = 0.0;
    for (std::size_t k = 0; k <= half; ++k) {
        const ComplexValue r = spectra.recording[k];
        const ComplexValue c = spectra.kept[k];
        // r times the conjugate of c
        const double crossRe = double(r.re) * c.re + double(r.im) * c.im;
        const double crossIm = double(r.im) * c.re - double(r.re) * c.im;
        const double term = crossRe * phasorRe - crossIm * phasorIm;
        sum += k == 0 || k == half ? term : 2.0 * term;
        const double nextRe = phasorRe * turnRe - phasorIm * turnIm;
        phasorIm = phasorRe * turnIm + phasorIm * turnRe;
        phasorRe = nextRe;
    }
    return sum;
}

// The shift within ±kFurthestShift that brings kept nearest to the
// recording: the largest product on a grid, refined by a parabola.
double bestShift(const Spectra& spectra, std::size_t size) {
    const int steps = int(std::lround(kFurthestShift / kShiftStep));
    std::vector<double> products;
    for (int s = -steps; s <= steps; ++s)
        products.push_back(std::fabs(productAtShift(spectra, s * kShiftStep, size)));
    const auto best =
        std::size_t(std::max_element(products.begin(), products.end()) - products.begin());
    double shift = (double(best) - steps) * kShiftStep;
    if (best > 0 && best + 1 < products.size()) {
        const double left = products[best - 1], middle = products[best], right = products[best + 1];
        const double curve = left - 2.0 * middle + right;
        if (curve < 0.0) shift += 0.5 * kShiftStep * (left - right) / curve;
    }
    return shift;
}

// The kept recording moved by the best fraction of a sample, as the new one
// is: through the transform, where a delay is exact for a band-limited sound.
Samples alignedKept(std::span<const std::int16_t> kept, std::span<const std::int16_t> recording) {
    const std::size_t length = kept.size();
    const auto size = std::uint32_t(std::bit_ceil(std::max<std::size_t>(length, 4)));
    RealTransform transform(size);
    std::vector<float> padded(size, 0.0f);
    Spectra spectra;
    std::copy(kept.begin(), kept.end(), padded.begin());
    transform.forward(padded, spectra.kept);
    std::copy(recording.begin(), recording.end(), padded.begin());
    transform.forward(padded, spectra.recording);
    const double shift = bestShift(spectra, size);
    std::vector<ComplexValue> moved(spectra.kept.size());
    const double angle = -2.0 * std::numbers::pi * shift / double(size);
    const double turnRe = std::cos(angle), turnIm = std::sin(angle);
    double re = 1.0, im = 0.0;
    for (std::size_t k = 0; k < moved.size(); ++k) {
        const ComplexValue c = spectra.kept[k];
        moved[k] = {float(c.re * re - c.im * im),
                    k == size / 2 ? 0.0f : float(c.re * im + c.im * re)};
        const double next = re * turnRe - im * turnIm;
        im = re * turnIm + im * turnRe;
        re = next;
    }
    transform.inverse(moved, padded);
    return Samples(padded.begin(), padded.begin() + std::ptrdiff_t(length));
}

// The factor that brings `recording` to `kept`'s level (least squares).
double levelOf(const Samples& kept, const Samples& recording) {
    double product = 0.0, recordedEnergy = 0.0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        product += kept[i] * recording[i];
        recordedEnergy += recording[i] * recording[i];
    }
    return recordedEnergy > 0.0 ? product / recordedEnergy : 1.0;
}

struct Stretch {
    double difference = 0.0;  // energy of kept less the recording
    double held = 0.0;        // energy of both
};

bool departs(double difference, double held, double noise) {
    return difference > noise && difference > kLeastShare * held;
}

// The stretch from `first` on departs as a whole (`noise` is what a
// stretch's difference may hold): the sample in it where the departure
// begins, and whether the samples before held the sound. A drop a few
// samples after a pulse lies in the stretch of the pulse itself.
PassDeparture departureIn(const Samples& kept, const Samples& recording, std::size_t first,
                          double noise) {
    const std::size_t end = std::min<std::size_t>(first + kAgreementBlock, kept.size());
    std::size_t from = first;
    for (; from + 1 < end; ++from) {
        const double a = kept[from], b = recording[from];
        if (departs((a - b) * (a - b), a * a + b * b, noise / kAgreementBlock)) break;
    }
    double held = 0.0;
    for (std::size_t i = 0; i < from; ++i) held += kept[i] * kept[i] + recording[i] * recording[i];
    return {std::int64_t(from), held > noise};
}

}  // namespace

PassDeparture departureFrom(std::span<const std::int16_t> kept,
                            std::span<const std::int16_t> recording) {
    const std::size_t length = std::min(kept.size(), recording.size());
    if (length < kShortestCompared || length > kRealTransformLargest) return {};
    Samples before = alignedKept(kept.first(length), recording.first(length));
    Samples now(recording.begin(), recording.begin() + std::ptrdiff_t(length));
    const double level = levelOf(before, now);
    for (double& sample : now) sample *= level;

    std::vector<Stretch> stretches((length + kAgreementBlock - 1) / kAgreementBlock);
    for (std::size_t i = 0; i < length; ++i) {
        Stretch& stretch = stretches[i / kAgreementBlock];
        stretch.difference += (before[i] - now[i]) * (before[i] - now[i]);
        stretch.held += before[i] * before[i] + now[i] * now[i];
    }
    std::vector<double> differences(stretches.size());
    std::transform(stretches.begin(), stretches.end(), differences.begin(),
                   [](const Stretch& s) { return s.difference; });
    auto middle = differences.begin() + std::ptrdiff_t(differences.size() / 2);
    std::nth_element(differences.begin(), middle, differences.end());
    const double noise = kNoiseTimes * std::max(*middle, kStepEnergy * kAgreementBlock);
    for (std::size_t s = 0; s < stretches.size(); ++s)
        if (departs(stretches[s].difference, stretches[s].held, noise))
            return departureIn(before, now, s * kAgreementBlock, noise);
    return {};
}

namespace {

// The median of the differences' energies over stretches of kAgreementBlock
// samples, at least a converter step's per sample: the noise of a comparison.
double medianStretchDifference(const Samples& difference) {
    std::vector<double> stretches((difference.size() + kAgreementBlock - 1) / kAgreementBlock, 0.0);
    for (std::size_t i = 0; i < difference.size(); ++i)
        stretches[i / kAgreementBlock] += difference[i];
    auto middle = stretches.begin() + std::ptrdiff_t(stretches.size() / 2);
    std::nth_element(stretches.begin(), middle, stretches.end());
    return std::max(*middle, kStepEnergy * kAgreementBlock);
}

}  // namespace

PeriodDeparture periodDeparture(std::span<const std::int16_t> recording, std::int64_t arrival,
                                std::int64_t period) {
    const std::int64_t first = std::max<std::int64_t>(arrival, 0);
    const std::int64_t end = std::int64_t(recording.size()) - period;
    if (period <= 0 || end - first < std::int64_t(2 * kShortestCompared)) return {};
    const auto count = std::size_t(end - first);
    Samples difference(count), held(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double a = recording[std::size_t(first) + i];
        const double b = recording[std::size_t(first + period) + i];
        difference[i] = (a - b) * (a - b);
        held[i] = a * a + b * b;
    }
    const double noise = kNoiseTimes * medianStretchDifference(difference);
    // Each sample's excess over what a departing one must hold: positive
    // where the two periods differ by a good share of what they hold and by
    // far more than their noise. Through a cut stream the excesses from the
    // cut on sum to most of what each later sample holds; through a stretch
    // the stream spoilt in place (a cycle of zeros, or one cycle twice), to
    // what that stretch holds; agreeing samples only take from the sum.
    Samples excessSum(count + 1, 0.0);
    for (std::size_t i = 0; i < count; ++i)
        excessSum[i + 1] =
            excessSum[i] + difference[i] - kLeastShare * held[i] - noise / double(kAgreementBlock);
    // The best departure from each sample on: the largest sum of excesses
    // from it to any later sample, and where that sum ends.
    std::vector<std::size_t> bestEnd(count + 1, count);
    for (std::size_t i = count; i-- > 0;)
        bestEnd[i] = excessSum[i + 1] > excessSum[bestEnd[i + 1]] ? i + 1 : bestEnd[i + 1];
    // Only a departure a quarter period after the arrival, after a stretch
    // that agreed within the noise and held the sound, counts: a system with
    // memory differs from its start while it builds up (and while the room
    // still rings with the pass before), unevenly enough in a room that a
    // few samples can stand out; a hall whose decay outlasts the period
    // never agrees.
    const std::size_t window = 2 * kShortestCompared;
    const auto settled = std::max(window, std::size_t(period / 4));
    double windowDifference = 0.0, windowHeld = 0.0, largest = noise;
    PeriodDeparture departure;
    for (std::size_t i = 0; i < count; ++i) {
        // The window holds the `window` samples before i.
        const bool agreed =
            windowDifference <= noise * double(window) / kAgreementBlock && windowHeld > noise;
        const std::size_t to = bestEnd[i];
        if (i >= settled && agreed && excessSum[to] - excessSum[i] > largest) {
            largest = excessSum[to] - excessSum[i];
            departure = {first + std::int64_t(i), first + std::int64_t(to)};
        }
        windowDifference += difference[i];
        windowHeld += held[i];
        if (i >= window) {
            windowDifference -= difference[i - window];
            windowHeld -= held[i - window];
        }
    }
    return departure;
}

}  // namespace ressona
