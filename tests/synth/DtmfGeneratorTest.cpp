#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Measure.h"
#include "synth/DtmfGenerator.h"
#include "synth/SignalTimeline.h"

namespace {

// The standard grid, written out again as the check against the generator's table.
constexpr double kRows[4] = {697.0, 770.0, 852.0, 941.0};
constexpr double kCols[4] = {1209.0, 1336.0, 1477.0, 1633.0};
const std::string kGrid = "123A456B789C*0#D";

TEST(DtmfGenerator, EveryKeyIsItsRowAndColumnToneAtTheGivenLevels) {
    DtmfGenerator::Options options;
    options.levelDbfs = -17.0;
    options.twistDb = 4.0;
    options.toneMs = 1000.0;  // whole seconds: every grid tone makes whole cycles
    options.gapMs = 0.0;
    const DtmfGenerator generator(options);

    for (std::size_t index = 0; index < kGrid.size(); ++index) {
        SignalTimeline t(8000);
        ASSERT_EQ(generator.Append(t, kGrid.substr(index, 1)), S_OK);
        ASSERT_EQ(t.Size(), 8000u);
        for (int i = 0; i < 4; ++i) {
            const double row = measure::AmplitudeAt(t.Samples(), kRows[i], 8000);
            const double col = measure::AmplitudeAt(t.Samples(), kCols[i], 8000);
            if (i == static_cast<int>(index / 4)) {
                EXPECT_NEAR(measure::Dbfs(row), -17.0, 1e-3) << kGrid[index];
            } else {
                EXPECT_LT(row, 1e-5) << kGrid[index] << " row " << i;
            }
            if (i == static_cast<int>(index % 4)) {
                EXPECT_NEAR(measure::Dbfs(col), -13.0, 1e-3)
                    << kGrid[index];  // twist raises the high group
            } else {
                EXPECT_LT(col, 1e-5) << kGrid[index] << " column " << i;
            }
        }
    }
}

TEST(DtmfGenerator, LettersInEitherCaseAndUnknownKeysRejectedWhole) {
    const DtmfGenerator generator;
    SignalTimeline upper(8000);
    SignalTimeline lower(8000);
    ASSERT_EQ(generator.Append(upper, "ABCD"), S_OK);
    ASSERT_EQ(generator.Append(lower, "abcd"), S_OK);
    EXPECT_TRUE(
        std::equal(upper.Samples().begin(), upper.Samples().end(), lower.Samples().begin()));

    SignalTimeline t(8000);
    t.AppendSilence(3);
    for (std::string_view bad : {std::string_view("12E4"), std::string_view("1 2"),
                                 std::string_view("f"), std::string_view("1\0", 2)}) {
        EXPECT_EQ(generator.Append(t, bad), E_INVALIDARG) << bad;
        EXPECT_EQ(t.Size(), 3u) << "nothing appended for " << bad;
    }
    EXPECT_EQ(generator.AppendKey(t, 'x'), E_INVALIDARG);
    EXPECT_EQ(t.Size(), 3u);
    EXPECT_EQ(DtmfGenerator::KeyIndex('*'), 12);
    EXPECT_EQ(DtmfGenerator::KeyIndex('d'), 15);
    EXPECT_EQ(DtmfGenerator::KeyIndex('\0'), -1);
}

TEST(DtmfGenerator, OptionsOutOfRangeAreRejected) {
    const auto rejects = [](auto change) {
        DtmfGenerator::Options options;
        change(options);
        SignalTimeline t(8000);
        const HRESULT whole = DtmfGenerator(options).Append(t, "1");
        const HRESULT one = DtmfGenerator(options).AppendKey(t, '1');
        return whole == E_INVALIDARG && one == E_INVALIDARG && t.Size() == 0;
    };
    EXPECT_TRUE(rejects([](auto& o) { o.toneMs = -1.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.gapMs = std::nan(""); }));
    EXPECT_TRUE(rejects([](auto& o) { o.leadMs = INFINITY; }));
    EXPECT_TRUE(rejects([](auto& o) { o.levelDbfs = std::nan(""); }));
    EXPECT_TRUE(rejects([](auto& o) { o.twistDb = -INFINITY; }));
    EXPECT_TRUE(rejects([](auto& o) { o.rowOffsetPercent = -100.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.colOffsetPercent = std::nan(""); }));
    EXPECT_FALSE(rejects([](auto& o) { o.toneMs = 0.0; }));
}

// Lead-in, tones and gaps come out at exactly their rounded lengths, at any rate, and the
// gaps are true silence.
TEST(DtmfGenerator, DurationsAreExactInSamples) {
    struct Case {
        int rate;
        double leadMs, toneMs, gapMs;
        std::size_t lead, tone, gap;
    };
    for (const Case& c :
         {Case{8000, 20.0, 50.0, 50.0, 160, 400, 400}, Case{8000, 0.0, 51.0, 38.25, 0, 408, 306},
          Case{11025, 10.0, 50.0, 100.0, 110, 551, 1103},
          Case{44100, 1.0, 40.0, 45.0, 44, 1764, 1985}}) {
        DtmfGenerator::Options options;
        options.leadMs = c.leadMs;
        options.toneMs = c.toneMs;
        options.gapMs = c.gapMs;
        SignalTimeline t(c.rate);
        ASSERT_EQ(DtmfGenerator(options).Append(t, "5#9"), S_OK);
        ASSERT_EQ(t.Size(), c.lead + 3 * (c.tone + c.gap)) << c.rate;

        const auto s = t.Samples();
        for (std::size_t n = 0; n < c.lead; ++n) ASSERT_EQ(s[n], 0.0f) << c.rate << " lead " << n;
        for (int key = 0; key < 3; ++key) {
            const std::size_t start = c.lead + key * (c.tone + c.gap);
            // A tone pair starting at phase 0 begins at 0 and rises; its last sample is
            // still sounding.
            EXPECT_GT(s[start + 1], 0.0f) << c.rate << " key " << key;
            EXPECT_NE(s[start + c.tone - 1], 0.0f) << c.rate << " key " << key;
            EXPECT_NEAR(measure::Rms(s.subspan(start, c.tone)), std::pow(10.0, -10.0 / 20.0), 0.01);
            for (std::size_t n = start + c.tone; n < start + c.tone + c.gap; ++n)
                ASSERT_EQ(s[n], 0.0f) << c.rate << " gap " << n;
        }
    }
}

TEST(DtmfGenerator, FrequencyOffsetsMoveEachGroup) {
    DtmfGenerator::Options options;
    options.toneMs = 1000.0;
    options.gapMs = 0.0;
    options.rowOffsetPercent = 1.5;
    options.colOffsetPercent = -2.0;
    const DtmfGenerator generator(options);

    double row = 0.0;
    double col = 0.0;
    ASSERT_TRUE(generator.KeyFrequencies('0', row, col));
    EXPECT_DOUBLE_EQ(row, 941.0 * 1.015);
    EXPECT_DOUBLE_EQ(col, 1336.0 * 0.98);
    EXPECT_FALSE(generator.KeyFrequencies('?', row, col));

    SignalTimeline t(8000);
    ASSERT_EQ(generator.Append(t, "0"), S_OK);
    const double amplitude = std::pow(10.0, -10.0 / 20.0);
    EXPECT_NEAR(measure::AmplitudeAt(t.Samples(), 941.0 * 1.015, 8000), amplitude,
                amplitude * 1e-3);
    EXPECT_NEAR(measure::AmplitudeAt(t.Samples(), 1336.0 * 0.98, 8000), amplitude,
                amplitude * 1e-3);
    // The nominal frequencies are now far outside a 1 Hz wide one-second measurement.
    EXPECT_LT(measure::AmplitudeAt(t.Samples(), 941.0, 8000), amplitude * 0.01);
    EXPECT_LT(measure::AmplitudeAt(t.Samples(), 1336.0, 8000), amplitude * 0.01);
}

}  // namespace
