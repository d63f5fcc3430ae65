#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "FskDemod.h"
#include "Measure.h"
#include "synth/CallerIdGenerator.h"
#include "synth/SignalTimeline.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Standard = CallerIdGenerator::Standard;
const Bytes kMessage = {0x80, 0x04, 0x02, 0x02, '4', '2', 0x12};

// The message after the first marks bits of the stream at start, which must be marks.
Bytes Receive(const SignalTimeline& t, const fskdemod::Tones& tones, std::size_t start, std::size_t marks) {
    const auto bits = fskdemod::Bits(t.Samples(), t.SampleRate(), tones, start, marks + 10 * kMessage.size() + 10);
    EXPECT_EQ(fskdemod::LeadingMarks(bits), marks);
    bool framingError = true;
    const Bytes bytes = fskdemod::UartBytes(bits, framingError);
    EXPECT_FALSE(framingError);
    return bytes;
}

// On hook: lead-in, a seizure starting on space, the mark signal and the message, with
// each standard's tones, shifted and clocked as asked.
TEST(CallerIdGenerator, OnHookSeizureMarksAndMessageInEachStandard) {
    struct Case {
        Standard standard;
        double markHz, spaceHz, offset, error;
    };
    for (const Case& c : {Case{Standard::kBell202, 1200, 2200, 0, 0}, Case{Standard::kV23, 1300, 2100, 0, 0},
                          Case{Standard::kBell202, 1200, 2200, 2.5, -2}, Case{Standard::kV23, 1300, 2100, -2, 2}}) {
        CallerIdGenerator::Options options;
        options.standard = c.standard;
        options.leadMs = 25.0;
        options.frequencyOffsetPercent = c.offset;
        options.bitRateErrorPercent = c.error;
        const CallerIdGenerator generator(options);
        SignalTimeline t(8000);
        ASSERT_EQ(generator.Append(t, kMessage), S_OK);
        EXPECT_EQ(t.Size(), generator.SampleCount(8000, kMessage.size()));
        const fskdemod::Tones tones{c.markHz * (1 + c.offset / 100), c.spaceHz * (1 + c.offset / 100),
                                    1200.0 * (1 + c.error / 100)};
        const auto seizure = fskdemod::Bits(t.Samples(), 8000, tones, 200, 300);
        for (std::size_t k = 0; k < 300; ++k) ASSERT_EQ(seizure[k], k % 2) << "seizure bit " << k;
        const std::size_t afterSeizure = 200 + static_cast<std::size_t>(std::llround(300 * 8000 / tones.baud));
        EXPECT_EQ(Receive(t, tones, afterSeizure, 180), kMessage);

        // The tones on their own, since a bit decision alone hardly tells 2100 Hz from 2200 Hz.
        const auto mark = t.Samples().subspan(afterSeizure + 10, 1000);
        EXPECT_NEAR(measure::ZeroCrossingFrequency(mark, 8000), tones.markHz, 1.0);
        SignalTimeline space(48000);
        options.seizureBits = options.markBits = 0;
        ASSERT_EQ(CallerIdGenerator(options).Append(space, Bytes{0x00}), S_OK);
        const std::size_t bit = static_cast<std::size_t>(48000 / tones.baud);
        const auto zeros = space.Samples().subspan(1200 + bit, 7 * bit);  // after the 25 ms lead
        EXPECT_NEAR(measure::ZeroCrossingFrequency(zeros, 48000), tones.spaceHz, 10.0);
    }
}

// Off hook: the alerting pair, the terminal's D, a gap, then 80 marks and no seizure.
TEST(CallerIdGenerator, CallWaitingSendsAlertAcknowledgementAndShortMarkWithoutSeizure) {
    CallerIdGenerator::Options options;
    options.callWaiting = true;
    options.alertLevelDbfs = -16.0;
    SignalTimeline t(8000);
    ASSERT_EQ(CallerIdGenerator(options).Append(t, kMessage), S_OK);
    const auto alert = t.Samples().subspan(0, 640);
    const auto ack = t.Samples().subspan(640, 520);
    const double low = std::pow(10.0, -16.0 / 20.0), high = std::pow(10.0, -13.0 / 20.0);
    EXPECT_NEAR(measure::AmplitudeAt(alert, 2130.0, 8000), low, low * 0.02);
    EXPECT_NEAR(measure::AmplitudeAt(alert, 2750.0, 8000), low, low * 0.02);
    EXPECT_NEAR(measure::AmplitudeAt(ack, 941.0, 8000), high, high * 0.02);
    EXPECT_NEAR(measure::AmplitudeAt(ack, 1633.0, 8000), high, high * 0.02);
    for (std::size_t n = 1160; n <= 1960; ++n) ASSERT_EQ(t.Samples()[n], 0.0f) << n;  // gap, FSK at phase 0
    EXPECT_EQ(Receive(t, {}, 1960, 80), kMessage);
}

// The ring is recognised by its power: every 100-sample block above a mean square of 0.88,
// for a second; then a quiet second and V.23 marks.
TEST(CallerIdGenerator, JapaneseSendsRingQuietGapThenV23) {
    CallerIdGenerator::Options options;
    options.standard = Standard::kJapanese;
    SignalTimeline t(8000);
    ASSERT_EQ(CallerIdGenerator(options).Append(t, kMessage), S_OK);
    std::size_t loud = 0;
    for (std::size_t block = 0; block + 100 <= t.Size(); block += 100) {
        double square = 0.0;
        for (std::size_t n = block; n < block + 100; ++n) square += t.Samples()[n] * t.Samples()[n];
        loud += square / 100 > 0.88;
    }
    EXPECT_EQ(loud, 80u);
    EXPECT_NEAR(measure::ZeroCrossingFrequency(t.Samples().subspan(0, 8000), 8000), 16.0, 0.1);
    for (std::size_t n = 8000; n <= 16000; ++n) ASSERT_EQ(t.Samples()[n], 0.0f) << n;
    EXPECT_EQ(Receive(t, {1300.0, 2100.0, 1200.0}, 16000, 100), kMessage);
}

TEST(CallerIdGenerator, OptionsOutOfRangeAreRejectedWhole) {
    const auto rejects = [](auto change, int rate) {
        CallerIdGenerator::Options options;
        change(options);
        SignalTimeline t(rate);
        return CallerIdGenerator(options).Append(t, kMessage) == E_INVALIDARG && t.Size() == 0;
    };
    EXPECT_TRUE(rejects([](auto& o) { o.markBits = -1; }, 8000));
    EXPECT_TRUE(rejects([](auto& o) { o.ringGapMs = std::nan(""); }, 8000));
    EXPECT_TRUE(rejects([](auto& o) { o.standard = Standard::kJapanese, o.callWaiting = true; }, 8000));
    // 5000 Hz has room for the 2200 Hz space but not for the 2750 Hz alerting tone.
    EXPECT_FALSE(rejects([](auto&) {}, 5000));
    EXPECT_TRUE(rejects([](auto& o) { o.callWaiting = true; }, 5000));
    EXPECT_FALSE(rejects([](auto& o) { o.callWaiting = true; }, 5501));
}

}  // namespace
