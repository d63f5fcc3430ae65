// RTP header parsing: the fixed header's fields, and each length the header declares
// (CSRC list, extension, padding) at the byte where it just fits and one past.
#include <gtest/gtest.h>

#include "PacketBytes.h"
#include "rtp/RtpPacket.h"

namespace {

using packet_bytes::Bytes;

// Version 2 with the given flag bits in the first byte.
Bytes Header(std::uint8_t firstByteFlags, std::uint8_t secondByte) {
    Bytes b = {static_cast<std::uint8_t>(0x80 | firstByteFlags), secondByte};
    packet_bytes::Put16(b, 0xFFFE);
    packet_bytes::Put32(b, 0x89ABCDEF);
    packet_bytes::Put32(b, 0x01020304);
    return b;
}

TEST(RtpPacket, ReadsTheFixedHeader) {
    Bytes b = Header(0, 0x80 | 101);
    b.insert(b.end(), {0xAA, 0xBB});
    const auto p = RtpPacket::Parse(b);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->marker);
    EXPECT_EQ(p->payloadType, 101);
    EXPECT_EQ(p->sequence, 0xFFFE);
    EXPECT_EQ(p->timestamp, 0x89ABCDEFu);
    EXPECT_EQ(p->ssrc, 0x01020304u);
    EXPECT_EQ(Bytes(p->payload.begin(), p->payload.end()), (Bytes{0xAA, 0xBB}));
}

TEST(RtpPacket, AnEmptyPayloadIsLegalAShortHeaderIsNot) {
    const Bytes b = Header(0, 0);
    const auto p = RtpPacket::Parse(b);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->payload.empty());
    EXPECT_FALSE(p->marker);
    EXPECT_FALSE(RtpPacket::Parse(std::span(b).first(11)));
    EXPECT_FALSE(RtpPacket::Parse({}));
}

TEST(RtpPacket, OnlyVersionTwo) {
    for (const std::uint8_t version : {0, 1, 3}) {
        Bytes b = Header(0, 0);
        b[0] = static_cast<std::uint8_t>(version << 6);
        EXPECT_FALSE(RtpPacket::Parse(b)) << int(version);
    }
}

TEST(RtpPacket, RtcpTypesAreRefused) {
    for (int type = 70; type <= 78; ++type) {
        const bool rtcp = type >= 72 && type <= 76;
        // With and without the marker: RTCP's 200..204 set the top bit.
        for (const int marker : {0, 0x80}) {
            const Bytes b = Header(0, static_cast<std::uint8_t>(marker | type));
            EXPECT_EQ(RtpPacket::Parse(b).has_value(), !rtcp) << type;
        }
    }
}

TEST(RtpPacket, CsrcListBoundsThePayload) {
    Bytes b = Header(0x02, 0);  // two CSRCs
    b.resize(b.size() + 8, 0x11);
    b.push_back(0x42);
    auto p = RtpPacket::Parse(b);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->payload.size(), 1u);
    EXPECT_EQ(p->payload[0], 0x42);
    // Exactly the list and nothing after it, then one byte short of it.
    b.pop_back();
    p = RtpPacket::Parse(b);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->payload.empty());
    b.pop_back();
    EXPECT_FALSE(RtpPacket::Parse(b));
    // Fifteen CSRCs in a packet that has none.
    EXPECT_FALSE(RtpPacket::Parse(Header(0x0F, 0)));
}

TEST(RtpPacket, ExtensionIsSkippedByItsLengthInWords) {
    Bytes b = Header(0x10 | 0x01, 0);  // extension after one CSRC
    packet_bytes::Put32(b, 0xCAFEBABE);
    packet_bytes::Put16(b, 0xBEDE);
    packet_bytes::Put16(b, 2);  // two words
    b.resize(b.size() + 8, 0x33);
    b.push_back(0x77);
    auto p = RtpPacket::Parse(b);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->payload.size(), 1u);
    EXPECT_EQ(p->payload[0], 0x77);
    b.pop_back();
    EXPECT_TRUE(RtpPacket::Parse(b));
    b.pop_back();
    EXPECT_FALSE(RtpPacket::Parse(b));
    // The extension's own four bytes missing.
    Bytes cut = Header(0x10, 0);
    cut.insert(cut.end(), {0xBE, 0xDE, 0x00});
    EXPECT_FALSE(RtpPacket::Parse(cut));
    // A length of 0xFFFF words must not wrap past a short datagram.
    Bytes huge = Header(0x10, 0);
    huge.insert(huge.end(), {0xBE, 0xDE, 0xFF, 0xFF, 1, 2, 3, 4});
    EXPECT_FALSE(RtpPacket::Parse(huge));
}

TEST(RtpPacket, PaddingIsCountedFromTheLastByte) {
    Bytes b = Header(0x20, 0);
    b.insert(b.end(), {0x01, 0x02, 0x00, 0x00, 0x03});  // two bytes of payload, three of padding
    auto p = RtpPacket::Parse(b);
    ASSERT_TRUE(p);
    EXPECT_EQ(Bytes(p->payload.begin(), p->payload.end()), (Bytes{0x01, 0x02}));

    b.back() = 5;  // all after the header is padding
    p = RtpPacket::Parse(b);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->payload.empty());

    b.back() = 6;  // one byte into the header
    EXPECT_FALSE(RtpPacket::Parse(b));
    b.back() = 0;  // the count counts itself
    EXPECT_FALSE(RtpPacket::Parse(b));
    // Padding flag with nothing after the header: the count would be the SSRC's last byte.
    Bytes bare = Header(0x20, 0);
    EXPECT_FALSE(RtpPacket::Parse(bare));
}

TEST(RtpPacket, PaddingMayNotReachIntoTheExtension) {
    Bytes b = Header(0x20 | 0x10, 0);
    packet_bytes::Put16(b, 0xBEDE);
    packet_bytes::Put16(b, 1);
    packet_bytes::Put32(b, 0);
    b.insert(b.end(), {0x09, 0x00, 0x02});  // one byte of payload, two of padding
    auto p = RtpPacket::Parse(b);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->payload.size(), 1u);
    EXPECT_EQ(p->payload[0], 0x09);
    b.back() = 3;
    p = RtpPacket::Parse(b);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->payload.empty());
    b.back() = 4;
    EXPECT_FALSE(RtpPacket::Parse(b));
}

}  // namespace
