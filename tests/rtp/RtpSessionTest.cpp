#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>

#include "StreamTestSupport.h"
#include "rtp/PacketDissector.h"
#include "rtp/RtpSession.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// An RTP datagram written out field by field.
Bytes RtpBytes(std::uint8_t type, std::uint16_t sequence, std::uint32_t timestamp, std::uint32_t ssrc, std::size_t payloadBytes,
               std::uint8_t fill = 0xFF) {
    Bytes b = {0x80, type, static_cast<std::uint8_t>(sequence >> 8), static_cast<std::uint8_t>(sequence)};
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(timestamp >> shift));
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(ssrc >> shift));
    b.insert(b.end(), payloadBytes, fill);
    return b;
}

Endpoint At(std::uint32_t address, std::uint16_t port) {
    return Endpoint::V4(address, port);
}

Bytes Sip(const std::string& callId, const std::string& address, int port, const std::string& types,
          const std::string& rtpmaps) {
    const std::string sdp = "v=0\r\no=- 1 1 IN IP4 " + address + "\r\ns=-\r\nc=IN IP4 " + address + "\r\nt=0 0\r\nm=audio " +
                            std::to_string(port) + " RTP/AVP " + types + "\r\n" + rtpmaps;
    const std::string text = "SIP/2.0 200 OK\r\nCall-ID: " + callId +
                             "\r\nContent-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) +
                             "\r\n\r\n" + sdp;
    return Bytes(text.begin(), text.end());
}

// Every stream the session makes, with what its sink received.
struct Sinks {
    std::map<std::string, std::unique_ptr<stream_test::RecordingSink>> byName;
    std::map<std::string, std::string> callIds;
    RtpSession::SinkFactory Factory() {
        return [this](const RtpSession::StreamInfo& info) {
            auto& sink = byName[info.Name()];
            sink = std::make_unique<stream_test::RecordingSink>();
            callIds[info.Name()] = info.callId;
            return sink.get();
        };
    }
};

constexpr std::uint32_t kCaller = 0xC0000201;  // 192.0.2.1
constexpr std::uint32_t kCallee = 0xC0000202;  // 192.0.2.2
constexpr std::int64_t kMs = 1'000'000;

void Send(RtpSession& session, Endpoint from, Endpoint to, const Bytes& bytes, std::int64_t timeNs) {
    session.Datagram(UdpDatagram{from, to, std::span<const std::uint8_t>(bytes)}, timeNs);
}

}  // namespace

// A flow becomes a stream once its packets follow one another, and the packets that
// showed it are decoded too: no audio is lost to the wait.
TEST(RtpSession, FlowInSequenceBecomesAStreamWithItsFirstPackets) {
    Sinks sinks;
    RtpSession session(sinks.Factory());
    const Endpoint from = At(kCaller, 4000), to = At(kCallee, 5004);
    for (int i = 0; i < 10; ++i) Send(session, from, to, RtpBytes(0, 65533 + i, 4294967000u + 160 * i, 0xABCD, 160), i * 20 * kMs);
    session.End();
    ASSERT_EQ(sinks.byName.size(), 1u);
    const auto& [name, sink] = *sinks.byName.begin();
    EXPECT_EQ(name, "192.0.2.1:4000 > 192.0.2.2:5004 SSRC 0x0000abcd");
    EXPECT_EQ(sink->rate, 8000);
    EXPECT_EQ(sink->samples.size(), 1600u);
    EXPECT_TRUE(session.Skipped().empty());
}

// Datagrams that look like RTP headers but do not run in sequence (DNS queries do, a
// quarter of the time) never become a stream; nor do packets two SSRCs share by turns.
TEST(RtpSession, TrafficOutOfSequenceNeverBecomesAStream) {
    Sinks sinks;
    RtpSession session(sinks.Factory());
    std::mt19937 random(5);
    for (int i = 0; i < 2000; ++i) {
        Bytes b = RtpBytes(static_cast<std::uint8_t>(random() & 0x7F), static_cast<std::uint16_t>(random()), random(), 0x1234, 30);
        Send(session, At(0xC000021E, static_cast<std::uint16_t>(40000 + i % 3)), At(0xC0000235, 53), b, i * kMs);
    }
    session.End();
    EXPECT_TRUE(sinks.byName.empty());
    EXPECT_TRUE(session.Skipped().empty());
}

