#include "analysis/fft.h"

#include <cmath>
#include <cstdlib>

#include "analysis/fft_kernels.h"

namespace ressona {

namespace {

// The vector forms' loads want 64-byte boundaries; a vector's storage only
// promises 16. Buffers get kAlignmentSlack floats more and start at the first boundary.
constexpr std::size_t kAlignment = 64;
constexpr std::size_t kAlignmentSlack = kAlignment / sizeof(float);

float* alignedStart(std::vector<float>& buffer) {
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::size_t skip = ((kAlignment - address % kAlignment) % kAlignment) / sizeof(float);
    return buffer.data() + skip;
}

bool acceptableSize(std::int32_t n, std::size_t available) {
    if (n < 2 || n > (1 << kFftMaxStages)) return false;
    if ((n & (n - 1)) != 0) return false;
    return static_cast<std::size_t>(n) <= available;
}

// The size part of the cache: stage count, 1/N and the base angle's cos and sin.
// The trigonometric functions run only here, twice per change of size.
void rebuildForSize(FourierTransform& t, std::int32_t n) {
    std::int32_t m = 0;
    std::int32_t p = 1;
    do {
        ++m;
        p *= 2;
    } while (p < n);
    t.cachedStages = m;
    t.cachedSize = p;
    t.inverseSize = 1.0f / static_cast<float>(n);
    const float theta = t.inverseSize * kFftTwoPi;
    t.baseCos = static_cast<float>(std::cos(static_cast<double>(theta)));
    t.baseSin = static_cast<float>(std::sin(static_cast<double>(theta)));

    // The exchanges of the bit-reversal reordering depend on the size alone;
    // larger sizes are reordered tile by tile without a list.
    t.splitWork.clear();
    if (static_cast<std::size_t>(n) >= fft_detail::kSplitMinSize) {
        t.splitWork.resize(2 * static_cast<std::size_t>(n) + kAlignmentSlack);
    }
    t.reversalPairs.clear();
    if (static_cast<std::size_t>(n) >= fft_detail::kTiledReversalMinSize) return;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(n); ++i) {
        std::uint32_t j = 0;
        std::uint32_t bits = i;
        for (std::int32_t b = 0; b < m; ++b) {
            j = (j << 1) | (bits & 1u);
            bits >>= 1;
        }
        if (j > i) {
            t.reversalPairs.push_back(i);
            t.reversalPairs.push_back(j);
        }
    }
}

// Copies each wide stage's factors (half 8 or more) from the interleaved list,
// as that stage's real parts followed by its imaginary parts.
void splitWideFactors(FourierTransform& t, std::size_t n) {
    t.splitFactors.assign(2 * n + kAlignmentSlack, 0.0f);
    float* out = alignedStart(t.splitFactors);
    const ComplexValue* in = t.stageFactors.data();
    for (std::size_t half = n / 2; half >= 8; half /= 2) {
        for (std::size_t j = 0; j < half; ++j) {
            out[j] = in[j].re;
            out[half + j] = in[j].im;
        }
        out += 2 * half;
        in += half;
    }
}

ComplexValue times(ComplexValue u, ComplexValue w) {
    return {w.re * u.re - w.im * u.im, w.re * u.im + w.im * u.re};
}

// The direction part: T(1) = e^(-i*theta) for a positive (or zero) direction,
// e^(+i*theta) for a negative one; each later stage factor is the square of
// the one before, never a fresh cos and sin. Then every stage's running
// factors U(j), built by the same products the butterfly loop would form.
void rebuildTwiddles(FourierTransform& t, std::int32_t n, std::int32_t direction) {
    const float sign = direction < 0 ? -1.0f : 1.0f;
    ComplexValue step{t.baseCos, -sign * std::fabs(t.baseSin)};
    t.twiddle[0] = step;
    for (std::int32_t k = 1; k < t.cachedStages; ++k) {
        step = {step.re * step.re - step.im * step.im, 2.0f * step.re * step.im};
        t.twiddle[static_cast<std::size_t>(k)] = step;
    }
    t.cachedDirection = direction;

    t.stageFactors.resize(static_cast<std::size_t>(n) - 1);
    std::size_t offset = 0;
    for (std::int32_t l = 1; l <= t.cachedStages; ++l) {
        const std::size_t half = static_cast<std::size_t>(n) >> l;
        const ComplexValue w = t.twiddle[static_cast<std::size_t>(l - 1)];
        ComplexValue u{1.0f, 0.0f};
        for (std::size_t j = 0; j < half; ++j) {
            t.stageFactors[offset + j] = u;
            u = times(u, w);
        }
        offset += half;
    }
    if (static_cast<std::size_t>(n) >= fft_detail::kSplitMinSize) {
        splitWideFactors(t, static_cast<std::size_t>(n));
    }
}

// Brings the cache up to the size and direction. False (nothing done) for a
// size fft() refuses.
bool prepare(FourierTransform& transform, std::span<ComplexValue> data, std::int32_t pointCount,
             std::int32_t direction) {
    if (!acceptableSize(pointCount, data.size())) return false;
    bool rebuild = false;
    if (pointCount != transform.cachedSize) {
        rebuildForSize(transform, pointCount);
        rebuild = true;
    }
    // A product below 1 means the direction's sign changed, or one of them is 0.
    const auto signProduct = static_cast<std::int64_t>(direction) * transform.cachedDirection;
    if (rebuild || signProduct < 1) rebuildTwiddles(transform, pointCount, direction);
    return true;
}

// The vector unit is asked once; its answer does not change while the program runs.
bool vectorUnitPresent() {
    static const bool present = fft_detail::vectorFormAvailable();
    return present;
}

bool widestUnitPresent() {
    static const bool present = fft_detail::vectorFormAvailable() &&
                                fft_detail::widestFormAvailable();
    return present;
}

// Brings the cache up to the size and direction, then runs the butterfly
// stages: the values end in bit-reversed order, unscaled. False (nothing done)
// for a size fft() refuses.
bool runStages(FourierTransform& transform, std::span<ComplexValue> data, std::int32_t pointCount,
               std::int32_t direction, bool& vector) {
    if (!prepare(transform, data, pointCount, direction)) return false;
    const auto n = static_cast<std::size_t>(pointCount);
    vector = transform.allowVector && n >= 8 && vectorUnitPresent();
    if (vector) {
        fft_detail::runStagesVector(data.data(), n, transform.stageFactors.data());
    } else {
        fft_detail::runStagesPortable(data.data(), n, transform.stageFactors.data());
    }
    return true;
}

// The split vector form serves sizes from 64 on where the processor has AVX.
bool splitFormFits(const FourierTransform& transform, std::int32_t pointCount) {
    return transform.allowVector && pointCount >= 0 &&
           static_cast<std::size_t>(pointCount) >= fft_detail::kSplitMinSize && vectorUnitPresent();
}

// The split form over a prepared cache: the first count values, in natural
// order and scaled as direction asks, to out.
void runSplit(FourierTransform& transform, std::span<const ComplexValue> data,
              std::int32_t pointCount, std::int32_t direction, ComplexValue* out,
              std::size_t count) {
    const auto n = static_cast<std::size_t>(pointCount);
    // The last seven factors are those of the stages of half 4, 2 and 1.
    const fft_detail::SplitTables tables{alignedStart(transform.splitFactors),
                                         transform.stageFactors.data() + n - 8,
                                         alignedStart(transform.splitWork),
                                         transform.allowWidest && widestUnitPresent()};
    fft_detail::runSplitVector(data.data(), n, transform.cachedStages, tables, out, count,
                               direction <= 0, transform.inverseSize);
}

}  // namespace

