#include "analysis/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

namespace ressona {
namespace {

using Signal = std::vector<ComplexValue>;

// The transform written the plain way, one butterfly at a time with the
// running factor U advanced after each j, the twiddles squared stage by stage:
// the fast form must reproduce it bit for bit.
void plainFft(Signal& data, int n, int direction) {
    int m = 0;
    int p = 1;
    do {
        ++m;
        p *= 2;
    } while (p < n);
    const float inverse = 1.0f / static_cast<float>(n);
    const float theta = inverse * 6.2831855f;
    const float c = static_cast<float>(std::cos(static_cast<double>(theta)));
    const float s = static_cast<float>(std::sin(static_cast<double>(theta)));
    std::vector<ComplexValue> t(static_cast<std::size_t>(m));
    t[0] = {c, direction < 0 ? std::fabs(s) : -std::fabs(s)};
    for (int k = 1; k < m; ++k) {
        const ComplexValue q = t[static_cast<std::size_t>(k - 1)];
        t[static_cast<std::size_t>(k)] = {q.re * q.re - q.im * q.im, 2.0f * q.re * q.im};
    }
    int span = n;
    for (int l = 1; l <= m; ++l) {
        const int half = span / 2;
        const ComplexValue w = t[static_cast<std::size_t>(l - 1)];
        ComplexValue u{1.0f, 0.0f};
        for (int j = 0; j < half; ++j) {
            for (int a = j; a < n; a += span) {
                const int b = a + half;
                const ComplexValue x = data[static_cast<std::size_t>(a)];
                const ComplexValue y = data[static_cast<std::size_t>(b)];
                const float dr = x.re - y.re;
                const float di = x.im - y.im;
                data[static_cast<std::size_t>(a)] = {x.re + y.re, x.im + y.im};
                data[static_cast<std::size_t>(b)] = {dr * u.re - di * u.im, dr * u.im + di * u.re};
            }
            u = {w.re * u.re - w.im * u.im, w.re * u.im + w.im * u.re};
        }
        span = half;
    }
    for (int i = 0; i < n; ++i) {
        int j = 0;
        for (int b = 0, bits = i; b < m; ++b, bits >>= 1) j = (j << 1) | (bits & 1);
        if (j >= i) std::swap(data[static_cast<std::size_t>(i)], data[static_cast<std::size_t>(j)]);
    }
    if (direction <= 0) {
        for (ComplexValue& v : data) v = {v.re * inverse, v.im * inverse};
    }
}

Signal randomSignal(int n, unsigned seed) {
    std::mt19937 engine(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    Signal data(static_cast<std::size_t>(n));
    for (ComplexValue& v : data) v = {value(engine), value(engine)};
    return data;
}

bool sameBits(const Signal& a, const Signal& b) {
    // memcmp must not see the null data of empty vectors.
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0);
}

// Largest deviation from a direct double-precision DFT, relative to the largest
// output value.
double deviationFromDft(const Signal& input, const Signal& output, int direction) {
    const auto n = static_cast<int>(input.size());
    const double sign = direction < 0 ? 1.0 : -1.0;
    const double scale = direction <= 0 ? 1.0 / n : 1.0;
    double worst = 0.0;
    double largest = 0.0;
    for (int k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (int i = 0; i < n; ++i) {
            const double angle =
                sign * 2.0 * M_PI * static_cast<double>((static_cast<long>(i) * k) % n) / n;
            sum += std::complex<double>(input[static_cast<std::size_t>(i)].re,
                                        input[static_cast<std::size_t>(i)].im) *
                   std::polar(1.0, angle);
        }
        sum *= scale;
        const auto& v = output[static_cast<std::size_t>(k)];
        worst = std::max(worst, std::abs(sum - std::complex<double>(v.re, v.im)));
        largest = std::max(largest, std::abs(sum));
    }
    return worst / largest;
}

TEST(Fft, WorkedCasesOfTheScaledPositiveExponentForm) {
    for (int n : {2, 64, 1024}) {
        FourierTransform transform;
        Signal atZero(static_cast<std::size_t>(n));
        atZero[0] = {1.0f, 0.0f};
        fft(transform, atZero, n, -1);
        for (const ComplexValue& v : atZero) {
            EXPECT_FLOAT_EQ(v.re, 1.0f / static_cast<float>(n));
            EXPECT_EQ(v.im, 0.0f);
        }

        Signal atOne(static_cast<std::size_t>(n));
        atOne[1] = {1.0f, 0.0f};
        fft(transform, atOne, n, -1);
        for (int k = 0; k < n; ++k) {
            const double angle = 2.0 * M_PI * k / n;
            // The factors come from repeated products, so their error grows with n.
            const double tolerance = (1e-6 + 4e-9 * n) / n;
            EXPECT_NEAR(atOne[static_cast<std::size_t>(k)].re, std::cos(angle) / n, tolerance) << k;
            EXPECT_NEAR(atOne[static_cast<std::size_t>(k)].im, std::sin(angle) / n, tolerance) << k;
        }
    }
}

TEST(Fft, MatchesADirectDftInEveryDirection) {
    for (int n : {2, 4, 8, 16, 64, 256, 1024}) {
        for (int direction : {-1, 0, 1, -7, 3}) {
            FourierTransform transform;
            const Signal input = randomSignal(n, static_cast<unsigned>(n + direction));
            Signal output = input;
            fft(transform, output, n, direction);
            EXPECT_LT(deviationFromDft(input, output, direction), 2e-6 * std::log2(n) + 1e-6)
                << "n " << n << " direction " << direction;
        }
    }
}

TEST(Fft, ForwardThenScaledInverseRestoresTheInput) {
    FourierTransform transform;
    for (int n : {8, 512, 16384}) {
        const Signal input = randomSignal(n, 7u);
        Signal data = input;
        fft(transform, data, n, +1);
        fft(transform, data, n, -1);
        // Each stage's factors are powers of one rounded step, so their magnitude
        // drifts in proportion to n: about 3e-3 after a round trip at 16384.
        const float tolerance = 1e-6f + 2.5e-7f * static_cast<float>(n);
        for (std::size_t i = 0; i < input.size(); ++i) {
            EXPECT_NEAR(data[i].re, input[i].re, tolerance) << i;
            EXPECT_NEAR(data[i].im, input[i].im, tolerance) << i;
        }
    }
}

// Whatever came before, a call must give exactly what a fresh transform gives:
// the cache follows changes of size and of the direction's sign.
TEST(Fft, CacheFollowsSizeAndDirectionChanges) {
    const Signal input = randomSignal(4096, 11u);
    auto fresh = [&](int n, int direction) {
        FourierTransform transform;
        Signal data(input.begin(), input.begin() + n);
        fft(transform, data, n, direction);
        return data;
    };
    FourierTransform shared;
    // Sizes on both sides of 64, where the split vector form and its buffers start.
    const int sequence[][2] = {{1024, -1}, {4096, -1}, {1024, -1}, {1024, 1}, {1024, -1},
                               {1024, 0},  {1024, -1}, {1024, 5},  {1024, 2}, {64, -3},
                               {32, -1},   {128, 1},   {8, 1},     {64, 1}};
    for (const auto& call : sequence) {
        Signal data(input.begin(), input.begin() + call[0]);
        fft(shared, data, call[0], call[1]);
        EXPECT_TRUE(sameBits(data, fresh(call[0], call[1])))
            << "n " << call[0] << " direction " << call[1];
    }
}

// The forms fft() can take on a processor that has every vector unit; on
// one without, the wider forms fall back to the narrower ones.
struct Form {
    bool vector;
    bool widest;
    const char* name;
};
constexpr Form kForms[] = {
    {true, true, "widest"}, {true, false, "avx"}, {false, false, "portable"}};

FourierTransform transformIn(const Form& form) {
    FourierTransform transform;
    transform.allowVector = form.vector;
    transform.allowWidest = form.widest;
    return transform;
}

TEST(Fft, FastFormsEqualThePlainFormBitForBit) {
    for (const Form& form : kForms) {
        FourierTransform transform = transformIn(form);
        for (int n = 2; n <= 65536; n *= 2) {
            for (int direction : {-1, 1, 0}) {
                Signal data = randomSignal(n, static_cast<unsigned>(n));
                // Exact zeros and signed zeros exercise the sign rules of the products.
                data[1] = {0.0f, -0.0f};
                data[static_cast<std::size_t>(n - 1)] = {-0.0f, 0.0f};
                Signal expected = data;
                fft(transform, data, n, direction);
                plainFft(expected, n, direction);
                EXPECT_TRUE(sameBits(data, expected))
                    << "n " << n << " direction " << direction << " form " << form.name;

                Signal pulse(static_cast<std::size_t>(n));
                pulse[static_cast<std::size_t>(n / 2 - 1)] = {-3.0f, 0.0f};
                Signal pulseExpected = pulse;
                fft(transform, pulse, n, direction);
                plainFft(pulseExpected, n, direction);
                EXPECT_TRUE(sameBits(pulse, pulseExpected)) << "pulse n " << n << form.name;
            }
        }
    }
}

// Every size the transform takes, in every form: forward, then back scaled,
// each bit for bit the plain form's, and back near the input within the drift
// of the repeated-product factors.
TEST(Fft, EveryFormEqualsThePlainFormAtEverySizeThereAndBack) {
    for (int n = 2; n <= (1 << 20); n *= 2) {
        const Signal input = randomSignal(n, static_cast<unsigned>(3 * n));
        Signal forward = input;
        plainFft(forward, n, 1);
        Signal back = forward;
        plainFft(back, n, -1);
        const float tolerance = 1e-6f + 2.5e-7f * static_cast<float>(n);
        for (const Form& form : kForms) {
            FourierTransform transform = transformIn(form);
            Signal data = input;
            fft(transform, data, n, 1);
            EXPECT_TRUE(sameBits(data, forward)) << "forward n " << n << " " << form.name;
            fft(transform, data, n, -1);
            EXPECT_TRUE(sameBits(data, back)) << "back n " << n << " " << form.name;
            std::size_t far = 0;
            for (std::size_t i = 0; i < input.size(); ++i) {
                if (std::fabs(data[i].re - input[i].re) > tolerance ||
                    std::fabs(data[i].im - input[i].im) > tolerance)
                    ++far;
            }
            EXPECT_EQ(far, 0u) << "n " << n << " " << form.name;
        }
    }
}

TEST(Fft, LeadingValuesEqualTheFullTransformsBitForBit) {
    for (const Form& form : kForms) {
        FourierTransform full = transformIn(form);
        FourierTransform leading = transformIn(form);
        for (int n = 2; n <= 16384; n *= 4) {
            for (int direction : {-1, 1, 0}) {
                Signal expected = randomSignal(n, static_cast<unsigned>(n + 5));
                Signal data = expected;
                fft(full, expected, n, direction);
                // Counts that end inside a run of eight outputs, too.
                for (std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t(n / 2),
                                          std::size_t(n), std::size_t(n / 2 + n / 3)}) {
                    Signal work = data;
                    Signal lower(count, ComplexValue{7.0f, 7.0f});
                    fftLeading(leading, work, n, direction, lower);
                    EXPECT_TRUE(sameBits(
                        lower, Signal(expected.begin(),
                                      expected.begin() + static_cast<std::ptrdiff_t>(count))))
                        << "n " << n << " direction " << direction << " count " << count << " "
                        << form.name;
                }
            }
        }
    }
    // More values than the transform has, or a size it refuses: nothing is touched.
    FourierTransform transform;
    const Signal input = randomSignal(64, 9u);
    Signal data = input;
    Signal tooMany(65, ComplexValue{7.0f, 7.0f});
    fftLeading(transform, data, 64, -1, tooMany);
    fftLeading(transform, data, 48, -1, std::span(tooMany).first(8));
    EXPECT_TRUE(sameBits(data, input));
    EXPECT_EQ(tooMany[0].re, 7.0f);
}

TEST(Fft, RefusesSizesItCannotTransform) {
    FourierTransform transform;
    const Signal input = randomSignal(64, 3u);
    for (int n : {0, 1, 3, 48, 128, -64}) {
        Signal data = input;
        fft(transform, data, n, -1);
        EXPECT_TRUE(sameBits(data, input)) << n;
    }
}

}  // namespace
}  // namespace ressona
