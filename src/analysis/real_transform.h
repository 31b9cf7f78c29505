#pragma once
// Transforms of real signals of P samples through the program's complex
// transform: the even samples go into the real parts, the odd ones into the
// imaginary parts of P/2 points, and one pass of step factors separates the
// two halves' spectra (or joins them again). Twice as fast as a complex
// transform of P points, and it reaches P = 2^21.
//
// The program's transform builds its step factors by repeated products in
// single precision, which leaves errors of up to 5e-4 of the largest value at
// 16384 points and above, too much for the harmonics of a sweep 90 dB down.
// Above 1024 points the P/2 points are therefore transformed in two steps of
// at most 1024 points each (rows, then columns, with the factors between
// them computed in double precision), where the error stays near 1e-5.

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/fft.h"
#include "state/sample_types.h"

namespace ressona {

inline constexpr std::uint32_t kRealTransformLargest = 1u << (kFftMaxStages + 1);

// Fine: the two steps above 1024 points, for spectra that are shown or
// divided. Coarse: always one step, several times faster where only peaks
// are looked for (errors of up to 5e-4 of the largest value).
enum class TransformPrecision : std::uint8_t { Fine, Coarse };

class RealTransform {
  public:
    // P must be a power of two from 4 to kRealTransformLargest; size() is 0 for another.
    explicit RealTransform(std::uint32_t realSize,
                           TransformPrecision precision = TransformPrecision::Fine);

    std::uint32_t size() const { return size_; }

    // spectrum[k] = sum over n of signal[n] e^(-2 pi i nk/P), k = 0..P/2 (P/2 + 1
    // values, unscaled). signal holds P samples.
    void forward(std::span<const float> signal, std::vector<ComplexValue>& spectrum);
    // signal[n] = (1/P) sum over k of X(k) e^(+2 pi i nk/P), n = 0..P-1, where X
    // is the spectrum given for k = 0..P/2 and its mirror image above.
    void inverse(std::span<const ComplexValue> spectrum, std::vector<float>& signal);

  private:
    // work_ transformed in place: forward unscaled e^-, inverse scaled e^+.
    void transformWork(bool forward);

    std::uint32_t size_ = 0;
    std::vector<ComplexValue> work_;   // P/2 complex values
    std::vector<ComplexValue> steps_;  // e^(-2 pi i k/P), k = 0..P/4
    // The two-step split of P/2 = rows x columns (columns_ = 1: one step).
    std::uint32_t rows_ = 0;
    std::uint32_t columns_ = 1;
    std::vector<ComplexValue> between_;  // e^(-2 pi i r c / (P/2)), row by row
    std::vector<ComplexValue> line_;
    std::vector<ComplexValue> scratch_;
    // Each size and direction keeps its own step factors.
    FourierTransform rowsForward_, rowsInverse_, columnsForward_, columnsInverse_;
};

}  // namespace ressona
