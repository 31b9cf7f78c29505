#pragma once
// A plot window's surface on the desktop. The window's device context draws
// into the window's own picture, which its PlotShell shows and which lasts
// between paints like a window's backing store. The picture follows the
// shell's client size: when a paint finds the size changed, the picture is
// made anew and the window's procedure gets WM_PAINT to fill it (the plots
// stretch their last drawing until they draw again). Off-screen bitmaps are
// images of the same kind.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/canvas/canvas.h"
#include "platform/qt/qt_skin.h"

namespace ressona {

class QtImageCanvas;

class PlotWindowSurface final : public WindowSurface {
  public:
    // Until a shell is attached, the client area has the size `sizeBeforeShell`
    // gives (read when asked: the window is created before its shell).
    explicit PlotWindowSurface(std::function<ScreenSize()> sizeBeforeShell);
    ~PlotWindowSurface() override;
    PlotWindowSurface(const PlotWindowSurface&) = delete;
    PlotWindowSurface& operator=(const PlotWindowSurface&) = delete;

    // From now on the client area is the shell's, drawing on the window asks
    // the shell to show it, and the shell's paints take their pixels from
    // picture(). `window` is the plot's window in `queue`, for WM_PAINT.
    void attach(PlotShell& shell, MessageQueue& queue, WindowHandle window);
    // Lets go of the shell (before it dies); the client area keeps its last size.
    void detach();

    Rect clientRect() const override;
    Canvas& windowCanvas() override;
    std::unique_ptr<Canvas> createBitmapCanvas(std::int32_t width, std::int32_t height) override;
    void setCursor(CursorShape shape) override;

    // The window's picture for a paint, remade and filled through WM_PAINT
    // first when the client size has changed since it was made.
    PixelView picture();
    // Repaints the shell at once when something was drawn on the window since
    // it was last shown; true when it repainted. Takes no input.
    bool showChanges();

    // How many drawings reached the window outside its paints, and how many
    // of them had been drawn when the shell last showed the picture.
    std::uint64_t drawnCount() const { return drawn_; }
    std::uint64_t shownCount() const { return shown_; }
    // Called after every paint of the shell (for timing the first picture).
    void setShownListener(std::function<void()> listener) { shownListener_ = std::move(listener); }
    // The window's picture as it stands, at the size it was last made for
    // (for tests and pictures).
    const QtImageCanvas& windowImage();

    class ShownCanvas;

  private:
    Rect currentClient() const;
    void matchClientSize();
    void drawnOn();

    std::function<ScreenSize()> sizeBeforeShell_;
    PlotShell* shell_ = nullptr;
    MessageQueue* queue_ = nullptr;
    WindowHandle window_ = kNoWindow;
    Rect lastClient_;
    std::unique_ptr<QtImageCanvas> image_;
    std::unique_ptr<ShownCanvas> canvas_;
    std::function<void()> shownListener_;
    bool painting_ = false;
    bool needsPaint_ = false;  // the picture was remade and not yet filled
    std::uint64_t drawn_ = 0;
    std::uint64_t shown_ = 0;
};

}  // namespace ressona
