// Payload formats and their decoders: the static table, G.711 against libavcodec's own
// expansion, L16's byte order and channel mixing, frame cutting of the narrowband codecs,
// and codec payloads made by libavcodec's encoders.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "StreamTestSupport.h"
#include "rtp/PayloadDecoder.h"
#include "rtp/PayloadFormat.h"

#if VORNIX_WITH_FFMPEG
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}
#endif

namespace {

using stream_test::Bytes;

PayloadFormat Format(const char* encoding, int clock, int channels = 1, int type = 96) {
    PayloadFormat f;
    f.payloadType = type;
    f.encoding = encoding;
    f.clockRate = clock;
    f.channels = channels;
    return f;
}

std::vector<std::int16_t> DecodeAll(PayloadDecoder& d, const std::vector<Bytes>& payloads) {
    std::vector<std::int16_t> out;
    for (const Bytes& p : payloads) d.Decode(p, out);
    return out;
}

// The share of the signal's power at one frequency: 1 for a pure tone there.
double ToneShare(std::span<const std::int16_t> s, double hz, int rate) {
    const double pi = std::acos(-1.0);
    double re = 0, im = 0, power = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double w = 2 * pi * hz * static_cast<double>(i) / rate;
        re += s[i] * std::cos(w);
        im += s[i] * std::sin(w);
        power += static_cast<double>(s[i]) * s[i];
    }
    const double n = static_cast<double>(s.size());
    return power > 0 ? 2 * (re * re + im * im) / n / power : 0.0;
}

TEST(PayloadFormat, TheStaticAudioTypes) {
    struct Row {
        int type;
        const char* encoding;
        int clock;
        int channels;
    };
    const Row rows[] = {{0, "PCMU", 8000, 1},  {3, "GSM", 8000, 1},    {4, "G723", 8000, 1},  {5, "DVI4", 8000, 1},
                        {6, "DVI4", 16000, 1}, {7, "LPC", 8000, 1},    {8, "PCMA", 8000, 1},  {9, "G722", 8000, 1},
                        {10, "L16", 44100, 2}, {11, "L16", 44100, 1},  {12, "QCELP", 8000, 1}, {13, "CN", 8000, 1},
                        {14, "MPA", 90000, 1}, {15, "G728", 8000, 1},  {16, "DVI4", 11025, 1}, {17, "DVI4", 22050, 1},
                        {18, "G729", 8000, 1}};
    for (const Row& r : rows) {
        const auto f = PayloadFormat::Static(r.type);
        ASSERT_TRUE(f.has_value()) << r.type;
        EXPECT_EQ(f->payloadType, r.type);
        EXPECT_EQ(f->encoding, r.encoding);
        EXPECT_EQ(f->clockRate, r.clock) << r.type;
        EXPECT_EQ(f->channels, r.channels) << r.type;
    }
    // Reserved, unassigned, video, dynamic, and out of range.
    for (const int type : {-1, 1, 2, 19, 20, 24, 25, 26, 31, 34, 35, 96, 127, 128})
        EXPECT_FALSE(PayloadFormat::Static(type).has_value()) << type;
}

TEST(PayloadFormat, TelephoneEventIsRecognisedWhateverItsCase) {
    EXPECT_TRUE(Format("telephone-event", 8000).IsTelephoneEvent());
    EXPECT_TRUE(Format("Telephone-Event", 48000).IsTelephoneEvent());
    EXPECT_FALSE(Format("telephone-events", 8000).IsTelephoneEvent());
    EXPECT_FALSE(Format("telephone", 8000).IsTelephoneEvent());
    EXPECT_FALSE(Format("", 8000).IsTelephoneEvent());
}

TEST(PayloadDecoder, G711KnownCodes) {
    EXPECT_EQ(PayloadDecoder::MuLawToLinear(0xFF), 0);
    EXPECT_EQ(PayloadDecoder::MuLawToLinear(0x7F), 0);
    EXPECT_EQ(PayloadDecoder::MuLawToLinear(0x00), -32124);
    EXPECT_EQ(PayloadDecoder::MuLawToLinear(0x80), 32124);
    EXPECT_EQ(PayloadDecoder::MuLawToLinear(0xFE), 8);
    EXPECT_EQ(PayloadDecoder::ALawToLinear(0xD5), 8);
    EXPECT_EQ(PayloadDecoder::ALawToLinear(0x55), -8);
    EXPECT_EQ(PayloadDecoder::ALawToLinear(0xAA), 32256);
    EXPECT_EQ(PayloadDecoder::ALawToLinear(0x2A), -32256);
    // Segment boundaries of A-law: the first two segments share a step.
    EXPECT_EQ(PayloadDecoder::ALawToLinear(0xD5 ^ 0x0F), 248);
    EXPECT_EQ(PayloadDecoder::ALawToLinear(0xD5 ^ 0x10), 264);
}

