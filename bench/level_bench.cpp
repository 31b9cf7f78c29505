// The sound level meter over 60 s of 48000 Hz audio with its third-octave
// bands (30 of them, 25 Hz to 20 kHz) and 1 s intervals, as --spl-log runs it,
// and without the bands.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "level/sound_level_meter.h"

namespace {

void soundLevelMeter(benchmark::State& bench) {
    const std::uint32_t rate = 48000;
    const bool bands = bench.range(0) != 0;
    std::vector<double> second(rate);
    std::mt19937_64 random(1);
    std::normal_distribution<double> normal(0.0, 0.1);
    for (double& x : second) x = normal(random);
    for (auto _ : bench) {
        ressona::SoundLevelMeter meter(rate, bands);
        for (int s = 0; s < 60; ++s) {
            // In the input's 0.05 s buffers, an interval taken each second.
            for (std::size_t at = 0; at < second.size(); at += 2400)
                meter.add(std::span(second).subspan(at, 2400));
            benchmark::DoNotOptimize(meter.takeInterval());
        }
        benchmark::DoNotOptimize(meter.whole());
    }
}

}  // namespace

BENCHMARK(soundLevelMeter)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
