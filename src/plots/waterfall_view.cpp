// The waterfall view of the FreqPlot window: the spectra of the time record
// with 0, 1, 2, ... samples taken out after the start position, drawn back to
// front in perspective, each slice a filled staircase that hides what lies
// behind it.

#include <algorithm>
#include <cmath>

#include "plots/freq_plot_drawing.h"
#include "plots/plot_numbers.h"
#include "plots/plot_style.h"
#include "plots/trace_reduction.h"
#include "signals/sample_arrays.h"

namespace ressona::freq_plot_detail {

namespace {

constexpr float kWaterfallDeadBand = 1.0f;
constexpr std::int32_t kSliceDrop = 3;     // pixels each slice sits below the one behind it
constexpr std::int32_t kInsetDivisor = 5;  // the back slice is inset by a fifth of the frame

// One slice's outline under construction: a staircase that runs along each
// level to the next point's x, then steps to that point's level.
class Staircase {
  public:
    Staircase(std::span<PlotPoint> buffer, std::int32_t bottom)
        : buffer_(buffer), bottom_(bottom), previousY_(bottom) {}

    void add(std::int32_t x, std::int32_t y) {
        if (count_ == 0) buffer_[count_++] = PlotPoint{x, bottom_};
        buffer_[count_++] = PlotPoint{x, previousY_};
        buffer_[count_++] = PlotPoint{x, y};
        previousY_ = y;
        lastX_ = x;
    }
    // Closes the outline along the bottom; the vertices to draw (none without points).
    std::span<PlotPoint> close() {
        if (count_ == 0) return {};
        buffer_[count_++] = PlotPoint{lastX_, bottom_};
        return buffer_.first(count_);
    }

