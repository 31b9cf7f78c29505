// The equaliser fit of 8 filters over 20-500 Hz to a room of four modes
// measured on the grid of a 16384-sample response at 11025 Hz (8191 points).

#include <benchmark/benchmark.h>

#include <vector>

#include "eq/eq_fit.h"

namespace {

void eqFit(benchmark::State& bench) {
    using namespace ressona;
    const double rate = 11025.0;
    const double binWidth = rate / 16384.0;
    const std::vector<EqFilter> modes{{FilterKind::Peaking, 45, 8, 5},
                                      {FilterKind::Peaking, 90, 6, 4},
                                      {FilterKind::Peaking, 150, -6, 3},
                                      {FilterKind::Peaking, 210, 4, 6}};
    EqCurve response;
    for (int k = 1; k < 8192; ++k) {
        response.frequencyHz.push_back(k * binWidth);
        response.levelDb.push_back(filtersLevelDb(modes, k * binWidth, rate) - 6.0);
    }
    EqFitSettings settings;
    settings.sampleRate = rate;
    EqFit fit;
    for (auto _ : bench) {
        fit = fitEqualiser(response, {}, settings);
        benchmark::DoNotOptimize(fit.filters.data());
    }
    bench.counters["filters"] = static_cast<double>(fit.filters.size());
    bench.counters["afterMaxDb"] = fit.after.maxDb;
}

}  // namespace

BENCHMARK(eqFit)->Unit(benchmark::kMillisecond);
