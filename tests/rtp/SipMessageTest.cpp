// SIP messages and their SDP: what pairs a call's streams with it, read from text written
// out here, with the forms real endpoints use (compact headers, bare LF, several media)
// and every bound on lines, counts and numbers.
#include <gtest/gtest.h>

#include <string>

#include "PacketBytes.h"
#include "rtp/SipMessage.h"

namespace {

std::optional<SipMessage> Parse(const std::string& text) {
    const auto bytes = packet_bytes::Text(text);
    return SipMessage::Parse(bytes);
}

// A message whose lines are joined by the given line end, with the body's length.
std::string Message(const std::string& startLine, const std::string& headers, const std::string& body,
                    const std::string& eol = "\r\n") {
    std::string text = startLine + eol;
    std::size_t start = 0;
    while (start < headers.size()) {
        const std::size_t end = headers.find('\n', start);
        text += headers.substr(start, end - start) + eol;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return text + eol + body;
}

std::string Sdp(const std::string& lines, const std::string& eol = "\r\n") {
    std::string text;
    std::size_t start = 0;
    while (start < lines.size()) {
        const std::size_t end = lines.find('\n', start);
        text += lines.substr(start, end - start) + eol;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return text;
}

const std::string kOffer =
    "v=0\n"
    "o=- 1 1 IN IP4 192.0.2.10\n"
    "s=-\n"
    "c=IN IP4 192.0.2.10\n"
    "t=0 0\n"
    "m=audio 49170 RTP/AVP 0 8 101\n"
    "a=rtpmap:101 telephone-event/8000\n"
    "a=fmtp:101 0-15";

std::string Invite(const std::string& body, const std::string& eol = "\r\n") {
    return Message("INVITE sip:bob@example.com SIP/2.0",
                   "Via: SIP/2.0/UDP 192.0.2.10:5060\nCall-ID: a84b4c76e66710@192.0.2.10\nContent-Type: application/sdp\n"
                   "Content-Length: " + std::to_string(body.size()),
                   body, eol);
}

TEST(SipMessage, InviteWithAnOffer) {
    for (const std::string eol : {"\r\n", "\n"}) {
        const auto m = Parse(Invite(Sdp(kOffer, eol), eol));
        ASSERT_TRUE(m) << "line end " << eol.size();
        EXPECT_TRUE(m->request);
        EXPECT_EQ(m->method, "INVITE");
        EXPECT_EQ(m->status, 0);
        EXPECT_EQ(m->callId, "a84b4c76e66710@192.0.2.10");
        ASSERT_EQ(m->media.size(), 1u);
        EXPECT_EQ(m->media[0].endpoint.ToString(), "192.0.2.10:49170");
        const auto& f = m->media[0].formats;
        ASSERT_EQ(f.size(), 3u);
        EXPECT_EQ(f[0].payloadType, 0);
        EXPECT_EQ(f[0].encoding, "PCMU");
        EXPECT_EQ(f[0].clockRate, 8000);
        EXPECT_EQ(f[1].encoding, "PCMA");
        EXPECT_EQ(f[2].payloadType, 101);
        EXPECT_EQ(f[2].encoding, "telephone-event");
        EXPECT_EQ(f[2].clockRate, 8000);
        EXPECT_EQ(f[2].channels, 1);
    }
}

TEST(SipMessage, ResponseWithCompactHeadersAnyCase) {
    const std::string body = Sdp("v=0\nc=IN IP6 2001:db8::5\nm=audio 5004 RTP/AVP 97\na=rtpmap:97 opus/48000/2");
    const auto m = Parse(Message("SIP/2.0 200 OK", "i: xyz\nc: Application/SDP; charset=utf-8\nl: " +
                                                       std::to_string(body.size()), body));
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->request);
    EXPECT_TRUE(m->method.empty());
    EXPECT_EQ(m->status, 200);
    EXPECT_EQ(m->callId, "xyz");
    ASSERT_EQ(m->media.size(), 1u);
    EXPECT_EQ(m->media[0].endpoint.ToString(), "[2001:db8::5]:5004");
    ASSERT_EQ(m->media[0].formats.size(), 1u);
    EXPECT_EQ(m->media[0].formats[0].encoding, "opus");
    EXPECT_EQ(m->media[0].formats[0].clockRate, 48000);
    EXPECT_EQ(m->media[0].formats[0].channels, 2);

    const auto upper = Parse(Message("SIP/2.0 180 Ringing", "CALL-ID:   spaced  ", ""));
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->callId, "spaced");
    EXPECT_EQ(upper->status, 180);
    EXPECT_TRUE(upper->media.empty());
}

TEST(SipMessage, StartLinesThatAreNotSip) {
    for (const std::string line : {"HTTP/1.1 200 OK", "SIP/2.0 99 Too Low", "SIP/2.0 700 Too High", "SIP/2.0 2000 OK",
                                   "SIP/2.0 20x OK", "SIP/2.0  200 OK", "SIP/2.0", "INVITE sip:bob@example.com SIP/3.0",
                                   "INVITE sip:bob@example.com", "INVITE  SIP/2.0", "INVITE bob SIP/2.0",
                                   "INV{TE sip:bob@example.com SIP/2.0", " INVITE sip:bob@example.com SIP/2.0", ""})
        EXPECT_FALSE(Parse(Message(line, "Call-ID: x", ""))) << line;
    EXPECT_TRUE(Parse(Message("SIP/2.0 699", "Call-ID: x", "")));
    EXPECT_TRUE(Parse(Message("OPTIONS tel:+15551234 SIP/2.0", "Call-ID: x", "")));
    EXPECT_FALSE(Parse(std::string(2000, '\x80')));
    EXPECT_FALSE(SipMessage::Parse({}));
}

TEST(SipMessage, HeadersMustEndAndHoldACallId) {
    EXPECT_FALSE(Parse("SIP/2.0 200 OK\r\nCall-ID: x\r\n"));  // no blank line
    EXPECT_FALSE(Parse(Message("SIP/2.0 200 OK", "Via: SIP/2.0/UDP h", "")));
    EXPECT_FALSE(Parse(Message("SIP/2.0 200 OK", "Call-ID:", "")));
    EXPECT_FALSE(Parse(Message("SIP/2.0 200 OK", "Call-ID: " + std::string(257, 'c'), "")));
    EXPECT_TRUE(Parse(Message("SIP/2.0 200 OK", "Call-ID: " + std::string(256, 'c'), "")));
    // No end to the headers within the count allowed.
    std::string many;
    for (std::size_t i = 0; i <= SipMessage::kMaxHeaders; ++i) many += "X-H: " + std::to_string(i) + "\n";
    EXPECT_FALSE(Parse(Message("SIP/2.0 200 OK", many + "Call-ID: x", "")));
    std::string most;
    for (std::size_t i = 1; i < SipMessage::kMaxHeaders; ++i) most += "X-H: " + std::to_string(i) + "\n";
    EXPECT_TRUE(Parse(Message("SIP/2.0 200 OK", most + "Call-ID: x", "")));
    // Folded lines and lines without a colon are passed over.
    const auto m = Parse(Message("SIP/2.0 200 OK", "Subject: a\n  folded: not a header\nnonsense\ni: real", ""));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->callId, "real");
}

