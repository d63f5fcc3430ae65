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
    std::condition_variable claimable, callerTurn;
    std::vector<State> state(count, State::kWaiting);
    std::size_t next = 0;     // the next item a worker may claim
    std::size_t emitted = 0;  // items handed back
    std::size_t started = 0;
    std::size_t waitingWorkers = 0;  // workers held back by the window
    bool emitting = false;           // a thread is handing items back
    auto stopping = [&stop] { return stop.load(std::memory_order_relaxed); };

    // Whoever finishes the item at the head hands back it and every finished one after
    // it, one thread at a time: short files then cost no wake-up of another thread each.
    // Called with the lock held.
    auto handBack = [&](std::unique_lock<std::mutex>& lock) {
        if (emitting) return;
        emitting = true;
        while (emitted < count && state[emitted] == State::kFinished) {
            const std::size_t item = emitted++;
            lock.unlock();
            emit(item);
            lock.lock();
        }
        emitting = false;
        if (waitingWorkers > 0) claimable.notify_all();
        // The caller waits for its own item's turn, or for the end.
        if (emitted == count || (state[emitted] == State::kWaiting && callerOnly(emitted))) callerTurn.notify_one();
    };
    auto run = [&](std::unique_lock<std::mutex>& lock, std::size_t worker, std::size_t item) {
        state[item] = State::kRunning;
        ++started;
        lock.unlock();
        work(worker, item);
        lock.lock();
        state[item] = State::kFinished;
        handBack(lock);
    };

    auto worker = [&](std::size_t index) {
        std::unique_lock lock(mutex);
        for (;;) {
            while (next < count && callerOnly(next)) ++next;
            if (stopping() || next >= count) return;
            if (next >= emitted + m_window) {
                ++waitingWorkers;
                claimable.wait_for(lock, kStopPoll);
                --waitingWorkers;
                continue;
            }
            run(lock, index, next++);
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(m_workers);
    for (std::size_t i = 0; i < m_workers; ++i) threads.emplace_back(worker, i);

    std::unique_lock lock(mutex);
    while (emitted < count && !stopping()) {
        const std::size_t item = emitted;
        // The caller's own item, or any item when there are no workers.
        if (!emitting && state[item] == State::kWaiting && (m_workers == 0 || callerOnly(item))) {
            run(lock, m_workers, item);
            continue;
        }
        callerTurn.wait_for(lock, kStopPoll);
    }
    lock.unlock();
    for (std::thread& t : threads) t.join();
    // Stopped: what was finished still goes out, in order; what never started does not.
    for (std::size_t item = emitted; item < count; ++item)
        if (state[item] == State::kFinished) emit(item);
    return started;
}
