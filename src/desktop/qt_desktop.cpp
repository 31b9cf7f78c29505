#include "desktop/qt_desktop.h"

#include "control/window_layout.h"
#include "platform/qt/qt_dialog_service.h"
#include "platform/qt/qt_panel.h"
#include "platform/qt/qt_plot_shell.h"
#include "platform/qt/repainting_clock.h"

namespace ressona {

namespace {

constexpr const char* kTimePlotTitle = "Time Domain - Ressona";
constexpr const char* kFreqPlotTitle = "Frequency Domain - Ressona";

ScreenSize screenOrPrimary(ScreenSize screen) {
    return screen.width > 0 && screen.height > 0 ? screen : qtScreenSize();
}

}  // namespace

struct Desktop::Parts {
    Parts(SoundCard& soundCard, ScreenSize screenSize)
        : card(soundCard),
          screen(screenOrPrimary(screenSize)),
          timeSurface([this] { return plotSize(); }),
          freqSurface([this] { return plotSize(); }),
          clock(*card.clock,
                [this] {
                    timeSurface.showChanges();
                    freqSurface.showChanges();
                }),
          services{*card.wave,
                   *card.mixer,
                   clock,
                   dialogs,
                   timeSurface,
                   freqSurface,
                   screen.width,
                   screen.height,
                   [] { showQtAbout(); },
                   [](bool waiting) { setQtWaitCursor(waiting); },
                   [this] { restoreWindows(); }},
          program(std::make_unique<Program>(services)) {}

    // Start brings back what the user minimised: both plot windows and the panel.
    void restoreWindows() {
        for (QtPlotShell* shell : {timeShell.get(), freqShell.get()}) {
            if (shell != nullptr) shell->restore();
        }
        if (panel) panel->restore();
    }

    // The size the program gave its plot windows: they are created before
    // their shells, and their first pictures take this size.
    ScreenSize plotSize() const {
        return ScreenSize{program->state().plotWidth, program->state().plotHeight};
    }

    std::unique_ptr<QtPlotShell> showPlot(PlotWindowSurface& surface, WindowHandle window,
                                          const char* title, int top) {
        MessageQueue& queue = program->queue();
        auto shell = std::make_unique<QtPlotShell>(queue, window);
        shell->setTitle(title);
        shell->setGeometry(0, top, program->state().plotWidth, program->state().plotHeight);
        surface.attach(*shell, queue, window);
        shell->setImageSource([&surface] { return surface.picture(); });
        shell->show();
        return shell;
    }

    SoundCard& card;
    ScreenSize screen;
    QtDialogService dialogs;
    PlotWindowSurface timeSurface;
    PlotWindowSurface freqSurface;
    RepaintingClock clock;
    ProgramServices services;
    std::unique_ptr<Program> program;
    // Declared after the program: they die first (the panel's widgets observe
    // the program's dialog model).
    std::unique_ptr<QtPanel> panel;
    std::unique_ptr<QtPlotShell> timeShell;
    std::unique_ptr<QtPlotShell> freqShell;
    std::unique_ptr<EventPump> pump;
};

Desktop::Desktop(SoundCard& card, ScreenSize screen)
    : parts_(std::make_unique<Parts>(card, screen)) {}

Desktop::~Desktop() {
    Parts& p = *parts_;
    // A desktop that ends while the program runs closes it first, with its
    // windows still there: the run stops and the mixer is put back.
    if (p.program->panelWindow() != kNoWindow && !p.program->closed()) {
        p.program->queue().SendMessageA(p.program->panelWindow(), WM_CLOSE, 0, 0);
    }
    p.pump.reset();
    p.dialogs.setOwner(nullptr);
    p.timeSurface.detach();
    p.freqSurface.detach();
    p.timeShell.reset();
    p.freqShell.reset();
    p.panel.reset();
}

bool Desktop::start() {
    Parts& p = *parts_;
    if (!p.program->start()) return false;
    const MeasurementState& state = p.program->state();
    MessageQueue& queue = p.program->queue();
    p.panel = std::make_unique<QtPanel>(p.program->dialog(), queue, state.panelWindow,
                                        p.program->drops());
    // On a low screen the plots leave the panel room (before they are shown).
    const WindowLayout layout =
        p.program->placeWindows(p.screen.width, p.screen.height, p.panel->heightOnScreen());
    p.dialogs.setOwner(p.panel->window());
    p.timeShell = p.showPlot(p.timeSurface, state.timePlotWindow, kTimePlotTitle, 0);
    p.freqShell = p.showPlot(p.freqSurface, state.freqPlotWindow, kFreqPlotTitle, state.freqPlotY);
    // The panel sits below the two plots, keeping its size.
    p.panel->move(0, layout.panelTop);
    p.panel->show();
    p.pump = createQtEventPump(queue);
    return true;
}

int Desktop::run() {
    Parts& p = *parts_;
    if (!p.pump) p.pump = createQtEventPump(p.program->queue());
    return p.pump->run();
}

Program& Desktop::program() {
    return *parts_->program;
}
PanelSkin* Desktop::panel() {
    return parts_->panel.get();
}
PlotShell* Desktop::timePlot() {
    return parts_->timeShell.get();
}
PlotShell* Desktop::freqPlot() {
    return parts_->freqShell.get();
}
PlotWindowSurface& Desktop::timeSurface() {
    return parts_->timeSurface;
}
PlotWindowSurface& Desktop::freqSurface() {
    return parts_->freqSurface;
}

bool Desktop::plotsShown() {
    return parts_->timeSurface.shownCount() > 0 && parts_->freqSurface.shownCount() > 0;
}

}  // namespace ressona
