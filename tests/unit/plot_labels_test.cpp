// The plots' labels over a grid of window sizes and axis limits, measured as
// the recording canvas measures text by default (7 x 13 pixel cells).

#include <gtest/gtest.h>

#include "unit/plot_label_checks.h"

namespace ressona {
namespace {

TEST(PlotLabels, FrequencyPlotViewsOverSizesAndLimits) {
    label_checks::checkFrequencyPlotLabels(fixedCellExtent);
}

TEST(PlotLabels, TimePlotOverSizesLengthsRatesAndRanges) {
    label_checks::checkTimePlotLabels(fixedCellExtent);
}

}  // namespace
}  // namespace ressona
