#include "platform/messages/message_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace ressona {
namespace {

struct Received {
    WindowHandle window;
    std::uint32_t message;
    WPARAM wParam;
};

// A window that records what reaches it and leaves the rest to the default procedure.
class RecorderWindows {
  public:
    explicit RecorderWindows(MessageQueue& queue) : queue_(queue) {}

    WindowHandle create(WindowHandle parent = kNoWindow) {
        return queue_.CreateWindowA(
            "Recorder",
            [this](WindowHandle w, std::uint32_t m, WPARAM wp, LPARAM lp) -> LRESULT {
                log.push_back({w, m, wp});
                if (m == WM_CREATE || m == WM_DESTROY) return 0;
                return queue_.DefWindowProcA(w, m, wp, lp);
            },
            parent);
    }

    std::vector<std::uint32_t> messagesOf(WindowHandle window) const {
        std::vector<std::uint32_t> result;
        for (const Received& r : log) {
            if (r.window == window) result.push_back(r.message);
        }
        return result;
    }

    std::vector<Received> log;

  private:
    MessageQueue& queue_;
};

TEST(MessageQueue, HandlesAreNeverReusedAndDestroyingForgetsWindowAndItsMessages) {
    MessageQueue queue;
    RecorderWindows windows(queue);
    const WindowHandle first = windows.create();
    const WindowHandle child = windows.create(first);
    const WindowHandle other = windows.create();
    EXPECT_NE(first, kNoWindow);
    EXPECT_EQ(queue.GetParent(child), first);
    EXPECT_EQ(windows.messagesOf(first), std::vector<std::uint32_t>{WM_CREATE});

    queue.PostMessageA(child, 500, 0, 0);
    queue.PostMessageA(other, 501, 0, 0);
    EXPECT_TRUE(queue.DestroyWindow(first));
    EXPECT_FALSE(queue.IsWindow(first));
    EXPECT_FALSE(queue.IsWindow(child));  // children go with their parent
    EXPECT_EQ(windows.messagesOf(child).back(), WM_DESTROY);
    EXPECT_EQ(queue.pendingCount(), 1u);  // only the message for `other` is left
    EXPECT_FALSE(queue.DestroyWindow(first));

    const WindowHandle later = windows.create();
    EXPECT_GT(later, other);
    EXPECT_FALSE(queue.PostMessageA(first, 502, 0, 0));  // a dead handle stays dead
    EXPECT_EQ(queue.SendMessageA(first, 502, 0, 0), 0);
}

TEST(MessageQueue, PostAppendsSendCallsAtOnceAndDispatchFollowsPostingOrder) {
    MessageQueue queue;
    RecorderWindows windows(queue);
    const WindowHandle a = windows.create();
    const WindowHandle b = windows.create();
    windows.log.clear();

    queue.PostMessageA(a, 600, 1, 0);
    queue.PostMessageA(b, 601, 2, 0);
    EXPECT_TRUE(windows.log.empty());
    queue.SendMessageA(b, 700, 3, 0);
    ASSERT_EQ(windows.log.size(), 1u);
    EXPECT_EQ(windows.log[0].message, 700u);

    EXPECT_EQ(queue.dispatchPending(), 2u);
    ASSERT_EQ(windows.log.size(), 3u);
    EXPECT_EQ(windows.log[1].message, 600u);
    EXPECT_EQ(windows.log[2].message, 601u);
}

// The drain of the measurement cycle: take only the panel's (and its controls')
// messages; the plot windows' messages stay queued in their order.
TEST(MessageQueue, FilteredDrainTakesOnlyTheWindowAndItsChildren) {
    MessageQueue queue;
    RecorderWindows windows(queue);
    const WindowHandle panel = windows.create();
    const WindowHandle button = windows.create(panel);
    const WindowHandle timePlot = windows.create();
    const WindowHandle freqPlot = windows.create();
    windows.log.clear();

    queue.PostMessageA(timePlot, MSG_REDRAW, 0, 0);
    queue.PostMessageA(panel, WM_COMMAND, makeCommandParam(208), 0);
    queue.PostMessageA(freqPlot, MSG_DRAW_WATERFALL, 0, 0);
    queue.PostMessageA(button, WM_MOUSEMOVE, 0, 0);
    queue.PostMessageA(timePlot, MSG_REDRAW, 7, 0);

    Message peeked;
    ASSERT_TRUE(queue.PeekMessageA(peeked, panel, PM_NOREMOVE));
    EXPECT_EQ(peeked.message, WM_COMMAND);
    EXPECT_EQ(queue.pendingCount(), 5u);  // kept

    Message m;
    std::vector<WindowHandle> drained;
    while (queue.PeekMessageA(m, panel, PM_REMOVE)) {
        drained.push_back(m.window);
        queue.DispatchMessageA(m);
    }
    EXPECT_EQ(drained, (std::vector<WindowHandle>{panel, button}));

    ASSERT_EQ(queue.GetMessageA(m, kNoWindow), 1);
    EXPECT_EQ(m.window, timePlot);
    EXPECT_EQ(m.wParam, 0u);
    ASSERT_EQ(queue.GetMessageA(m, kNoWindow), 1);
    EXPECT_EQ(m.window, freqPlot);
    ASSERT_EQ(queue.GetMessageA(m, kNoWindow), 1);
    EXPECT_EQ(m.window, timePlot);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(queue.GetMessageA(m, kNoWindow), kGetMessageNothing);
}

// A handler that posts to itself must not keep one dispatch running: what it
// posts waits for the next dispatch, behind what others posted before it.
TEST(MessageQueue, DispatchPendingHandlesOnlyWhatWasQueuedAtItsStart) {
    MessageQueue queue;
    std::vector<int> order;
    WindowHandle other = kNoWindow;
    const WindowHandle chatty = queue.CreateWindowA(
        "Chatty", [&](WindowHandle w, std::uint32_t m, WPARAM wp, LPARAM) -> LRESULT {
            if (m != 900) return 0;
            order.push_back(static_cast<int>(wp));
            queue.PostMessageA(w, 900, wp + 10, 0);
            return 0;
        });
    other = queue.CreateWindowA("Other", [&](WindowHandle, std::uint32_t m, WPARAM wp, LPARAM) {
        if (m == 901) order.push_back(static_cast<int>(wp));
        return LRESULT{0};
    });
    queue.PostMessageA(chatty, 900, 1, 0);
    queue.PostMessageA(other, 901, 2, 0);

    EXPECT_EQ(queue.dispatchPending(), 2u);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(queue.pendingCount(), 1u);
    queue.PostMessageA(other, 901, 3, 0);
    EXPECT_EQ(queue.dispatchPending(), 2u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 11, 3}));
}

