// The analysis of one sweep's recording, as the sweep pass runs it after
// each sweep, and the distortion figures made from it: transform of the
// recording, both divisions and inverse transforms, the peak, the cut
// response, the harmonics' windows and spectra and the curves. Against the
// sweep's own duration, this is the share of a measurement spent analysing.

#include <benchmark/benchmark.h>

#include <cmath>

#include "measure/sweep_pass_service.h"
#include "measure/sweep_report.h"
#include "sweep/harmonic_distortion.h"
#include "sweep/sweep_deconvolution.h"

namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kLength = 4096;

void analyseSweep(benchmark::State& bench) {
    ressona::LogSweepSettings settings;
    settings.samples = static_cast<std::uint32_t>(bench.range(0));
    settings.sampleRate = kRate;
    const ressona::LogSweep sweep = ressona::makeLogSweep(settings);
    const std::uint32_t record = ressona::sweepRecordSamples(settings, kLength);
    // A recording of a mildly distorting loopback, 300 samples late.
    std::vector<std::int16_t> recording(record, 0);
    for (std::size_t n = 0; n < sweep.played.size(); ++n) {
        const double x = sweep.played[n] / 32768.0;
        recording[300 + n] = static_cast<std::int16_t>(std::lround((x + 0.01 * x * x) * 32768.0));
    }
    ressona::SweepDeconvolver deconvolver(sweep, record);
    ressona::SweepResponses responses;
    for (auto _ : bench) {
        deconvolver.deconvolve(recording, responses);
        auto cut = ressona::cutLinearResponse(responses, kLength,
                                              ressona::linearResponseLead(sweep, kLength));
        ressona::HarmonicSpectra spectra(sweep, responses.harmonic, responses.peak);
        auto curves = ressona::distortionCurves(
            spectra, ressona::logFrequencies(settings.fromHz, settings.toHz, 12), 1.0 / 12.0);
        benchmark::DoNotOptimize(cut.data());
        benchmark::DoNotOptimize(curves.points.data());
    }
}
BENCHMARK(analyseSweep)->Arg(1 << 16)->Arg(1 << 18)->Unit(benchmark::kMicrosecond);

}  // namespace
