#include "plots/time_plot.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "plots/plot_axes.h"
#include "plots/plot_numbers.h"
#include "plots/plot_style.h"
#include "plots/trace_reduction.h"
#include "signals/sample_arrays.h"

namespace ressona {

namespace {

// Starting values of the signal's extremes before the first sample.
constexpr float kNoHigh = -99999.0f;
constexpr float kNoLow = 99999.0f;
// The range end moves this share of the way towards the signal's extreme ...
constexpr float kRangeApproach = 0.05f;
// ... when the signal passes it or lies more than this many counts inside it.
constexpr float kRangeSlack = 200.0f;

std::int32_t clampInto(std::int32_t y, std::int32_t top, std::int32_t bottom) {
    return std::clamp(y, top, bottom);
}

// The widest of the texts, in pixels.
std::int32_t widestOf(const Canvas& dc, const std::vector<std::string>& texts) {
    std::int32_t widest = 0;
    for (const std::string& text : texts) widest = std::max(widest, dc.textExtent(text).width);
    return widest;
}

class TimePlotDrawing {
  public:
    TimePlotDrawing(TimePlotState& plot, const AnalysisView& freqPlotView,
                    const PlotEnvironment& env)
        : plot_(plot),
          freqPlotView_(freqPlotView),
          env_(env),
          state_(env.state),
          arrays_(env.arrays) {}

    void create(WindowHandle window);
    void paint();
    void redraw();
    void mouseMove(std::int32_t x, std::int32_t y);

  private:
    void frameAndAxes(Canvas& dc, std::int32_t n);
    // The round steps of both axes and the labels they give.
    void chooseTicks(const Canvas& dc, const PlotFrame& frame);
    void timeAxis(Canvas& dc, LabelPlacer& labels, std::int32_t lineHeight);
    void amplitudeAxis(Canvas& dc, LabelPlacer& labels);
    void markers(Canvas& dc);
    void traces(Canvas& dc, std::int32_t n);
    void drawTrace(Canvas& dc, std::size_t count);
    std::int32_t sampleX(std::int32_t i) const {
        return std::min(nearestPixel(static_cast<float>(i) * plot_.xScale) + plot_.frameLeft,
                        plot_.frameRight);
    }

