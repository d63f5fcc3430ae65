#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A receiver for a capture source's messages that keeps each one (data messages with a
// copy of their bytes, since the buffer is the source's only during the call) and lets a
// test wait for them.
class CaptureSourceMessageLog {
public:
    struct Message {
        int msg;
        std::vector<std::uint8_t> bytes;
        std::thread::id thread;
    };

    static void Receive(void* receiver, int msg, std::uint64_t wparam, std::int64_t lparam);

    std::vector<Message> Messages() const;
    std::vector<int> Ids() const;
    int Count(int msg) const;
    // The bytes of every data message, in order.
    std::vector<std::uint8_t> Bytes() const;
    // Waits until count messages of this id have arrived; false when the limit passed
    // first (a hung source, not a slow one: the limit is generous).
    bool WaitFor(int msg, int count, std::chrono::seconds limit = std::chrono::seconds(30)) const;

    // Runs on the source's thread after a message has been kept.
    std::function<void(int msg)> onMessage;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<Message> m_messages;
};
