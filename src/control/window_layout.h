#pragma once
// Where the program's three windows stand on the screen: the time plot at the
// top, the frequency plot below it, the control panel under both.

#include <cstdint>

namespace ressona {

struct WindowLayout {
    std::int32_t plotWidth = 0;  // the inside of each plot window, pixels
    std::int32_t plotHeight = 0;
    std::int32_t freqPlotTop = 0;  // the time plot's top is 0
    std::int32_t panelTop = 0;     // the panel's left is 0
};

// The plots each 14/15 of the screen wide and a third of it high, at tops 0
// and H/3 + 1, the panel at 2 x (H/3) + 2. On a screen too low for that and
// the panel (panelHeight pixels on the screen, 0 when not known), the plots
// share what the panel leaves them (at least kSmallestPlotHeight each) and
// the panel stands whole at the screen's bottom, or at its top when even
// that is too low.
WindowLayout windowLayout(std::int32_t screenWidth, std::int32_t screenHeight,
                          std::int32_t panelHeight);

inline constexpr std::int32_t kSmallestPlotHeight = 60;

}  // namespace ressona
