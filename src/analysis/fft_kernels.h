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

}  // namespace ressona::fft_detail
