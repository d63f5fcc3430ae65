// Finding UDP datagrams in frames: every link layer, IPv4 and IPv6 headers whose lengths
// just fit and lie by one, fragments and other protocols given nothing.
#include <gtest/gtest.h>

#include "PacketBytes.h"
#include "rtp/PacketDissector.h"

namespace {

using namespace packet_bytes;

const Bytes kPayload = {0x80, 0x00, 0x12, 0x34, 0xDE, 0xAD};

Bytes UdpV4(const Bytes& payload = kPayload, Ipv4Options options = {}) {
    return Ipv4({192, 0, 2, 1}, {198, 51, 100, 7}, Udp(5004, 40000, payload), options);
}

Bytes PayloadOf(const std::optional<UdpDatagram>& d) { return Bytes(d->payload.begin(), d->payload.end()); }

void ExpectV4Datagram(const std::optional<UdpDatagram>& d, const Bytes& payload = kPayload) {
    ASSERT_TRUE(d);
    EXPECT_EQ(d->source.ToString(), "192.0.2.1:5004");
    EXPECT_EQ(d->destination.ToString(), "198.51.100.7:40000");
    EXPECT_EQ(PayloadOf(d), payload);
}

constexpr int kEthernet = 1;
constexpr int kRaw = 12;

TEST(PacketDissector, EthernetIpv4Udp) {
    ExpectV4Datagram(PacketDissector::Dissect(kEthernet, Ethernet(0x0800, UdpV4())));
    // Empty UDP payload: the header alone.
    ExpectV4Datagram(PacketDissector::Dissect(kEthernet, Ethernet(0x0800, UdpV4({}))), {});
}

TEST(PacketDissector, EthernetPaddingPastTheIpLengthIsLeftOut) {
    Bytes frame = Ethernet(0x0800, UdpV4({0x01}));
    frame.resize(60, 0xEE);  // a minimum-size frame
    ExpectV4Datagram(PacketDissector::Dissect(kEthernet, frame), {0x01});
}

TEST(PacketDissector, UpToTwoVlanTags) {
    ExpectV4Datagram(PacketDissector::Dissect(kEthernet, Ethernet(0x0800, UdpV4(), {0x8100})));
    ExpectV4Datagram(PacketDissector::Dissect(kEthernet, Ethernet(0x0800, UdpV4(), {0x88A8, 0x8100})));
    EXPECT_FALSE(PacketDissector::Dissect(kEthernet, Ethernet(0x0800, UdpV4(), {0x88A8, 0x8100, 0x8100})));
    // A tag cut short: the frame ends two bytes into it.
    Bytes cut = Ethernet(0x8100, {0x00, 0x64});
    EXPECT_FALSE(PacketDissector::Dissect(kEthernet, cut));
    EXPECT_FALSE(PacketDissector::Dissect(kEthernet, std::span(cut).first(13)));
}

TEST(PacketDissector, OtherEtherTypesAndVersionMismatches) {
    EXPECT_FALSE(PacketDissector::Dissect(kEthernet, Ethernet(0x0806, UdpV4())));  // ARP
    EXPECT_FALSE(PacketDissector::Dissect(kEthernet, Ethernet(0x0040, UdpV4())));  // 802.3 length
    // The type says IPv6, the header says 4, and the other way round.
    EXPECT_FALSE(PacketDissector::Dissect(kEthernet, Ethernet(0x86DD, UdpV4())));
    EXPECT_FALSE(PacketDissector::Dissect(kEthernet, Ethernet(0x0800, Ipv6(17, Udp(1, 2, {})))));
}

TEST(PacketDissector, Ipv4HeaderLength) {
    ExpectV4Datagram(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.headerWords = 6})));
    ExpectV4Datagram(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.headerWords = 15})));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.headerWords = 4})));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.headerWords = 0})));
    // IHL 15 (60 bytes) in a 40-byte frame.
    Bytes frame = UdpV4({}, {.headerWords = 5});
    frame.resize(40, 0);
    frame[0] = 0x4F;
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, frame));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, std::span(frame).first(19)));
}

