// Times the desktop program's start: from the launch (the shell's
// $EPOCHREALTIME given as the argument; else from entering main) until both
// plot windows have shown their first drawn picture, then closes the program
// as Exit would. Prints the milliseconds as JSON. Same windows, same card
// choice as `ressona`, except that the simulated room is used unless "alsa"
// is given as the second argument.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "desktop/qt_desktop.h"
#include "platform/qt/qt_skin.h"
#include "platform/sim/simulated_sound_card.h"

namespace {

using WallClock = std::chrono::system_clock;

double millisecondsSince(WallClock::time_point from) {
    return std::chrono::duration<double, std::milli>(WallClock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace ressona;
    WallClock::time_point launch = WallClock::now();
    const bool fromLaunch = argc > 1;
    if (fromLaunch) {
        const double seconds = std::strtod(argv[1], nullptr);
        launch = WallClock::time_point(std::chrono::duration_cast<WallClock::duration>(
            std::chrono::duration<double>(seconds)));
    }
    if (!qtDisplayAvailable()) {
        std::fprintf(stderr, "ressona-first-frame: no display (QT_QPA_PLATFORM=offscreen works)\n");
        return 1;
    }
    int qtArgc = 1;
    const std::unique_ptr<GuiSession> session = createQtSession(qtArgc, argv);
    const double sessionMs = millisecondsSince(launch);
    SoundCard card;
    makeSimulatedSoundCard("room", SoundCardOptions{}, card);
    Desktop desktop(card);
    if (!desktop.start()) return 1;
    const double startedMs = millisecondsSince(launch);
    double firstFrameMs = -1.0;
    const auto onShown = [&] {
        if (firstFrameMs >= 0.0 || !desktop.plotsShown()) return;
        firstFrameMs = millisecondsSince(launch);
        desktop.program().queue().PostMessageA(desktop.program().panelWindow(), WM_CLOSE, 0, 0);
    };
    desktop.timeSurface().setShownListener(onShown);
    desktop.freqSurface().setShownListener(onShown);
    const int code = desktop.run();
    std::printf(
        "{\"from\": \"%s\", \"session_ms\": %.1f, \"started_ms\": %.1f, "
        "\"first_frame_ms\": %.1f}\n",
        fromLaunch ? "launch" : "main", sessionMs, startedMs, firstFrameMs);
    return code;
}
