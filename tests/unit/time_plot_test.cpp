#include "plots/time_plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "unit/plot_fixture.h"

namespace ressona {
namespace {

using testing::PlotFixture;
using testing::pointerAt;

// 800 x 400 client: frame 40..760 by 20..380, label offsets 20 and 10.
constexpr std::int32_t kLeft = 40, kTop = 20, kRight = 760, kBottom = 380;

std::vector<CanvasCall> ticksOf(const RecordingCanvas& canvas) {
    std::vector<CanvasCall> ticks;
    for (const CanvasCall& c : canvas.callsOf(CanvasCallKind::Line)) {
        if (c.points[0].y == kBottom && c.points[1].y == kBottom + 5) ticks.push_back(c);
    }
    return ticks;
}

TEST(TimePlot, BeforeTheFirstStartShowsGreyBackgroundAndEmptyFrame) {
    PlotFixture f;
    f.arrays().pointCount = 0;
    f.createTimePlot();
    f.post(kNoWindow, 0);  // runs the redraw the window posted to itself
    const auto& calls = f.timeBitmap().calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, CanvasCallKind::FillRect);  // black until the first redraw
    EXPECT_EQ(calls[0].brush.colour, (Colour{0, 0, 0}));
    EXPECT_EQ(calls[1].kind, CanvasCallKind::Rectangle);
    EXPECT_EQ(calls[1].rect, (Rect{0, 0, 800, 400}));
    EXPECT_EQ(calls[1].brush.stock, StockBrush::kLightGrey);
    EXPECT_EQ(calls[2].rect, (Rect{kLeft, kTop, kRight, kBottom}));
    EXPECT_EQ(calls[2].brush.colour, (Colour{0, 0, 0}));
    const auto copies = f.surface.window().callsOf(CanvasCallKind::CopyBitmap);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].source, f.program.timePlot.memoryDc.get());
}

// The frame of the last redraw.
Rect frameOf(const PlotFixture& f) {
    const TimePlotState& plot = f.program.timePlot;
    return Rect{plot.frameLeft, plot.frameTop, plot.frameRight, plot.frameBottom};
}

// 2048 samples at 22050 Hz span 92.88 ms: ticks every 10 ms at the exact
// times, each label centred under its tick, "mSecs" at the right end.
TEST(TimePlot, TimeAxisTicksAndLabelsAt2048SamplesAnd22050Hz) {
    PlotFixture f(2048, 22050);
    f.createTimePlot();
    f.post(kNoWindow, 0);
    const RecordingCanvas& dc = f.timeBitmap();
    const Rect frame = frameOf(f);
    EXPECT_EQ(frame.left, 47);  // room for "-10000", its tick and gaps (6-pixel cells)
    EXPECT_EQ(frame.top, kTop);
    EXPECT_EQ(frame.bottom, kBottom);
    std::vector<CanvasCall> ticks;
    for (const CanvasCall& c : dc.callsOf(CanvasCallKind::Line)) {
        if (c.points[0].y == kBottom && c.points[1].y == kBottom + 5) ticks.push_back(c);
    }
    ASSERT_EQ(ticks.size(), 10u);
    const double width = frame.right - frame.left;
    const double span = 2048.0 * 1000.0 / 22050.0;
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i) {
        const auto x = frame.left + static_cast<std::int32_t>(std::lround(width * 10.0 * i / span));
        EXPECT_EQ(ticks[static_cast<std::size_t>(i)].points[0].x, x) << i;
    }
    const auto texts = dc.callsOf(CanvasCallKind::TextOut);
    ASSERT_GE(texts.size(), 11u);
    EXPECT_EQ(texts[0].text, "mSecs");
    EXPECT_EQ(texts[0].textBox.right, 800 - 3);
    const std::vector<std::string> labels{"0.00", "10.0", "20.0", "30.0", "40.0",
                                          "50.0", "60.0", "70.0", "80.0", "90.0"};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        EXPECT_EQ(texts[i + 1].text, labels[i]);
        const Rect& box = texts[i + 1].textBox;
        EXPECT_NEAR((box.left + box.right) / 2.0, ticks[i].points[0].x, 0.5) << labels[i];
        EXPECT_EQ(box.top, kBottom + 5 + 3);  // under the ticks
        EXPECT_TRUE(texts[i + 1].transparentBackground);
    }
}