  private:
    std::span<PlotPoint> buffer_;
    std::int32_t bottom_;
    std::int32_t previousY_;
    std::int32_t lastX_ = 0;
    std::size_t count_ = 0;
};

}  // namespace

void FreqPlotDrawing::drawWaterfall() {
    // Without arrays the previous picture stays as it is.
    if (arrays_.pointCount <= 0) return;
    beginDraw(kViewWaterfall, HorizontalScale::Logarithmic, VerticalScale::Decibels, false);
    if (xValid_) logFrequencyAxis(false);
    const auto n = static_cast<std::size_t>(arrays_.pointCount);
    const auto bins = static_cast<std::size_t>(arrays_.binCount);
    const bool arraysFit = arrays_.timeComplex.size() >= n && arrays_.spectrumWork.size() >= n &&
                           arrays_.averageSum.size() >= bins &&
                           arrays_.plotPoints.size() >= 2 * bins + 2;
    if (arrays_.resultsReady && xValid_ && yValid_ && arraysFit && tools_.transform) {
        waterfallSlices();
    }
    finalCopy();
}

void FreqPlotDrawing::waterfallSlices() {
    Canvas& dc = *plot_.memoryDc;
    const auto n = static_cast<std::size_t>(arrays_.pointCount);
    const auto bins = static_cast<std::size_t>(arrays_.binCount);
    const auto nFloat = static_cast<float>(n);
    dc.selectPen(kPurplePen);
    dc.selectBrush(kBlueBrush);
    DbExtremes extremes;
    const std::int32_t steps = std::max(state_.plotWaterfallSteps, 1);
    const auto start =
        static_cast<std::size_t>(std::clamp(state_.plotWaterfallStart, 0, arrays_.pointCount));
    const std::int32_t inset = (plot_.frameRight - plot_.frameLeft) / kInsetDivisor;
    const float decades = std::log10(state_.plotFreqHigh) - std::log10(state_.plotFreqLow);

    preparePositionLog();
    // The slices' magnitudes go to the view's own buffer: the measured result
    // stays what the analysis made of the capture.
    std::vector<float>& magnitude = plot_.sliceMagnitudes;
    if (magnitude.size() != bins + 1) magnitude.assign(bins + 1, 0.0f);
    std::size_t firstShown = 2;
    while (firstShown <= bins &&
           positionFrequency(firstShown, arrays_.binWidth) < state_.plotFreqLow) {
        ++firstShown;
    }

    for (std::int32_t k = 0; k <= steps; ++k) {
        // The first `start` samples stay; the rest advance by k; the freed end
        // repeats the last sample.
        for (std::size_t i = 1; i <= n; ++i) {
            const std::size_t from = i <= start ? i : std::min(i + static_cast<std::size_t>(k), n);
            arrays_.spectrumWork[i] = arrays_.timeComplex[from];
        }
        tools_.transform(arrays_.spectrumWork.view());
        const float averages = static_cast<float>(arrays_.averagesDone + 1);
        for (std::size_t i = 1; i <= bins; ++i) {
            const ComplexValue v = arrays_.spectrumWork[i];
            const float m = std::sqrt(v.re * v.re + v.im * v.im);
            magnitude[i] =
                arrays_.analysisAverageInTime ? m : (m + arrays_.averageSum[i]) / averages;
        }
        if (state_.analysisThirdOctave && tools_.smooth) {
            tools_.smooth(OneBasedSpan<float>(std::span<float>(magnitude).subspan(1)),
                          arrays_.binWidth);
        }

        const std::int32_t sliceInset = (steps - k) * inset / steps;
        const std::int32_t left = plot_.frameLeft + sliceInset;
        const std::int32_t right = plot_.frameRight - sliceInset;
        const float sliceScale = static_cast<float>(right - left) / decades;
        const std::int32_t drop = kSliceDrop * k;
        const auto sliceX = [&](std::size_t i) {
            return nearestPixel(sliceScale * (plot_.positionLog[i] - plot_.logFreqLow)) + left;
        };
        Staircase outline(arrays_.plotPoints.raw(), plot_.frameBottom);
        // One point of the slice: its level, lowered by the slice's drop, and the
        // level that lowered position stands for (what the scaling follows).
        const auto addPoint = [&](std::int32_t x, std::size_t i) {
            const float d = decibels(magnitude[i], nFloat) + state_.plotShiftDb;
            const std::int32_t y =
                plot_.frameBottom - nearestPixel((d - state_.plotDbLow) * plot_.yScale) + drop;
            extremes.add(static_cast<float>(plot_.frameBottom - y) / plot_.yScale +
                         state_.plotDbLow);
            outline.add(x, std::clamp(y, plot_.frameTop, plot_.frameBottom));
        };

        if (!plot_.reduceTraces) {
            for (std::size_t i = firstShown; i <= bins; ++i) addPoint(sliceX(i), i);
        } else {
            // Per pixel column only the first and last positions and those of the
            // smallest and largest magnitude decide the picture and the extremes:
            // a point's height only grows with its magnitude.
            std::size_t i = firstShown;
            std::int32_t x = i <= bins ? sliceX(i) : 0;
            while (i <= bins) {
                std::size_t last = i;
                std::size_t smallest = i;
                std::size_t largest = i;
                std::int32_t nextX = 0;
                while (last + 1 <= bins && (nextX = sliceX(last + 1)) == x) {
                    ++last;
                    if (magnitude[last] < magnitude[smallest]) smallest = last;
                    if (magnitude[last] > magnitude[largest]) largest = last;
                }
                const std::array<std::size_t, 4> order{i, std::min(smallest, largest),
                                                       std::max(smallest, largest), last};
                for (std::size_t r = 0; r < order.size(); ++r) {
                    if (r == 0 || order[r] != order[r - 1]) addPoint(x, order[r]);
                }
                i = last + 1;
                x = nextX;
            }
        }
        std::span<PlotPoint> vertices = outline.close();
        if (plot_.reduceTraces) vertices = vertices.first(reduceToColumns(vertices));
        if (!vertices.empty()) dc.polygon(vertices);
    }
    autoScaleDb(extremes, kWaterfallDeadBand);
}

}  // namespace ressona::freq_plot_detail
