#pragma once
// The FreqPlot window: the frequency response in one of four views (standard
// magnitude in dB over a logarithmic axis with an optional captured curve,
// phase, a 100-band histogram and a waterfall of shortened time records), the
// automatic dB scaling and a read-out under the pointer. Each view draws on its
// posted message into an off-screen bitmap that painting copies or stretches.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "state/measurement_state.h"
#include "platform/canvas/canvas.h"
#include "platform/messages/message_queue.h"
#include "plots/level_offsets.h"
#include "plots/plot_environment.h"
#include "signals/response_scale.h"

namespace ressona {

inline constexpr int kHistogramBands = 100;

struct FreqPlotState {
    std::unique_ptr<Canvas> memoryDc;  // holds the off-screen bitmap
    std::int32_t bitmapWidth = 0;
    std::int32_t bitmapHeight = 0;
    bool resizePending = false;  // a paint found the client resized; the next draw rebuilds
    Rect clientRect;             // read at the start of the last draw
    std::int32_t frameLeft = 0;
    std::int32_t frameTop = 0;
    std::int32_t frameRight = 0;
    std::int32_t frameBottom = 0;
    // Scales of the last draw: pixels per decade (log views) or per hertz
    // (histogram); pixels per dB or per radian (phase). 0 when that draw's
    // limits were equal and gave no scale.
    float xScale = 0.0f;
    float yScale = 0.0f;
    float logFreqLow = 0.0f;  // log10 of the low frequency at the last logarithmic draw
    float drawnDbLow = 0.0f;  // the lower dB limit the last draw used
    AnalysisView drawnView = kViewStandard;
    std::string readoutText = "(xxxxxx,xxxxxx)";

    // Histogram working tables, rebuilt at every histogram draw.
    std::array<float, kHistogramBands> bandSum{};
    std::array<std::int32_t, kHistogramBands> bandCount{};

    // The waterfall's slice magnitudes (positions 1..M, index 0 unused), kept
    // apart from the measured magnitude spectrum.
    std::vector<float> sliceMagnitudes;
    // The slices' levels in pixels, remembered while the scale stays.
    LevelOffsets sliceLevels;
    // A slice's spectrum at positions 0..M-1, where the transform gives only those.
    std::vector<ComplexValue> sliceSpectrum;
    // Slice outlines waiting to go to the canvas together: their points back
    // to back and how many each has.
    std::vector<PlotPoint> sliceOutlines;
    std::vector<std::size_t> sliceSizes;
    // log10 of each spectrum position's frequency, rebuilt when M or the bin width changes.
    std::vector<float> positionLog;
    std::int32_t positionLogBins = 0;
    float positionLogBinWidth = 0.0f;

    // Hand each trace and slice to the canvas reduced to what its pixel columns
    // show (the picture is the same either way).
    bool reduceTraces = true;
};

// The window procedure. `tools` are the transform and smoothing the waterfall runs.
LRESULT FreqPlot(FreqPlotState& plot, const PlotEnvironment& env, const SpectrumTools& tools,
                 WindowHandle window, std::uint32_t message, WPARAM wParam, LPARAM lParam);

// Creates a FreqPlot window in env.windows; plot and tools must outlive it.
WindowHandle createFreqPlotWindow(FreqPlotState& plot, const SpectrumTools& tools,
                                  const PlotEnvironment& env);

}  // namespace ressona
