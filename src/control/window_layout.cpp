#include "control/window_layout.h"

#include <algorithm>

namespace ressona {

WindowLayout windowLayout(std::int32_t screenWidth, std::int32_t screenHeight,
                          std::int32_t panelHeight) {
    WindowLayout layout;
    layout.plotWidth = screenWidth * 14 / 15;
    layout.plotHeight = screenHeight / 3;
    layout.freqPlotTop = screenHeight / 3 + 1;
    layout.panelTop = 2 * (screenHeight / 3) + 2;
    if (panelHeight <= 0 || layout.panelTop + panelHeight <= screenHeight) return layout;
    // Two plots, the pixel between them and the one above the panel.
    const std::int32_t shared = screenHeight - panelHeight - 2;
    layout.plotHeight = std::max(kSmallestPlotHeight, shared / 2);
    layout.freqPlotTop = layout.plotHeight + 1;
    layout.panelTop = std::max(0, std::min(2 * layout.plotHeight + 2, screenHeight - panelHeight));
    return layout;
}

}  // namespace ressona
