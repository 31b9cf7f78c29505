#include "response/transfer_function.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "analysis/real_transform.h"

namespace ressona {

namespace {

// Below this share of the reference's largest power a bin counts as empty:
// the division there is held back instead of amplifying noise.
constexpr double kRegularisation = 1e-12;
constexpr double kSilentLevelDb = -300.0;

bool usableLength(std::size_t points) {
    return points >= 4 && points <= kRealTransformLargest && (points & (points - 1)) == 0;
}

std::vector<std::complex<double>> spectrumOf(RealTransform& transform,
                                             std::span<const double> signal) {
    const std::vector<float> samples(signal.begin(), signal.end());
    std::vector<ComplexValue> values;
    transform.forward(samples, values);
    std::vector<std::complex<double>> spectrum(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) spectrum[k] = {values[k].re, values[k].im};
    return spectrum;
}

std::vector<double> impulseOf(RealTransform& transform,
                              std::span<const std::complex<double>> spectrum) {
    std::vector<ComplexValue> values(spectrum.size());
    for (std::size_t k = 0; k < spectrum.size(); ++k) {
        values[k] = {static_cast<float>(spectrum[k].real()),
                     static_cast<float>(spectrum[k].imag())};
    }
    std::vector<float> samples;
    transform.inverse(values, samples);
    return {samples.begin(), samples.end()};
}

// The spectra of a measured response and its reference, with the
// reference's largest power; none when the lengths do not suit or the
// reference is silent.
struct SpectraOfPair {
    std::vector<std::complex<double>> measured;
    std::vector<std::complex<double>> reference;
    double largestReference = 0.0;
};

std::optional<SpectraOfPair> spectraOfPair(RealTransform& transform,
                                           std::span<const double> measured,
                                           std::span<const double> reference) {
    SpectraOfPair pair{spectrumOf(transform, measured), spectrumOf(transform, reference), 0.0};
    for (const std::complex<double>& value : pair.reference)
        pair.largestReference = std::max(pair.largestReference, std::norm(value));
    if (!(pair.largestReference > 0.0)) return std::nullopt;
    return pair;
}

}  // namespace

double TransferFunction::binWidthHz() const {
    return impulse.empty() ? 0.0 : static_cast<double>(sampleRate) / impulse.size();
}

double TransferFunction::frequencyHz(std::size_t k) const {
    return static_cast<double>(k) * binWidthHz();
}

double TransferFunction::levelDb(std::size_t k) const {
    const double magnitude = std::abs(spectrum[k]);
    return magnitude > 0.0 ? 20.0 * std::log10(magnitude) : kSilentLevelDb;
}

double TransferFunction::phaseDeg(std::size_t k) const {
    return std::arg(spectrum[k]) * (180.0 / std::numbers::pi);
}

TransferFunction transferFunctionOfImpulse(std::vector<double> impulse, std::uint32_t sampleRate,
                                           std::int64_t timeZeroSample) {
    if (!usableLength(impulse.size())) return {};
    RealTransform transform(static_cast<std::uint32_t>(impulse.size()));
    return transferFunctionOfImpulse(std::move(impulse), sampleRate, timeZeroSample, transform);
}

TransferFunction transferFunctionOfImpulse(std::vector<double> impulse, std::uint32_t sampleRate,
                                           std::int64_t timeZeroSample, RealTransform& transform) {
    TransferFunction transfer;
    if (!usableLength(impulse.size()) || transform.size() != impulse.size()) return transfer;
    transfer.sampleRate = sampleRate;
    transfer.timeZeroSample = timeZeroSample;
    transfer.spectrum = spectrumOf(transform, impulse);
    transfer.impulse = std::move(impulse);
    return transfer;
}

TransferFunction transferFunctionOfResponses(std::span<const double> measured,
                                             std::span<const double> reference,
                                             std::uint32_t sampleRate,
                                             std::int64_t timeZeroSample) {
    TransferFunction transfer;
    if (!usableLength(measured.size()) || reference.size() != measured.size()) return transfer;
    RealTransform transform(static_cast<std::uint32_t>(measured.size()));
    const std::optional<SpectraOfPair> pair = spectraOfPair(transform, measured, reference);
    if (!pair) return transfer;
    const std::vector<std::complex<double>>& m = pair->measured;
    const std::vector<std::complex<double>>& r = pair->reference;
    const double floor = kRegularisation * pair->largestReference;
    transfer.spectrum.resize(m.size());
    for (std::size_t k = 0; k < m.size(); ++k) {
        transfer.spectrum[k] = m[k] * std::conj(r[k]) / (std::norm(r[k]) + floor);
    }
    transfer.sampleRate = sampleRate;
    transfer.timeZeroSample = timeZeroSample;
    transfer.impulse = impulseOf(transform, transfer.spectrum);
    return transfer;
}

TransferFunction transferFunctionOverReference(std::span<const double> measured,
                                               std::span<const double> reference,
                                               std::uint32_t sampleRate,
                                               std::int64_t timeZeroSample) {
    TransferFunction transfer;
    if (!usableLength(measured.size()) || reference.size() != measured.size()) return transfer;
    RealTransform transform(static_cast<std::uint32_t>(measured.size()));
    const std::optional<SpectraOfPair> pair = spectraOfPair(transform, measured, reference);
    if (!pair) return transfer;
    const std::vector<std::complex<double>>& m = pair->measured;
    const std::vector<std::complex<double>>& r = pair->reference;
    const double empty = kReferenceEmptyShare * pair->largestReference;
    std::vector<std::size_t> energetic;
    for (std::size_t k = 0; k < r.size(); ++k)
        if (std::norm(r[k]) >= empty) energetic.push_back(k);
    transfer.spectrum.resize(m.size());
    for (std::size_t k : energetic) transfer.spectrum[k] = m[k] / r[k];
    // Each empty bin takes the value of the nearest bin with energy (the
    // lower one where two are as near).
    std::size_t next = 0;  // the first energetic bin at or above k
    for (std::size_t k = 0; k < r.size(); ++k) {
        while (next < energetic.size() && energetic[next] < k) ++next;
        if (next < energetic.size() && energetic[next] == k) continue;
        const bool above = next < energetic.size();
        const bool below = next > 0;
        std::size_t from = above ? energetic[next] : energetic[next - 1];
        if (above && below && k - energetic[next - 1] <= energetic[next] - k)
            from = energetic[next - 1];
        transfer.spectrum[k] = transfer.spectrum[from];
    }
    for (std::complex<double>* edge : {&transfer.spectrum.front(), &transfer.spectrum.back()}) {
        *edge = {std::copysign(std::abs(*edge), edge->real()), 0.0};
    }
    transfer.sampleRate = sampleRate;
    transfer.timeZeroSample = timeZeroSample;
    transfer.impulse = impulseOf(transform, transfer.spectrum);
    return transfer;
}

void divideByCorrection(TransferFunction& transfer,
                        std::span<const std::complex<double>> correction) {
    if (transfer.empty() || correction.size() != transfer.spectrum.size()) return;
    for (std::size_t k = 0; k < correction.size(); ++k) {
        if (std::abs(correction[k]) > 0.0) transfer.spectrum[k] /= correction[k];
    }
    // The values at 0 and rate/2 of a real response are real: a phase there
    // turns only the sign.
    for (std::complex<double>* edge : {&transfer.spectrum.front(), &transfer.spectrum.back()}) {
        *edge = {std::copysign(std::abs(*edge), edge->real()), 0.0};
    }
    RealTransform transform(static_cast<std::uint32_t>(transfer.points()));
    transfer.impulse = impulseOf(transform, transfer.spectrum);
}

void holdOutsideBand(TransferFunction& transfer, double lowHz, double highHz) {
    if (transfer.empty()) return;
    RealTransform transform(static_cast<std::uint32_t>(transfer.points()));
    holdOutsideBand(transfer, lowHz, highHz, transform);
}

void holdOutsideBand(TransferFunction& transfer, double lowHz, double highHz,
                     RealTransform& transform) {
    if (transfer.empty() || transform.size() != transfer.points()) return;
    const std::size_t last = transfer.spectrum.size() - 1;
    const double width = transfer.binWidthHz();
    // The band's outermost bins that lie inside it.
    const auto bin = [&](double bins) {
        return static_cast<std::size_t>(std::clamp(bins, 0.0, double(last)));
    };
    const std::size_t low = bin(std::ceil(lowHz / width));
    const std::size_t high = std::max(bin(std::floor(highHz / width)), low);
    std::fill(transfer.spectrum.begin(), transfer.spectrum.begin() + std::ptrdiff_t(low),
              transfer.spectrum[low]);
    std::fill(transfer.spectrum.begin() + std::ptrdiff_t(high) + 1, transfer.spectrum.end(),
              transfer.spectrum[high]);
    for (std::complex<double>* edge : {&transfer.spectrum.front(), &transfer.spectrum.back()}) {
        *edge = {std::copysign(std::abs(*edge), edge->real()), 0.0};
    }
    transfer.impulse = impulseOf(transform, transfer.spectrum);
}

}  // namespace ressona
