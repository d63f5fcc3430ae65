#pragma once

#include <atomic>

// Ctrl-C (SIGINT) during a batch: the first asks the run to stop (no new file is
// started, the files being decoded are left, nothing half-written is kept) and the run
// ends with its summary; a second ends the program at once, as Ctrl-C always does.
// One per process, while a batch runs. A program that was started with SIGINT ignored
// leaves it ignored.
class Interruption {
public:
    // Catches SIGINT until destroyed; the default action is restored then.
    Interruption();
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    // Set by the signal; the workers read it.
    static const std::atomic<bool>& Requested();
    // The exit status of a run ended so: 128 + SIGINT, as a shell reports a program a
    // Ctrl-C ended.
    static int ExitStatus();

private:
    bool m_caught = false;
};