void fft(FourierTransform& transform, std::span<ComplexValue> data, std::int32_t pointCount,
         std::int32_t direction) {
    if (splitFormFits(transform, pointCount)) {
        if (!prepare(transform, data, pointCount, direction)) return;
        runSplit(transform, data, pointCount, direction, data.data(), data.size());
        return;
    }
    bool vector = false;
    if (!runStages(transform, data, pointCount, direction, vector)) return;
    const auto n = static_cast<std::size_t>(pointCount);
    const bool scaled = direction <= 0;
    fft_detail::reverseBitOrder(data.data(), transform.cachedStages, transform.reversalPairs.data(),
                                transform.reversalPairs.size() / 2);
    if (!scaled) return;
    if (vector) {
        fft_detail::scaleVector(data.data(), n, transform.inverseSize);
    } else {
        fft_detail::scalePortable(data.data(), n, transform.inverseSize);
    }
}

void fftLeading(FourierTransform& transform, std::span<ComplexValue> data, std::int32_t pointCount,
                std::int32_t direction, std::span<ComplexValue> leading) {
    if (pointCount < 0 || leading.size() > static_cast<std::size_t>(pointCount)) return;
    if (splitFormFits(transform, pointCount)) {
        if (!prepare(transform, data, pointCount, direction)) return;
        runSplit(transform, data, pointCount, direction, leading.data(), leading.size());
        return;
    }
    bool vector = false;
    if (!runStages(transform, data, pointCount, direction, vector)) return;
    const float scale = direction <= 0 ? transform.inverseSize : 1.0f;
    fft_detail::copyReversedLeading(data.data(), transform.cachedStages, leading.data(),
                                    leading.size(), direction <= 0, scale);
}

