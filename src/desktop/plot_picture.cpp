#include "desktop/plot_picture.h"

#include <QGuiApplication>

#include "state/measurement_state.h"
#include "platform/messages/message_queue.h"
#include "platform/qt/qt_image_canvas.h"
#include "plots/freq_plot.h"
#include "plots/time_plot.h"
#include "signals/sample_arrays.h"

namespace ressona {

namespace {

constexpr std::int32_t kLargestPicture = 10000;

std::uint32_t drawMessageOf(PlotPicture picture) {
    switch (picture) {
        case PlotPicture::Phase:
            return MSG_DRAW_PHASE;
        case PlotPicture::Histogram:
            return MSG_DRAW_HISTOGRAM;
        case PlotPicture::Waterfall:
            return MSG_DRAW_WATERFALL;
        case PlotPicture::Time:
        case PlotPicture::Standard:
            break;
    }
    return MSG_REDRAW;
}

void dispatchAll(MessageQueue& queue) {
    while (queue.dispatchPending() > 0) {
    }
}

}  // namespace

int savePlotPicture(MeasurementState& state, SampleArrays& arrays, const SpectrumTools& tools,
                    PlotPicture picture, std::int32_t width, std::int32_t height,
                    const std::string& path) {
    if (width < 1 || height < 1 || width > kLargestPicture || height > kLargestPicture) {
        return kPictureBadSize;
    }
    if (QGuiApplication::instance() == nullptr) return kPictureNoGui;

    // The automatic ranges a draw moves, put back afterwards.
    const float dbLow = state.plotDbLow;
    const float dbHigh = state.plotDbHigh;
    const float timeMin = arrays.timePlotMin;
    const float timeMax = arrays.timePlotMax;
    QtImageSurface surface(width, height);
    MessageQueue queue;
    const PlotEnvironment env{state, arrays, queue, surface};
    if (picture == PlotPicture::Time) {
        TimePlotState plot;
        const AnalysisView freqView = static_cast<AnalysisView>(state.analysisView);
        createTimePlotWindow(plot, freqView, env);
        dispatchAll(queue);
    } else {
        FreqPlotState plot;
        const WindowHandle window = createFreqPlotWindow(plot, tools, env);
        // The window asks for its standard view on creation; the picture is the one view asked for.
        Message first;
        queue.PeekMessageA(first, window, PM_REMOVE);
        queue.PostMessageA(window, drawMessageOf(picture), 0, 0);
        dispatchAll(queue);
    }
    state.plotDbLow = dbLow;
    state.plotDbHigh = dbHigh;
    arrays.timePlotMin = timeMin;
    arrays.timePlotMax = timeMax;
    return surface.window().savePng(path) == 0 ? kPictureSaved : kPictureNotWritten;
}

}  // namespace ressona