TEST(PacketDissector, Ipv4TotalLength) {
    const std::size_t exact = 20 + 8 + kPayload.size();
    // Shorter than the header, and shorter than the UDP datagram it should hold.
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.totalLength = 19})));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.totalLength = int(exact) - 1})));
    // Longer than the frame: the snap length cut it. The datagram is lost when its own
    // length reaches past the cut, and whole when it does not.
    const Bytes cutUdp = Udp(5004, 40000, kPayload, 8 + int(kPayload.size()) + 1);
    EXPECT_FALSE(PacketDissector::Dissect(
        kRaw, Ipv4({192, 0, 2, 1}, {198, 51, 100, 7}, cutUdp, {.totalLength = int(exact) + 1})));
    ExpectV4Datagram(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.totalLength = int(exact) + 1})));
    ExpectV4Datagram(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.totalLength = int(exact)})));
}

TEST(PacketDissector, Ipv4FragmentsGiveNothing) {
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.flagsAndOffset = 0x2000})));  // more to come
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.flagsAndOffset = 0x0001})));  // a later one
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.flagsAndOffset = 0x1FFF})));
    // Don't-fragment alone is a whole datagram.
    ExpectV4Datagram(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.flagsAndOffset = 0x4000})));
}

TEST(PacketDissector, OnlyUdp) {
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, UdpV4(kPayload, {.protocol = 6})));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(6, Udp(1, 2, kPayload))));
}

TEST(PacketDissector, UdpLength) {
    auto withUdpLength = [](int length) {
        return Ipv4({192, 0, 2, 1}, {198, 51, 100, 7}, Udp(5004, 40000, kPayload, length));
    };
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, withUdpLength(7)));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, withUdpLength(0)));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, withUdpLength(8 + int(kPayload.size()) + 1)));
    ExpectV4Datagram(PacketDissector::Dissect(kRaw, withUdpLength(8 + int(kPayload.size()))));
    // A UDP length short of the IP payload bounds the payload.
    ExpectV4Datagram(PacketDissector::Dissect(kRaw, withUdpLength(10)), {0x80, 0x00});
    ExpectV4Datagram(PacketDissector::Dissect(kRaw, withUdpLength(8)), {});
    // Fewer than eight bytes after the IP header.
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv4({192, 0, 2, 1}, {198, 51, 100, 7}, {0, 1, 0, 2, 0, 8, 0})));
}

TEST(PacketDissector, Ipv6Udp) {
    const Bytes frame = Ipv6(17, Udp(5004, 6000, kPayload));
    const auto d = PacketDissector::Dissect(kRaw, frame);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->source.ToString(), "[2001:db8::1]:5004");
    EXPECT_EQ(d->destination.ToString(), "[2001:db8::2]:6000");
    EXPECT_EQ(PayloadOf(d), kPayload);
}

TEST(PacketDissector, Ipv6PayloadLengthBoundsTheDatagram) {
    const Bytes udp = Udp(5004, 6000, kPayload);
    Bytes padded = Ipv6(17, udp);
    padded.resize(padded.size() + 5, 0xEE);
    EXPECT_EQ(PayloadOf(PacketDissector::Dissect(kRaw, padded)), kPayload);
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(17, udp, int(udp.size()) - 1)));
    // A payload length past the frame (the snap length): as for IPv4, the UDP length decides.
    EXPECT_EQ(PayloadOf(PacketDissector::Dissect(kRaw, Ipv6(17, udp, int(udp.size()) + 1))), kPayload);
    const Bytes cutUdp = Udp(5004, 6000, kPayload, int(udp.size()) + 1);
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(17, cutUdp, int(cutUdp.size()) + 1)));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(17, udp, 0)));  // a jumbogram
    const Bytes bare = Ipv6(17, {});
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, std::span(bare).first(39)));
}

TEST(PacketDissector, Ipv6ExtensionHeadersAreWalked) {
    const Bytes udp = Udp(5004, 6000, kPayload);
    // Hop-by-hop (8 bytes), routing (24 bytes), destination options (16 bytes), then UDP.
    const Bytes chain = Ipv6Extension(43, 0, Ipv6Extension(60, 2, Ipv6Extension(17, 1, udp)));
    EXPECT_EQ(PayloadOf(PacketDissector::Dissect(kRaw, Ipv6(0, chain))), kPayload);
    // A fragment header anywhere gives nothing.
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(44, Ipv6Extension(17, 0, udp))));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(0, Ipv6Extension(44, 0, Ipv6Extension(17, 0, udp)))));
    // An unknown header: not walked.
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(51, Ipv6Extension(17, 0, udp))));
}

