#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Measure.h"
#include "synth/CadencedToneGenerator.h"
#include "synth/SignalTimeline.h"

namespace {

// 440 + 480 Hz at their own levels, 250 ms on and 125 ms off three times after 50 ms: at
// 8000 Hz 400 samples of lead-in, then 2000 on and 1000 off per cycle. 250 ms holds whole
// cycles of both tones.
TEST(CadencedToneGenerator, CyclesOfTheTonePairAtTheirLevels) {
    CadencedToneGenerator::Options options;
    options.frequenciesHz = {440.0, 480.0};
    options.levelsDbfs = {-10.0, -16.0};
    options.onMs = 250.0;
    options.offMs = 125.0;
    options.count = 3;
    options.leadMs = 50.0;
    SignalTimeline t(8000);
    t.AppendSilence(5);
    ASSERT_EQ(CadencedToneGenerator(options).Append(t), S_OK);
    ASSERT_EQ(t.Size(), 5u + 400u + 3u * 3000u);
    const auto s = t.Samples();
    EXPECT_EQ(measure::Rms(s.first(405)), 0.0);
    for (std::size_t on = 405; on < t.Size(); on += 3000) {
        const auto tone = s.subspan(on, 2000);
        EXPECT_NEAR(measure::Dbfs(measure::AmplitudeAt(tone, 440.0, 8000)), -10.0, 1e-3) << on;
        EXPECT_NEAR(measure::Dbfs(measure::AmplitudeAt(tone, 480.0, 8000)), -16.0, 1e-3) << on;
        EXPECT_GT(std::abs(tone[1999]), 0.0f) << on;
        EXPECT_EQ(measure::Rms(s.subspan(on + 2000, 1000)), 0.0) << on;
    }
}

TEST(CadencedToneGenerator, FourFrequenciesAtOneLevelWithOffset) {
    CadencedToneGenerator::Options options;
    options.frequenciesHz = {350.0, 440.0, 620.0, 1000.0};
    options.levelDbfs = -20.0;
    options.frequencyOffsetPercent = -5.0;
    SignalTimeline t(8000);
    ASSERT_EQ(CadencedToneGenerator(options).Append(t), S_OK);
    ASSERT_EQ(t.Size(), 8000u);  // one cycle of the default second on, no off
    for (double hz : options.frequenciesHz)
        EXPECT_NEAR(measure::Dbfs(measure::AmplitudeAt(t.Samples(), hz * 0.95, 8000)), -20.0, 1e-3) << hz;
}

TEST(CadencedToneGenerator, RefusalsAppendNothing) {
    const auto rejects = [](auto change, int rate = 8000) {
        CadencedToneGenerator::Options o;
        o.frequenciesHz = {440.0, 480.0};
        change(o);
        SignalTimeline s(rate);
        return CadencedToneGenerator(o).Append(s) == E_INVALIDARG && s.Size() == 0;
    };
    const auto none = [](auto&) {};
    EXPECT_FALSE(rejects(none));
    EXPECT_TRUE(rejects([](auto& o) { o.frequenciesHz.clear(); }));
    EXPECT_TRUE(rejects([](auto& o) { o.frequenciesHz = {1, 2, 3, 4, 5}; }));
    EXPECT_TRUE(rejects([](auto& o) { o.frequenciesHz = {440, 0}; }));
    EXPECT_TRUE(rejects([](auto& o) { o.levelsDbfs = {-10}; }));
    EXPECT_TRUE(rejects([](auto& o) { o.levelsDbfs = {-10, std::numeric_limits<double>::quiet_NaN()}; }));
    EXPECT_TRUE(rejects([](auto& o) { o.count = 0; }));
    EXPECT_TRUE(rejects(none, 960));  // 480 Hz is half the rate
    EXPECT_FALSE(rejects(none, 961));
    EXPECT_TRUE(rejects([](auto& o) { o.frequencyOffsetPercent = 0.5; }, 961));
}

}  // namespace
