#pragma once
// The simulated card's convolution for long responses (a hall's, some
// 100 000 taps): overlap-save with a transform of a few times the response's
// length, in double precision, so that a pass of a million samples costs a
// few transforms instead of 10^11 products. The platform sits below the
// program's own transform, and a reference system wants double precision
// anyway, so the card keeps a plain radix-2 transform of its own.

#include <complex>
#include <span>
#include <vector>

namespace ressona {

class BlockConvolver {
  public:
    // h: the impulse response, first tap first (at least one tap).
    explicit BlockConvolver(std::span<const double> h);

    std::size_t taps() const { return taps_; }

    // out[i] = sum over k of h[k] x played[i + taps - 1 - k], i = 0 .. out.size() - 1;
    // played must hold out.size() + taps - 1 values.
    void convolve(std::span<const double> played, std::span<double> out) const;

  private:
    std::size_t taps_ = 0;
    std::size_t size_ = 0;                             // the transform's length, a power of two
    std::vector<std::complex<double>> response_;       // the transform of h, zero-padded
    std::vector<std::complex<double>> roots_;          // e^(-2 pi i k / size), k < size / 2
};

}  // namespace ressona
