#include "rtp/RtpPacket.h"

#include <cstddef>

#include "rtp/NetworkBytes.h"

namespace {

constexpr std::size_t kFixedHeaderBytes = 12;
constexpr std::size_t kExtensionHeaderBytes = 4;
constexpr unsigned kVersion = 2;
// RTCP's packet types 200..204 (sender and receiver reports, source description, bye,
// application) read as 72..76 once the top bit is taken for the marker.
constexpr unsigned kFirstRtcpType = 72;
constexpr unsigned kLastRtcpType = 76;

}  // namespace

std::optional<RtpPacket> RtpPacket::Parse(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kFixedHeaderBytes) return std::nullopt;
    const std::uint8_t first = datagram[0];
    if ((first >> 6) != kVersion) return std::nullopt;
    const bool padded = (first & 0x20) != 0;
    const bool extended = (first & 0x10) != 0;
    const std::size_t csrcCount = first & 0x0F;

    RtpPacket packet;
    packet.marker = (datagram[1] & 0x80) != 0;
    packet.payloadType = datagram[1] & 0x7F;
    if (packet.payloadType >= kFirstRtcpType && packet.payloadType <= kLastRtcpType) return std::nullopt;
    packet.sequence = NetworkBytes::U16(datagram, 2);
    packet.timestamp = NetworkBytes::U32(datagram, 4);
    packet.ssrc = NetworkBytes::U32(datagram, 8);

    // Each length is checked against what is left of the datagram, never added past it.
    std::size_t start = kFixedHeaderBytes + csrcCount * 4;
    if (start > datagram.size()) return std::nullopt;
    if (extended) {
        if (datagram.size() - start < kExtensionHeaderBytes) return std::nullopt;
        const std::size_t extensionBytes = std::size_t{NetworkBytes::U16(datagram, start + 2)} * 4;
        start += kExtensionHeaderBytes;
        if (datagram.size() - start < extensionBytes) return std::nullopt;
        start += extensionBytes;
    }
    std::size_t end = datagram.size();
    if (padded) {
        // The count includes the count byte itself, so zero is malformed, and the padding
        // may not reach back into the header.
        const std::size_t paddingBytes = datagram.back();
        if (paddingBytes == 0 || paddingBytes > end - start) return std::nullopt;
        end -= paddingBytes;
    }
    packet.payload = datagram.subspan(start, end - start);
    return packet;
}
