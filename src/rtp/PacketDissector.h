#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "rtp/Endpoint.h"

// One UDP datagram found in a frame: its ends and its payload, a view into the frame.
struct UdpDatagram {
    Endpoint source;
    Endpoint destination;
    std::span<const std::uint8_t> payload;
};

// Finds the UDP datagram a captured frame carries, through its link layer and IPv4 or
// IPv6, without copying. Nothing for anything else: another protocol, an unknown link
// type, a frame whose headers disagree with its size, a datagram the snap length cut.
//
// IP fragments are not put back together: a fragment gives nothing, whether first or
// later. RTP packets are far below the path's MTU, so a fragmented datagram is rare
// (a large SIP message, at most) and reassembly would need state across frames.
class PacketDissector {
public:
    // Link types: Ethernet II with up to two 802.1Q/802.1ad tags, Linux cooked captures
    // (both versions), raw IP (DLT_RAW and its other numbers, DLT_IPV4, DLT_IPV6) and
    // BSD loopback (DLT_NULL in the writer's byte order, DLT_LOOP in network order).
    static std::optional<UdpDatagram> Dissect(int linkType, std::span<const std::uint8_t> frame);

private:
    static std::optional<UdpDatagram> FromEtherType(std::uint16_t etherType, std::span<const std::uint8_t> bytes);
    static std::optional<UdpDatagram> FromEthernet(std::span<const std::uint8_t> frame);
    static std::optional<UdpDatagram> FromLoopback(std::uint32_t family, std::span<const std::uint8_t> bytes);
    static std::optional<UdpDatagram> FromIp(std::span<const std::uint8_t> bytes);
    static std::optional<UdpDatagram> FromIpv4(std::span<const std::uint8_t> bytes);
    static std::optional<UdpDatagram> FromIpv6(std::span<const std::uint8_t> bytes);
    static std::optional<UdpDatagram> FromUdp(std::span<const std::uint8_t> bytes, UdpDatagram ends);
};
