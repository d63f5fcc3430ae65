#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Measure.h"
#include "synth/SignalTimeline.h"

namespace {

std::span<const float> Slice(const SignalTimeline& t, std::size_t start, std::size_t count) {
    return t.Samples().subspan(start, count);
}

TEST(SignalTimeline, MillisecondsRoundToWholeSamples) {
    const SignalTimeline narrow(8000);
    EXPECT_EQ(narrow.SamplesForMs(50.0), 400u);
    EXPECT_EQ(narrow.SamplesForMs(12.75), 102u);  // one long DTMF block
    EXPECT_EQ(narrow.SamplesForMs(0.0625), 1u);   // half a sample rounds away from zero
    EXPECT_EQ(narrow.SamplesForMs(0.06), 0u);
    EXPECT_EQ(narrow.SamplesForMs(-5.0), 0u);
    EXPECT_EQ(narrow.SamplesForMs(600000.0), 4'800'000u);

    const SignalTimeline cd(11025);
    EXPECT_EQ(cd.SamplesForMs(50.0), 551u);    // 551.25
    EXPECT_EQ(cd.SamplesForMs(100.0), 1103u);  // 1102.5
}

TEST(SignalTimeline, SegmentsHaveExactLengthsAndSilenceIsZero) {
    SignalTimeline t(8000);
    t.AppendSilence(7);
    t.AppendTone(1000.0, -6.0, 13);
    t.AppendSweep(300.0, 3000.0, -6.0, 17);
    const float raw[3] = {0.25f, -0.5f, 1.0f};
    t.AppendSamples(raw);
    t.AppendSilence(0);
    t.AppendTone(1000.0, -6.0, 0);
    t.AppendSilence(5);
    ASSERT_EQ(t.Size(), 7u + 13 + 17 + 3 + 5);

    for (std::size_t n = 0; n < 7; ++n) EXPECT_EQ(t.Samples()[n], 0.0f);
    EXPECT_NE(t.Samples()[7 + 12], 0.0f);  // the tone runs to its last sample
    EXPECT_EQ(t.Samples()[37], 0.25f);
    EXPECT_EQ(t.Samples()[39], 1.0f);
    for (std::size_t n = 40; n < 45; ++n) EXPECT_EQ(t.Samples()[n], 0.0f);
}

TEST(SignalTimeline, ToneLevelIsPeakRelativeToFullScale) {
    for (double level : {0.0, -6.0, -20.0, -45.0}) {
        SignalTimeline t(8000);
        t.AppendTone(1000.0, level, 8000);
        const double peak = std::pow(10.0, level / 20.0);
        float largest = 0.0f;
        for (float v : t.Samples()) largest = std::max(largest, std::fabs(v));
        EXPECT_NEAR(largest, peak, peak * 1e-6) << level;
        EXPECT_NEAR(measure::Rms(t.Samples()), peak / std::sqrt(2.0), peak * 1e-6) << level;
        EXPECT_NEAR(measure::Dbfs(measure::AmplitudeAt(t.Samples(), 1000.0, 8000)), level, 1e-4);
    }
}

TEST(SignalTimeline, SummedTonesKeepTheirOwnLevels) {
    SignalTimeline t(8000);
    const SignalTimeline::Tone tones[3] = {
        {697.0, -10.0, 0.0}, {1209.0, -16.0, 0.0}, {2400.0, -30.0, 1.0}};
    t.AppendTones(tones, 8000);
    for (const auto& tone : tones)
        EXPECT_NEAR(measure::Dbfs(measure::AmplitudeAt(t.Samples(), tone.frequencyHz, 8000)),
                    tone.levelDbfs, 1e-3)
            << tone.frequencyHz;
    EXPECT_LT(measure::AmplitudeAt(t.Samples(), 1000.0, 8000), 1e-5);
}

// A segment sounds the same wherever it is placed: its phase starts at its own first
// sample, not at the timeline's.
TEST(SignalTimeline, SegmentPhaseDoesNotDependOnPlacement) {
    SignalTimeline alone(8000);
    alone.AppendTone(697.0, -3.0, 500);
    SignalTimeline placed(8000);
    placed.AppendTone(1336.0, -3.0, 333);
    placed.AppendSilence(101);
    placed.AppendTone(697.0, -3.0, 500);
    const auto tail = Slice(placed, 434, 500);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), alone.Samples().begin()));
}

