// The transform's stages with AVX: four complex values per register. Each
// butterfly still forms t = a + b and (a - b) * U with exactly the products and
// sums of the portable form (addsub gives re = dr*Ur - di*Ui, im = di*Ur + dr*Ui),
// so the two forms agree bit for bit. No fused multiply-add is used.

#include "analysis/fft_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RESSONA_AVX __attribute__((target("avx")))
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

}  // namespace

bool vectorFormAvailable() {
    return __builtin_cpu_supports("avx");
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

void runStagesVector(ComplexValue* data, std::size_t n, const ComplexValue* factors) {
    runStagesPortable(data, n, factors);
}

void scaleVector(ComplexValue* data, std::size_t n, float scale) {
    scalePortable(data, n, scale);
}

#endif

}  // namespace ressona::fft_detail
