#include "TextLineJoiner.h"

#include "PrintableText.h"

std::vector<TextLineJoiner::Line> TextLineJoiner::Add(char16_t character, std::int32_t rawCode,
                                                      std::int32_t position, double seconds) {
    std::vector<Line> done;
    if (m_line && seconds - m_lastSeconds > kPauseSeconds) done.push_back(*Flush());
    m_lastSeconds = seconds;

    std::string shown;
    bool endsLine = false;
    if (m_kind == Kind::Text) {
        if (character == '\r' || character == '\n') {
            if (m_line) done.push_back(*Flush());
            return done;
        }
        // Character 0 is a shift (raw code 27 figures, 31 letters), which changes how what
        // follows reads but is no text of its own, or NUL.
        if (character == 0) return done;
        shown = PrintableText::Character(character);
    } else {
        // The data byte; DataBits never exceeds 8.
        const unsigned byte = static_cast<unsigned>(rawCode) & 0xFFu;
        shown = byte >= 0x20 && byte < 0x7F && byte != '\\' ? std::string(1, static_cast<char>(byte))
                                                             : PrintableText::Code(byte);
        endsLine = byte == '\n';
    }
    if (m_line && m_line->text.size() + shown.size() > kMaxLineBytes) done.push_back(*Flush());
    if (!m_line) m_line = Line{std::string(), position, seconds};
    m_line->text += shown;
    if (endsLine) done.push_back(*Flush());
    return done;
}

std::optional<TextLineJoiner::Line> TextLineJoiner::Flush() {
    std::optional<Line> line = std::move(m_line);
    m_line.reset();
    return line;
}
