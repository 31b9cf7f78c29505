// The plots' labels over the grid of window sizes and axis limits, measured in
// the plot font as Qt draws it: what holds for fixed cells holds for the
// letters the windows really show.

#include <gtest/gtest.h>

#include "platform/qt/qt_image_canvas.h"
#include "unit/plot_label_checks.h"

namespace ressona {
namespace {

TextMeasure plotFont() {
    auto canvas = std::make_shared<QtImageCanvas>(1, 1);
    return [canvas](std::string_view text) { return canvas->textExtent(text); };
}

TEST(PlotLabelsInThePlotFont, FrequencyPlotViews) {
    label_checks::checkFrequencyPlotLabels(plotFont());
}

TEST(PlotLabelsInThePlotFont, TimePlot) {
    label_checks::checkTimePlotLabels(plotFont());
}

}  // namespace
}  // namespace ressona
