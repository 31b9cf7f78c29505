// The room analysis of a 2 s response at 48000 Hz in every band (broadband, 8
// octaves, 24 third-octaves): white noise decaying by 60 dB in 1 s over a
// floor 60 dB down, as a measured room response looks.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "room/room_analysis.h"

namespace {

void roomAnalysis(benchmark::State& bench) {
    const auto rate = static_cast<std::uint32_t>(bench.range(0));
    const auto seconds = static_cast<double>(bench.range(1));
    std::vector<double> response(static_cast<std::size_t>(seconds * rate));
    std::mt19937_64 random(1);
    std::normal_distribution<double> normal;
    for (std::size_t n = 0; n < response.size(); ++n) {
        const double decay = std::exp(-6.9078 * static_cast<double>(n) / rate);
        response[n] = (decay + 1e-3) * normal(random);
    }
    ressona::RoomAnalysis analysis;
    for (auto _ : bench) {
        ressona::analyseRoom(response, rate, ressona::RoomOptions{}, analysis);
        benchmark::DoNotOptimize(analysis.bands.data());
    }
    bench.counters["bands"] = static_cast<double>(analysis.bands.size());
}

}  // namespace

BENCHMARK(roomAnalysis)->Args({48000, 2})->Unit(benchmark::kMicrosecond);
