// The reorder window: order restored across the 16-bit wrap, duplicates, late and lost
// packets counted, restarts, and the live hold time.
#include <gtest/gtest.h>

#include <vector>

#include "StreamTestSupport.h"
#include "rtp/RtpSequencer.h"

namespace {

using stream_test::Bytes;
using stream_test::Packet;
using stream_test::TestPacket;

struct Seen {
    std::uint16_t sequence;
    std::int64_t index;
    Bytes payload;
};

class Collector : public RtpSequencer::Output {
public:
    void OnPacket(const RtpSequencer::Released& r) override {
        seen.push_back({r.packet.sequence, r.index, Bytes(r.packet.payload.begin(), r.packet.payload.end())});
    }
    std::vector<std::uint16_t> Sequences() const {
        std::vector<std::uint16_t> out;
        for (const Seen& s : seen) out.push_back(s.sequence);
        return out;
    }
    std::vector<Seen> seen;
};

// Each packet carries its sequence number's low byte, so a mixed-up payload shows.
TestPacket Numbered(std::uint16_t sequence) {
    return Packet(0, sequence, sequence * 160u, Bytes{static_cast<std::uint8_t>(sequence), 0xA5});
}

void PushAll(RtpSequencer& s, const std::vector<std::uint16_t>& sequences, std::int64_t arrivalNs = 0) {
    for (const std::uint16_t q : sequences) s.Push(Numbered(q).View(), arrivalNs);
}

TEST(RtpSequencer, InOrderPacketsPassStraightThroughAndCountOnAcrossTheWrap) {
    Collector out;
    RtpSequencer s(out);
    PushAll(s, {65533, 65534, 65535, 0, 1});
    ASSERT_EQ(out.seen.size(), 5u);
    EXPECT_EQ(s.Held(), 0u);
    for (std::size_t i = 1; i < out.seen.size(); ++i) EXPECT_EQ(out.seen[i].index, out.seen[i - 1].index + 1);
    EXPECT_EQ(out.seen[3].payload, (Bytes{0x00, 0xA5}));
    EXPECT_EQ(s.Stats().lost, 0u);
}

TEST(RtpSequencer, ReorderedPacketsComeOutInOrderAcrossTheWrap) {
    Collector out;
    RtpSequencer s(out);
    PushAll(s, {65533, 65535, 1, 0, 65534, 2});
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{65533, 65534, 65535, 0, 1, 2}));
    EXPECT_EQ(s.Stats().lost, 0u);
    EXPECT_EQ(s.Stats().late, 0u);
    // Payloads travel with their own packets through the slots.
    for (const Seen& seen : out.seen) EXPECT_EQ(seen.payload[0], static_cast<std::uint8_t>(seen.sequence));
}

TEST(RtpSequencer, ThePacketsBeforeTheFirstOneSeenStillFindTheirPlace) {
    Collector out;
    RtpSequencer s(out);
    PushAll(s, {501, 500});
    EXPECT_TRUE(out.seen.empty());  // the start waits for a few packets
    PushAll(s, {503, 502, 499});
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{500, 501, 502, 503}));
    // Once packets have gone out, one behind them is late.
    EXPECT_EQ(s.Stats().late, 1u);
    // A packet further back than the window spans is late even at the start.
    Collector out2;
    RtpSequencer t(out2, 4);
    PushAll(t, {10, 6, 7});
    EXPECT_EQ(t.Stats().late, 1u);
    t.End();
    EXPECT_EQ(out2.Sequences(), (std::vector<std::uint16_t>{7, 10}));
}

TEST(RtpSequencer, PacketsWaitForAMissingOneUntilTheWindowIsFull) {
    Collector out;
    RtpSequencer s(out, 4);
    PushAll(s, {10, 12, 13, 14});
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{10}));
    EXPECT_EQ(s.Held(), 3u);
    // 15 needs the slot 11 would use: 11 is given up for lost, 12..14 go.
    PushAll(s, {15});
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{10, 12, 13, 14, 15}));
    EXPECT_EQ(s.Stats().lost, 1u);
    // Now 11 is behind what was released.
    PushAll(s, {11});
    EXPECT_EQ(s.Stats().late, 1u);
    EXPECT_EQ(out.seen.size(), 5u);
}