TEST(PacketDissector, Ipv6ExtensionLengthsAreBounded) {
    // An extension that claims 16 bytes with 8 left of the payload.
    Bytes shortChain = {17, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(0, shortChain)));
    // Fewer than eight bytes for the extension's own header.
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(60, {17, 0, 0, 0})));
    // The payload length ends the chain before the frame does.
    const Bytes chain = Ipv6Extension(17, 0, Udp(1, 2, {}));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, Ipv6(60, chain, 12)));
}

TEST(PacketDissector, AtMostEightExtensionHeaders) {
    auto chainOf = [](int count) {
        Bytes chain = Udp(1, 2, {0x55});
        for (int i = 0; i < count; ++i) chain = Ipv6Extension(i == 0 ? 17 : 60, 0, chain);
        return Ipv6(60, chain);
    };
    EXPECT_TRUE(PacketDissector::Dissect(kRaw, chainOf(8)));
    EXPECT_FALSE(PacketDissector::Dissect(kRaw, chainOf(9)));
}

TEST(PacketDissector, RawIpUnderEveryNumber) {
    for (const int link : {12, 14, 101}) {
        ExpectV4Datagram(PacketDissector::Dissect(link, UdpV4()));
        EXPECT_TRUE(PacketDissector::Dissect(link, Ipv6(17, Udp(1, 2, {}))));
        EXPECT_FALSE(PacketDissector::Dissect(link, {}));
    }
    ExpectV4Datagram(PacketDissector::Dissect(228, UdpV4()));
    EXPECT_FALSE(PacketDissector::Dissect(228, Ipv6(17, Udp(1, 2, {}))));
    EXPECT_TRUE(PacketDissector::Dissect(229, Ipv6(17, Udp(1, 2, {}))));
    EXPECT_FALSE(PacketDissector::Dissect(229, UdpV4()));
    EXPECT_FALSE(PacketDissector::Dissect(999, UdpV4()));
}

TEST(PacketDissector, LinuxCookedCaptures) {
    // Version 1: packet type, ARPHRD type, address length, eight address bytes, protocol.
    Bytes sll = {0, 0, 0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0};
    Put16(sll, 0x0800);
    Append(sll, UdpV4());
    ExpectV4Datagram(PacketDissector::Dissect(113, sll));
    EXPECT_FALSE(PacketDissector::Dissect(113, std::span(sll).first(15)));
    sll[14] = 0x08, sll[15] = 0x06;
    EXPECT_FALSE(PacketDissector::Dissect(113, sll));

    // Version 2: protocol first, then reserved, interface index, ARPHRD, type, address.
    Bytes sll2;
    Put16(sll2, 0x86DD);
    Put16(sll2, 0);
    Put32(sll2, 3);
    sll2.insert(sll2.end(), {0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0});
    Append(sll2, Ipv6(17, Udp(1, 2, kPayload)));
    EXPECT_EQ(PayloadOf(PacketDissector::Dissect(276, sll2)), kPayload);
    EXPECT_FALSE(PacketDissector::Dissect(276, std::span(sll2).first(19)));
}

TEST(PacketDissector, LoopbackFamilyInEitherOrder) {
    auto loopback = [](bool bigEndian, std::uint32_t family, const Bytes& packet) {
        Bytes frame;
        bigEndian ? Put32(frame, family) : Put32Le(frame, family);
        Append(frame, packet);
        return frame;
    };
    const Bytes v6 = Ipv6(17, Udp(1, 2, kPayload));
    for (const bool bigEndian : {false, true}) {
        ExpectV4Datagram(PacketDissector::Dissect(0, loopback(bigEndian, 2, UdpV4())));
        // IPv6's number on Linux, NetBSD/OpenBSD, FreeBSD and Darwin.
        for (const std::uint32_t family : {10u, 24u, 28u, 30u})
            EXPECT_EQ(PayloadOf(PacketDissector::Dissect(0, loopback(bigEndian, family, v6))), kPayload) << family;
        EXPECT_FALSE(PacketDissector::Dissect(0, loopback(bigEndian, 17, UdpV4())));
    }
    // DLT_LOOP is always in network order.
    ExpectV4Datagram(PacketDissector::Dissect(108, loopback(true, 2, UdpV4())));
    EXPECT_FALSE(PacketDissector::Dissect(108, loopback(false, 2, UdpV4())));
    EXPECT_FALSE(PacketDissector::Dissect(0, Bytes{2, 0, 0}));
    EXPECT_FALSE(PacketDissector::Dissect(108, Bytes{0, 0, 0}));
}

}  // namespace
