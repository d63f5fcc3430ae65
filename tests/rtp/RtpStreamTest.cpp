// One RTP stream end to end: packets in arrival order in, samples and keys out, with the
// position arithmetic checked sample by sample: loss, reordering, wrap-around, G.722's
// doubled rate, keys before audio, and timestamps that jump or step back.
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <random>
#include <vector>

#include "StreamTestSupport.h"
#include "rtp/PayloadDecoder.h"
#include "rtp/RtpStream.h"

namespace {

using stream_test::Bytes;
using stream_test::EventPayload;
using stream_test::Packet;
using stream_test::RecordingSink;
using stream_test::TestPacket;

constexpr std::int64_t kMs = 1'000'000;
constexpr std::uint8_t kEventType = 101;

// The static table, telephone-event on 101, and whatever a test adds as if from SDP.
struct Rig {
    explicit Rig(std::map<int, PayloadFormat> dynamic = {}, RtpStream::Settings settings = {})
        : sdp(std::move(dynamic)),
          stream(
              [this](int type) -> std::optional<PayloadFormat> {
                  if (auto it = sdp.find(type); it != sdp.end()) return it->second;
                  if (type == kEventType) {
                      PayloadFormat f;
                      f.payloadType = type;
                      f.encoding = "telephone-event";
                      f.clockRate = 8000;
                      return f;
                  }
                  return PayloadFormat::Static(type);
              },
              sink, settings) {}

    void Push(const TestPacket& p, std::int64_t arrivalNs) { stream.Push(p.View(), arrivalNs); }

    std::map<int, PayloadFormat> sdp;
    RecordingSink sink;
    RtpStream stream;
};

// Packet i of a mu-law stream: 20 ms of one code, 0x10 + i, so each packet's samples say
// which packet they came from (and none is silence).
TestPacket MuLaw(int i, std::uint16_t firstSequence = 1000, std::uint32_t firstTimestamp = 50'000) {
    return Packet(0, static_cast<std::uint16_t>(firstSequence + i), firstTimestamp + 160u * static_cast<std::uint32_t>(i),
                  Bytes(160, static_cast<std::uint8_t>(0x10 + i)));
}

std::int16_t MuLawValue(int i) { return PayloadDecoder::MuLawToLinear(static_cast<std::uint8_t>(0x10 + i)); }

// Which packet each 160-sample block came from; -1 for silence.
std::vector<int> Blocks(const std::vector<std::int16_t>& samples) {
    std::vector<int> out;
    for (std::size_t at = 0; at + 160 <= samples.size(); at += 160) {
        int which = -2;
        for (int i = 0; i < 0x60; ++i)
            if (samples[at] == MuLawValue(i)) which = i;
        if (samples[at] == 0) which = -1;
        for (std::size_t k = at; k < at + 160; ++k) EXPECT_EQ(samples[k], samples[at]) << "block at " << at;
        out.push_back(which);
    }
    EXPECT_EQ(samples.size() % 160, 0u);
    return out;
}

TestPacket Event(std::uint16_t sequence, std::uint32_t timestamp, int event, bool end, std::uint16_t duration) {
    return Packet(kEventType, sequence, timestamp, EventPayload(event, end, 10, duration));
}

TEST(RtpStream, InOrderAudioIsDeliveredAsIsAfterOneStart) {
    Rig rig;
    for (int i = 0; i < 3; ++i) rig.Push(MuLaw(i), i * 20 * kMs);
    rig.stream.End();
    EXPECT_EQ(rig.sink.starts, 1);
    EXPECT_EQ(rig.sink.rate, 8000);
    EXPECT_FALSE(rig.sink.audioBeforeStart);
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(rig.stream.Stats().silenceSamples, 0u);
    EXPECT_EQ(rig.stream.Problem(), "");
}

TEST(RtpStream, LostPacketsBecomeSilenceOfTheirLength) {
    Rig rig;
    for (const int i : {0, 1, 4, 5}) rig.Push(MuLaw(i), i * 20 * kMs);
    rig.stream.End();
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{0, 1, -1, -1, 4, 5}));
    const RtpStream::Statistics s = rig.stream.Stats();
    EXPECT_EQ(s.lost, 2u);
    EXPECT_EQ(s.silenceSamples, 320u);
    EXPECT_EQ(s.samples, 960u);
    EXPECT_EQ(s.jumps, 0u);
}

