#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "Measure.h"
#include "synth/PagingGenerator.h"
#include "synth/SignalTimeline.h"

namespace {

using Type = PagingGenerator::Type;

// Every set's tones for digits 0-F and its on-time, written out again as the check
// against the generator's tables; 0 where a set has no tone.
const struct { Type type; const char* name; double onMs; double hz[16]; } kSets[] = {
    {Type::kEia, "EIA", 40, {600, 741, 882, 1023, 1164, 1305, 1446, 1587, 1728, 1869, 2151, 2435, 2010, 2295, 459, 0}},
    {Type::kCcir, "CCIR", 100, {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 2400, 930, 2247, 991, 2110, 1055}},
    {Type::kZvei1, "ZVEI1", 70, {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 2800, 810, 970, 885, 2600, 680}},
    {Type::kZvei2, "ZVEI2", 70, {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 885, 810, 740, 680, 970, 2600}},
    {Type::kZvei3, "ZVEI3", 70, {2200, 970, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 825, 740, 2600, 885, 2400, 680}},
    {Type::kPzvei, "PZVEI", 70, {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 970, 810, 2800, 885, 2600, 680}},
    {Type::kEea, "EEA", 40, {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 930, 2247, 991, 2110, 2400, 0}},
};

// One second of each digit (whole cycles of whole-hertz tones); a set without a tone
// refuses the digit.
TEST(PagingGenerator, EveryDigitOfEverySetIsItsTone) {
    for (const auto& set : kSets) {
        PagingGenerator::Options options;
        options.type = set.type;
        options.levelDbfs = -12.0;
        options.toneMs = 1000.0;
        EXPECT_STREQ(PagingGenerator::TypeName(set.type), set.name);
        for (int i = 0; i < 16; ++i) {
            SignalTimeline t(8000);
            const std::string digit(1, "0123456789ABCDEF"[i]);
            const HRESULT hr = PagingGenerator(options).Append(t, digit);
            if (set.hz[i] == 0.0) {
                EXPECT_TRUE(hr == E_INVALIDARG && t.Size() == 0) << set.name << " has no " << digit;
                continue;
            }
            ASSERT_EQ(hr, S_OK) << set.name << ' ' << digit;
            EXPECT_NEAR(measure::Dbfs(measure::AmplitudeAt(t.Samples(), set.hz[i], 8000)), -12.0, 1e-3)
                << set.name << ' ' << digit;
        }
    }
}

// Each set's own on-time at 11025 Hz, where they round: 40 ms is 441 samples, 70 ms 771.75
// (772), 100 ms 1102.5 (1103, halves away from zero); tones back to back.
TEST(PagingGenerator, OnTimeOfEachSetToTheSample) {
    for (const auto& set : kSets) {
        PagingGenerator::Options options;
        options.type = set.type;
        SignalTimeline t(11025);
        ASSERT_EQ(PagingGenerator(options).Append(t, "123"), S_OK);
        EXPECT_EQ(t.Size(), 3 * static_cast<std::size_t>(std::llround(set.onMs * 11.025))) << set.name;
        EXPECT_GT(std::abs(t.Samples()[t.Size() / 3]) + std::abs(t.Samples()[t.Size() / 3 - 1]), 0.0f);
    }
}

TEST(PagingGenerator, ARepeatedToneIsSentAsTheRepeatTone) {
    PagingGenerator generator;
    // Compared with the tone last sent: a third 1 follows the repeat tone, so it is a 1.
    EXPECT_EQ(generator.SentDigits("112"), "1E2");
    EXPECT_EQ(generator.SentDigits("11111"), "1E1E1");
    EXPECT_EQ(generator.SentDigits("1G"), "");
    // The signal itself: CCIR's E is 2110 Hz, 100 ms of which is 211 whole cycles.
    for (bool repeat : {true, false}) {
        generator.MutableOptions().repeatTone = repeat;
        SignalTimeline t(8000);
        ASSERT_EQ(generator.Append(t, "11"), S_OK);
        ASSERT_EQ(t.Size(), 1600u);
        const auto second = t.Samples().last(800);
        EXPECT_NEAR(measure::AmplitudeAt(second, 2110.0, 8000), repeat ? 0.316 : 0.0, 0.01) << repeat;
        EXPECT_NEAR(measure::AmplitudeAt(second, 1124.0, 8000), repeat ? 0.0 : 0.316, 0.01) << repeat;
    }
    EXPECT_EQ(generator.SentDigits("112"), "112");
}

TEST(PagingGenerator, RefusalsAppendNothing) {
    const auto rejects = [](auto change, std::string_view digits = "12", int rate = 8000) {
        PagingGenerator::Options o;
        change(o);
        SignalTimeline s(rate);
        return PagingGenerator(o).Append(s, digits) == E_INVALIDARG && s.Size() == 0;
    };
    const auto none = [](auto&) {};
    EXPECT_TRUE(rejects(none, "12G"));
    EXPECT_TRUE(rejects([](auto& o) { o.type = static_cast<Type>(7); }));
    EXPECT_TRUE(rejects([](auto& o) { o.toneMs = -1.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.levelDbfs = std::numeric_limits<double>::quiet_NaN(); }));
    // ZVEI1's highest tone is 2800 Hz; CCIR's 2400 Hz fits at 5600 Hz.
    EXPECT_TRUE(rejects([](auto& o) { o.type = Type::kZvei1; }, "1", 5600));
    EXPECT_FALSE(rejects([](auto& o) { o.type = Type::kZvei1; }, "1", 5601));
    EXPECT_FALSE(rejects(none, "1", 5600));

    Type type = Type::kCcir;
    EXPECT_TRUE(PagingGenerator::ParseType("pzvei", type) && type == Type::kPzvei);
    EXPECT_FALSE(PagingGenerator::ParseType("ZVEI", type));
}

}  // namespace