TEST(TimePlot, TimeAxisAt16384SamplesAnd8000HzStepsBy200Milliseconds) {
    PlotFixture f(16384, 8000);
    f.createTimePlot();
    f.post(kNoWindow, 0);
    const auto texts = f.timeBitmap().texts();
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 5),
              (std::vector<std::string>{"mSecs", "0.00", "200.", "400.", "600."}));
    EXPECT_EQ(texts[11], "2000.");
}

// +-10000 counts: grey lines every 2000 counts, each label centred on its
// line left of the frame, "ADC" in the row above the frame.
TEST(TimePlot, AmplitudeGridEveryTwoThousandCountsAtTenThousand) {
    PlotFixture f;
    f.createTimePlot();
    f.post(kNoWindow, 0);
    const Rect frame = frameOf(f);
    std::vector<CanvasCall> grid;
    for (const CanvasCall& c : f.timeBitmap().callsOf(CanvasCallKind::Line)) {
        if (c.points[0].x == frame.left - 5) grid.push_back(c);
    }
    ASSERT_EQ(grid.size(), 11u);
    const double yScale = 360.0 / 20000.0;
    for (std::size_t i = 0; i < grid.size(); ++i) {
        const int value = -10000 + 2000 * static_cast<int>(i);
        const std::int32_t y =
            kBottom - static_cast<std::int32_t>(std::lround((value + 10000) * yScale));
        EXPECT_EQ(grid[i].points[0].y, y) << value;
        EXPECT_EQ(grid[i].points[1], (PlotPoint{frame.right, y}));
        EXPECT_EQ(grid[i].pen.colour, (Colour{200, 200, 200}));
        EXPECT_EQ(grid[i].rasterOp, RasterOp::CopyPen);
    }
    const auto texts = f.timeBitmap().callsOf(CanvasCallKind::TextOut);
    const auto labelled = [&](const std::string& text) {
        return std::find_if(texts.begin(), texts.end(),
                            [&](const CanvasCall& c) { return c.text == text; });
    };
    ASSERT_NE(labelled("ADC"), texts.end());
    EXPECT_EQ(labelled("ADC")->textBox.top, 3);
    ASSERT_NE(labelled("0"), texts.end());
    EXPECT_EQ(labelled("0")->textBox.right, frame.left - 5 - 3);
    EXPECT_NEAR((labelled("0")->textBox.top + labelled("0")->textBox.bottom) / 2.0, 200.0, 0.5);
    ASSERT_NE(labelled("-10000"), texts.end());
    EXPECT_EQ(labelled("-10000")->textBox.left, frame.left - 5 - 3 - 36);
}

TEST(TimePlot, RangeMovesFivePercentPerRedrawUntilWithin200CountsOfTheSignal) {
    PlotFixture f;
    f.flatResults(0.0f);
    for (std::size_t i = 1; i <= 2048; ++i) {
        f.arrays().timeTrace[i] = (i % 2 == 0) ? 500.0f : -500.0f;
    }
    const WindowHandle w = f.createTimePlot();
    f.post(kNoWindow, 0);
    EXPECT_FLOAT_EQ(f.arrays().timePlotMax, 10000.0f - 0.05f * 9500.0f);
    EXPECT_FLOAT_EQ(f.arrays().timePlotMin, -10000.0f + 0.05f * 9500.0f);
    float previous = f.arrays().timePlotMax;
    for (int redraw = 0; redraw < 200; ++redraw) {
        f.post(w, MSG_REDRAW);
        EXPECT_LE(f.arrays().timePlotMax, previous);
        previous = f.arrays().timePlotMax;
    }
    EXPECT_GE(f.arrays().timePlotMax, 500.0f);
    EXPECT_LE(f.arrays().timePlotMax, 700.0f);
    EXPECT_LE(f.arrays().timePlotMin, -500.0f);
    EXPECT_GE(f.arrays().timePlotMin, -700.0f);

    // A signal beyond the range pulls the end outwards.
    f.arrays().timeTrace[7] = 5000.0f;
    const float before = f.arrays().timePlotMax;
    f.post(w, MSG_REDRAW);
    EXPECT_FLOAT_EQ(f.arrays().timePlotMax, before - 0.05f * (before - 5000.0f));
}

