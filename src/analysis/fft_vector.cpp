// The transform's vector forms. fft() uses the split form: the values are held
// as real and imaginary parts in separate registers (eight values each with
// AVX, sixteen with AVX-512 for the stages of half 16 and more), two stages
// per pass, and the last three stages, the bit-reversed reordering and the
// scaling are one pass out of 8 x 8 tiles. fftLeading() uses the interleaved
// form: four complex values per AVX register. Every butterfly in every form
// still forms t = a + b and (a - b) * U with exactly the products and sums of
// the portable form (addsub gives re = dr*Ur - di*Ui, im = di*Ur + dr*Ui), so
// all forms agree bit for bit. No fused multiply-add is used.

#include "analysis/fft_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RESSONA_AVX __attribute__((target("avx")))
#define RESSONA_AVX512 __attribute__((target("avx512f")))
#endif

namespace ressona::fft_detail {

#if defined(RESSONA_AVX)

namespace {

// (a - b) * U for four interleaved complex values.
RESSONA_AVX inline __m256 times(__m256 d, __m256 u) {
    const __m256 ur = _mm256_moveldup_ps(u);
    const __m256 ui = _mm256_movehdup_ps(u);
    const __m256 swapped = _mm256_permute_ps(d, 0xB1);  // (di, dr) pairs
    return _mm256_addsub_ps(_mm256_mul_ps(d, ur), _mm256_mul_ps(swapped, ui));
}

RESSONA_AVX inline __m256 load(const ComplexValue* p) {
    return _mm256_loadu_ps(reinterpret_cast<const float*>(p));
}

RESSONA_AVX inline void store(ComplexValue* p, __m256 v) {
    _mm256_storeu_ps(reinterpret_cast<float*>(p), v);
}

// One stage whose half is at least 4.
RESSONA_AVX void stage(ComplexValue* data, std::size_t n, std::size_t half,
                       const ComplexValue* factors) {
    const std::size_t span = 2 * half;
    for (std::size_t block = 0; block < n; block += span) {
        ComplexValue* a = data + block;
        ComplexValue* b = a + half;
        for (std::size_t j = 0; j < half; j += 4) {
            const __m256 x = load(a + j);
            const __m256 y = load(b + j);
            store(b + j, times(_mm256_sub_ps(x, y), load(factors + j)));
            store(a + j, _mm256_add_ps(x, y));
        }
    }
}

// Two stages at once, half and half/2 (half at least 8): each group of four
// values a quarter span apart passes both butterflies while it is in registers.
RESSONA_AVX void twoStages(ComplexValue* data, std::size_t n, std::size_t half,
                           const ComplexValue* outer, const ComplexValue* inner) {
    const std::size_t quarter = half / 2;
    const std::size_t span = 2 * half;
    for (std::size_t block = 0; block < n; block += span) {
        ComplexValue* p0 = data + block;
        ComplexValue* p1 = p0 + quarter;
        ComplexValue* p2 = p0 + half;
        ComplexValue* p3 = p2 + quarter;
        for (std::size_t j = 0; j < quarter; j += 4) {
            const __m256 x0 = load(p0 + j);
            const __m256 x1 = load(p1 + j);
            const __m256 x2 = load(p2 + j);
            const __m256 x3 = load(p3 + j);
            const __m256 y0 = _mm256_add_ps(x0, x2);
            const __m256 y2 = times(_mm256_sub_ps(x0, x2), load(outer + j));
            const __m256 y1 = _mm256_add_ps(x1, x3);
            const __m256 y3 = times(_mm256_sub_ps(x1, x3), load(outer + quarter + j));
            const __m256 u = load(inner + j);
            store(p0 + j, _mm256_add_ps(y0, y1));
            store(p1 + j, times(_mm256_sub_ps(y0, y1), u));
            store(p2 + j, _mm256_add_ps(y2, y3));
            store(p3 + j, times(_mm256_sub_ps(y2, y3), u));
        }
    }
}

// The last two stages (half 2, then half 1) over each group of four values,
// two groups per pass of the loop.
RESSONA_AVX void lastTwoStages(ComplexValue* data, std::size_t n, const ComplexValue* factors2,
                               const ComplexValue* factors1) {
    // U(0), U(1) of the half-2 stage, repeated for both groups; U(0) of the last stage.
    const __m128 u2 = _mm_loadu_ps(reinterpret_cast<const float*>(factors2));
    const __m256 uHalf2 = _mm256_insertf128_ps(_mm256_castps128_ps256(u2), u2, 1);
    const __m128d u1d = _mm_load1_pd(reinterpret_cast<const double*>(factors1));
    const __m256 uHalf1 =
        _mm256_castpd_ps(_mm256_insertf128_pd(_mm256_castpd128_pd256(u1d), u1d, 1));
    for (std::size_t g = 0; g < n; g += 8) {
        const __m256 v0 = load(data + g);                        // x0 x1 x2 x3
        const __m256 v1 = load(data + g + 4);                    // x4 x5 x6 x7
        const __m256 a = _mm256_permute2f128_ps(v0, v1, 0x20);   // x0 x1 x4 x5
        const __m256 b = _mm256_permute2f128_ps(v0, v1, 0x31);   // x2 x3 x6 x7
        const __m256 sum = _mm256_add_ps(a, b);                  // y0 y1 y4 y5
        const __m256 diff = times(_mm256_sub_ps(a, b), uHalf2);  // y2 y3 y6 y7
        const __m256d sumD = _mm256_castps_pd(sum);
        const __m256d diffD = _mm256_castps_pd(diff);
        const __m256 p = _mm256_castpd_ps(_mm256_unpacklo_pd(sumD, diffD));      // y0 y2 y4 y6
        const __m256 q = _mm256_castpd_ps(_mm256_unpackhi_pd(sumD, diffD));      // y1 y3 y5 y7
        const __m256d s = _mm256_castps_pd(_mm256_add_ps(p, q));                 // z0 z2 z4 z6
        const __m256d d = _mm256_castps_pd(times(_mm256_sub_ps(p, q), uHalf1));  // z1 z3 z5 z7
        const __m256 lo = _mm256_castpd_ps(_mm256_unpacklo_pd(s, d));            // z0 z1 z4 z5
        const __m256 hi = _mm256_castpd_ps(_mm256_unpackhi_pd(s, d));            // z2 z3 z6 z7
        store(data + g, _mm256_permute2f128_ps(lo, hi, 0x20));
        store(data + g + 4, _mm256_permute2f128_ps(lo, hi, 0x31));
    }
}

// The split form keeps the real parts of n values in re[0..n-1] and the
// imaginary parts in im[0..n-1], a register's width of each per register: a
// product by the factors needs no shuffles, where the interleaved form spends
// three per four values. Each operation on a value is still the portable form's.
struct Split {
    float* re;
    float* im;
};

// The factors of one wide stage (half at least 8): real parts, then imaginary.
struct StageFactors {
    const float* re;
    const float* im;
};

// The stages of half 8 and more, once for each register width. Each copy
// needs its width's vector type, the target attribute RESSONA_WIDE and
// loadVector, storeVector, add, subtract, multiply and loadInterleaved.
namespace avx {

using Vector = __m256;

RESSONA_AVX inline Vector loadVector(const float* p) {
    return _mm256_load_ps(p);
}
RESSONA_AVX inline void storeVector(float* p, Vector v) {
    _mm256_store_ps(p, v);
}
RESSONA_AVX inline Vector add(Vector a, Vector b) {
    return _mm256_add_ps(a, b);
}
RESSONA_AVX inline Vector subtract(Vector a, Vector b) {
    return _mm256_sub_ps(a, b);
}
RESSONA_AVX inline Vector multiply(Vector a, Vector b) {
    return _mm256_mul_ps(a, b);
}

// Eight interleaved values at p as real and imaginary parts in natural order.
RESSONA_AVX inline void loadInterleaved(const ComplexValue* p, Vector& re, Vector& im) {
    const __m256 first = load(p);       // c0 c1 c2 c3
    const __m256 second = load(p + 4);  // c4 c5 c6 c7
    const __m256 low = _mm256_permute2f128_ps(first, second, 0x20);   // c0 c1 c4 c5
    const __m256 high = _mm256_permute2f128_ps(first, second, 0x31);  // c2 c3 c6 c7
    re = _mm256_shuffle_ps(low, high, 0x88);
    im = _mm256_shuffle_ps(low, high, 0xDD);
}

#define RESSONA_WIDE RESSONA_AVX
#include "analysis/fft_wide_stages.inc"
#undef RESSONA_WIDE

}  // namespace avx

namespace avx512 {

using Vector = __m512;

RESSONA_AVX512 inline Vector loadVector(const float* p) {
    return _mm512_load_ps(p);
}
RESSONA_AVX512 inline void storeVector(float* p, Vector v) {
    _mm512_store_ps(p, v);
}
RESSONA_AVX512 inline Vector add(Vector a, Vector b) {
    return _mm512_add_ps(a, b);
}
RESSONA_AVX512 inline Vector subtract(Vector a, Vector b) {
    return _mm512_sub_ps(a, b);
}
RESSONA_AVX512 inline Vector multiply(Vector a, Vector b) {
    return _mm512_mul_ps(a, b);
}

// Sixteen interleaved values at p as real and imaginary parts in natural order.
RESSONA_AVX512 inline void loadInterleaved(const ComplexValue* p, Vector& re, Vector& im) {
    const auto* f = reinterpret_cast<const float*>(p);
    const __m512 first = _mm512_loadu_ps(f);
    const __m512 second = _mm512_loadu_ps(f + 16);
    const __m512i evens =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odds =
        _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    re = _mm512_permutex2var_ps(first, evens, second);
    im = _mm512_permutex2var_ps(first, odds, second);
}

#define RESSONA_WIDE RESSONA_AVX512
#include "analysis/fft_wide_stages.inc"
#undef RESSONA_WIDE

}  // namespace avx512

// What the last pass needs of the eight-lane form.
using avx::differenceTimes;
using avx::Lanes;
using avx::sum;

// Rows r[0..7] become columns: r[s][k] moves to r[k][s].
RESSONA_AVX inline void transpose(__m256 (&r)[8]) {
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]);
    const __m256 t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]);
    const __m256 t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]);
    const __m256 t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]);
    const __m256 t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44);
    const __m256 u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44);
    const __m256 u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44);
    const __m256 u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44);
    const __m256 u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
    r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
    r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
    r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
    r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
    r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
    r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
    r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// The factors of the last three stages (half 4, 2 and 1), each part in all lanes.
