#pragma once
// The program's one Fourier transform: in-place, radix-2, decimation in
// frequency, over single-precision complex values, with a cache of step
// factors kept between calls. Every spectrum the program shows comes from the
// scaled, positive-exponent form (direction -1).

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "state/sample_types.h"

namespace ressona {

// 2*pi as the single-precision constant the transform derives its angle from.
inline constexpr float kFftTwoPi = 6.2831855f;
inline constexpr std::int32_t kFftMaxStages = 20;  // N up to 2^20

// The transform's cache. Owned by the program state (one per program, or one
// per test); fft() rebuilds it when the size or the sign of the direction changes.
struct FourierTransform {
    std::int32_t cachedSize = 0;       // 2^m of the last call; 0 before the first
    std::int32_t cachedDirection = 0;  // direction of the last twiddle rebuild
    std::int32_t cachedStages = 0;     // m
    float inverseSize = 0.0f;          // 1/N
    float baseCos = 0.0f;              // cos(2*pi/N)
    float baseSin = 0.0f;              // sin(2*pi/N)
    // T(1)..T(m) at positions 0..m-1: T(1) = e^(-+i*2*pi/N), each next one the square of the last.
    std::array<ComplexValue, kFftMaxStages> twiddle{};

    // Derived from the twiddles at each rebuild, so that a call only does
    // butterflies: every stage's factors U(0..half-1) exactly as the
    // stage-by-stage products give them, stage 1 first; and the exchanges of
    // the bit-reversal reordering.
    std::vector<ComplexValue> stageFactors;
    std::vector<std::uint32_t> reversalPairs;  // i, j with i < j, pairwise
    // For the vector form from 64 points: the factors of every stage of half 8
    // or more as real parts, then imaginary ones, stage 1 first; and room for
    // the values so held while the stages run. Both are used from their first
    // 64-byte boundary on.
    std::vector<float> splitFactors;
    std::vector<float> splitWork;
    // Use the processor's vector unit when it has one; tests clear it to
    // check the portable path against the vector path.
    bool allowVector = true;
    // Use the widest vector unit (AVX-512) for the stages that can; tests clear
    // it to check the AVX form on processors that have both.
    bool allowWidest = true;
};

// Transforms data[0..pointCount-1] in place, output in natural order:
//   direction > 0:  X(k) = sum x(n) e^(-2 pi i nk/N)          (unscaled)
//   direction == 0: X(k) = (1/N) sum x(n) e^(-2 pi i nk/N)
//   direction < 0:  X(k) = (1/N) sum x(n) e^(+2 pi i nk/N)
// pointCount must be a power of two from 2 to 2^20 and fit in data; any other
// size leaves data untouched.
void fft(FourierTransform& transform, std::span<ComplexValue> data, std::int32_t pointCount,
         std::int32_t direction);

// The first leading.size() values X(0..) of fft(transform, data, pointCount,
// direction), bit for bit, written to leading; data serves as working room and
// holds nothing of use afterwards. For callers that need only part of the
// spectrum: the values not asked for are neither reordered nor scaled.
// leading.size() must not exceed pointCount; with a size fft() refuses,
// nothing is touched.
void fftLeading(FourierTransform& transform, std::span<ComplexValue> data, std::int32_t pointCount,
                std::int32_t direction, std::span<ComplexValue> leading);

// The vector extensions fft() uses on this processor: "avx512f+avx" (the
// stages of half 16 and more sixteen values per instruction, the rest eight),
// "avx" (eight or four values per instruction) or "portable". For benchmarks
// and reports.
const char* fftKernelName();

}  // namespace ressona
