#pragma once

#include <cstdint>
#include <optional>
#include <span>

// The fixed part of one RTP packet (version 2) and where its payload is. The payload is a
// view into the datagram: a packet kept beyond the datagram's life copies it.
struct RtpPacket {
    bool marker = false;
    std::uint8_t payloadType = 0;  // 0..127
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;
    // After the CSRC list and the header extension, without the padding.
    std::span<const std::uint8_t> payload;

    // Nothing when the datagram is not RTP version 2 or any length in its header (CSRC
    // count, extension length, padding count) reaches past its end. Payload types 72..76
    // (RTCP's packet types with the marker bit) are refused: those datagrams are RTCP.
    static std::optional<RtpPacket> Parse(std::span<const std::uint8_t> datagram);
};