struct NarrowFactors {
    __m256 re[7];
    __m256 im[7];
};

RESSONA_AVX inline void narrowButterfly(__m256 (&re)[8], __m256 (&im)[8], int a, int b,
                                        const NarrowFactors& u, int factor) {
    const Lanes x{re[a], im[a]};
    const Lanes y{re[b], im[b]};
    const Lanes s = sum(x, y);
    const Lanes d = differenceTimes(x, y, u.re[factor], u.im[factor]);
    re[a] = s.re;
    im[a] = s.im;
    re[b] = d.re;
    im[b] = d.im;
}

// The last three stages and the bit-reversed reordering, from the split values
// to out[0..count-1] interleaved. The index splits into top, middle and low parts of
// 3, stages - 6 and 3 bits as in reverseBitOrder: a tile is the eight runs of
// eight (one low part each) that share a middle part. Transposed, register k
// holds low part k of all eight runs, so the last stages (which pair low parts)
// work across registers; register k then goes whole to the run at top part
// reversed(k) of the reversed middle part. The runs are loaded in the order of
// their reversed top parts, so the lanes come out in natural order. The loops
// over a tile's registers are unrolled so that the registers stay registers.
template <bool kScaled>
RESSONA_AVX void lastStagesTo(Split work, ComplexValue* out, std::size_t count,
                              std::int32_t stages, const NarrowFactors& u, float scale) {
    constexpr std::size_t kRev[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    const std::int32_t middleBits = stages - 6;
    const std::size_t rowStride = std::size_t{1} << (stages - 3);
    const __m256 factor = _mm256_set1_ps(scale);
    for (std::size_t middle = 0; middle < (std::size_t{1} << middleBits); ++middle) {
        __m256 re[8];
        __m256 im[8];
#pragma GCC unroll 8
        for (std::size_t s = 0; s < 8; ++s) {
            const std::size_t run = kRev[s] * rowStride + (middle << 3);
            re[s] = _mm256_load_ps(work.re + run);
            im[s] = _mm256_load_ps(work.im + run);
        }
        transpose(re);
        transpose(im);
#pragma GCC unroll 8
        for (int j = 0; j < 4; ++j) narrowButterfly(re, im, j, j + 4, u, j);
#pragma GCC unroll 8
        for (int base = 0; base < 8; base += 4) {
            narrowButterfly(re, im, base, base + 2, u, 4);
            narrowButterfly(re, im, base + 1, base + 3, u, 5);
        }
#pragma GCC unroll 8
        for (int base = 0; base < 8; base += 2) narrowButterfly(re, im, base, base + 1, u, 6);
        const std::size_t partner = reversed(static_cast<std::uint32_t>(middle), middleBits);
#pragma GCC unroll 8
        for (std::size_t k = 0; k < 8; ++k) {
            __m256 r = re[k];
            __m256 i = im[k];
            if (kScaled) {
                r = _mm256_mul_ps(r, factor);
                i = _mm256_mul_ps(i, factor);
            }
            const __m256 low = _mm256_unpacklo_ps(r, i);   // c0 c1 | c4 c5
            const __m256 high = _mm256_unpackhi_ps(r, i);  // c2 c3 | c6 c7
            const __m256 first = _mm256_permute2f128_ps(low, high, 0x20);
            const __m256 second = _mm256_permute2f128_ps(low, high, 0x31);
            const std::size_t position = kRev[k] * rowStride + (partner << 3);
            if (position >= count) continue;
            if (position + 8 <= count) {
                store(out + position, first);
                store(out + position + 4, second);
                continue;
            }
            ComplexValue run[8];
            store(run, first);
            store(run + 4, second);
            for (std::size_t c = 0; position + c < count; ++c) out[position + c] = run[c];
        }
    }
}

}  // namespace