TEST(RtpSequencer, AGapWiderThanTheWindowWithNothingHeldCountsEveryMissingPacket) {
    Collector out;
    RtpSequencer s(out, 4);
    PushAll(s, {100, 200});
    // The head jumps to the window's start: 101..196 are given up at once, while 197..199
    // might still come in time.
    EXPECT_EQ(s.Stats().lost, 96u);
    EXPECT_EQ(s.Held(), 1u);
    PushAll(s, {201});
    s.End();
    EXPECT_EQ(s.Stats().lost, 99u);
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{100, 200, 201}));
    EXPECT_EQ(out.seen[1].index - out.seen[0].index, 100);
}

TEST(RtpSequencer, DuplicatesAreDroppedWhetherHeldOrAlreadyReleased) {
    Collector out;
    RtpSequencer s(out);
    PushAll(s, {1, 1, 3, 3, 2, 3, 2, 1});
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{1, 2, 3}));
    EXPECT_EQ(s.Stats().duplicates, 5u);
    EXPECT_EQ(s.Stats().late, 0u);
}

TEST(RtpSequencer, PayloadsAreCopiedAndTooLongOnesDropped) {
    Collector out;
    RtpSequencer s(out, 4, 8);
    TestPacket first = Packet(0, 1, 0, Bytes(8, 0x11));
    TestPacket second = Packet(0, 3, 0, Bytes(8, 0x33));
    TestPacket tooLong = Packet(0, 2, 0, Bytes(9, 0x22));
    s.Push(first.View(), 0);
    s.Push(second.View(), 0);
    // The held packet's bytes are the sequencer's own: the datagram may go.
    second.payload.assign(8, 0xEE);
    s.Push(tooLong.View(), 0);
    EXPECT_EQ(s.Stats().oversized, 1u);
    s.End();
    ASSERT_EQ(out.seen.size(), 2u);
    EXPECT_EQ(out.seen[1].payload, Bytes(8, 0x33));
    EXPECT_EQ(s.Stats().lost, 1u);
}

TEST(RtpSequencer, ABigJumpEitherWayIsASenderThatStartedAgain) {
    Collector out;
    RtpSequencer s(out);
    PushAll(s, {100, 101, 103});
    EXPECT_EQ(s.Held(), 1u);
    // Far ahead: 103 is released first, then counting starts from 9000.
    PushAll(s, {9000, 9001});
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{100, 101, 103, 9000, 9001}));
    EXPECT_EQ(s.Stats().restarts, 1u);
    // Far behind: the same, not thousands of late packets.
    PushAll(s, {50, 51, 52});
    EXPECT_EQ(s.Stats().restarts, 2u);
    EXPECT_EQ(s.Stats().late, 0u);
    EXPECT_EQ(out.seen.size(), 8u);
    // Just inside the bound is a gap, not a restart.
    PushAll(s, {static_cast<std::uint16_t>(52 + 3000)});
    EXPECT_EQ(s.Stats().restarts, 2u);
}

TEST(RtpSequencer, DrainReleasesOnlyWhatHasWaitedTheHoldTime) {
    Collector out;
    RtpSequencer s(out);
    const std::int64_t ms = 1'000'000;
    s.Push(Numbered(1).View(), 0);
    s.Push(Numbered(3).View(), 20 * ms);
    s.Push(Numbered(4).View(), 40 * ms);
    s.Push(Numbered(6).View(), 60 * ms);
    s.Drain(79 * ms, 60 * ms);
    EXPECT_EQ(out.seen.size(), 1u);
    // 3 has waited 60 ms: 2 is given up, 3 and 4 follow; 6 waits for 5 still.
    s.Drain(80 * ms, 60 * ms);
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{1, 3, 4}));
    EXPECT_EQ(s.Held(), 1u);
    // 5 comes in time after all.
    s.Push(Numbered(5).View(), 90 * ms);
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{1, 3, 4, 5, 6}));
    EXPECT_EQ(s.Stats().lost, 1u);
}

TEST(RtpSequencer, EndReleasesEverythingAndTheNextPacketStartsAfresh) {
    Collector out;
    RtpSequencer s(out, 1);
    PushAll(s, {7, 9});
    EXPECT_EQ(out.Sequences(), (std::vector<std::uint16_t>{7, 9}));  // one slot: nothing waits
    Collector out2;
    RtpSequencer t(out2);
    PushAll(t, {20, 22, 25});
    t.End();
    EXPECT_EQ(out2.Sequences(), (std::vector<std::uint16_t>{20, 22, 25}));
    EXPECT_EQ(t.Stats().lost, 3u);
    PushAll(t, {5});
    t.End();
    EXPECT_EQ(out2.seen.back().sequence, 5);
    EXPECT_EQ(t.Stats().late, 0u);
}

}  // namespace
