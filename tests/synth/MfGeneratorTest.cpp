#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "Measure.h"
#include "synth/MfGenerator.h"
#include "synth/SignalTimeline.h"

namespace {

// The R1 pairs, written out again as the check against the generator's table.
constexpr struct { char key; double lowHz, highHz; } kPairs[15] = {
    {'1', 700, 900},   {'2', 700, 1100},  {'3', 900, 1100},  {'4', 700, 1300},  {'5', 900, 1300},
    {'6', 1100, 1300}, {'7', 700, 1500},  {'8', 900, 1500},  {'9', 1100, 1500}, {'0', 1300, 1500},
    {'*', 1100, 1700}, {'#', 1500, 1700}, {'A', 900, 1700},  {'B', 1300, 1700}, {'C', 700, 1700},
};

TEST(MfGenerator, EveryKeyIsItsPairAndNothingElse) {
    MfGenerator::Options options;
    options.levelDbfs = -14.0;
    options.toneMs = options.kpToneMs = 1000.0;  // whole cycles of every tone
    options.gapMs = 0.0;
    for (const auto& pair : kPairs) {
        SignalTimeline t(8000);
        ASSERT_EQ(MfGenerator(options).Append(t, std::string(1, pair.key)), S_OK);
        ASSERT_EQ(t.Size(), 8000u);
        for (double hz : {700.0, 900.0, 1100.0, 1300.0, 1500.0, 1700.0}) {
            const double amplitude = measure::AmplitudeAt(t.Samples(), hz, 8000);
            if (hz == pair.lowHz || hz == pair.highHz)
                EXPECT_NEAR(measure::Dbfs(amplitude), -14.0, 1e-3) << pair.key << ' ' << hz;
            else
                EXPECT_LT(amplitude, 1e-5) << pair.key << ' ' << hz;
        }
    }
}

TEST(MfGenerator, WordsSpellTheDecoderCharacters) {
    std::string keys;
    // Longest word first: ST3P is one key, not ST then "3P"; ST followed by a digit is two.
    ASSERT_TRUE(MfGenerator::ParseKeys("kp1ST3PST2PstpST'''ST''ST'ST3", keys));
    EXPECT_EQ(keys, "*1CBACBA#3");
    for (const char* bad : {"D", "1 2", "K", "STX"}) EXPECT_FALSE(MfGenerator::ParseKeys(bad, keys)) << bad;
}

// KP 100 ms, other keys and gaps 68 ms, at a rate where lengths round: 68 ms at 44.1 kHz
// is 2998.8 samples (2999), 100 ms is 4410, the 12.5 ms lead-in 551.25 (551).
TEST(MfGenerator, LengthsToTheSampleWithLongerKp) {
    MfGenerator::Options options;
    options.leadMs = 12.5;
    SignalTimeline t(44100);
    ASSERT_EQ(MfGenerator(options).Append(t, "KP1ST"), S_OK);
    ASSERT_EQ(t.Size(), 551u + 4410u + 5u * 2999u);
    const auto s = t.Samples();
    EXPECT_EQ(measure::Rms(s.first(551)), 0.0);
    EXPECT_GT(measure::AmplitudeAt(s.subspan(551, 4410), 1700.0, 44100), 0.3);  // KP
    EXPECT_EQ(measure::Rms(s.subspan(551 + 4410, 2999)), 0.0);
    EXPECT_GT(measure::AmplitudeAt(s.subspan(551 + 4410 + 2999, 2999), 900.0, 44100), 0.3);  // 1
    EXPECT_EQ(measure::Rms(s.last(2999)), 0.0);
}

TEST(MfGenerator, OffsetMovesBothTonesAndRefusalsAppendNothing) {
    MfGenerator::Options options;
    options.frequencyOffsetPercent = 2.0;
    options.toneMs = 500.0;
    SignalTimeline t(8000);
    ASSERT_EQ(MfGenerator(options).Append(t, "6"), S_OK);
    const auto tone = t.Samples().first(4000);
    EXPECT_NEAR(measure::AmplitudeAt(tone, 1100.0 * 1.02, 8000), std::pow(10.0, -0.5), 1e-4);
    EXPECT_NEAR(measure::AmplitudeAt(tone, 1300.0 * 1.02, 8000), std::pow(10.0, -0.5), 1e-4);

    const auto rejects = [](auto change, int rate = 8000, const char* keys = "*1") {
        MfGenerator::Options o;
        change(o);
        SignalTimeline s(rate);
        return MfGenerator(o).Append(s, keys) == E_INVALIDARG && s.Size() == 0;
    };
    const auto none = [](auto&) {};
    EXPECT_TRUE(rejects(none, 8000, "12D"));
    EXPECT_TRUE(rejects([](auto& o) { o.kpToneMs = -1.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.gapMs = std::numeric_limits<double>::quiet_NaN(); }));
    EXPECT_TRUE(rejects([](auto& o) { o.frequencyOffsetPercent = -100.0; }));
    // 1700 Hz needs a rate above 3400 Hz, and more with an upward offset.
    EXPECT_TRUE(rejects(none, 3400));
    EXPECT_FALSE(rejects(none, 3401));
    EXPECT_TRUE(rejects([](auto& o) { o.frequencyOffsetPercent = 1.0; }, 3401));
}

}  // namespace
