// The transform against FFTW's single-precision transform of the same size and
// exponent sign (FFTW_BACKWARD is e^(+2 pi i nk/N), our direction -1; FFTW does
// not scale by 1/N, which is one multiplication per value).

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <time.h>

#include <algorithm>
#include <random>
#include <vector>

#include "analysis/fft.h"

namespace {

std::vector<ressona::ComplexValue> randomSignal(std::size_t n) {
    std::mt19937 engine(1u);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<ressona::ComplexValue> data(n);
    for (auto& v : data) v = {value(engine), value(engine)};
    return data;
}

void fftOurs(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    ressona::FourierTransform transform;
    std::vector<ressona::ComplexValue> data = randomSignal(static_cast<std::size_t>(n));
    ressona::fft(transform, data, n, -1);  // builds the cache outside the timing
    for (auto _ : state) {
        ressona::fft(transform, data, n, -1);
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
}

void fftFftw(benchmark::State& state) {
    const auto n = static_cast<int>(state.range(0));
    auto* data = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * n));
    const fftwf_plan plan = fftwf_plan_dft_1d(n, data, data, FFTW_BACKWARD, FFTW_MEASURE);
    const auto input = randomSignal(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        data[i][0] = input[static_cast<std::size_t>(i)].re;
        data[i][1] = input[static_cast<std::size_t>(i)].im;
    }
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(data);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}


// Ours and FFTW in turns of about 100 microseconds each (or one transform),
// so that both meet the same load on a shared machine. The counters give each
// one's median processor time per transform and the median of the turns'
// ratios, the figure the summary reports.
void fftAlternating(benchmark::State& state, bool allowWidest) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    ressona::FourierTransform transform;
    transform.allowWidest = allowWidest;
    std::vector<ressona::ComplexValue> ours = randomSignal(static_cast<std::size_t>(n));
    ressona::fft(transform, ours, n, -1);
    auto* theirs = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * n));
    const fftwf_plan plan = fftwf_plan_dft_1d(n, theirs, theirs, FFTW_BACKWARD, FFTW_MEASURE);
    for (int i = 0; i < n; ++i) {
        theirs[i][0] = ours[static_cast<std::size_t>(i)].re;
        theirs[i][1] = ours[static_cast<std::size_t>(i)].im;
    }
    const auto processorSeconds = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
    };
    const int perTurn = std::max(1, (1 << 17) / n);
    std::vector<double> oursSeconds, theirsSeconds, ratios;
    for (auto _ : state) {
        const double start = processorSeconds();
        for (int k = 0; k < perTurn; ++k) ressona::fft(transform, ours, n, -1);
        benchmark::ClobberMemory();
        const double middle = processorSeconds();
        for (int k = 0; k < perTurn; ++k) fftwf_execute(plan);
        benchmark::ClobberMemory();
        const double end = processorSeconds();
        oursSeconds.push_back((middle - start) / perTurn);
        theirsSeconds.push_back((end - middle) / perTurn);
        ratios.push_back((middle - start) / (end - middle));
    }
    const auto median = [](std::vector<double>& values) {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    state.counters["ours_us"] = median(oursSeconds) * 1e6;
    state.counters["fftw_us"] = median(theirsSeconds) * 1e6;
    state.counters["ratio"] = median(ratios);
    fftwf_destroy_plan(plan);
    fftwf_free(theirs);
}

void fftAgainstFftw(benchmark::State& state) {
    fftAlternating(state, true);
}

// The AVX form alone, as processors without AVX-512 run it.
void fftAvxAgainstFftw(benchmark::State& state) {
    fftAlternating(state, false);
}

}  // namespace

BENCHMARK(fftOurs)
    ->Arg(64)
    ->Arg(1024)
    ->Arg(4096)
    ->Arg(16384)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(fftFftw)
    ->Arg(64)
    ->Arg(1024)
    ->Arg(4096)
    ->Arg(16384)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(fftAgainstFftw)->Arg(64)->Arg(1024)->Arg(4096)->Arg(16384)->Arg(1 << 20);
BENCHMARK(fftAvxAgainstFftw)->Arg(64)->Arg(1024)->Arg(4096)->Arg(16384)->Arg(1 << 20);
