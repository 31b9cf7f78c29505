#include "plots/freq_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "plots/freq_plot_drawing.h"
#include "plots/plot_numbers.h"
#include "plots/plot_style.h"
#include "plots/trace_reduction.h"
#include "signals/sample_arrays.h"

namespace ressona {
namespace freq_plot_detail {

namespace {

constexpr std::int32_t kTickLength = 5;
constexpr std::array<float, 14> kLabelFrequencies{10,  20,   30,   50,   100,  200,   300,
                                                  500, 1000, 2000, 3000, 5000, 10000, 20000};
constexpr std::array<float, 29> kGridFrequencies{
    10,  20,  30,  40,   50,   60,   70,   80,   90,   100,  200,  300,  400,   500,  600,
    700, 800, 900, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 20000};
// One dB grid line per step is drawn over the range; a range that would need
// more lines than this (only absurd limits do) is cut off at this many.
constexpr std::int32_t kMaxDbLines = 4096;
constexpr float kStandardDeadBand = 0.3f;
constexpr float kAutoScaleApproach = 0.05f;
constexpr float kPhaseSpan = 6.283185f;  // 2 pi, radians over the frame height
constexpr float kPhasePi = 3.1415925f;

}  // namespace

float decibels(float magnitude, float n) {
    return 20.0f * std::log10(n * magnitude / 65536.0f + 0.000001f);
}

FreqPlotDrawing::FreqPlotDrawing(FreqPlotState& plot, const PlotEnvironment& env,
                                 const SpectrumTools& tools)
    : plot_(plot), env_(env), tools_(tools), state_(env.state), arrays_(env.arrays) {}

void FreqPlotDrawing::create(WindowHandle window) {
    const Rect client = env_.surface.clientRect();
    plot_.bitmapWidth = client.right - client.left + 1;
    plot_.bitmapHeight = client.bottom - client.top + 1;
    plot_.memoryDc = env_.surface.createBitmapCanvas(plot_.bitmapWidth, plot_.bitmapHeight);
    plot_.memoryDc->selectBrush(kBlackBrush);
    plot_.memoryDc->fillRect(client, kBlackBrush);
    plot_.resizePending = false;
    plot_.readoutText = kReadoutTemplate;
    env_.windows.PostMessageA(window, MSG_REDRAW, 0, 0);
}

void FreqPlotDrawing::paint() {
    if (!plot_.memoryDc) return;
    const Rect client = env_.surface.clientRect();
    Canvas& window = env_.surface.windowCanvas();
    if (client.right - client.left + 1 == plot_.bitmapWidth &&
        client.bottom - client.top + 1 == plot_.bitmapHeight) {
        window.copyBitmap(*plot_.memoryDc, 0, 0);
    } else {
        window.stretchBitmap(*plot_.memoryDc, client);
        plot_.resizePending = true;
    }
}

void FreqPlotDrawing::beginDraw(AnalysisView view, HorizontalScale horizontal,
                                VerticalScale vertical, bool blackFrame) {
    Canvas& dc = *plot_.memoryDc;
    const Rect client = env_.surface.clientRect();
    const std::int32_t width = client.right - client.left + 1;
    const std::int32_t height = client.bottom - client.top + 1;
    // A resize that no paint has reported yet is caught here as well.
    if (plot_.resizePending || width != plot_.bitmapWidth || height != plot_.bitmapHeight) {
        dc.resizeBitmap(width, height);
        plot_.bitmapWidth = width;
        plot_.bitmapHeight = height;
        plot_.resizePending = false;
    }
    plot_.drawnView = view;
    dc.selectBrush(kLightGreyStockBrush);
    plot_.clientRect = client;
    dc.rectangle(client);
    dc.setRasterOp(RasterOp::CopyPen);

    const PlotFrame frame = plotFrameOf(client);
    plot_.frameLeft = frame.left;
    plot_.frameTop = frame.top;
    plot_.frameRight = frame.right;
    plot_.frameBottom = frame.bottom;
    const auto frameWidth = static_cast<float>(frame.right - frame.left);
    const auto frameHeight = static_cast<float>(frame.bottom - frame.top);

    // Equal (or reversed) limits give no scale: what would divide by their
    // difference is left out of this draw.
    const float low = state_.plotFreqLow;
    const float high = state_.plotFreqHigh;
    if (horizontal == HorizontalScale::Logarithmic) {
        const float decades = low > 0.0f ? std::log10(high) - std::log10(low) : 0.0f;
        xValid_ = low > 0.0f && decades > 0.0f;
        plot_.xScale = xValid_ ? frameWidth / decades : 0.0f;
        if (xValid_) plot_.logFreqLow = std::log10(low);
    } else {
        xValid_ = high > low;
        plot_.xScale = xValid_ ? frameWidth / (high - low) : 0.0f;
    }
    if (vertical == VerticalScale::Decibels) {
        yValid_ = state_.plotDbHigh > state_.plotDbLow;
        plot_.yScale = yValid_ ? frameHeight / (state_.plotDbHigh - state_.plotDbLow) : 0.0f;
    } else {
        yValid_ = true;
        plot_.yScale = frameHeight / kPhaseSpan;
    }
    plot_.drawnDbLow = state_.plotDbLow;

    halfLeft_ = plot_.frameLeft / 2;
    halfTop_ = plot_.frameTop / 2;
    if (blackFrame) {
        dc.selectBrush(kBlackBrush);
        dc.rectangle(Rect{plot_.frameLeft, plot_.frameTop, plot_.frameRight, plot_.frameBottom});
    }
    dc.setTextAlign(TA_BOTTOM | TA_LEFT);
    dc.setTextColour(kLabelColour);
    dc.setTransparentBackground(true);
    dc.selectPen(kGridPen);
}

std::int32_t FreqPlotDrawing::logX(float logFrequency) const {
    return nearestPixel(plot_.xScale * (logFrequency - plot_.logFreqLow)) + plot_.frameLeft;
}

std::int32_t FreqPlotDrawing::dbY(float d) const {
    return std::clamp(plot_.frameBottom - nearestPixel((d - state_.plotDbLow) * plot_.yScale),
                      plot_.frameTop, plot_.frameBottom);
}

void FreqPlotDrawing::logFrequencyAxis(bool gridLines) {
    Canvas& dc = *plot_.memoryDc;
    if (gridLines) {
        for (const float g : kGridFrequencies) {
            const std::int32_t x = logX(std::log10(g));
            dc.line({x, plot_.frameBottom + kTickLength}, {x, plot_.frameTop});
        }
    }
    std::int32_t x = 0;
    for (const float f : kLabelFrequencies) {
        x = logX(std::log10(f));
        if (!gridLines) dc.line({x, plot_.frameBottom + kTickLength}, {x, plot_.frameBottom});
        dc.textOut(x - halfLeft_, plot_.clientRect.bottom, formatLogFrequencyLabel(f));
    }
    dc.textOut(x + halfLeft_, plot_.clientRect.bottom, "Hertz ");
}

void FreqPlotDrawing::dbAxis() {
    Canvas& dc = *plot_.memoryDc;
    const float low = state_.plotDbLow;
    const float high = state_.plotDbHigh;
    const float step = dbTickStep(std::fabs(high - low));
    dc.setTextAlign(TA_TOP | TA_LEFT);
    const auto first = static_cast<float>(truncateToInt(low));
    const std::int32_t count = std::min(truncateToInt((high - first + step) / step), kMaxDbLines);
    float v = first;
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int32_t y = dbY(v);
        dc.line({plot_.frameLeft - kTickLength, y}, {plot_.frameRight, y});
        dc.textOut(plot_.clientRect.left, y - halfTop_, fixedText(v, 5, 0) + " ");
        v += step;
    }
    dc.textOut(plot_.clientRect.left, plot_.frameTop, "dB");
}

void FreqPlotDrawing::autoScaleDb(const DbExtremes& extremes, float deadBand) {
    // A draw that met no level has nothing to scale to; moving the limits
    // towards the starting values would wreck the range.
    if (state_.plotFixDbScale || !extremes.any) return;
    const float g = state_.plotDbHigh - extremes.max;
    if (g < 0.0f || g > deadBand) state_.plotDbHigh -= kAutoScaleApproach * g;
    const float h = state_.plotDbLow - extremes.min;
    if (h > 0.0f || h < -deadBand) state_.plotDbLow -= kAutoScaleApproach * h;
}

void FreqPlotDrawing::finalCopy() {
    env_.surface.windowCanvas().copyBitmap(*plot_.memoryDc, 0, 0);
}

void FreqPlotDrawing::preparePositionLog() {
    const std::int32_t bins = arrays_.binCount;
    if (plot_.positionLogBins == bins && plot_.positionLogBinWidth == arrays_.binWidth &&
        plot_.positionLog.size() == static_cast<std::size_t>(bins) + 1) {
        return;
    }
    plot_.positionLog.assign(static_cast<std::size_t>(bins) + 1, 0.0f);
    for (std::size_t k = 2; k <= static_cast<std::size_t>(bins); ++k) {
        plot_.positionLog[k] = std::log10(positionFrequency(k, arrays_.binWidth));
        // Held from falling, should a logarithm round below the one before:
        // the traces and the waterfall's column search rely on x never falling.
        if (k > 2) plot_.positionLog[k] = std::max(plot_.positionLog[k], plot_.positionLog[k - 1]);
    }
    plot_.positionLogBins = bins;
    plot_.positionLogBinWidth = arrays_.binWidth;
}

float FreqPlotDrawing::validLowFrequency() const {
    const float window = state_.plotUpperCutTime - state_.plotLowerCutTime;
    // Without a time window between the cuts no frequency is valid.
    return window > 0.0f ? 1000.0f / window : std::numeric_limits<float>::infinity();
}

std::size_t FreqPlotDrawing::standardTrace(const OneBasedArray<float>& spectrum, bool shifted,
                                           bool subtract, DbExtremes& extremes) {
    const auto bins = static_cast<std::size_t>(arrays_.binCount);
    const auto n = static_cast<float>(arrays_.pointCount);
    const float lowest = std::max(state_.plotFreqLow, validLowFrequency());
    PlotPoint* points = arrays_.plotPoints.raw().data();
    std::size_t count = 0;
    for (std::size_t i = 2; i <= bins; ++i) {
        // No upper test: points above the high limit run on past the frame.
        if (positionFrequency(i, arrays_.binWidth) < lowest) continue;
        float d = decibels(spectrum[i], n);
        if (shifted) d += state_.plotShiftDb;
        if (subtract) d -= decibels(arrays_.capturedSpectrum[i], n);
        // A captured curve read from a file has no value where the file's rows
        // do not reach: nothing is drawn there, neither it nor a difference.
        if (std::isnan(d)) continue;
        points[count++] = PlotPoint{logX(plot_.positionLog[i]), dbY(d)};
        extremes.add(d);
    }
    std::span<PlotPoint> drawn = arrays_.plotPoints.raw().first(count);
    if (plot_.reduceTraces) drawn = drawn.first(reduceToColumns(drawn));
    if (!drawn.empty()) plot_.memoryDc->polyline(drawn);
    return count;
}

void FreqPlotDrawing::capturedCaption() {
    const auto& label = state_.capturedLabel;
    const auto end = std::find(label.begin(), label.begin() + kCapturedLabelLength, '\0');
    const auto blank = std::find(label.begin(), end, ' ');
    if (blank == end) return;  // a label without a blank shows nothing
    Canvas& dc = *plot_.memoryDc;
    dc.setTextAlign(TA_TOP | TA_LEFT);
    dc.setTextColour(kLabelColour);
    dc.textOut(plot_.frameLeft, plot_.frameBottom,
               std::string_view(label.data(), blank + 1 - label.begin()));
}

void FreqPlotDrawing::drawStandard() {
    beginDraw(kViewStandard, HorizontalScale::Logarithmic, VerticalScale::Decibels, true);
    if (arrays_.pointCount <= 0) return finalCopy();
    if (xValid_) logFrequencyAxis(true);
    if (yValid_) dbAxis();
    const auto bins = static_cast<std::size_t>(arrays_.binCount);
    const bool captured = state_.plotShowCaptured || state_.plotSubtractCaptured;
    if (!arrays_.resultsReady || !xValid_ || !yValid_ || arrays_.magnitudeSpectrum.size() < bins ||
        (captured && arrays_.capturedSpectrum.size() < bins) || arrays_.plotPoints.size() < bins) {
        return finalCopy();
    }
    preparePositionLog();
    DbExtremes extremes;
    plot_.memoryDc->selectPen(kYellowPen);
    standardTrace(arrays_.magnitudeSpectrum, true, state_.plotSubtractCaptured, extremes);
    if (state_.plotShowCaptured) {
        plot_.memoryDc->selectPen(kGreyPen);
        standardTrace(arrays_.capturedSpectrum, false, false, extremes);
        capturedCaption();
    }
    autoScaleDb(extremes, kStandardDeadBand);
    finalCopy();
}

void FreqPlotDrawing::mouseMove(std::int32_t x, std::int32_t y) {
    if (x > plot_.frameRight || x < plot_.frameLeft || y > plot_.frameBottom ||
        y < plot_.frameTop) {
        env_.surface.setCursor(CursorShape::Arrow);
        return;
    }
    env_.surface.setCursor(CursorShape::Cross);
    const Rect client = env_.surface.clientRect();
    if (!plot_.memoryDc || client.right - client.left + 1 != plot_.bitmapWidth ||
        client.bottom - client.top + 1 != plot_.bitmapHeight) {
        return;  // a stretched picture: no read-out until the next draw
    }
    const std::string unknown(6, '*');
    const auto across = static_cast<float>(x - plot_.frameLeft);
    const auto up = static_cast<float>(plot_.frameBottom - y);
    std::string xText = unknown;
    std::string yText = unknown;
    if (plot_.xScale > 0.0f) {
        // The histogram's axis starts at 0 Hz on the frame's left edge.
        const float hertz = plot_.drawnView == kViewHistogram
                                ? across / plot_.xScale
                                : std::pow(10.0f, across / plot_.xScale + plot_.logFreqLow);
        xText = intText(nearest(hertz), 6);
    }
    if (plot_.yScale > 0.0f) {
        yText = plot_.drawnView == kViewPhase
                    ? fixedText(up / plot_.yScale - kPhasePi, 6, 3)
                    : intText(nearest(up / plot_.yScale + plot_.drawnDbLow), 6);
    }
    plot_.readoutText.replace(1, 6, xText);
    plot_.readoutText.replace(8, 6, yText);

    Canvas& window = env_.surface.windowCanvas();
    window.copyBitmap(*plot_.memoryDc, 0, 0);
    window.setTextAlign(TA_BOTTOM | TA_LEFT);
    window.setTextColour(kReadoutColour);
    window.setTransparentBackground(true);
    window.textOut(x, y, plot_.readoutText);
}

}  // namespace freq_plot_detail

