#pragma once
// The desktop program put together: the program over a sound card, with Qt
// dialogs, the control panel's widgets, the two plot windows above the panel
// and the pump that runs the message queue from Qt's event loop. The
// program's main builds it, and so do the GUI tests on the simulated card.

#include <memory>

#include "control/program.h"
#include "platform/qt/plot_window_surface.h"
#include "platform/qt/qt_skin.h"
#include "platform/wave/sound_card.h"

namespace ressona {

class Desktop {
  public:
    // Needs the Qt session. `card` must outlive the desktop. The plot windows'
    // geometry follows `screen` (the primary screen's size when left empty).
    explicit Desktop(SoundCard& card, ScreenSize screen = {});
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Runs the program's start-up (its dialogs show on the way), then shows the
    // plot windows at their places and the panel below them. False when the
    // start-up failed and ended the program; run() then returns at once.
    bool start();
    // Runs Qt's event loop and the program's messages until the program ends
    // (its close clean-up posts the quit). Returns the exit code: 0, or 1
    // after "Major error !".
    int run();

    Program& program();
    // The windows; null until start() has succeeded.
    PanelSkin* panel();
    PlotShell* timePlot();
    PlotShell* freqPlot();
    PlotWindowSurface& timeSurface();
    PlotWindowSurface& freqSurface();
    // True once both plot windows have shown a picture their procedures drew.
    bool plotsShown();

    struct Parts;

  private:
    std::unique_ptr<Parts> parts_;
};

}  // namespace ressona
