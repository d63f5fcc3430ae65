#pragma once

#include <cstdint>
#include <ostream>
#include <string>

// A one-line progress bar for file decoding. It draws only on a terminal, so a redirected
// stderr receives error texts and nothing else, and not at all with --quiet.
//
// The line always fits the terminal: it is at most one column narrower than the window,
// so the cursor never reaches the last column and the line never wraps (a wrapped line
// cannot be taken back with a carriage return). Narrow windows get a shorter bar, then a
// shortened file name, then the percentage alone.
class ProgressBar {
public:
    // columns: the terminal's width; 0 asks the terminal on stderr at every redraw, so a
    // resized window is followed.
    ProgressBar(std::ostream& out, bool enabled, int columns = 0) : m_out(out), m_enabled(enabled), m_columns(columns) {}
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Whether the file descriptor is a terminal.
    static bool IsTerminal(int fd);
    // The width of the terminal on fd; else $COLUMNS; else 80.
    static int TerminalColumns(int fd);

    // "label [#####.....]  45%" for a terminal this many columns wide. The label's control
    // characters are shown as '?'; a label too long loses its beginning ("...name.wav").
    static std::string Line(const std::string& label, int percent, int columns);

    // Draws the bar; redraws only when the percentage, the label or the width changes.
    void Update(const std::string& label, std::int64_t done, std::int64_t total);
    // Takes the bar off its line, so the next text starts on a clean line.
    void Clear();
    // Clears whichever bar is on the screen (a warning is about to be printed).
    static void ClearVisible();

private:
    std::ostream& m_out;
    bool m_enabled;
    int m_columns;
    bool m_visible = false;
    int m_percent = -1;
    int m_drawnColumns = 0;
    std::string m_label;
};
