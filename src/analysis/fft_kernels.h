#pragma once
// The transform's inner loops, private to the analysis code. Both forms do the
// same operations on every value in the same order as the stage-by-stage
// description in fft.cpp, so they give identical results; the vector form only
// processes several butterflies per instruction.

#include <cstddef>
#include <cstdint>

#include "state/sample_types.h"

namespace ressona::fft_detail {

// Runs every butterfly stage over data[0..n-1]. factors holds each stage's
// factors U(0..half-1), stage 1 (half = n/2) first, n - 1 values in all.
void runStagesPortable(ComplexValue* data, std::size_t n, const ComplexValue* factors);

// Puts data[i] at the position whose `stages` low bits are those of i in
// reverse order. pairs lists the exchanges (i, j), i < j, of sizes below
// kTiledReversalMinSize; larger sizes move tiles and do not need it.
inline constexpr std::size_t kTiledReversalMinSize = 8192;
void reverseBitOrder(ComplexValue* data, std::int32_t stages, const std::uint32_t* pairs,
                     std::size_t pairCount);

// The `bits` low bits of value in reverse order.
std::uint32_t reversed(std::uint32_t value, std::int32_t bits);

// out[k] = data[reversed(k, stages)] for k < count (count at most 2^stages),
// each part times scale when scaled: the first values of a transform whose
// stages have run, in natural order, leaving data as it is.
void copyReversedLeading(const ComplexValue* data, std::int32_t stages, ComplexValue* out,
                         std::size_t count, bool scaled, float scale);

// Multiplies the real and imaginary part of every value by scale.
void scalePortable(ComplexValue* data, std::size_t n, float scale);

// True when the processor has the vector unit the vector form needs (AVX).
bool vectorFormAvailable();
// The vector form; n must be at least 8. Only call when vectorFormAvailable().
void runStagesVector(ComplexValue* data, std::size_t n, const ComplexValue* factors);
void scaleVector(ComplexValue* data, std::size_t n, float scale);

// True when the processor also has AVX-512.
bool widestFormAvailable();

// What the split form needs besides the values: wideFactors each stage's
// factors down to half 8 (real parts, then imaginary ones, 2n - 16 floats),
// narrowFactors the seven of the stages of half 4, 2 and 1, work room for 2n
// floats; both float buffers 64-byte aligned. With widest, the stages of half
// 16 and more use AVX-512.
struct SplitTables {
    const float* wideFactors;
    const ComplexValue* narrowFactors;
    float* work;
    bool widest;
};

// The transform of data[0..n-1] in the split form, n at least kSplitMinSize:
// its first count values in natural order (times scale when scaled) go to
// out, which may be data itself; data is read before out is written. Only call
// when vectorFormAvailable() (and widestFormAvailable() for widest).
inline constexpr std::size_t kSplitMinSize = 64;
void runSplitVector(const ComplexValue* data, std::size_t n, std::int32_t stages,
                    const SplitTables& tables, ComplexValue* out, std::size_t count, bool scaled,
                    float scale);

}  // namespace ressona::fft_detail
