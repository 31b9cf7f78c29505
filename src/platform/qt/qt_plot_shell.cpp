#include "platform/qt/qt_plot_shell.h"

#include <QCloseEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include "platform/qt/qt_artwork.h"

namespace ressona {

namespace {

// Mouse-button bits of WM_MOUSEMOVE's first parameter.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_MBUTTON = 0x0010;
// WM_SIZE's first parameter.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// Two 16-bit words in one parameter, as coordinates and sizes travel.
LPARAM packWords(int low, int high) {
    return static_cast<LPARAM>(
        (static_cast<std::uint32_t>(static_cast<std::uint16_t>(high)) << 16) |
        static_cast<std::uint16_t>(low));
}

class PlotWindow final : public QWidget {
  public:
    PlotWindow(MessageQueue& queue, WindowHandle handle) : queue_(queue), handle_(handle) {
        setWindowFlags(Qt::Window);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
        setWindowIcon(programIcon());
    }
    std::function<PixelView()> source;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const PixelView view = source ? source() : PixelView{};
        if (view.pixels == nullptr || view.width <= 0 || view.height <= 0) {
            painter.fillRect(rect(), Qt::black);
            return;
        }
        const QImage picture(reinterpret_cast<const uchar*>(view.pixels), view.width, view.height,
                             view.bytesPerLine, QImage::Format_RGB32);
        if (picture.size() == size()) {
            painter.drawImage(0, 0, picture);
        } else {
            // A resize not yet redrawn: the old picture stretched over the window.
            painter.drawImage(rect(), picture);
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        WPARAM buttons = 0;
        if (event->buttons() & Qt::LeftButton) buttons |= MK_LBUTTON;
        if (event->buttons() & Qt::RightButton) buttons |= MK_RBUTTON;
        if (event->buttons() & Qt::MiddleButton) buttons |= MK_MBUTTON;
        queue_.PostMessageA(handle_, WM_MOUSEMOVE, buttons, packWords(at.x(), at.y()));
    }
    void resizeEvent(QResizeEvent* event) override {
        const WPARAM kind = isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED;
        queue_.PostMessageA(handle_, WM_SIZE, kind,
                            packWords(event->size().width(), event->size().height()));
    }
    void closeEvent(QCloseEvent* event) override {
        // The plot windows stay while the program runs; the request goes to
        // the window's procedure, which decides.
        event->ignore();
        queue_.PostMessageA(handle_, WM_SYSCOMMAND, SC_CLOSE, 0);
    }

  private:
    MessageQueue& queue_;
    WindowHandle handle_;
};

PlotWindow& plotWindow(const std::unique_ptr<QWidget>& window) {
    return static_cast<PlotWindow&>(*window);
}

}  // namespace

QtPlotShell::QtPlotShell(MessageQueue& queue, WindowHandle window)
    : window_(std::make_unique<PlotWindow>(queue, window)) {}

QtPlotShell::~QtPlotShell() = default;

void QtPlotShell::setImageSource(std::function<PixelView()> source) {
    plotWindow(window_).source = std::move(source);
}

void QtPlotShell::refresh() {
    window_->update();
}

void QtPlotShell::repaintNow() {
    if (window_->isVisible()) window_->repaint();
}

void QtPlotShell::setTitle(std::string_view title) {
    window_->setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
}

void QtPlotShell::setGeometry(int left, int top, int width, int height) {
    window_->move(left, top);
    window_->resize(width, height);
}

int QtPlotShell::clientWidth() const {
    return window_->width();
}

int QtPlotShell::clientHeight() const {
    return window_->height();
}

void QtPlotShell::setCursorShape(PlotCursor cursor) {
    window_->setCursor(cursor == PlotCursor::Cross ? Qt::CrossCursor : Qt::ArrowCursor);
}

void QtPlotShell::show() {
    window_->show();
}

void QtPlotShell::hide() {
    window_->hide();
}

void QtPlotShell::restore() {
    if (window_->isMinimized()) window_->showNormal();
}

std::unique_ptr<PlotShell> createQtPlotShell(MessageQueue& queue, WindowHandle window) {
    return std::make_unique<QtPlotShell>(queue, window);
}

}  // namespace ressona
