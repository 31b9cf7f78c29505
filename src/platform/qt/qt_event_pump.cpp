// The message queue driven by Qt's event loop: a post schedules one queued
// call that dispatches what was queued at that moment; messages posted by the
// handlers schedule the next call, so input and painting get their turn in
// between. A WM_QUIT ends the loop that run() started (or, posted while no
// loop runs, makes the next run() return at once), and nothing is dispatched
// once it has been posted.

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <memory>

#include "platform/qt/qt_skin.h"

namespace ressona {

namespace {

class QtEventPump final : public EventPump {
  public:
    explicit QtEventPump(MessageQueue& queue) : queue_(queue) {
        queue_.setPostListener([this] { schedule(); });
        // What was posted before the pump existed is dispatched from the loop too.
        if (queue_.pendingCount() > 0) schedule();
    }
    ~QtEventPump() override { queue_.setPostListener({}); }
    QtEventPump(const QtEventPump&) = delete;
    QtEventPump& operator=(const QtEventPump&) = delete;

    int run() override {
        if (takeQuit()) return exitCode_;
        if (queue_.pendingCount() > 0) schedule();
        QEventLoop loop;
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
        return exitCode_;
    }

  private:
    void schedule() {
        if (scheduled_) return;
        scheduled_ = true;
        QMetaObject::invokeMethod(
            context_.get(), [this] { dispatch(); }, Qt::QueuedConnection);
    }

    void dispatch() {
        scheduled_ = false;
        // As many messages as were queued when the call started (whatever the
        // handlers post schedules the next call by itself). Once a WM_QUIT
        // waits, the program has ended: nothing queued before it runs any
        // more, as a closed dialog's messages go with its window.
        for (std::size_t left = queue_.pendingCount(); left > 0 && !queue_.quitPosted(); --left) {
            Message message;
            if (!queue_.PeekMessageA(message, kNoWindow, PM_REMOVE)) break;
            queue_.DispatchMessageA(message);
        }
        // A WM_QUIT outside run() waits for the next run() to take it.
        if (loop_ != nullptr && takeQuit()) loop_->exit(exitCode_);
    }

    // Takes a waiting WM_QUIT; what was queued before it is dropped unhandled.
    bool takeQuit() {
        if (!queue_.quitPosted()) return false;
        Message message;
        while (queue_.PeekMessageA(message, kNoWindow, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                exitCode_ = static_cast<int>(message.wParam);
                return true;
            }
        }
        return false;
    }

    MessageQueue& queue_;
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>();
    QEventLoop* loop_ = nullptr;
    bool scheduled_ = false;
    int exitCode_ = 0;
};

}  // namespace

std::unique_ptr<EventPump> createQtEventPump(MessageQueue& queue) {
    return std::make_unique<QtEventPump>(queue);
}

}  // namespace ressona
