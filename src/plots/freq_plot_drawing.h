#pragma once
// Inside the FreqPlot window: the steps its four views share (the draw
// preamble, the axes, the automatic dB scaling, the final copy) and the views
// themselves. Used only by the plot's own sources.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "plots/freq_plot.h"
#include "plots/plot_axes.h"

namespace ressona {

struct SampleArrays;

namespace freq_plot_detail {

// Starting values of the data's extremes before the first point, in dB.
inline constexpr float kNoMax = -9999.0f;
inline constexpr float kNoMin = 9999.0f;

// The highest and lowest levels a draw met, and whether it met any.
struct DbExtremes {
    float max = kNoMax;
    float min = kNoMin;
    bool any = false;
    void add(float d) {
        if (d > max) max = d;
        if (d < min) min = d;
        any = true;
    }
};

// What every slice of a waterfall draw shares.
struct WaterfallLayout {
    std::int32_t steps = 1;
    std::int32_t inset = 0;      // of the back slice, on either side
    float decades = 1.0f;        // across the frequency limits
    std::size_t firstShown = 2;  // the first spectrum position at or above the low limit
    bool squared = false;        // the slice magnitudes are held squared
};

enum class HorizontalScale { Logarithmic, Linear };
enum class VerticalScale { Decibels, Radians };
// What stands left of the frame: dB labels, the phase's ends, or nothing (waterfall).
enum class SideLabels { Decibels, Radians, None };

class FreqPlotDrawing {
  public:
    FreqPlotDrawing(FreqPlotState& plot, const PlotEnvironment& env, const SpectrumTools& tools);

    void create(WindowHandle window);
    void paint();
    void drawStandard();
    void drawPhase();
    void drawHistogram();
    void drawWaterfall();
    void mouseMove(std::int32_t x, std::int32_t y);

  private:
    // The draw preamble: bitmap size, drawnView, background, the limits the
    // axes show, the frame with room for their labels, scales, text settings
    // and grid pen. xValid/yValid say whether the hand-over limits give the
    // data a scale.
    void beginDraw(AnalysisView view, HorizontalScale horizontal, VerticalScale vertical,
                   SideLabels side, bool blackFrame);
    // The labelled frequencies under the frame, their unit "Hertz", and grid
    // lines across the frame (standard view) or 5-pixel ticks below it (phase
    // and waterfall views).
    void logFrequencyAxis(bool gridLines);
    // The histogram's linear axis from 0 Hz, with ticks under its labels.
    void linearFrequencyAxis();
    void dbAxis();
    void phaseLabels();
    // Moves the dB limits 5 % of the way towards the extremes met, unless the
    // scale is fixed or the draw met no level at all.
    void autoScaleDb(const DbExtremes& extremes, float deadBand);
    void finalCopy();

    // x of a frequency given by its log10, on the full-width logarithmic axis.
    std::int32_t logX(float logFrequency) const;
    // y of a level in dB, held inside the frame.
    std::int32_t dbY(float d) const;
    // Fills plot.positionLog for the current M and bin width.
    void preparePositionLog();
    // The lowest frequency whose period fits between the time cuts.
    float validLowFrequency() const;
    // Draws the points of one standard-view trace; returns how many there were.
    std::size_t standardTrace(const OneBasedArray<float>& spectrum, bool shifted, bool subtract,
                              DbExtremes& extremes);
    void capturedCaption();
    void waterfallSlices();
    // The slice's magnitudes (or their squares) in plot.sliceMagnitudes, from its
    // spectrum at positions 1..M (spectrum[1] is position 1).
    void sliceMagnitudes(bool squared, const ComplexValue* spectrum);
    // Transforms the slice's record in spectrumWork; its spectrum at positions
    // 1..M (the pointer's [1] is position 1).
    const ComplexValue* sliceSpectrum();
    // Slice k's outline, reduced per pixel column unless plot.reduceTraces is
    // off, in arrays.plotPoints; its levels go to the extremes.
    std::span<PlotPoint> sliceOutline(const WaterfallLayout& layout, std::int32_t k,
                                      DbExtremes& extremes);

    // x of a frequency on the axis drawn (in double precision, for labels).
    std::int32_t axisX(double hertz) const;
    std::int32_t axisY(double db) const;

    FreqPlotState& plot_;
    const PlotEnvironment& env_;
    const SpectrumTools& tools_;
    MeasurementState& state_;
    SampleArrays& arrays_;
    bool xValid_ = false;
    bool yValid_ = false;
    // The limits the axes show: the hand-over ones, or a usable range around
    // them where those give none.
    double freqLow_ = 1.0;
    double freqHigh_ = 2.0;
    double dbLow_ = 0.0;
    double dbHigh_ = 1.0;
    HorizontalScale horizontal_ = HorizontalScale::Logarithmic;
    std::int32_t lineHeight_ = 0;
    std::vector<double> dbTicks_;
    int dbDecimals_ = 0;
    std::vector<Tick> frequencyTicks_;
    std::optional<LabelPlacer> labels_;
};

}  // namespace freq_plot_detail
}  // namespace ressona
