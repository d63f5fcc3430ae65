#pragma once

#include <string>
#include <string_view>

// Texts received off the air (TTY characters, FSK bytes, SAME headers) shown on a
// terminal: control characters and bytes that are no text would move the cursor, ring the
// bell or start an escape sequence, so they are shown as \xNN instead. The backslash is
// shown as \x5c, so every \x in a line is such a code.
class PrintableText {
public:
    // One character (a Unicode code point) as shown.
    static std::string Character(char32_t c);
    // A UTF-8 text as shown; bytes that are not valid UTF-8 are shown as \xNN each.
    static std::string Escape(std::string_view utf8);
    // "\xNN" for a byte.
    static std::string Code(unsigned byte);
};