#if VORNIX_WITH_FFMPEG
std::vector<std::int16_t> LibraryExpansion(AVCodecID id) {
    std::vector<std::int16_t> out;
    const AVCodec* codec = avcodec_find_decoder(id);
    if (codec == nullptr) return out;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->sample_rate = 8000;
    av_channel_layout_default(&c->ch_layout, 1);
    avcodec_open2(c, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    av_new_packet(packet, 256);
    for (int i = 0; i < 256; ++i) packet->data[i] = static_cast<std::uint8_t>(i);
    avcodec_send_packet(c, packet);
    while (avcodec_receive_frame(c, frame) == 0) {
        const auto* s = reinterpret_cast<const std::int16_t*>(frame->data[0]);
        out.insert(out.end(), s, s + frame->nb_samples);
        av_frame_unref(frame);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);
    return out;
}

TEST(PayloadDecoder, G711TablesAgreeWithLibavcodecOnEveryCode) {
    const std::vector<std::int16_t> mu = LibraryExpansion(AV_CODEC_ID_PCM_MULAW);
    const std::vector<std::int16_t> a = LibraryExpansion(AV_CODEC_ID_PCM_ALAW);
    ASSERT_EQ(mu.size(), 256u);
    ASSERT_EQ(a.size(), 256u);
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(PayloadDecoder::MuLawToLinear(static_cast<std::uint8_t>(code)), mu[code]) << code;
        EXPECT_EQ(PayloadDecoder::ALawToLinear(static_cast<std::uint8_t>(code)), a[code]) << code;
    }
}
#endif

TEST(PayloadDecoder, G711PayloadsGiveOneSamplePerByte) {
    PayloadDecoder mu(*PayloadFormat::Static(0));
    PayloadDecoder a(*PayloadFormat::Static(8));
    ASSERT_TRUE(mu.Known());
    ASSERT_TRUE(a.Known());
    EXPECT_EQ(mu.AudioRate(), 8000);
    EXPECT_EQ(a.ClockRate(), 8000);
    std::vector<std::int16_t> out = {1234};  // appended to, not replaced
    mu.Decode(Bytes{0xFF, 0x00, 0x80}, out);
    a.Decode(Bytes{0xD5, 0x55}, out);
    EXPECT_EQ(out, (std::vector<std::int16_t>{1234, 0, -32124, 32124, 8, -8}));
    mu.Decode(Bytes{}, out);
    EXPECT_EQ(out.size(), 6u);
}

TEST(PayloadDecoder, L16IsBigEndianAndTwoChannelsAreMixed) {
    PayloadDecoder mono(*PayloadFormat::Static(11));
    ASSERT_TRUE(mono.Known());
    EXPECT_EQ(mono.AudioRate(), 44100);
    std::vector<std::int16_t> out;
    // 0x0102, -2 (0xFFFE), 0x8000, and a dangling byte.
    mono.Decode(Bytes{0x01, 0x02, 0xFF, 0xFE, 0x80, 0x00, 0x7F}, out);
    EXPECT_EQ(out, (std::vector<std::int16_t>{0x0102, -2, -32768}));

    PayloadDecoder stereo(*PayloadFormat::Static(10));
    out.clear();
    // Frames (1000, 3000), (-32768, -32768), (32767, -32767), then half a frame.
    stereo.Decode(Bytes{0x03, 0xE8, 0x0B, 0xB8, 0x80, 0x00, 0x80, 0x00, 0x7F, 0xFF, 0x80, 0x01, 0x00, 0x10}, out);
    EXPECT_EQ(out, (std::vector<std::int16_t>{2000, -32768, 0}));
}

