#include "platform/EventWindow.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

struct QueuedMessage {
    int msg;
    std::uint64_t wParam;
    std::int64_t lParam;
    // For a sent message: set once the owner has handled it (or the window is gone).
    bool* done = nullptr;
};

}  // namespace

// Shared with waiting senders, so a sender released by the destructor can still leave
// through the mutex after the window object is gone.
struct EventWindow::Queue {
    mutable std::mutex mutex;
    std::condition_variable arrived;  // the owner waits for messages
    std::condition_variable handled;  // senders wait for their message
    std::deque<QueuedMessage> sent;
    std::deque<QueuedMessage> posted;
    bool closed = false;

    bool Take(QueuedMessage& message) {
        std::deque<QueuedMessage>& from = !sent.empty() ? sent : posted;
        if (from.empty()) return false;
        message = from.front();
        from.pop_front();
        return true;
    }
};

EventWindow::EventWindow(Handler handler)
    : m_queue(std::make_shared<Queue>()), m_owner(std::this_thread::get_id()), m_handler(std::move(handler)) {}

EventWindow::~EventWindow() {
    std::lock_guard lock(m_queue->mutex);
    m_queue->closed = true;
    for (QueuedMessage& message : m_queue->sent) *message.done = true;
    m_queue->sent.clear();
    m_queue->posted.clear();
    m_queue->handled.notify_all();
}

void EventWindow::Post(int msg, std::uint64_t wParam, std::int64_t lParam) {
    std::lock_guard lock(m_queue->mutex);
    if (m_queue->closed) return;
    m_queue->posted.push_back({msg, wParam, lParam});
    m_queue->arrived.notify_all();
}

void EventWindow::Send(int msg, std::uint64_t wParam, std::int64_t lParam) {
    if (std::this_thread::get_id() == m_owner) {
        m_handler(msg, wParam, lParam);
        return;
    }
    const std::shared_ptr<Queue> queue = m_queue;
    bool done = false;
    std::unique_lock lock(queue->mutex);
    if (queue->closed) return;
    queue->sent.push_back({msg, wParam, lParam, &done});
    queue->arrived.notify_all();
    queue->handled.wait(lock, [&] { return done; });
}

int EventWindow::DispatchEvents() {
    if (std::this_thread::get_id() != m_owner) return 0;
    int count = 0;
    for (;;) {
        QueuedMessage message;
        {
            std::lock_guard lock(m_queue->mutex);
            if (!m_queue->Take(message)) return count;
        }
        // The handler runs unlocked: it may post, send from elsewhere, or dispatch again.
        m_handler(message.msg, message.wParam, message.lParam);
        ++count;
        if (message.done != nullptr) {
            std::lock_guard lock(m_queue->mutex);
            *message.done = true;
            m_queue->handled.notify_all();
        }
    }
}

int EventWindow::WaitEvents(std::chrono::milliseconds timeout) {
    if (std::this_thread::get_id() != m_owner) return 0;
    {
        std::unique_lock lock(m_queue->mutex);
        m_queue->arrived.wait_for(lock, timeout,
                                  [&] { return !m_queue->sent.empty() || !m_queue->posted.empty(); });
    }
    return DispatchEvents();
}

std::size_t EventWindow::Pending() const {
    std::lock_guard lock(m_queue->mutex);
    return m_queue->sent.size() + m_queue->posted.size();
}
