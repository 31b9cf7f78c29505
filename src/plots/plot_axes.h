#pragma once
// What the axes of both plot windows share: the frame with room for the
// labels, round tick values on a linear or a logarithmic axis, the label
// texts, and the placing of labels so that none covers another, an axis
// title or the frame, or leaves the window.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/canvas/canvas.h"
#include "plots/plot_style.h"

namespace ressona {

inline constexpr std::int32_t kTickLength = 5;  // pixels a tick stands out of the frame
inline constexpr std::int32_t kLabelGap = 3;    // pixels kept clear around a label
// A linear axis has at most about this many steps between its ends.
inline constexpr double kMostSteps = 12.0;

// What the labels around the frame need, in pixels.
struct LabelRoom {
    std::int32_t lineHeight = 0;       // of a label
    std::int32_t sideWidth = 0;        // the widest label left of the frame (0: none)
    std::int32_t halfBottomWidth = 0;  // half the widest label under the frame
};

// The frame inside the client: a twentieth of the client on every side, or
// more where the labels need it: a row for the axis titles above the frame,
// the labels' column left of it (right of the ticks) and their row under it,
// and half a label beside its ends.
PlotFrame plotFrameFor(const Rect& client, const LabelRoom& room);
// The top of the row of labels under the frame.
std::int32_t bottomLabelTop(const PlotFrame& frame, std::int32_t lineHeight);

// The smallest step of 1, 2 or 5 times a power of ten not below `least` (> 0).
double roundStepAtLeast(double least);
// The decimals that show every multiple of a round step exactly.
int decimalsOf(double step);
// The multiples of step from low to high (both included, to a millionth of a step).
std::vector<double> multiplesWithin(double low, double high, double step);
// The smallest round step not below `least` for which `fits` holds (tried
// over the next sixty round steps; the last of them when none fits).
double firstFittingStep(double least, const std::function<bool(double step)>& fits);

// A tick value with the decimals its text needs; a lower rank is labelled first.
struct Tick {
    double value = 0.0;
    int decimals = 0;
    int rank = 0;
};
// The candidate ticks of a logarithmic axis from low to high (0 < low < high),
// most important first: powers of ten, then 2 and 5, then 3 times them; for a
// range of less than a decade also the multiples of a round step.
std::vector<Tick> logarithmicTicks(double low, double high);
// The powers of ten and their multiples 2 .. 9 from low to high: the grid of a
// logarithmic axis.
std::vector<double> logarithmicGrid(double low, double high);

// Label texts. Frequencies: "10.", "500.", "1.0k", "2.5k", "12k", "1.5M"; a
// level in dB: "-20.", "-69.5"; a count: "-2000", "0.5"; milliseconds:
// "0.00", "9.00", "18.0", "200." (more decimals where the step needs them).
std::string frequencyText(double hertz, int decimals);
std::string levelText(double db, int decimals);
std::string countText(double count, int decimals);
std::string timeText(double ms, int decimals);

// Draws labels (top-left aligned) where they fit: inside the window and
// clear of the frame and of every label placed before.
class LabelPlacer {
  public:
    LabelPlacer(Canvas& dc, const Rect& client, const PlotFrame& frame);

    TextExtent extent(std::string_view text) const { return dc_.textExtent(text); }
    // The label with its box's top-left corner at (left, top); true when drawn.
    bool place(std::int32_t left, std::int32_t top, std::string_view text);
    // The label centred on x.
    bool placeCentred(std::int32_t x, std::int32_t top, std::string_view text);
    // The label ending at `right`, centred on y.
    bool placeBeside(std::int32_t right, std::int32_t y, std::string_view text);

  private:
    bool fits(const Rect& box) const;

    Canvas& dc_;
    Rect client_;
    std::vector<Rect> taken_;
};

}  // namespace ressona