LRESULT FreqPlot(FreqPlotState& plot, const PlotEnvironment& env, const SpectrumTools& tools,
                 WindowHandle window, std::uint32_t message, WPARAM wParam, LPARAM lParam) {
    freq_plot_detail::FreqPlotDrawing drawing(plot, env, tools);
    const bool drawable = plot.memoryDc != nullptr;
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
            if (drawable) drawing.drawStandard();
            return 0;
        case MSG_DRAW_PHASE:
            if (drawable) drawing.drawPhase();
            return 0;
        case MSG_DRAW_WATERFALL:
            if (drawable) drawing.drawWaterfall();
            return 0;
        case MSG_DRAW_HISTOGRAM:
            if (drawable) drawing.drawHistogram();
            return 0;
        default:
            break;
    }
    return env.windows.DefWindowProcA(window, message, wParam, lParam);
}

WindowHandle createFreqPlotWindow(FreqPlotState& plot, const SpectrumTools& tools,
                                  const PlotEnvironment& env) {
    return env.windows.CreateWindowA(
        "FreqPlot", [&plot, &tools, env](WindowHandle w, std::uint32_t m, WPARAM wp, LPARAM lp) {
            return FreqPlot(plot, env, tools, w, m, wp, lp);
        });
}

}  // namespace ressona
