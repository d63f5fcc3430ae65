#include "tones/CMonitorTones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "sample/CSample.h"

namespace {

// Sums of sines at given peak levels (dBFS), and silence, sample by sample.
class Signal {
public:
    explicit Signal(int rate) : m_rate(rate) {}
    Signal& Tones(std::vector<std::pair<double, double>> freqLevelDb, double ms) {
        const int n = static_cast<int>(ms * m_rate / 1000.0);
        for (int i = 0; i < n; ++i) {
            double x = 0.0;
            for (const auto& [f, db] : freqLevelDb) x += std::pow(10.0, db / 20.0) * std::sin(2.0 * M_PI * f * i / m_rate);
            samples.push_back(static_cast<float>(x));
        }
        return *this;
    }
    Signal& Silence(double ms) {
        samples.insert(samples.end(), static_cast<std::size_t>(ms * m_rate / 1000.0), 0.0f);
        return *this;
    }
    std::vector<float> samples;

private:
    int m_rate;
};

class ToneRecorder : public CMonitorTones {
public:
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reports;  // identifier, sample counter
    std::function<void(ToneRecorder&)> onReport;
    void OnTone(monitortone_tag* tone) override {
        reports.emplace_back(tone->AppSpecific, tone->sampleCounter);
        if (onReport) onReport(*this);
    }
};

class ToneMonitor : public ::testing::Test {
protected:
    void SetUp() override {
        stream.SetAudioParameters(32, 8000, -45.0f, 100);
        monitor.SetSample(&stream);
    }
    HRESULT Add(std::uint32_t id, int onMs, int offMs, std::vector<std::int32_t> freqs, double maxDb = 0,
                double minDb = 0) {
        return monitor.AddTone(id, onMs, offMs, freqs, maxDb, minDb, 0.06f);
    }
    void Feed(const Signal& s, int chunk = 100) {
        for (std::size_t at = 0; at < s.samples.size(); at += chunk)
            monitor.OnSampleData(s.samples.data() + at, static_cast<int>(std::min<std::size_t>(chunk, s.samples.size() - at)), 0, 0);
    }
    CSample stream;
    ToneRecorder monitor;
};

TEST_F(ToneMonitor, BlockLayoutFollowsTheOnTime) {
    struct Case { int onMs; int blockLength; int onBlocks; int gapTolerance; };
    // 100 ms: 736 samples -> 128 x 5; 40 ms: 294 -> 73 x 4; 500 ms: 3680 -> 192 x 19;
    // 1000 ms: 192 x 38, whose gap tolerance is trunc(38 * 0.02 + 1.5) = 2.
    const Case cases[] = {{100, 128, 5, 1}, {40, 73, 4, 1}, {500, 192, 19, 1}, {1000, 192, 38, 2}, {68, 128, 3, 1}};
    std::uint32_t id = 1;
    for (const Case& c : cases) {
        ASSERT_EQ(Add(id, c.onMs, 300, {1000}), S_OK);
        const monitortone_tag* t = monitor.FindTone(id++);
        EXPECT_EQ(t->blockLength, c.blockLength) << c.onMs;
        EXPECT_EQ(t->onBlocks, c.onBlocks) << c.onMs;
        EXPECT_EQ(t->gapTolerance, c.gapTolerance) << c.onMs;
        EXPECT_EQ(t->offBlocks, static_cast<int>(8000 * (300 * 0.00092) / c.blockLength)) << c.onMs;
    }
    EXPECT_EQ(Add(50, 8, 0, {1000}), CMonitorTones::kToneTooShort);  // 58 samples
    EXPECT_EQ(Add(51, 5, 0, {1000}), CMonitorTones::kToneTooShort);
    EXPECT_EQ(Add(1, 100, 0, {1000}), CMonitorTones::kDuplicateTone);
    EXPECT_EQ(monitor.ToneCount(), 5);

    ToneRecorder detached;
    EXPECT_EQ(detached.AddTone(1, 100, 0, std::vector<std::int32_t>{1000}, 0, 0, 0.06f), E_FAIL);
}

TEST_F(ToneMonitor, DefinitionsAreNormalised) {
    ASSERT_EQ(Add(1, 100, 0, {0, 697, 697, -697}, -30, -20), S_OK);  // a lower limit above the upper one
    const monitortone_tag* t = monitor.FindTone(1);
    ASSERT_EQ(t->frequencyCount, 2);  // 0 skipped, the second 697 skipped, -697 kept
    EXPECT_EQ(t->frequencies[0].frequency, 697);
    EXPECT_FALSE(t->frequencies[0].absent);
    EXPECT_EQ(t->frequencies[1].frequency, 697);
    EXPECT_TRUE(t->frequencies[1].absent);
    EXPECT_EQ(t->MinAmpdB, 0.0);
    EXPECT_EQ(t->MaxAmpdB, 0.0);
    ASSERT_EQ(Add(2, 100, 0, {440}, 5, -30), S_OK);  // a positive upper limit is no limit
    EXPECT_EQ(monitor.FindTone(2)->MaxAmpdB, 0.0);
    EXPECT_EQ(monitor.FindTone(2)->MinAmpdB, -30.0);
}

TEST_F(ToneMonitor, PairIsReportedAtItsFifthMatchingBlockAndNotWhenItBreaksALimit) {
    ASSERT_EQ(Add(7, 100, 0, {440, 480}, 0, -30), S_OK);
    ASSERT_EQ(Add(8, 100, 0, {440, 480}, -15, -30), S_OK);  // -10 dB is above its upper limit
    Feed(Signal(8000).Tones({{440, -10}, {480, -10}}, 5 * 16).Silence(100));
    // 640 samples of tone are exactly five 128-sample blocks.
    ASSERT_EQ(monitor.reports.size(), 1u);
    EXPECT_EQ(monitor.reports[0], std::make_pair(7u, 640u));
    for (int i = 0; i < 2; ++i) EXPECT_NEAR(monitor.FindTone(7)->frequencies[i].smoothedLevel, -10.0, 2.0);  // 40 Hz apart: some leakage
}

TEST_F(ToneMonitor, SteadyToneRepeatsEveryOnTimeAndSilenceToneMatchesQuiet) {
    ASSERT_EQ(Add(1, 1000, 0, {0, 0, 0, 0}), S_OK);  // silence: 192-sample blocks, 38 of them
    Feed(Signal(8000).Silence(192 * 80 / 8.0));
    ASSERT_EQ(monitor.reports.size(), 2u);
    EXPECT_EQ(monitor.reports[0].second, 38u * 192u);
    EXPECT_EQ(monitor.reports[1].second, 76u * 192u);
}

TEST_F(ToneMonitor, AbsentFrequencyMustStayBelowTheLimits) {
    ASSERT_EQ(Add(1, 100, 0, {400, -1000}, 0, -30), S_OK);
    Feed(Signal(8000).Tones({{400, -10}, {1000, -10}}, 200));
    EXPECT_TRUE(monitor.reports.empty());
    Feed(Signal(8000).Tones({{400, -10}}, 100));
    EXPECT_EQ(monitor.reports.size(), 1u);
}

TEST_F(ToneMonitor, OffPhaseReportsOnceAndAMatchCancelsIt) {
    // 100 ms on, 100 ms off: 5 on blocks, trunc(736 / 128) = 5 off blocks.
    ASSERT_EQ(Add(1, 100, 100, {440, 480}, 0, -30), S_OK);
    Signal once(8000);
    once.Tones({{440, -10}, {480, -10}}, 16 * 7).Silence(16 * 6);
    Feed(once);
    ASSERT_EQ(monitor.reports.size(), 1u);
    EXPECT_EQ(monitor.reports[0].second, 12u * 128u);  // 7 on blocks, then the fifth quiet one

    monitor.reports.clear();
    Signal broken(8000);  // a single matching block in the off phase cancels the report
    broken.Tones({{440, -10}, {480, -10}}, 16 * 7).Silence(16 * 2).Tones({{440, -10}, {480, -10}}, 16).Silence(16 * 6);
    Feed(broken);
    EXPECT_TRUE(monitor.reports.empty());
}

TEST_F(ToneMonitor, ReportsDoNotDependOnHowTheSamplesArrive) {
    ASSERT_EQ(Add(1, 40, 0, {697, 1209}, 0, -40), S_OK);
    ASSERT_EQ(Add(2, 100, 60, {350, 440}, 0, -40), S_OK);
    Signal s(8000);
    for (int i = 0; i < 4; ++i) s.Tones({{697, -12}, {1209, -12}}, 90).Silence(50).Tones({{350, -15}, {440, -15}}, 310).Silence(170);
    Feed(s, 100);
    const auto whole = monitor.reports;
    EXPECT_GE(whole.size(), 8u);
    for (int chunk : {1, 7, 64, 333}) {
        SetUp();
        monitor.Clear();
        monitor.reports.clear();
        ASSERT_EQ(Add(1, 40, 0, {697, 1209}, 0, -40), S_OK);
        ASSERT_EQ(Add(2, 100, 60, {350, 440}, 0, -40), S_OK);
        Feed(s, chunk);
        EXPECT_EQ(monitor.reports, whole) << chunk;
    }
}

TEST_F(ToneMonitor, ClearingFromInsideAReportTakesEffectAtTheNextBlock) {
    ASSERT_EQ(Add(1, 100, 0, {440}, 0, -30), S_OK);
    ASSERT_EQ(Add(2, 100, 0, {440}, 0, -30), S_OK);
    monitor.onReport = [](ToneRecorder& m) {
        m.Clear();
        m.AddTone(3, 100, 0, std::vector<std::int32_t>{440}, 0, 0, 0.06f);
    };
    Feed(Signal(8000).Tones({{440, -10}}, 200));
    // Tone 2 shared tone 1's block but was cleared by its report; tone 3 starts afresh.
    ASSERT_GE(monitor.reports.size(), 1u);
    EXPECT_EQ(monitor.reports[0].first, 1u);
    ASSERT_EQ(monitor.ToneCount(), 1);
    EXPECT_EQ(monitor.Tone(0)->AppSpecific, 3u);
    EXPECT_LT(monitor.Tone(0)->sampleCounter, 1600u - 640u);
}

}  // namespace
