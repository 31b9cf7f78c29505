#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "platform/qt/qt_skin.h"

namespace ressona {
namespace {

constexpr std::uint32_t kPing = 0x0400;

TEST(EventPumpTest, DispatchesFromTheQtLoopUntilQuit) {
    MessageQueue queue;
    std::vector<WPARAM> seen;
    const WindowHandle window = queue.CreateWindowA(
        "probe", [&](WindowHandle, std::uint32_t message, WPARAM wParam, LPARAM) {
            if (message == kPing) {
                seen.push_back(wParam);
                if (wParam == 3) queue.PostQuitMessage(7);
            }
            return LRESULT{0};
        });
    const std::unique_ptr<EventPump> pump = createQtEventPump(queue);
    queue.PostMessageA(window, kPing, 1, 0);
    queue.PostMessageA(window, kPing, 2, 0);
    // A post from Qt's side while the loop runs.
    QTimer::singleShot(0, [&] { queue.PostMessageA(window, kPing, 3, 0); });
    EXPECT_EQ(pump->run(), 7);
    EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2, 3}));
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST(EventPumpTest, HandlersThatKeepPostingLeaveRoomForQtEvents) {
    MessageQueue queue;
    bool timerRan = false;
    int rounds = 0;
    const WindowHandle window =
        queue.CreateWindowA("probe", [&](WindowHandle self, std::uint32_t message, WPARAM, LPARAM) {
            if (message != kPing) return LRESULT{0};
            ++rounds;
            if (timerRan) {
                queue.PostQuitMessage(0);
            } else if (rounds > 100000) {
                queue.PostQuitMessage(99);  // Qt never got a turn
            } else {
                queue.PostMessageA(self, kPing, 0, 0);
            }
            return LRESULT{0};
        });
    const std::unique_ptr<EventPump> pump = createQtEventPump(queue);
    QTimer::singleShot(0, [&] { timerRan = true; });
    queue.PostMessageA(window, kPing, 0, 0);
    EXPECT_EQ(pump->run(), 0);
    EXPECT_TRUE(timerRan);
}

// A window that counts its paints.
class PaintCounter final : public QWidget {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST(EventPumpTest, HandlersThatKeepPostingLeaveRoomForPainting) {
    PaintCounter widget;
    widget.resize(50, 50);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QCoreApplication::processEvents();
    const int paintsBefore = widget.paints;
    MessageQueue queue;
    int rounds = 0;
    const WindowHandle window =
        queue.CreateWindowA("probe", [&](WindowHandle self, std::uint32_t message, WPARAM, LPARAM) {
            if (message != kPing) return LRESULT{0};
            ++rounds;
            if (widget.paints > paintsBefore) {
                queue.PostQuitMessage(0);
            } else if (rounds > 10000) {
                queue.PostQuitMessage(99);  // the window never painted
            } else {
                // A drawing that must reach the screen, as a plot's redraw does.
                widget.update();
                queue.PostMessageA(self, kPing, 0, 0);
            }
            return LRESULT{0};
        });
    const std::unique_ptr<EventPump> pump = createQtEventPump(queue);
    queue.PostMessageA(window, kPing, 0, 0);
    EXPECT_EQ(pump->run(), 0);
    EXPECT_LE(rounds, 3);
}

TEST(EventPumpTest, AQuitPostedBeforeTheLoopEndsItAtOnce) {
    MessageQueue queue;
    const std::unique_ptr<EventPump> pump = createQtEventPump(queue);
    queue.PostQuitMessage(3);
    EXPECT_EQ(pump->run(), 3);
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST(EventPumpTest, NothingQueuedRunsOnceAHandlerHasPostedTheQuit) {
    MessageQueue queue;
    std::vector<WPARAM> seen;
    const WindowHandle window = queue.CreateWindowA(
        "probe", [&](WindowHandle, std::uint32_t message, WPARAM wParam, LPARAM) {
            if (message != kPing) return LRESULT{0};
            seen.push_back(wParam);
            if (wParam == 1) queue.PostQuitMessage(5);
            return LRESULT{0};
        });
    const std::unique_ptr<EventPump> pump = createQtEventPump(queue);
    queue.PostMessageA(window, kPing, 1, 0);
    queue.PostMessageA(window, kPing, 2, 0);  // queued before the quit
    EXPECT_EQ(pump->run(), 5);
    EXPECT_EQ(seen, std::vector<WPARAM>{1});
}

TEST(EventPumpTest, AGonePumpLeavesTheQueueUsable) {
    MessageQueue queue;
    int seen = 0;
    const WindowHandle window =
        queue.CreateWindowA("probe", [&](WindowHandle, std::uint32_t message, WPARAM, LPARAM) {
            if (message == kPing) ++seen;
            return LRESULT{0};
        });
    createQtEventPump(queue).reset();
    EXPECT_TRUE(queue.PostMessageA(window, kPing, 0, 0));
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(queue.dispatchPending(), 1u);
}

}  // namespace
}  // namespace ressona
