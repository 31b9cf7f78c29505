// What a sound card hands back: a recording of any samples, with any latency
// the pass measured, analysed under any panel settings (any excitation,
// averaging, taper, smoothing, delay, cuts, dB and frequency ranges of any
// size, any shift) and drawn in the time plot and any view of the frequency
// plot, with or without a reference channel of any length beside it. The sanitizers watch the arithmetic of the analysis and the plots'
// scaling.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/analysis_extras.h"
#include "analysis/fft.h"
#include "analysis/response_analysis.h"
#include "analysis/smoothing.h"
#include "control/device_memory.h"
#include "control/array_hand_over.h"
#include "control/program_state.h"
#include "platform/canvas/recording_canvas.h"
#include "platform/messages/message_queue.h"
#include "plots/freq_plot.h"
#include "plots/plot_environment.h"
#include "plots/time_plot.h"
#include "response/panel_transfer.h"
#include "signals/excitation.h"

namespace {

using namespace ressona;

constexpr std::uint32_t kRates[] = {8000, 11025, 22050, 44100, 48000};
constexpr std::int32_t kModes[] = {kModePulse, kModeMls,      kModeWhiteNoise, kModeNoSignal,
                                   kModeSweep, kModeSineWave, kModeSquareWave};
constexpr std::int32_t kViews[] = {kViewStandard, kViewHistogram, kViewPhase, kViewWaterfall};
constexpr std::uint32_t kViewMessages[] = {MSG_REDRAW, MSG_DRAW_PHASE, MSG_DRAW_HISTOGRAM,
                                           MSG_DRAW_WATERFALL};

// Two values in order, the first below the second, anywhere in 32 bits.
std::pair<std::int32_t, std::int32_t> ordered(FuzzedDataProvider& in) {
    const std::int32_t a = in.ConsumeIntegralInRange<std::int32_t>(INT32_MIN, INT32_MAX - 1);
    return {a, in.ConsumeIntegralInRange<std::int32_t>(a + 1, INT32_MAX)};
}

void settings(FuzzedDataProvider& in, MeasurementState& state) {
    state.sampleLength = 64u << in.ConsumeIntegralInRange(0, 3);
    state.sampleRate = in.PickValueInArray(kRates);
    state.excitationMode = in.PickValueInArray(kModes);
    state.toneFrequency = in.ConsumeIntegralInRange<std::uint32_t>(1, state.sampleRate / 2);
    state.averagingOn = in.ConsumeBool();
    state.averageCount = in.ConsumeIntegralInRange<std::uint32_t>(0, 5);
    state.averageInTime = in.ConsumeBool();
    state.halfHanning = in.ConsumeBool();
    state.thirdOctave = in.ConsumeBool();
    state.artificialMode = in.ConsumeBool();
    const auto half = static_cast<std::int32_t>(state.sampleLength / 2);
    state.recordDelaySamples = in.ConsumeIntegralInRange(-half, half);
    state.lowerCut = in.ConsumeIntegralInRange(0, 999);
    state.upperCut = in.ConsumeIntegralInRange(state.lowerCut + 1, 1000);
    state.waterfallStart =
        in.ConsumeIntegralInRange(0, static_cast<std::int32_t>(state.sampleLength));
    state.waterfallSteps = in.ConsumeIntegralInRange(1, 12);  // each step is a transform
    std::tie(state.dbLow, state.dbHigh) = ordered(in);
    std::tie(state.freqLowHz, state.freqHighHz) = ordered(in);
    state.shiftDb = static_cast<float>(in.ConsumeIntegral<std::int32_t>());
    state.fixDbScale = in.ConsumeBool();
    state.analysisView = in.PickValueInArray(kViews);
    state.showCaptured = in.ConsumeBool();
    state.subtractCaptured = in.ConsumeBool();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    auto program = std::make_unique<ProgramState>();
    MeasurementState& state = program->state;
    SampleArrays& arrays = program->arrays;
    settings(in, state);
    state.device.playBytes = 2 * state.sampleLength;
    state.device.recordBytes = 4 * state.sampleLength;
    if (!allocatePlayMemory(state.device, arrays.allocationBudget) ||
        !allocateRecordMemory(state.device, arrays.allocationBudget) ||
        prepareExcitation(state, arrays, TimeOfDay{}) != kPrepareDone) {
        return 0;
    }
    handDbRange(state, state.dbLow, state.dbHigh, state.shiftDb);
    handFrequencyRange(state, state.freqLowHz, state.freqHighHz);
    handFixDbScale(state, state.fixDbScale);
    handTimeCuts(state, arrays, state.lowerCut, state.upperCut);
    handWaterfall(state, state.waterfallStart, state.waterfallSteps);
    handShowSubtract(state, state.showCaptured, state.subtractCaptured);

    MessageQueue queue;
    RecordingSurface timeSurface{400, 150};
    RecordingSurface freqSurface{400, 150};
    SpectrumTools tools;
    tools.transform = [&](OneBasedSpan<ComplexValue> values) {
        fft(program->transform, values.raw(), static_cast<std::int32_t>(values.size()), -1);
    };
    tools.smooth = [&](OneBasedSpan<float> magnitudes, float) {
        smoothSpectrum(arrays, magnitudes);
    };
    const PlotEnvironment timeEnvironment{state, arrays, queue, timeSurface};
    const PlotEnvironment freqEnvironment{state, arrays, queue, freqSurface};
    const WindowHandle timeWindow =
        createTimePlotWindow(program->timePlot, program->freqPlot.drawnView, timeEnvironment);
    const WindowHandle freqWindow = createFreqPlotWindow(program->freqPlot, tools, freqEnvironment);

    // Captures of any samples with any latency, each analysed and drawn;
    // with a reference channel of any length and samples beside them, whose
    // analysis and the transfer function over it follow.
    const std::size_t samples = 2 * state.sampleLength;
    std::span<std::int16_t> recording(state.device.recordBuffer.data(), samples);
    AnalysisExtras extras;
    extras.averageImpulses = in.ConsumeBool();
    if (in.ConsumeBool()) state.reference.channel = ReferenceChannel::kRight;
    for (std::uint32_t counter = 0; counter < 3 && in.remaining_bytes() > 0; ++counter) {
        const std::int32_t latency = in.ConsumeIntegral<std::int32_t>();
        const bool constant = in.ConsumeBool();  // a stuck converter, or any samples
        const auto level = in.ConsumeIntegral<std::int16_t>();
        for (std::int16_t& sample : recording)
            sample = constant ? level : in.ConsumeIntegral<std::int16_t>();
        if (state.reference.present()) {
            state.reference.recording.resize(in.ConsumeIntegralInRange<std::size_t>(0, samples + 8));
            for (std::int16_t& sample : state.reference.recording)
                sample = in.ConsumeIntegral<std::int16_t>();
        }
        analyseCapture(state, arrays, program->transform, recording, state.recordDelaySamples,
                       state.artificialMode, counter, latency, &extras);
        state.latencySamples = latency;
        (void)panelTransferFunction(state, arrays, extras.impulses, extras.referenceImpulses);
        if (counter == 0 && in.ConsumeBool()) captureCurrent(state, arrays);
        queue.SendMessageA(timeWindow, MSG_REDRAW, 0, 0);
        queue.SendMessageA(freqWindow, in.PickValueInArray(kViewMessages), 0, 0);
        std::int32_t low = 0;
        std::int32_t high = 0;
        readBackDbRange(state, low, high);
        timeSurface.window().clear();
        freqSurface.window().clear();
    }
    queue.DestroyWindow(timeWindow);
    queue.DestroyWindow(freqWindow);
    return 0;
}