    TimePlotState& plot_;
    const AnalysisView& freqPlotView_;
    const PlotEnvironment& env_;
    MeasurementState& state_;
    SampleArrays& arrays_;
    std::vector<double> timeTicks_;  // ms
    int timeDecimals_ = 0;
    std::vector<double> countTicks_;  // ADC counts
    int countDecimals_ = 0;
};

void TimePlotDrawing::create(WindowHandle window) {
    const Rect client = env_.surface.clientRect();
    plot_.bitmapWidth = client.right - client.left + 1;
    plot_.bitmapHeight = client.bottom - client.top + 1;
    plot_.memoryDc = env_.surface.createBitmapCanvas(plot_.bitmapWidth, plot_.bitmapHeight);
    plot_.memoryDc->selectBrush(kBlackBrush);
    plot_.memoryDc->fillRect(client, kBlackBrush);
    plot_.readoutText = kReadoutTemplate;
    env_.windows.PostMessageA(window, MSG_REDRAW, 0, 0);
}

void TimePlotDrawing::paint() {
    if (!plot_.memoryDc) return;
    const Rect client = env_.surface.clientRect();
    const std::int32_t width = client.right - client.left + 1;
    const std::int32_t height = client.bottom - client.top + 1;
    Canvas& window = env_.surface.windowCanvas();
    if (width == plot_.bitmapWidth && height == plot_.bitmapHeight) {
        window.copyBitmap(*plot_.memoryDc, 0, 0);
    } else {
        window.stretchBitmap(*plot_.memoryDc, client);
    }
}

void TimePlotDrawing::redraw() {
    if (!plot_.memoryDc) return;
    plot_.clientRect = env_.surface.clientRect();
    const Rect& client = plot_.clientRect;
    const std::int32_t width = client.right - client.left + 1;
    const std::int32_t height = client.bottom - client.top + 1;
    if (width != plot_.bitmapWidth || height != plot_.bitmapHeight) {
        plot_.memoryDc->resizeBitmap(width, height);
        plot_.bitmapWidth = width;
        plot_.bitmapHeight = height;
    }
    Canvas& dc = *plot_.memoryDc;
    const std::int32_t n = arrays_.pointCount;
    frameAndAxes(dc, n);
    if (n > 0 && plot_.yScale > 0.0f && arrays_.resultsReady) traces(dc, n);
    env_.surface.windowCanvas().copyBitmap(dc, 0, 0);
}

void TimePlotDrawing::frameAndAxes(Canvas& dc, std::int32_t n) {
    const Rect& client = plot_.clientRect;
    const std::int32_t lineHeight = dc.textExtent("0").height;
    const float range = arrays_.timePlotMax - arrays_.timePlotMin;
    // Before the first Start there is nothing to label; the frame keeps its margins.
    const bool axes = n > 0 && arrays_.plotTimeSpan > 0.0f;
    timeTicks_.clear();
    countTicks_.clear();
    LabelRoom room{lineHeight, 0, 0};
    if (axes) {
        chooseTicks(dc, plotFrameFor(client, room));
        std::vector<std::string> counts;
        for (const double v : countTicks_) counts.push_back(countText(v, countDecimals_));
        room.sideWidth = widestOf(dc, counts);
        std::vector<std::string> times;
        for (const double v : timeTicks_) times.push_back(timeText(v, timeDecimals_));
        room.halfBottomWidth = (widestOf(dc, times) + 1) / 2;
    }
    const PlotFrame frame = plotFrameFor(client, room);
    plot_.frameLeft = frame.left;
    plot_.frameTop = frame.top;
    plot_.frameRight = frame.right;
    plot_.frameBottom = frame.bottom;
    if (axes) chooseTicks(dc, frame);  // the final frame is a little narrower
    // The grey client, then the black frame over it (the client's pixels
    // under the frame need no painting).
    const Rect frameRect{plot_.frameLeft, plot_.frameTop, plot_.frameRight, plot_.frameBottom};
    dc.selectBrush(kLightGreyStockBrush);
    dc.rectangleAround(client, frameRect);
    dc.selectBrush(kBlackBrush);
    dc.rectangle(frameRect);
    plot_.yScale = 0.0f;
    if (n <= 0) return;

    const auto frameHeight = static_cast<float>(plot_.frameBottom - plot_.frameTop);
    plot_.xScale = static_cast<float>(plot_.frameRight - plot_.frameLeft) / static_cast<float>(n);
    // Equal range ends leave no amplitude scale: the amplitude axis and the
    // traces wait for a usable range.
    plot_.yScale = range > 0.0f && frameHeight > 0.0f ? frameHeight / range : 0.0f;
    plot_.drawnAmplitudeMin = arrays_.timePlotMin;
    const int driveStep = static_cast<int>(kDriveCode) - static_cast<int>(kSilenceCode);  // -68
    plot_.excitationScale = frameHeight * 0.1f / static_cast<float>(driveStep);

    dc.setTextColour(kLabelColour);
    dc.setTransparentBackground(true);
    LabelPlacer labels(dc, client, frame);
    timeAxis(dc, labels, lineHeight);
    if (plot_.yScale > 0.0f) amplitudeAxis(dc, labels);
    markers(dc);
}

// Round steps: about ten at most across each axis, their labels apart.
void TimePlotDrawing::chooseTicks(const Canvas& dc, const PlotFrame& frame) {
    const double span = arrays_.plotTimeSpan;
    const double perMs = (frame.right - frame.left) / span;
    const double timeStep = firstFittingStep(span / kMostSteps, [&](double step) {
        std::vector<std::string> texts;
        for (const double v : multiplesWithin(0.0, span, step)) {
            texts.push_back(timeText(v, decimalsOf(step)));
        }
        return step * perMs >= widestOf(dc, texts) + 2 * kLabelGap + 1;
    });
    timeDecimals_ = decimalsOf(timeStep);
    timeTicks_ = multiplesWithin(0.0, span, timeStep);

    const double low = arrays_.timePlotMin;
    const double high = arrays_.timePlotMax;
    const double pixels = frame.bottom - frame.top;
    countTicks_.clear();
    if (!(high > low) || !(pixels > 0.0)) return;
    const double lineHeight = dc.textExtent("0").height;
    const double countStep = roundStepAtLeast(
        std::max((high - low) / kMostSteps, (lineHeight + kLabelGap + 1) * (high - low) / pixels));
    countDecimals_ = decimalsOf(countStep);
    countTicks_ = multiplesWithin(low, high, countStep);
}

// Ticks under the frame at round times, each centred under its label, and "mSecs".
void TimePlotDrawing::timeAxis(Canvas& dc, LabelPlacer& labels, std::int32_t lineHeight) {
    const double span = arrays_.plotTimeSpan;
    const PlotFrame frame{plot_.frameLeft, plot_.frameTop, plot_.frameRight, plot_.frameBottom};
    const std::int32_t row = bottomLabelTop(frame, lineHeight);
    labels.place(plot_.clientRect.right - kLabelGap - labels.extent("mSecs").width, row, "mSecs");
    const double width = plot_.frameRight - plot_.frameLeft;
    for (const double value : timeTicks_) {
        const std::int32_t x =
            plot_.frameLeft + static_cast<std::int32_t>(std::lround(width * value / span));
        if (labels.placeCentred(x, row, timeText(value, timeDecimals_))) {
            dc.line({x, plot_.frameBottom}, {x, plot_.frameBottom + kTickLength});
        }
    }
}

// Grey grid lines at round counts, each label centred on its line, and "ADC" above.
void TimePlotDrawing::amplitudeAxis(Canvas& dc, LabelPlacer& labels) {
    dc.setRasterOp(RasterOp::CopyPen);
    dc.selectPen(kGreyPen);
    labels.place(plot_.clientRect.left + kLabelGap, plot_.clientRect.top + kLabelGap, "ADC");
    const double low = arrays_.timePlotMin;
    const double height = plot_.frameBottom - plot_.frameTop;
    const double range = static_cast<double>(arrays_.timePlotMax) - low;
    const std::int32_t labelRight = plot_.frameLeft - kTickLength - kLabelGap;
    for (const double v : countTicks_) {
        const std::int32_t y =
            plot_.frameBottom - static_cast<std::int32_t>(std::lround(height * (v - low) / range));
        dc.line({plot_.frameLeft - kTickLength, y}, {plot_.frameRight, y});
        labels.placeBeside(labelRight, y, countText(v, countDecimals_));
    }
}

void TimePlotDrawing::markers(Canvas& dc) {
    const float span = arrays_.plotTimeSpan;
    if ((state_.plotLowerCutTime != 0.0f || state_.plotUpperCutTime != span) && span > 0.0f) {
        dc.selectPen(kWhitePen);
        for (const float cut : {state_.plotLowerCutTime, state_.plotUpperCutTime}) {
            const std::int32_t x =
                truncateToInt(static_cast<float>(plot_.frameLeft) +
                              static_cast<float>(plot_.frameRight - plot_.frameLeft) * cut / span);
            dc.line({x, plot_.frameTop}, {x, plot_.frameBottom});
        }
    }
    if (freqPlotView_ == kViewWaterfall && state_.plotWaterfallStart >= 1) {
        dc.selectPen(kWhitePen);
        const std::int32_t x = sampleX(state_.plotWaterfallStart);
        dc.line({x, plot_.frameTop}, {x, plot_.frameBottom});
    }
}

void TimePlotDrawing::traces(Canvas& dc, std::int32_t n) {
    const auto count = static_cast<std::size_t>(n);
    if (arrays_.timeTrace.size() < count || arrays_.excitationBuffer.size() < count ||
        arrays_.plotPoints.size() < count) {
        return;
    }
    PlotPoint* points = arrays_.plotPoints.raw().data();
    const float low = arrays_.timePlotMin;

    dc.selectPen(kYellowPen);
    float high = kNoHigh;
    float lowest = kNoLow;
    for (std::int32_t i = 1; i <= n; ++i) {
        const float v = arrays_.timeTrace[static_cast<std::size_t>(i)];
        high = std::max(high, v);
        lowest = std::min(lowest, v);
        const std::int32_t y = clampInto(plot_.frameBottom - nearestPixel((v - low) * plot_.yScale),
                                         plot_.frameTop, plot_.frameBottom);
        points[i - 1] = PlotPoint{sampleX(i), y};
    }
    drawTrace(dc, count);

    // The new range shows from the next redraw on.
    const float over = arrays_.timePlotMax - high;
    if (over < 0.0f || over > kRangeSlack) arrays_.timePlotMax -= kRangeApproach * over;
    const float under = arrays_.timePlotMin - lowest;
    if (under > 0.0f || under < -kRangeSlack) arrays_.timePlotMin -= kRangeApproach * under;

    dc.selectPen(kWhitePen);
    for (std::int32_t i = 1; i <= n; ++i) {
        // The code's distance from rest as a signed 8-bit difference: drive codes
        // (below rest) rise above the frame's bottom edge.
        const int e = static_cast<int>(arrays_.excitationBuffer[static_cast<std::size_t>(i)]) -
                      static_cast<int>(kSilenceCode);
        const std::int32_t y = clampInto(
            plot_.frameBottom - nearestPixel(static_cast<float>(e) * plot_.excitationScale),
            plot_.frameTop, plot_.frameBottom);
        points[i - 1] = PlotPoint{sampleX(i), y};
    }
    drawTrace(dc, count);
}

void TimePlotDrawing::drawTrace(Canvas& dc, std::size_t count) {
    std::span<PlotPoint> points = arrays_.plotPoints.raw().first(count);
    if (plot_.reduceTraces) points = points.first(reduceToColumns(points));
    polylineInBatches(dc, points);
}

void TimePlotDrawing::mouseMove(std::int32_t x, std::int32_t y) {
    if (x < plot_.frameLeft || x > plot_.frameRight || y < plot_.frameTop ||
        y > plot_.frameBottom) {
        env_.surface.setCursor(CursorShape::Arrow);
        return;
    }
    env_.surface.setCursor(CursorShape::Cross);
    const Rect client = env_.surface.clientRect();
    if (client.right - client.left + 1 != plot_.bitmapWidth ||
        client.bottom - client.top + 1 != plot_.bitmapHeight) {
        return;  // a stretched picture: no read-out until the next redraw
    }
    const std::int32_t n = arrays_.pointCount;
    if (!plot_.memoryDc || n <= 0 || !(plot_.yScale > 0.0f) || !(plot_.xScale > 0.0f)) return;

    // The limits of the picture shown, not those the automatic range has moved on to.
    const std::int32_t amplitude =
        nearest(static_cast<float>(plot_.frameBottom - y) / plot_.yScale + plot_.drawnAmplitudeMin);
    const float time = static_cast<float>(x - plot_.frameLeft) * arrays_.plotTimeSpan /
                       plot_.xScale / static_cast<float>(n);
    const std::string timeText = time < 10.0f    ? fixedText(time, 6, 3)
                                 : time < 100.0f ? fixedText(time, 6, 2)
                                                 : fixedText(time, 6, 1);
    plot_.readoutText.replace(1, 6, timeText);
    plot_.readoutText.replace(8, 6, intText(amplitude, 6));

    Canvas& window = env_.surface.windowCanvas();
    window.copyBitmap(*plot_.memoryDc, 0, 0);
    window.setTextAlign(TA_TOP | TA_LEFT);
    window.setTextColour(kReadoutColour);
    window.setTransparentBackground(true);
    window.textOut(x, y, plot_.readoutText);
}

}  // namespace

LRESULT TimePlot(TimePlotState& plot, const AnalysisView& freqPlotView, const PlotEnvironment& env,
                 WindowHandle window, std::uint32_t message, WPARAM wParam, LPARAM lParam) {
    TimePlotDrawing drawing(plot, freqPlotView, env);
    switch (message) {
        case WM_CREATE:
            drawing.create(window);
            return 0;
        case WM_DESTROY:
            plot.memoryDc.reset();
            return 0;
        case WM_PAINT:
            drawing.paint();
            return 0;
        case WM_SYSCOMMAND:
            // The window lives as long as the control panel: closing it is refused.
            if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
            break;
        case WM_MOUSEMOVE:
            drawing.mouseMove(pointerX(lParam), pointerY(lParam));
            return 0;
        case MSG_REDRAW:
            drawing.redraw();
            return 0;
        default:
            break;
    }
    return env.windows.DefWindowProcA(window, message, wParam, lParam);
}

WindowHandle createTimePlotWindow(TimePlotState& plot, const AnalysisView& freqPlotView,
                                  const PlotEnvironment& env) {
    return env.windows.CreateWindowA(
        "TimePlot",
        [&plot, &freqPlotView, env](WindowHandle w, std::uint32_t m, WPARAM wp, LPARAM lp) {
            return TimePlot(plot, freqPlotView, env, w, m, wp, lp);
        });
}

}  // namespace ressona
