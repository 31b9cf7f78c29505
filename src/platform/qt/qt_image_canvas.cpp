#include "platform/qt/qt_image_canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QString>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ressona {

namespace {

// The plots' font: a small variable-pitch face, without antialiasing so that
// pictures are the same on every machine with the font installed.
constexpr int kPlotFontPixels = 11;
constexpr const char* kPlotFontFamily = "DejaVu Sans";

QColor toQColor(Colour c) {
    return QColor(c.red, c.green, c.blue);
}

QPen toQPen(const Pen& pen) {
    QPen qpen(toQColor(pen.colour));
    qpen.setWidth(0);  // cosmetic: one pixel whatever the transformation
    qpen.setStyle(pen.style == PenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
    qpen.setCapStyle(Qt::FlatCap);
    return qpen;
}

// Lets a map keyed by strings be searched with a string_view.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

// The device-context rectangle covers left..right-1 by top..bottom-1.
QRect areaOf(const Rect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

}  // namespace

struct QtImageCanvas::Impl {
    QImage image;
    QPainter painter;
    QFont font;
    Pen pen;
    Brush brush;
    std::uint32_t textAlign = TA_TOP | TA_LEFT;
    Colour textColour;
    bool transparent = false;
    std::vector<QPoint> scratch;  // reused for polylines and polygons
    // The plot font's measures: a plot asks for the same few label texts in
    // every redraw, and shaping them again costs more than drawing them.
    int ascent = 0;
    int descent = 0;
    std::unordered_map<std::string, int, TextHash, std::equal_to<>> advances;
    // Per column, the highest row the staircases in front have painted (the
    // base + 1 where they have painted none), while a series is drawn.
    std::vector<std::int64_t> covered;
    // The image's pixels, taken once per image before the painter starts on
    // it (taking them later could copy the image away from the painter).
    QRgb* pixels = nullptr;
    std::int64_t stride = 0;   // pixels per row
    std::int64_t columns = 0;  // the image's width and height
    std::int64_t rows = 0;

    void begin() {
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.setFont(font);
        painter.setPen(toQPen(pen));
        painter.setBrush(toQColor(brush.colour));
    }
    void makeImage(std::int32_t width, std::int32_t height) {
        image = QImage(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
        image.fill(Qt::black);
        pixels = reinterpret_cast<QRgb*>(image.bits());
        stride = image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
        columns = image.width();
        rows = image.height();
    }
    // A solid one-pixel segment from a up to, not including, b: the pixel
    // nearest the ideal line at every step along the longer axis. Each
    // segment stands alone, so a path's pixels are the union of its segments'.
    void solidSegment(PlotPoint a, PlotPoint b, QRgb colour) {
        const std::int64_t dx = static_cast<std::int64_t>(b.x) - a.x;
        const std::int64_t dy = static_cast<std::int64_t>(b.y) - a.y;
        const bool alongX = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
        const std::int64_t major = alongX ? dx : dy;
        const std::int64_t minor = alongX ? dy : dx;
        const std::int64_t steps = major < 0 ? -major : major;
        if (steps == 0) return;
        const std::int64_t majorSign = major < 0 ? -1 : 1;
        const std::int64_t minorSign = minor < 0 ? -1 : 1;
        const std::int64_t minorSize = minor < 0 ? -minor : minor;
        const std::int64_t majorStart = alongX ? a.x : a.y;
        const std::int64_t minorStart = alongX ? a.y : a.x;
        const std::int64_t majorLimit = alongX ? image.width() : image.height();
        const std::int64_t minorLimit = alongX ? image.height() : image.width();
        // Only the steps whose major coordinate lies on the image.
        std::int64_t first = 0;
        std::int64_t last = steps - 1;
        if (majorSign > 0) {
            first = std::max<std::int64_t>(first, -majorStart);
            last = std::min<std::int64_t>(last, majorLimit - 1 - majorStart);
        } else {
            first = std::max<std::int64_t>(first, majorStart - (majorLimit - 1));
            last = std::min<std::int64_t>(last, majorStart);
        }
        if (first > last) return;
        // The minor offset of step i is round(i x minorSize / steps), halves
        // upwards: (2 i minorSize + steps) / (2 steps), followed step by step.
        const std::int64_t divisor = 2 * steps;
        std::int64_t numerator = 2 * first * minorSize + steps;
        std::int64_t offset = numerator / divisor;
        std::int64_t remainder = numerator % divisor;
        const std::int64_t increment = 2 * minorSize;  // at most one divisor per step
        std::int64_t j = majorStart + majorSign * first;
        for (std::int64_t i = first; i <= last; ++i) {
            const std::int64_t m = minorStart + minorSign * offset;
            if (m >= 0 && m < minorLimit) {
                if (alongX) {
                    pixels[m * stride + j] = colour;
                } else {
                    pixels[j * stride + m] = colour;
                }
            }
            j += majorSign;
            remainder += increment;
            if (remainder >= divisor) {
                remainder -= divisor;
                ++offset;
            }
        }
    }
    // Fills left..right-1 by top..bottom-1, clipped to the image.
    void fillSpan(std::int64_t left, std::int64_t right, std::int64_t top, std::int64_t bottom,
                  QRgb colour) {
        left = std::max<std::int64_t>(left, 0);
        right = std::min<std::int64_t>(right, image.width());
        top = std::max<std::int64_t>(top, 0);
        bottom = std::min<std::int64_t>(bottom, image.height());
        if (left >= right) return;
        QRgb* row = pixels + top * stride;
        for (std::int64_t y = top; y < bottom; ++y, row += stride) {
            std::fill(row + left, row + right, colour);
        }
    }
    // Whether rectangle() paints r itself: a solid pen, at least 2 x 2
    // pixels, all on the image (the painter leaves out a corner of a
    // rectangle that reaches beyond it, so such rectangles stay its own).
    bool paintsItself(const Rect& r) const {
        return solidPen() && r.left >= 0 && r.top >= 0 && r.right <= columns && r.bottom <= rows &&
               r.right - r.left >= 2 && r.bottom - r.top >= 2;
    }
    // Such a rectangle over left..right-1 by top..bottom-1: its edge pixels in
    // the pen, the rest in the brush, less the rows and columns of `hole`.
    void solidRectangle(const Rect& r, const Rect& hole) {
        const QRgb edge = penColour();
        const QRgb inside = qRgb(brush.colour.red, brush.colour.green, brush.colour.blue);
        fillSpan(r.left, r.right, r.top, r.top + 1, edge);
        fillSpan(r.left, r.right, r.bottom - 1, r.bottom, edge);
        fillSpan(r.left, r.left + 1, r.top + 1, r.bottom - 1, edge);
        fillSpan(r.right - 1, r.right, r.top + 1, r.bottom - 1, edge);
        const Rect in{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        const Rect h{std::max(hole.left, in.left), std::max(hole.top, in.top),
                     std::min(hole.right, in.right), std::min(hole.bottom, in.bottom)};
        if (h.left >= h.right || h.top >= h.bottom) {
            fillSpan(in.left, in.right, in.top, in.bottom, inside);
            return;
        }
        fillSpan(in.left, in.right, in.top, h.top, inside);
        fillSpan(in.left, in.right, h.bottom, in.bottom, inside);
        fillSpan(in.left, h.left, h.top, h.bottom, inside);
        fillSpan(h.right, in.right, h.top, h.bottom, inside);
    }
    // True for the outline of a region between a staircase and a horizontal
    // base: every edge but the closing one runs horizontally to the right or
    // vertically, and the closing edge runs horizontally back to the start.
    static bool isStaircase(std::span<const PlotPoint> points) {
        if (points.size() < 3 || points.front().y != points.back().y) return false;
        for (std::size_t i = 1; i < points.size(); ++i) {
            const PlotPoint a = points[i - 1];
            const PlotPoint b = points[i];
            if (b.x < a.x || (b.x != a.x && b.y != a.y)) return false;
        }
        return true;
    }
    // The alternate-rule interior of such an outline: under each horizontal
    // step the pixels whose centres lie between the step and the base.
    void fillStaircase(std::span<const PlotPoint> points, QRgb colour) {
        const std::int64_t base = points.front().y;
        for (std::size_t i = 1; i < points.size(); ++i) {
            const PlotPoint a = points[i - 1];
            const PlotPoint b = points[i];
            if (b.x == a.x || a.y == base) continue;
            fillSpan(a.x, b.x, std::min<std::int64_t>(a.y, base), std::max<std::int64_t>(a.y, base),
                     colour);
        }
    }

    // True when every polygon of a series is such a staircase, all on one base
    // row with no vertex below it; `base` receives that row. Polygons of fewer
    // than two points draw nothing and may stand anywhere.
    static bool staircasesOnOneBase(std::span<const PlotPoint> points,
                                    std::span<const std::size_t> sizes, std::int32_t& base) {
        bool first = true;
        for (const std::size_t size : sizes) {
            if (size > points.size()) return false;
            const std::span<const PlotPoint> polygon = points.first(size);
            points = points.subspan(size);
            if (size < 2) continue;
            if (!isStaircase(polygon)) return false;
            if (first) base = polygon.front().y;
            first = false;
            if (polygon.front().y != base) return false;
            for (const PlotPoint& p : polygon) {
                if (p.y > base) return false;
            }
        }
        return true;
    }

    // A series of staircases on one base, each filled and outlined over those
    // before it, drawn front to back instead: every column of such a staircase
    // is painted from its top down to the base, so what the staircases in
    // front have painted of a column is one run ending at the base, and each
    // staircase paints only above it. Every pixel is written once at most.
    void paintStaircasesFrontToBack(std::span<const PlotPoint> points,
                                    std::span<const std::size_t> sizes, std::int64_t base, QRgb pen,
                                    QRgb brush) {
        covered.assign(static_cast<std::size_t>(columns), base + 1);
        std::size_t end = 0;
        for (const std::size_t size : sizes) end += size;
        for (std::size_t j = sizes.size(); j-- > 0;) {
            const std::size_t begin = end - sizes[j];
            if (sizes[j] >= 2)
                paintStaircaseBehind(points.subspan(begin, sizes[j]), base, pen, brush);
            end = begin;
        }
    }
    // One staircase of such a series, column by column. Over a column the
    // outline runs from the level arriving from the left through the levels
    // of the vertices there to the level leaving it, and the filling runs from
    // the leaving level down to the base, so the column shows the pen from the
    // highest to the lowest of those levels, the brush below that and the pen
    // again on the base (the closing edge). Between vertex columns only the
    // leaving level counts.
    void paintStaircaseBehind(std::span<const PlotPoint> points, std::int64_t base, QRgb pen,
                              QRgb brush) {
        std::int64_t arriving = base;
        std::size_t i = 0;
        while (i < points.size()) {
            const std::int64_t x = points[i].x;
            std::int64_t top = arriving;
            std::int64_t penBottom = arriving;
            for (; i < points.size() && points[i].x == x; ++i) {
                top = std::min<std::int64_t>(top, points[i].y);
                penBottom = std::max<std::int64_t>(penBottom, points[i].y);
            }
            const std::int64_t leaving = points[i - 1].y;
            paintColumnBehind(x, top, penBottom, base, pen, brush);
            if (i < points.size()) {
                const std::int64_t stepEnd = std::min<std::int64_t>(points[i].x, columns);
                for (std::int64_t c = std::max<std::int64_t>(x + 1, 0); c < stepEnd; ++c) {
                    paintColumnBehind(c, leaving, leaving, base, pen, brush);
                }
            }
            arriving = leaving;
        }
    }
    // Rows top..base of column x that nothing in front has painted: the pen
    // down to penBottom and on the base, the brush between.
    void paintColumnBehind(std::int64_t x, std::int64_t top, std::int64_t penBottom,
                           std::int64_t base, QRgb pen, QRgb brush) {
        if (x < 0 || x >= columns) return;
        std::int64_t& frontTop = covered[static_cast<std::size_t>(x)];
        const std::int64_t first = std::max<std::int64_t>(top, 0);
        const std::int64_t end = std::min(frontTop, rows);
        frontTop = std::min(frontTop, top);
        if (first >= end) return;
        QRgb* pixel = pixels + x;
        const auto paintRows = [&](std::int64_t from, std::int64_t to, QRgb colour) {
            for (std::int64_t y = std::max(from, first); y < std::min(to, end); ++y) {
                pixel[y * stride] = colour;
            }
        };
        paintRows(first, penBottom + 1, pen);
        paintRows(penBottom + 1, base, brush);
        paintRows(base, base + 1, pen);
    }

    // How far the text advances in the plot font, shaped once per text.
    int advance(std::string_view text) {
        constexpr std::size_t kMostTexts = 4096;  // far more than a plot's labels
        const auto known = advances.find(text);
        if (known != advances.end()) return known->second;
        if (advances.size() >= kMostTexts) advances.clear();
        const QString string =
            QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        const int width = QFontMetrics(font).horizontalAdvance(string);
        advances.emplace(std::string(text), width);
        return width;
    }

    QRgb penColour() const { return qRgb(pen.colour.red, pen.colour.green, pen.colour.blue); }
    bool solidPen() const { return pen.style == PenStyle::Solid; }

    const std::vector<QPoint>& toQPoints(std::span<const PlotPoint> points) {
        scratch.resize(points.size());
        for (std::size_t i = 0; i < points.size(); ++i)
            scratch[i] = QPoint(points[i].x, points[i].y);
        return scratch;
    }
};

QtImageCanvas::QtImageCanvas(std::int32_t width, std::int32_t height)
    : impl_(std::make_unique<Impl>()) {
    impl_->font = QFont(kPlotFontFamily);
    impl_->font.setPixelSize(kPlotFontPixels);
    impl_->font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(impl_->font);
    impl_->ascent = metrics.ascent();
    impl_->descent = metrics.descent();
    impl_->brush = Brush{};
    impl_->makeImage(width, height);
    impl_->begin();
}

QtImageCanvas::~QtImageCanvas() {
    impl_->painter.end();
}

std::int32_t QtImageCanvas::width() const {
    return impl_->image.width();
}
std::int32_t QtImageCanvas::height() const {
    return impl_->image.height();
}

void QtImageCanvas::resizeBitmap(std::int32_t width, std::int32_t height) {
    impl_->painter.end();
    impl_->makeImage(width, height);
    impl_->begin();
}

void QtImageCanvas::selectPen(const Pen& pen) {
    impl_->pen = pen;
    impl_->painter.setPen(toQPen(pen));
}

void QtImageCanvas::selectBrush(const Brush& brush) {
    impl_->brush = brush;
    impl_->painter.setBrush(toQColor(brush.colour));
}

void QtImageCanvas::setRasterOp(RasterOp /*op*/) {
    // Plain copy of the pen is what opaque painting does.
    impl_->painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void QtImageCanvas::setTextAlign(std::uint32_t flags) {
    impl_->textAlign = flags;
}
void QtImageCanvas::setTextColour(Colour colour) {
    impl_->textColour = colour;
}
void QtImageCanvas::setTransparentBackground(bool transparent) {
    impl_->transparent = transparent;
}

void QtImageCanvas::fillRect(const Rect& rect, const Brush& brush) {
    impl_->painter.fillRect(areaOf(rect), toQColor(brush.colour));
}

void QtImageCanvas::rectangle(const Rect& rect) {
    if (rect.right - rect.left < 1 || rect.bottom - rect.top < 1) return;
    // Every redraw starts with the whole client as one rectangle: painted
    // here row by row, as the painter would paint it (the outline's pixels in
    // the pen, those inside in the brush), in about half the painter's time.
    // The painter leaves out a corner of a rectangle that reaches beyond the
    // image: such rectangles stay its own.
    if (impl_->paintsItself(rect)) {
        impl_->solidRectangle(rect, Rect{});
        return;
    }
    // With a one-pixel pen, drawRect(x, y, w, h) outlines x..x+w by y..y+h.
    impl_->painter.drawRect(
        QRect(rect.left, rect.top, rect.right - rect.left - 1, rect.bottom - rect.top - 1));
}

void QtImageCanvas::rectangleAround(const Rect& rect, const Rect& inner) {
    // Only where the rectangle over inner is sure to paint all its pixels.
    if (impl_->paintsItself(rect) && impl_->paintsItself(inner)) {
        impl_->solidRectangle(rect, inner);
        return;
    }
    rectangle(rect);
}

// Solid lines are drawn segment by segment here rather than by the painter's
// stroker, whose joins depend on the neighbouring segments: a trace cut down
// to the points that decide its pixels must paint exactly what the full trace
// paints. Dotted lines (the grid) go to the painter.
void QtImageCanvas::line(PlotPoint from, PlotPoint to) {
    if (impl_->solidPen()) {
        impl_->solidSegment(from, to, impl_->penColour());
    } else {
        impl_->painter.drawLine(QPoint(from.x, from.y), QPoint(to.x, to.y));
    }
}

void QtImageCanvas::polyline(std::span<const PlotPoint> points) {
    if (points.size() < 2) return;
    if (impl_->solidPen()) {
        const QRgb colour = impl_->penColour();
        for (std::size_t i = 1; i < points.size(); ++i) {
            impl_->solidSegment(points[i - 1], points[i], colour);
        }
        return;
    }
    const std::vector<QPoint>& q = impl_->toQPoints(points);
    impl_->painter.drawPolyline(q.data(), static_cast<int>(q.size()));
}

void QtImageCanvas::polygon(std::span<const PlotPoint> points) {
    if (points.size() < 2) return;
    const std::vector<QPoint>& q = impl_->toQPoints(points);
    QPainter& painter = impl_->painter;
    if (!impl_->solidPen()) {
        painter.drawPolygon(q.data(), static_cast<int>(q.size()), Qt::OddEvenFill);
        return;
    }
    // The interior (pixel centres inside, alternate rule), then the closed
    // outline over it. Waterfall slices are staircases and are filled here
    // directly: the painter's general filling is slow for thousands of edges.
    if (Impl::isStaircase(points)) {
        const Colour c = impl_->brush.colour;
        impl_->fillStaircase(points, qRgb(c.red, c.green, c.blue));
    } else {
        painter.setPen(Qt::NoPen);
        painter.drawPolygon(q.data(), static_cast<int>(q.size()), Qt::OddEvenFill);
        painter.setPen(toQPen(impl_->pen));
    }
    const QRgb colour = impl_->penColour();
    for (std::size_t i = 0; i < points.size(); ++i) {
        impl_->solidSegment(points[i], points[(i + 1) % points.size()], colour);
    }
}

void QtImageCanvas::polygons(std::span<const PlotPoint> points,
                             std::span<const std::size_t> sizes) {
    std::int32_t base = 0;
    if (!impl_->solidPen() || !Impl::staircasesOnOneBase(points, sizes, base)) {
        Canvas::polygons(points, sizes);
        return;
    }
    const Colour b = impl_->brush.colour;
    impl_->paintStaircasesFrontToBack(points, sizes, base, impl_->penColour(),
                                      qRgb(b.red, b.green, b.blue));
}

void QtImageCanvas::textOut(std::int32_t x, std::int32_t y, std::string_view text) {
    QPainter& painter = impl_->painter;
    const QString string = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    const int ascent = impl_->ascent;
    const int cell = impl_->ascent + impl_->descent;
    // The text cell is ascent + descent high; y is its top or its bottom edge.
    const int baseline = (impl_->textAlign & TA_BOTTOM) != 0 ? y - impl_->descent : y + ascent;
    if (!impl_->transparent) {
        painter.fillRect(QRect(x, baseline - ascent, impl_->advance(text), cell), Qt::white);
    }
    painter.setPen(toQColor(impl_->textColour));
    painter.drawText(QPoint(x, baseline), string);
    painter.setPen(toQPen(impl_->pen));
}

TextExtent QtImageCanvas::textExtent(std::string_view text) const {
    return TextExtent{impl_->advance(text), impl_->ascent + impl_->descent};
}

void QtImageCanvas::copyBitmap(const Canvas& source, std::int32_t x, std::int32_t y) {
    const auto* other = dynamic_cast<const QtImageCanvas*>(&source);
    if (other == nullptr || other == this) return;
    impl_->painter.drawImage(QPoint(x, y), other->impl_->image);
}

void QtImageCanvas::stretchBitmap(const Canvas& source, const Rect& target) {
    const auto* other = dynamic_cast<const QtImageCanvas*>(&source);
    if (other == nullptr || other == this) return;
    impl_->painter.drawImage(areaOf(target), other->impl_->image);
}

Colour QtImageCanvas::pixel(std::int32_t x, std::int32_t y) const {
    if (!impl_->image.valid(x, y)) return Colour{};
    const QRgb rgb = impl_->image.pixel(x, y);
    return Colour{static_cast<std::uint8_t>(qRed(rgb)), static_cast<std::uint8_t>(qGreen(rgb)),
                  static_cast<std::uint8_t>(qBlue(rgb))};
}

const std::uint32_t* QtImageCanvas::pixelData() const {
    static_assert(sizeof(QRgb) == sizeof(std::uint32_t));
    return impl_->pixels;
}

std::int32_t QtImageCanvas::bytesPerLine() const {
    return static_cast<std::int32_t>(impl_->image.bytesPerLine());
}

int QtImageCanvas::savePng(const std::string& path) const {
    return impl_->image.save(QString::fromStdString(path), "PNG") ? 0 : 1;
}

QtImageSurface::QtImageSurface(std::int32_t width, std::int32_t height)
    : width_(width), height_(height), window_(width, height) {}

std::unique_ptr<Canvas> QtImageSurface::createBitmapCanvas(std::int32_t width,
                                                           std::int32_t height) {
    return std::make_unique<QtImageCanvas>(width, height);
}

struct OffscreenGui::Impl {
    int argc = 1;
    char name[16] = "ressona";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QGuiApplication> application;
};

OffscreenGui::OffscreenGui() : impl_(std::make_unique<Impl>()) {
    if (QGuiApplication::instance() != nullptr) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    impl_->application = std::make_unique<QGuiApplication>(impl_->argc, impl_->argv);
}

OffscreenGui::~OffscreenGui() = default;

}  // namespace ressona
