// Traces reduced to what each pixel column shows must paint exactly the pixels
// the full traces paint, on the painter the program uses.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "platform/qt/qt_image_canvas.h"
#include "plots/trace_reduction.h"
#include "unit/plot_fixture.h"

namespace ressona {
namespace {

using testing::PlotFixture;

constexpr std::int32_t kWidth = 1200;
constexpr std::int32_t kHeight = 400;

// Pixels that differ between two canvases of the same size, with the first
// one named for the failure message.
::testing::AssertionResult samePixels(const QtImageCanvas& a, const QtImageCanvas& b) {
    int differing = 0;
    std::string first;
    for (std::int32_t y = 0; y < a.height(); ++y) {
        for (std::int32_t x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) == b.pixel(x, y)) continue;
            if (differing++ == 0) first = std::to_string(x) + "," + std::to_string(y);
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differing << " pixels differ, first at " << first;
}

// Recorded-looking traces of 16384 points over about a thousand columns:
// white noise, a smooth resonance curve, a decaying ringing and a lone pulse.
std::vector<std::vector<PlotPoint>> sampleTraces() {
    std::vector<std::vector<PlotPoint>> traces(4);
    std::mt19937 random(11);
    std::normal_distribution<double> noise(200.0, 60.0);
    for (int i = 0; i < 16384; ++i) {
        const std::int32_t x = 60 + i * 1080 / 16384;
        const double t = i / 16384.0;
        const auto clampY = [](double y) {
            return static_cast<std::int32_t>(std::clamp(y, 20.0, 380.0));
        };
        traces[0].push_back({x, clampY(noise(random))});
        traces[1].push_back({x, clampY(300.0 - 150.0 / (1.0 + std::pow((t - 0.3) * 20.0, 2)))});
        traces[2].push_back({x, clampY(200.0 + 170.0 * std::exp(-6.0 * t) * std::sin(900.0 * t))});
        traces[3].push_back({x, i == 5000 ? 30 : 370});
    }
    return traces;
}

TEST(TracePixels, ReducedPolylinesAndStaircaseSlicesPaintTheSamePixels) {
    for (const std::vector<PlotPoint>& trace : sampleTraces()) {
        std::vector<PlotPoint> reduced = trace;
        reduced.resize(reduceToColumns(reduced));
        ASSERT_LT(reduced.size(), trace.size() / 3);

        QtImageCanvas full(kWidth, kHeight), cut(kWidth, kHeight);
        for (QtImageCanvas* canvas : {&full, &cut}) {
            canvas->selectPen(Pen{PenStyle::Solid, 1, {255, 255, 0}});
        }
        polylineInBatches(full, trace);
        polylineInBatches(cut, reduced);
        EXPECT_TRUE(samePixels(full, cut));

        // The same trace as a waterfall slice: a staircase down to the bottom edge.
        std::vector<PlotPoint> stairs{{trace.front().x, 380}};
        std::int32_t previous = 380;
        for (const PlotPoint& p : trace) {
            stairs.push_back({p.x, previous});
            stairs.push_back(p);
            previous = p.y;
        }
        stairs.push_back({trace.back().x, 380});
        std::vector<PlotPoint> stairsCut = stairs;
        stairsCut.resize(reduceToColumns(stairsCut));
        QtImageCanvas fullSlice(kWidth, kHeight), cutSlice(kWidth, kHeight);
        for (QtImageCanvas* canvas : {&fullSlice, &cutSlice}) {
            canvas->selectPen(Pen{PenStyle::Solid, 1, {200, 50, 200}});
            canvas->selectBrush(Brush{{0, 0, 255}});
        }
        fullSlice.polygon(stairs);
        cutSlice.polygon(stairsCut);
        EXPECT_TRUE(samePixels(fullSlice, cutSlice));
    }
}

// Fills a 16384-point program with a room-like result: a decaying noisy
// impulse response, its spectrum, phase and a captured curve.
void fillRoomResults(PlotFixture& f) {
    SampleArrays& a = f.arrays();
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    const std::size_t n = static_cast<std::size_t>(a.pointCount);
    for (std::size_t i = 1; i <= n; ++i) {
        const float decay = std::exp(-static_cast<float>(i) / 900.0f);
        const float v = 12000.0f * decay * noise(random) + 40.0f * noise(random);
        a.timeTrace[i] = v;
        a.timeComplex[i] = ComplexValue{v, 0.0f};
        a.spectrumWork[i] = a.timeComplex[i];
        a.excitationBuffer[i] = (i % 3 == 0) ? kDriveCode : kSilenceCode;
    }
    testing::radix2Transform(a.spectrumWork.view());
    for (std::size_t i = 1; i <= n / 2; ++i) {
        const ComplexValue c = a.spectrumWork[i];
        a.magnitudeSpectrum[i] = std::sqrt(c.re * c.re + c.im * c.im);
        a.phaseSpectrum[i] = std::atan2(c.im, c.re);
        a.capturedSpectrum[i] = a.magnitudeSpectrum[i] * (1.0f + 0.5f * noise(random));
    }
    a.resultsReady = true;
    handShowSubtract(f.state(), true, false);
    setCapturedLabel(f.state(), "Captured ");
    handDbRange(f.state(), -50, 10, 0.0f);
    handWaterfall(f.state(), 100, 6);
}

// Draws one view into an image window with or without the reduction; the
// shared ranges are put back afterwards so both draws start alike.
void drawView(PlotFixture& f, std::uint32_t message, bool timePlot, bool reduce,
              QtImageSurface& surface) {
    const float dbLow = f.state().plotDbLow, dbHigh = f.state().plotDbHigh;
    const float timeMin = f.arrays().timePlotMin, timeMax = f.arrays().timePlotMax;
    MessageQueue queue;
    const PlotEnvironment env{f.state(), f.arrays(), queue, surface};
    TimePlotState timeState;
    FreqPlotState freqState;
    timeState.reduceTraces = reduce;
    freqState.reduceTraces = reduce;
    const WindowHandle w = timePlot ? createTimePlotWindow(timeState, freqState.drawnView, env)
                                    : createFreqPlotWindow(freqState, f.tools, env);
    queue.PostMessageA(w, message, 0, 0);
    while (queue.dispatchPending() > 0) {
    }
    f.state().plotDbLow = dbLow;
    f.state().plotDbHigh = dbHigh;
    f.arrays().timePlotMin = timeMin;
    f.arrays().timePlotMax = timeMax;
}

TEST(TracePixels, EveryViewAt16384PointsIsTheSameWithAndWithoutReduction) {
    PlotFixture f(16384, 44100, kWidth, kHeight);
    f.tools.transform = testing::radix2Transform;
    fillRoomResults(f);
    struct View {
        std::uint32_t message;
        bool time;
    };
    for (const View view : {View{MSG_REDRAW, true}, View{MSG_REDRAW, false},
                            View{MSG_DRAW_PHASE, false}, View{MSG_DRAW_WATERFALL, false}}) {
        QtImageSurface full(kWidth, kHeight), reduced(kWidth, kHeight);
        drawView(f, view.message, view.time, false, full);
        drawView(f, view.message, view.time, true, reduced);
        EXPECT_TRUE(samePixels(full.window(), reduced.window()))
            << view.message << (view.time ? " time" : " frequency");
    }
    // Also with third-octave-like staircases in the slices.
    f.state().analysisThirdOctave = true;
    f.tools.smooth = [](OneBasedSpan<float> m, float) {
        for (std::size_t i = 2; i + 1 <= m.size(); i += 2) m[i + 1] = m[i];
    };
    QtImageSurface full(kWidth, kHeight), reduced(kWidth, kHeight);
    drawView(f, MSG_DRAW_WATERFALL, false, false, full);
    drawView(f, MSG_DRAW_WATERFALL, false, true, reduced);
    EXPECT_TRUE(samePixels(full.window(), reduced.window()));
}

}  // namespace
}  // namespace ressona
