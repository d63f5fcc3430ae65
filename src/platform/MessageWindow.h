#pragma once

#include <cstdint>

// A receiver of window-style messages (number + two 64-bit parameters) that may live on
// another thread. Post queues the message and returns at once; Send returns only once
// the receiver has handled it, so the parameters may point at the sender's stack.
class MessageWindow {
public:
    virtual ~MessageWindow() = default;
    virtual void Post(int msg, std::uint64_t wParam, std::int64_t lParam) = 0;
    virtual void Send(int msg, std::uint64_t wParam, std::int64_t lParam) = 0;
};
