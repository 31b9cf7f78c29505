#include "platform/sim/block_convolution.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ressona {

namespace {

// The transform is this many times the response's length (rounded up to a
// power of two): each block then yields three quarters of it as output.
constexpr std::size_t kBlockPerTaps = 4;

// In place, natural order in and out: X(k) = sum x(n) e^(-+2 pi i nk/N)
// (forward: minus), unscaled.
void transform(std::vector<std::complex<double>>& data,
               const std::vector<std::complex<double>>& roots, bool forward) {
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const std::size_t stride = n / length;
        for (std::size_t start = 0; start < n; start += length) {
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> root =
                    forward ? roots[k * stride] : std::conj(roots[k * stride]);
                const std::complex<double> odd = data[start + k + length / 2] * root;
                data[start + k + length / 2] = data[start + k] - odd;
                data[start + k] += odd;
            }
        }
    }
}

}  // namespace

BlockConvolver::BlockConvolver(std::span<const double> h) : taps_(std::max<std::size_t>(h.size(), 1)) {
    size_ = 2;
    while (size_ < kBlockPerTaps * taps_) size_ *= 2;
    roots_.resize(size_ / 2);
    for (std::size_t k = 0; k < roots_.size(); ++k)
        roots_[k] = std::polar(1.0, -2.0 * std::numbers::pi * double(k) / double(size_));
    response_.assign(size_, 0.0);
    std::copy(h.begin(), h.end(), response_.begin());
    transform(response_, roots_, true);
}

void BlockConvolver::convolve(std::span<const double> played, std::span<double> out) const {
    // Overlap-save: a block of size_ inputs gives size_ - taps + 1 whole outputs.
    const std::size_t step = size_ - taps_ + 1;
    std::vector<std::complex<double>> block(size_);
    for (std::size_t first = 0; first < out.size(); first += step) {
        const std::size_t count = std::min(step, out.size() - first);
        const std::size_t inputs = std::min(size_, played.size() - first);
        std::fill(block.begin(), block.end(), 0.0);
        std::copy_n(played.begin() + std::ptrdiff_t(first), inputs, block.begin());
        transform(block, roots_, true);
        for (std::size_t k = 0; k < size_; ++k) block[k] *= response_[k];
        transform(block, roots_, false);
        for (std::size_t i = 0; i < count; ++i)
            out[first + i] = block[i + taps_ - 1].real() / double(size_);
    }
}

}  // namespace ressona
