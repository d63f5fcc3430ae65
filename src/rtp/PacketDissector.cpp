#include "rtp/PacketDissector.h"

#include <algorithm>
#include <cstddef>

#include "rtp/NetworkBytes.h"

namespace {

// Link-layer type numbers as libpcap reports them on Linux; 14 and 101 are raw IP under
// other systems' numbering and in files whose link type libpcap did not map.
constexpr int kLinkNull = 0;
constexpr int kLinkEthernet = 1;
constexpr int kLinkRaw = 12;
constexpr int kLinkRawOpenBsd = 14;
constexpr int kLinkRawFile = 101;
constexpr int kLinkLoop = 108;
constexpr int kLinkLinuxCooked = 113;
constexpr int kLinkIpv4 = 228;
constexpr int kLinkIpv6 = 229;
constexpr int kLinkLinuxCooked2 = 276;

constexpr std::uint16_t kEtherIpv4 = 0x0800;
constexpr std::uint16_t kEtherIpv6 = 0x86DD;
constexpr std::uint16_t kEtherVlan = 0x8100;
constexpr std::uint16_t kEtherProviderVlan = 0x88A8;
constexpr std::size_t kEthernetHeaderBytes = 14;
constexpr std::size_t kVlanTagBytes = 4;
constexpr int kMaxVlanTags = 2;
constexpr std::size_t kLinuxCookedBytes = 16;
constexpr std::size_t kLinuxCooked2Bytes = 20;
constexpr std::size_t kLoopbackHeaderBytes = 4;

// Address family numbers a loopback header may hold: IPv4 is 2 everywhere, IPv6 differs
// between Linux, the BSDs and Darwin.
constexpr std::uint32_t kFamilyInet = 2;
constexpr std::uint32_t kFamiliesInet6[] = {10, 24, 28, 30};

constexpr std::size_t kIpv4MinHeaderBytes = 20;
constexpr std::size_t kIpv6HeaderBytes = 40;
constexpr std::size_t kUdpHeaderBytes = 8;
constexpr std::uint8_t kProtocolUdp = 17;
constexpr std::uint8_t kIpv6HopByHop = 0;
constexpr std::uint8_t kIpv6Routing = 43;
constexpr std::uint8_t kIpv6Fragment = 44;
constexpr std::uint8_t kIpv6DestinationOptions = 60;
// Each extension header takes at least eight bytes, so the frame bounds the walk; this
// bounds it again for frames of jumbo size.
constexpr int kMaxIpv6ExtensionHeaders = 8;
constexpr std::uint16_t kIpv4MoreFragments = 0x2000;
constexpr std::uint16_t kIpv4FragmentOffset = 0x1FFF;

Endpoint Ipv4Endpoint(std::span<const std::uint8_t> addressBytes) {
    Endpoint e;
    std::copy_n(addressBytes.begin(), 4, e.address.begin());
    return e;
}

Endpoint Ipv6Endpoint(std::span<const std::uint8_t> addressBytes) {
    Endpoint e;
    std::copy_n(addressBytes.begin(), 16, e.address.begin());
    e.v6 = true;
    return e;
}

}  // namespace

std::optional<UdpDatagram> PacketDissector::Dissect(int linkType, std::span<const std::uint8_t> frame) {
    switch (linkType) {
        case kLinkEthernet:
            return FromEthernet(frame);
        case kLinkLinuxCooked:
            if (frame.size() < kLinuxCookedBytes) return std::nullopt;
            return FromEtherType(NetworkBytes::U16(frame, 14), frame.subspan(kLinuxCookedBytes));
        case kLinkLinuxCooked2:
            if (frame.size() < kLinuxCooked2Bytes) return std::nullopt;
            return FromEtherType(NetworkBytes::U16(frame, 0), frame.subspan(kLinuxCooked2Bytes));
        case kLinkRaw:
        case kLinkRawOpenBsd:
        case kLinkRawFile:
            return FromIp(frame);
        case kLinkIpv4:
            return FromIpv4(frame);
        case kLinkIpv6:
            return FromIpv6(frame);
        case kLinkNull: {
            // The family is in the byte order of the machine that wrote the file; real
            // families are small, so the order that gives a small number is the right one.
            if (frame.size() < kLoopbackHeaderBytes) return std::nullopt;
            const std::uint32_t little = NetworkBytes::U32LittleEndian(frame, 0);
            const std::uint32_t family = little <= 0xFFFF ? little : NetworkBytes::U32(frame, 0);
            return FromLoopback(family, frame.subspan(kLoopbackHeaderBytes));
        }
        case kLinkLoop:
            if (frame.size() < kLoopbackHeaderBytes) return std::nullopt;
            return FromLoopback(NetworkBytes::U32(frame, 0), frame.subspan(kLoopbackHeaderBytes));
        default:
            return std::nullopt;
    }
}

