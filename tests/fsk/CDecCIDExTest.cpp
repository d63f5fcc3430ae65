// The caller-ID front end and its hand-over to the demodulator: configuration numbers,
// the ring window, the idle balance, mark measurement, call waiting, re-entry after a
// message, and the Japanese timeout. Blocks are handed to the decoder directly where the
// front end's arithmetic is under test, with chosen block statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/CallerIdHarness.h"

namespace {

using namespace fsk_reference;

// Block statistics: a loud (ring) block, a quiet block, a signal block.
constexpr double kRingSquare = 0.95;
constexpr double kQuietLevel = 0.001;  // below the -45 dB silence level (0.0056)
constexpr double kSignalLevel = 0.2;

void Block(CallerIdHarness& h, double meanAbsDiff, double meanSquare) {
    static const std::vector<float> zeros(100, 0.0f);
    h.Decoder().CDecCIDEx::OnSampleData(zeros.data(), 100, meanAbsDiff, meanSquare);
}

void Ring(CallerIdHarness& h, int blocks) {
    for (int i = 0; i < blocks; ++i) Block(h, kSignalLevel, kRingSquare);
}
void Quiet(CallerIdHarness& h, int blocks) {
    for (int i = 0; i < blocks; ++i) Block(h, kQuietLevel, 0.0);
}

TEST(CallerIdFrontEnd, RunLengthsAndRingBlocksFollowTheRate) {
    struct Case {
        int rate, minimumRun, ringBlocks;
    };
    for (const Case& c : {Case{8000, 2, 64}, Case{11025, 2, 88}, Case{16000, 3, 128}, Case{44100, 6, 352},
                          Case{48000, 7, 384}}) {
        CallerIdHarness h(c.rate, 16);
        EXPECT_EQ(h.Decoder().MinimumRun(), c.minimumRun) << c.rate;
        EXPECT_EQ(h.Decoder().RingBlocks(), c.ringBlocks) << c.rate;
    }
}

TEST(CallerIdFrontEnd, JapaneseWindowOpensAfter57To119QuietBlocksAfterARing) {
    for (int quiet : {55, 56, 57, 58, 118, 119, 120, 121}) {
        CallerIdHarness h(8000, 16);
        Ring(h, 40);  // more than half of the 64 ring blocks
        Block(h, kQuietLevel, 0.0);
        EXPECT_EQ(h.Decoder().RingCounter(), -1);
        EXPECT_EQ(h.Decoder().GapCounter(), 9);  // starts at 8, this quiet block counts
        Quiet(h, quiet - 1);
        Block(h, kSignalLevel, 0.01);
        const bool inWindow = quiet >= 57 && quiet <= 119;
        EXPECT_EQ(h.Decoder().GetDetectorState() == CDecCIDEx::kReceivingJapanese, inWindow) << quiet << " quiet blocks";
        if (inWindow) {
            // The demodulator starts with the next block.
            EXPECT_EQ(h.Decoder().DemodulatorPosition(), 0u);
            Block(h, kSignalLevel, 0.01);
            // After priming its window the demodulator's position is the 1-based number of
            // the next sample.
            EXPECT_EQ(h.Decoder().DemodulatorPosition(), 101u);
        } else {
            EXPECT_EQ(h.Decoder().RingCounter(), 0) << "the gap is over: the ring timing is cancelled";
        }
    }
}

TEST(CallerIdFrontEnd, ShortRingDoesNotStartTheGapAndEarlySignalPushesTheWindowBack) {
    CallerIdHarness h(8000, 16);
    Ring(h, 32);  // exactly half: not a ring burst
    Quiet(h, 1);
    EXPECT_EQ(h.Decoder().RingCounter(), 32);
    Ring(h, 1);
    Block(h, kSignalLevel, 0.01);  // signal right after the ring: the gap starts at 8, less one
    EXPECT_EQ(h.Decoder().RingCounter(), -1);
    EXPECT_EQ(h.Decoder().GapCounter(), 7);
    Block(h, kSignalLevel, 0.01);
    EXPECT_EQ(h.Decoder().GapCounter(), 6);
    Quiet(h, 3);
    EXPECT_EQ(h.Decoder().GapCounter(), 9);
    Block(h, kSignalLevel, 0.01);  // outside the window at 9 or more: timing cancelled
    EXPECT_EQ(h.Decoder().RingCounter(), 0);
}

// A standard reception started by a real seizure and mark signal, then bits handed
// straight to the decoder.
void StartReception(CallerIdHarness& h) {
    std::vector<float> x(800, 0.0f);
    AppendBits(x, 8000, {}, OnHookBits({}, 300, 60, 0));
    h.FeedSamples(x);
    ASSERT_EQ(h.Decoder().GetDetectorState(), CDecCIDEx::kReceiving);
}

TEST(CallerIdFrontEnd, IdleBalanceAbandonsAStalledReceptionAt46) {
    CallerIdHarness h(8000, 32);
    StartReception(h);
    CDecCIDEx& d = h.Decoder();  // the caller-ID framer, among the aggregate's demodulators
    for (int i = 0; i < 20; ++i) d.OnBit(1, 0);  // idle marks before the first start bit do not count
    EXPECT_EQ(d.IdleBalance(), CDecCIDEx::kReceptionStarted);
    std::vector<std::uint8_t> bits;
    AppendCharacter(bits, 0x41);  // a first byte of no known type: -1 per bit, then +10
    for (std::uint8_t b : bits) d.OnBit(b, 0);
    EXPECT_EQ(d.IdleBalance(), -1 - 8 + 10);
    for (int i = 0; i < 44; ++i) d.OnBit(1, 0);
    EXPECT_EQ(d.IdleBalance(), 45);
    EXPECT_EQ(d.GetDetectorState(), CDecCIDEx::kReceiving);
    d.OnBit(1, 0);
    EXPECT_EQ(d.GetDetectorState(), CDecCIDEx::kSearching);
}

TEST(CallerIdFrontEnd, NoiseAfterTheMarkSignalReturnsToSearching) {
    CallerIdHarness h(8000, 32);
    StartReception(h);
    std::vector<float> noise(8000);
    std::uint32_t state = 1;
    for (float& s : noise) {
        state = state * 1664525u + 1013904223u;
        s = 0.3f * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
    }
    h.FeedSamples(noise);
    EXPECT_NE(h.Decoder().GetDetectorState(), CDecCIDEx::kReceiving);
    // Noise can frame a type byte and a length, and then ends as a bad checksum; it
    // never decodes.
    for (const auto& m : h.Messages()) EXPECT_EQ(m.status, 1);
}

TEST(CallerIdFrontEnd, MarkSignalWithoutSeizureOpensNothingWithoutCallWaiting) {
    const auto message = Message(0x80, std::vector<std::uint8_t>{0x02, 0x02, '4', '2'});
    std::vector<float> x(800, 0.0f);
    AppendBits(x, 8000, {}, OnHookBits(message, 0, 80));
    x.resize(x.size() + 800, 0.0f);
    CallerIdHarness plain(8000, 32);
    plain.FeedSamples(x);
    EXPECT_TRUE(plain.Messages().empty());
}

// The call-waiting answer, built here: the handset's DTMF D (941 + 1633 Hz) for 70 ms,
// a 20 ms pause, then a short mark signal and the message. Once the D has ended, the mark
// signal must begin within two quiet blocks.
std::vector<float> CallWaitingSequence(std::span<const std::uint8_t> message) {
    std::vector<float> x(800, 0.0f);
    for (int i = 0; i < 560; ++i)
        x.push_back(static_cast<float>(0.2 * std::sin(6.283185307179586 * 941.0 * i / 8000) +
                                       0.2 * std::sin(6.283185307179586 * 1633.0 * i / 8000)));
    x.resize(x.size() + 160, 0.0f);
    AppendBits(x, 8000, {}, OnHookBits(message, 0, 80));
    x.resize(x.size() + 800, 0.0f);
    return x;
}

TEST(CallerIdFrontEnd, CallWaitingOpensOnTheDtmfDAnswer) {
    const auto message = Message(0x80, std::vector<std::uint8_t>{0x02, 0x03, '7', '7', '7'});
    const auto x = CallWaitingSequence(message);
    CallerIdHarness plain(8000, 32);
    plain.FeedSamples(x);
    EXPECT_TRUE(plain.Messages().empty());
    CallerIdHarness::Options options;
    options.callWaiting = true;
    CallerIdHarness waiting(8000, 32, options);
    waiting.FeedSamples(x);
    ASSERT_EQ(waiting.Messages().size(), 1u);
    EXPECT_EQ(waiting.Messages()[0].number, "777");
}

TEST(CallerIdFrontEnd, AfterAMessageTheRestOfTheBlockIsSearchedAgain) {
    // Two transmissions with only 10 ms between them: the second seizure begins in the
    // block in which the first message ended.
    const auto first = Message(0x04, Bytes("01011200" "111"));
    const auto second = Message(0x04, Bytes("02021300" "222"));
    std::vector<float> x(400, 0.0f);
    AppendBits(x, 8000, {}, OnHookBits(first, 300, 180, 0));
    x.resize(x.size() + 80, 0.0f);
    AppendBits(x, 8000, {}, OnHookBits(second, 300, 180, 10));
    x.resize(x.size() + 800, 0.0f);
    CallerIdHarness h(8000, 32);
    h.FeedSamples(x);
    const auto messages = h.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].number, "111");
    EXPECT_EQ(messages[1].number, "222");
}

