// What the sound card hands back during a logsweep: a recording of any
// samples and any length, under a sweep of any accepted settings, deconvolved,
// cut for the program, its harmonics separated and their figures formed and
// drawn, and its timing checked. Every figure must be a number or "not
// measured", the cut must stay within its length, and the timing check's
// findings within the slices and the sweep.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/canvas/recording_canvas.h"
#include "plots/distortion_plot.h"
#include "sweep/harmonic_distortion.h"
#include "sweep/log_sweep.h"
#include "sweep/sweep_deconvolution.h"
#include "sweep/sweep_slip_check.h"

namespace {

using namespace ressona;

constexpr std::uint32_t kRates[] = {8000, 11025, 22050, 44100, 48000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    LogSweepSettings settings;
    settings.samples = kSweepSamplesLowest;  // the shortest, so that each input runs quickly
    settings.sampleRate = input.PickValueInArray(kRates);
    settings.fromHz = input.ConsumeFloatingPointInRange(1.0, 1000.0);
    settings.toHz = input.ConsumeFloatingPointInRange(settings.fromHz, 0.5 * settings.sampleRate);
    settings.levelDbfs = input.ConsumeFloatingPointInRange(-70.0, 1.0);
    if (!checkLogSweepSettings(settings).empty()) return 0;
    const std::uint32_t length = 64u << input.ConsumeIntegralInRange(0, 8);
    const std::uint32_t record = settings.samples + length + settings.sampleRate / 4;
    if (sweepTransformSize(settings, record) == 0) return 0;

    const LogSweep sweep = makeLogSweep(settings);
    SweepDeconvolver deconvolver(sweep, record);
    std::vector<std::int16_t> recording(input.ConsumeIntegralInRange<std::size_t>(0, 2 * record));
    const std::int64_t lagOffset = input.ConsumeIntegralInRange<std::int64_t>(-100000, 100000);
    const std::vector<std::uint8_t> bytes = input.ConsumeRemainingBytes<std::uint8_t>();
    for (std::size_t i = 0; i < recording.size() && !bytes.empty(); ++i) {
        recording[i] = static_cast<std::int16_t>(bytes[(2 * i) % bytes.size()] |
                                                 (bytes[(2 * i + 1) % bytes.size()] << 8));
    }
    SweepResponses responses;
    deconvolver.deconvolve(recording, responses);
    if (responses.peak >= deconvolver.transformSize()) __builtin_trap();
    const auto cut = cutLinearResponse(responses, length, linearResponseLead(sweep, length));
    if (cut.size() != length) __builtin_trap();

    SweepSlipCheck check(sweep);
    const SweepTiming timing = check.check(recording, std::int64_t(responses.peak) + lagOffset);
    if (timing.slicesCompared > kSweepSlices || timing.latestLag < timing.earliestLag ||
        (timing.slipped && timing.slipSamples() <= 0) || timing.damagedAt < -1 ||
        timing.damagedAt >= std::int64_t(settings.samples))
        __builtin_trap();
    const std::int64_t landed = std::int64_t(responses.peak) + lagOffset;
    const std::int64_t gap = silentGapInSweep(recording, landed, settings.samples);
    if (gap < -1 || gap >= std::int64_t(settings.samples) ||
        (gap >= 0 && (landed + gap < 0 || landed + gap >= std::int64_t(recording.size()))))
        __builtin_trap();

    const HarmonicSpectra spectra(sweep, responses.harmonic, responses.peak);
    const DistortionCurves curves =
        distortionCurves(spectra, logFrequencies(settings.fromHz, settings.toHz, 12), 1.0 / 12.0);
    DistortionPlotData plot;
    for (const DistortionPoint& p : curves.points) {
        if (std::isinf(p.fundamentalDb) || std::isinf(p.thdDb)) __builtin_trap();
        plot.frequencyHz.push_back(p.frequencyHz);
        plot.levelDb[0].push_back(p.fundamentalDb);
        for (int k = 0; k < kHarmonicCount; ++k) plot.levelDb[k + 1].push_back(p.harmonicDb[k]);
    }
    RecordingCanvas canvas(320, 200);
    drawDistortionPlot(canvas, plot);
    return 0;
}
