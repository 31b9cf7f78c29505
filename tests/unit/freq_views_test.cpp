// The phase, histogram and waterfall views of the frequency plot.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "plots/freq_plot.h"
#include "unit/plot_fixture.h"

namespace ressona {
namespace {

using testing::magnitudeForDb;
using testing::PlotFixture;

constexpr std::int32_t kLeft = 40, kTop = 20, kRight = 760, kBottom = 380;

struct FreqViewsTest : ::testing::Test {
    explicit FreqViewsTest(std::uint32_t n = 2048) : f(n) {}
    void start() {
        window = f.createFreqPlot();
        f.post(kNoWindow, 0);
    }
    void draw(std::uint32_t message) {
        f.clearRecordings();
        f.post(window, message);
    }
    PlotFixture f;
    WindowHandle window = kNoWindow;
};

std::pair<std::int32_t, std::int32_t> xRange(const std::vector<PlotPoint>& points) {
    const auto [low, high] = std::minmax_element(
        points.begin(), points.end(), [](PlotPoint a, PlotPoint b) { return a.x < b.x; });
    return {low->x, high->x};
}

std::int32_t topLevel(const std::vector<PlotPoint>& points) {
    return std::min_element(points.begin(), points.end(),
                            [](PlotPoint a, PlotPoint b) { return a.y < b.y; })
        ->y;
}

TEST_F(FreqViewsTest, PhaseRunsFromMinusPiAtTheBottomToPlusPiAtTheTop) {
    f.flatResults(0.0f);
    f.arrays().phaseSpectrum[2] = -3.1415925f;
    f.arrays().phaseSpectrum[3] = 3.1415925f;
    f.program.freqPlot.reduceTraces = false;
    start();
    draw(MSG_DRAW_PHASE);
    const RecordingCanvas& dc = f.freqBitmap();
    const auto traces = dc.callsOf(CanvasCallKind::Polyline);
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(traces[0].pen.colour, (Colour{200, 50, 200}));
    EXPECT_EQ(traces[0].points[0].y, kBottom);
    EXPECT_EQ(traces[0].points[1].y, kTop);
    EXPECT_EQ(traces[0].points[2].y, (kTop + kBottom) / 2);

    // A tick under every frequency label, "+pi" and "-pi" centred beside the
    // frame's top and bottom edges on their ticks; no dB axis.
    std::size_t ticks = 0;
    for (const CanvasCall& c : dc.callsOf(CanvasCallKind::Line)) {
        if (c.points[0].y == kBottom + 5 && c.points[1].y == kBottom) ++ticks;
    }
    const auto texts = dc.callsOf(CanvasCallKind::TextOut);
    ASSERT_EQ(texts.size(), ticks + 3);  // the labels, "Hertz", "+pi", "-pi"
    EXPECT_EQ(texts[0].text, "Hertz");
    EXPECT_EQ(texts[1].text, "10.");
    const auto pi = [&](const char* text) {
        return *std::find_if(texts.begin(), texts.end(),
                             [&](const CanvasCall& c) { return c.text == text; });
    };
    EXPECT_EQ(pi("+pi").textBox, (Rect{kLeft - 5 - 3 - 18, kTop - 4, kLeft - 5 - 3, kTop + 5}));
    EXPECT_EQ(pi("-pi").textBox,
              (Rect{kLeft - 5 - 3 - 18, kBottom - 4, kLeft - 5 - 3, kBottom + 5}));
    EXPECT_TRUE(std::none_of(texts.begin(), texts.end(),
                             [](const CanvasCall& c) { return c.text == "dB"; }));
    EXPECT_EQ(f.program.freqPlot.drawnView, kViewPhase);

    f.queue.SendMessageA(window, WM_MOUSEMOVE, 0, testing::pointerAt(kLeft, kBottom));
    EXPECT_EQ(f.program.freqPlot.readoutText, "(    10,-3.142)");
}

TEST_F(FreqViewsTest, HistogramLabelsStartAtZeroHertzAndEmptyBandsSitAtMinus120Db) {
    f.flatResults(magnitudeForDb(-40.0f, 2048));
    start();
    f.state().plotDbLow = -90.0f;
    f.state().plotDbHigh = 3.0f;
    draw(MSG_DRAW_HISTOGRAM);
    const RecordingCanvas& dc = f.freqBitmap();
    // 10 .. 30000 Hz: an axis from 0 to 29990 Hz, labelled every 5 kHz, each
    // label centred on a tick at its frequency; then the dB axis.
    const auto texts = dc.callsOf(CanvasCallKind::TextOut);
    const double xScale = 720.0 / 29990.0;
    const std::vector<std::string> labels{"Hertz", "0.", "5.0k", "10k", "15k", "20k", "25k"};
    ASSERT_GE(texts.size(), labels.size() + 1);
    std::vector<std::int32_t> ticks;
    for (const CanvasCall& c : dc.callsOf(CanvasCallKind::Line)) {
        if (c.points[0].y == kBottom + 5 && c.points[1].y == kBottom)
            ticks.push_back(c.points[0].x);
    }
    ASSERT_EQ(ticks.size(), 6u);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        EXPECT_EQ(texts[i].text, labels[i]);
        if (i == 0) continue;
        const std::int32_t x =
            kLeft + static_cast<std::int32_t>(std::lround(xScale * 5000.0 * (i - 1)));
        EXPECT_EQ(ticks[i - 1], x) << labels[i];
        EXPECT_NEAR((texts[i].textBox.left + texts[i].textBox.right) / 2.0, x, 0.5) << labels[i];
    }
    EXPECT_EQ(texts[labels.size()].text, "dB");

