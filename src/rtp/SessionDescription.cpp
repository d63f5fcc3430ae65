#include "rtp/SessionDescription.h"

#include <algorithm>
#include <cstdint>

#include "rtp/SipText.h"

namespace {

constexpr std::uint32_t kMaxPayloadType = 127;
constexpr std::uint32_t kMaxPort = 65535;
// Beyond any audio clock and channel count in use; a larger number is a damaged line.
constexpr std::uint32_t kMaxClockRate = 1'000'000;
constexpr std::uint32_t kMaxChannels = 64;

bool IsRtpTransport(std::string_view transport) {
    for (const std::string_view known : {"RTP/AVP", "RTP/SAVP", "RTP/AVPF", "RTP/SAVPF"})
        if (SipText::EqualNoCase(transport, known)) return true;
    return false;
}

}  // namespace

struct SessionDescription::PendingMedia {
    bool audio = false;  // an RTP audio stream; other sections are read only to be passed over
    std::uint16_t port = 0;
    std::vector<PayloadFormat> formats;
    std::optional<Endpoint> address;
};

std::optional<std::vector<MediaOffer>> SessionDescription::ParseAudio(std::string_view body) {
    std::string_view text = body;
    const auto first = SipText::NextLine(text);
    if (!first || !first->starts_with("v=")) return std::nullopt;

    std::vector<MediaOffer> offers;
    std::optional<Endpoint> sessionAddress;
    std::optional<PendingMedia> media;
    while (const auto line = SipText::NextLine(text)) {
        if (line->size() < 2 || (*line)[1] != '=' || line->size() > kMaxLineLength) continue;
        const char type = (*line)[0];
        const std::string_view value = line->substr(2);
        if (type == 'm') {
            if (media) Finish(*media, sessionAddress, offers);
            media = ParseMediaLine(value);
            if (!media) media.emplace();  // a section we cannot read is passed over whole
        } else if (type == 'c') {
            const auto address = ParseConnection(value);
            if (!address) continue;
            if (media)
                media->address = address;
            else
                sessionAddress = address;
        } else if (type == 'a' && media && media->audio && value.starts_with("rtpmap:")) {
            ApplyRtpmap(value.substr(7), *media);
        }
    }
    if (media) Finish(*media, sessionAddress, offers);
    return offers;
}

// "audio 49170 RTP/AVP 0 8 101", the port perhaps with a count ("49170/2").
std::optional<SessionDescription::PendingMedia> SessionDescription::ParseMediaLine(std::string_view value) {
    PendingMedia media;
    const std::string_view kind = SipText::NextWord(value);
    std::string_view portText = SipText::NextWord(value);
    portText = portText.substr(0, portText.find('/'));
    const std::string_view transport = SipText::NextWord(value);
    const auto port = SipText::ParseNumber(portText, kMaxPort);
    if (!port) return std::nullopt;
    media.port = static_cast<std::uint16_t>(*port);
    media.audio = SipText::EqualNoCase(kind, "audio") && IsRtpTransport(transport);
    if (!media.audio) return media;

    while (!value.empty() && media.formats.size() < kMaxFormats) {
        const auto type = SipText::ParseNumber(SipText::NextWord(value), kMaxPayloadType);
        if (!type) continue;
        const int payloadType = static_cast<int>(*type);
        const bool seen = std::any_of(media.formats.begin(), media.formats.end(),
                                      [&](const PayloadFormat& f) { return f.payloadType == payloadType; });
        if (seen) continue;
        PayloadFormat format = PayloadFormat::Static(payloadType).value_or(PayloadFormat{});
        format.payloadType = payloadType;
        media.formats.push_back(std::move(format));
    }
    return media;
}

// "IN IP4 192.0.2.1", "IN IP6 2001:db8::1", a multicast address perhaps with a TTL and a
// count after slashes.
std::optional<Endpoint> SessionDescription::ParseConnection(std::string_view value) {
    if (SipText::NextWord(value) != "IN") return std::nullopt;
    const std::string_view family = SipText::NextWord(value);
    std::string_view addressText = SipText::NextWord(value);
    addressText = addressText.substr(0, addressText.find('/'));
    const bool v6 = family == "IP6";
    if (!v6 && family != "IP4") return std::nullopt;
    Endpoint endpoint;
    if (!Endpoint::ParseAddress(std::string(addressText), endpoint) || endpoint.v6 != v6) return std::nullopt;
    return endpoint;
}

// "101 telephone-event/8000", "97 opus/48000/2", for a type on the m= line only.
void SessionDescription::ApplyRtpmap(std::string_view value, PendingMedia& media) {
    const auto type = SipText::ParseNumber(SipText::NextWord(value), kMaxPayloadType);
    if (!type) return;
    const auto format = std::find_if(media.formats.begin(), media.formats.end(),
                                     [&](const PayloadFormat& f) { return f.payloadType == static_cast<int>(*type); });
    if (format == media.formats.end()) return;

    const std::string_view description = SipText::Trim(value);
    const std::size_t slash = description.find('/');
    if (slash == std::string_view::npos) return;
    const std::string_view encoding = description.substr(0, slash);
    std::string_view rest = description.substr(slash + 1);
    const std::size_t channelSlash = rest.find('/');
    const auto clockRate = SipText::ParseNumber(rest.substr(0, channelSlash), kMaxClockRate);
    std::optional<std::uint32_t> channels = 1;
    if (channelSlash != std::string_view::npos) channels = SipText::ParseNumber(rest.substr(channelSlash + 1), kMaxChannels);
    if (encoding.empty() || encoding.size() > kMaxEncodingLength || !clockRate || *clockRate == 0 || !channels ||
        *channels == 0)
        return;
    format->encoding = std::string(encoding);
    format->clockRate = static_cast<int>(*clockRate);
    format->channels = static_cast<int>(*channels);
}

void SessionDescription::Finish(PendingMedia& media, const std::optional<Endpoint>& sessionAddress,
                                std::vector<MediaOffer>& offers) {
    const std::optional<Endpoint>& address = media.address ? media.address : sessionAddress;
    if (!media.audio || media.port == 0 || !address || offers.size() >= kMaxMedia) return;
    MediaOffer offer;
    offer.endpoint = *address;
    offer.endpoint.port = media.port;
    offer.formats = std::move(media.formats);
    offers.push_back(std::move(offer));
}
