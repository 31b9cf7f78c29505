// ressona-measure: a measurement without windows, on the same code as the
// desktop program, on an ALSA device or the simulated card; the plots draw on
// images on Qt's offscreen platform, which also gives the pictures.

#include <stdlib.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
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

// Qt wants a private runtime directory and warns on stderr without one: when
// the environment names none, a fresh one is made for the run and removed after it.
class RuntimeDirectory {
  public:
    RuntimeDirectory() {
        const char* given = getenv("XDG_RUNTIME_DIR");
        if (given != nullptr && given[0] != '\0') return;
        char pattern[] = "/tmp/ressona-measure-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        path_ = pattern;
        setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~RuntimeDirectory() {
        if (!path_.empty()) rmdir(path_.c_str());
    }
    RuntimeDirectory(const RuntimeDirectory&) = delete;
    RuntimeDirectory& operator=(const RuntimeDirectory&) = delete;

  private:
    std::string path_;
};

// The drawing the plots need: a Qt GUI application on the offscreen platform.
struct Drawing {
    RuntimeDirectory runtime;
    OffscreenGui gui;
};

MeasureBackends deviceBackends(std::unique_ptr<Drawing>& drawing) {
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
    return backends;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::unique_ptr<Drawing> drawing;  // made only when a measurement runs
    const int status = measureMain(arguments, deviceBackends(drawing), std::cout, std::cerr);
    std::cout.flush();
    return status;
}
