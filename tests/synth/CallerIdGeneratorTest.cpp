#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "FskDemod.h"
#include "Measure.h"
#include "synth/CallerIdGenerator.h"
#include "synth/CallerIdMessage.h"
#include "synth/SignalTimeline.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Standard = CallerIdGenerator::Standard;

Bytes CallerMessage() {
    CallerIdMessage::Caller caller;
    caller.date = "11051955";
    caller.number = "5558675309";
    caller.name = "JENNY";
    Bytes m;
    EXPECT_EQ(CallerIdMessage::MdmfCaller(caller, m), S_OK);
    return m;
}

std::size_t FirstNonZero(std::span<const float> s, std::size_t from) {
    while (from < s.size() && s[from] == 0.0f) ++from;
    return from;
}

struct OnHookCase {
    Standard standard;
    double markHz, spaceHz;
    double offsetPercent, bitRateErrorPercent;
    int rate;
};

class CallerIdOnHook : public ::testing::TestWithParam<OnHookCase> {};

// Lead-in, seizure, mark signal, message and trailing marks, each recovered by a receiver
// that knows only the tones and the bit rate.
TEST_P(CallerIdOnHook, SeizureMarksAndMessageComeBackInOrder) {
    const OnHookCase& c = GetParam();
    CallerIdGenerator::Options options;
    options.standard = c.standard;
    options.leadMs = 25.0;
    options.frequencyOffsetPercent = c.offsetPercent;
    options.bitRateErrorPercent = c.bitRateErrorPercent;
    const CallerIdGenerator generator(options);
    const Bytes message = CallerMessage();
    SignalTimeline t(c.rate);
    ASSERT_EQ(generator.Append(t, message), S_OK);
    EXPECT_EQ(t.Size(), generator.SampleCount(c.rate, message.size()));

    const std::size_t lead = static_cast<std::size_t>(std::llround(0.025 * c.rate));
    ASSERT_EQ(FirstNonZero(t.Samples(), 0), lead + 1) << "the FSK starts at phase 0, a zero sample";
    const double scale = 1.0 + c.offsetPercent / 100.0;
    const fskdemod::Tones tones{c.markHz * scale, c.spaceHz * scale,
                                1200.0 * (1.0 + c.bitRateErrorPercent / 100.0)};
    const std::size_t total = 300 + 180 + 10 * message.size() + 10;
    const auto bits = fskdemod::Bits(t.Samples(), c.rate, tones, lead, total);
    ASSERT_EQ(bits.size(), total);
    for (std::size_t k = 0; k < 300; ++k) ASSERT_EQ(bits[k], k % 2) << "seizure bit " << k;
    const auto rest = std::span(bits).subspan(300);
    EXPECT_EQ(fskdemod::LeadingMarks(rest), 180u);
    bool framingError = true;
    EXPECT_EQ(fskdemod::UartBytes(rest, framingError), message);
    EXPECT_FALSE(framingError);
    EXPECT_TRUE(std::all_of(bits.end() - 10, bits.end(), [](std::uint8_t b) { return b == 1; }));

    // The tones themselves, counted over the whole 180-bit mark signal.
    const double bitSamples = c.rate / tones.baud;
    const auto marks = t.Samples().subspan(lead + static_cast<std::size_t>(301 * bitSamples),
                                           static_cast<std::size_t>(178 * bitSamples));
    EXPECT_NEAR(measure::ZeroCrossingFrequency(marks, c.rate), tones.markHz, 1.0);
    const double peak = std::pow(10.0, -13.0 / 20.0);
    EXPECT_NEAR(measure::AmplitudeAt(marks, tones.markHz, c.rate), peak, peak * 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Standards, CallerIdOnHook,
    ::testing::Values(OnHookCase{Standard::kBell202, 1200.0, 2200.0, 0.0, 0.0, 8000},
                      OnHookCase{Standard::kV23, 1300.0, 2100.0, 0.0, 0.0, 8000},
                      OnHookCase{Standard::kBell202, 1200.0, 2200.0, 2.5, -2.0, 8000},
                      OnHookCase{Standard::kV23, 1300.0, 2100.0, -2.0, 2.0, 11025}));

// V.23 puts its space tone at 2100 Hz, close enough to 2200 Hz that a bit decision alone
// would not tell them apart: a run of space bits is measured on its own.
TEST(CallerIdGenerator, SpaceToneOfEachStandard) {
    for (const auto& [standard, spaceHz] : {std::pair{Standard::kBell202, 2200.0},
                                            std::pair{Standard::kV23, 2100.0}}) {
        CallerIdGenerator::Options options;
        options.standard = standard;
        options.seizureBits = 0;
        options.markBits = 0;
        options.trailingMarkBits = 0;
        SignalTimeline t(48000);
        ASSERT_EQ(CallerIdGenerator(options).Append(t, Bytes{0x00}), S_OK);
        // Start bit and eight zero bits: 9 / 1200 s of space; the stop bit is mark.
        const auto space = t.Samples().subspan(40, 9 * 40 - 80);
        EXPECT_NEAR(measure::ZeroCrossingFrequency(space, 48000), spaceHz, 10.0);
    }
}

// Off hook: alerting pair, the terminal's D, a gap, then 80 mark bits straight into the
// message, with no seizure to wake a receiver that is already listening.
TEST(CallerIdGenerator, CallWaitingSendsAlertAcknowledgementThenShortMarkWithoutSeizure) {
    CallerIdGenerator::Options options;
    options.callWaiting = true;
    options.alertLevelDbfs = -16.0;
    options.ackLevelDbfs = -11.0;
    const CallerIdGenerator generator(options);
    const Bytes message = CallerMessage();
    SignalTimeline t(8000);
    ASSERT_EQ(generator.Append(t, message), S_OK);
    EXPECT_EQ(t.Size(), generator.SampleCount(8000, message.size()));

    const auto s = t.Samples();
    const auto alert = s.subspan(0, 640);  // 80 ms
    const double alertPeak = std::pow(10.0, -16.0 / 20.0);
    EXPECT_NEAR(measure::AmplitudeAt(alert, 2130.0, 8000), alertPeak, alertPeak * 0.02);
    EXPECT_NEAR(measure::AmplitudeAt(alert, 2750.0, 8000), alertPeak, alertPeak * 0.02);
    EXPECT_LT(measure::AmplitudeAt(alert, 1633.0, 8000), alertPeak * 0.05);

    const auto ack = s.subspan(640, 520);  // 65 ms
    const double ackPeak = std::pow(10.0, -11.0 / 20.0);
    EXPECT_NEAR(measure::AmplitudeAt(ack, 941.0, 8000), ackPeak, ackPeak * 0.02);
    EXPECT_NEAR(measure::AmplitudeAt(ack, 1633.0, 8000), ackPeak, ackPeak * 0.02);
    EXPECT_LT(measure::AmplitudeAt(ack, 2130.0, 8000), ackPeak * 0.05);
    EXPECT_NE(ack.back(), 0.0f);

    const std::size_t fskStart = 640 + 520 + 800;  // after the 100 ms gap
    EXPECT_EQ(FirstNonZero(s, 640 + 520), fskStart + 1);
    const std::size_t total = 80 + 10 * message.size() + 10;
    const auto bits = fskdemod::Bits(s, 8000, {}, fskStart, total);
    ASSERT_EQ(bits.size(), total);
    EXPECT_EQ(fskdemod::LeadingMarks(bits), 80u);
    bool framingError = true;
    EXPECT_EQ(fskdemod::UartBytes(bits, framingError), message);
    EXPECT_FALSE(framingError);
}

// The ring is what a receiver recognises by its power: every 100-sample block above a
// mean square of 0.88 for longer than 0.4 s. Then a quiet second, and V.23 FSK.
TEST(CallerIdGenerator, JapaneseSendsRingQuietGapThenV23WithParity) {
    Bytes message;
    ASSERT_EQ(CallerIdMessage::Japanese("0312345678", message), S_OK);
    CallerIdGenerator::Options options;
    options.standard = Standard::kJapanese;
    options.leadMs = 50.0;
    const CallerIdGenerator generator(options);
    SignalTimeline t(8000);
    ASSERT_EQ(generator.Append(t, message), S_OK);
    EXPECT_EQ(t.Size(), generator.SampleCount(8000, message.size()));

    const auto s = t.Samples();
    ASSERT_EQ(FirstNonZero(s, 0), 400u);
    std::size_t loudBlocks = 0;
    for (std::size_t block = 400; block + 100 <= s.size(); block += 100) {
        double square = 0.0;
        for (std::size_t n = block; n < block + 100; ++n) square += static_cast<double>(s[n]) * s[n];
        if (square / 100.0 <= 0.88) break;
        ++loudBlocks;
    }
    EXPECT_EQ(loudBlocks, 80u);  // the whole second, and nothing after it
    const auto ring = s.subspan(400, 8000);
    float largest = 0.0f;
    for (float v : ring) largest = std::max(largest, std::fabs(v));
    EXPECT_LE(largest, 1.0f) << "the ring must survive conversion to integers unclipped";
    EXPECT_NEAR(measure::ZeroCrossingFrequency(ring, 8000), 16.0, 0.1);

    const std::size_t fskStart = 400 + 8000 + 8000;
    EXPECT_EQ(FirstNonZero(s, 8400), fskStart + 1);
    const std::size_t total = 100 + 10 * message.size() + 10;
    const auto bits = fskdemod::Bits(s, 8000, {1300.0, 2100.0, 1200.0}, fskStart, total);
    ASSERT_EQ(bits.size(), total);
    EXPECT_EQ(fskdemod::LeadingMarks(bits), 100u);
    bool framingError = true;
    const Bytes received = fskdemod::UartBytes(bits, framingError);
    EXPECT_FALSE(framingError);
    EXPECT_EQ(received, message);
    ASSERT_GT(received.size(), 7u);
    EXPECT_EQ((received[6] & 0x7F) + 11u, received.size());
    for (std::size_t i = 0; i + 2 < received.size(); ++i)
        EXPECT_EQ(std::popcount(static_cast<unsigned>(received[i])) % 2, 0) << "byte " << i;
}

TEST(CallerIdGenerator, OptionsOutOfRangeAreRejectedWhole) {
    const auto rejects = [](auto change, int rate = 8000) {
        CallerIdGenerator::Options options;
        change(options);
        SignalTimeline t(rate);
        t.AppendSilence(5);
        return CallerIdGenerator(options).Append(t, Bytes{0x41}) == E_INVALIDARG && t.Size() == 5;
    };
    EXPECT_TRUE(rejects([](auto& o) { o.seizureBits = -1; }));
    EXPECT_TRUE(rejects([](auto& o) { o.callWaitingMarkBits = -1; }));
    EXPECT_TRUE(rejects([](auto& o) { o.leadMs = std::nan(""); }));
    EXPECT_TRUE(rejects([](auto& o) { o.ringGapMs = -1.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.levelDbfs = INFINITY; }));
    EXPECT_TRUE(rejects([](auto& o) { o.ackLevelDbfs = std::nan(""); }));
    EXPECT_TRUE(rejects([](auto& o) { o.frequencyOffsetPercent = -100.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.bitRateErrorPercent = -100.0; }));
    EXPECT_TRUE(rejects([](auto& o) {
        o.standard = Standard::kJapanese;
        o.callWaiting = true;
    }));
    // 4400 Hz leaves no room for the 2200 Hz space; 5000 Hz has room for it but not for
    // the 2750 Hz alerting tone.
    EXPECT_TRUE(rejects([](auto&) {}, 4400));
    EXPECT_FALSE(rejects([](auto&) {}, 5000));
    EXPECT_TRUE(rejects([](auto& o) { o.callWaiting = true; }, 5000));
    EXPECT_FALSE(rejects([](auto& o) { o.callWaiting = true; }, 5501));
}

}  // namespace
