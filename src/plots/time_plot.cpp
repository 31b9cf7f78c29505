#include "plots/time_plot.h"

#include <algorithm>
#include <cmath>

#include "plots/plot_numbers.h"
#include "plots/plot_style.h"
#include "plots/trace_reduction.h"
#include "signals/sample_arrays.h"

namespace ressona {

namespace {

constexpr std::int32_t kTickLength = 5;
constexpr int kTimeTicks = 10;  // ticks 0..10
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

// The tick spacing in milliseconds for about ten ticks over the span.
float timeStep(float span) {
    const float raw = span / 10.0f;
    if (raw > 100.0f) return static_cast<float>(nearest(raw * 0.01f)) * 100.0f;
    if (raw > 10.0f) return static_cast<float>(nearest(raw * 0.1f)) * 10.0f;
    if (raw > 1.0f) return static_cast<float>(nearest(raw));
    return static_cast<float>(nearest(raw * 10.0f)) * 0.1f;
}

std::string timeLabel(float value) {
    if (value < 10.0f) return fixedText(value, 5, 2);
    if (value < 100.0f) return fixedText(value, 5, 1);
    return fixedText(value, 5, 0);
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
    void timeAxis(Canvas& dc, std::int32_t n, std::int32_t halfLeft);
    void amplitudeAxis(Canvas& dc, std::int32_t halfTop);
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
    dc.selectBrush(kLightGreyStockBrush);
    dc.rectangle(client);
    const PlotFrame frame = plotFrameOf(client);
    plot_.frameLeft = frame.left;
    plot_.frameTop = frame.top;
    plot_.frameRight = frame.right;
    plot_.frameBottom = frame.bottom;
    const std::int32_t halfLeft = plot_.frameLeft / 2;
    const std::int32_t halfTop = plot_.frameTop / 2;
    dc.selectBrush(kBlackBrush);
    dc.rectangle(Rect{plot_.frameLeft, plot_.frameTop, plot_.frameRight, plot_.frameBottom});
    plot_.yScale = 0.0f;
    if (n <= 0) return;

    const auto frameHeight = static_cast<float>(plot_.frameBottom - plot_.frameTop);
    plot_.xScale = static_cast<float>(plot_.frameRight - plot_.frameLeft) / static_cast<float>(n);
    // Equal range ends leave no amplitude scale: the amplitude axis and the
    // traces wait for a usable range.
    const float range = arrays_.timePlotMax - arrays_.timePlotMin;
    plot_.yScale = range > 0.0f ? frameHeight / range : 0.0f;
    plot_.drawnAmplitudeMin = arrays_.timePlotMin;
    const int driveStep = static_cast<int>(kDriveCode) - static_cast<int>(kSilenceCode);  // -68
    plot_.excitationScale = frameHeight * 0.1f / static_cast<float>(driveStep);

    dc.setTextAlign(TA_BOTTOM | TA_LEFT);
    dc.setTextColour(kLabelColour);
    dc.setTransparentBackground(true);
    timeAxis(dc, n, halfLeft);
    if (plot_.yScale > 0.0f) amplitudeAxis(dc, halfTop);
    markers(dc);
}

void TimePlotDrawing::timeAxis(Canvas& dc, std::int32_t n, std::int32_t halfLeft) {
    const float span = arrays_.plotTimeSpan;
    if (!(span > 0.0f)) return;
    const float step = timeStep(span);
    const std::int32_t samplesPerTick = truncateToInt(static_cast<float>(n) * step / span);
    std::int32_t lastTick = 0;
    for (int i = 0; i <= kTimeTicks; ++i) {
        const float value = static_cast<float>(i) * step;
        const std::int32_t x = truncateToInt(static_cast<float>(plot_.frameLeft) +
                                             static_cast<float>(i) * plot_.xScale *
                                                 static_cast<float>(samplesPerTick));
        if (x > plot_.frameRight) continue;
        dc.line({x, plot_.frameBottom}, {x, plot_.frameBottom + kTickLength});
        const std::string label = timeLabel(value) + " ";
        dc.textOut(x - halfLeft, plot_.clientRect.bottom, std::string_view(label).substr(0, 5));
        lastTick = x;
    }
    dc.textOut(lastTick + halfLeft, plot_.clientRect.bottom, "mSecs");
}

void TimePlotDrawing::amplitudeAxis(Canvas& dc, std::int32_t halfTop) {
    dc.setRasterOp(RasterOp::CopyPen);
    dc.selectPen(kGreyPen);
    dc.setTextAlign(TA_TOP | TA_LEFT);
    const float low = arrays_.timePlotMin;
    const float high = arrays_.timePlotMax;
    const float big = std::max(std::fabs(low), std::fabs(high));
    float step = 10.0f * static_cast<float>(nearest(big * 0.02f));
    if (step <= 0.0f) step = 200.0f;
    const auto gridLine = [&](float v) {
        const std::int32_t y = clampInto(plot_.frameBottom - nearestPixel((v - low) * plot_.yScale),
                                         plot_.frameTop, plot_.frameBottom);
        dc.line({plot_.frameLeft - kTickLength, y}, {plot_.frameRight, y});
        dc.textOut(plot_.clientRect.left, y - halfTop, intText(nearest(v), 6));
    };
    // Both runs start at zero, so the zero line and its label are drawn twice.
    const std::int32_t down = truncateToInt((low - step) / -step);
    for (std::int32_t k = 0; k < down; ++k) gridLine(-step * static_cast<float>(k));
    const std::int32_t up = truncateToInt((high + step) / step);
    for (std::int32_t k = 0; k < up; ++k) gridLine(step * static_cast<float>(k));
    dc.textOut(plot_.clientRect.left, plot_.frameTop, "ADC");
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
