// A plot window's surface over its shell: the client size it reports, which
// paints ask the window's procedure to fill the picture, how drawing on the
// window reaches the screen, and the clock that repaints during a pass.

#include <gtest/gtest.h>

#include <vector>

#include "platform/qt/plot_window_surface.h"
#include "platform/qt/qt_image_canvas.h"
#include "platform/qt/repainting_clock.h"

namespace ressona {
namespace {

// A shell that records what the surface asks of it; a repaint takes the
// picture as a real paint does.
class FakeShell final : public PlotShell {
  public:
    void setImageSource(std::function<PixelView()> s) override { source = std::move(s); }
    void refresh() override { ++refreshes; }
    void repaintNow() override {
        ++repaints;
        if (source) last = source();
    }
    void setTitle(std::string_view) override {}
    void setGeometry(int, int, int w, int h) override {
        width = w;
        height = h;
    }
    int clientWidth() const override { return width; }
    int clientHeight() const override { return height; }
    void setCursorShape(PlotCursor c) override { cursors.push_back(c); }
    void show() override {}
    void hide() override {}
    void restore() override {}

    std::function<PixelView()> source;
    PixelView last;
    int width = 40;
    int height = 30;
    int refreshes = 0;
    int repaints = 0;
    std::vector<PlotCursor> cursors;
};

class PlotWindowSurfaceTest : public ::testing::Test {
  protected:
    PlotWindowSurfaceTest() {
        shell.setImageSource([this] { return surface.picture(); });
        received.clear();  // WM_CREATE
    }
    void attach() { surface.attach(shell, queue, window); }
    std::uint32_t pixelAt(const PixelView& view, int x, int y) const {
        return view.pixels[y * (view.bytesPerLine / 4) + x];
    }

    MessageQueue queue;
    std::vector<std::uint32_t> received;
    WindowHandle window = queue.CreateWindowA(
        "TimePlot", [this](WindowHandle, std::uint32_t message, WPARAM, LPARAM) {
            received.push_back(message);
            if (message == WM_PAINT) {
                surface.windowCanvas().fillRect(surface.clientRect(), Brush{{0, 0, 255}});
            }
            return LRESULT{0};
        });
    ScreenSize planned{120, 80};
    PlotWindowSurface surface{[this] { return planned; }};
    FakeShell shell;
};

TEST_F(PlotWindowSurfaceTest, TheClientSizeIsThePlannedOneUntilAShellIsAttached) {
    EXPECT_EQ(surface.clientRect(), (Rect{0, 0, 120, 80}));
    planned = {200, 100};  // read when asked: the program sets it during start-up
    EXPECT_EQ(surface.clientRect(), (Rect{0, 0, 200, 100}));
    attach();
    EXPECT_EQ(surface.clientRect(), (Rect{0, 0, 40, 30}));
    shell.setGeometry(0, 0, 64, 48);
    EXPECT_EQ(surface.clientRect(), (Rect{0, 0, 64, 48}));
    surface.detach();  // keeps the last size
    shell.setGeometry(0, 0, 10, 10);
    EXPECT_EQ(surface.clientRect(), (Rect{0, 0, 64, 48}));
}

TEST_F(PlotWindowSurfaceTest, APaintAsksTheProcedureToFillOnlyANewPicture) {
    attach();
    shell.repaintNow();
    EXPECT_EQ(received, std::vector<std::uint32_t>{WM_PAINT});
    EXPECT_EQ(shell.last.width, 40);
    EXPECT_EQ(shell.last.height, 30);
    EXPECT_EQ(pixelAt(shell.last, 39, 29), 0xff0000ffu);
    EXPECT_EQ(shell.refreshes, 0);  // what a paint draws is shown by that paint

    shell.repaintNow();  // the picture lasts between paints
    EXPECT_EQ(received.size(), 1u);

    shell.setGeometry(0, 0, 50, 20);
    shell.repaintNow();
    EXPECT_EQ(received.size(), 2u);
    EXPECT_EQ(shell.last.width, 50);

    // A size change noticed while drawing still gets its paint.
    shell.setGeometry(0, 0, 60, 25);
    surface.windowCanvas().line({0, 0}, {5, 0});
    shell.repaintNow();
    EXPECT_EQ(received.size(), 3u);
    EXPECT_EQ(shell.last.width, 60);
}

TEST_F(PlotWindowSurfaceTest, DrawingOnTheWindowIsShownAtTheNextPaintOrWhenAsked) {
    attach();
    shell.repaintNow();
    EXPECT_FALSE(surface.showChanges());  // nothing new
    EXPECT_EQ(shell.repaints, 1);

    Canvas& window = surface.windowCanvas();
    window.selectPen(Pen{PenStyle::Solid, 1, {255, 0, 0}});
    EXPECT_EQ(shell.refreshes, 0);  // selecting draws nothing
    window.line({0, 3}, {10, 3});
    window.textOut(20, 10, "x");
    EXPECT_EQ(shell.refreshes, 2);
    EXPECT_EQ(surface.drawnCount(), 2u);
    EXPECT_EQ(surface.shownCount(), 0u);
    EXPECT_TRUE(surface.showChanges());
    EXPECT_EQ(surface.shownCount(), 2u);
    EXPECT_EQ(pixelAt(shell.last, 4, 3), 0xffff0000u);
    EXPECT_FALSE(surface.showChanges());
    EXPECT_EQ(shell.repaints, 2);

    surface.setCursor(CursorShape::Cross);
    surface.setCursor(CursorShape::Arrow);
    EXPECT_EQ(shell.cursors, (std::vector<PlotCursor>{PlotCursor::Cross, PlotCursor::Arrow}));
}

TEST_F(PlotWindowSurfaceTest, BitmapsAreImagesOfTheirOwnSize) {
    const std::unique_ptr<Canvas> bitmap = surface.createBitmapCanvas(33, 22);
    ASSERT_NE(dynamic_cast<QtImageCanvas*>(bitmap.get()), nullptr);
    EXPECT_EQ(bitmap->width(), 33);
    EXPECT_EQ(bitmap->height(), 22);
}

TEST(RepaintingClockTest, RepaintsAfterLongPausesOnlyAndKeepsTheInnerTime) {
    ManualClock inner;
    inner.setTimeOfDay({12, 34});
    int repaints = 0;
    RepaintingClock clock(inner, [&] { ++repaints; });
    clock.pause(std::chrono::microseconds(100));  // a wait near a buffer's end
    EXPECT_EQ(repaints, 0);
    clock.pause(std::chrono::microseconds(1000));
    clock.pause(std::chrono::microseconds(5000));
    EXPECT_EQ(repaints, 2);
    EXPECT_EQ(clock.performanceCounter(), 6100);
    EXPECT_EQ(clock.performanceFrequency(), ManualClock::kFrequency);
    EXPECT_EQ(clock.timeOfDay().seconds, 12);
    EXPECT_EQ(clock.timeOfDay().hundredths, 34);
}

}  // namespace
}  // namespace ressona
