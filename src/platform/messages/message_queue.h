#pragma once
// The program's one message queue and its windows, on one thread. Posting
// appends a message; sending calls the destination's window procedure at once.
// Getting and peeking take the oldest message for a window and its children, so
// a handler can drain its own messages while other windows' messages stay
// queued in their order. Handles are never reused while the queue lives.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/messages/message.h"

namespace ressona {

using LRESULT = std::intptr_t;

// A window procedure: (window, message, wParam, lParam) -> result.
using WindowProcedure = std::function<LRESULT(WindowHandle, std::uint32_t, WPARAM, LPARAM)>;

// PeekMessage: leave the message queued or take it out.
inline constexpr std::uint32_t PM_NOREMOVE = 0;
inline constexpr std::uint32_t PM_REMOVE = 1;

// GetMessage's outcomes besides 1 (a message was taken).
inline constexpr int kGetMessageQuit = 0;      // WM_QUIT was taken
inline constexpr int kGetMessageNothing = -1;  // nothing matching waits; one thread cannot wait

// A window procedure's answer to WM_CREATE that refuses the creation.
inline constexpr LRESULT kCreateRefused = -1;

class MessageQueue final : public MessagePoster {
  public:
    MessageQueue() = default;
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // Makes a window of the named class with its procedure and an optional parent,
    // then sends it WM_CREATE. A procedure answering WM_CREATE with -1 refuses:
    // the window is destroyed again and kNoWindow returned.
    WindowHandle CreateWindowA(const std::string& className, WindowProcedure procedure,
                               WindowHandle parent = kNoWindow);
    // Sends WM_DESTROY to the window, then destroys its children the same way and
    // forgets the window and every message still queued for it. False for an
    // unknown handle. A procedure may destroy its own window.
    bool DestroyWindow(WindowHandle window);
    bool IsWindow(WindowHandle window) const;
    // The parent given at creation, or kNoWindow.
    WindowHandle GetParent(WindowHandle window) const;
    // The class name given at creation, or an empty text for an unknown handle.
    std::string className(WindowHandle window) const;
    // True when `window` is `ancestor` itself or lies below it.
    bool isSelfOrDescendant(WindowHandle window, WindowHandle ancestor) const;

    // Appends a message. kNoWindow addresses the thread (WM_QUIT); another
    // unknown handle is refused (false).
    bool PostMessageA(WindowHandle window, std::uint32_t message, WPARAM wParam,
                      LPARAM lParam) override;
    // Posts WM_QUIT with the exit code in wParam.
    void PostQuitMessage(int exitCode);
    // Calls the window's procedure at once and returns its result; 0 for an
    // unknown window.
    LRESULT SendMessageA(WindowHandle window, std::uint32_t message, WPARAM wParam, LPARAM lParam);
    // What a procedure does with a message it does not handle: WM_SYSCOMMAND
    // SC_CLOSE sends WM_CLOSE, WM_CLOSE destroys the window; others give 0.
    LRESULT DefWindowProcA(WindowHandle window, std::uint32_t message, WPARAM wParam,
                           LPARAM lParam);

    // The oldest message for `filter` or one of its children (any message when
    // filter is kNoWindow); with PM_REMOVE it is taken out. False when none waits.
    bool PeekMessageA(Message& out, WindowHandle filter, std::uint32_t removeMode);
    // Takes the oldest matching message: 1, kGetMessageQuit for WM_QUIT, or
    // kGetMessageNothing when no matching message waits.
    int GetMessageA(Message& out, WindowHandle filter);
    // Keyboard messages would become character messages here; the program
    // takes no typed characters from the queue, so nothing is added (false).
    bool TranslateMessage(const Message& /*message*/) const { return false; }
    // Calls the destination's procedure; 0 when the window no longer exists.
    LRESULT DispatchMessageA(const Message& message);

    // Dispatches, oldest first, only the messages that were queued when it
    // started, so handlers that post cannot keep it running. Stops before a
    // WM_QUIT and leaves it queued. Returns how many it dispatched.
    std::size_t dispatchPending();
    // Messages queued, for every window.
    std::size_t pendingCount() const { return queue_.size(); }
    // True when a WM_QUIT waits.
    bool quitPosted() const;

    // Called after every post, so that a skin can schedule a dispatch from its
    // own event loop. Empty by default.
    void setPostListener(std::function<void()> listener) { postListener_ = std::move(listener); }

  private:
    struct WindowRecord {
        std::string className;
        WindowProcedure procedure;
        WindowHandle parent = kNoWindow;
    };
    struct QueuedMessage {
        Message message;
        std::uint64_t sequence = 0;
    };

    std::shared_ptr<WindowRecord> find(WindowHandle window) const;
    bool matches(const Message& message, WindowHandle filter) const;

    std::map<WindowHandle, std::shared_ptr<WindowRecord>> windows_;
    std::deque<QueuedMessage> queue_;
    WindowHandle nextHandle_ = 1;
    std::uint64_t nextSequence_ = 0;
    std::function<void()> postListener_;
};

}  // namespace ressona
