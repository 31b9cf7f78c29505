// The check every pass makes of its recording before it is analysed: an MLS
// of 2N codes through a wire, N = 4096 and 16384, timed slice by slice.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "audio/pass_check.h"

namespace {

void passCheck(benchmark::State& bench) {
    const auto samples = static_cast<std::size_t>(2 * bench.range(0));
    constexpr std::int64_t kLatency = 512;
    std::mt19937 random(1);
    std::vector<std::uint8_t> played(samples);
    for (std::uint8_t& code : played) code = random() % 2 ? 60 : 128;
    std::vector<std::int16_t> recording(samples, 0);
    for (std::size_t n = kLatency; n < samples; ++n)
        recording[n] = static_cast<std::int16_t>((played[n - kLatency] - 128) * 256);
    for (auto _ : bench) {
        benchmark::DoNotOptimize(ressona::timePass(played, recording, kLatency,
                                                   bench.range(0) - 1));
    }
}

}  // namespace

BENCHMARK(passCheck)->Arg(4096)->Arg(16384)->Unit(benchmark::kMillisecond);