TEST(MessageQueue, QuitStopsTheDispatchAndIsTakenOnlyWithoutFilter) {
    MessageQueue queue;
    RecorderWindows windows(queue);
    const WindowHandle w = windows.create();
    queue.PostMessageA(w, 800, 0, 0);
    queue.PostQuitMessage(3);
    queue.PostMessageA(w, 801, 0, 0);
    EXPECT_EQ(queue.dispatchPending(), 1u);
    EXPECT_TRUE(queue.quitPosted());

    Message m;
    ASSERT_TRUE(queue.PeekMessageA(m, w, PM_REMOVE));  // a window filter skips WM_QUIT
    EXPECT_EQ(m.message, 801u);
    EXPECT_EQ(queue.GetMessageA(m, kNoWindow), kGetMessageQuit);
    EXPECT_EQ(m.wParam, 3u);
}

TEST(MessageQueue, DefaultProcedureClosesOnScCloseAndASwallowingWindowStays) {
    MessageQueue queue;
    RecorderWindows windows(queue);
    const WindowHandle plain = windows.create();
    queue.SendMessageA(plain, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(queue.IsWindow(plain));
    EXPECT_EQ(windows.messagesOf(plain),
              (std::vector<std::uint32_t>{WM_CREATE, WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));

    const WindowHandle stubborn = queue.CreateWindowA(
        "Stubborn", [&](WindowHandle win, std::uint32_t m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_SYSCOMMAND && wp == SC_CLOSE) return 0;
            return queue.DefWindowProcA(win, m, wp, lp);
        });
    queue.SendMessageA(stubborn, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(queue.IsWindow(stubborn));
}

TEST(MessageQueue, RefusedCreationLeavesNoWindowAndListenerHearsEveryPost) {
    MessageQueue queue;
    int posts = 0;
    queue.setPostListener([&] { ++posts; });
    const WindowHandle refused = queue.CreateWindowA(
        "Refuses", [](WindowHandle, std::uint32_t m, WPARAM, LPARAM) -> LRESULT {
            return m == WM_CREATE ? kCreateRefused : 0;
        });
    EXPECT_EQ(refused, kNoWindow);
    EXPECT_EQ(queue.CreateWindowA("NoProcedure", WindowProcedure{}), kNoWindow);
    EXPECT_EQ(queue.CreateWindowA(
                  "Orphan", [](auto...) { return LRESULT{0}; }, 12345),
              kNoWindow);

    // A window that posts to itself while being created (as the plots do).
    const WindowHandle poster = queue.CreateWindowA(
        "Poster", [&](WindowHandle w, std::uint32_t m, WPARAM, LPARAM) -> LRESULT {
            if (m == WM_CREATE) queue.PostMessageA(w, MSG_REDRAW, 0, 0);
            return 0;
        });
    EXPECT_EQ(posts, 1);
    Message m;
    ASSERT_TRUE(queue.PeekMessageA(m, poster, PM_NOREMOVE));
    EXPECT_EQ(m.message, MSG_REDRAW);
}

}  // namespace
}  // namespace ressona
