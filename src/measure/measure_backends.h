#pragma once
// What the headless measurer runs on besides the program itself: where its
// sound cards come from, the surfaces its two plot windows draw on, and how a
// plot picture is written. The executable hands in the ALSA cards and Qt
// images; simulatedMeasureBackends() needs neither (simulated cards only,
// recording surfaces, no pictures), for tests and builds without them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/canvas/canvas.h"
#include "platform/wave/sound_card.h"
#include "plots/plot_environment.h"

namespace ressona {

struct MeasurementState;
struct SampleArrays;

// The plot picture to write: the time plot or the frequency plot in one of its views.
enum class MeasurePicture : std::uint8_t { Time, Standard, Phase, Histogram, Waterfall };

struct MeasureBackends {
    // Called once, when a measurement is about to run (never for --help or a
    // bad command line): the executable starts what drawing needs here. May be empty.
    std::function<void()> prepare;
    // Makes the card of that name (see platform/wave/sound_card.h); kSoundCardMade or an error.
    std::function<int(std::string_view name, const SoundCardOptions& options, SoundCard& card)>
        makeCard;
    // The card to use when no name is given; kSoundCardMade or an error.
    std::function<int(const SoundCardOptions& options, SoundCard& card)> makeDefaultCard;
    // A plot window's surface with a client area of width x height pixels.
    std::function<std::unique_ptr<WindowSurface>(std::int32_t width, std::int32_t height)>
        makePlotSurface;
    // Writes the picture of width x height pixels to path; 0 when written. Empty
    // when this build cannot draw pictures.
    std::function<int(MeasurementState& state, SampleArrays& arrays, const SpectrumTools& tools,
                      MeasurePicture picture, std::int32_t width, std::int32_t height,
                      const std::string& path)>
        savePicture;
    // Draws a picture of width x height pixels with `draw` and writes it to
    // path; 0 when written. Empty when this build cannot draw pictures.
    std::function<int(std::int32_t width, std::int32_t height,
                      const std::function<void(Canvas&)>& draw, const std::string& path)>
        saveDrawing;

    // Level runs (--calibrator-seconds, --spl-meter): starts watching for the
    // user's interrupt (Ctrl-C) before the card is made, and returns the test
    // of whether it has come. Empty: nothing interrupts.
    std::function<std::function<bool()>()> watchInterrupt;
    // Whether the measurer's stderr is a terminal: a live meter shows its progress there only then.
    bool errIsTerminal = false;
};

// Simulated cards by name ("sim", "sim:room", "sim:loopback", "sim:distortion", "sim:modes"; other names are
// unavailable), the simulated room when no name is given, recording plot
// surfaces, and no pictures.
MeasureBackends simulatedMeasureBackends();

}  // namespace ressona
