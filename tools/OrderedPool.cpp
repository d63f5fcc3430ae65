#include "OrderedPool.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// How often a waiting thread looks at the stop flag: a signal handler sets it and cannot
// wake a condition variable.
constexpr auto kStopPoll = std::chrono::milliseconds(50);

enum class State : unsigned char { kWaiting, kRunning, kFinished };

}  // namespace

std::size_t OrderedPool::Run(std::size_t count, const CallerOnly& callerOnly, const Work& work, const Emit& emit,
                             const std::atomic<bool>& stop) {
    std::mutex mutex;
    std::condition_variable claimable, finished;
    std::vector<State> state(count, State::kWaiting);
    std::size_t next = 0;     // the next item a worker may claim
    std::size_t emitted = 0;  // items handed back
    std::size_t started = 0;
    auto stopping = [&stop] { return stop.load(std::memory_order_relaxed); };

    auto worker = [&](std::size_t index) {
        std::unique_lock lock(mutex);
        for (;;) {
            while (next < count && callerOnly(next)) ++next;
            if (stopping() || next >= count) return;
            if (next >= emitted + m_window) {
                claimable.wait_for(lock, kStopPoll);
                continue;
            }
            const std::size_t item = next++;
            state[item] = State::kRunning;
            ++started;
            lock.unlock();
            work(index, item);
            lock.lock();
            state[item] = State::kFinished;
            finished.notify_one();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(m_workers);
    for (std::size_t i = 0; i < m_workers; ++i) threads.emplace_back(worker, i);

    std::unique_lock lock(mutex);
    while (emitted < count) {
        const std::size_t item = emitted;
        if (state[item] == State::kFinished) {
            ++emitted;
            lock.unlock();
            emit(item);
            lock.lock();
            claimable.notify_all();
            continue;
        }
        if (stopping()) break;
        // The caller's own item, or any item when there are no workers.
        if (state[item] == State::kWaiting && (m_workers == 0 || callerOnly(item))) {
            state[item] = State::kRunning;
            ++started;
            lock.unlock();
            work(m_workers, item);
            lock.lock();
            state[item] = State::kFinished;
            continue;
        }
        finished.wait_for(lock, kStopPoll);
    }
    lock.unlock();
    for (std::thread& t : threads) t.join();
    // Stopped: what was finished still goes out, in order; what never started does not.
    for (std::size_t item = emitted; item < count; ++item)
        if (state[item] == State::kFinished) emit(item);
    return started;
}
