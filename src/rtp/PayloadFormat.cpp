#include "rtp/PayloadFormat.h"

#include <array>
#include <cctype>
#include <string_view>

namespace {

struct StaticEntry {
    const char* encoding;
    int clockRate;
    int channels;
};

// The audio profile's fixed audio types, indexed by payload type. Types without an
// encoding are reserved, unassigned or video, and have no format here.
constexpr std::array<StaticEntry, 35> kStaticTypes = {{
    {"PCMU", 8000, 1},   // 0
    {nullptr, 0, 0},     // 1 reserved
    {nullptr, 0, 0},     // 2 reserved
    {"GSM", 8000, 1},    // 3
    {"G723", 8000, 1},   // 4
    {"DVI4", 8000, 1},   // 5
    {"DVI4", 16000, 1},  // 6
    {"LPC", 8000, 1},    // 7
    {"PCMA", 8000, 1},   // 8
    // G.722 samples at 16 kHz, but its RTP clock runs at 8000 for historical reasons.
    {"G722", 8000, 1},   // 9
    {"L16", 44100, 2},   // 10
    {"L16", 44100, 1},   // 11
    {"QCELP", 8000, 1},  // 12
    {"CN", 8000, 1},     // 13
    {"MPA", 90000, 1},   // 14
    {"G728", 8000, 1},   // 15
    {"DVI4", 11025, 1},  // 16
    {"DVI4", 22050, 1},  // 17
    {"G729", 8000, 1},   // 18
}};

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

}  // namespace

std::optional<PayloadFormat> PayloadFormat::Static(int payloadType) {
    if (payloadType < 0 || payloadType >= static_cast<int>(kStaticTypes.size())) return std::nullopt;
    const StaticEntry& entry = kStaticTypes[static_cast<std::size_t>(payloadType)];
    if (entry.encoding == nullptr) return std::nullopt;
    PayloadFormat format;
    format.payloadType = payloadType;
    format.encoding = entry.encoding;
    format.clockRate = entry.clockRate;
    format.channels = entry.channels;
    return format;
}

bool PayloadFormat::IsTelephoneEvent() const { return EqualNoCase(encoding, "telephone-event"); }