TEST(RtpStream, ReorderedAndDuplicatedPacketsComeOutInOrderOnce) {
    Rig rig;
    int n = 0;
    for (const int i : {0, 2, 1, 1, 3, 5, 4, 2}) rig.Push(MuLaw(i), ++n * 20 * kMs);
    rig.stream.End();
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(rig.stream.Stats().duplicates, 2u);
    EXPECT_EQ(rig.stream.Stats().silenceSamples, 0u);
}

TEST(RtpStream, APacketTooLateForTheWindowIsDroppedAndItsTimeStaysSilence) {
    RtpStream::Settings settings;
    settings.reorderWindow = 2;
    Rig rig({}, settings);
    for (const int i : {0, 2, 3, 1, 4}) rig.Push(MuLaw(i), i * 20 * kMs);
    rig.stream.End();
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{0, -1, 2, 3, 4}));
    EXPECT_EQ(rig.stream.Stats().late, 1u);
    EXPECT_EQ(rig.stream.Stats().lost, 1u);
}

TEST(RtpStream, SequenceAndTimestampWrapTogetherWithoutAGap) {
    Rig rig;
    // Sequence 65534.. and timestamps from 0xFFFFFEC0: both wrap after two packets.
    for (int i = 0; i < 4; ++i) rig.Push(MuLaw(i, 65534, 0xFFFFFEC0u), i * 20 * kMs);
    // And a loss just after the wrap.
    rig.Push(MuLaw(5, 65534, 0xFFFFFEC0u), 100 * kMs);
    rig.stream.End();
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{0, 1, 2, 3, -1, 5}));
    EXPECT_EQ(rig.stream.Stats().jumps, 0u);
    EXPECT_EQ(rig.stream.Stats().backSteps, 0u);
}

