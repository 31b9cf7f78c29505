#include "analysis/real_transform.h"

#include <cmath>
#include <numbers>

namespace ressona {

namespace {

// Double-precision complex values for the pass that separates (or joins) the
// two halves' spectra. Written out rather than std::complex: its products
// check every result for NaN and branch to a library call, which made this
// pass cost twice the transform itself. Each operation is the one the
// compiler makes of the std::complex expression it replaces, term for term,
// so the results are the same to the last bit (a product with a purely
// imaginary constant, i b, is -(b y) + i b x, as the compiler makes it).
struct Complex {
    double re = 0.0;
    double im = 0.0;
};

Complex toComplex(ComplexValue v) {
    return {v.re, v.im};
}
ComplexValue toValue(Complex c) {
    return {static_cast<float>(c.re), static_cast<float>(c.im)};
}
Complex operator+(Complex a, Complex b) {
    return {a.re + b.re, a.im + b.im};
}
Complex operator-(Complex a, Complex b) {
    return {a.re - b.re, a.im - b.im};
}
Complex operator*(Complex a, Complex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
Complex operator*(double scale, Complex a) {
    return {a.re * scale, a.im * scale};
}
Complex conj(Complex a) {
    return {a.re, -a.im};
}
// i b times a.
Complex timesImaginary(double b, Complex a) {
    return {-(b * a.im), b * a.re};
}

// The largest transform done in one step: its error is near 1e-5.
constexpr std::uint32_t kLargestSingleStep = 1024;
// Columns moved together in the two-step form: 8 complex values are a cache
// line. Rows and columns there are powers of two of at least 32.
constexpr std::uint32_t kBlock = 8;

ComplexValue times(ComplexValue a, ComplexValue b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

ComplexValue conjugate(ComplexValue a) {
    return {a.re, -a.im};
}

}  // namespace

RealTransform::RealTransform(std::uint32_t realSize, TransformPrecision precision) {
    if (realSize < 4 || realSize > kRealTransformLargest || (realSize & (realSize - 1)) != 0)
        return;
    size_ = realSize;
    const std::uint32_t half = realSize / 2;
    work_.resize(half);
    if (half > kLargestSingleStep && precision == TransformPrecision::Fine) {
        // half = rows x columns, both powers of two, columns the larger.
        rows_ = 1;
        while (rows_ * rows_ < half) rows_ *= 2;
        if (rows_ * rows_ > half) rows_ /= 2;
        columns_ = half / rows_;
        between_.resize(half);
        for (std::uint32_t r = 0; r < rows_; ++r) {
            for (std::uint32_t c = 0; c < columns_; ++c) {
                const double angle =
                    2.0 * std::numbers::pi * static_cast<double>(r) * c / static_cast<double>(half);
                between_[std::size_t(r) * columns_ + c] = {static_cast<float>(std::cos(angle)),
                                                           static_cast<float>(-std::sin(angle))};
            }
        }
        line_.resize(std::size_t(rows_) * kBlock);
    } else {
        rows_ = half;
        columns_ = 1;
    }
    // A quarter turn of steps: the rest follow by symmetry.
    steps_.resize(half / 2 + 1);
    for (std::uint32_t k = 0; k <= half / 2; ++k) {
        const double angle = 2.0 * std::numbers::pi * k / realSize;
        steps_[k] = {static_cast<float>(std::cos(angle)), static_cast<float>(-std::sin(angle))};
    }
}

// X(r + R c') = sum over c of e^(-+2 pi i rc/M) [sum over r' of x(C r' + c) e^(-+2 pi i r r'/R)]
// e^(-+2 pi i c c'/C), M = R C: transforms of R points down the columns, the
// factors between, transforms of C points along the rows.
void RealTransform::transformWork(bool forward) {
    const int direction = forward ? 1 : -1;
    if (columns_ == 1) {
        fft(forward ? rowsForward_ : rowsInverse_, work_, static_cast<std::int32_t>(rows_),
            direction);
        return;
    }
    // Columns go kBlock at a time, and the transpose in kBlock x kBlock
    // tiles, so that every cache line read or written is used whole: one
    // column at a time touched a line per value, and these moves took more
    // time than the transforms. The arithmetic is the same value for value.
    for (std::uint32_t c0 = 0; c0 < columns_; c0 += kBlock) {
        for (std::uint32_t r = 0; r < rows_; ++r) {
            const ComplexValue* from = &work_[std::size_t(r) * columns_ + c0];
            for (std::uint32_t j = 0; j < kBlock; ++j) line_[std::size_t(j) * rows_ + r] = from[j];
        }
        for (std::uint32_t j = 0; j < kBlock; ++j) {
            fft(forward ? rowsForward_ : rowsInverse_,
                std::span<ComplexValue>(line_.data() + std::size_t(j) * rows_, rows_),
                static_cast<std::int32_t>(rows_), direction);
        }
        for (std::uint32_t r = 0; r < rows_; ++r) {
            const std::size_t at = std::size_t(r) * columns_ + c0;
            for (std::uint32_t j = 0; j < kBlock; ++j) {
                const ComplexValue factor = between_[at + j];
                work_[at + j] =
                    times(line_[std::size_t(j) * rows_ + r], forward ? factor : conjugate(factor));
            }
        }
    }
    // Row r now holds the inputs of the second step for outputs r + R c'.
    for (std::uint32_t r = 0; r < rows_; ++r) {
        std::span<ComplexValue> row(work_.data() + std::size_t(r) * columns_, columns_);
        fft(forward ? columnsForward_ : columnsInverse_, row, static_cast<std::int32_t>(columns_),
            direction);
    }
    // Output r + R c' sits at row r, column c': transpose into natural order.
    std::vector<ComplexValue>& ordered = scratch_;
    ordered.resize(work_.size());
    for (std::uint32_t r0 = 0; r0 < rows_; r0 += kBlock) {
        for (std::uint32_t c0 = 0; c0 < columns_; c0 += kBlock) {
            for (std::uint32_t c = c0; c < c0 + kBlock; ++c) {
                for (std::uint32_t r = r0; r < r0 + kBlock; ++r)
                    ordered[r + std::size_t(rows_) * c] = work_[std::size_t(r) * columns_ + c];
            }
        }
    }
    work_.swap(ordered);
}

void RealTransform::forward(std::span<const float> signal, std::vector<ComplexValue>& spectrum) {
    if (size_ == 0 || signal.size() < size_) return;
    const std::uint32_t half = size_ / 2;
    for (std::uint32_t n = 0; n < half; ++n) work_[n] = {signal[2 * n], signal[2 * n + 1]};
    transformWork(true);
    spectrum.resize(half + 1);
    // X(k) = E(k) + w^k O(k), E and O the spectra of the even and odd samples:
    // E(k) = (Z(k) + conj Z(M-k)) / 2, O(k) = (Z(k) - conj Z(M-k)) / 2i.
    for (std::uint32_t k = 0; k <= half / 2; ++k) {
        const Complex z = toComplex(work_[k]);
        const Complex zMirror = conj(toComplex(work_[k == 0 ? 0 : half - k]));
        const Complex even = 0.5 * (z + zMirror);
        const Complex odd = timesImaginary(-0.5, z - zMirror);
        const Complex w = toComplex(steps_[k]);
        spectrum[k] = toValue(even + w * odd);
        // X(M-k) = E(M-k) + w^(M-k) O(M-k) = conj E(k) - conj(w^k) conj O(k), as w^M = -1.
        spectrum[half - k] = toValue(conj(even) - conj(w) * conj(odd));
    }
}

void RealTransform::inverse(std::span<const ComplexValue> spectrum, std::vector<float>& signal) {
    if (size_ == 0 || spectrum.size() < size_ / 2 + 1) return;
    const std::uint32_t half = size_ / 2;
    for (std::uint32_t k = 0; k <= half / 2; ++k) {
        const Complex x = toComplex(spectrum[k]);
        const Complex xMirror = conj(toComplex(spectrum[half - k]));
        // E(k) = (X(k) + conj X(M-k)) / 2, O(k) = (X(k) - conj X(M-k)) / 2 w^k.
        const Complex even = 0.5 * (x + xMirror);
        const Complex odd = 0.5 * (x - xMirror) * conj(toComplex(steps_[k]));
        work_[k] = toValue(even + timesImaginary(1.0, odd));
        if (k != 0 && k != half - k) {
            // Z(M-k) = E(M-k) + i O(M-k) = conj E(k) + i conj O(k).
            work_[half - k] = toValue(conj(even) + timesImaginary(1.0, conj(odd)));
        }
    }
    transformWork(false);
    signal.resize(size_);
    for (std::uint32_t n = 0; n < half; ++n) {
        signal[2 * n] = work_[n].re;
        signal[2 * n + 1] = work_[n].im;
    }
}

}  // namespace ressona
