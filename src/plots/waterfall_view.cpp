// The waterfall view of the FreqPlot window: the spectra of the time record
// with 0, 1, 2, ... samples taken out after the start position, drawn back to
// front in perspective, each slice a filled staircase that hides what lies
// behind it.

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

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
// Outline points handed to the canvas at once: a few dozen reduced slices,
// while thousands of steps do not hold all their outlines.
constexpr std::size_t kSliceBatchPoints = std::size_t{1} << 18;

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

// The record of slice k: the first `start` samples stay, the rest advance by
// k, and the freed end repeats the last sample.
void shortenedRecord(const OneBasedArray<ComplexValue>& record, std::size_t start, std::size_t k,
                     std::size_t n, OneBasedArray<ComplexValue>& slice) {
    const std::span<const ComplexValue> from = record.raw().first(n);
    const std::span<ComplexValue> to = slice.raw().first(n);
    const std::size_t advanced = k < n - start ? n - start - k : 0;
    std::copy_n(from.begin(), start, to.begin());
    if (advanced > 0) {
        std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(start + k), advanced,
                    to.begin() + static_cast<std::ptrdiff_t>(start));
    }
    std::fill(to.begin() + static_cast<std::ptrdiff_t>(start + advanced), to.end(), from[n - 1]);
}

}  // namespace

void FreqPlotDrawing::drawWaterfall() {
    // Without arrays the previous picture stays as it is.
    if (arrays_.pointCount <= 0) return;
    beginDraw(kViewWaterfall, HorizontalScale::Logarithmic, VerticalScale::Decibels,
              SideLabels::None, false);
    logFrequencyAxis(false);
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
    dc.selectPen(kPurplePen);
    dc.selectBrush(kBlueBrush);
    WaterfallLayout layout;
    layout.steps = std::max(state_.plotWaterfallSteps, 1);
    layout.inset = (plot_.frameRight - plot_.frameLeft) / kInsetDivisor;
    layout.decades = std::log10(state_.plotFreqHigh) - std::log10(state_.plotFreqLow);
    const auto start =
        static_cast<std::size_t>(std::clamp(state_.plotWaterfallStart, 0, arrays_.pointCount));

    preparePositionLog();
    // The slices' magnitudes go to the view's own buffer: the measured result
    // stays what the analysis made of the capture.
    std::vector<float>& magnitude = plot_.sliceMagnitudes;
    if (magnitude.size() != bins + 1) magnitude.assign(bins + 1, 0.0f);
    layout.firstShown = 2;
    while (layout.firstShown <= bins &&
           positionFrequency(layout.firstShown, arrays_.binWidth) < state_.plotFreqLow) {
        ++layout.firstShown;
    }
    // Squares of the magnitudes serve as well where only the square root lies
    // between them and the levels (no averaging over frequency, no smoothing):
    // the root keeps their order, so each pixel column keeps the same points,
    // and only the points kept need the root and the logarithm.
    layout.squared =
        arrays_.analysisAverageInTime && !(state_.analysisThirdOctave && tools_.smooth);

    // The outlines go to the canvas a batch at a time, back to front, so that
    // it may leave out what the slices in front cover.
    std::vector<PlotPoint>& outlines = plot_.sliceOutlines;
    std::vector<std::size_t>& sizes = plot_.sliceSizes;
    outlines.clear();
    sizes.clear();
    plot_.sliceLevels.prepare({layout.squared, static_cast<float>(n), state_.plotShiftDb,
                               state_.plotDbLow, plot_.yScale});
    DbExtremes extremes;
    for (std::int32_t k = 0; k <= layout.steps; ++k) {
        shortenedRecord(arrays_.timeComplex, start, static_cast<std::size_t>(k), n,
                        arrays_.spectrumWork);
        sliceMagnitudes(layout.squared, sliceSpectrum());
        const std::span<const PlotPoint> vertices = sliceOutline(layout, k, extremes);
        if (vertices.empty()) continue;
        outlines.insert(outlines.end(), vertices.begin(), vertices.end());
        sizes.push_back(vertices.size());
        if (outlines.size() >= kSliceBatchPoints) {
            dc.polygons(outlines, sizes);
            outlines.clear();
            sizes.clear();
        }
    }
    if (!sizes.empty()) dc.polygons(outlines, sizes);
    autoScaleDb(extremes, kWaterfallDeadBand);
}

const ComplexValue* FreqPlotDrawing::sliceSpectrum() {
    if (!tools_.leadingTransform) {
        tools_.transform(arrays_.spectrumWork.view());
        return arrays_.spectrumWork.raw().data() - 1;  // 1-based
    }
    // Only the lower half is drawn: the rest is neither reordered nor scaled.
    std::vector<ComplexValue>& leading = plot_.sliceSpectrum;
    leading.resize(static_cast<std::size_t>(arrays_.binCount));
    tools_.leadingTransform(arrays_.spectrumWork.view(), leading);
    return leading.data() - 1;
}

