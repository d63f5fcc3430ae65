#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// Reading the text of SIP messages and SDP bodies: lines, trimming, names without case,
// bounded numbers. Views only, so a datagram that is not SIP costs no allocation.
namespace SipText {

// Takes one line off the front of text, without its CRLF or bare LF; the last line needs
// no line end. Nothing once the text is used up.
inline std::optional<std::string_view> NextLine(std::string_view& text) {
    if (text.empty()) return std::nullopt;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

inline bool IsSpace(char c) { return c == ' ' || c == '\t'; }

inline std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// Decimal digits only, at most max; nothing for an empty text, a sign, or any value above
// max however many digits it has.
inline std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t max) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > max) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// Splits off the first word (up to a space or tab) and skips the spaces after it.
inline std::string_view NextWord(std::string_view& text) {
    std::size_t end = 0;
    while (end < text.size() && !IsSpace(text[end])) ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    return word;
}

}  // namespace SipText
