#pragma once

// Frames and captures written byte by byte for the packet layer's tests: each helper lays
// out one header as the wire has it, with its length fields computed from what it wraps
// unless a test overrides them to make the header lie.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace packet_bytes {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

inline void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v >> 16);
    Put16(out, v & 0xFFFF);
}

inline void Put16Le(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32Le(Bytes& out, std::uint32_t v) {
    Put16Le(out, v & 0xFFFF);
    Put16Le(out, v >> 16);
}

inline void Append(Bytes& out, const Bytes& tail) { out.insert(out.end(), tail.begin(), tail.end()); }

inline Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes Udp(std::uint16_t sourcePort, std::uint16_t destinationPort, const Bytes& payload,
                 int lengthField = -1) {
    Bytes out;
    Put16(out, sourcePort);
    Put16(out, destinationPort);
    Put16(out, lengthField >= 0 ? static_cast<std::uint32_t>(lengthField) : 8 + payload.size());
    Put16(out, 0);  // no checksum
    Append(out, payload);
    return out;
}

struct Ipv4Options {
    std::uint8_t protocol = 17;
    int headerWords = 5;        // IHL; options beyond 5 words are zero bytes
    int totalLength = -1;       // -1: header plus payload
    std::uint16_t flagsAndOffset = 0;
};

inline Bytes Ipv4(std::initializer_list<std::uint8_t> source, std::initializer_list<std::uint8_t> destination,
                  const Bytes& payload, Ipv4Options options = {}) {
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(0x40 | (options.headerWords & 0x0F)));
    out.push_back(0);
    const std::size_t headerBytes = static_cast<std::size_t>(options.headerWords) * 4;
    Put16(out, options.totalLength >= 0 ? static_cast<std::uint32_t>(options.totalLength)
                                        : static_cast<std::uint32_t>(std::max<std::size_t>(headerBytes, 20) + payload.size()));
    Put16(out, 0x1234);  // identification
    Put16(out, options.flagsAndOffset);
    out.push_back(64);   // TTL
    out.push_back(options.protocol);
    Put16(out, 0);       // checksum, not checked by the dissector
    out.insert(out.end(), source);
    out.insert(out.end(), destination);
    while (out.size() < headerBytes) out.push_back(0);
    Append(out, payload);
    return out;
}

inline std::vector<std::uint8_t> Ipv6Address(std::uint8_t last) {
    Bytes a = {0x20, 0x01, 0x0d, 0xb8};
    a.resize(15, 0);
    a.push_back(last);
    return a;
}

// payload already holds any extension headers; payloadLength -1 computes it.
inline Bytes Ipv6(std::uint8_t nextHeader, const Bytes& payload, int payloadLength = -1, std::uint8_t sourceLast = 1,
                  std::uint8_t destinationLast = 2) {
    Bytes out = {0x60, 0, 0, 0};
    Put16(out, payloadLength >= 0 ? static_cast<std::uint32_t>(payloadLength) : payload.size());
    out.push_back(nextHeader);
    out.push_back(64);
    Append(out, Ipv6Address(sourceLast));
    Append(out, Ipv6Address(destinationLast));
    Append(out, payload);
    return out;
}

// An IPv6 extension header of (lengthUnits + 1) * 8 bytes in front of what follows.
inline Bytes Ipv6Extension(std::uint8_t nextHeader, std::uint8_t lengthUnits, const Bytes& rest) {
    Bytes out = {nextHeader, lengthUnits};
    out.resize((std::size_t{lengthUnits} + 1) * 8, 0);
    Append(out, rest);
    return out;
}

inline Bytes Ethernet(std::uint16_t etherType, const Bytes& payload, std::initializer_list<std::uint16_t> vlanTpids = {}) {
    Bytes out = {0x02, 0, 0, 0, 0, 0x01, 0x02, 0, 0, 0, 0, 0x02};
    std::uint16_t vlanId = 100;
    for (const std::uint16_t tpid : vlanTpids) {
        Put16(out, tpid);
        Put16(out, vlanId++);
    }
    Put16(out, etherType);
    Append(out, payload);
    return out;
}

// One frame of a classic capture file: seconds, then microseconds or nanoseconds.
struct PcapRecord {
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0;
    Bytes bytes;
    std::uint32_t originalLength = 0;  // 0: as captured
};

inline Bytes PcapFile(std::uint32_t linkType, const std::vector<PcapRecord>& records, bool nanoseconds = false,
                      bool bigEndian = false) {
    Bytes out;
    auto put16 = [&](std::uint32_t v) { bigEndian ? Put16(out, v) : Put16Le(out, v); };
    auto put32 = [&](std::uint32_t v) { bigEndian ? Put32(out, v) : Put32Le(out, v); };
    put32(nanoseconds ? 0xA1B23C4D : 0xA1B2C3D4);
    put16(2);
    put16(4);
    put32(0);  // time zone
    put32(0);  // accuracy
    put32(65535);
    put32(linkType);
    for (const PcapRecord& r : records) {
        put32(r.seconds);
        put32(r.fraction);
        put32(static_cast<std::uint32_t>(r.bytes.size()));
        put32(r.originalLength ? r.originalLength : static_cast<std::uint32_t>(r.bytes.size()));
        Append(out, r.bytes);
    }
    return out;
}

// pcapng blocks, little-endian: the type, the total length before and after the body,
// the body padded to four bytes.
inline Bytes PcapngBlock(std::uint32_t type, const Bytes& body) {
    Bytes padded = body;
    while (padded.size() % 4) padded.push_back(0);
    Bytes out;
    const auto total = static_cast<std::uint32_t>(12 + padded.size());
    Put32Le(out, type);
    Put32Le(out, total);
    Append(out, padded);
    Put32Le(out, total);
    return out;
}

inline Bytes PcapngSectionHeader() {
    Bytes body;
    Put32Le(body, 0x1A2B3C4D);  // byte-order magic
    Put16Le(body, 1);
    Put16Le(body, 0);
    Put32Le(body, 0xFFFFFFFF);  // section length unknown
    Put32Le(body, 0xFFFFFFFF);
    return PcapngBlock(0x0A0D0D0A, body);
}

// An interface; tsresol is the if_tsresol option's byte (6: microseconds, the default
// when absent, 9: nanoseconds), or -1 to leave the option out.
inline Bytes PcapngInterface(std::uint16_t linkType, int tsresol = -1) {
    Bytes body;
    Put16Le(body, linkType);
    Put16Le(body, 0);
    Put32Le(body, 65535);
    if (tsresol >= 0) {
        Put16Le(body, 9);  // if_tsresol
        Put16Le(body, 1);
        body.push_back(static_cast<std::uint8_t>(tsresol));
        body.resize(body.size() + 3, 0);
        Put16Le(body, 0);  // opt_endofopt
        Put16Le(body, 0);
    }
    return PcapngBlock(1, body);
}

inline Bytes PcapngPacket(std::uint32_t interfaceId, std::uint64_t timestamp, const Bytes& frame) {
    Bytes body;
    Put32Le(body, interfaceId);
    Put32Le(body, static_cast<std::uint32_t>(timestamp >> 32));
    Put32Le(body, static_cast<std::uint32_t>(timestamp));
    Put32Le(body, static_cast<std::uint32_t>(frame.size()));
    Put32Le(body, static_cast<std::uint32_t>(frame.size()));
    Append(body, frame);
    return PcapngBlock(6, body);
}

}  // namespace packet_bytes
