// The phase and histogram views of the FreqPlot window.

#include <algorithm>
#include <cmath>

#include "plots/freq_plot_drawing.h"
#include "plots/plot_numbers.h"
#include "plots/plot_style.h"
#include "plots/trace_reduction.h"
#include "signals/sample_arrays.h"

namespace ressona::freq_plot_detail {

namespace {

constexpr float kPhasePi = 3.1415925f;
constexpr float kHistogramDeadBand = 1.0f;

}  // namespace

void FreqPlotDrawing::drawPhase() {
    // Without arrays the previous picture stays as it is.
    if (arrays_.pointCount <= 0) return;
    beginDraw(kViewPhase, HorizontalScale::Logarithmic, VerticalScale::Radians, SideLabels::Radians,
              true);
    Canvas& dc = *plot_.memoryDc;
    logFrequencyAxis(false);
    phaseLabels();

    const auto bins = static_cast<std::size_t>(arrays_.binCount);
    if (arrays_.resultsReady && xValid_ && arrays_.phaseSpectrum.size() >= bins &&
        arrays_.plotPoints.size() >= bins) {
        preparePositionLog();
        dc.selectPen(kPurplePen);
        PlotPoint* points = arrays_.plotPoints.raw().data();
        std::size_t count = 0;
        for (std::size_t i = 2; i <= bins; ++i) {
            if (positionFrequency(i, arrays_.binWidth) < state_.plotFreqLow) continue;
            // -pi lies on the frame's bottom edge, +pi on its top edge.
            const std::int32_t y =
                std::clamp(plot_.frameBottom -
                               nearestPixel((arrays_.phaseSpectrum[i] + kPhasePi) * plot_.yScale),
                           plot_.frameTop, plot_.frameBottom);
            points[count++] = PlotPoint{logX(plot_.positionLog[i]), y};
        }
        std::span<PlotPoint> drawn = arrays_.plotPoints.raw().first(count);
        if (plot_.reduceTraces) drawn = drawn.first(reduceToColumns(drawn));
        if (!drawn.empty()) dc.polyline(drawn);
    }
    finalCopy();
}

void FreqPlotDrawing::drawHistogram() {
    const float bandWidth =
        (state_.plotFreqHigh - state_.plotFreqLow) / static_cast<float>(kHistogramBands);
    beginDraw(kViewHistogram, HorizontalScale::Linear, VerticalScale::Decibels,
              SideLabels::Decibels, true);
    if (arrays_.pointCount <= 0) return finalCopy();
    Canvas& dc = *plot_.memoryDc;

    // A linear axis from 0 Hz at the frame's left edge, spanning high - low
    // hertz, labelled at round frequencies.
    linearFrequencyAxis();
    dbAxis();
    const auto bins = static_cast<std::size_t>(arrays_.binCount);
    if (!arrays_.resultsReady || !xValid_ || !yValid_ || !(bandWidth > 0.0f) ||
        arrays_.magnitudeSpectrum.size() < bins) {
        return finalCopy();
    }

    dc.selectPen(kYellowPen);  // the frame's black brush stays selected for the bar interiors
    DbExtremes extremes;
    const float validLow = validLowFrequency();
    plot_.bandSum.fill(0.0f);
    plot_.bandCount.fill(0);
    for (std::size_t i = 2; i <= bins; ++i) {
        const float f = positionFrequency(i, arrays_.binWidth);
        if (f < validLow) continue;
        // The last band collects every higher frequency up to the last position.
        const std::int32_t band =
            std::min(truncateToInt(f / bandWidth) + 1, static_cast<std::int32_t>(kHistogramBands));
        plot_.bandCount[static_cast<std::size_t>(band - 1)] += 1;
        plot_.bandSum[static_cast<std::size_t>(band - 1)] += arrays_.magnitudeSpectrum[i];
    }
    const auto n = static_cast<float>(arrays_.pointCount);
    std::int32_t previousX = plot_.frameLeft;
    for (int b = 1; b <= kHistogramBands; ++b) {
        float& sum = plot_.bandSum[static_cast<std::size_t>(b - 1)];
        const std::int32_t count = plot_.bandCount[static_cast<std::size_t>(b - 1)];
        if (count > 0) sum = sum / static_cast<float>(count);  // an empty band keeps 0
        const float d = levelDecibels(sum, n) + state_.plotShiftDb;
        extremes.add(d);
        const std::int32_t x =
            nearestPixel(plot_.xScale * static_cast<float>(b) * bandWidth) + plot_.frameLeft;
        const std::int32_t y = dbY(d);
        const std::array<PlotPoint, 5> bar{
            PlotPoint{previousX, plot_.frameBottom}, PlotPoint{previousX, y}, PlotPoint{x, y},
            PlotPoint{x, plot_.frameBottom}, PlotPoint{previousX, plot_.frameBottom}};
        dc.polygon(bar);
        previousX = x;
    }
    autoScaleDb(extremes, kHistogramDeadBand);
    finalCopy();
}

}  // namespace ressona::freq_plot_detail
