#pragma once
// A canvas that draws nothing and keeps every drawing call with its
// coordinates and the pen, brush and text settings in force, so tests can check
// a picture call by call without a display.

#include <functional>
#include <string>
#include <vector>

#include "platform/canvas/canvas.h"

namespace ressona {

enum class CanvasCallKind : std::uint8_t {
    FillRect,
    Rectangle,
    Line,
    Polyline,
    Polygon,
    TextOut,
    CopyBitmap,
    StretchBitmap,
};

struct CanvasCall {
    CanvasCallKind kind = CanvasCallKind::FillRect;
    Pen pen;      // selected at the call
    Brush brush;  // selected at the call; for FillRect the brush given
    RasterOp rasterOp = RasterOp::CopyPen;
    std::uint32_t textAlign = TA_TOP | TA_LEFT;
    Colour textColour;
    bool transparentBackground = false;
    Rect rect;                      // FillRect, Rectangle, StretchBitmap's target
    std::vector<PlotPoint> points;  // Line: from, to; Polyline, Polygon; TextOut, CopyBitmap: where
    std::string text;               // TextOut
    Rect textBox;                   // TextOut: the text's cell as placed
    const Canvas* source = nullptr;  // CopyBitmap, StretchBitmap
};

// How large a text is: by default every character 7 pixels wide and 13 high,
// about what the plot font gives.
using TextMeasure = std::function<TextExtent(std::string_view text)>;
TextExtent fixedCellExtent(std::string_view text);

class RecordingCanvas final : public Canvas {
  public:
    RecordingCanvas(std::int32_t width, std::int32_t height, TextMeasure measure = fixedCellExtent)
        : width_(width), height_(height), measure_(std::move(measure)) {}

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    void resizeBitmap(std::int32_t width, std::int32_t height) override;

    void selectPen(const Pen& pen) override { pen_ = pen; }
    void selectBrush(const Brush& brush) override { brush_ = brush; }
    void setRasterOp(RasterOp op) override { rasterOp_ = op; }
    void setTextAlign(std::uint32_t flags) override { textAlign_ = flags; }
    void setTextColour(Colour colour) override { textColour_ = colour; }
    void setTransparentBackground(bool transparent) override { transparent_ = transparent; }

    void fillRect(const Rect& rect, const Brush& brush) override;
    void rectangle(const Rect& rect) override;
    void line(PlotPoint from, PlotPoint to) override;
    void polyline(std::span<const PlotPoint> points) override;
    void polygon(std::span<const PlotPoint> points) override;
    void textOut(std::int32_t x, std::int32_t y, std::string_view text) override;
    TextExtent textExtent(std::string_view text) const override { return measure_(text); }
    void copyBitmap(const Canvas& source, std::int32_t x, std::int32_t y) override;
    void stretchBitmap(const Canvas& source, const Rect& target) override;

    const std::vector<CanvasCall>& calls() const { return calls_; }
    // The calls of one kind, in order.
    std::vector<CanvasCall> callsOf(CanvasCallKind kind) const;
    // The texts drawn, in order.
    std::vector<std::string> texts() const;
    // How many times the bitmap was resized.
    int resizeCount() const { return resizeCount_; }
    void clear() { calls_.clear(); }

  private:
    CanvasCall record(CanvasCallKind kind) const;

    std::int32_t width_;
    std::int32_t height_;
    TextMeasure measure_;
    int resizeCount_ = 0;
    Pen pen_;
    Brush brush_;
    RasterOp rasterOp_ = RasterOp::CopyPen;
    std::uint32_t textAlign_ = TA_TOP | TA_LEFT;
    Colour textColour_;
    bool transparent_ = false;
    std::vector<CanvasCall> calls_;
};

// A window of a given client size whose own context and bitmaps record.
// Its canvases measure text with `measure`.
class RecordingSurface final : public WindowSurface {
  public:
    RecordingSurface(std::int32_t width, std::int32_t height, TextMeasure measure = fixedCellExtent)
        : client_{0, 0, width, height}, window_(width, height, measure), measure_(measure) {}

    Rect clientRect() const override { return client_; }
    Canvas& windowCanvas() override { return window_; }
    std::unique_ptr<Canvas> createBitmapCanvas(std::int32_t width, std::int32_t height) override;
    void setCursor(CursorShape shape) override {
        cursor_ = shape;
        ++cursorSets_;
    }

    // A resize of the window by the user.
    void setClientSize(std::int32_t width, std::int32_t height);
    RecordingCanvas& window() { return window_; }
    CursorShape cursor() const { return cursor_; }
    int cursorSets() const { return cursorSets_; }

  private:
    Rect client_;
    RecordingCanvas window_;
    TextMeasure measure_;
    CursorShape cursor_ = CursorShape::Arrow;
    int cursorSets_ = 0;
};

}  // namespace ressona
