#include "plots/freq_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <utility>

#include "plots/freq_plot_drawing.h"
#include "plots/plot_numbers.h"
#include "plots/plot_style.h"
#include "plots/trace_reduction.h"
#include "signals/sample_arrays.h"

namespace ressona {
namespace freq_plot_detail {

namespace {

constexpr float kStandardDeadBand = 0.3f;
constexpr float kAutoScaleApproach = 0.05f;
constexpr float kPhaseSpan = 6.283185f;  // 2 pi, radians over the frame height
constexpr float kPhasePi = 3.1415925f;

}  // namespace

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

namespace {

// A usable range from low to high: the limits as they are when they give
// one, otherwise a range just above the low limit (or around it).
std::pair<double, double> usableRange(double low, double high, double lowest, double fallback) {
    if (!std::isfinite(low) || !(low >= lowest)) low = fallback;
    if (!std::isfinite(high) || !(high > low)) {
        high = std::max(low + 1.0, low * (1.0 + 1e-6));
    }
    return {low, high};
}

// The widest of the texts, in pixels.
std::int32_t widestOf(const Canvas& dc, const std::vector<std::string>& texts) {
    std::int32_t widest = 0;
    for (const std::string& text : texts) widest = std::max(widest, dc.textExtent(text).width);
    return widest;
}

}  // namespace

void FreqPlotDrawing::beginDraw(AnalysisView view, HorizontalScale horizontal,
                                VerticalScale vertical, SideLabels side, bool blackFrame) {
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
    plot_.clientRect = client;
    horizontal_ = horizontal;

    // The axes always show a range: the hand-over keeps its limits apart,
    // and limits that still give none are drawn as a range beside them.
    std::tie(freqLow_, freqHigh_) = usableRange(state_.plotFreqLow, state_.plotFreqHigh,
                                                horizontal == HorizontalScale::Logarithmic
                                                    ? std::numeric_limits<double>::min()
                                                    : -std::numeric_limits<double>::max(),
                                                1.0);
    std::tie(dbLow_, dbHigh_) =
        usableRange(state_.plotDbLow, state_.plotDbHigh, -std::numeric_limits<double>::max(), 0.0);

    // The frame's height depends only on the labels' height; the dB step
    // follows from it, the width left of the frame from the dB labels.
    lineHeight_ = dc.textExtent("0").height;
    LabelRoom room{lineHeight_, 0, 0};
    const PlotFrame plain = plotFrameFor(client, room);
    const double dbRange = dbHigh_ - dbLow_;
    dbTicks_.clear();
    if (side == SideLabels::Decibels && plain.bottom > plain.top) {
        const double pixels = plain.bottom - plain.top;
        const double step = roundStepAtLeast(
            std::max(dbRange / kMostSteps, (lineHeight_ + kLabelGap + 1) * dbRange / pixels));
        dbDecimals_ = decimalsOf(step);
        dbTicks_ = multiplesWithin(dbLow_, dbHigh_, step);
        std::vector<std::string> texts;
        for (const double v : dbTicks_) texts.push_back(levelText(v, dbDecimals_));
        room.sideWidth = widestOf(dc, texts);
    } else if (side == SideLabels::Radians) {
        room.sideWidth = widestOf(dc, {"+pi", "-pi"});
    }
    const auto frequencyTexts = [&] {
        std::vector<std::string> texts;
        for (const Tick& tick : frequencyTicks_)
            texts.push_back(frequencyText(tick.value, tick.decimals));
        return texts;
    };
    const auto linearTicks = [&](std::int32_t pixels) {
        // From 0 Hz, spanning high - low: round steps whose labels stand apart.
        const double span = freqHigh_ - freqLow_;
        const double perHertz = pixels / span;
        const double step = firstFittingStep(span / kMostSteps, [&](double s) {
            std::vector<std::string> texts;
            for (const double v : multiplesWithin(0.0, span, s))
                texts.push_back(frequencyText(v, decimalsOf(s)));
            return s * perHertz >= widestOf(dc, texts) + 2 * kLabelGap + 1;
        });
        frequencyTicks_.clear();
        for (const double v : multiplesWithin(0.0, span, step))
            frequencyTicks_.push_back({v, decimalsOf(step), 0});
    };
    if (horizontal == HorizontalScale::Logarithmic) {
        frequencyTicks_ = logarithmicTicks(freqLow_, freqHigh_);
    } else {
        linearTicks(plain.right - plain.left);
    }
    room.halfBottomWidth = (widestOf(dc, frequencyTexts()) + 1) / 2;
    const PlotFrame frame = plotFrameFor(client, room);
    if (horizontal == HorizontalScale::Linear) linearTicks(frame.right - frame.left);
    plot_.frameLeft = frame.left;
    plot_.frameTop = frame.top;
    plot_.frameRight = frame.right;
    plot_.frameBottom = frame.bottom;
    const double frameWidth = frame.right - frame.left;
    const double frameHeight = frame.bottom - frame.top;

    // The data need limits that give a scale, and a frame with room inside.
    const float low = state_.plotFreqLow;
    const float high = state_.plotFreqHigh;
    const bool hasWidth = frameWidth > 0.0 && frameHeight > 0.0;
    if (horizontal == HorizontalScale::Logarithmic) {
        xValid_ = hasWidth && low > 0.0f && high > low;
        plot_.xScale =
            static_cast<float>(frameWidth / (std::log10(freqHigh_) - std::log10(freqLow_)));
        plot_.logFreqLow = static_cast<float>(std::log10(freqLow_));
    } else {
        xValid_ = hasWidth && high > low;
        plot_.xScale = static_cast<float>(frameWidth / (freqHigh_ - freqLow_));
    }
    if (vertical == VerticalScale::Decibels) {
        yValid_ = hasWidth && state_.plotDbHigh > state_.plotDbLow;
        plot_.yScale = static_cast<float>(frameHeight / dbRange);
    } else {
        yValid_ = hasWidth;
        plot_.yScale = static_cast<float>(frameHeight / kPhaseSpan);
    }
    plot_.drawnDbLow = static_cast<float>(dbLow_);

    // The grey client first, then the black frame over it (the client's
    // pixels under the frame need no painting).
    const Rect frameRect{plot_.frameLeft, plot_.frameTop, plot_.frameRight, plot_.frameBottom};
    dc.selectBrush(kLightGreyStockBrush);
    if (blackFrame) {
        dc.rectangleAround(client, frameRect);
    } else {
        dc.rectangle(client);
    }
    dc.setRasterOp(RasterOp::CopyPen);
    if (blackFrame) {
        dc.selectBrush(kBlackBrush);
        dc.rectangle(frameRect);
    }
    dc.setTextAlign(TA_TOP | TA_LEFT);
    dc.setTextColour(kLabelColour);
    dc.setTransparentBackground(true);
    dc.selectPen(kGridPen);
    labels_.emplace(dc, client, frame);
}

std::int32_t FreqPlotDrawing::logX(float logFrequency) const {
    return nearestPixel(plot_.xScale * (logFrequency - plot_.logFreqLow)) + plot_.frameLeft;
}

std::int32_t FreqPlotDrawing::dbY(float d) const {
    return std::clamp(plot_.frameBottom - nearestPixel((d - plot_.drawnDbLow) * plot_.yScale),
                      plot_.frameTop, plot_.frameBottom);
}

std::int32_t FreqPlotDrawing::axisX(double hertz) const {
    const double width = plot_.frameRight - plot_.frameLeft;
    const double across = horizontal_ == HorizontalScale::Logarithmic
                              ? std::log(hertz / freqLow_) / std::log(freqHigh_ / freqLow_)
                              : hertz / (freqHigh_ - freqLow_);
    return plot_.frameLeft + static_cast<std::int32_t>(std::lround(width * across));
}

std::int32_t FreqPlotDrawing::axisY(double db) const {
    const double height = plot_.frameBottom - plot_.frameTop;
    return plot_.frameBottom -
           static_cast<std::int32_t>(std::lround(height * (db - dbLow_) / (dbHigh_ - dbLow_)));
}

void FreqPlotDrawing::logFrequencyAxis(bool gridLines) {
    Canvas& dc = *plot_.memoryDc;
    const PlotFrame frame{plot_.frameLeft, plot_.frameTop, plot_.frameRight, plot_.frameBottom};
    const std::int32_t row = bottomLabelTop(frame, lineHeight_);
    // The unit first: it is always shown, and labels make way for it.
    const std::int32_t unitWidth = labels_->extent("Hertz").width;
    labels_->place(plot_.clientRect.right - kLabelGap - unitWidth, row, "Hertz");
    std::vector<std::int32_t> marked;
    if (gridLines) {
        for (const double g : logarithmicGrid(freqLow_, freqHigh_)) marked.push_back(axisX(g));
    }
    for (const Tick& tick : frequencyTicks_) {
        const std::int32_t x = axisX(tick.value);
        if (!labels_->placeCentred(x, row, frequencyText(tick.value, tick.decimals))) continue;
        if (std::find(marked.begin(), marked.end(), x) == marked.end()) marked.push_back(x);
    }
    // Grid lines cross the frame and stand 5 pixels out below it; ticks only stand out.
    for (const std::int32_t x : marked) {
        dc.line({x, plot_.frameBottom + kTickLength},
                {x, gridLines ? plot_.frameTop : plot_.frameBottom});
    }
}

void FreqPlotDrawing::linearFrequencyAxis() {
    Canvas& dc = *plot_.memoryDc;
    const PlotFrame frame{plot_.frameLeft, plot_.frameTop, plot_.frameRight, plot_.frameBottom};
    const std::int32_t row = bottomLabelTop(frame, lineHeight_);
    const std::int32_t unitWidth = labels_->extent("Hertz").width;
    labels_->place(plot_.clientRect.right - kLabelGap - unitWidth, row, "Hertz");
    for (const Tick& tick : frequencyTicks_) {
        const std::int32_t x = axisX(tick.value);
        if (labels_->placeCentred(x, row, frequencyText(tick.value, tick.decimals))) {
            dc.line({x, plot_.frameBottom + kTickLength}, {x, plot_.frameBottom});
        }
    }
}

void FreqPlotDrawing::dbAxis() {
    Canvas& dc = *plot_.memoryDc;
    labels_->place(plot_.clientRect.left + kLabelGap, plot_.clientRect.top + kLabelGap,
                   state_.plotLevelInSpl ? "dB SPL" : "dB");
    const std::int32_t labelRight = plot_.frameLeft - kTickLength - kLabelGap;
    for (const double v : dbTicks_) {
        const std::int32_t y = axisY(v);
        dc.line({plot_.frameLeft - kTickLength, y}, {plot_.frameRight, y});
        labels_->placeBeside(labelRight, y, levelText(v, dbDecimals_));
    }
}

// The ends of the phase axis: +pi at the frame's top edge, -pi at its bottom edge.
void FreqPlotDrawing::phaseLabels() {
    Canvas& dc = *plot_.memoryDc;
    const std::int32_t labelRight = plot_.frameLeft - kTickLength - kLabelGap;
    for (const auto& [y, text] :
         {std::pair{plot_.frameTop, "+pi"}, std::pair{plot_.frameBottom, "-pi"}}) {
        dc.line({plot_.frameLeft - kTickLength, y}, {plot_.frameLeft, y});
        labels_->placeBeside(labelRight, y, text);
    }
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
        float d = levelDecibels(spectrum[i], n);
        if (shifted) d += state_.plotShiftDb;
        if (subtract) d -= levelDecibels(arrays_.capturedSpectrum[i], n);
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

// The legend of the captured curve in the titles' row above the frame, from
// the frame's left edge: the label up to its first blank, shortened until it
// fits the window.
void FreqPlotDrawing::capturedCaption() {
    const auto& label = state_.capturedLabel;
    const auto end = std::find(label.begin(), label.begin() + kCapturedLabelLength, '\0');
    const auto blank = std::find(label.begin(), end, ' ');
    if (blank == end) return;  // a label without a blank shows nothing
    Canvas& dc = *plot_.memoryDc;
    dc.setTextColour(kLabelColour);
    std::string_view caption(label.data(), static_cast<std::size_t>(blank - label.begin()));
    while (!caption.empty() &&
           !labels_->place(plot_.frameLeft, plot_.clientRect.top + kLabelGap, caption)) {
        caption.remove_suffix(1);
    }
}

void FreqPlotDrawing::drawStandard() {
    beginDraw(kViewStandard, HorizontalScale::Logarithmic, VerticalScale::Decibels,
              SideLabels::Decibels, true);
    if (arrays_.pointCount <= 0) return finalCopy();
    logFrequencyAxis(true);
    dbAxis();
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