    const auto bars = dc.callsOf(CanvasCallKind::Polygon);
    ASSERT_EQ(bars.size(), 100u);
    EXPECT_EQ(bars[0].pen.colour, (Colour{255, 255, 0}));
    EXPECT_EQ(bars[0].brush.colour, (Colour{0, 0, 0}));
    EXPECT_EQ(bars[0].points.front(), (PlotPoint{kLeft, kBottom}));
    EXPECT_EQ(bars[99].points[2].x, kRight);  // the bars tile the frame edge to edge
    for (std::size_t b = 1; b < bars.size(); ++b) {
        EXPECT_EQ(bars[b].points[0].x, bars[b - 1].points[2].x);
    }
    // Everything above 11025 Hz is empty: a flat bar on the bottom edge.
    EXPECT_EQ(bars[40].points[1].y, kBottom);
    EXPECT_EQ(bars[5].points[1].y,
              kBottom - static_cast<std::int32_t>(std::lround(50.0f * 360.0f / 93.0f)));
    // The empty bands pull the low limit towards -120 dB.
    EXPECT_NEAR(f.state().plotDbLow, -90.0f - 0.05f * 30.0f, 1e-3);
}

TEST_F(FreqViewsTest, HistogramLastBandCollectsEverythingAboveIt) {
    f.flatResults(0.0f);
    handFrequencyRange(f.state(), 10, 1010);  // bands of 10 Hz, band 100 from 990 Hz on
    f.state().plotFixDbScale = true;
    start();
    draw(MSG_DRAW_HISTOGRAM);
    std::int32_t expected = 0;
    for (std::size_t i = 2; i <= 1024; ++i) {
        if (static_cast<float>(i - 1) * f.arrays().binWidth >= 990.0f) ++expected;
    }
    EXPECT_EQ(f.program.freqPlot.bandCount[99], expected);
    EXPECT_GT(expected, 900);

    f.queue.SendMessageA(window, WM_MOUSEMOVE, 0, testing::pointerAt(kLeft, kTop));
    EXPECT_EQ(f.program.freqPlot.readoutText.substr(1, 6), "     0");  // 0 Hz on the left edge
    f.queue.SendMessageA(window, WM_MOUSEMOVE, 0, testing::pointerAt(kRight, kTop));
    EXPECT_EQ(f.program.freqPlot.readoutText.substr(1, 6), "  1000");
}

// Lets the waterfall's first slice position sit exactly on the low limit and
// the last on the high limit, so the slices span their insets exactly.
void spanPositionsExactly(PlotFixture& f) {
    f.state().plotFreqLow = f.arrays().binWidth;
    f.state().plotFreqHigh = static_cast<float>(f.arrays().binCount - 1) * f.arrays().binWidth;
}

struct WaterfallTest : FreqViewsTest {
    WaterfallTest() : FreqViewsTest(64) {}
    void recordSine(float periods) {
        for (std::size_t i = 1; i <= 64; ++i) {
            const double angle =
                2.0 * 3.14159265358979 * periods * static_cast<double>(i - 1) / 64.0;
            f.arrays().timeComplex[i] = {static_cast<float>(20000.0 * std::sin(angle)), 0.0f};
        }
    }
};

TEST_F(WaterfallTest, OneStepDrawsTheBackSliceInsetAndTheFrontSliceFullWidthThreePixelsLower) {
    f.flatResults(0.0f);
    for (std::size_t i = 1; i <= 64; ++i) f.arrays().timeComplex[i] = {0.0f, 0.0f};
    f.arrays().timeComplex[1] = {30000.0f, 0.0f};  // a pulse: a flat spectrum
    handWaterfall(f.state(), 64, 1);
    spanPositionsExactly(f);
    f.state().plotFixDbScale = true;
    start();
    draw(MSG_DRAW_WATERFALL);
    const auto slices = f.freqBitmap().callsOf(CanvasCallKind::Polygon);
    ASSERT_EQ(slices.size(), 2u);
    EXPECT_EQ(slices[0].pen.colour, (Colour{200, 50, 200}));
    EXPECT_EQ(slices[0].brush.colour, (Colour{0, 0, 255}));
    EXPECT_EQ(xRange(slices[0].points), std::make_pair(kLeft + 144, kRight - 144));
    EXPECT_EQ(xRange(slices[1].points), std::make_pair(kLeft, kRight));
    EXPECT_EQ(topLevel(slices[1].points), topLevel(slices[0].points) + 3);
    EXPECT_EQ(slices[0].points.front().y, kBottom);  // the outline starts and ends on the bottom
    EXPECT_EQ(slices[0].points.back().y, kBottom);
    // No black frame and no dB axis in this view.
    EXPECT_TRUE(f.freqBitmap().callsOf(CanvasCallKind::Rectangle).size() == 1u);
    const auto texts = f.freqBitmap().texts();
    EXPECT_EQ(texts.front(), "Hertz");
    EXPECT_TRUE(
        std::none_of(texts.begin(), texts.end(), [](const std::string& t) { return t == "dB"; }));
    EXPECT_EQ(f.program.freqPlot.drawnView, kViewWaterfall);
}

TEST_F(WaterfallTest, StartAtTheEndGivesEverySliceTheSameShapeEachLowerThanTheLast) {
    f.flatResults(0.0f);
    recordSine(5.3f);
    handWaterfall(f.state(), 64, 3);
    spanPositionsExactly(f);
    handDbRange(f.state(), -200, 100, 0.0f);  // nothing is clamped
    f.state().plotFixDbScale = true;
    f.program.freqPlot.reduceTraces = false;
    start();
    draw(MSG_DRAW_WATERFALL);
    const auto slices = f.freqBitmap().callsOf(CanvasCallKind::Polygon);
    ASSERT_EQ(slices.size(), 4u);
    for (std::size_t k = 1; k < slices.size(); ++k) {
        ASSERT_EQ(slices[k].points.size(), slices[0].points.size());
        // Vertices 0, 1 and the last lie on the bottom edge; the levels are between.
        for (std::size_t v = 2; v + 1 < slices[0].points.size(); ++v) {
            EXPECT_EQ(slices[k].points[v].y, slices[0].points[v].y + 3 * static_cast<int>(k));
        }
    }
}

TEST_F(WaterfallTest, SlicesDropSamplesAfterTheStartAndKeepTheMeasuredMagnitudes) {
    f.flatResults(magnitudeForDb(-33.0f, 64));
    recordSine(4.0f);
    for (std::size_t i = 33; i <= 64; ++i) f.arrays().timeComplex[i] = {0.0f, 0.0f};
    handWaterfall(f.state(), 0, 32);
    int transforms = 0;
    int smoothings = 0;
    f.tools.transform = [&](OneBasedSpan<ComplexValue> data) {
        ++transforms;
        testing::naiveTransform(data);
    };
    f.tools.smooth = [&](OneBasedSpan<float> magnitudes, float) {
        EXPECT_EQ(magnitudes.size(), 32u);
        ++smoothings;
    };
    start();
    draw(MSG_DRAW_WATERFALL);
    EXPECT_EQ(transforms, 33);
    EXPECT_EQ(smoothings, 0);
    // The last slice has dropped the whole sine: its record is all zeros.
    for (std::size_t i = 1; i <= 64; ++i) {
        EXPECT_FLOAT_EQ(f.arrays().spectrumWork[i].re, 0.0f);
    }
    for (std::size_t i = 1; i <= 32; ++i) {
        EXPECT_FLOAT_EQ(f.arrays().magnitudeSpectrum[i], magnitudeForDb(-33.0f, 64));
    }

    f.state().analysisThirdOctave = true;
    draw(MSG_DRAW_WATERFALL);
    EXPECT_EQ(smoothings, 33);
}

TEST_F(WaterfallTest, FrequencyAveragingAddsTheRunningSumAndScalingFollowsTheLoweredLevels) {
    f.flatResults(0.0f);
    for (std::size_t i = 1; i <= 64; ++i) f.arrays().timeComplex[i] = {0.0f, 0.0f};
    f.arrays().analysisAverageInTime = false;
    f.arrays().averagesDone = 1;
    f.arrays().averageSum.fill(2.0f * magnitudeForDb(-40.0f, 64));  // (0 + sum) / 2 is -40 dB
    handWaterfall(f.state(), 0, 1);
    handDbRange(f.state(), -90, 3, 0.0f);
    spanPositionsExactly(f);
    start();
    const float high = f.state().plotDbHigh;
    const float low = f.state().plotDbLow;
    const float yScale = 360.0f / (high - low);
    draw(MSG_DRAW_WATERFALL);
    const auto slices = f.freqBitmap().callsOf(CanvasCallKind::Polygon);
    ASSERT_EQ(slices.size(), 2u);
    const std::int32_t backY =
        kBottom - static_cast<std::int32_t>(std::lround((-40.0f - low) * yScale));
    EXPECT_EQ(topLevel(slices[0].points), backY);
    // The front slice stands 3 pixels lower and represents that lower level.
    const float frontLevel = static_cast<float>(kBottom - backY - 3) / yScale + low;
    EXPECT_NEAR(f.state().plotDbLow, low - 0.05f * (low - frontLevel), 1e-3);
}

// A window without height has no levels to read back from its slices: the
// scaling must leave the dB limits as they are rather than run them off to
// infinity.
TEST_F(WaterfallTest, AWindowWithoutHeightLeavesTheDbLimitsAlone) {
    f.flatResults(0.0f);
    recordSine(3.0f);
    handWaterfall(f.state(), 0, 4);
    start();
    f.surface.setClientSize(800, 0);
    handDbRange(f.state(), -70, 10, 0.0f);
    draw(MSG_DRAW_WATERFALL);
    // Not even the labels' rows fit: the frame has no height and no slice is drawn.
    EXPECT_TRUE(f.freqBitmap().callsOf(CanvasCallKind::Polygon).empty());
    EXPECT_EQ(f.state().plotDbLow, -70.0f);
    EXPECT_EQ(f.state().plotDbHigh, 10.0f);
}

TEST_F(FreqViewsTest, WithoutArraysPhaseAndWaterfallLeaveThePictureAlone) {
    start();
    f.arrays().pointCount = 0;
    f.arrays().binCount = 0;
    for (std::uint32_t view : {MSG_DRAW_PHASE, MSG_DRAW_WATERFALL}) {
        draw(view);
        EXPECT_TRUE(f.freqBitmap().calls().empty()) << view;
        EXPECT_TRUE(f.surface.window().calls().empty()) << view;
        EXPECT_EQ(f.program.freqPlot.drawnView, kViewStandard);
    }
    draw(MSG_DRAW_HISTOGRAM);
    EXPECT_EQ(f.freqBitmap().calls().size(), 2u);  // background and frame
    EXPECT_EQ(f.surface.window().callsOf(CanvasCallKind::CopyBitmap).size(), 1u);
}

}  // namespace
}  // namespace ressona