TEST(RtpStream, SilenceSuppressionAndComfortNoiseAreFilledByTheNextTimestamp) {
    Rig rig;
    rig.Push(MuLaw(0), 0);
    // Comfort noise, then nothing, then talk again 1 s after the first packet.
    TestPacket cn = Packet(13, 1001, 50'160, Bytes{0x40});
    rig.Push(cn, 20 * kMs);
    TestPacket talk = MuLaw(50);
    talk.sequence = 1002;
    rig.Push(talk, 1000 * kMs);
    rig.stream.End();
    const std::vector<int> blocks = Blocks(rig.sink.samples);
    ASSERT_EQ(blocks.size(), 51u);
    EXPECT_EQ(blocks.front(), 0);
    EXPECT_EQ(blocks.back(), 50);
    EXPECT_EQ(rig.stream.Stats().silenceSamples, 49u * 160);
    EXPECT_EQ(rig.stream.Stats().comfortNoisePackets, 1u);
    EXPECT_EQ(rig.stream.Stats().lost, 0u);
}

TEST(RtpStream, G722PositionsCountAtSixteenKilohertzOnItsEightKilohertzClock) {
#if !VORNIX_WITH_FFMPEG
    GTEST_SKIP() << "G.722 needs libavcodec";
#endif
    const std::vector<std::int16_t> tone = stream_test::Tone(1000, 16000, 16000 * 2 / 10);  // 200 ms
    const std::vector<Bytes> packets = stream_test::EncodePackets("g722", 16000, tone);
    ASSERT_EQ(packets.size(), 10u);
    ASSERT_EQ(packets[0].size(), 160u);
    Rig rig;
    for (int i = 0; i < 10; ++i) {
        if (i == 3 || i == 4) continue;  // lost
        rig.Push(Packet(9, static_cast<std::uint16_t>(i), 8000u + 160u * static_cast<std::uint32_t>(i), packets[static_cast<std::size_t>(i)]),
                 i * 20 * kMs);
    }
    // A key half-way through packet 6's time: 6 * 160 + 80 ticks from the start.
    rig.Push(Event(10, 8000 + 6 * 160 + 80, 7, false, 160), 130 * kMs);
    rig.stream.End();
    EXPECT_EQ(rig.sink.rate, 16000);
    ASSERT_EQ(rig.sink.samples.size(), 10u * 320);
    EXPECT_EQ(rig.stream.Stats().silenceSamples, 2u * 320);
    // The lost packets' time is silence exactly where they were.
    for (std::size_t k = 3 * 320; k < 5 * 320; ++k) ASSERT_EQ(rig.sink.samples[k], 0) << k;
    EXPECT_GT(stream_test::Rms(std::span(rig.sink.samples).subspan(5 * 320, 320)), 1000);
    ASSERT_EQ(rig.sink.keys.size(), 1u);
    EXPECT_EQ(rig.sink.keys[0].key, '7');
    EXPECT_EQ(rig.sink.keys[0].position, 2 * (6 * 160 + 80));
    EXPECT_EQ(rig.sink.keys[0].timeNs, 130 * kMs);
}

// A key pressed for 100 ms while audio goes on: its packets every 20 ms, the end three times.
void PushKeyWithAudio(Rig& rig, int firstAudio, int event, std::uint16_t& sequence) {
    const std::uint32_t start = 50'000 + 160u * static_cast<std::uint32_t>(firstAudio);
    for (int k = 0; k < 5; ++k) {
        TestPacket audio = MuLaw(firstAudio + k);
        audio.sequence = sequence++;
        rig.Push(audio, (firstAudio + k) * 20 * kMs);
        rig.Push(Event(sequence++, start, event, false, static_cast<std::uint16_t>(160 * (k + 1))),
                 (firstAudio + k) * 20 * kMs + kMs);
    }
    for (int r = 0; r < 3; ++r) rig.Push(Event(sequence++, start, event, true, 800), (firstAudio + 5) * 20 * kMs);
}

TEST(RtpStream, RedundantEndPacketsGiveOneKeyAtItsEventsPosition) {
    Rig rig;
    std::uint16_t sequence = 1000;
    PushKeyWithAudio(rig, 0, 5, sequence);
    PushKeyWithAudio(rig, 10, 5, sequence);
    PushKeyWithAudio(rig, 20, 11, sequence);
    rig.stream.End();
    EXPECT_EQ(rig.sink.KeyText(), "55#");
    ASSERT_EQ(rig.sink.keys.size(), 3u);
    EXPECT_EQ(rig.sink.keys[0].position, 0);
    EXPECT_EQ(rig.sink.keys[1].position, 10 * 160);
    EXPECT_EQ(rig.sink.keys[2].position, 20 * 160);
    EXPECT_EQ(rig.sink.keys[1].timeNs, 10 * 20 * kMs + kMs);
    // The audio around the keys, and the gaps between the presses, keep their places.
    EXPECT_EQ(rig.sink.samples.size(), 25u * 160);
    EXPECT_EQ(rig.stream.Stats().eventPackets, 3u * 8);
}

TEST(RtpStream, AKeyBeforeAnyAudioWaitsForItAndTheEventsTimeIsSilence) {
    Rig rig;
    // The event starts the stream (position 0); audio begins 100 ms later on its clock.
    rig.Push(Event(1, 50'000, 3, false, 160), 0);
    rig.Push(Event(2, 50'000, 3, false, 320), 20 * kMs);
    EXPECT_EQ(rig.sink.starts, 0);
    EXPECT_TRUE(rig.sink.keys.empty());
    rig.Push(Event(3, 50'000, 3, true, 800), 100 * kMs);
    TestPacket audio = MuLaw(5);
    audio.sequence = 4;
    rig.Push(audio, 100 * kMs);
    rig.stream.End();
    EXPECT_EQ(rig.sink.starts, 1);
    EXPECT_FALSE(rig.sink.keyBeforeStart);
    ASSERT_EQ(rig.sink.keys.size(), 1u);
    EXPECT_EQ(rig.sink.keys[0].key, '3');
    EXPECT_EQ(rig.sink.keys[0].position, 0);
    EXPECT_EQ(rig.sink.keys[0].timeNs, 0);
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{-1, -1, -1, -1, -1, 5}));
}

TEST(RtpStream, AStreamOfEventsOnlyStartsAtEndOnTheEventsClock) {
    PayloadFormat wide;
    wide.payloadType = 100;
    wide.encoding = "telephone-event";
    wide.clockRate = 16000;
    Rig rig({{100, wide}});
    rig.Push(Packet(100, 7, 1000, EventPayload(12, false, 10, 320)), 0);
    rig.Push(Packet(100, 8, 1000, EventPayload(12, true, 10, 1600)), 100 * kMs);
    rig.Push(Packet(100, 9, 1000 + 16000, EventPayload(16, true, 10, 1600)), 1000 * kMs);  // flash: no key
    rig.Push(Packet(100, 10, 1000 + 32000, EventPayload(0, false, 10, 320)), 2000 * kMs);
    EXPECT_EQ(rig.sink.starts, 0);
    rig.stream.End();
    EXPECT_EQ(rig.sink.rate, 16000);
    EXPECT_EQ(rig.sink.KeyText(), "A0");
    EXPECT_EQ(rig.sink.keys[1].position, 32000);
    EXPECT_EQ(rig.stream.Stats().otherEvents, 1u);
    EXPECT_TRUE(rig.sink.samples.empty());
    EXPECT_EQ(rig.stream.Problem(), "");
}

TEST(RtpStream, ATimestampJumpOfHoursFillsOnlyWhatTheArrivalTimesSay) {
    Rig rig;
    rig.Push(MuLaw(0), 0);
    rig.Push(MuLaw(1), 20 * kMs);
    // Three hours ahead on the RTP clock, 40 ms later by arrival (one packet lost).
    TestPacket far = MuLaw(3);
    far.timestamp += 8000u * 3600 * 3;
    rig.Push(far, 60 * kMs);
    TestPacket next = MuLaw(4);
    next.timestamp = far.timestamp + 160;
    rig.Push(next, 80 * kMs);
    rig.stream.End();
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{0, 1, -1, 3, 4}));
    EXPECT_EQ(rig.stream.Stats().jumps, 1u);
    EXPECT_EQ(rig.stream.Stats().silenceSamples, 160u);
}

TEST(RtpStream, AGapLongerThanTheLongestFillIsCutShort) {
    RtpStream::Settings settings;
    settings.maxGapNs = 2000 * kMs;
    Rig rig({}, settings);
    rig.Push(MuLaw(0), 0);
    // 1.5 s of nothing, by both clocks: filled.
    TestPacket pause = MuLaw(1);
    pause.timestamp += 8000u * 3 / 2;
    rig.Push(pause, 1520 * kMs);
    // 5 s more, by both clocks: 2 s only.
    TestPacket longer = MuLaw(2);
    longer.timestamp = pause.timestamp + 8000u * 5;
    rig.Push(longer, 6520 * kMs);
    // Extreme arrival times do not overflow the arithmetic.
    TestPacket last = MuLaw(3);
    last.timestamp = longer.timestamp + 160;
    rig.Push(last, std::numeric_limits<std::int64_t>::max());
    rig.stream.End();
    EXPECT_EQ(rig.stream.Stats().silenceSamples, 8000u * 3 / 2 + 8000u * 2 - 160);
    EXPECT_EQ(rig.stream.Stats().jumps, 1u);
    EXPECT_EQ(rig.sink.samples.size(), 4u * 160 + rig.stream.Stats().silenceSamples);
}

TEST(RtpStream, WithoutArrivalTimesAJumpBeyondAMinuteFillsNothing) {
    Rig rig;
    rig.Push(MuLaw(0), 0);
    TestPacket pause = MuLaw(1);
    pause.timestamp += 8000u * 30;  // 30 s of silence suppression: believed
    rig.Push(pause, 0);
    TestPacket far = MuLaw(2);
    far.timestamp = pause.timestamp + 8000u * 61;  // beyond a minute: a discontinuity
    rig.Push(far, 0);
    rig.stream.End();
    EXPECT_EQ(rig.sink.samples.size(), 160u * 3 + 8000u * 30);
    EXPECT_EQ(rig.stream.Stats().jumps, 1u);
    EXPECT_EQ(rig.sink.samples.back(), MuLawValue(2));
}

TEST(RtpStream, TimestampsThatStepBackFeedTheirAudioWithoutFill) {
    Rig rig;
    for (int i = 0; i < 3; ++i) rig.Push(MuLaw(i), i * 20 * kMs);
    // The sender's clock goes back a second: the audio follows on, positions keep rising.
    TestPacket back = MuLaw(3);
    back.timestamp -= 8000;
    rig.Push(back, 60 * kMs);
    TestPacket after = MuLaw(5);
    after.timestamp = back.timestamp + 2 * 160;  // and a packet lost after the step
    rig.Push(after, 100 * kMs);
    // A key timestamped in the stepped-back time lands where its audio went.
    rig.Push(Event(2000, back.timestamp + 160, 9, true, 160), 101 * kMs);
    rig.stream.End();
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{0, 1, 2, 3, -1, 5}));
    EXPECT_EQ(rig.stream.Stats().backSteps, 1u);
    ASSERT_EQ(rig.sink.keys.size(), 1u);
    EXPECT_EQ(rig.sink.keys[0].position, 4 * 160);
}

TEST(RtpStream, AnUnknownPayloadTypeIsCountedAndSaysWhy) {
    Rig rig;
    for (int i = 0; i < 4; ++i) {
        TestPacket p = MuLaw(i);
        p.payloadType = 96;
        rig.Push(p, i * 20 * kMs);
    }
    rig.stream.End();
    EXPECT_EQ(rig.sink.starts, 0);
    EXPECT_EQ(rig.stream.Stats().unknownType[96], 4u);
    EXPECT_EQ(rig.stream.Problem(), "payload type 96 unknown (no SDP in the capture) in 4 packets");
}

TEST(RtpStream, AnUndecodableFormatAndAnEmptyStreamSayWhy) {
    PayloadFormat amr;
    amr.payloadType = 97;
    amr.encoding = "AMR";
    amr.clockRate = 8000;
    Rig rig({{97, amr}});
    EXPECT_EQ(rig.stream.Problem(), "no packets");
    TestPacket p = MuLaw(0);
    p.payloadType = 97;
    rig.Push(p, 0);
    rig.stream.End();
    EXPECT_EQ(rig.stream.Stats().undecodable[97], 1u);
    EXPECT_EQ(rig.stream.Problem(), "payload type 97 (AMR/8000) cannot be decoded by this build in 1 packets");
}

TEST(RtpStream, ACodecOfTheSameRateSwitchesAndOneOfAnotherRateIsSkipped) {
    Rig rig;
    rig.Push(MuLaw(0), 0);
    TestPacket alaw = Packet(8, 1001, 50'160, Bytes(160, 0xD5));
    rig.Push(alaw, 20 * kMs);
    TestPacket wide = Packet(9, 1002, 50'320, Bytes(160, 0x00));  // G.722: 16 kHz
    rig.Push(wide, 40 * kMs);
    rig.Push(MuLaw(3), 60 * kMs);
    rig.stream.End();
    ASSERT_EQ(rig.sink.samples.size(), 4u * 160);
    EXPECT_EQ(rig.sink.samples[160], 8);
    EXPECT_EQ(rig.sink.samples[2 * 160], 0);  // the skipped packet's time
    EXPECT_EQ(rig.sink.samples[3 * 160], MuLawValue(3));
#if VORNIX_WITH_FFMPEG
    EXPECT_EQ(rig.stream.Stats().otherRate[9], 1u);
#else
    EXPECT_EQ(rig.stream.Stats().undecodable[9], 1u);
#endif
}

TEST(RtpStream, DrainLetsAKeyThroughPastAMissingPacket) {
    Rig rig;
    rig.Push(MuLaw(0), 0);
    // Packet 1 never comes; the key's packet waits behind it in the window.
    rig.Push(Event(1002, 50'320, 1, false, 160), 40 * kMs);
    EXPECT_TRUE(rig.sink.keys.empty());
    rig.stream.Drain(90 * kMs, 60 * kMs);
    EXPECT_TRUE(rig.sink.keys.empty());
    rig.stream.Drain(100 * kMs, 60 * kMs);
    ASSERT_EQ(rig.sink.keys.size(), 1u);
    EXPECT_EQ(rig.sink.keys[0].position, 320);
    EXPECT_EQ(rig.stream.Stats().lost, 1u);
}

TEST(RtpStream, ASequenceRestartKeepsTheTimeline) {
    Rig rig;
    rig.Push(MuLaw(0), 0);
    rig.Push(MuLaw(1), 20 * kMs);
    TestPacket restarted = MuLaw(2);
    restarted.sequence = 40'000;
    rig.Push(restarted, 40 * kMs);
    TestPacket next = MuLaw(3);
    next.sequence = 40'001;
    rig.Push(next, 60 * kMs);
    rig.stream.End();
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(rig.stream.Stats().restarts, 1u);
}

TEST(RtpStream, PacketsOfAnotherSourceAreSkipped) {
    Rig rig;
    rig.Push(MuLaw(0), 0);
    TestPacket other = MuLaw(1);
    other.ssrc = 0xDEADBEEF;
    rig.Push(other, 20 * kMs);
    rig.Push(MuLaw(2), 40 * kMs);
    rig.stream.End();
    EXPECT_EQ(Blocks(rig.sink.samples), (std::vector<int>{0, -1, 2}));
    EXPECT_EQ(rig.stream.Stats().otherSsrc, 1u);
}

// Packets of random types, numbers, timestamps and payloads: the sink's contract holds and
// the silence stays within what the arrival times allow (their gap plus a second a packet).
TEST(RtpStream, RandomPacketsKeepTheSinksContractAndBoundedSilence) {
    std::mt19937 random(99);
    for (int round = 0; round < 40; ++round) {
        RtpStream::Settings settings;
        settings.reorderWindow = 1 + random() % 20;
        Rig rig({}, settings);
        const std::uint8_t types[] = {0, 8, 9, 13, kEventType, 96, 3, 18};
        std::uint16_t sequence = static_cast<std::uint16_t>(random());
        std::uint32_t timestamp = static_cast<std::uint32_t>(random());
        std::int64_t arrival = 0;
        const int packets = 200;
        for (int i = 0; i < packets; ++i) {
            TestPacket p;
            p.payloadType = types[random() % 8];
            const int r = static_cast<int>(random() % 100);
            sequence = static_cast<std::uint16_t>(sequence + (r < 80 ? 1 : r < 90 ? -3 + static_cast<int>(random() % 7) : static_cast<int>(random())));
            timestamp += r < 70 ? 160u : static_cast<std::uint32_t>(random());
            p.sequence = sequence;
            p.timestamp = timestamp;
            p.payload.resize(random() % 400);
            for (auto& b : p.payload) b = static_cast<std::uint8_t>(random());
            arrival += static_cast<std::int64_t>(random() % 40) * kMs;
            rig.Push(p, arrival);
            if (random() % 10 == 0) rig.stream.Drain(arrival, 60 * kMs);
        }
        rig.stream.End();
        const RtpStream::Statistics s = rig.stream.Stats();
        EXPECT_LE(rig.sink.starts, 1);
        EXPECT_FALSE(rig.sink.audioBeforeStart);
        EXPECT_FALSE(rig.sink.keyBeforeStart);
        EXPECT_EQ(rig.sink.samples.size(), s.samples);
        EXPECT_EQ(rig.sink.keys.size(), s.keys);
        for (const auto& k : rig.sink.keys) EXPECT_GE(k.position, 0);
        const double seconds = static_cast<double>(arrival) / 1e9 + packets;
        EXPECT_LE(static_cast<double>(s.silenceSamples), seconds * 16000) << round;
        if (rig.sink.starts == 0) EXPECT_NE(rig.stream.Problem(), "");
    }
}

#if VORNIX_WITH_FFMPEG
TEST(RtpStream, OpusFromSdpDecodesAtFortyEightKilohertz) {
    const std::vector<std::int16_t> tone = stream_test::Tone(440, 48000, 48000 / 5);
    const std::vector<Bytes> packets = stream_test::EncodePackets("libopus", 48000, tone, 32000);
    if (packets.empty()) GTEST_SKIP() << "no Opus encoder in this libavcodec";
    PayloadFormat opus;
    opus.payloadType = 111;
    opus.encoding = "opus";
    opus.clockRate = 48000;
    opus.channels = 2;
    Rig rig({{111, opus}});
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (i == 2) continue;
        rig.Push(Packet(111, static_cast<std::uint16_t>(i), 960u * static_cast<std::uint32_t>(i), packets[i]),
                 static_cast<std::int64_t>(i) * 20 * kMs);
    }
    rig.stream.End();
    EXPECT_EQ(rig.sink.rate, 48000);
    EXPECT_EQ(rig.sink.samples.size(), packets.size() * 960);
    EXPECT_EQ(rig.stream.Stats().silenceSamples, 960u);
}
#endif

}  // namespace
