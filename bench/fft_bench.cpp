// The transform against FFTW's single-precision transform of the same size and
// exponent sign (FFTW_BACKWARD is e^(+2 pi i nk/N), our direction -1; FFTW does
// not scale by 1/N, which is one multiplication per value).

#include <benchmark/benchmark.h>
#include <fftw3.h>

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

}  // namespace

BENCHMARK(fftOurs)->Arg(64)->Arg(1024)->Arg(4096)->Arg(16384)->Unit(benchmark::kMicrosecond);
BENCHMARK(fftFftw)->Arg(64)->Arg(1024)->Arg(4096)->Arg(16384)->Unit(benchmark::kMicrosecond);
