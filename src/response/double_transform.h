#pragma once
// Real signals and their spectra in double precision over the program's real
// transform, for the phase and time views of a response. A signal of P
// samples (a power of two from 4 to 2^21) has P/2 + 1 spectrum values, at
// k x rate / P for k = 0..P/2.

#include <complex>
#include <span>
#include <vector>

namespace ressona {

using Spectrum = std::vector<std::complex<double>>;

// X(k) = sum over n of x(n) e^(-2 pi i nk/P), k = 0..P/2; empty when P is no
// power of two in range.
Spectrum realSpectrum(std::span<const double> signal);

// x(n) = (1/P) sum over k of X(k) e^(+2 pi i nk/P), n = 0..P-1, X given for
// k = 0..P/2 and mirrored above (P = 2 x (size - 1)); empty for another size.
std::vector<double> realSignal(std::span<const std::complex<double>> spectrum);

// The time of sample n of a circular response of P samples in samples: n for
// the first half, n - P for the second (what came before time zero).
inline double signedSample(std::size_t n, std::size_t points) {
    return n < points / 2 ? static_cast<double>(n)
                          : static_cast<double>(n) - static_cast<double>(points);
}

}  // namespace ressona
