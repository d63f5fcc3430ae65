#include "tones/CDecDTMF.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "sample/CSample.h"

namespace {

constexpr float kRows[4] = {697, 770, 852, 941};
constexpr float kCols[4] = {1209, 1336, 1477, 1633};

// A detector on its own, fed block by block the way the sample stream feeds it.
class KeyRecorder : public CDecDTMF {
public:
    std::vector<std::pair<char, std::int32_t>> keys;
    void OnDTMF(char key, std::int32_t position) override { keys.emplace_back(key, position); }
    std::string Text() const {
        std::string text;
        for (const auto& k : keys) text += k.first;
        return text;
    }
};

// Builds signals out of whole detector blocks, so each block holds exactly one state
// (a key, a tone, silence) and the positions the state machine gives are exact.
class BlockSignal {
public:
    BlockSignal(int rate, int blockLength) : m_rate(rate), m_blockLength(blockLength) {}

    BlockSignal& Tones(std::vector<std::pair<double, double>> freqLevelDb, int blocks) {
        for (int n = 0; n < blocks * m_blockLength; ++n) {
            const double t = static_cast<double>(m_samples.size()) / m_rate;
            double x = 0.0;
            for (const auto& [freq, db] : freqLevelDb)
                x += std::pow(10.0, db / 20.0) * std::sin(2.0 * M_PI * freq * t);
            m_samples.push_back(static_cast<float>(x));
        }
        return *this;
    }
    BlockSignal& Key(char key, int blocks, double rowDb = -10, double colDb = -10) {
        const int index = static_cast<int>(std::string("123A456B789C*0#D").find(key));
        return Tones({{kRows[index / 4], rowDb}, {kCols[index % 4], colDb}}, blocks);
    }
    BlockSignal& Silence(int blocks) {
        m_samples.insert(m_samples.end(), static_cast<std::size_t>(blocks * m_blockLength), 0.0f);
        return *this;
    }
    const std::vector<float>& Samples() const { return m_samples; }

private:
    int m_rate;
    int m_blockLength;
    std::vector<float> m_samples;
};

class DtmfDetector : public ::testing::Test {
protected:
    // The control object's defaults: -65 dB, threshold 12, 40 ms / 40 ms, harmonic
    // limits 15.1 and 1.2, relative-peak test on.
    void Configure(int rate = 8000, std::int32_t minDuration = 40, std::int32_t minInterval = 40,
                   float normalTwist = 0, float reverseTwist = 0, float sensitivityDb = -65.0f) {
        stream.SetAudioParameters(32, rate, -45.0f, 100);
        detector.SetSample(&stream);
        detector.SetFreqs(kRows, kCols);
        detector.SetTwist(normalTwist, reverseTwist);
        ASSERT_EQ(detector.SetParameters(sensitivityDb, 12.0f, minDuration, minInterval, 15.1f, 1.2f, -1),
                  S_OK);
    }
    BlockSignal Signal() const { return BlockSignal(stream.GetSampleRate(), detector.BlockLength()); }
    void Feed(const BlockSignal& signal) {
        const auto& s = signal.Samples();
        for (std::size_t at = 0; at < s.size(); at += 100)
            detector.OnSampleData(s.data() + at, static_cast<int>(std::min<std::size_t>(100, s.size() - at)), 0, 0);
    }
    CSample stream;
    KeyRecorder detector;
};

TEST_F(DtmfDetector, LongModeArithmetic) {
    Configure(8000, 40, 40);
    EXPECT_EQ(detector.BlockLength(), 102);
    EXPECT_EQ(detector.MinimumBlocks(), 3);
    EXPECT_EQ(detector.ToleranceBlocks(), 1);
    EXPECT_EQ(detector.MinimumGapBlocks(), 3);
    EXPECT_TRUE(detector.RelativePeakTestOn());
    EXPECT_EQ(detector.EnergyThresholdInUse(), 12.0f);
    EXPECT_NEAR(detector.SensitivityRatio(), 5.6234e-4, 1e-8);

    Configure(44100, 128, 0);
    EXPECT_EQ(detector.BlockLength(), 562);  // 44100 * 102 / 8000 = 562.275
    EXPECT_EQ(detector.MinimumBlocks(), 10);
    EXPECT_EQ(detector.ToleranceBlocks(), 4);  // 10 * 0.35 + 0.5 = 4.0
    EXPECT_EQ(detector.MinimumGapBlocks(), 0);
}

TEST_F(DtmfDetector, ShortModeArithmetic) {
    Configure(8000, 30, 10);
    EXPECT_EQ(detector.BlockLength(), 50);
    EXPECT_EQ(detector.MinimumBlocks(), 3);  // 240 / 50 - 1
    EXPECT_EQ(detector.MinimumGapBlocks(), 0);  // 80 / 50 - 1 = 0
    EXPECT_FALSE(detector.RelativePeakTestOn());
    EXPECT_EQ(detector.EnergyThresholdInUse(), 3.0f);

    Configure(8000, 5, -100);  // floors: at least one tone block, no negative gap
    EXPECT_EQ(detector.MinimumBlocks(), 1);
    EXPECT_EQ(detector.MinimumGapBlocks(), 0);
}

TEST_F(DtmfDetector, RefusesConfigurationWithoutAStream) {
    KeyRecorder lonely;
    lonely.SetFreqs(kRows, kCols);
    EXPECT_EQ(lonely.SetParameters(-65, 12, 40, 40, 15.1f, 1.2f, -1), E_FAIL);
    EXPECT_EQ(lonely.BlockLength(), 0);
    const float samples[100] = {};
    lonely.OnSampleData(samples, 100, 0, 0);  // unconfigured: ignored, no crash
    EXPECT_TRUE(lonely.keys.empty());

    CSample unconfigured;  // rate 0: no block length can be derived
    lonely.SetSample(&unconfigured);
    EXPECT_EQ(lonely.SetParameters(-65, 12, 40, 40, 15.1f, 1.2f, -1), E_INVALIDARG);
}

TEST_F(DtmfDetector, KeyOfFourBlocksIsReportedAtTheThirdQuietBlock) {
    Configure();
    Feed(Signal().Key('5', 4).Silence(6));
    ASSERT_EQ(detector.keys.size(), 1u);
    EXPECT_EQ(detector.keys[0], std::make_pair('5', 7 * 102));
}

TEST_F(DtmfDetector, MinimumOfOneBlockReportsEachPressOnce) {
    // Below about 18 ms the minimum is one 50-sample block: each press must still be one
    // report, whatever its length, with or without gaps, and a change of key without a
    // gap settles the first key once.
    Configure(8000, 10, 10);
    ASSERT_EQ(detector.MinimumBlocks(), 1);
    Feed(Signal().Key('1', 8).Silence(8).Key('2', 8).Silence(8).Key('3', 1).Silence(8));
    EXPECT_EQ(detector.Text(), "123");
    detector.keys.clear();
    Feed(Signal().Key('4', 6).Key('5', 6).Silence(8));
    EXPECT_EQ(detector.Text(), "45");
}

TEST_F(DtmfDetector, EveryKeyAtEveryRate) {
    for (int rate : {8000, 11025, 16000, 22050, 44100, 48000}) {
        Configure(rate);
        const int block = detector.BlockLength();
        BlockSignal signal = Signal();
        for (char key : std::string("123A456B789C*0#D")) signal.Key(key, 4).Silence(4);
        Feed(signal);
        ASSERT_EQ(detector.Text(), "123A456B789C*0#D") << rate;
        for (int i = 0; i < 16; ++i) EXPECT_EQ(detector.keys[i].second, (8 * i + 7) * block) << rate;
        detector.keys.clear();
    }
}

TEST_F(DtmfDetector, NextKeyWithoutAGapSettlesThePreviousOne) {
    Configure();
    Feed(Signal().Key('1', 4).Key('2', 4).Silence(4));
    EXPECT_EQ(detector.keys, (std::vector<std::pair<char, std::int32_t>>{{'1', 5 * 102}, {'2', 11 * 102}}));
}

TEST_F(DtmfDetector, ShortDropOutDoesNotSplitAKey) {
    Configure();
    Feed(Signal().Key('8', 3).Silence(1).Key('8', 3).Silence(4));
    EXPECT_EQ(detector.keys, (std::vector<std::pair<char, std::int32_t>>{{'8', 10 * 102}}));
}

TEST_F(DtmfDetector, BurstShorterThanTheToleranceIsForgotten) {
    Configure(8000, 100, 40);  // 7 blocks needed, tolerance 2
    Feed(Signal().Key('1', 1).Silence(2).Key('9', 8).Silence(4));
    EXPECT_EQ(detector.Text(), "9");
}

TEST_F(DtmfDetector, MostFrequentKeyWinsAndTiesGoToTheLowerIndex) {
    Configure(8000, 128, 40);  // 10 blocks needed, tolerance 4, gap 3
    BlockSignal signal = Signal();
    for (int i = 0; i < 7; ++i) signal.Key('3', 1).Key('1', 1);
    Feed(signal.Silence(4));
    // 7 blocks each: '1' (index 0) beats '3' (index 2) although '3' came first.
    EXPECT_EQ(detector.keys, (std::vector<std::pair<char, std::int32_t>>{{'1', 17 * 102}}));
}

TEST_F(DtmfDetector, SingleToneIsNoKeyInEitherMode) {
    // Even with both twist tests off, the leakage of a lone tone into the other group
    // never passes for a second tone.
    for (int minDuration : {40, 30}) {
        Configure(8000, minDuration);
        BlockSignal signal = Signal();
        for (float f : kRows) signal.Tones({{f, -10}}, 8).Silence(4);
        for (float f : kCols) signal.Tones({{f, -10}}, 8).Silence(4);
        Feed(signal);
        EXPECT_TRUE(detector.keys.empty()) << detector.Text() << " in mode " << minDuration;
    }
    Configure();
    Feed(Signal().Tones({{697, -10}}, 8).Silence(4).Tones({{1336, -10}}, 8).Silence(4));
    Configure(8000, 40, 40, 10.0f, 10.0f);
    Feed(Signal().Tones({{770, -10}}, 8).Silence(4));
    EXPECT_TRUE(detector.keys.empty());
}

TEST_F(DtmfDetector, NormalTwistLimitsAStrongerRowTone) {
    Configure(8000, 40, 40, 4.0f, 0.0f);  // row may be at most 4x (6 dB) the column power
    Feed(Signal().Key('6', 5, -10, -20).Silence(4));
    EXPECT_TRUE(detector.keys.empty());
    Configure(8000, 40, 40, 0.0f, 0.0f);  // off: the built-in 12 dB limit lets 10 dB pass
    Feed(Signal().Key('6', 5, -10, -20).Silence(4));
    EXPECT_EQ(detector.Text(), "6");
    Feed(Signal().Key('6', 5, -10, -23).Silence(4));  // but not 13 dB
    EXPECT_EQ(detector.Text(), "6");
    Configure(8000, 40, 40, 0.0f, 4.0f);  // the reverse limit bounds the column instead
    Feed(Signal().Key('6', 5, -20, -10).Silence(4));
    EXPECT_EQ(detector.Text(), "6");  // only the untested run above produced a key
}

TEST_F(DtmfDetector, SensitivityIgnoresQuietKeys) {
    Configure(8000, 40, 40, 0, 0, -30.0f);  // each tone must reach about -36 dBFS in peak/2 terms
    Feed(Signal().Key('0', 5, -45, -45).Silence(4));
    EXPECT_TRUE(detector.keys.empty());
    Feed(Signal().Key('0', 5, -20, -20).Silence(4));
    EXPECT_EQ(detector.Text(), "0");
}

TEST_F(DtmfDetector, RelativePeakTestRejectsTwoEqualColumns) {
    Configure();  // long mode: test on
    Feed(Signal().Tones({{852, -10}, {1336, -10}, {1477, -10}}, 6).Silence(4));
    EXPECT_TRUE(detector.keys.empty());
    Configure(8000, 30, 40);  // short mode: test off, a key of that row comes through
    Feed(Signal().Tones({{852, -10}, {1336, -10}, {1477, -10}}, 8).Silence(6));
    ASSERT_EQ(detector.keys.size(), 1u);
    EXPECT_TRUE(detector.keys[0].first == '8' || detector.keys[0].first == '9');
}

TEST_F(DtmfDetector, FaxCallingToneIsReportedAsF) {
    Configure();
    Feed(Signal().Tones({{1100, -10}}, 8).Silence(3));
    EXPECT_EQ(detector.keys, (std::vector<std::pair<char, std::int32_t>>{{'f', 9 * 102}}));

    // Too short a tone (five blocks) is not reported.
    detector.keys.clear();
    Feed(Signal().Tones({{1100, -10}}, 5).Silence(3));
    EXPECT_TRUE(detector.keys.empty());
}

TEST_F(DtmfDetector, KeyRightAfterTheCallingToneIsNew) {
    Configure();
    Feed(Signal().Tones({{1100, -10}}, 8).Key('4', 4).Silence(4));
    // The calling tone ends at the first key block, and the key counts as a new key.
    EXPECT_EQ(detector.keys, (std::vector<std::pair<char, std::int32_t>>{{'f', 9 * 102}, {'4', 15 * 102}}));
}

TEST_F(DtmfDetector, NewParametersRestartTheCounter) {
    Configure();
    Feed(Signal().Key('2', 4).Silence(3));
    Configure();
    Feed(Signal().Key('3', 4).Silence(3));
    EXPECT_EQ(detector.keys, (std::vector<std::pair<char, std::int32_t>>{{'2', 714}, {'3', 714}}));
}

}  // namespace