RESSONA_AVX void runSplitVector(const ComplexValue* data, std::size_t n, std::int32_t stages,
                                const SplitTables& tables, ComplexValue* out, std::size_t count,
                                bool scaled, float scale) {
    const Split split{tables.work, tables.work + n};
    std::size_t span = n;
    const float* wideFactors = tables.wideFactors;
    if (tables.widest) avx512::wideStages(data, split, n, span, wideFactors);
    avx::wideStages(data, split, n, span, wideFactors);

    NarrowFactors u;
    for (std::size_t k = 0; k < 7; ++k) {
        u.re[k] = _mm256_set1_ps(tables.narrowFactors[k].re);
        u.im[k] = _mm256_set1_ps(tables.narrowFactors[k].im);
    }
    if (scaled) {
        lastStagesTo<true>(split, out, count, stages, u, scale);
    } else {
        lastStagesTo<false>(split, out, count, stages, u, scale);
    }
}

bool vectorFormAvailable() {
    return __builtin_cpu_supports("avx");
}

bool widestFormAvailable() {
    return __builtin_cpu_supports("avx512f");
}

RESSONA_AVX void runStagesVector(ComplexValue* data, std::size_t n, const ComplexValue* factors) {
    std::size_t half = n / 2;
    for (; half >= 8; half /= 4) {
        twoStages(data, n, half, factors, factors + half);
        factors += half + half / 2;
    }
    if (half == 4) {
        stage(data, n, half, factors);
        factors += half;
    }
    lastTwoStages(data, n, factors, factors + 2);
}

RESSONA_AVX void scaleVector(ComplexValue* data, std::size_t n, float scale) {
    const __m256 factor = _mm256_set1_ps(scale);
    for (std::size_t i = 0; i < n; i += 4) store(data + i, _mm256_mul_ps(load(data + i), factor));
}

#else

bool vectorFormAvailable() {
    return false;
}

bool widestFormAvailable() {
    return false;
}

void runSplitVector(const ComplexValue* data, std::size_t n, std::int32_t stages,
                    const SplitTables& tables, ComplexValue* out, std::size_t count, bool scaled,
                    float scale) {
    (void)data, (void)n, (void)stages, (void)tables, (void)out, (void)count, (void)scaled;
    (void)scale;
}

void runStagesVector(ComplexValue* data, std::size_t n, const ComplexValue* factors) {
    runStagesPortable(data, n, factors);
}

void scaleVector(ComplexValue* data, std::size_t n, float scale) {
    scalePortable(data, n, scale);
}

#endif

}  // namespace ressona::fft_detail