TEST(PayloadDecoder, WhatIsNotAudioOrNotKnownIsNotKnown) {
    EXPECT_FALSE(PayloadDecoder(*PayloadFormat::Static(13)).Known());  // comfort noise
    EXPECT_FALSE(PayloadDecoder(Format("telephone-event", 8000)).Known());
    EXPECT_FALSE(PayloadDecoder(Format("AMR", 8000)).Known());
    EXPECT_FALSE(PayloadDecoder(*PayloadFormat::Static(5)).Known());  // DVI4
    EXPECT_FALSE(PayloadDecoder(Format("PCMU", 0)).Known());
    EXPECT_FALSE(PayloadDecoder(Format("PCMU", -8000)).Known());
    EXPECT_FALSE(PayloadDecoder(Format("L16", 10'000'000)).Known());
    // Case does not matter to the encoding name.
    EXPECT_TRUE(PayloadDecoder(Format("pcma", 8000)).Known());
    PayloadDecoder unknown(Format("AMR", 8000));
    std::vector<std::int16_t> out;
    unknown.Decode(Bytes(32, 0x55), out);
    EXPECT_TRUE(out.empty());
}

TEST(PayloadDecoder, SilenceIsZeros) {
    std::vector<std::int16_t> out = {7};
    PayloadDecoder::Silence(5, out);
    EXPECT_EQ(out, (std::vector<std::int16_t>{7, 0, 0, 0, 0, 0}));
}

#if VORNIX_WITH_FFMPEG
TEST(PayloadDecoder, CodecRatesAndClocks) {
    PayloadDecoder g722(*PayloadFormat::Static(9));
    PayloadDecoder gsm(*PayloadFormat::Static(3));
    PayloadDecoder g729(*PayloadFormat::Static(18));
    PayloadDecoder ilbc(Format("iLBC", 8000));
    PayloadDecoder opus(Format("opus", 48000, 2));
    for (PayloadDecoder* d : {&g722, &gsm, &g729, &ilbc, &opus}) EXPECT_TRUE(d->Known()) << d->Format().encoding;
    EXPECT_EQ(g722.AudioRate(), 16000);
    EXPECT_EQ(g722.ClockRate(), 8000);
    EXPECT_EQ(gsm.AudioRate(), 8000);
    EXPECT_EQ(g729.AudioRate(), 8000);
    EXPECT_EQ(ilbc.AudioRate(), 8000);
    EXPECT_EQ(opus.AudioRate(), 48000);
    EXPECT_EQ(opus.ClockRate(), 48000);
}

TEST(PayloadDecoder, G722PacketsDecodeToTheToneAtSixteenKilohertz) {
    const std::vector<std::int16_t> tone = stream_test::Tone(1000, 16000, 16000);
    const std::vector<Bytes> packets = stream_test::EncodePackets("g722", 16000, tone);
    ASSERT_FALSE(packets.empty());
    PayloadDecoder d(*PayloadFormat::Static(9));
    std::size_t bytes = 0;
    for (const Bytes& p : packets) bytes += p.size();
    const std::vector<std::int16_t> out = DecodeAll(d, packets);
    // Two samples per byte: the 8000 clock counts one per byte.
    EXPECT_EQ(out.size(), 2 * bytes);
    EXPECT_GT(ToneShare(std::span(out).subspan(800), 1000, 16000), 0.95);
    EXPECT_NEAR(stream_test::Rms(std::span(out).subspan(800)), stream_test::Rms(tone), 0.15 * stream_test::Rms(tone));
}

TEST(PayloadDecoder, GsmFramesAreCutAtThirtyThreeBytes) {
    const std::vector<std::int16_t> tone = stream_test::Tone(600, 8000, 8000);
    const std::vector<Bytes> frames = stream_test::EncodePackets("libgsm", 8000, tone);
    if (frames.empty()) GTEST_SKIP() << "no GSM encoder in this libavcodec";
    ASSERT_EQ(frames[0].size(), 33u);
    // Two frames a payload, and a stray byte at the end of the last.
    std::vector<Bytes> payloads;
    for (std::size_t i = 0; i + 1 < frames.size(); i += 2) {
        Bytes p = frames[i];
        p.insert(p.end(), frames[i + 1].begin(), frames[i + 1].end());
        payloads.push_back(p);
    }
    payloads.back().push_back(0x00);
    PayloadDecoder d(*PayloadFormat::Static(3));
    const std::vector<std::int16_t> out = DecodeAll(d, payloads);
    EXPECT_EQ(out.size(), payloads.size() * 320);
    EXPECT_GT(ToneShare(std::span(out).subspan(800), 600, 8000), 0.8);
}

