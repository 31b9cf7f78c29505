#pragma once
// A whole program on the simulated card in instant mode whose plot windows
// draw on surfaces that only count: for runs of many thousands of passes,
// where a recording surface would keep every drawing call and grow without
// end, and where what is measured must be the program's own memory.

#include <cstdint>
#include <memory>
#include <string>

#include "control/program.h"
#include "platform/canvas/canvas.h"
#include "platform/canvas/recording_canvas.h"
#include "platform/sim/simulated_card.h"
#include "platform/sim/simulated_mixer.h"
#include "platform/sim/simulated_sound_card.h"
#include "resources/control_ids.h"

namespace ressona::testing {

// Drawing calls and the vertices they carried, across all canvases of a surface.
struct DrawCounts {
    std::uint64_t calls = 0;
    std::uint64_t polylines = 0;
    std::uint64_t vertices = 0;
};

class CountingCanvas final : public Canvas {
  public:
    CountingCanvas(std::int32_t width, std::int32_t height, DrawCounts& counts)
        : width_(width), height_(height), counts_(counts) {}

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    void resizeBitmap(std::int32_t width, std::int32_t height) override {
        width_ = width;
        height_ = height;
    }
    void selectPen(const Pen&) override {}
    void selectBrush(const Brush&) override {}
    void setRasterOp(RasterOp) override {}
    void setTextAlign(std::uint32_t) override {}
    void setTextColour(Colour) override {}
    void setTransparentBackground(bool) override {}
    void fillRect(const Rect&, const Brush&) override { ++counts_.calls; }
    void rectangle(const Rect&) override { ++counts_.calls; }
    void line(PlotPoint, PlotPoint) override { ++counts_.calls; }
    void polyline(std::span<const PlotPoint> points) override {
        ++counts_.calls;
        ++counts_.polylines;
        counts_.vertices += points.size();
    }
    void polygon(std::span<const PlotPoint> points) override {
        ++counts_.calls;
        counts_.vertices += points.size();
    }
    void textOut(std::int32_t, std::int32_t, std::string_view) override { ++counts_.calls; }
    TextExtent textExtent(std::string_view text) const override { return fixedCellExtent(text); }
    void copyBitmap(const Canvas&, std::int32_t, std::int32_t) override { ++counts_.calls; }
    void stretchBitmap(const Canvas&, const Rect&) override { ++counts_.calls; }

  private:
    std::int32_t width_;
    std::int32_t height_;
    DrawCounts& counts_;
};

class CountingSurface final : public WindowSurface {
  public:
    CountingSurface(std::int32_t width, std::int32_t height)
        : width_(width), height_(height), window_(width, height, counts_) {}

    Rect clientRect() const override { return {0, 0, width_, height_}; }
    Canvas& windowCanvas() override { return window_; }
    std::unique_ptr<Canvas> createBitmapCanvas(std::int32_t width, std::int32_t height) override {
        return std::make_unique<CountingCanvas>(width, height, counts_);
    }
    void setCursor(CursorShape) override {}
    const DrawCounts& counts() const { return counts_; }

  private:
    std::int32_t width_;
    std::int32_t height_;
    DrawCounts counts_;
    CountingCanvas window_;
};

struct QuietProgram {
    explicit QuietProgram(const std::string& preset = "loopback") {
        SoundCardOptions options;
        options.instant = true;
        makeSimulatedSoundCard(preset, options, card);
        services = std::make_unique<ProgramServices>(ProgramServices{*card.wave,
                                                                     *card.mixer,
                                                                     *card.clock,
                                                                     dialogs,
                                                                     timeSurface,
                                                                     freqSurface,
                                                                     1024,
                                                                     768,
                                                                     {},
                                                                     {}});
        program = std::make_unique<Program>(*services);
    }
    SimulatedCard& simulatedCard() { return dynamic_cast<SimulatedCard&>(*card.wave); }
    SimulatedMixer& simulatedMixer() { return dynamic_cast<SimulatedMixer&>(*card.mixer); }

    // Handles queued messages one at a time until `captures` pass completions
    // have been handled or the queue is empty; the plots' redraws of the last
    // capture are handled too. Returns the completions handled.
    int runCaptures(int captures) {
        MessageQueue& queue = program->queue();
        Message message;
        int handled = 0;
        while (queue.PeekMessageA(message, kNoWindow, PM_NOREMOVE) && message.message != WM_QUIT) {
            const bool completion =
                message.message == WM_COMMAND && commandId(message.wParam) == CMD_CAPTURE_DONE;
            if (completion && handled == captures) break;
            queue.PeekMessageA(message, kNoWindow, PM_REMOVE);
            queue.DispatchMessageA(message);
            if (completion) ++handled;
        }
        return handled;
    }

    SoundCard card;
    RecordingDialogService dialogs;
    CountingSurface timeSurface{955, 256};
    CountingSurface freqSurface{955, 256};
    std::unique_ptr<ProgramServices> services;
    std::unique_ptr<Program> program;
};

}  // namespace ressona::testing
