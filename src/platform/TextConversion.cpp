#include "platform/TextConversion.h"

#include <cstring>

std::string Latin1ToUtf8(const char* text) {
    return text == nullptr ? std::string() : Latin1ToUtf8(text, std::strlen(text));
}

std::string Latin1ToUtf8(const char* text, std::size_t length) {
    std::string out;
    if (text == nullptr) return out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}