// The SDP names the call and the dynamic types of the stream sent to its address, or, for
// a stream sent elsewhere, from it (symmetric RTP); a stream no SDP describes keeps the
// static types and no call.
TEST(RtpSession, OffersNameCallsAndDynamicTypesByWhereMediaGoesOrComesFrom) {
    Sinks sinks;
    RtpSession session(sinks.Factory());
    const Bytes answer = Sip("call-1@example.com", "192.0.2.2", 5004, "96 101", "a=rtpmap:96 PCMA/8000\r\na=rtpmap:101 telephone-event/8000\r\n");
    Send(session, At(kCallee, 5060), At(kCaller, 5060), answer, 0);
    const Endpoint caller = At(kCaller, 4000), callee = At(kCallee, 5004), elsewhere = At(0xC0000263, 7000);
    for (int i = 0; i < 5; ++i) {
        Send(session, caller, callee, RtpBytes(96, i, 160 * i, 1, 160, 0xD5), i * 20 * kMs);
        Send(session, callee, elsewhere, RtpBytes(96, i, 160 * i, 2, 160, 0xD5), i * 20 * kMs);
        Send(session, elsewhere, caller, RtpBytes(0, i, 160 * i, 3, 160), i * 20 * kMs);
    }
    // A key on the telephone-event type the SDP named.
    Bytes key = RtpBytes(101, 5, 800, 1, 0);
    const Bytes event = stream_test::EventPayload(5, false, 10, 160);
    key.insert(key.end(), event.begin(), event.end());
    Send(session, caller, callee, key, 100 * kMs);
    session.End();
    ASSERT_EQ(sinks.byName.size(), 3u);
    EXPECT_EQ(sinks.callIds["192.0.2.1:4000 > 192.0.2.2:5004 SSRC 0x00000001"], "call-1@example.com");
    EXPECT_EQ(sinks.callIds["192.0.2.2:5004 > 192.0.2.99:7000 SSRC 0x00000002"], "call-1@example.com");
    EXPECT_EQ(sinks.callIds["192.0.2.99:7000 > 192.0.2.1:4000 SSRC 0x00000003"], "");
    for (const auto& [name, sink] : sinks.byName) {
        SCOPED_TRACE(name);
        EXPECT_GE(sink->samples.size(), 800u);
        // 0xD5 is A-law's 8, 0xFF µ-law's 0: the dynamic type was read as PCMA.
        EXPECT_EQ(sink->samples.front(), name.find("SSRC 0x00000003") != std::string::npos ? 0 : 8);
    }
    EXPECT_EQ(sinks.byName["192.0.2.1:4000 > 192.0.2.2:5004 SSRC 0x00000001"]->KeyText(), "5");
}

// A dynamic type nobody named is passed over and said; a stream made of nothing else is
// listed as skipped, with why.
TEST(RtpSession, UnnamedTypesAreListed) {
    Sinks sinks;
    RtpSession session(sinks.Factory());
    const Endpoint a = At(kCaller, 4000), b = At(kCallee, 5004);
    for (int i = 0; i < 4; ++i) {
        Send(session, a, b, RtpBytes(0, 2 * i, 160 * i, 7, 160), i * 20 * kMs);
        Send(session, a, b, RtpBytes(101, 2 * i + 1, 160 * i, 7, 4), i * 20 * kMs);
        Send(session, b, a, RtpBytes(97, i, 160 * i, 8, 20), i * 20 * kMs);
    }
    session.End();
    const std::vector<std::string> skipped = session.Skipped();
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_NE(skipped[0].find("SSRC 0x00000007: 4 packets of payload type 101 skipped"), std::string::npos) << skipped[0];
    EXPECT_NE(skipped[1].find("192.0.2.2:5004 > 192.0.2.1:4000 SSRC 0x00000008 skipped: payload type 97"), std::string::npos)
        << skipped[1];
}

// Streams beyond the limit are not decoded but named, and their packets cost nothing more.
TEST(RtpSession, StreamsBeyondTheLimitAreListed) {
    Sinks sinks;
    RtpSession::Settings settings;
    settings.mostStreams = 2;
    RtpSession session(sinks.Factory(), settings);
    for (std::uint32_t ssrc = 1; ssrc <= 4; ++ssrc)
        for (int i = 0; i < 4; ++i) Send(session, At(kCaller, 4000), At(kCallee, 5004), RtpBytes(0, i, 160 * i, ssrc, 160), i * 20 * kMs);
    session.End();
    EXPECT_EQ(sinks.byName.size(), 2u);
    const std::vector<std::string> skipped = session.Skipped();
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_NE(skipped[1].find("SSRC 0x00000004 skipped: more than 2 streams at once"), std::string::npos) << skipped[1];
}

// Types the user names stand where no SDP does; an offer still wins for its own streams.
TEST(RtpSession, AssumedTypesStandWhereNoOfferNamesTheType) {
    Sinks sinks;
    RtpSession::Settings settings;
    PayloadFormat events;
    events.payloadType = 101;
    events.encoding = "telephone-event";
    events.clockRate = 8000;
    PayloadFormat alaw = PayloadFormat::Static(8).value();
    alaw.payloadType = 96;
    settings.assumedTypes = {events, alaw};
    RtpSession session(sinks.Factory(), settings);
    Send(session, At(kCallee, 5060), At(kCaller, 5060), Sip("c@x", "192.0.2.2", 5004, "96", "a=rtpmap:96 PCMU/8000\r\n"), 0);
    const Endpoint a = At(kCaller, 4000), b = At(kCallee, 5004);
    for (int i = 0; i < 4; ++i) {
        Send(session, a, b, RtpBytes(96, i, 160 * i, 1, 160, 0xD5), i * 20 * kMs);
        Send(session, At(0xC0000263, 7000), At(kCaller, 6000), RtpBytes(96, i, 160 * i, 2, 160, 0xD5), i * 20 * kMs);
    }
    Bytes key = RtpBytes(101, 4, 640, 2, 0);
    const Bytes event = stream_test::EventPayload(11, true, 10, 160);
    key.insert(key.end(), event.begin(), event.end());
    Send(session, At(0xC0000263, 7000), At(kCaller, 6000), key, 80 * kMs);
    session.End();
    const auto& offered = sinks.byName["192.0.2.1:4000 > 192.0.2.2:5004 SSRC 0x00000001"];
    const auto& assumed = sinks.byName["192.0.2.99:7000 > 192.0.2.1:6000 SSRC 0x00000002"];
    ASSERT_TRUE(offered && assumed);
    // 0xD5 as µ-law (the offer's 96) is 716, as A-law (the assumed 96) 8.
    EXPECT_EQ(offered->samples.front(), 716);
    EXPECT_EQ(assumed->samples.front(), 8);
    EXPECT_EQ(assumed->KeyText(), "#");
}
