#pragma once
// A headless program for plot tests: the shared state with the panel's
// hand-overs applied, arrays for a chosen length and rate, a message queue and
// recording windows, plus a plain discrete transform standing in for the
// analysis's fast one.

#include <cmath>
#include <complex>
#include <ostream>
#include <utility>
#include <vector>

#include "control/array_hand_over.h"
#include "control/program_state.h"
#include "platform/canvas/recording_canvas.h"
#include "platform/messages/message_queue.h"
#include "plots/freq_plot.h"
#include "plots/plot_environment.h"
#include "plots/time_plot.h"
#include "signals/sample_arrays.h"

namespace ressona {

inline bool operator==(PlotPoint a, PlotPoint b) {
    return a.x == b.x && a.y == b.y;
}
inline void PrintTo(PlotPoint p, std::ostream* out) {
    *out << "(" << p.x << ", " << p.y << ")";
}
inline void PrintTo(const Rect& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

}  // namespace ressona

namespace ressona::testing {

// X(k) = (1/N) sum x(n) e^(+2 pi i nk/N), computed directly in double precision.
inline void naiveTransform(OneBasedSpan<ComplexValue> data) {
    const std::size_t n = data.size();
    std::vector<std::complex<double>> input(n);
    for (std::size_t i = 0; i < n; ++i) input[i] = {data[i + 1].re, data[i + 1].im};
    const double pi = 3.14159265358979323846;
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (std::size_t t = 0; t < n; ++t) {
            const double angle =
                2.0 * pi * static_cast<double>((t * k) % n) / static_cast<double>(n);
            sum += input[t] * std::complex<double>(std::cos(angle), std::sin(angle));
        }
        sum /= static_cast<double>(n);
        data[k + 1] = ComplexValue{static_cast<float>(sum.real()), static_cast<float>(sum.imag())};
    }
}

// The same transform by radix-2 steps (N a power of two), for sizes where the
// direct sum takes too long.
inline void radix2Transform(OneBasedSpan<ComplexValue> data) {
    const std::size_t n = data.size();
    std::vector<std::complex<double>> a(n);
    for (std::size_t i = 0; i < n; ++i) a[i] = {data[i + 1].re, data[i + 1].im};
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    const double pi = 3.14159265358979323846;
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = 2.0 * pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += length) {
            std::complex<double> w = 1.0;
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + length / 2] * w;
                a[i + k] = u + v;
                a[i + k + length / 2] = u - v;
                w *= step;
            }
        }
    }
    for (std::size_t k = 0; k < n; ++k) {
        const std::complex<double> x = a[k] / static_cast<double>(n);
        data[k + 1] = ComplexValue{static_cast<float>(x.real()), static_cast<float>(x.imag())};
    }
}

inline SpectrumTools naiveTools() {
    SpectrumTools tools;
    tools.transform = naiveTransform;
    tools.smooth = [](OneBasedSpan<float>, float) {};
    return tools;
}

// Text cells of 6 x 9 pixels: small enough that an 800 x 400 window keeps the
// frame's margins of a twentieth (40..760 by 20..380), so the tests of the
// traces need not follow the labels' room.
inline TextExtent smallCellExtent(std::string_view text) {
    return TextExtent{6 * static_cast<std::int32_t>(text.size()), 9};
}

struct PlotFixture {
    explicit PlotFixture(std::uint32_t n = 2048, std::uint32_t rate = 22050,
                         std::int32_t width = 800, std::int32_t height = 400,
                         TextMeasure measure = smallCellExtent)
        : surface(width, height, std::move(measure)) {
        MeasurementState& s = program.state;
        s.sampleLength = n;
        s.sampleRate = rate;
        allocateSampleArrays(s, program.arrays, n, rate, 1, true);
        handFixDbScale(s, false);
        handDbRange(s, s.dbLow, s.dbHigh, s.shiftDb);
        handFrequencyRange(s, s.freqLowHz, s.freqHighHz);
        handTimeCuts(s, program.arrays, s.lowerCut, s.upperCut);
        handWaterfall(s, s.waterfallStart, s.waterfallSteps);
    }

    MeasurementState& state() { return program.state; }
    SampleArrays& arrays() { return program.arrays; }
    PlotEnvironment environment() {
        return PlotEnvironment{program.state, program.arrays, queue, surface};
    }

    WindowHandle createTimePlot() {
        return createTimePlotWindow(program.timePlot, program.freqPlot.drawnView, environment());
    }
    WindowHandle createFreqPlot() {
        return createFreqPlotWindow(program.freqPlot, tools, environment());
    }
    RecordingCanvas& timeBitmap() {
        return static_cast<RecordingCanvas&>(*program.timePlot.memoryDc);
    }
    RecordingCanvas& freqBitmap() {
        return static_cast<RecordingCanvas&>(*program.freqPlot.memoryDc);
    }

    // Posts a message and dispatches until the queue is empty.
    void post(WindowHandle window, std::uint32_t message) {
        queue.PostMessageA(window, message, 0, 0);
        while (queue.dispatchPending() > 0) {
        }
    }
    // Forgets what the canvases recorded so far.
    void clearRecordings() {
        if (program.timePlot.memoryDc) timeBitmap().clear();
        if (program.freqPlot.memoryDc) freqBitmap().clear();
        surface.window().clear();
    }

    // Fills every result as a flat spectrum at `magnitude` with zero phase and results ready.
    void flatResults(float magnitude) {
        SampleArrays& a = program.arrays;
        a.magnitudeSpectrum.fill(magnitude);
        a.phaseSpectrum.fill(0.0f);
        a.capturedSpectrum.fill(magnitude);
        a.timeTrace.fill(0.0f);
        a.excitationBuffer.fill(kSilenceCode);
        a.resultsReady = true;
    }

    ProgramState program;
    MessageQueue queue;
    RecordingSurface surface;
    SpectrumTools tools = naiveTools();
};

// The magnitude that 20 log10(N m / 65536 + 0.000001) turns into `db`.
inline float magnitudeForDb(float db, std::int32_t n) {
    return (std::pow(10.0f, db / 20.0f) - 0.000001f) * 65536.0f / static_cast<float>(n);
}

// Packs a pointer position as WM_MOUSEMOVE carries it.
inline LPARAM pointerAt(std::int32_t x, std::int32_t y) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(y) << 16) |
                               static_cast<std::uint32_t>(x));
}

}  // namespace ressona::testing
