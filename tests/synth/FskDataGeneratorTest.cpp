#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FskDemod.h"
#include "Measure.h"
#include "synth/FskDataGenerator.h"
#include "synth/SignalTimeline.h"

namespace {

using Bits = std::vector<std::uint8_t>;
using Parity = FskDataGenerator::Parity;
using StopBits = FskDataGenerator::StopBits;

// Half bits of the whole signal, measured in slots of half a bit from the first sample.
Bits HalfBits(const SignalTimeline& t, const FskDataGenerator::Options& o, std::size_t start = 0) {
    const double scale = 1.0 + o.frequencyOffsetPercent / 100.0;
    const fskdemod::Tones tones{o.markHz * scale, o.spaceHz * scale, 2.0 * o.baud * (1.0 + o.bitRateErrorPercent / 100.0)};
    return fskdemod::Bits(t.Samples(), t.SampleRate(), tones, start, t.Size());
}

// The frame of one character, written out bit by bit: start, data least significant
// first, parity counted here, stop halves.
Bits ExpectedFrame(unsigned value, int dataBits, Parity parity, int stopHalves, int startTone, int stopTone) {
    Bits half = {std::uint8_t(startTone), std::uint8_t(startTone)};
    int ones = 0;
    for (int i = 0; i < dataBits; ++i) {
        const std::uint8_t bit = (value >> i) & 1;
        ones += bit;
        half.insert(half.end(), 2, bit);
    }
    int p = -1;
    if (parity == Parity::kEven) p = ones % 2;
    if (parity == Parity::kOdd) p = 1 - ones % 2;
    if (parity == Parity::kMark) p = 1;
    if (parity == Parity::kSpace) p = 0;
    if (p >= 0) half.insert(half.end(), 2, std::uint8_t(p));
    half.insert(half.end(), stopHalves, std::uint8_t(stopTone));
    return half;
}

// Every framing, at 48 kHz so that a half bit of 1200 baud is 20 samples: idle line, the
// frames with the idle time between them, idle line; the length is SampleCount's.
TEST(FskDataGenerator, FramingsBitForBit) {
    struct Case {
        int dataBits;
        Parity parity;
        StopBits stop;
        int stopHalves;
        std::vector<unsigned> values;
    };
    const Case cases[] = {
        {8, Parity::kNone, StopBits::kOne, 2, {0x41, 0x00, 0xFF}},
        {7, Parity::kEven, StopBits::kOne, 2, {0x53, 0x76, 0x00}},  // 4 and 5 ones
        {7, Parity::kOdd, StopBits::kTwo, 4, {0x53, 0x76, 0x00}},
        {5, Parity::kNone, StopBits::kOneAndHalf, 3, {10, 31, 0}},
        {6, Parity::kMark, StopBits::kNone, 0, {0x2A, 0x15}},
        {8, Parity::kSpace, StopBits::kOne, 2, {0x80}},
    };
    for (const Case& c : cases) {
        FskDataGenerator::Options o;
        o.dataBits = c.dataBits;
        o.parity = c.parity;
        o.stopBits = c.stop;
        o.idleBeforeMs = 10.0;       // 24 half bits
        o.idleBetweenMs = 2.5;       // 6
        o.idleAfterMs = 5.0;         // 12
        const std::vector<std::uint8_t> values(c.values.begin(), c.values.end());
        const FskDataGenerator generator(o);
        SignalTimeline t(48000);
        ASSERT_EQ(generator.Append(t, values), S_OK);
        EXPECT_EQ(t.Size(), generator.SampleCount(48000, values.size()));

        Bits expected(24, 1);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0) expected.insert(expected.end(), 6, 1);
            const Bits frame = ExpectedFrame(values[i], c.dataBits, c.parity, c.stopHalves, 0, 1);
            expected.insert(expected.end(), frame.begin(), frame.end());
        }
        expected.insert(expected.end(), 12, 1);
        EXPECT_EQ(HalfBits(t, o), expected) << c.dataBits << int(c.parity) << int(c.stop);
    }
}

// Inverted start and stop tones: the line idles in space, the start bit is mark. Tones
// shifted and the clock fast by a few percent, read at the shifted tones and clock.
TEST(FskDataGenerator, InvertedStartAndStopShiftedAndFast) {
    FskDataGenerator::Options o;
    o.markHz = 1270.0;
    o.spaceHz = 1070.0;
    o.baud = 300.0;
    o.startBitTone = 1;
    o.stopBitTone = 0;
    o.frequencyOffsetPercent = 3.0;
    o.bitRateErrorPercent = -4.0;
    o.idleBeforeMs = o.idleAfterMs = 50.0;
    o.leadMs = 20.0;
    SignalTimeline t(8000);
    ASSERT_EQ(FskDataGenerator(o).Append(t, std::vector<std::uint8_t>{0x5C}), S_OK);
    for (std::size_t n = 0; n < 160; ++n) ASSERT_EQ(t.Samples()[n], 0.0f) << n;

    const auto idle = static_cast<std::size_t>(std::llround(0.05 * 288 * 2));  // 300 baud 4 % slow
    Bits expected(idle, 0);  // the idle line is space
    const Bits frame = ExpectedFrame(0x5C, 8, Parity::kNone, 2, 1, 0);
    expected.insert(expected.end(), frame.begin(), frame.end());
    expected.insert(expected.end(), idle, 0);
    EXPECT_EQ(HalfBits(t, o, 160), expected);

    // The idle space alone: 1070 Hz shifted 3 % up.
    EXPECT_NEAR(measure::ZeroCrossingFrequency(t.Samples().subspan(160, 400), 8000), 1070.0 * 1.03, 1.0);
}

TEST(FskDataGenerator, RefusesWhatCannotBeSentAndAppendsNothing) {
    const auto refused = [](FskDataGenerator::Options o, std::vector<std::uint8_t> values, int rate = 8000) {
        SignalTimeline t(rate);
        const HRESULT hr = FskDataGenerator(o).Append(t, values);
        return hr == E_INVALIDARG && t.Size() == 0;
    };
    FskDataGenerator::Options o;
    o.dataBits = 7;
    EXPECT_TRUE(refused(o, {0x80}));  // does not fit in seven bits
    EXPECT_FALSE(refused(o, {0x7F}));
    o.dataBits = 4;
    EXPECT_TRUE(refused(o, {0x01}));
    o.dataBits = 9;
    EXPECT_TRUE(refused(o, {0x01}));
    o = {};
    o.startBitTone = 2;
    EXPECT_TRUE(refused(o, {0x01}));
    o = {};
    o.idleBetweenMs = -1.0;
    EXPECT_TRUE(refused(o, {0x01}));
    o = {};
    o.baud = 4001.0;  // a half bit shorter than a sample at 8 kHz
    EXPECT_TRUE(refused(o, {0x01}));
    EXPECT_FALSE(refused(o, {0x01}, 8003));
    o = {};
    o.spaceHz = 4000.0;
    EXPECT_TRUE(refused(o, {0x01}));
}

}  // namespace