TEST(TimePlot, TracesAreClampedIntoTheFrameAndTheExcitationRisesFromTheBottom) {
    PlotFixture f(64, 8000);
    f.flatResults(0.0f);
    f.arrays().timeTrace[10] = 50000.0f;   // far above the range
    f.arrays().timeTrace[20] = -50000.0f;  // far below
    f.arrays().excitationBuffer[1] = kDriveCode;
    f.arrays().excitationBuffer[2] = 200;  // above rest: stays on the bottom edge
    f.program.timePlot.reduceTraces = false;
    f.createTimePlot();
    f.post(kNoWindow, 0);
    const auto lines = f.timeBitmap().callsOf(CanvasCallKind::Polyline);
    ASSERT_EQ(lines.size(), 2u);
    const auto& signal = lines[0];
    const auto& excitation = lines[1];
    EXPECT_EQ(signal.pen.colour, (Colour{255, 255, 0}));
    ASSERT_EQ(signal.points.size(), 64u);
    const Rect frame = frameOf(f);
    const float xScale = static_cast<float>(frame.right - frame.left) / 64.0f;
    EXPECT_EQ(signal.points[0].x, frame.left + static_cast<std::int32_t>(std::lround(xScale)));
    EXPECT_EQ(signal.points[63].x, kRight);  // sample N lands on the right edge
    EXPECT_EQ(signal.points[9].y, kTop);
    EXPECT_EQ(signal.points[19].y, kBottom);
    EXPECT_EQ(signal.points[0].y, 200);  // zero on the middle of the +-10000 range

    EXPECT_EQ(excitation.pen.colour, (Colour{255, 255, 255}));
    EXPECT_EQ(excitation.points[0].y, kBottom - 36);  // a tenth of the 360-pixel frame
    EXPECT_EQ(excitation.points[1].y, kBottom);
    EXPECT_EQ(excitation.points[2].y, kBottom);
}

TEST(TimePlot, MarkersForTheCutsAndTheWaterfallStart) {
    PlotFixture f;
    handTimeCuts(f.state(), f.arrays(), 250, 750);
    handWaterfall(f.state(), 512, 30);
    const WindowHandle w = f.createTimePlot();
    f.post(kNoWindow, 0);
    const auto whiteLines = [&] {
        std::vector<std::int32_t> xs;
        for (const CanvasCall& c : f.timeBitmap().callsOf(CanvasCallKind::Line)) {
            if (c.pen.colour == Colour{255, 255, 255} && c.points[0].y == kTop) {
                xs.push_back(c.points[0].x);
            }
        }
        return xs;
    };
    // A quarter and three quarters of the frame; truncation may lose a pixel.
    const Rect frame = frameOf(f);
    const double width = frame.right - frame.left;
    const std::vector<std::int32_t> cuts = whiteLines();
    ASSERT_EQ(cuts.size(), 2u);
    EXPECT_NEAR(cuts[0], frame.left + width / 4, 1);
    EXPECT_NEAR(cuts[1], frame.left + width * 3 / 4, 1);

    f.program.freqPlot.drawnView = kViewWaterfall;
    f.clearRecordings();
    f.post(w, MSG_REDRAW);
    const std::vector<std::int32_t> withStart = whiteLines();
    ASSERT_EQ(withStart.size(), 3u);
    EXPECT_NEAR(withStart[2], frame.left + width / 4, 0.5);  // sample 512 of 2048
}