// The phase is computed from the sample index, so the ten-millionth sample is as exact as
// the first: 1 kHz at 8 kHz repeats every 8 samples.
TEST(SignalTimeline, LongTonesDoNotDrift) {
    SignalTimeline t(8000);
    const std::size_t length = 2'000'000;
    t.AppendTone(1000.0, 0.0, length);
    for (std::size_t n = 0; n < 8; ++n)
        EXPECT_NEAR(t.Samples()[length - 8 + n], t.Samples()[n], 1e-6) << n;

    // A frequency that is not a whole number of hertz: compare with a direct evaluation.
    SignalTimeline odd(8000);
    odd.AppendTone(707.455, 0.0, length);
    const double n = static_cast<double>(length - 1);
    const long double cycles = 707.455L * static_cast<long double>(n) / 8000.0L;
    const double expected =
        std::sin(measure::kTwoPi * static_cast<double>(cycles - std::floor(cycles)));
    EXPECT_NEAR(odd.Samples()[length - 1], expected, 1e-5);
}

TEST(SignalTimeline, SweepMovesLinearlyWithoutPhaseJumps) {
    SignalTimeline t(8000);
    t.AppendSweep(400.0, 2400.0, -6.0, 16000);  // 2 s, 1000 Hz per second
    ASSERT_EQ(t.Size(), 16000u);
    // Around 0.25 s the frequency is 650 Hz; around 1.75 s it is 2150 Hz.
    EXPECT_NEAR(measure::ZeroCrossingFrequency(Slice(t, 1600, 800), 8000), 650.0, 10.0);
    EXPECT_NEAR(measure::ZeroCrossingFrequency(Slice(t, 13600, 800), 8000), 2150.0, 10.0);
    // No step anywhere larger than the fastest sine can make between two samples.
    const double amplitude = std::pow(10.0, -6.0 / 20.0);
    const double maxStep = 2.0 * amplitude * std::sin(measure::kTwoPi * 2400.0 / 8000.0 / 2.0);
    for (std::size_t n = 1; n < t.Size(); ++n)
        ASSERT_LE(std::fabs(t.Samples()[n] - t.Samples()[n - 1]), maxStep * 1.0001) << n;
}

TEST(SignalTimeline, NoiseHasTheLevelOfASineOfEqualPower) {
    SignalTimeline t(8000);
    t.AppendSilence(200'000);
    t.AddNoise(-20.0, 42);
    const double expectedRms = std::pow(10.0, -20.0 / 20.0) / std::sqrt(2.0);
    EXPECT_NEAR(measure::Rms(t.Samples()), expectedRms, expectedRms * 0.01);

    // Gaussian, not uniform: about 4.55 % of the values lie beyond two standard deviations.
    double mean = 0.0;
    std::size_t beyond = 0;
    for (float v : t.Samples()) {
        mean += v;
        if (std::fabs(v) > 2.0 * expectedRms) ++beyond;
    }
    EXPECT_NEAR(mean / t.Size(), 0.0, expectedRms * 0.01);
    EXPECT_NEAR(static_cast<double>(beyond) / t.Size(), 0.0455, 0.003);
}

TEST(SignalTimeline, NoiseIsReproducibleFromItsSeed) {
    const auto noisy = [](std::uint64_t seed) {
        SignalTimeline t(8000);
        t.AppendTone(941.0, -10.0, 4000);
        t.AddNoise(-30.0, seed);
        return std::vector<float>(t.Samples().begin(), t.Samples().end());
    };
    EXPECT_EQ(noisy(7), noisy(7));
    EXPECT_NE(noisy(7), noisy(8));
    EXPECT_NE(noisy(0), noisy(1));

    // Noise is added: subtracting the clean tone leaves the same noise for every signal.
    SignalTimeline silent(8000);
    silent.AppendSilence(4000);
    silent.AddNoise(-30.0, 7);
    SignalTimeline clean(8000);
    clean.AppendTone(941.0, -10.0, 4000);
    const auto withTone = noisy(7);
    for (std::size_t n = 0; n < 4000; ++n)
        ASSERT_NEAR(withTone[n] - clean.Samples()[n], silent.Samples()[n], 1e-6) << n;
}

TEST(SignalTimeline, NoiseRangeIsLimitedToTheSignal) {
    SignalTimeline t(8000);
    t.AppendSilence(100);
    t.AddNoise(-10.0, 3, 40, 1000);  // runs past the end: stops there
    ASSERT_EQ(t.Size(), 100u);
    for (std::size_t n = 0; n < 40; ++n) EXPECT_EQ(t.Samples()[n], 0.0f) << n;
    std::size_t nonZero = 0;
    for (std::size_t n = 40; n < 100; ++n) nonZero += t.Samples()[n] != 0.0f;
    EXPECT_EQ(nonZero, 60u);

    t.AddNoise(-10.0, 3, 100, 5);  // starts at the end: nothing
    EXPECT_EQ(t.Size(), 100u);
}

}  // namespace
