// ressona-measure: a measurement without windows, on the same code as the
// desktop program, on an ALSA device or the simulated card; the plots draw on
// images on Qt's offscreen platform, which also gives the pictures.

#include <signal.h>
#include <stdlib.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "measure/runtime_directory.h"
#include "platform/alsa/alsa_sound_card.h"
#include "desktop/plot_picture.h"
#include "platform/qt/qt_image_canvas.h"

namespace {

using namespace ressona;

PlotPicture plotPictureOf(MeasurePicture picture) {
    switch (picture) {
        case MeasurePicture::Time:
            return PlotPicture::Time;
        case MeasurePicture::Standard:
            return PlotPicture::Standard;
        case MeasurePicture::Phase:
            return PlotPicture::Phase;
        case MeasurePicture::Histogram:
            return PlotPicture::Histogram;
        case MeasurePicture::Waterfall:
            return PlotPicture::Waterfall;
    }
    return PlotPicture::Standard;
}

// The drawing the plots need: a Qt GUI application on the offscreen platform.
struct Drawing {
    RuntimeDirectory runtime;  // made first: its watcher is forked before any thread
    OffscreenGui gui;
};

// Ctrl-C during a live sound level meter: SIGINT is blocked (in this thread
// and so in every thread started after) and read from a signal descriptor,
// which the meter polls; no handler and no flag shared with one.
class InterruptWatch {
  public:
    InterruptWatch() = default;
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    ~InterruptWatch() {
        if (descriptor_ >= 0) close(descriptor_);
    }

    void start() {
        if (descriptor_ >= 0) return;
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
        descriptor_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    }
    // True once SIGINT has come (and from then on).
    bool requested() {
        if (came_ || descriptor_ < 0) return came_;
        signalfd_siginfo info;
        came_ = read(descriptor_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
        return came_;
    }

  private:
    int descriptor_ = -1;
    bool came_ = false;
};

MeasureBackends deviceBackends(std::unique_ptr<Drawing>& drawing, InterruptWatch& interrupt) {
    MeasureBackends backends;
    backends.prepare = [&drawing] { drawing = std::make_unique<Drawing>(); };
    backends.makeCard = [](std::string_view name, const SoundCardOptions& options,
                           SoundCard& card) { return makeSoundCard(name, options, card); };
    backends.makeDefaultCard = [](const SoundCardOptions& options, SoundCard& card) {
        return makeDefaultSoundCard(options, card);
    };
    backends.makePlotSurface = [](std::int32_t width, std::int32_t height) {
        return std::unique_ptr<WindowSurface>(std::make_unique<QtImageSurface>(width, height));
    };
    backends.savePicture = [](MeasurementState& state, SampleArrays& arrays,
                              const SpectrumTools& tools, MeasurePicture picture,
                              std::int32_t width, std::int32_t height, const std::string& path) {
        return savePlotPicture(state, arrays, tools, plotPictureOf(picture), width, height, path);
    };
    backends.saveDrawing = [](std::int32_t width, std::int32_t height,
                              const std::function<void(Canvas&)>& draw, const std::string& path) {
        QtImageSurface surface(width, height);
        draw(surface.windowCanvas());
        return surface.window().savePng(path);
    };
    backends.watchInterrupt = [&interrupt]() -> std::function<bool()> {
        interrupt.start();
        return [&interrupt] { return interrupt.requested(); };
    };
    backends.errIsTerminal = isatty(STDERR_FILENO) == 1;
    return backends;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::unique_ptr<Drawing> drawing;  // made only when a measurement runs
    InterruptWatch interrupt;
    const int status =
        measureMain(arguments, deviceBackends(drawing, interrupt), std::cout, std::cerr);
    std::cout.flush();
    return status;
}