TEST(SipMessage, ContentLengthCutsTheBody) {
    const std::string first = Sdp("v=0\nc=IN IP4 192.0.2.1\nm=audio 4000 RTP/AVP 0\n");
    const std::string second = Sdp("m=audio 4002 RTP/AVP 8");
    const std::string headers = "Call-ID: x\nContent-Type: application/sdp\nContent-Length: ";
    auto m = Parse(Message("SIP/2.0 200 OK", headers + std::to_string(first.size()), first + second));
    ASSERT_TRUE(m);
    ASSERT_EQ(m->media.size(), 1u);
    EXPECT_EQ(m->media[0].endpoint.port, 4000);
    // A length beyond the datagram keeps what is there.
    m = Parse(Message("SIP/2.0 200 OK", headers + "65535", first + second));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->media.size(), 2u);
    // A length that overflows is not a length: the whole rest is the body.
    m = Parse(Message("SIP/2.0 200 OK", headers + "99999999999999999999999", first + second));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->media.size(), 2u);
    // A body that is not SDP is not read.
    m = Parse(Message("SIP/2.0 200 OK", "Call-ID: x\nContent-Type: text/plain", first));
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->media.empty());
    // Without a Content-Type, SDP is recognised by its v= line.
    m = Parse(Message("SIP/2.0 200 OK", "Call-ID: x", first));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->media.size(), 1u);
}

TEST(SessionDescription, MediaAddressOverSessionAddress) {
    const auto offers = SessionDescription::ParseAudio(Sdp(
        "v=0\nc=IN IP4 192.0.2.1\n"
        "m=audio 4000 RTP/AVP 0\nc=IN IP4 192.0.2.2\n"
        "m=audio 4002 RTP/AVP 0\n"
        "m=audio 4004 RTP/AVP 0\nc=IN IP4 224.2.1.1/127/3\n"));
    ASSERT_TRUE(offers);
    ASSERT_EQ(offers->size(), 3u);
    EXPECT_EQ((*offers)[0].endpoint.ToString(), "192.0.2.2:4000");
    EXPECT_EQ((*offers)[1].endpoint.ToString(), "192.0.2.1:4002");
    EXPECT_EQ((*offers)[2].endpoint.ToString(), "224.2.1.1:4004");
}

