// The analysis of one sweep's recording, as the sweep pass runs it after
// each sweep, and the distortion figures made from it: transform of the
// recording, both divisions and inverse transforms, the peak, the cut
// response, the harmonics' windows and spectra and the curves. Against the
// sweep's own duration, this is the share of a measurement spent analysing.

#include <benchmark/benchmark.h>

#include <cmath>

#include "measure/room_response.h"
#include "sweep/sweep_pass_service.h"
#include "response/transfer_function.h"
#include "room/room_analysis.h"
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

// A whole room measurement's analysis after its sweep: the recording
// deconvolved, its whole linear response (as long as the sweep) turned into
// the transfer function, and the room parameters of that response in all
// 33 bands. The recording is a wire's, 300 samples late: the room analysis
// filters every sample of every band whatever they hold, so its cost is a
// hall's as well.
void wholeSweepResult(benchmark::State& bench) {
    ressona::LogSweepSettings settings;
    settings.samples = static_cast<std::uint32_t>(bench.range(0));
    settings.sampleRate = kRate;
    const ressona::LogSweep sweep = ressona::makeLogSweep(settings);
    const std::uint32_t record = ressona::sweepRecordSamples(settings, kLength);
    std::vector<std::int16_t> recording(record, 0);
    for (std::size_t n = 0; n < sweep.played.size(); ++n) recording[300 + n] = sweep.played[n];
    ressona::SweepDeconvolver deconvolver(sweep, record);
    if (!deconvolver.ready()) {
        bench.SkipWithError("the recording needs a transform beyond the largest");
        return;
    }
    const std::size_t length = settings.samples;
    const std::size_t lead = ressona::linearResponseLead(sweep, settings.samples);
    ressona::SweepResponses responses;
    std::vector<double> impulse(length);
    // Set up with the service, as the deconvolver is, before the sweep plays.
    ressona::RealTransform wholeTransform(settings.samples);
    for (auto _ : bench) {
        deconvolver.deconvolve(recording, responses);
        // As the service gathers it: from the peak on, then the lead before
        // it, wrapped round the circular response.
        const std::size_t size = responses.linear.size();
        std::size_t at = responses.peak;
        for (std::size_t n = 0; n < length; ++n) {
            if (n == length - lead) at = (responses.peak + size - lead) % size;
            impulse[n] = responses.linear[at] / 32768.0;
            if (++at == size) at = 0;
        }
        ressona::TransferFunction transfer =
            ressona::transferFunctionOfImpulse(impulse, kRate, 300, wholeTransform);
        ressona::holdOutsideBand(transfer, settings.fromHz, ressona::linearBandTop(sweep),
                                 wholeTransform);
        const ressona::RoomResponse room = ressona::sweepRoomResponse(transfer, lead);
        ressona::RoomAnalysis analysis;
        benchmark::DoNotOptimize(
            ressona::analyseRoom(room.samples, kRate, ressona::RoomOptions{}, analysis));
        benchmark::DoNotOptimize(analysis.bands.data());
    }
}
BENCHMARK(wholeSweepResult)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace
