// Telephone-event payloads and the one report each event gives, whatever its senders
// repeat.
#include <gtest/gtest.h>

#include <string>

#include "StreamTestSupport.h"
#include "rtp/TelephoneEvent.h"
#include "rtp/TelephoneEventTracker.h"

namespace {

using stream_test::Bytes;
using stream_test::EventPayload;

TEST(TelephoneEvent, ParsesTheFirstBlockOfAPayload) {
    // '#', end bit, reserved bit set (ignored), volume 10, duration 0x0320; then a second block.
    const Bytes payload = {11, 0xCA, 0x03, 0x20, 5, 0x0A, 0x00, 0xA0};
    const auto e = TelephoneEvent::Parse(payload);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->event, 11);
    EXPECT_TRUE(e->end);
    EXPECT_EQ(e->volume, 10);
    EXPECT_EQ(e->duration, 800u);

    const auto longest = TelephoneEvent::Parse(Bytes{255, 0x3F, 0xFF, 0xFF});
    ASSERT_TRUE(longest.has_value());
    EXPECT_FALSE(longest->end);
    EXPECT_EQ(longest->volume, 63);
    EXPECT_EQ(longest->duration, 65535u);

    EXPECT_FALSE(TelephoneEvent::Parse(Bytes{}).has_value());
    EXPECT_FALSE(TelephoneEvent::Parse(Bytes{1, 0x80, 0}).has_value());
}

TEST(TelephoneEvent, KeysAreTheSixteenDtmfEventsOnly) {
    std::string keys;
    for (int e = 0; e <= 15; ++e) keys += TelephoneEvent::Key(e).value_or('?');
    EXPECT_EQ(keys, "0123456789*#ABCD");
    for (const int e : {-1, 16, 32, 36, 255}) EXPECT_FALSE(TelephoneEvent::Key(e).has_value()) << e;
}

// The packets of one event as a sender sends them: every 50 ms a longer duration, then the
// end packet three times.
std::string Press(TelephoneEventTracker& t, int event, std::uint32_t timestamp, int updates = 4) {
    std::string out;
    auto push = [&](bool end, std::uint16_t duration) {
        const auto e = TelephoneEvent::Parse(EventPayload(event, end, 10, duration));
        if (const auto k = t.Push(timestamp, *e)) out += *k;
    };
    for (int i = 1; i <= updates; ++i) push(false, static_cast<std::uint16_t>(400 * i));
    for (int i = 0; i < 3; ++i) push(true, static_cast<std::uint16_t>(400 * updates + 80));
    return out;
}

TEST(TelephoneEventTracker, OneKeyPerEventWhateverItsRepeatedAndEndPackets) {
    TelephoneEventTracker t;
    EXPECT_EQ(Press(t, 1, 1000), "1");
    // The same digit again is a new press: a new timestamp.
    EXPECT_EQ(Press(t, 1, 5000), "1");
    EXPECT_EQ(Press(t, 11, 9000), "#");
    // A retransmitted end packet of an earlier event, once the next began, is stale.
    const auto old = TelephoneEvent::Parse(EventPayload(1, true, 10, 1680));
    EXPECT_FALSE(t.Push(5000, *old).has_value());
    EXPECT_EQ(t.Stats().stale, 1u);
    EXPECT_EQ(t.Stats().events, 3u);
    EXPECT_EQ(t.Stats().packets, 3u * 7 + 1);
}

TEST(TelephoneEventTracker, ANewCodeOnTheSameTimestampIsANewEvent) {
    TelephoneEventTracker t;
    EXPECT_EQ(Press(t, 4, 777), "4");
    EXPECT_EQ(Press(t, 5, 777), "5");
}

TEST(TelephoneEventTracker, AnEventWhoseFirstPacketsAreLostIsReportedAtItsFirstArrival) {
    TelephoneEventTracker t;
    const auto end = TelephoneEvent::Parse(EventPayload(9, true, 10, 1200));
    EXPECT_EQ(t.Push(4000, *end).value_or('?'), '9');
    EXPECT_FALSE(t.Push(4000, *end).has_value());
    EXPECT_FALSE(t.Push(4000, *end).has_value());
}

TEST(TelephoneEventTracker, ALongEventGoesOnInSegmentsWithoutNewKeys) {
    TelephoneEventTracker t;
    // Segments of a held key: each 0xFFFF ticks long, the next timestamped where it ended.
    const std::uint32_t start = 0xFFFF0000u;  // the segments cross the timestamp wrap
    const auto full = TelephoneEvent::Parse(EventPayload(0, false, 10, 0xFFFF));
    const auto last = TelephoneEvent::Parse(EventPayload(0, true, 10, 3000));
    EXPECT_EQ(t.Push(start, *full).value_or('?'), '0');
    EXPECT_FALSE(t.Push(start + 0xFFFF, *full).has_value());
    EXPECT_FALSE(t.Push(start + 2 * 0xFFFF, *last).has_value());
    EXPECT_EQ(t.Stats().events, 1u);
    // The next press of the same key, after a pause, counts again.
    const auto again = TelephoneEvent::Parse(EventPayload(0, false, 10, 400));
    EXPECT_EQ(t.Push(start + 2 * 0xFFFF + 3000 + 800, *again).value_or('?'), '0');
}

TEST(TelephoneEventTracker, ASecondPressOfAKeyWhoseEndWasLostStillCounts) {
    TelephoneEventTracker t;
    const auto a = TelephoneEvent::Parse(EventPayload(3, false, 10, 800));
    EXPECT_EQ(t.Push(1000, *a).value_or('?'), '3');
    // No end packet came; the next press starts 1600 ticks later, beyond the 800 seen.
    EXPECT_EQ(t.Push(2600, *a).value_or('?'), '3');
}

TEST(TelephoneEventTracker, EventsThatAreNotKeysAreCountedNotReported) {
    TelephoneEventTracker t;
    EXPECT_EQ(Press(t, 16, 100), "");  // flash
    EXPECT_EQ(Press(t, 36, 9000), "");  // a fax calling tone
    EXPECT_EQ(Press(t, 14, 20000), "C");
    EXPECT_EQ(t.Stats().otherEvents, 2u);
    EXPECT_EQ(t.Stats().keys, 1u);
}

}  // namespace