TEST(SessionDescription, OnlyAudioOverRtpWithAPortAndAnAddress) {
    const auto offers = SessionDescription::ParseAudio(Sdp(
        "v=0\nc=IN IP4 192.0.2.1\n"
        "m=audio 4000 RTP/AVP 0\n"
        "m=video 5000 RTP/AVP 96\na=rtpmap:96 H264/90000\n"
        "m=audio 0 RTP/AVP 0\n"                       // refused
        "m=image 6000 udptl t38\n"
        "m=audio 6002 udptl t38\n"
        "m=audio 6004/2 RTP/SAVP 8\n"
        "m=audio 6006 RTP/AVPF 8\n"
        "m=audio 6008 rtp/savpf 8\n"
        "m=audio 65536 RTP/AVP 8\n"
        "m=audio -1 RTP/AVP 8\n"
        "m=audio 6010 RTP/AVP 9\nc=IN IP4 2001:db8::1\n"));  // family disagrees: the session's is used
    ASSERT_TRUE(offers);
    ASSERT_EQ(offers->size(), 5u);
    EXPECT_EQ((*offers)[0].endpoint.ToString(), "192.0.2.1:4000");
    EXPECT_EQ((*offers)[1].endpoint.port, 6004);
    EXPECT_EQ((*offers)[2].endpoint.port, 6006);
    EXPECT_EQ((*offers)[3].endpoint.port, 6008);
    EXPECT_EQ((*offers)[4].endpoint.port, 6010);
}

TEST(SessionDescription, AnAddressOnlyAfterTheMediaIsTheMedia) {
    // The c= after the first m= is that medium's, not the session's.
    const auto offers = SessionDescription::ParseAudio(Sdp(
        "v=0\nm=audio 4000 RTP/AVP 0\nc=IN IP4 192.0.2.1\nm=audio 4002 RTP/AVP 0\n"));
    ASSERT_TRUE(offers);
    ASSERT_EQ(offers->size(), 1u);
    EXPECT_EQ((*offers)[0].endpoint.port, 4000);
}

TEST(SessionDescription, PayloadTypes) {
    const auto offers = SessionDescription::ParseAudio(Sdp(
        "v=0\nc=IN IP4 192.0.2.1\n"
        "m=audio 4000 RTP/AVP 127 128 0 0 x 96 1 99 98 97 100\n"
        "a=rtpmap:127 telephone-event/8000\n"
        "a=rtpmap:128 junk/8000\n"
        "a=rtpmap:0 PCMU/8000/1\n"
        "a=rtpmap:99 L16/0\n"                 // no clock rate
        "a=rtpmap:98 L16/16000/0\n"           // no channels
        "a=rtpmap:97 " + std::string(65, 'E') + "/8000\n"
        "a=rtpmap:100 L16/99999999999999999999\n"
        "a=rtpmap:95 speex/8000\n"));          // not on the m= line
    ASSERT_TRUE(offers);
    ASSERT_EQ(offers->size(), 1u);
    const auto& f = (*offers)[0].formats;
    ASSERT_EQ(f.size(), 8u);  // 128 and x are not types, 0 appears once
    EXPECT_EQ(f[0].payloadType, 127);
    EXPECT_EQ(f[0].encoding, "telephone-event");
    EXPECT_EQ(f[1].payloadType, 0);
    EXPECT_EQ(f[1].encoding, "PCMU");
    // A dynamic type without a usable rtpmap, and a reserved static one, keep no encoding.
    for (std::size_t i = 2; i < f.size(); ++i) {
        EXPECT_TRUE(f[i].encoding.empty()) << f[i].payloadType;
        EXPECT_EQ(f[i].clockRate, 0) << f[i].payloadType;
    }
    EXPECT_EQ(f[2].payloadType, 96);
    EXPECT_EQ(f[3].payloadType, 1);
}

TEST(SessionDescription, CountsAreBounded) {
    std::string types;
    for (int t = 0; t < 40; ++t) types += " " + std::to_string(60 + t);
    std::string lines = "v=0\nc=IN IP4 192.0.2.1\nm=audio 4000 RTP/AVP" + types + "\n";
    for (int i = 1; i < 20; ++i) lines += "m=audio " + std::to_string(4000 + 2 * i) + " RTP/AVP 0\n";
    const auto offers = SessionDescription::ParseAudio(Sdp(lines));
    ASSERT_TRUE(offers);
    EXPECT_EQ(offers->size(), SessionDescription::kMaxMedia);
    EXPECT_EQ((*offers)[0].formats.size(), SessionDescription::kMaxFormats);
    EXPECT_EQ((*offers)[0].formats.back().payloadType, 60 + int(SessionDescription::kMaxFormats) - 1);
}

TEST(SessionDescription, LongLinesAreSkippedAndTheBodyMustStartWithV) {
    const std::string longAddress = "c=IN IP4 192.0.2.9" + std::string(SessionDescription::kMaxLineLength, ' ');
    const auto offers =
        SessionDescription::ParseAudio(Sdp("v=0\nc=IN IP4 192.0.2.1\n" + longAddress + "\nm=audio 4000 RTP/AVP 0"));
    ASSERT_TRUE(offers);
    ASSERT_EQ(offers->size(), 1u);
    EXPECT_EQ((*offers)[0].endpoint.ToString(), "192.0.2.1:4000");
    EXPECT_FALSE(SessionDescription::ParseAudio("o=- 1 1 IN IP4 192.0.2.1\r\nv=0\r\n"));
    EXPECT_FALSE(SessionDescription::ParseAudio(""));
}

}  // namespace
