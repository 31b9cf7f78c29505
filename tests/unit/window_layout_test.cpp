#include "control/window_layout.h"

#include <gtest/gtest.h>

namespace ressona {
namespace {

// The panel as the desktop builds it: 516 x 196 dialog units of 6 x 10 pixels.
constexpr std::int32_t kPanelHeight = 245;

TEST(WindowLayoutTest, ThirdsOfTheScreenWhereThePanelFitsBelowThem) {
    for (const auto& [width, height] : {std::pair{1024, 768}, std::pair{1280, 1024}}) {
        for (const std::int32_t panel : {0, kPanelHeight}) {
            const WindowLayout layout = windowLayout(width, height, panel);
            EXPECT_EQ(layout.plotWidth, width * 14 / 15);
            EXPECT_EQ(layout.plotHeight, height / 3);
            EXPECT_EQ(layout.freqPlotTop, height / 3 + 1);
            EXPECT_EQ(layout.panelTop, 2 * (height / 3) + 2);
        }
    }
    const WindowLayout unknown = windowLayout(800, 600, 0);  // no panel height: as ever
    EXPECT_EQ(unknown.panelTop, 402);
}

// On 800 x 600 the panel under the thirds would end at 647: the plots give
// up height, the panel stands whole at the bottom, nothing overlaps.
TEST(WindowLayoutTest, ALowScreenKeepsThePanelWhole) {
    for (const std::int32_t panel : {kPanelHeight, kPanelHeight + 30}) {
        const WindowLayout layout = windowLayout(800, 600, panel);
        EXPECT_EQ(layout.plotWidth, 746);
        EXPECT_EQ(layout.panelTop + panel, 600 - ((600 - panel - 2) % 2)) << panel;
        EXPECT_EQ(layout.freqPlotTop, layout.plotHeight + 1);
        EXPECT_GE(layout.panelTop, layout.freqPlotTop + layout.plotHeight);
        EXPECT_LE(layout.panelTop + panel, 600);
    }
    // Lower still: the plots keep their least height and the panel its place on the screen.
    const WindowLayout tiny = windowLayout(800, 300, kPanelHeight);
    EXPECT_EQ(tiny.plotHeight, kSmallestPlotHeight);
    EXPECT_EQ(tiny.panelTop, 300 - kPanelHeight);
    EXPECT_EQ(windowLayout(640, 200, kPanelHeight).panelTop, 0);
}

}  // namespace
}  // namespace ressona
