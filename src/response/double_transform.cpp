#include "response/double_transform.h"

#include "analysis/real_transform.h"

namespace ressona {

Spectrum realSpectrum(std::span<const double> signal) {
    RealTransform transform(static_cast<std::uint32_t>(signal.size()));
    if (transform.size() == 0 || transform.size() != signal.size()) return {};
    const std::vector<float> samples(signal.begin(), signal.end());
    std::vector<ComplexValue> values;
    transform.forward(samples, values);
    Spectrum spectrum;
    spectrum.reserve(values.size());
    for (const ComplexValue& value : values) spectrum.emplace_back(value.re, value.im);
    return spectrum;
}

std::vector<double> realSignal(std::span<const std::complex<double>> spectrum) {
    if (spectrum.size() < 3) return {};
    const auto points = static_cast<std::uint32_t>(2 * (spectrum.size() - 1));
    RealTransform transform(points);
    if (transform.size() != points) return {};
    std::vector<ComplexValue> values;
    values.reserve(spectrum.size());
    for (const std::complex<double>& value : spectrum) {
        values.push_back({static_cast<float>(value.real()), static_cast<float>(value.imag())});
    }
    std::vector<float> samples;
    transform.inverse(values, samples);
    return {samples.begin(), samples.end()};
}

}  // namespace ressona