TEST(PayloadDecoder, OpusPacketsDecodeAtFortyEightKilohertzMixedToMono) {
    const std::vector<std::int16_t> tone = stream_test::Tone(440, 48000, 48000);
    const std::vector<Bytes> packets = stream_test::EncodePackets("libopus", 48000, tone, 64000);
    if (packets.empty()) GTEST_SKIP() << "no Opus encoder in this libavcodec";
    PayloadDecoder d(Format("opus", 48000, 2));
    const std::vector<std::int16_t> out = DecodeAll(d, packets);
    EXPECT_EQ(out.size(), packets.size() * 960);  // 20 ms packets
    EXPECT_GT(ToneShare(std::span(out).subspan(4800), 440, 48000), 0.95);
    EXPECT_NEAR(stream_test::Rms(std::span(out).subspan(4800)), stream_test::Rms(tone), 0.2 * stream_test::Rms(tone));
}

TEST(PayloadDecoder, G729FramesAndTheirComfortNoiseFrame) {
    PayloadDecoder d(*PayloadFormat::Static(18));
    std::vector<std::int16_t> out;
    d.Decode(Bytes(20, 0x00), out);  // two speech frames
    EXPECT_EQ(out.size(), 160u);
    out.clear();
    d.Decode(Bytes(22, 0x00), out);  // two speech frames and a comfort-noise frame
    EXPECT_EQ(out.size(), 240u);
    EXPECT_EQ(stream_test::Rms(std::span(out).subspan(160)), 0.0);
    out.clear();
    d.Decode(Bytes{0x12, 0x34}, out);  // comfort noise alone
    EXPECT_EQ(out, std::vector<std::int16_t>(80, 0));
    out.clear();
    d.Decode(Bytes(7, 0x00), out);  // neither
    EXPECT_TRUE(out.empty());
}

TEST(PayloadDecoder, IlbcModeFollowsTheFrameSize) {
    PayloadDecoder d(Format("iLBC", 8000));
    std::mt19937 random(7);
    auto bytes = [&](std::size_t n) {
        Bytes b(n);
        for (auto& x : b) x = static_cast<std::uint8_t>(random());
        return b;
    };
    std::vector<std::int16_t> out;
    d.Decode(bytes(38), out);
    EXPECT_EQ(out.size(), 160u);
    out.clear();
    d.Decode(bytes(100), out);  // two 30 ms frames
    EXPECT_EQ(out.size(), 480u);
    out.clear();
    d.Decode(bytes(76), out);  // back to 20 ms
    EXPECT_EQ(out.size(), 320u);
    out.clear();
    d.Decode(bytes(45), out);
    EXPECT_TRUE(out.empty());
}

TEST(PayloadDecoder, DamagedPayloadsGiveBoundedOutputAndNoCrash) {
    std::mt19937 random(1234);
    PayloadDecoder g722(*PayloadFormat::Static(9));
    PayloadDecoder gsm(*PayloadFormat::Static(3));
    PayloadDecoder g729(*PayloadFormat::Static(18));
    PayloadDecoder ilbc(Format("iLBC", 8000));
    PayloadDecoder opus(Format("opus", 48000, 2));
    for (int round = 0; round < 300; ++round) {
        Bytes payload(random() % 1500);
        for (auto& b : payload) b = static_cast<std::uint8_t>(random());
        for (PayloadDecoder* d : {&g722, &gsm, &g729, &ilbc, &opus}) {
            std::vector<std::int16_t> out;
            d->Decode(payload, out);
            // At most 120 ms of Opus, or eight samples a byte and a comfort-noise frame (G.729).
            EXPECT_LE(out.size(), std::max<std::size_t>(5760, payload.size() * 8 + 80)) << d->Format().encoding;
        }
    }
}
#else
TEST(PayloadDecoder, WithoutFfmpegOnlyG711AndL16AreKnown) {
    EXPECT_FALSE(PayloadDecoder(*PayloadFormat::Static(9)).Known());
    EXPECT_FALSE(PayloadDecoder(*PayloadFormat::Static(3)).Known());
    EXPECT_FALSE(PayloadDecoder(Format("opus", 48000, 2)).Known());
}
#endif

}  // namespace
