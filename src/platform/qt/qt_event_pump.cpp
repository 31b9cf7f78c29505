// The message queue driven by Qt's event loop: a post schedules one queued
// call that dispatches what was queued at that moment; messages posted by the
// handlers schedule the next call, so input and painting get their turn in
// between. A WM_QUIT ends the loop that run() started (or, posted while no
// loop runs, makes the next run() return at once).

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
        QMetaObject::invokeMethod(context_.get(), [this] { dispatch(); }, Qt::QueuedConnection);
    }

    void dispatch() {
        scheduled_ = false;
        // Whatever the handlers post schedules the next call by itself.
        queue_.dispatchPending();
        // A WM_QUIT outside run() waits for the next run() to take it.
        if (loop_ != nullptr && takeQuit()) loop_->exit(exitCode_);
    }

    // Takes a WM_QUIT that waits at the head of the queue.
    bool takeQuit() {
        Message head;
        if (!queue_.PeekMessageA(head, kNoWindow, PM_NOREMOVE) || head.message != WM_QUIT) {
            return false;
        }
        queue_.PeekMessageA(head, kNoWindow, PM_REMOVE);
        exitCode_ = static_cast<int>(head.wParam);
        return true;
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