std::optional<UdpDatagram> PacketDissector::FromEthernet(std::span<const std::uint8_t> frame) {
    if (frame.size() < kEthernetHeaderBytes) return std::nullopt;
    std::size_t offset = kEthernetHeaderBytes;
    std::uint16_t etherType = NetworkBytes::U16(frame, 12);
    for (int tags = 0; etherType == kEtherVlan || etherType == kEtherProviderVlan; ++tags) {
        if (tags == kMaxVlanTags || frame.size() - offset < kVlanTagBytes) return std::nullopt;
        etherType = NetworkBytes::U16(frame, offset + 2);
        offset += kVlanTagBytes;
    }
    return FromEtherType(etherType, frame.subspan(offset));
}

std::optional<UdpDatagram> PacketDissector::FromEtherType(std::uint16_t etherType, std::span<const std::uint8_t> bytes) {
    if (etherType == kEtherIpv4) return FromIpv4(bytes);
    if (etherType == kEtherIpv6) return FromIpv6(bytes);
    return std::nullopt;
}

std::optional<UdpDatagram> PacketDissector::FromLoopback(std::uint32_t family, std::span<const std::uint8_t> bytes) {
    if (family == kFamilyInet) return FromIpv4(bytes);
    for (const std::uint32_t inet6 : kFamiliesInet6)
        if (family == inet6) return FromIpv6(bytes);
    return std::nullopt;
}

std::optional<UdpDatagram> PacketDissector::FromIp(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    const int version = bytes[0] >> 4;
    if (version == 4) return FromIpv4(bytes);
    if (version == 6) return FromIpv6(bytes);
    return std::nullopt;
}

std::optional<UdpDatagram> PacketDissector::FromIpv4(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kIpv4MinHeaderBytes || (bytes[0] >> 4) != 4) return std::nullopt;
    const std::size_t headerBytes = std::size_t{bytes[0] & 0x0Fu} * 4;
    if (headerBytes < kIpv4MinHeaderBytes || headerBytes > bytes.size()) return std::nullopt;
    const std::size_t totalBytes = NetworkBytes::U16(bytes, 2);
    if (totalBytes < headerBytes) return std::nullopt;
    const std::uint16_t fragment = NetworkBytes::U16(bytes, 6);
    if ((fragment & (kIpv4MoreFragments | kIpv4FragmentOffset)) != 0) return std::nullopt;
    if (bytes[9] != kProtocolUdp) return std::nullopt;

    UdpDatagram ends;
    ends.source = Ipv4Endpoint(bytes.subspan(12, 4));
    ends.destination = Ipv4Endpoint(bytes.subspan(16, 4));
    // What follows the total length is link-layer padding (short Ethernet frames); what
    // the snap length cut is missing, which the UDP length then shows.
    const std::size_t carried = std::min(totalBytes, bytes.size());
    return FromUdp(bytes.subspan(headerBytes, carried - headerBytes), ends);
}

std::optional<UdpDatagram> PacketDissector::FromIpv6(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kIpv6HeaderBytes || (bytes[0] >> 4) != 6) return std::nullopt;
    // A zero payload length means a jumbogram, far beyond any RTP or SIP datagram.
    const std::size_t payloadBytes = NetworkBytes::U16(bytes, 4);
    if (payloadBytes == 0) return std::nullopt;
    UdpDatagram ends;
    ends.source = Ipv6Endpoint(bytes.subspan(8, 16));
    ends.destination = Ipv6Endpoint(bytes.subspan(24, 16));

    std::uint8_t next = bytes[6];
    std::span<const std::uint8_t> rest = bytes.subspan(kIpv6HeaderBytes);
    rest = rest.first(std::min(payloadBytes, rest.size()));
    for (int headers = 0; next != kProtocolUdp; ++headers) {
        // Fragments are not reassembled (see the class), and no other protocol is read.
        if (next == kIpv6Fragment) return std::nullopt;
        const bool skippable = next == kIpv6HopByHop || next == kIpv6Routing || next == kIpv6DestinationOptions;
        if (!skippable || headers == kMaxIpv6ExtensionHeaders || rest.size() < 8) return std::nullopt;
        const std::size_t extensionBytes = (std::size_t{rest[1]} + 1) * 8;
        if (extensionBytes > rest.size()) return std::nullopt;
        next = rest[0];
        rest = rest.subspan(extensionBytes);
    }
    return FromUdp(rest, ends);
}

std::optional<UdpDatagram> PacketDissector::FromUdp(std::span<const std::uint8_t> bytes, UdpDatagram ends) {
    if (bytes.size() < kUdpHeaderBytes) return std::nullopt;
    const std::size_t udpBytes = NetworkBytes::U16(bytes, 4);
    // Shorter than its own header is malformed; longer than what is here is a datagram
    // the snap length cut, or one whose IP length disagrees: neither can be read whole.
    if (udpBytes < kUdpHeaderBytes || udpBytes > bytes.size()) return std::nullopt;
    ends.source.port = NetworkBytes::U16(bytes, 0);
    ends.destination.port = NetworkBytes::U16(bytes, 2);
    ends.payload = bytes.subspan(kUdpHeaderBytes, udpBytes - kUdpHeaderBytes);
    return ends;
}
