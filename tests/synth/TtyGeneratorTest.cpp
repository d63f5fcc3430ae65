#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FskDemod.h"
#include "Measure.h"
#include "synth/SignalTimeline.h"
#include "synth/TtyGenerator.h"

namespace {

using Codes = std::vector<std::uint8_t>;
using Mode = TtyGenerator::Mode;
constexpr std::uint8_t FIGS = 27, LTRS = 31;

Codes Encode(std::string_view text, Mode mode = Mode::kBaudot, bool skip = false) {
    Codes codes;
    EXPECT_EQ(TtyGenerator::Encode(text, mode, skip, codes), S_OK) << text;
    return codes;
}

// Codes read off the letters and figures columns by hand: C 14, A 3, L 18, M 28, E 1,
// T 16, space 4; figures 5 is 16, '-' 3, 1 23, 2 19, 3 1, 4 10.
TEST(TtyGenerator, ShiftsGoWhereTheTextChangesTables) {
    EXPECT_EQ(Encode("CALL ME AT 555-1234"),
              (Codes{LTRS, 14, 3, 18, 18, 4, 28, 1, 4, 3, 16, 4, FIGS, 16, 16, 16, 3, 23, 19, 1, 10}));
    // Lower case goes as capitals; a space in figures makes the next letter or figure
    // shift again, whatever the receiver does at a space; CR and LF need no shift.
    EXPECT_EQ(Encode("a1 2 b\r\n"), (Codes{LTRS, 3, FIGS, 23, 4, FIGS, 19, 4, LTRS, 25, 8, 2}));
    EXPECT_EQ(Encode(" 12"), (Codes{4, FIGS, 23, 19}));
    // The figures tables differ: BEL, ENQ, the pound sign, backspace.
    EXPECT_EQ(Encode("\a"), (Codes{FIGS, 5}));
    EXPECT_EQ(Encode("\a\x05", Mode::kBaudotMode3), (Codes{FIGS, 11, 9}));
    EXPECT_EQ(Encode("\xA3+", Mode::kBaudotMode3), (Codes{FIGS, 20, 17}));
    EXPECT_EQ(Encode("\b=+", Mode::kBaudotMode4), (Codes{FIGS, 0, 20, 26}));
    EXPECT_EQ(Encode(std::string_view("\0", 1)), (Codes{0}));  // NUL at code 0 in letters and figures
}

TEST(TtyGenerator, RefusesCharactersNoTableHoldsUnlessSkipping) {
    Codes codes;
    for (Mode mode : {Mode::kBaudot, Mode::kBaudotMode3, Mode::kBaudotMode4})
        EXPECT_EQ(TtyGenerator::Encode("A~", mode, false, codes), E_INVALIDARG);
    EXPECT_EQ(codes, (Codes{LTRS, 3}));  // the codes before the refused character
    EXPECT_EQ(TtyGenerator::Encode("\xA3", Mode::kBaudot, false, codes), E_INVALIDARG);  // mode 0 has '#' there
    EXPECT_EQ(TtyGenerator::Encode("\a", Mode::kBaudotMode4, false, codes), E_INVALIDARG);
    EXPECT_EQ(Encode("A~B", Mode::kBaudot, true), (Codes{LTRS, 3, 25}));
    EXPECT_EQ(TtyGenerator::Encode("\x80", Mode::kAscii7, false, codes), E_INVALIDARG);
    EXPECT_EQ(Encode("h\x80i", Mode::kAscii7, true), (Codes{'h', 'i'}));
    EXPECT_EQ(Encode("h\x80", Mode::kAscii8), (Codes{'h', 0x80}));

    SignalTimeline t(8000);
    TtyGenerator::Options o;
    EXPECT_EQ(TtyGenerator(o).Append(t, "A~"), E_INVALIDARG);
    o.stopBits = 1.25;
    EXPECT_EQ(TtyGenerator(o).Append(t, "A"), E_INVALIDARG);
    EXPECT_EQ(t.Size(), 0u);
}

// "R" at 45.45 baud with each stop length: the idle mark, LTRS, then R as start 0, data
// 0 1 0 1 0 in the order sent and the stop bit, then the idle mark; measured in half-bit
// slots (88 samples), tones shifted and clock slow.
TEST(TtyGenerator, BaudotFramesWithEachStopLength) {
    for (double stop : {1.0, 1.5, 2.0}) {
        TtyGenerator::Options o;
        o.stopBits = stop;
        o.frequencyOffsetPercent = -2.0;
        o.bitRateErrorPercent = -1.5;
        o.idleBeforeMs = o.idleAfterMs = 110.0;
        const TtyGenerator generator(o);
        SignalTimeline t(8000);
        ASSERT_EQ(generator.Append(t, "R"), S_OK);
        EXPECT_EQ(t.Size(), generator.SampleCount(8000, 2));

        const double halfBitRate = 2 * 45.45 * 0.985;
        const auto idle = static_cast<std::size_t>(std::llround(0.110 * halfBitRate));
        const auto stopHalves = static_cast<std::size_t>(2 * stop);
        std::vector<std::uint8_t> expected(idle, 1);
        for (const std::vector<std::uint8_t>& data : {std::vector<std::uint8_t>{1, 1, 1, 1, 1}, {0, 1, 0, 1, 0}}) {
            expected.insert(expected.end(), 2, 0);
            for (std::uint8_t bit : data) expected.insert(expected.end(), 2, bit);
            expected.insert(expected.end(), stopHalves, 1);
        }
        expected.insert(expected.end(), idle, 1);
        const fskdemod::Tones tones{1400 * 0.98, 1800 * 0.98, halfBitRate};
        EXPECT_EQ(fskdemod::Bits(t.Samples(), 8000, tones, 0, t.Size()), expected) << stop;
    }
}

// ASCII framings at 110 baud: 'A' (0x41) least significant bit first between a space
// start bit and a mark stop bit; the tones measured on their own.
TEST(TtyGenerator, AsciiFramingsAndTones) {
    for (Mode mode : {Mode::kAscii7, Mode::kAscii8}) {
        TtyGenerator::Options o;
        o.mode = mode;
        o.baud = 110.0;
        o.stopBits = 2.0;
        o.idleBeforeMs = 100.0;
        o.idleAfterMs = 0.0;
        SignalTimeline t(8000);
        ASSERT_EQ(TtyGenerator(o).Append(t, "A"), S_OK);
        const std::size_t idle = 11;  // 100 ms at 110 baud
        const auto bits = fskdemod::Bits(t.Samples(), 8000, {1400, 1800, 110}, 0, t.Size());
        std::vector<std::uint8_t> expected(idle, 1);
        expected.insert(expected.end(), {0, 1, 0, 0, 0, 0, 0, 1});
        if (mode == Mode::kAscii8) expected.push_back(0);
        expected.insert(expected.end(), {1, 1});
        EXPECT_EQ(bits, expected);
        EXPECT_NEAR(measure::ZeroCrossingFrequency(t.Samples().subspan(0, 700), 8000), 1400.0, 1.0);
        const auto start = t.Samples().subspan(idle * 8000 / 110 + 2, 68);  // the start bit alone
        EXPECT_GT(measure::AmplitudeAt(start, 1800, 8000), 4 * measure::AmplitudeAt(start, 1400, 8000));
    }
}

}  // namespace
