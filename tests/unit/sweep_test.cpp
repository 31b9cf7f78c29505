#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "analysis/fft.h"
#include "sweep/harmonic_distortion.h"
#include "sweep/log_sweep.h"
#include "sweep/real_transform.h"
#include "sweep/sweep_deconvolution.h"

namespace ressona {
namespace {

std::vector<std::int16_t> loopRecording(const LogSweep& sweep, std::uint32_t latency,
                                        std::uint32_t total, double square, double cube) {
    std::vector<std::int16_t> rec(total, 0);
    for (std::size_t n = 0; n < sweep.played.size(); ++n) {
        const double x = sweep.played[n] / 32768.0;
        const double y = x + square * x * x + cube * x * x * x;
        rec[latency + n] = static_cast<std::int16_t>(std::lround(std::clamp(y * 32768.0, -32768.0, 32767.0)));
    }
    return rec;
}

TEST(SweepExperiment, Loopback) {
    LogSweepSettings settings;
    const LogSweep sweep = makeLogSweep(settings);
    const std::uint32_t record = settings.samples + 16384 + 24000;
    SweepDeconvolver deconvolver(sweep, record);
    ASSERT_TRUE(deconvolver.ready());
    {
        RealTransform t(deconvolver.transformSize());
        std::vector<float> f(deconvolver.transformSize(), 0.0f);
        for (std::size_t n = 0; n < sweep.played.size(); ++n) f[n] = sweep.played[n];
        std::vector<ComplexValue> s;
        t.forward(f, s);
        double mx = 0;
        for (auto& v : s) mx = std::max(mx, double(v.re) * v.re + double(v.im) * v.im);
        for (int k : {0, 1, 2, 3, 5, 10, 20, 30, 40, 55, 70, 110, 1000, 40000, 54000, 55000, 56000, 57000, 58000, 60000, 62000, 65000})
            std::printf("k=%d f=%.1f rel %.1f dB\n", k, k * 48000.0 / deconvolver.transformSize(), 10 * std::log10((double(s[k].re) * s[k].re + double(s[k].im) * s[k].im) / mx));
    }
    std::printf("P=%u fadeIn=%u fadeOut=%u Ls=%f\n", deconvolver.transformSize(), sweep.fadeInSamples, sweep.fadeOutSamples, sweep.rateSamples);
    for (double sq : {0.0, 0.02}) {
        const auto rec = loopRecording(sweep, 100, record, sq, sq / 2);
        SweepResponses r;
        deconvolver.deconvolve(rec, r);
        std::printf("peak=%u value=%f next=%f %f\n", r.peak, r.linear[r.peak], r.linear[r.peak + 1], r.linear[r.peak - 1]);
        double maxOther = 0;
        for (std::size_t n = 0; n < r.linear.size(); ++n) if (n != r.peak) maxOther = std::max(maxOther, double(std::fabs(r.linear[n])));
        std::printf("max other %g\n", maxOther);
        // spectrum of the cut
        {
            RealTransform t(r.linear.size());
            std::vector<ComplexValue> s;
            t.forward(r.linear, s);
            double lo = 1e9, hi = -1e9;
            for (std::size_t k = 1; k < s.size(); ++k) {
                const double hz = k * 48000.0 / r.linear.size();
                if (hz < 40 || hz > 18000) continue;
                const double db = 10 * std::log10(double(s[k].re) * s[k].re + double(s[k].im) * s[k].im);
                lo = std::min(lo, db); hi = std::max(hi, db);
            }
            std::printf("full spread %f\n", hi - lo);
            const std::size_t P = r.linear.size();
            for (int off : {-512, -128, -64, -32, -16, -8, -4, -2, -1, 0, 1, 2, 4, 8, 16, 32, 64, 128, 512, 2048, 8192})
                std::printf("off %d: %g\n", off, r.linear[(r.peak + off + P) % P]);
            double e[6] = {0};
            for (std::size_t n = 0; n < P; ++n) {
                long d = (long)n - (long)r.peak; if (d > (long)P/2) d -= P; if (d < -(long)P/2) d += P;
                long a = std::labs(d);
                int b = a < 32 ? 0 : a < 256 ? 1 : a < 2048 ? 2 : a < 8192 ? 3 : a < 32768 ? 4 : 5;
                e[b] += double(r.linear[n]) * r.linear[n];
            }
            std::printf("energy by distance: %g %g %g %g %g %g\n", e[0], e[1], e[2], e[3], e[4], e[5]);
            for (std::uint32_t length : {4096u, 16384u}) {
                std::vector<float> f(length);
                for (std::uint32_t i = 0; i < length; ++i) f[i] = r.linear[(r.peak - 32 + i) % r.linear.size()];
                RealTransform t2(length);
                t2.forward(f, s);
                lo = 1e9; hi = -1e9;
                for (std::size_t k = 1; k < s.size(); ++k) {
                    const double hz = k * 48000.0 / length;
                    if (hz < 40 || hz > 18000) continue;
                    const double db = 10 * std::log10(double(s[k].re) * s[k].re + double(s[k].im) * s[k].im);
                    lo = std::min(lo, db); hi = std::max(hi, db);
                }
                std::printf("float cut %u spread %f\n", length, hi - lo);
            }
        }
        for (std::uint32_t lead : {32u, 64u, 128u, 512u})
        for (std::uint32_t length : {4096u, 16384u}) {
            auto cut = cutLinearResponse(r, length, lead);
            std::vector<float> f(cut.begin(), cut.end());
            RealTransform t(length);
            std::vector<ComplexValue> s;
            t.forward(f, s);
            double lo = 1e9, hi = -1e9, flo = 0, fhi = 0;
            for (std::size_t k = 1; k < s.size(); ++k) {
                const double hz = k * 48000.0 / length;
                if (hz < 40 || hz > 18000) continue;
                const double db = 10 * std::log10(double(s[k].re) * s[k].re + double(s[k].im) * s[k].im);
                if (db < lo) { lo = db; flo = hz; }
                if (db > hi) { hi = db; fhi = hz; }
            }
            std::printf("lead %u length %u spread %f dB (%f at %f ..%f at %f)\n", lead, length, hi - lo, lo, flo, hi, fhi);
        }
        HarmonicSpectra spectra(sweep, r.harmonic, r.peak);
        std::printf("window %u\n", spectra.windowSamples());
        for (double f : thirdOctaveCentres(20, 20000)) {
            auto p = spectra.at(f, 1.0 / 3);
            std::printf("%8.1f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f\n", f, p.fundamentalDb, p.harmonicDb[0], p.harmonicDb[1], p.harmonicDb[2], p.harmonicDb[3], p.thdDb);
        }
    }
}

}  // namespace
}  // namespace ressona
namespace ressona {
namespace {
TEST(SweepExperiment, FftAccuracy) {
    for (int n : {1024, 16384, 65536, 262144}) {
        std::vector<ComplexValue> d(n);
        d[3] = {1.0f, 0.0f};
        FourierTransform t;
        fft(t, d, n, 1);
        double err = 0;
        for (int k = 0; k < n; ++k) {
            const double a = -2 * M_PI * 3.0 * k / n;
            err = std::max(err, std::hypot(d[k].re - std::cos(a), d[k].im - std::sin(a)));
        }
        std::printf("n=%d max err %g\n", n, err);
    }
}
}  // namespace
}  // namespace ressona
namespace ressona {
namespace {
TEST(SweepExperiment, RealAccuracy) {
    for (std::uint32_t n : {64u, 4096u, 131072u, 1u << 21}) {
        std::vector<float> x(n, 0.0f);
        x[5] = 1.0f;
        RealTransform t(n);
        std::vector<ComplexValue> s;
        t.forward(x, s);
        double err = 0;
        for (std::uint32_t k = 0; k <= n / 2; ++k) {
            const double a = -2 * M_PI * 5.0 * k / n;
            err = std::max(err, std::hypot(s[k].re - std::cos(a), s[k].im - std::sin(a)));
        }
        std::vector<float> back;
        t.inverse(s, back);
        double err2 = 0;
        for (std::uint32_t i = 0; i < n; ++i) err2 = std::max(err2, double(std::fabs(back[i] - x[i])));
        std::printf("n=%u max err %g roundtrip %g\n", n, err, err2);
    }
}
}  // namespace
}  // namespace ressona
