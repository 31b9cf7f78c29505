// Draw times of the plot windows on the painter canvas at N = 16384 into a
// 1200 x 400 client area, and the waterfall against the transforms it runs.
// The plots use the program's own transform, as the program does; the
// waterfall is compared with the same number of bare FFTW transforms (single
// precision, in place), timed in the same run.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <time.h>

#include <cmath>
#include <memory>
#include <random>

#include "analysis/fft.h"
#include "control/array_hand_over.h"
#include "control/program_state.h"
#include "platform/messages/message_queue.h"
#include "platform/qt/qt_image_canvas.h"
#include "plots/freq_plot.h"
#include "plots/time_plot.h"
#include "signals/sample_arrays.h"

namespace ressona {
namespace {

constexpr std::uint32_t kPoints = 16384;
constexpr std::uint32_t kRate = 44100;
constexpr std::int32_t kWidth = 1200;
constexpr std::int32_t kHeight = 400;

// FFTW on an aligned buffer of N values; the data is copied in and out.
class FftwTransform {
  public:
    explicit FftwTransform(int n)
        : n_(n),
          buffer_(static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * n))),
          plan_(fftwf_plan_dft_1d(n, buffer_, buffer_, FFTW_BACKWARD, FFTW_MEASURE)) {}
    ~FftwTransform() {
        fftwf_destroy_plan(plan_);
        fftwf_free(buffer_);
    }
    FftwTransform(const FftwTransform&) = delete;
    FftwTransform& operator=(const FftwTransform&) = delete;

    // X(k) = (1/N) sum x(n) e^(+2 pi i nk/N), in place.
    void operator()(OneBasedSpan<ComplexValue> data) {
        const float scale = 1.0f / static_cast<float>(n_);
        for (int i = 0; i < n_; ++i) {
            buffer_[i][0] = data[static_cast<std::size_t>(i) + 1].re;
            buffer_[i][1] = data[static_cast<std::size_t>(i) + 1].im;
        }
        fftwf_execute(plan_);
        for (int i = 0; i < n_; ++i) {
            data[static_cast<std::size_t>(i) + 1] = {buffer_[i][0] * scale, buffer_[i][1] * scale};
        }
    }
    void executeOnly() { fftwf_execute(plan_); }
    fftwf_complex* buffer() { return buffer_; }

  private:
    int n_;
    fftwf_complex* buffer_;
    fftwf_plan plan_;
};

// A program with a measured-looking room response at N = 16384: a noisy
// decaying impulse response with its spectrum, phase and a captured curve.
struct PlotScene {
    PlotScene() : surface(kWidth, kHeight), transform(static_cast<int>(kPoints)) {
        MeasurementState& s = program.state;
        SampleArrays& a = program.arrays;
        allocateSampleArrays(s, a, kPoints, kRate, 1, true);
        handFixDbScale(s, true);
        handDbRange(s, -60, 10, 0.0f);
        handFrequencyRange(s, 10, 30000);
        handTimeCuts(s, a, 0, 1000);
        handWaterfall(s, 50, 30);
        handShowSubtract(s, true, false);
        setCapturedLabel(s, "Captured ");
        std::mt19937 random(3);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        for (std::size_t i = 1; i <= kPoints; ++i) {
            const float v = 12000.0f * std::exp(-static_cast<float>(i) / 1500.0f) * noise(random) +
                            30.0f * noise(random);
            a.timeTrace[i] = v;
            a.timeComplex[i] = {v, 0.0f};
            a.spectrumWork[i] = a.timeComplex[i];
            a.excitationBuffer[i] = (i % 2 == 0) ? kDriveCode : kSilenceCode;
        }
        transform(a.spectrumWork.view());
        for (std::size_t i = 1; i <= kPoints / 2; ++i) {
            const ComplexValue c = a.spectrumWork[i];
            a.magnitudeSpectrum[i] = std::sqrt(c.re * c.re + c.im * c.im);
            a.phaseSpectrum[i] = std::atan2(c.im, c.re);
            a.capturedSpectrum[i] = a.magnitudeSpectrum[i] * 0.8f;
        }
        a.resultsReady = true;
        tools.transform = [this](OneBasedSpan<ComplexValue> data) {
            fft(program.transform, data.raw(), static_cast<std::int32_t>(data.size()), -1);
        };
        tools.leadingTransform = [this](OneBasedSpan<ComplexValue> data,
                                        std::span<ComplexValue> leading) {
            fftLeading(program.transform, data.raw(), static_cast<std::int32_t>(data.size()), -1,
                       leading);
        };
        tools.smooth = [](OneBasedSpan<float>, float) {};
    }

