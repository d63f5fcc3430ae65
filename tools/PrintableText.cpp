#include "PrintableText.h"

#include <cstdio>

namespace {

bool Shown(char32_t c) {
    // C0 controls, DEL and the C1 controls (which some terminals obey) are codes.
    return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) && c != '\\' && !(c >= 0xD800 && c <= 0xDFFF) &&
           c <= 0x10FFFF;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point of the UTF-8 sequence at text[i] and its length, or length 0 when the
// bytes there are not a valid (shortest-form) sequence.
std::size_t Decode(std::string_view text, std::size_t i, char32_t& c) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string PrintableText::Code(unsigned byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", byte & 0xFFu);
    return text;
}

std::string PrintableText::Character(char32_t c) {
    std::string out;
    if (Shown(c))
        AppendUtf8(out, c);
    else if (c <= 0xFF)
        out = Code(static_cast<unsigned>(c));
    else
        AppendUtf8(out, U'\uFFFD');
    return out;
}

std::string PrintableText::Escape(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        const std::size_t length = Decode(utf8, i, c);
        if (length == 0) {
            out += Code(static_cast<unsigned char>(utf8[i]));
            ++i;
        } else {
            out += Character(c);
            i += length;
        }
    }
    return out;
}
