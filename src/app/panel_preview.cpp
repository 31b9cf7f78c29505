// Shows the control panel with its start-up settings and nothing behind it:
// no sound, no plots. With a file name it writes a PNG picture of the panel
// and ends; with --centre ID... it prints the centre of each control in the
// window's pixels ("x y" per line, for scripts that click on the program);
// otherwise it runs until the panel is closed.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "control/control_panel.h"
#include "control/program_state.h"
#include "platform/qt/qt_skin.h"
#include "resources/panel_template.h"

namespace {

using namespace ressona;

// The panel's requests with nothing behind them, except closing and About.
class PreviewActions final : public PanelActions {
  public:
    explicit PreviewActions(MessageQueue& queue) : queue_(queue) {}
    void startMeasurement() override {}
    void stopMeasurement() override {}
    int saveResult() override { return 0; }
    int readResult() override { return 0; }
    int openMixer() override { return 0; }
    void setMixerLevels(float, float, float) override {}
    void showErrorDialog(int number) override {
        showQtMessage("Ressona: Error", "Error " + std::to_string(number));
    }
    void showAbout() override { showQtAbout(); }
    void closePanel() override { queue_.PostQuitMessage(0); }

  private:
    MessageQueue& queue_;
};

LRESULT ignore(WindowHandle, std::uint32_t, WPARAM, LPARAM) {
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qtDisplayAvailable()) {
        std::fprintf(stderr,
                     "ressona-panel-preview: no display (QT_QPA_PLATFORM=offscreen works)\n");
        return 1;
    }
    const std::unique_ptr<GuiSession> session = createQtSession(argc, argv);
    auto program = std::make_unique<ProgramState>();
    MessageQueue queue;
    PreviewActions actions(queue);
    DroppedFiles drops;
    ControlPanel* procedure = nullptr;
    const WindowHandle panelWindow = queue.CreateWindowA(
        "panel", [&](WindowHandle window, std::uint32_t message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_CLOSE) actions.closePanel();
            const bool handled =
                procedure != nullptr && procedure->handleMessage({window, message, wParam, lParam});
            return LRESULT{handled ? 1 : 0};
        });
    DialogModel model(panelTemplate(),
                      [&](int) { return queue.CreateWindowA("control", ignore, panelWindow); });
    ControlPanel panel(*program, model, queue, actions, drops);
    procedure = &panel;
    program->state.panelWindow = panelWindow;
    panel.initialiseControls();
    panel.setUpScrollBars();
    panel.showPlotLimits();

    const std::unique_ptr<PanelSkin> skin = createQtPanel(model, queue, panelWindow, drops);
    if (argc > 1 && std::strcmp(argv[1], "--centre") == 0) {
        for (int i = 2; i < argc; ++i) {
            const PixelRect r = skin->controlRect(std::atoi(argv[i]));
            if (r.width <= 0) {
                std::fprintf(stderr, "ressona-panel-preview: no control %s\n", argv[i]);
                return 1;
            }
            std::printf("%d %d\n", r.left + r.width / 2, r.top + r.height / 2);
        }
        return 0;
    }
    skin->show();
    if (argc > 1) {
        if (skin->savePicture(argv[1])) return 0;
        std::fprintf(stderr, "ressona-panel-preview: cannot write %s\n", argv[1]);
        return 1;
    }
    const std::unique_ptr<EventPump> pump = createQtEventPump(queue);
    return pump->run();
}