    OffscreenGui gui;
    ProgramState program;
    MessageQueue queue;
    QtImageSurface surface;
    FftwTransform transform;
    SpectrumTools tools;
};

void drawRepeatedly(benchmark::State& bench, PlotScene& scene, WindowHandle window,
                    std::uint32_t message) {
    for (auto _ : bench) {
        scene.queue.PostMessageA(window, message, 0, 0);
        scene.queue.dispatchPending();
    }
}

void BM_StandardView(benchmark::State& bench) {
    PlotScene scene;
    scene.program.freqPlot.reduceTraces = bench.range(0) != 0;
    const PlotEnvironment env{scene.program.state, scene.program.arrays, scene.queue,
                              scene.surface};
    const WindowHandle w = createFreqPlotWindow(scene.program.freqPlot, scene.tools, env);
    scene.queue.dispatchPending();
    drawRepeatedly(bench, scene, w, MSG_REDRAW);
}
BENCHMARK(BM_StandardView)->ArgName("reduced")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_TimePlot(benchmark::State& bench) {
    PlotScene scene;
    scene.program.timePlot.reduceTraces = bench.range(0) != 0;
    const PlotEnvironment env{scene.program.state, scene.program.arrays, scene.queue,
                              scene.surface};
    const WindowHandle w =
        createTimePlotWindow(scene.program.timePlot, scene.program.freqPlot.drawnView, env);
    scene.queue.dispatchPending();
    drawRepeatedly(bench, scene, w, MSG_REDRAW);
}
BENCHMARK(BM_TimePlot)->ArgName("reduced")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The processor time this thread has used, in seconds: unlike the wall clock
// it does not count the time other processes of a busy machine take.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Waterfall with S steps (S + 1 transforms); the counter gives the ratio to
// S + 1 bare FFTW transforms, timed in the same run.
void BM_Waterfall(benchmark::State& bench) {
    PlotScene scene;
    const auto steps = static_cast<std::int32_t>(bench.range(0));
    scene.program.freqPlot.reduceTraces = bench.range(1) != 0;
    handWaterfall(scene.program.state, 50, steps);
    const PlotEnvironment env{scene.program.state, scene.program.arrays, scene.queue,
                              scene.surface};
    const WindowHandle w = createFreqPlotWindow(scene.program.freqPlot, scene.tools, env);
    scene.queue.dispatchPending();

    // The yardstick, S + 1 bare executions of the same plan, is timed next to
    // every draw, so that both see the same load of a busy machine.
    const auto yardstick = [&] {
        for (std::int32_t k = 0; k <= steps; ++k) scene.transform.executeOnly();
    };
    yardstick();
    double fftwSeconds = 0.0;
    double drawSeconds = 0.0;
    for (auto _ : bench) {
        const double start = threadSeconds();
        scene.queue.PostMessageA(w, MSG_DRAW_WATERFALL, 0, 0);
        scene.queue.dispatchPending();
        const double drawn = threadSeconds();
        yardstick();
        drawSeconds += drawn - start;
        fftwSeconds += threadSeconds() - drawn;
    }
    const auto iterations = static_cast<double>(bench.iterations());
    bench.counters["draw_ms"] = drawSeconds * 1000.0 / iterations;
    bench.counters["fftw_ms"] = fftwSeconds * 1000.0 / iterations;
    bench.counters["ratio_to_fftw"] = drawSeconds / fftwSeconds;
}
BENCHMARK(BM_Waterfall)
    ->ArgNames({"steps", "reduced"})
    ->Args({30, 1})
    ->Args({30, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Waterfall)
    ->ArgNames({"steps", "reduced"})
    ->Args({kPoints / 2, 1})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ressona
