#pragma once
// The TimePlot window: the analysed time signal in yellow with the played
// excitation in white along the bottom, a millisecond axis, an amplitude axis
// in ADC counts, markers for the time cuts and the waterfall start, and a
// read-out of time and amplitude under the pointer. It draws only on
// MSG_REDRAW, into an off-screen bitmap that painting copies or stretches.

#include <memory>
#include <string>

#include "state/measurement_state.h"
#include "platform/canvas/canvas.h"
#include "platform/messages/message_queue.h"
#include "plots/plot_environment.h"

namespace ressona {

struct TimePlotState {
    std::unique_ptr<Canvas> memoryDc;  // holds the off-screen bitmap
    std::int32_t bitmapWidth = 0;
    std::int32_t bitmapHeight = 0;
    Rect clientRect;  // read at the start of the last redraw
    std::int32_t frameLeft = 0;
    std::int32_t frameTop = 0;
    std::int32_t frameRight = 0;
    std::int32_t frameBottom = 0;
    float xScale = 0.0f;  // pixels per sample
    float yScale = 0.0f;  // pixels per ADC count; 0 when the last redraw had no amplitude scale
    float excitationScale = 0.0f;    // pixels per excitation code step
    float drawnAmplitudeMin = 0.0f;  // the lower amplitude limit the last redraw used
    std::string readoutText = "(xxxxxx,xxxxxx)";
    // Hand each trace to the canvas reduced to what its pixel columns show (the
    // picture is the same either way).
    bool reduceTraces = true;
};

// The window procedure. freqPlotView is the view the frequency plot drew last
// (the waterfall-start marker shows only under the waterfall view).
LRESULT TimePlot(TimePlotState& plot, const AnalysisView& freqPlotView, const PlotEnvironment& env,
                 WindowHandle window, std::uint32_t message, WPARAM wParam, LPARAM lParam);

// Creates a TimePlot window in env.windows over the given state; the state,
// view and environment must outlive the window.
WindowHandle createTimePlotWindow(TimePlotState& plot, const AnalysisView& freqPlotView,
                                  const PlotEnvironment& env);

}  // namespace ressona