const char* fftKernelName() {
    if (widestUnitPresent()) return "avx512f+avx";
    return vectorUnitPresent() ? "avx" : "portable";
}

namespace fft_detail {

// Stage l pairs positions half = n / 2^l apart within blocks of 2*half:
// t = a + b; b' = (a - b) * U(j); a' = t. The butterflies of one stage touch
// disjoint pairs, so running them block by block gives the same values as
// running them factor by factor.
void runStagesPortable(ComplexValue* data, std::size_t n, const ComplexValue* factors) {
    for (std::size_t half = n / 2; half >= 1; half /= 2) {
        const std::size_t span = 2 * half;
        for (std::size_t block = 0; block < n; block += span) {
            ComplexValue* a = data + block;
            ComplexValue* b = a + half;
            for (std::size_t j = 0; j < half; ++j) {
                const ComplexValue u = factors[j];
                const float sumRe = a[j].re + b[j].re;
                const float sumIm = a[j].im + b[j].im;
                const float diffRe = a[j].re - b[j].re;
                const float diffIm = a[j].im - b[j].im;
                b[j] = {diffRe * u.re - diffIm * u.im, diffRe * u.im + diffIm * u.re};
                a[j] = {sumRe, sumIm};
            }
        }
        factors += half;
    }
}

// Bits of `bits` of value, in reverse order.
std::uint32_t reversed(std::uint32_t value, std::int32_t bits) {
    std::uint32_t result = 0;
    for (std::int32_t b = 0; b < bits; ++b) {
        result = (result << 1) | (value & 1u);
        value >>= 1;
    }
    return result;
}

// Exchanging single values jumps all over the array. Instead the index is
// split into top, middle and low parts of 3, stages - 6 and 3 bits: reversal
// swaps top and low (each reversed) and reverses the middle, so the 8 x 8 values
// sharing one middle part (eight runs of eight neighbours) go, transposed, to
// the 8 x 8 values of the reversed middle part. Tiles are exchanged in pairs.
void reverseBitOrder(ComplexValue* data, std::int32_t stages, const std::uint32_t* pairs,
                     std::size_t pairCount) {
    if ((std::size_t{1} << stages) < kTiledReversalMinSize) {
        for (std::size_t k = 0; k < pairCount; ++k) {
            const ComplexValue keep = data[pairs[2 * k]];
            data[pairs[2 * k]] = data[pairs[2 * k + 1]];
            data[pairs[2 * k + 1]] = keep;
        }
        return;
    }
    constexpr std::int32_t kEdgeBits = 3;
    constexpr std::size_t kEdge = 1u << kEdgeBits;
    constexpr std::uint32_t kRev[kEdge] = {0, 4, 2, 6, 1, 5, 3, 7};
    const std::int32_t middleBits = stages - 2 * kEdgeBits;
    const std::size_t rowStride = std::size_t{1} << (stages - kEdgeBits);
    ComplexValue first[kEdge][kEdge];
    ComplexValue second[kEdge][kEdge];
    auto load = [&](ComplexValue(&tile)[kEdge][kEdge], std::size_t middle) {
        for (std::size_t top = 0; top < kEdge; ++top) {
            const ComplexValue* row = data + top * rowStride + (middle << kEdgeBits);
            for (std::size_t low = 0; low < kEdge; ++low) tile[top][low] = row[low];
        }
    };
    // Value (top, low) of a tile goes to row kRev[low], column kRev[top] of the other.
    auto storeTransposed = [&](const ComplexValue(&tile)[kEdge][kEdge], std::size_t middle) {
        for (std::size_t low = 0; low < kEdge; ++low) {
            ComplexValue* row = data + kRev[low] * rowStride + (middle << kEdgeBits);
            for (std::size_t top = 0; top < kEdge; ++top) row[kRev[top]] = tile[top][low];
        }
    };
    const std::size_t middleCount = std::size_t{1} << middleBits;
    for (std::size_t middle = 0; middle < middleCount; ++middle) {
        const std::size_t partner = reversed(static_cast<std::uint32_t>(middle), middleBits);
        if (partner < middle) continue;
        load(first, middle);
        if (partner == middle) {
            storeTransposed(first, middle);
            continue;
        }
        load(second, partner);
        storeTransposed(first, partner);
        storeTransposed(second, middle);
    }
}

namespace {

// copyReversedLeading for one choice of scaling, so that the inner loops do
// not ask again for every value.
template <bool kScaled>
void copyReversedLeadingAs(const ComplexValue* data, std::int32_t stages, ComplexValue* out,
                           std::size_t count, float scale) {
    const auto value = [scale](ComplexValue v) {
        return kScaled ? ComplexValue{v.re * scale, v.im * scale} : v;
    };
    constexpr std::int32_t kEdgeBits = 3;
    if (stages < 2 * kEdgeBits) {
        for (std::size_t k = 0; k < count; ++k) {
            out[k] = value(data[reversed(static_cast<std::uint32_t>(k), stages)]);
        }
        return;
    }
    constexpr std::size_t kEdge = 1u << kEdgeBits;
    constexpr std::uint32_t kRev[kEdge] = {0, 4, 2, 6, 1, 5, 3, 7};
    const std::int32_t middleBits = stages - 2 * kEdgeBits;
    const std::size_t rowStride = std::size_t{1} << (stages - kEdgeBits);
    const std::size_t middleCount = std::size_t{1} << middleBits;
    for (std::size_t middle = 0; middle < middleCount; ++middle) {
        const std::size_t partner = reversed(static_cast<std::uint32_t>(middle), middleBits);
        const ComplexValue* tile = data + (middle << kEdgeBits);
        for (std::size_t low = 0; low < kEdge; ++low) {
            // Value (top, low) goes to row kRev[low], column kRev[top] of the partner's tile.
            const std::size_t run = kRev[low] * rowStride + (partner << kEdgeBits);
            if (run >= count) continue;
            if (run + kEdge <= count) {
                for (std::size_t top = 0; top < kEdge; ++top) {
                    out[run + kRev[top]] = value(tile[top * rowStride + low]);
                }
                continue;
            }
            for (std::size_t top = 0; top < kEdge; ++top) {
                if (run + kRev[top] < count) {
                    out[run + kRev[top]] = value(tile[top * rowStride + low]);
                }
            }
        }
    }
}

}  // namespace

// The same split into tiles as reverseBitOrder, but out of place and only for
// the positions below count: each tile's eight runs of eight neighbours are read
// whole, and each run written is eight neighbours of the output.
void copyReversedLeading(const ComplexValue* data, std::int32_t stages, ComplexValue* out,
                         std::size_t count, bool scaled, float scale) {
    if (scaled) {
        copyReversedLeadingAs<true>(data, stages, out, count, scale);
    } else {
        copyReversedLeadingAs<false>(data, stages, out, count, scale);
    }
}

void scalePortable(ComplexValue* data, std::size_t n, float scale) {
    for (std::size_t i = 0; i < n; ++i) {
        data[i].re = data[i].re * scale;
        data[i].im = data[i].im * scale;
    }
}

}  // namespace fft_detail

}  // namespace ressona
