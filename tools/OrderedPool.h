#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

// Runs numbered items on worker threads and hands them back in their own order, the way
// a batch prints its files: item k is handed back only after every item before it,
// whichever worker finished first. Items are handed back one at a time, by the thread
// that finished the item at the head of the line (so a batch of short files costs no
// wake-up of another thread per item). Workers run ahead of the items handed back by at
// most a window, so a long item early in the batch holds only that many finished ones
// in memory.
//
// Some items are the caller's own (standard input, read as it arrives and never in
// parallel with itself): the caller runs those itself when their turn comes, after
// every item before them has been handed back.
class OrderedPool {
public:
    // Does item on a worker; worker is 0 .. workers-1, or workers for the caller. Must
    // not throw.
    using Work = std::function<void(std::size_t worker, std::size_t item)>;
    // Hands a finished item back, in item order, never two at once; on any of the threads.
    using Emit = std::function<void(std::size_t item)>;
    using CallerOnly = std::function<bool(std::size_t item)>;

    // workers: threads started (0: the caller runs every item itself); window: how far
    // the workers may run ahead of the items handed back (at least 1).
    OrderedPool(std::size_t workers, std::size_t window) : m_workers(workers), m_window(window < 1 ? 1 : window) {}

    // Runs items 0 .. count-1 and returns when all are handed back. Once stop is set, no
    // item is started: the items being worked on are finished (Work is expected to cut
    // them short), every finished item is handed back in order, and the items never
    // started are skipped. Returns how many items were started.
    std::size_t Run(std::size_t count, const CallerOnly& callerOnly, const Work& work, const Emit& emit,
                    const std::atomic<bool>& stop);

private:
    std::size_t m_workers;
    std::size_t m_window;
};
