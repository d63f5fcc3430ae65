#include "Interruption.h"

#include <csignal>

namespace {

// Lock-free, so the handler may set it.
std::atomic<bool> g_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    g_requested.store(true, std::memory_order_relaxed);
}

}  // namespace

Interruption::Interruption() {
    g_requested.store(false);
    // A program started with SIGINT ignored (a background job of a script) keeps it so:
    // the Ctrl-C meant for the script's foreground is not for it.
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    if (before.sa_handler == SIG_IGN) return;
    m_caught = true;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Reads go on where they were (SA_RESTART); the second Ctrl-C finds the default
    // action back (SA_RESETHAND) and ends the program.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

Interruption::~Interruption() {
    if (m_caught) std::signal(SIGINT, SIG_DFL);
}

const std::atomic<bool>& Interruption::Requested() {
    return g_requested;
}

int Interruption::ExitStatus() {
    return 128 + SIGINT;
}
