#include "plots/freq_plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "measure/spl_picture.h"
#include "unit/plot_fixture.h"

namespace ressona {
namespace {

using testing::magnitudeForDb;
using testing::PlotFixture;
using testing::pointerAt;

// 800 x 400 client: frame 40..760 by 20..380, label offsets 20 and 10.
constexpr std::int32_t kLeft = 40, kTop = 20, kRight = 760, kBottom = 380;

std::int32_t logX(const MeasurementState& s, float hertz) {
    const float xScale = 720.0f / (std::log10(s.plotFreqHigh) - std::log10(s.plotFreqLow));
    return static_cast<std::int32_t>(
               std::lround(xScale * (std::log10(hertz) - std::log10(s.plotFreqLow)))) +
           kLeft;
}

// The dB grid's lines: from 5 pixels left of the frame across it.
std::vector<CanvasCall> dbGridLines(const RecordingCanvas& dc, std::int32_t left = kLeft) {
    std::vector<CanvasCall> lines;
    for (const CanvasCall& c : dc.callsOf(CanvasCallKind::Line)) {
        if (c.points[0].x == left - 5 && c.points[1].x == kRight) lines.push_back(c);
    }
    return lines;
}

// A freshly created frequency plot whose first (standard) draw has run.
struct FreqPlotTest : ::testing::Test {
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

// 10 .. 30000 Hz over -90 .. 3 dB: grid lines at 1 .. 9 times each power of
// ten, the labels centred under theirs, "Hertz" at the right end; dB lines
// every 10 dB, each label centred beside its line, "dB" above.
TEST_F(FreqPlotTest, StandardViewGridLabelsAndDbAxis) {
    start();
    const RecordingCanvas& dc = f.freqBitmap();
    std::vector<std::int32_t> grid;
    for (const CanvasCall& c : dc.callsOf(CanvasCallKind::Line)) {
        if (c.points[0].y == kBottom + 5 && c.points[1].y == kTop) {
            grid.push_back(c.points[0].x);
            EXPECT_EQ(c.pen.style, PenStyle::Dot);
            EXPECT_EQ(c.pen.colour, (Colour{0, 255, 0}));
        }
    }
    ASSERT_EQ(grid.size(), 30u);  // 10 .. 90, 100 .. 900, 1k .. 9k, 10k, 20k, 30k
    EXPECT_EQ(grid.front(), kLeft);
    EXPECT_EQ(grid.back(), kRight);

    const auto texts = dc.callsOf(CanvasCallKind::TextOut);
    const auto find = [&](const std::string& text) {
        return std::find_if(texts.begin(), texts.end(),
                            [&](const CanvasCall& c) { return c.text == text; });
    };
    ASSERT_NE(find("Hertz"), texts.end());
    EXPECT_EQ(find("Hertz")->textBox.right, 800 - 3);
    for (const auto& [text, hertz] :
         std::vector<std::pair<std::string, float>>{{"10.", 10.0f},
                                                    {"20.", 20.0f},
                                                    {"100.", 100.0f},
                                                    {"1.0k", 1000.0f},
                                                    {"2.0k", 2000.0f},
                                                    {"10k", 10000.0f},
                                                    {"20k", 20000.0f}}) {
        const auto label = find(text);
        ASSERT_NE(label, texts.end()) << text;
        EXPECT_NEAR((label->textBox.left + label->textBox.right) / 2.0, logX(f.state(), hertz), 1.0)
            << text;
        EXPECT_EQ(label->textBox.top, kBottom + 5 + 3) << text;
    }
    const auto lines = dbGridLines(dc);
    ASSERT_EQ(lines.size(), 10u);  // -90 .. 0
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int db = -90 + 10 * static_cast<int>(i);
        const std::int32_t y =
            kBottom - static_cast<std::int32_t>(std::lround((db + 90) * 360.0 / 93.0));
        EXPECT_EQ(lines[i].points[0].y, y) << db;
        const auto label = find(std::to_string(db) + ".");
        ASSERT_NE(label, texts.end()) << db;
        EXPECT_EQ(label->textBox.right, kLeft - 5 - 3);
        EXPECT_NEAR((label->textBox.top + label->textBox.bottom) / 2.0, y, 0.5) << db;
    }
    ASSERT_NE(find("dB"), texts.end());
    EXPECT_EQ(find("dB")->textBox, (Rect{3, 3, 15, 12}));
}

// In dB SPL for a picture: the curve and its range move together, the axis
// says so, and the panel's plot is as it was afterwards.
TEST_F(FreqPlotTest, APictureInDbSplIsLabelledAndTheStateComesBack) {
    start();
    const float shift = f.state().plotShiftDb;
    const float low = f.state().plotDbLow;
    const float high = f.state().plotDbHigh;
    {
        const SplPicture inSpl(f.state(), 120.0);
        draw(MSG_REDRAW);
        const auto texts = f.freqBitmap().callsOf(CanvasCallKind::TextOut);
        const auto has = [&](const std::string& text) {
            return std::any_of(texts.begin(), texts.end(),
                               [&](const CanvasCall& c) { return c.text == text; });
        };
        EXPECT_TRUE(has("dB SPL"));
        EXPECT_TRUE(has("120."));
        EXPECT_FALSE(has("dB"));
    }
    EXPECT_FALSE(f.state().plotLevelInSpl);
    EXPECT_EQ(f.state().plotShiftDb, shift);
    EXPECT_EQ(f.state().plotDbLow, low);
    EXPECT_EQ(f.state().plotDbHigh, high);
}

// The dB lines are round steps, about twelve at most, and never closer than a label's height.
TEST_F(FreqPlotTest, DbGridSpacingFollowsTheRange) {
    start();
    const auto linesFor = [&](float low, float high) {
        f.state().plotDbLow = low;
        f.state().plotDbHigh = high;
        draw(MSG_REDRAW);
        return dbGridLines(f.freqBitmap(), f.program.freqPlot.frameLeft).size();
    };
    EXPECT_EQ(linesFor(-1.0f, 1.0f), 11u);      // 0.2 dB apart
    EXPECT_EQ(linesFor(-90.0f, 10.0f), 11u);    // 10 dB
    EXPECT_EQ(linesFor(-300.0f, 300.0f), 13u);  // 50 dB
    f.surface.setClientSize(800, 150);          // 112 pixels of frame: labels 9 high need 13
    EXPECT_EQ(linesFor(-90.0f, 10.0f), 5u);     // 20 dB: -80 .. 0
}

TEST_F(FreqPlotTest, WithoutArraysOnlyBackgroundAndFrame) {
    f.arrays().pointCount = 0;
    start();
    const auto& calls = f.freqBitmap().calls();
    ASSERT_EQ(calls.size(), 3u);  // creation fill, background, frame
    EXPECT_EQ(calls[1].brush.stock, StockBrush::kLightGrey);
    EXPECT_EQ(calls[2].rect, (Rect{kLeft, kTop, kRight, kBottom}));
    EXPECT_EQ(f.surface.window().callsOf(CanvasCallKind::CopyBitmap).size(), 1u);
}

TEST_F(FreqPlotTest, LevelsOutsideTheRangeLieOnTheFrameEdgesAndHighFrequenciesRunOn) {
    f.flatResults(0.0f);
    for (std::size_t i = 1; i <= 1024; ++i) {
        f.arrays().magnitudeSpectrum[i] = magnitudeForDb(i % 2 == 0 ? 20.0f : -110.0f, 2048);
    }
    handFrequencyRange(f.state(), 10, 5000);
    f.program.freqPlot.reduceTraces = false;
    start();
    const auto traces = f.freqBitmap().callsOf(CanvasCallKind::Polyline);
    ASSERT_EQ(traces.size(), 1u);
    const auto& points = traces[0].points;
    ASSERT_EQ(points.size(), 1023u);  // positions 2..1024, all at or above 10 Hz
    EXPECT_EQ(points[0].y, kTop);     // position 2: +20 dB
    EXPECT_EQ(points[1].y, kBottom);  // position 3: -110 dB
    EXPECT_GT(points.back().x, kRight);
    EXPECT_EQ(traces[0].pen.colour, (Colour{255, 255, 0}));
}

TEST_F(FreqPlotTest, SubtractingEqualSpectraLiesAtZeroDbAndCapturedKeepsItsOwnLevel) {
    f.flatResults(magnitudeForDb(-30.0f, 2048));
    handDbRange(f.state(), -60, 20, 0.0f);
    handShowSubtract(f.state(), true, true);
    setCapturedLabel(f.state(), "Captured ");
    f.state().plotFixDbScale = true;
    start();
    const float yScale = 360.0f / 80.0f;
    const auto traces = f.freqBitmap().callsOf(CanvasCallKind::Polyline);
    ASSERT_EQ(traces.size(), 2u);
    for (const PlotPoint& p : traces[0].points) {
        EXPECT_EQ(p.y, kBottom - static_cast<std::int32_t>(std::lround(60.0f * yScale)));
    }
    EXPECT_EQ(traces[1].pen.colour, (Colour{200, 200, 200}));
    for (const PlotPoint& p : traces[1].points) {
        EXPECT_EQ(p.y, kBottom - static_cast<std::int32_t>(std::lround(30.0f * yScale)));
    }
    // The legend stands in the titles' row above the frame, from its left edge.
    const auto texts = f.freqBitmap().callsOf(CanvasCallKind::TextOut);
    EXPECT_EQ(texts.back().text, "Captured");
    EXPECT_EQ(texts.back().points[0], (PlotPoint{kLeft, 3}));
    EXPECT_EQ(texts.back().textAlign, TA_TOP | TA_LEFT);

    // The shift moves the current trace, never the captured one.
    handDbRange(f.state(), -60, 20, 6.0f);
    handShowSubtract(f.state(), true, false);
    draw(MSG_REDRAW);
    const auto shifted = f.freqBitmap().callsOf(CanvasCallKind::Polyline);
    EXPECT_EQ(shifted[0].points[0].y,
              kBottom - static_cast<std::int32_t>(std::lround(36.0f * yScale)));
    EXPECT_EQ(shifted[1].points[0].y,
              kBottom - static_cast<std::int32_t>(std::lround(30.0f * yScale)));
}

TEST_F(FreqPlotTest, AutomaticScalingMovesFivePercentOutsideTheDeadBandOnly) {
    f.flatResults(magnitudeForDb(-40.0f, 2048));
    start();
    EXPECT_NEAR(f.state().plotDbHigh, 3.0f - 0.05f * 43.0f, 1e-3);
    EXPECT_NEAR(f.state().plotDbLow, -90.0f + 0.05f * 50.0f, 1e-3);

    // Within 0.3 dB of the data nothing moves.
    f.state().plotDbHigh = -39.8f;
    f.state().plotDbLow = -40.2f;
    draw(MSG_REDRAW);
    EXPECT_FLOAT_EQ(f.state().plotDbHigh, -39.8f);
    EXPECT_FLOAT_EQ(f.state().plotDbLow, -40.2f);

    handDbRange(f.state(), -90, 3, 0.0f);
    handFixDbScale(f.state(), true);
    draw(MSG_REDRAW);
    EXPECT_FLOAT_EQ(f.state().plotDbHigh, 3.0f);
    EXPECT_FLOAT_EQ(f.state().plotDbLow, -90.0f);
}

// A draw whose points all lie below the low frequency limit has nothing to
// scale to: the limits must not creep towards the starting values of the extremes.
TEST_F(FreqPlotTest, DrawWithoutPointsLeavesTheDbLimitsAlone) {
    f.flatResults(magnitudeForDb(-40.0f, 2048));
    handFrequencyRange(f.state(), 15000, 30000);  // above the highest position at 22050 Hz
    start();
    EXPECT_TRUE(f.freqBitmap().callsOf(CanvasCallKind::Polyline).empty());
    EXPECT_FLOAT_EQ(f.state().plotDbHigh, 3.0f);
    EXPECT_FLOAT_EQ(f.state().plotDbLow, -90.0f);
}

// Limits that give no range (only a state set by hand has them: the hand-over
// keeps them apart) still get both axes, drawn over a range beside them, but
// no trace.
TEST_F(FreqPlotTest, EqualLimitsDrawBothAxesButNoTrace) {
    f.flatResults(magnitudeForDb(-40.0f, 2048));
    f.state().plotDbLow = -20.0f;
    f.state().plotDbHigh = -20.0f;
    start();
    for (std::uint32_t view :
         {MSG_REDRAW, MSG_DRAW_HISTOGRAM, MSG_DRAW_WATERFALL, MSG_DRAW_PHASE}) {
        draw(view);
        const RecordingCanvas& dc = f.freqBitmap();
        const bool dbAxis = view == MSG_REDRAW || view == MSG_DRAW_HISTOGRAM;
        EXPECT_EQ(dbGridLines(dc, f.program.freqPlot.frameLeft).empty(), !dbAxis) << view;
        EXPECT_TRUE(dc.callsOf(CanvasCallKind::Polygon).empty()) << view;
        if (view != MSG_DRAW_PHASE) {
            EXPECT_TRUE(dc.callsOf(CanvasCallKind::Polyline).empty()) << view;
        }
        const auto texts = dc.texts();
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "Hertz"), 1) << view;
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "dB"), dbAxis ? 1 : 0) << view;
        EXPECT_FLOAT_EQ(f.state().plotDbLow, -20.0f);
        EXPECT_FLOAT_EQ(f.state().plotDbHigh, -20.0f);
    }

    handDbRange(f.state(), -90, 3, 0.0f);
    f.state().plotFreqLow = 1000.0f;
    f.state().plotFreqHigh = 1000.0f;
    for (std::uint32_t view :
         {MSG_REDRAW, MSG_DRAW_HISTOGRAM, MSG_DRAW_WATERFALL, MSG_DRAW_PHASE}) {
        draw(view);
        const RecordingCanvas& dc = f.freqBitmap();
        EXPECT_TRUE(dc.callsOf(CanvasCallKind::Polyline).empty()) << view;
        EXPECT_TRUE(dc.callsOf(CanvasCallKind::Polygon).empty()) << view;
        const auto texts = dc.texts();
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "Hertz"), 1) << view;
        EXPECT_GE(texts.size(), 3u) << view;  // the unit and frequency labels at least
        EXPECT_EQ(f.surface.window().callsOf(CanvasCallKind::CopyBitmap).size(), 1u) << view;
    }
}

