#include "rtp/SipMessage.h"

#include <algorithm>

#include "rtp/SipText.h"

namespace {

constexpr std::string_view kVersion = "SIP/2.0";
constexpr std::uint32_t kMinStatus = 100;
constexpr std::uint32_t kMaxStatus = 699;
constexpr std::uint32_t kMaxContentLength = 65535;  // a UDP datagram holds no more

// A method is a token: letters, digits and a few marks.
bool IsTokenChar(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-.!%*_+`'~").find(c) != std::string_view::npos;
}

bool IsSdp(std::string_view contentType) {
    const std::string_view type = SipText::Trim(contentType.substr(0, contentType.find(';')));
    return SipText::EqualNoCase(type, "application/sdp");
}

}  // namespace

bool SipMessage::ParseStartLine(std::string_view line, SipMessage& message) {
    if (line.size() > kMaxLineLength) return false;
    if (line.starts_with(kVersion) && line.size() > kVersion.size() && line[kVersion.size()] == ' ') {
        std::string_view rest = line.substr(kVersion.size() + 1);
        const std::string_view code = rest.substr(0, std::min(rest.find(' '), rest.size()));
        const auto status = code.size() == 3 ? SipText::ParseNumber(code, kMaxStatus) : std::nullopt;
        if (!status || *status < kMinStatus) return false;
        message.request = false;
        message.status = static_cast<int>(*status);
        return true;
    }
    // METHOD SP Request-URI SP SIP/2.0, single spaces as the grammar has them.
    const std::size_t firstSpace = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == 0 || firstSpace == lastSpace) return false;
    const std::string_view method = line.substr(0, firstSpace);
    const std::string_view uri = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    if (line.substr(lastSpace + 1) != kVersion || method.size() > kMaxMethodLength) return false;
    if (!std::all_of(method.begin(), method.end(), IsTokenChar)) return false;
    if (uri.empty() || uri.find(' ') != std::string_view::npos || uri.find(':') == std::string_view::npos) return false;
    message.request = true;
    message.method = std::string(method);
    message.status = 0;
    return true;
}

std::optional<SipMessage> SipMessage::Parse(std::span<const std::uint8_t> datagram) {
    std::string_view text(reinterpret_cast<const char*>(datagram.data()), datagram.size());
    const auto startLine = SipText::NextLine(text);
    SipMessage message;
    if (!startLine || !ParseStartLine(*startLine, message)) return std::nullopt;

    std::string_view callId;
    std::optional<std::uint32_t> contentLength;
    std::optional<std::string_view> contentType;
    bool ended = false;
    for (std::size_t headers = 0; headers <= kMaxHeaders; ++headers) {
        const auto line = SipText::NextLine(text);
        if (!line) break;
        if (line->empty()) {
            ended = true;
            break;
        }
        // Folded continuations and overlong lines are passed over, as is a line without a
        // colon: none of them can be a header read here.
        if (SipText::IsSpace(line->front()) || line->size() > kMaxLineLength) continue;
        const std::size_t colon = line->find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = SipText::Trim(line->substr(0, colon));
        const std::string_view value = SipText::Trim(line->substr(colon + 1));
        if (SipText::EqualNoCase(name, "call-id") || SipText::EqualNoCase(name, "i"))
            callId = value;
        else if (SipText::EqualNoCase(name, "content-length") || SipText::EqualNoCase(name, "l"))
            contentLength = SipText::ParseNumber(value, kMaxContentLength);
        else if (SipText::EqualNoCase(name, "content-type") || SipText::EqualNoCase(name, "c"))
            contentType = value;
    }
    if (!ended || callId.empty() || callId.size() > kMaxCallIdLength) return std::nullopt;
    message.callId = std::string(callId);

    std::string_view body = text;
    if (contentLength) body = body.substr(0, *contentLength);
    // Without a Content-Type a body that reads as SDP is taken for one.
    if (!body.empty() && (!contentType || IsSdp(*contentType))) {
        if (auto offers = SessionDescription::ParseAudio(body)) message.media = std::move(*offers);
    }
    return message;
}
