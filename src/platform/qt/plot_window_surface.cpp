#include "platform/qt/plot_window_surface.h"

#include "platform/qt/qt_image_canvas.h"

namespace ressona {

// The window's device context: draws on the window's picture and tells the
// surface that the window changed, so that the shell shows it.
class PlotWindowSurface::ShownCanvas final : public Canvas {
  public:
    explicit ShownCanvas(PlotWindowSurface& surface) : surface_(surface) {}

    std::int32_t width() const override { return image().width(); }
    std::int32_t height() const override { return image().height(); }
    void resizeBitmap(std::int32_t width, std::int32_t height) override {
        image().resizeBitmap(width, height);
        surface_.drawnOn();
    }

    void selectPen(const Pen& pen) override { image().selectPen(pen); }
    void selectBrush(const Brush& brush) override { image().selectBrush(brush); }
    void setRasterOp(RasterOp op) override { image().setRasterOp(op); }
    void setTextAlign(std::uint32_t flags) override { image().setTextAlign(flags); }
    void setTextColour(Colour colour) override { image().setTextColour(colour); }
    void setTransparentBackground(bool transparent) override {
        image().setTransparentBackground(transparent);
    }

    void fillRect(const Rect& rect, const Brush& brush) override {
        image().fillRect(rect, brush);
        surface_.drawnOn();
    }
    void rectangle(const Rect& rect) override {
        image().rectangle(rect);
        surface_.drawnOn();
    }
    void line(PlotPoint from, PlotPoint to) override {
        image().line(from, to);
        surface_.drawnOn();
    }
    void polyline(std::span<const PlotPoint> points) override {
        image().polyline(points);
        surface_.drawnOn();
    }
    void polygon(std::span<const PlotPoint> points) override {
        image().polygon(points);
        surface_.drawnOn();
    }
    void textOut(std::int32_t x, std::int32_t y, std::string_view text) override {
        image().textOut(x, y, text);
        surface_.drawnOn();
    }
    TextExtent textExtent(std::string_view text) const override { return image().textExtent(text); }
    void copyBitmap(const Canvas& source, std::int32_t x, std::int32_t y) override {
        image().copyBitmap(source, x, y);
        surface_.drawnOn();
    }
    void stretchBitmap(const Canvas& source, const Rect& target) override {
        image().stretchBitmap(source, target);
        surface_.drawnOn();
    }

  private:
    QtImageCanvas& image() const {
        surface_.matchClientSize();
        return *surface_.image_;
    }

    PlotWindowSurface& surface_;
};

PlotWindowSurface::PlotWindowSurface(std::function<ScreenSize()> sizeBeforeShell)
    : sizeBeforeShell_(std::move(sizeBeforeShell)), canvas_(std::make_unique<ShownCanvas>(*this)) {}

PlotWindowSurface::~PlotWindowSurface() = default;

void PlotWindowSurface::attach(PlotShell& shell, MessageQueue& queue, WindowHandle window) {
    shell_ = &shell;
    queue_ = &queue;
    window_ = window;
}

void PlotWindowSurface::detach() {
    const Rect last = currentClient();
    sizeBeforeShell_ = [last] { return ScreenSize{last.right, last.bottom}; };
    shell_ = nullptr;
    queue_ = nullptr;
    window_ = kNoWindow;
}

Rect PlotWindowSurface::currentClient() const {
    if (shell_ != nullptr) return Rect{0, 0, shell_->clientWidth(), shell_->clientHeight()};
    const ScreenSize size = sizeBeforeShell_ ? sizeBeforeShell_() : ScreenSize{};
    return Rect{0, 0, size.width, size.height};
}

Rect PlotWindowSurface::clientRect() const {
    return currentClient();
}

// A window whose size changed has lost its picture: a fresh black one of the
// new size takes its place, and the next paint has the procedure fill it.
void PlotWindowSurface::matchClientSize() {
    const Rect client = currentClient();
    if (image_ && client == lastClient_) return;
    if (image_) {
        image_->resizeBitmap(client.right, client.bottom);
    } else {
        image_ = std::make_unique<QtImageCanvas>(client.right, client.bottom);
    }
    lastClient_ = client;
    needsPaint_ = true;
}

Canvas& PlotWindowSurface::windowCanvas() {
    matchClientSize();
    return *canvas_;
}

std::unique_ptr<Canvas> PlotWindowSurface::createBitmapCanvas(std::int32_t width,
                                                              std::int32_t height) {
    return std::make_unique<QtImageCanvas>(width, height);
}

void PlotWindowSurface::setCursor(CursorShape shape) {
    if (shell_ != nullptr) {
        shell_->setCursorShape(shape == CursorShape::Cross ? PlotCursor::Cross : PlotCursor::Arrow);
    }
}

PixelView PlotWindowSurface::picture() {
    painting_ = true;
    matchClientSize();
    if (needsPaint_ && queue_ != nullptr) {
        // The window's procedure fills the new picture, as it paints an
        // invalidated window: 1:1, or its old drawing stretched.
        needsPaint_ = false;
        queue_->SendMessageA(window_, WM_PAINT, 0, 0);
    }
    painting_ = false;
    shown_ = drawn_;
    if (shownListener_) shownListener_();
    return PixelView{image_->pixelData(), image_->width(), image_->height(),
                     image_->bytesPerLine()};
}

bool PlotWindowSurface::showChanges() {
    if (shell_ == nullptr || drawn_ == shown_) return false;
    const std::uint64_t before = shown_;
    shell_->repaintNow();
    return shown_ != before;
}

const QtImageCanvas& PlotWindowSurface::windowImage() {
    if (!image_) matchClientSize();
    return *image_;
}

// What a paint draws (WM_PAINT filling a new picture) only shows what was
// drawn before; anything else is a change the shell must show.
void PlotWindowSurface::drawnOn() {
    if (painting_) return;
    ++drawn_;
    if (shell_ != nullptr) shell_->refresh();
}

}  // namespace ressona