TEST_F(FreqPlotTest, ReadoutUsesTheLimitsOfThePictureShown) {
    f.flatResults(magnitudeForDb(-40.0f, 2048));
    start();  // drawn with -90..3 dB, then the limits move
    ASSERT_NE(f.state().plotDbHigh, 3.0f);
    f.surface.window().clear();
    f.queue.SendMessageA(window, WM_MOUSEMOVE, 0, pointerAt(kLeft, kTop));
    EXPECT_EQ(f.program.freqPlot.readoutText, "(    10,     3)");
    const auto& calls = f.surface.window().calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].textAlign, TA_BOTTOM | TA_LEFT);
    EXPECT_EQ(calls[1].textColour, (Colour{255, 17, 170}));
    f.queue.SendMessageA(window, WM_MOUSEMOVE, 0, pointerAt(kRight, kBottom));
    EXPECT_EQ(f.program.freqPlot.readoutText, "( 30000,   -90)");
    f.queue.SendMessageA(window, WM_MOUSEMOVE, 0, pointerAt(kRight + 1, kBottom));
    EXPECT_EQ(f.surface.cursor(), CursorShape::Arrow);
}

TEST_F(FreqPlotTest, ResizeIsStretchedUntilTheNextDrawRebuildsTheBitmap) {
    start();
    f.surface.setClientSize(500, 300);
    f.surface.window().clear();
    f.queue.SendMessageA(window, WM_PAINT, 0, 0);
    EXPECT_EQ(f.surface.window().callsOf(CanvasCallKind::StretchBitmap).size(), 1u);
    EXPECT_TRUE(f.program.freqPlot.resizePending);
    f.surface.window().clear();
    f.queue.SendMessageA(window, WM_MOUSEMOVE, 0, pointerAt(200, 100));
    EXPECT_EQ(f.surface.cursor(), CursorShape::Cross);
    EXPECT_TRUE(f.surface.window().calls().empty());  // no read-out over a stretched picture

    draw(MSG_DRAW_PHASE);
    EXPECT_FALSE(f.program.freqPlot.resizePending);
    EXPECT_EQ(f.freqBitmap().width(), 501);
    EXPECT_EQ(f.freqBitmap().calls()[0].rect, (Rect{0, 0, 500, 300}));
}

