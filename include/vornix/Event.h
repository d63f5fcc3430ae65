#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace Orvane::VornixNet {

class PhoneVornix;

// One public event: handlers are added with += (which returns a handle) and removed
// with -= that handle. Handlers run in the order they were added, on the thread that
// raises the event; a handler may add or remove handlers, which applies from the next
// raise.
template <typename Args>
class Event {
public:
    using Handler = std::function<void(PhoneVornix& sender, const Args& e)>;
    using Handle = std::uint64_t;

    Handle operator+=(Handler handler) {
        std::lock_guard lock(m_mutex);
        m_handlers.emplace_back(++m_lastHandle, std::move(handler));
        return m_lastHandle;
    }
    void operator-=(Handle handle) {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_handlers, [handle](const auto& h) { return h.first == handle; });
    }
    bool HasHandlers() const {
        std::lock_guard lock(m_mutex);
        return !m_handlers.empty();
    }
    // Raising with no handler does nothing.
    void Raise(PhoneVornix& sender, const Args& e) const {
        std::vector<std::pair<Handle, Handler>> handlers;
        {
            std::lock_guard lock(m_mutex);
            if (m_handlers.empty()) return;
            handlers = m_handlers;
        }
        for (const auto& h : handlers) h.second(sender, e);
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<Handle, Handler>> m_handlers;
    Handle m_lastHandle = 0;
};

}  // namespace Orvane::VornixNet
