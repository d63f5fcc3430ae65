#include "ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "Verbosity.h"

namespace {

constexpr int kBarWidth = 30;     // the bar on a wide terminal
constexpr int kShortestBar = 10;  // below this the bar says too little to be worth its room
constexpr int kPercentWidth = 4;  // "100%"

// The bar on the screen, if any; one command draws one bar at a time.
ProgressBar* g_visible = nullptr;

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Columns a text takes. A character outside ASCII is counted as two: a wide (East Asian)
// character takes two, and counting every one so keeps the line short enough whatever
// the terminal makes of it.
int Width(const std::string& text) {
    int width = 0;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) width += 1;
        else if (!IsContinuation(u)) width += 2;
    }
    return width;
}

// A file name may hold any byte but '/' and NUL: a control character would move the
// cursor or end the line.
std::string Printable(const std::string& label) {
    std::string out = label;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

// The end of the text, after "...", in at most maxWidth columns (at least 4).
std::string Tail(const std::string& text, int maxWidth) {
    if (Width(text) <= maxWidth) return text;
    std::size_t start = text.size();
    int width = 3;
    while (start > 0) {
        std::size_t begin = start - 1;
        while (begin > 0 && IsContinuation(static_cast<unsigned char>(text[begin]))) --begin;
        const int w = Width(text.substr(begin, start - begin));
        if (width + w > maxWidth) break;
        width += w;
        start = begin;
    }
    return "..." + text.substr(start);
}

std::string Percent(int percent) {
    char text[8];
    std::snprintf(text, sizeof text, "%3d%%", std::clamp(percent, 0, 100));
    return text;
}

}  // namespace

ProgressBar::~ProgressBar() {
    if (g_visible == this) g_visible = nullptr;
}

bool ProgressBar::IsTerminal(int fd) {
    return isatty(fd) == 1;
}

int ProgressBar::TerminalColumns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        const int n = std::atoi(columns);
        if (n > 0) return n;
    }
    return 80;
}

std::string ProgressBar::Line(const std::string& label, int percent, int columns) {
    const int room = columns - 1;
    const std::string shownPercent = Percent(percent);
    if (room < kPercentWidth) return "";
    std::string name = Printable(label);
    // label + " [" + bar + "] " + percent
    const int around = 4 + kPercentWidth;
    int bar = std::min(kBarWidth, room - Width(name) - around);
    if (bar < kShortestBar && room - around - kShortestBar >= 7) {
        name = Tail(name, room - around - kShortestBar);
        bar = kShortestBar;
    }
    if (bar >= kShortestBar) {
        const int filled = std::clamp(percent, 0, 100) * bar / 100;
        return name + " [" + std::string(filled, '#') + std::string(bar - filled, '.') + "] " + shownPercent;
    }
    // No room for a bar: the name and the percentage, or the percentage alone.
    if (room - kPercentWidth - 1 >= 7) return Tail(name, room - kPercentWidth - 1) + " " + shownPercent;
    return shownPercent;
}

void ProgressBar::Update(const std::string& label, std::int64_t done, std::int64_t total) {
    if (!m_enabled || Verbosity::Quiet() || total <= 0) return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(done, 0, total) * 100 / total);
    const int columns = m_columns > 0 ? m_columns : TerminalColumns(STDERR_FILENO);
    if (m_visible && percent == m_percent && label == m_label && columns == m_drawnColumns) return;
    m_percent = percent;
    m_label = label;
    m_drawnColumns = columns;
    m_out << "\r\033[K" << Line(label, percent, columns) << std::flush;
    m_visible = true;
    g_visible = this;
}

void ProgressBar::Clear() {
    if (!m_visible) return;
    m_out << "\r\033[K" << std::flush;
    m_visible = false;
    if (g_visible == this) g_visible = nullptr;
}

void ProgressBar::ClearVisible() {
    if (g_visible != nullptr) g_visible->Clear();
}
