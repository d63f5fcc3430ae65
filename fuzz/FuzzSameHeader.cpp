#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../tools/PrintableText.h"
#include "../tools/SameHeader.h"

namespace {

std::string Digits(int value, int width) {
    std::string text = std::to_string(value);
    return std::string(width - static_cast<int>(text.size()), '0') + text;
}

// The header text a set of fields stands for.
std::string Compose(const SameHeader& h) {
    std::string text = "ZCZC-" + h.originator + "-" + h.event;
    for (const std::string& l : h.locations) text += "-" + l;
    return text + "+" + Digits(h.durationHours, 2) + Digits(h.durationMinutes, 2) + "-" + Digits(h.issueDay, 3) +
           Digits(h.issueHour, 2) + Digits(h.issueMinute, 2) + "-" + h.sender + "-";
}

}  // namespace

// The SAME header parser and the terminal escaping on arbitrary text received off the air.
// A header that parses must be exactly the text its fields compose (nothing skipped, nothing
// invented), and escaped text must hold no control byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto header = SameHeader::Parse(text)) {
        if (Compose(*header) != text || header->locations.size() > SameHeader::kMaxLocations) std::abort();
        if (header->Summary().empty()) std::abort();
    }
    for (const char c : PrintableText::Escape(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) std::abort();
    }
    return 0;
}
