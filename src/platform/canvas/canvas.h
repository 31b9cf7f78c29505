#pragma once
// The drawing layer the plot windows draw through: a device context with a
// selected pen, brush, raster operation and text settings, drawing in device
// pixels, and the window surface that hands out the window's own context,
// off-screen bitmaps and the pointer's shape. Backends: a recording canvas for
// tests and a painter on an image for the program and its pictures.
//
// Coordinates follow the device-context rules the plots are laid out for:
// rectangles are (left, top, right, bottom) with the right and bottom edges
// outside the filled area; text is placed by its top or bottom edge.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "state/sample_types.h"  // PlotPoint

namespace ressona {

struct Colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

enum class PenStyle : std::uint8_t { Solid, Dot };

// A cosmetic pen: lines one pixel wide whatever the width asks for more.
struct Pen {
    PenStyle style = PenStyle::Solid;
    std::int32_t width = 1;
    Colour colour;
    friend bool operator==(const Pen&, const Pen&) = default;
};

// The platform's stock brushes; kNotStock marks a solid brush made by the program.
enum class StockBrush : std::uint8_t { kNotStock, kLightGrey, kBlack, kWhite };

struct Brush {
    Colour colour{255, 255, 255};
    StockBrush stock = StockBrush::kNotStock;
    friend bool operator==(const Brush&, const Brush&) = default;
};

// LTGRAY_BRUSH: the stock light-grey brush, 192, 192, 192.
inline constexpr Brush kLightGreyStockBrush{{192, 192, 192}, StockBrush::kLightGrey};

// Text alignment flags; left and top are 0.
inline constexpr std::uint32_t TA_LEFT = 0;
inline constexpr std::uint32_t TA_TOP = 0;
inline constexpr std::uint32_t TA_BOTTOM = 8;

// Raster operations: plain copy of the pen (R2_COPYPEN) is the only one drawn with.
enum class RasterOp : std::uint8_t { CopyPen = 13 };

enum class CursorShape : std::uint8_t { Arrow, Cross };  // IDC_ARROW, IDC_CROSS

// The size of a text in the plot font: how far it advances and the height of
// its cell (ascent and descent), in pixels.
struct TextExtent {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// One device context. A fresh one holds a black one-pixel pen, a white brush,
// copy raster operation, top-left text alignment, black text and an opaque
// background setting.
class Canvas {
  public:
    virtual ~Canvas() = default;

    // Size of the bitmap behind the context, in pixels.
    virtual std::int32_t width() const = 0;
    virtual std::int32_t height() const = 0;
    // Deletes the bitmap and makes a black one of the new size; the selected
    // objects and settings stay.
    virtual void resizeBitmap(std::int32_t width, std::int32_t height) = 0;

    virtual void selectPen(const Pen& pen) = 0;
    virtual void selectBrush(const Brush& brush) = 0;
    virtual void setRasterOp(RasterOp op) = 0;
    virtual void setTextAlign(std::uint32_t flags) = 0;
    virtual void setTextColour(Colour colour) = 0;
    virtual void setTransparentBackground(bool transparent) = 0;

    // Fills left..right-1 by top..bottom-1 with the brush given (not the selected one).
    virtual void fillRect(const Rect& rect, const Brush& brush) = 0;
    // Outline with the pen, interior with the selected brush, over left..right-1
    // by top..bottom-1.
    virtual void rectangle(const Rect& rect) = 0;
    // rectangle(rect) where the caller paints rectangle(inner) next with the
    // same pen and a brush of its own, so that inner's pixels are all painted
    // over: a backend may leave them as they are (a plot's background under
    // its frame is most of the picture).
    virtual void rectangleAround(const Rect& rect, const Rect& /*inner*/) { rectangle(rect); }
    // A line with the selected pen from `from` towards `to`.
    virtual void line(PlotPoint from, PlotPoint to) = 0;
    // Connected lines through the points, with the selected pen.
    virtual void polyline(std::span<const PlotPoint> points) = 0;
    // A closed polygon: interior with the selected brush (alternate filling),
    // outline with the selected pen.
    virtual void polygon(std::span<const PlotPoint> points) = 0;
    // Polygons drawn in turn, each over those before it, exactly as polygon()
    // draws them one by one: `points` holds their vertices back to back,
    // `sizes` how many each has. A backend may draw the series faster as a
    // whole (for example leaving out what later polygons cover).
    virtual void polygons(std::span<const PlotPoint> points, std::span<const std::size_t> sizes) {
        for (const std::size_t size : sizes) {
            const std::size_t taken = size < points.size() ? size : points.size();
            polygon(points.first(taken));
            points = points.subspan(taken);
        }
    }
    // Text in the plot font at (x, y), placed by the text alignment: its cell
    // (textExtent) has its left edge at x and its top or bottom edge at y.
    virtual void textOut(std::int32_t x, std::int32_t y, std::string_view text) = 0;
    // The size textOut gives the text (GetTextExtentPoint32).
    virtual TextExtent textExtent(std::string_view text) const = 0;

    // Copies the whole of `source`'s bitmap 1:1 with its top-left at (x, y).
    virtual void copyBitmap(const Canvas& source, std::int32_t x, std::int32_t y) = 0;
    // Stretches the whole of `source`'s bitmap onto `target`.
    virtual void stretchBitmap(const Canvas& source, const Rect& target) = 0;
};

// What a window offers its procedure for drawing.
class WindowSurface {
  public:
    virtual ~WindowSurface() = default;
    // The client rectangle: left = top = 0, right and bottom the client's width and height.
    virtual Rect clientRect() const = 0;
    // The window's own device context (what is drawn here shows at once).
    virtual Canvas& windowCanvas() = 0;
    // A memory context with a black bitmap of the given size, compatible with the window.
    virtual std::unique_ptr<Canvas> createBitmapCanvas(std::int32_t width, std::int32_t height) = 0;
    virtual void setCursor(CursorShape shape) = 0;
};

}  // namespace ressona
