#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/MessageWindow.h"

// A message queue owned by the thread that created it, delivering to one handler on that
// thread. Post queues a message and returns at once. Send returns only once the owner
// thread has handled the message, so its parameters may point at the sender's stack;
// sent by the owner thread itself, the message is handled at once. The owner handles
// pending messages when it calls DispatchEvents or WaitEvents: messages sent from other
// threads first (their senders are waiting), then posted ones in the order they came.
// Destroying the window drops whatever is queued and releases every waiting sender.
class EventWindow : public MessageWindow {
public:
    using Handler = std::function<void(int msg, std::uint64_t wParam, std::int64_t lParam)>;

    explicit EventWindow(Handler handler);
    EventWindow(const EventWindow&) = delete;
    EventWindow& operator=(const EventWindow&) = delete;
    ~EventWindow() override;

    void Post(int msg, std::uint64_t wParam, std::int64_t lParam) override;
    void Send(int msg, std::uint64_t wParam, std::int64_t lParam) override;

    // Handles every message pending now; returns how many. Only the owner thread
    // handles messages: from any other thread this does nothing and returns 0.
    int DispatchEvents();
    // Waits up to the timeout for a message to arrive, then handles what is pending.
    // Returns how many were handled (0 on timeout or from another thread).
    int WaitEvents(std::chrono::milliseconds timeout);

    std::thread::id Owner() const { return m_owner; }
    std::size_t Pending() const;

private:
    struct Queue;
    std::shared_ptr<Queue> m_queue;
    std::thread::id m_owner;
    Handler m_handler;
};
