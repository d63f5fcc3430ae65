#include "SameHeader.h"

#include <cstdio>

namespace {

// Reads the header from left to right; each step checks what is left before looking.
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_at == m_text.size(); }

    bool Literal(std::string_view expected) {
        if (m_text.substr(m_at, expected.size()) != expected) return false;
        m_at += expected.size();
        return true;
    }

    // The next character if it is one of these two; '\0' when neither (or at the end).
    char OneOf(char a, char b) {
        if (AtEnd() || (m_text[m_at] != a && m_text[m_at] != b)) return '\0';
        return m_text[m_at++];
    }

    // count characters that each pass the test.
    template <typename Test>
    std::optional<std::string_view> Field(std::size_t count, Test test) {
        if (m_text.size() - m_at < count) return std::nullopt;
        const std::string_view field = m_text.substr(m_at, count);
        for (char c : field)
            if (!test(static_cast<unsigned char>(c))) return std::nullopt;
        m_at += count;
        return field;
    }

    // count decimal digits as a number.
    std::optional<int> Number(std::size_t count) {
        const auto digits = Field(count, [](unsigned c) { return c >= '0' && c <= '9'; });
        if (!digits) return std::nullopt;
        int value = 0;
        for (char c : *digits) value = value * 10 + (c - '0');
        return value;
    }

private:
    std::string_view m_text;
    std::size_t m_at = 0;
};

bool Code(unsigned c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool Digit(unsigned c) {
    return c >= '0' && c <= '9';
}

// The station's name may hold a '/' or spaces, but no '-' (that ends it) and nothing
// unprintable.
bool SenderCharacter(unsigned c) {
    return c >= 0x20 && c <= 0x7E && c != '-';
}

std::string TwoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

}  // namespace

std::optional<SameHeader> SameHeader::Parse(std::string_view text) {
    Reader r(text);
    SameHeader h;
    if (!r.Literal("ZCZC-")) return std::nullopt;
    const auto originator = r.Field(3, Code);
    if (!originator || !r.Literal("-")) return std::nullopt;
    const auto event = r.Field(3, Code);
    if (!event || !r.Literal("-")) return std::nullopt;
    h.originator = *originator;
    h.event = *event;
    // Locations separated by '-', the last one followed by '+'.
    while (true) {
        const auto location = r.Field(6, Digit);
        if (!location || h.locations.size() == kMaxLocations) return std::nullopt;
        h.locations.emplace_back(*location);
        const char next = r.OneOf('-', '+');
        if (next == '+') break;
        if (next != '-') return std::nullopt;
    }
    const auto hours = r.Number(2);
    const auto minutes = r.Number(2);
    if (!hours || !minutes || *minutes > 59 || !r.Literal("-")) return std::nullopt;
    h.durationHours = *hours;
    h.durationMinutes = *minutes;
    const auto day = r.Number(3);
    const auto hour = r.Number(2);
    const auto minute = r.Number(2);
    if (!day || *day < 1 || *day > 366 || !hour || *hour > 23 || !minute || *minute > 59 || !r.Literal("-"))
        return std::nullopt;
    h.issueDay = *day;
    h.issueHour = *hour;
    h.issueMinute = *minute;
    const auto sender = r.Field(8, SenderCharacter);
    if (!sender || !r.Literal("-") || !r.AtEnd()) return std::nullopt;
    h.sender = *sender;
    return h;
}

std::string SameHeader::Summary() const {
    std::string places;
    for (const std::string& l : locations) places += (places.empty() ? "" : ",") + l;
    return "originator=" + originator + " event=" + event + " locations=" + places + " duration=" +
           TwoDigits(durationHours) + ":" + TwoDigits(durationMinutes) + " issued=day " + std::to_string(issueDay) +
           " " + TwoDigits(issueHour) + ":" + TwoDigits(issueMinute) + " UTC sender=" + sender;
}
