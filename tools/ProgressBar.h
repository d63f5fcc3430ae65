#pragma once

#include <cstdint>
#include <ostream>
#include <string>

// A one-line progress bar for file decoding. It draws only on a terminal, so a redirected
// stderr receives error texts and nothing else.
class ProgressBar {
public:
    ProgressBar(std::ostream& out, bool enabled) : m_out(out), m_enabled(enabled) {}

    // Whether the file descriptor is a terminal.
    static bool IsTerminal(int fd);

    // Draws "label [#####.....]  45%"; redraws only when the percentage changes.
    void Update(const std::string& label, std::int64_t done, std::int64_t total);
    // Takes the bar off its line, so the next text starts on a clean line.
    void Clear();

private:
    std::ostream& m_out;
    bool m_enabled;
    bool m_visible = false;
    int m_percent = -1;
    std::string m_label;
};