TEST_F(FreqPlotTest, CloseCommandIsSwallowed) {
    start();
    EXPECT_EQ(f.queue.SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    EXPECT_TRUE(f.queue.IsWindow(window));
}

// Position 1 of a spectrum holds the zero-frequency value, so a sine with j
// periods in the record must peak at j x binWidth, in every view and the read-out.
TEST_F(FreqPlotTest, SineOnPositionJPeaksAtJBinWidths) {
    PlotFixture g(256, 22050);
    const std::size_t j = 20;
    const float binWidth = g.arrays().binWidth;
    g.flatResults(0.0f);
    for (std::size_t i = 1; i <= 256; ++i) {
        const double angle = 2.0 * 3.14159265358979 * static_cast<double>(j * (i - 1)) / 256.0;
        g.arrays().timeComplex[i] =
            ComplexValue{static_cast<float>(10000.0 * std::sin(angle)), 0.0f};
        g.arrays().spectrumWork[i] = g.arrays().timeComplex[i];
    }
    testing::naiveTransform(g.arrays().spectrumWork.view());
    for (std::size_t i = 1; i <= 128; ++i) {
        const ComplexValue v = g.arrays().spectrumWork[i];
        g.arrays().magnitudeSpectrum[i] = std::sqrt(v.re * v.re + v.im * v.im);
    }
    g.arrays().phaseSpectrum[j + 1] = 3.1415925f;
    g.state().plotFixDbScale = true;
    g.program.freqPlot.reduceTraces = false;
    const WindowHandle w = g.createFreqPlot();
    g.post(kNoWindow, 0);
    const std::int32_t peakX = logX(g.state(), static_cast<float>(j) * binWidth);
    ASSERT_NE(peakX, logX(g.state(), static_cast<float>(j + 1) * binWidth));

    const auto highestX = [](const std::vector<PlotPoint>& points) {
        return std::min_element(points.begin(), points.end(),
                                [](PlotPoint a, PlotPoint b) { return a.y < b.y; })
            ->x;
    };
    EXPECT_EQ(highestX(g.freqBitmap().callsOf(CanvasCallKind::Polyline)[0].points), peakX);

    g.queue.SendMessageA(w, WM_MOUSEMOVE, 0, pointerAt(peakX, 200));
    const int readHertz = std::stoi(g.program.freqPlot.readoutText.substr(1, 6));
    EXPECT_NEAR(readHertz, j * binWidth, 0.012 * j * binWidth);  // one pixel of the log axis

    g.clearRecordings();
    g.post(w, MSG_DRAW_PHASE);
    EXPECT_EQ(highestX(g.freqBitmap().callsOf(CanvasCallKind::Polyline)[0].points), peakX);

    g.state().plotWaterfallStart = 256;  // every slice is the whole record
    g.state().plotWaterfallSteps = 2;
    g.clearRecordings();
    g.post(w, MSG_DRAW_WATERFALL);
    const auto slices = g.freqBitmap().callsOf(CanvasCallKind::Polygon);
    ASSERT_EQ(slices.size(), 3u);
    EXPECT_EQ(highestX(slices.back().points), peakX);  // the front slice spans the whole frame

    // Histogram bands of 299.9 Hz: 1722.7 Hz belongs to band 6 (band 7 one position higher).
    g.clearRecordings();
    g.post(w, MSG_DRAW_HISTOGRAM);
    const auto bars = g.freqBitmap().callsOf(CanvasCallKind::Polygon);
    ASSERT_EQ(bars.size(), 100u);
    const auto tallest = std::min_element(
        bars.begin(), bars.end(),
        [](const auto& a, const auto& b) { return a.points[1].y < b.points[1].y; });
    EXPECT_EQ(tallest - bars.begin(), 5);
}

}  // namespace
}  // namespace ressona
