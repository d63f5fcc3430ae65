#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Joins the characters that arrive one event at a time (TTY text, FSK data bytes) into
// readable lines, each stamped with its first character's position.
//
// TTY text: CR and LF end a line and are not shown; the letters and figures shifts and NUL
// (Baudot's blank, the idle code) are dropped, since they carry no text; other control
// characters are shown as \xNN.
// Data: every byte is shown, printable ASCII as itself and the others as \xNN (nothing of
// the data is lost); a LF byte, shown too, ends its line.
// Both: a pause of more than kPauseSeconds before a character ends the line before it, and
// a line ends when its text reaches kMaxLineBytes.
class TextLineJoiner {
public:
    enum class Kind { Text, Data };

    static constexpr double kPauseSeconds = 2.0;
    static constexpr std::size_t kMaxLineBytes = 240;

    struct Line {
        std::string text;
        std::int32_t position = 0;  // of the line's first character
        double seconds = 0.0;
    };

    explicit TextLineJoiner(Kind kind) : m_kind(kind) {}

    // One received character (RecvChar and RawCode of its event); the lines it completes,
    // oldest first.
    std::vector<Line> Add(char16_t character, std::int32_t rawCode, std::int32_t position, double seconds);
    // The line in progress, if any, ended here.
    std::optional<Line> Flush();
    bool Pending() const { return m_line.has_value(); }

private:
    Kind m_kind;
    std::optional<Line> m_line;
    double m_lastSeconds = 0.0;
};