void FreqPlotDrawing::sliceMagnitudes(bool squared, const ComplexValue* spectrum) {
    std::vector<float>& magnitude = plot_.sliceMagnitudes;
    const auto bins = static_cast<std::size_t>(arrays_.binCount);
    if (squared) {
        for (std::size_t i = 1; i <= bins; ++i) {
            const ComplexValue v = spectrum[i];
            magnitude[i] = v.re * v.re + v.im * v.im;
        }
        return;
    }
    const float averages = static_cast<float>(arrays_.averagesDone + 1);
    for (std::size_t i = 1; i <= bins; ++i) {
        const ComplexValue v = spectrum[i];
        const float m = std::sqrt(v.re * v.re + v.im * v.im);
        magnitude[i] = arrays_.analysisAverageInTime ? m : (m + arrays_.averageSum[i]) / averages;
    }
    if (state_.analysisThirdOctave && tools_.smooth) {
        tools_.smooth(OneBasedSpan<float>(std::span<float>(magnitude).subspan(1)),
                      arrays_.binWidth);
    }
}

std::span<PlotPoint> FreqPlotDrawing::sliceOutline(const WaterfallLayout& layout, std::int32_t k,
                                                   DbExtremes& extremes) {
    const std::vector<float>& magnitude = plot_.sliceMagnitudes;
    const auto bins = static_cast<std::size_t>(arrays_.binCount);
    const std::int32_t sliceInset = (layout.steps - k) * layout.inset / layout.steps;
    const std::int32_t left = plot_.frameLeft + sliceInset;
    const std::int32_t right = plot_.frameRight - sliceInset;
    const float sliceScale = static_cast<float>(right - left) / layout.decades;
    const std::int32_t drop = kSliceDrop * k;
    const auto sliceX = [&](std::size_t i) {
        return nearestPixel(sliceScale * (plot_.positionLog[i] - plot_.logFreqLow)) + left;
    };
    Staircase outline(arrays_.plotPoints.raw(), plot_.frameBottom);
    // The highest and lowest point of the slice before clamping to the frame.
    std::int32_t highestY = std::numeric_limits<std::int32_t>::max();
    std::int32_t lowestY = std::numeric_limits<std::int32_t>::min();
    // One point of the slice: its level, lowered by the slice's drop.
    LevelOffsets& levels = plot_.sliceLevels;
    const auto addPoint = [&](std::int32_t x, std::size_t i) {
        const std::int32_t y = plot_.frameBottom - levels.offset(magnitude[i]) + drop;
        highestY = std::min(highestY, y);
        lowestY = std::max(lowestY, y);
        outline.add(x, std::clamp(y, plot_.frameTop, plot_.frameBottom));
    };
    // The scaling follows the levels the lowered points stand for. Those only
    // fall as y grows, so the slice's highest and lowest points give its
    // extremes. A frame without height has no levels to give.
    const auto addExtremes = [&] {
        if (highestY > lowestY || plot_.yScale <= 0.0f) return;
        for (const std::int32_t y : {highestY, lowestY}) {
            extremes.add(static_cast<float>(plot_.frameBottom - y) / plot_.yScale +
                         state_.plotDbLow);
        }
    };

    if (!plot_.reduceTraces) {
        for (std::size_t i = layout.firstShown; i <= bins; ++i) addPoint(sliceX(i), i);
        addExtremes();
        return outline.close();
    }
    // The positions drawn in one pixel column follow one another, since x
    // never falls as the position rises (the positions' logarithms never
    // fall, and scaling by a positive factor and rounding keep their order).
    // Neighbouring columns hold nearly as many positions as each other, so a
    // column's last position is looked for where the column before would put
    // it, and found by stepping from there.
    const bool ordered = std::isfinite(sliceScale) && sliceScale >= 0.0f;
    std::size_t expected = 1;  // positions in the column before
    const auto columnEnd = [&](std::size_t i, std::int32_t x) {
        std::size_t last = i;
        if (ordered) {
            last = std::min(i + expected - 1, bins);
            while (last > i && sliceX(last) != x) --last;
        }
        while (last + 1 <= bins && sliceX(last + 1) == x) ++last;
        expected = last - i + 1;
        return last;
    };
    // Per pixel column only the first and last positions and those of the
    // smallest and largest magnitude decide the picture and the extremes:
    // a point's height only grows with its magnitude.
    std::size_t i = layout.firstShown;
    std::int32_t x = i <= bins ? sliceX(i) : 0;
    while (i <= bins) {
        const std::size_t last = columnEnd(i, x);
        std::size_t smallest = i;
        std::size_t largest = i;
        float low = magnitude[i];
        float high = low;
        for (std::size_t j = i + 1; j <= last; ++j) {
            const float m = magnitude[j];
            if (m < low) {
                low = m;
                smallest = j;
            }
            if (m > high) {
                high = m;
                largest = j;
            }
        }
        const std::array<std::size_t, 4> order{i, std::min(smallest, largest),
                                               std::max(smallest, largest), last};
        for (std::size_t r = 0; r < order.size(); ++r) {
            if (r == 0 || order[r] != order[r - 1]) addPoint(x, order[r]);
        }
        i = last + 1;
        if (i <= bins) x = sliceX(i);
    }
    addExtremes();
    std::span<PlotPoint> vertices = outline.close();
    return vertices.first(reduceToColumns(vertices));
}

}  // namespace ressona::freq_plot_detail
