#pragma once
// The drawing layer on Qt: a painter on an image, antialiasing off so pixels
// land where the plots put them. The off-screen bitmaps of the plot windows
// and, for pictures without a display, the window itself. Needs a Qt GUI
// application (see OffscreenGui) for its text.

#include <memory>
#include <string>

#include "platform/canvas/canvas.h"

namespace ressona {

class QtImageCanvas final : public Canvas {
  public:
    // A black image of the given size (at least 1 x 1).
    QtImageCanvas(std::int32_t width, std::int32_t height);
    ~QtImageCanvas() override;
    QtImageCanvas(const QtImageCanvas&) = delete;
    QtImageCanvas& operator=(const QtImageCanvas&) = delete;

    std::int32_t width() const override;
    std::int32_t height() const override;
    void resizeBitmap(std::int32_t width, std::int32_t height) override;

    void selectPen(const Pen& pen) override;
    void selectBrush(const Brush& brush) override;
    void setRasterOp(RasterOp op) override;
    void setTextAlign(std::uint32_t flags) override;
    void setTextColour(Colour colour) override;
    void setTransparentBackground(bool transparent) override;

    void fillRect(const Rect& rect, const Brush& brush) override;
    void rectangle(const Rect& rect) override;
    void rectangleAround(const Rect& rect, const Rect& inner) override;
    void line(PlotPoint from, PlotPoint to) override;
    void polyline(std::span<const PlotPoint> points) override;
    void polygon(std::span<const PlotPoint> points) override;
    // Staircases on one base go front to back, each pixel written once.
    void polygons(std::span<const PlotPoint> points, std::span<const std::size_t> sizes) override;
    void textOut(std::int32_t x, std::int32_t y, std::string_view text) override;
    TextExtent textExtent(std::string_view text) const override;
    // Copies from another QtImageCanvas; any other source is ignored.
    void copyBitmap(const Canvas& source, std::int32_t x, std::int32_t y) override;
    void stretchBitmap(const Canvas& source, const Rect& target) override;

    // The colour of one pixel (black outside the image).
    Colour pixel(std::int32_t x, std::int32_t y) const;
    // The image's pixels, 0xffRRGGBB, rows bytesPerLine() bytes apart; valid
    // until the next resizeBitmap.
    const std::uint32_t* pixelData() const;
    std::int32_t bytesPerLine() const;
    // Writes the image as a PNG file: 0 on success, 1 when it cannot be written.
    int savePng(const std::string& path) const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// A window of a fixed client size drawn into an image, for pictures rendered
// without a display. Its bitmaps are images too.
class QtImageSurface final : public WindowSurface {
  public:
    QtImageSurface(std::int32_t width, std::int32_t height);

    Rect clientRect() const override { return Rect{0, 0, width_, height_}; }
    Canvas& windowCanvas() override { return window_; }
    std::unique_ptr<Canvas> createBitmapCanvas(std::int32_t width, std::int32_t height) override;
    void setCursor(CursorShape shape) override { cursor_ = shape; }

    QtImageCanvas& window() { return window_; }
    CursorShape cursor() const { return cursor_; }

  private:
    std::int32_t width_;
    std::int32_t height_;
    QtImageCanvas window_;
    CursorShape cursor_ = CursorShape::Arrow;
};

// Keeps a Qt GUI application alive for drawing text without a display: made
// on Qt's offscreen platform unless QT_QPA_PLATFORM names another. Does
// nothing when the program already has one.
class OffscreenGui {
  public:
    OffscreenGui();
    ~OffscreenGui();
    OffscreenGui(const OffscreenGui&) = delete;
    OffscreenGui& operator=(const OffscreenGui&) = delete;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace ressona