TEST(CallerIdFrontEnd, FalseJapaneseStartTimesOutAndCallerIdWorksAgain) {
    CallerIdHarness h(8000, 32);
    // A ring, a gap inside the window, then a short tone that frames no character and
    // silence: only the timeout ends that reception.
    std::vector<float> x;
    for (int i = 0; i < 8000; ++i) x.push_back((i / 250) % 2 ? 0.98f : -0.98f);
    x.resize(x.size() + 8000, 0.0f);
    for (int i = 0; i < 800; ++i) x.push_back(static_cast<float>(0.3 * std::sin(6.283185307179586 * 1300.0 * i / 8000)));
    x.resize(x.size() + 8000, 0.0f);
    h.FeedSamples(x);
    EXPECT_EQ(h.Decoder().GetDetectorState(), CDecCIDEx::kReceivingJapanese);
    std::vector<float> later(8000 * 2, 0.0f);
    h.FeedSamples(later);
    EXPECT_EQ(h.Decoder().GetDetectorState(), CDecCIDEx::kSearching);
    const auto message = Message(0x04, Bytes("01011200" "555"));
    AppendBits(later, 8000, {}, OnHookBits(message));
    later.resize(later.size() + 800, 0.0f);
    h.FeedSamples(later);
    ASSERT_EQ(h.Messages().size(), 1u);
    EXPECT_EQ(h.Messages()[0].number, "555");
}

TEST(CallerIdFrontEnd, ChangedTonesTakeEffectInTheSameRun) {
    // A line on unusual tones, configured before the run start that tunes the front end.
    const Line line{1400.0, 2400.0, 1200.0, 0.3};
    const auto message = Message(0x04, Bytes("01011200" "321"));
    std::vector<float> x(800, 0.0f);
    AppendBits(x, 8000, line, OnHookBits(message));
    x.resize(x.size() + 800, 0.0f);
    CallerIdHarness::Options options;
    options.markHz = 1400.0f;
    options.spaceHz = 2400.0f;
    CallerIdHarness h(8000, 32, options);
    EXPECT_FLOAT_EQ(h.Decoder().CDecCIDEx::MarkFrequency(), 1400.0f);
    h.FeedSamples(x);
    ASSERT_EQ(h.Messages().size(), 1u);
    EXPECT_EQ(h.Messages()[0].number, "321");
}

}  // namespace
