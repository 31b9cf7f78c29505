// The check every pass makes of its recording before it is analysed: an MLS
// of 2N codes through a wire, N = 4096 and 16384, timed slice by slice, and
// its recording set against itself a period later, and set as a reference
// against the codes through the wire fitted to it.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "audio/pass_agreement.h"
#include "audio/pass_check.h"
#include "audio/wire_check.h"

namespace {

constexpr std::int64_t kLatency = 512;

// Codes of two levels repeating every N - 1, as the MLS plays, and their
// recording through a wire.
struct WirePass {
    std::vector<std::uint8_t> played;
    std::vector<std::int16_t> recording;
};

WirePass wirePass(std::int64_t n) {
    const auto samples = static_cast<std::size_t>(2 * n);
    const auto period = static_cast<std::size_t>(n - 1);
    std::mt19937 random(1);
    WirePass pass{std::vector<std::uint8_t>(samples), std::vector<std::int16_t>(samples, 0)};
    for (std::size_t i = 0; i < samples; ++i)
        pass.played[i] = i < period ? (random() % 2 ? 60 : 128) : pass.played[i - period];
    for (std::size_t i = kLatency; i < samples; ++i)
        pass.recording[i] = static_cast<std::int16_t>((pass.played[i - kLatency] - 128) * 256);
    return pass;
}

void passCheck(benchmark::State& bench) {
    const auto [played, recording] = wirePass(bench.range(0));
    for (auto _ : bench) {
        benchmark::DoNotOptimize(
            ressona::timePass(played, recording, kLatency, bench.range(0) - 1));
    }
}

void periodComparison(benchmark::State& bench) {
    const auto [played, recording] = wirePass(bench.range(0));
    for (auto _ : bench) {
        benchmark::DoNotOptimize(
            ressona::periodDeparture(recording, kLatency, bench.range(0) - 1));
    }
}

void wireComparison(benchmark::State& bench) {
    const auto [played, recording] = wirePass(bench.range(0));
    for (auto _ : bench) {
        benchmark::DoNotOptimize(ressona::wireMismatchFrom(played, recording, kLatency));
    }
}

}  // namespace

BENCHMARK(passCheck)->Arg(4096)->Arg(16384)->Unit(benchmark::kMillisecond);
BENCHMARK(periodComparison)->Arg(4096)->Arg(16384)->Unit(benchmark::kMillisecond);
BENCHMARK(wireComparison)->Arg(4096)->Arg(16384)->Unit(benchmark::kMillisecond);
