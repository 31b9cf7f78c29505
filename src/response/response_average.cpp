#include "response/response_average.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ressona {

namespace {

constexpr double kSharedBandDb = 60.0;

double highestMagnitude(const Spectrum& response) {
    double highest = 0.0;
    for (const auto& value : response) highest = std::max(highest, std::abs(value));
    return highest;
}

// The phase at each position with whole turns added so that no step exceeds half a turn.
std::vector<double> unwrappedPhase(const Spectrum& response) {
    std::vector<double> phase(response.size());
    double previous = 0.0;
    for (std::size_t k = 0; k < response.size(); ++k) {
        double value = std::arg(response[k]);
        if (k > 0) {
            value +=
                2.0 * std::numbers::pi * std::round((previous - value) / (2.0 * std::numbers::pi));
        }
        phase[k] = previous = value;
    }
    return phase;
}

// Magnitudes and unwrapped phases averaged, magnitude by `kind`.
Spectrum averageOfMagnitudes(std::span<const Spectrum> responses, AverageKind kind) {
    const std::size_t size = responses.front().size();
    std::vector<double> magnitude(size, 0.0);
    std::vector<double> phase(size, 0.0);
    for (const Spectrum& response : responses) {
        const std::vector<double> unwrapped = unwrappedPhase(response);
        for (std::size_t k = 0; k < size; ++k) {
            const double value = std::abs(response[k]);
            magnitude[k] +=
                kind == AverageKind::Rms ? value * value : std::log(std::max(value, 1e-300));
            phase[k] += unwrapped[k];
        }
    }
    const double count = static_cast<double>(responses.size());
    Spectrum average(size);
    for (std::size_t k = 0; k < size; ++k) {
        const double mean = magnitude[k] / count;
        const double level = kind == AverageKind::Rms ? std::sqrt(mean) : std::exp(mean);
        average[k] = std::polar(level, phase[k] / count);
    }
    return average;
}

}  // namespace

std::optional<AverageKind> averageKindNamed(std::string_view name) {
    if (name == "rms") return AverageKind::Rms;
    if (name == "db") return AverageKind::Db;
    if (name == "vector") return AverageKind::Vector;
    return {};
}

double delayAgainst(const Spectrum& first, const Spectrum& other) {
    if (first.size() != other.size() || first.size() < 3) return 0.0;
    Spectrum cross(first.size());
    for (std::size_t k = 0; k < first.size(); ++k) cross[k] = std::conj(first[k]) * other[k];
    const std::vector<double> correlation = realSignal(cross);
    if (correlation.empty()) return 0.0;
    const std::size_t points = correlation.size();
    const auto peak = static_cast<std::size_t>(
        std::max_element(correlation.begin(), correlation.end()) - correlation.begin());
    const double before = correlation[(peak + points - 1) % points];
    const double at = correlation[peak];
    const double after = correlation[(peak + 1) % points];
    const double curvature = before - 2.0 * at + after;
    const double between = curvature < 0.0 ? 0.5 * (before - after) / curvature : 0.0;
    return signedSample(peak, points) + between;
}

void removeDelay(Spectrum& response, double samples) {
    if (response.size() < 2) return;
    const double points = 2.0 * static_cast<double>(response.size() - 1);
    for (std::size_t k = 0; k < response.size(); ++k) {
        response[k] *= std::polar(1.0, 2.0 * std::numbers::pi * k * samples / points);
    }
    // The Nyquist value of a real response stays real (a shift by part of a
    // sample would turn it): its projection on the real axis.
    response.back() = response.back().real();
}

double levelAbove(const Spectrum& first, const Spectrum& other) {
    if (first.size() != other.size()) return 0.0;
    const double firstFloor = highestMagnitude(first) * std::pow(10.0, -kSharedBandDb / 20.0);
    const double otherFloor = highestMagnitude(other) * std::pow(10.0, -kSharedBandDb / 20.0);
    std::vector<double> differences;
    for (std::size_t k = 0; k < first.size(); ++k) {
        const double a = std::abs(first[k]);
        const double b = std::abs(other[k]);
        if (a > firstFloor && b > otherFloor && a > 0.0 && b > 0.0)
            differences.push_back(20.0 * std::log10(b / a));
    }
    if (differences.empty()) return 0.0;
    const auto middle = differences.begin() + static_cast<std::ptrdiff_t>(differences.size() / 2);
    std::nth_element(differences.begin(), middle, differences.end());
    return *middle;
}

void removeLevel(Spectrum& response, double db) {
    const double gain = std::pow(10.0, -db / 20.0);
    for (auto& value : response) value *= gain;
}

Spectrum averageResponses(std::span<const Spectrum> responses, AverageKind kind) {
    if (responses.empty()) return {};
    const std::size_t size = responses.front().size();
    for (const Spectrum& response : responses) {
        if (response.size() != size) return {};
    }
    if (kind != AverageKind::Vector) return averageOfMagnitudes(responses, kind);
    Spectrum sum(size);
    for (const Spectrum& response : responses) {
        for (std::size_t k = 0; k < size; ++k) sum[k] += response[k];
    }
    for (auto& value : sum) value /= static_cast<double>(responses.size());
    return sum;
}

}  // namespace ressona