TEST(TimePlot, ReadoutShowsTheDrawnScaleOnTheWindowOnly) {
    PlotFixture f;
    f.flatResults(0.0f);
    for (std::size_t i = 1; i <= 2048; ++i) f.arrays().timeTrace[i] = 100.0f;
    const WindowHandle w = f.createTimePlot();
    f.post(kNoWindow, 0);  // draws with +-10000, then moves the range
    ASSERT_NE(f.arrays().timePlotMax, 10000.0f);
    const std::size_t bitmapCalls = f.timeBitmap().calls().size();
    f.surface.window().clear();

    const Rect frame = frameOf(f);
    f.queue.SendMessageA(w, WM_MOUSEMOVE, 0, pointerAt(frame.left, kTop));
    EXPECT_EQ(f.surface.cursor(), CursorShape::Cross);
    EXPECT_EQ(f.program.timePlot.readoutText, "( 0.000, 10000)");
    const auto& window = f.surface.window().calls();
    ASSERT_EQ(window.size(), 2u);
    EXPECT_EQ(window[0].kind, CanvasCallKind::CopyBitmap);
    EXPECT_EQ(window[1].text, "( 0.000, 10000)");
    EXPECT_EQ(window[1].textColour, (Colour{255, 17, 170}));
    EXPECT_EQ(window[1].textAlign, TA_TOP | TA_LEFT);
    EXPECT_EQ(f.timeBitmap().calls().size(), bitmapCalls);  // never enters the bitmap

    f.queue.SendMessageA(w, WM_MOUSEMOVE, 0, pointerAt(kRight, kBottom));
    EXPECT_EQ(f.program.timePlot.readoutText, "( 92.88,-10000)");
    f.queue.SendMessageA(w, WM_MOUSEMOVE, 0, pointerAt(frame.left - 1, kTop));
    EXPECT_EQ(f.surface.cursor(), CursorShape::Arrow);
}

TEST(TimePlot, ResizeStretchesTheOldPictureWithoutReadoutUntilTheNextRedraw) {
    PlotFixture f;
    const WindowHandle w = f.createTimePlot();
    f.post(kNoWindow, 0);
    f.surface.setClientSize(600, 300);
    f.surface.window().clear();
    f.queue.SendMessageA(w, WM_PAINT, 0, 0);
    const auto stretches = f.surface.window().callsOf(CanvasCallKind::StretchBitmap);
    ASSERT_EQ(stretches.size(), 1u);
    EXPECT_EQ(stretches[0].rect, (Rect{0, 0, 600, 300}));

    f.surface.window().clear();
    f.queue.SendMessageA(w, WM_MOUSEMOVE, 0, pointerAt(100, 100));
    EXPECT_EQ(f.surface.cursor(), CursorShape::Cross);
    EXPECT_TRUE(f.surface.window().calls().empty());

    f.post(w, MSG_REDRAW);
    EXPECT_EQ(f.timeBitmap().width(), 601);
    EXPECT_EQ(f.timeBitmap().height(), 301);
    f.surface.window().clear();
    f.queue.SendMessageA(w, WM_PAINT, 0, 0);
    EXPECT_EQ(f.surface.window().callsOf(CanvasCallKind::CopyBitmap).size(), 1u);
}

TEST(TimePlot, CloseCommandIsSwallowedAndDestroyReleasesTheBitmap) {
    PlotFixture f;
    const WindowHandle w = f.createTimePlot();
    EXPECT_EQ(f.queue.SendMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    EXPECT_TRUE(f.queue.IsWindow(w));
    EXPECT_TRUE(f.queue.DestroyWindow(w));
    EXPECT_EQ(f.program.timePlot.memoryDc, nullptr);
}

TEST(TimePlot, EqualRangeEndsDrawTheTimeAxisButNoAmplitudeScale) {
    PlotFixture f;
    f.flatResults(0.0f);
    f.arrays().timePlotMin = 300.0f;
    f.arrays().timePlotMax = 300.0f;
    f.createTimePlot();
    f.post(kNoWindow, 0);
    EXPECT_TRUE(f.timeBitmap().callsOf(CanvasCallKind::Polyline).empty());
    EXPECT_EQ(ticksOf(f.timeBitmap()).size(), 10u);  // 0 .. 90 ms
    EXPECT_FLOAT_EQ(f.arrays().timePlotMax, 300.0f);
}

}  // namespace
}  // namespace ressona
