#include "platform/messages/message_queue.h"

#include <vector>

namespace ressona {

WindowHandle MessageQueue::CreateWindowA(const std::string& className, WindowProcedure procedure,
                                         WindowHandle parent) {
    if (!procedure) return kNoWindow;
    if (parent != kNoWindow && !IsWindow(parent)) return kNoWindow;
    const WindowHandle window = nextHandle_++;
    auto record = std::make_shared<WindowRecord>();
    record->className = className;
    record->procedure = std::move(procedure);
    record->parent = parent;
    windows_.emplace(window, std::move(record));
    if (SendMessageA(window, WM_CREATE, 0, 0) == kCreateRefused) {
        DestroyWindow(window);
        return kNoWindow;
    }
    return window;
}

bool MessageQueue::DestroyWindow(WindowHandle window) {
    if (!IsWindow(window)) return false;
    SendMessageA(window, WM_DESTROY, 0, 0);
    // The procedure may have destroyed the window itself meanwhile.
    if (!IsWindow(window)) return true;
    std::vector<WindowHandle> children;
    for (const auto& [handle, record] : windows_) {
        if (record->parent == window) children.push_back(handle);
    }
    for (WindowHandle child : children) DestroyWindow(child);
    // The record stays alive while its procedure is still running further up the stack.
    windows_.erase(window);
    std::erase_if(queue_, [window](const QueuedMessage& q) { return q.message.window == window; });
    return true;
}

bool MessageQueue::IsWindow(WindowHandle window) const {
    return windows_.contains(window);
}

WindowHandle MessageQueue::GetParent(WindowHandle window) const {
    const auto record = find(window);
    return record ? record->parent : kNoWindow;
}

std::string MessageQueue::className(WindowHandle window) const {
    const auto record = find(window);
    return record ? record->className : std::string();
}

bool MessageQueue::isSelfOrDescendant(WindowHandle window, WindowHandle ancestor) const {
    // Parents always exist before their children, so the chain ends.
    while (window != kNoWindow) {
        if (window == ancestor) return true;
        window = GetParent(window);
    }
    return false;
}

bool MessageQueue::PostMessageA(WindowHandle window, std::uint32_t message, WPARAM wParam,
                                LPARAM lParam) {
    if (window != kNoWindow && !IsWindow(window)) return false;
    queue_.push_back({Message{window, message, wParam, lParam}, nextSequence_++});
    if (postListener_) postListener_();
    return true;
}

void MessageQueue::PostQuitMessage(int exitCode) {
    PostMessageA(kNoWindow, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

LRESULT MessageQueue::SendMessageA(WindowHandle window, std::uint32_t message, WPARAM wParam,
                                   LPARAM lParam) {
    // Holding the record keeps the procedure alive even if it destroys its window.
    const auto record = find(window);
    if (!record) return 0;
    return record->procedure(window, message, wParam, lParam);
}

LRESULT MessageQueue::DefWindowProcA(WindowHandle window, std::uint32_t message, WPARAM wParam,
                                     LPARAM /*lParam*/) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        SendMessageA(window, WM_CLOSE, 0, 0);
    } else if (message == WM_CLOSE) {
        DestroyWindow(window);
    }
    return 0;
}

bool MessageQueue::PeekMessageA(Message& out, WindowHandle filter, std::uint32_t removeMode) {
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (!matches(it->message, filter)) continue;
        out = it->message;
        if (removeMode == PM_REMOVE) queue_.erase(it);
        return true;
    }
    return false;
}

int MessageQueue::GetMessageA(Message& out, WindowHandle filter) {
    if (!PeekMessageA(out, filter, PM_REMOVE)) return kGetMessageNothing;
    return out.message == WM_QUIT ? kGetMessageQuit : 1;
}

LRESULT MessageQueue::DispatchMessageA(const Message& message) {
    if (message.window == kNoWindow) return 0;
    return SendMessageA(message.window, message.message, message.wParam, message.lParam);
}

std::size_t MessageQueue::dispatchPending() {
    const std::uint64_t end = nextSequence_;
    std::size_t dispatched = 0;
    while (!queue_.empty()) {
        const QueuedMessage front = queue_.front();
        if (front.sequence >= end || front.message.message == WM_QUIT) break;
        queue_.pop_front();
        DispatchMessageA(front.message);
        ++dispatched;
    }
    return dispatched;
}

bool MessageQueue::quitPosted() const {
    for (const QueuedMessage& q : queue_) {
        if (q.message.message == WM_QUIT) return true;
    }
    return false;
}

std::shared_ptr<MessageQueue::WindowRecord> MessageQueue::find(WindowHandle window) const {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second;
}

bool MessageQueue::matches(const Message& message, WindowHandle filter) const {
    if (filter == kNoWindow) return true;
    return isSelfOrDescendant(message.window, filter);
}

}  // namespace ressona
