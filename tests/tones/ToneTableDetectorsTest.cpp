// The MF, paging and special-information-tone detectors on their own, fed with sums of
// sines built here, and (for the arithmetic of the per-block decisions) with tone records
// whose levels are set directly.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "sample/CSample.h"
#include "tones/CMFDetector.h"
#include "tones/CSITDetector.h"
#include "tones/CZVEIDetector.h"
#include "tones/monitortone_tag.h"

namespace {

struct Tone {
    std::vector<double> hz;
    double ms;
    double db = -10.0;
};

// Consecutive tones (an empty frequency list is silence), each starting at phase 0.
std::vector<float> Sines(int rate, const std::vector<Tone>& tones) {
    std::vector<float> out;
    for (const Tone& t : tones) {
        const int n = static_cast<int>(std::lround(t.ms * rate / 1000.0));
        for (int i = 0; i < n; ++i) {
            double x = 0.0;
            for (double f : t.hz) x += std::pow(10.0, t.db / 20.0) * std::sin(2.0 * M_PI * f * i / rate);
            out.push_back(static_cast<float>(x));
        }
    }
    return out;
}

template <typename Detector>
void Feed(Detector& d, const std::vector<float>& s) {
    for (std::size_t at = 0; at < s.size(); at += 100)
        d.OnSampleData(s.data() + at, static_cast<int>(std::min<std::size_t>(100, s.size() - at)), 0, 0);
}

using Reports = std::vector<std::pair<int, std::int32_t>>;  // key or kind, position

class MfRecorder : public CMFDetector {
public:
    Reports reports;
    void OnMFKey(char key, std::int32_t position) override { reports.emplace_back(key, position); }
};
class PagingRecorder : public CZVEIDetector {
public:
    Reports reports;
    std::string Keys() const {
        std::string s;
        for (const auto& r : reports) s += static_cast<char>(r.first);
        return s;
    }
    void OnZVEIKey(char key, std::int32_t position) override { reports.emplace_back(key, position); }
};
class SitRecorder : public CSITDetector {
public:
    Reports reports;
    void OnSIT(_SIT_TYPE type, std::int32_t position) override { reports.emplace_back(type, position); }
};

// A tone record with chosen smoothed levels, for driving OnToneBlock directly.
monitortone_tag Levels(std::uint32_t id, std::vector<double> db) {
    monitortone_tag t;
    t.AppSpecific = id;
    t.frequencyCount = static_cast<int>(db.size());
    for (std::size_t i = 0; i < db.size(); ++i) {
        t.frequencies[i].index = static_cast<int>(i);
        t.frequencies[i].smoothedLevel = db[i];
    }
    return t;
}

class TableDetectors : public ::testing::Test {
protected:
    void Attach(int rate) {
        stream.SetAudioParameters(32, rate, -45.0f, 100);
        mf.SetSample(&stream);
        paging.SetSample(&stream);
        sit.SetSample(&stream);
        ASSERT_EQ(mf.SetParameters(), S_OK);
        ASSERT_EQ(sit.SetParameters(), S_OK);
    }
    void SetUp() override { Attach(8000); }
    CSample stream;
    MfRecorder mf;
    PagingRecorder paging;
    SitRecorder sit;
};

TEST_F(TableDetectors, RefuseToStartWithoutAStream) {
    MfRecorder m;
    PagingRecorder p;
    SitRecorder s;
    EXPECT_EQ(m.SetParameters(), E_FAIL);
    EXPECT_EQ(p.SetParameters(CZVEIDetector::ZVEI_CCIR, true, 10, -25), E_FAIL);
    EXPECT_EQ(s.SetParameters(), E_FAIL);
    EXPECT_EQ(paging.SetParameters(static_cast<CZVEIDetector::ZVEI_TYPE>(7), true, 10, -25), E_INVALIDARG);
}

TEST_F(TableDetectors, RequiredBlocksScaleWithTheRate) {
    // MF 68 ms: 3 blocks of 128 at 8 kHz (2 required), 5 of 192 at 16 kHz (4 required).
    EXPECT_EQ(mf.RequiredBlocks(), 2);
    ASSERT_EQ(paging.SetParameters(CZVEIDetector::ZVEI_CCIR, true, 10, -25), S_OK);
    EXPECT_EQ(paging.RequiredBlocks(), 4);
    ASSERT_EQ(paging.SetParameters(CZVEIDetector::ZVEI_ZVEI1, true, 10, -25), S_OK);
    EXPECT_EQ(paging.RequiredBlocks(), 3);
    ASSERT_EQ(paging.SetParameters(CZVEIDetector::ZVEI_EIA, true, 10, -25), S_OK);
    EXPECT_EQ(paging.RequiredBlocks(), 3);
    EXPECT_EQ(paging.Monitor().Tone(0)->blockLength, 73);
    EXPECT_EQ(paging.Monitor().Tone(0)->frequencyCount, 15);  // EIA has no 'F'
    EXPECT_EQ(sit.SegmentBlocks(), 13);                        // 2624 / 192
    EXPECT_FLOAT_EQ(sit.MinimumLevel(), -36.0f);
    Attach(16000);
    EXPECT_EQ(mf.RequiredBlocks(), 4);
}

TEST_F(TableDetectors, MfPairDecisions) {
    const auto block = [&](std::vector<double> db) {
        monitortone_tag t = Levels(CMFDetector::kToneId, std::move(db));
        t.sampleCounter = 1000;
        mf.OnToneBlock(&t, false);
    };
    const std::vector<double> star = {-60, -60, -10, -60, -60, -10.5};  // 1100 + 1700
    block(star);
    EXPECT_TRUE(mf.reports.empty());  // pending
    block(star);
    ASSERT_EQ(mf.reports, (Reports{{'*', 1000}}));
    // Held, and interrupted for one block: not repeated. Then a longer gap: repeated.
    block(star);
    block({-60, -60, -60, -60, -60, -60});
    block(star);
    block(star);
    EXPECT_EQ(mf.reports.size(), 1u);
    for (int i = 0; i < 3; ++i) block({-60, -60, -60, -60, -60, -60});
    block(star);
    block(star);
    EXPECT_EQ(mf.reports.size(), 2u);
    // A key changing straight into another is reported after its own blocks.
    block({-10, -10.2, -60, -60, -60, -60});
    EXPECT_EQ(mf.reports.size(), 2u);
    block({-10, -10.2, -60, -60, -60, -60});
    ASSERT_EQ(mf.reports.size(), 3u);
    EXPECT_EQ(mf.reports.back().first, '1');

    mf.reports.clear();
    mf.SetParameters();
    // Below -26 dB; a tie for the best (the other of the pair is not taken as second);
    // the other four too close to the pair: never a key.
    for (const auto& levels : std::vector<std::vector<double>>{{-60, -60, -27, -60, -60, -26.5},
                                                               {-60, -60, -10, -60, -60, -10},
                                                               {-15, -15, -10, -15, -15, -11}})
        for (int i = 0; i < 4; ++i) block(levels);
    EXPECT_TRUE(mf.reports.empty());
}

TEST_F(TableDetectors, MfStarFromSinesIsReportedOnceAndAWeakPairNever) {
    Feed(mf, Sines(8000, {{{1100, 1700}, 68}, {{}, 100}, {{1100, 1700}, 68, -28}, {{}, 100}}));
    ASSERT_EQ(mf.reports.size(), 1u);
    EXPECT_EQ(mf.reports[0], std::make_pair(int{'*'}, 256));  // the end of its second block
}

TEST_F(TableDetectors, PagingCcirDigitsAtTheFourthBlockOfEachTone) {
    ASSERT_EQ(paging.SetParameters(CZVEIDetector::ZVEI_CCIR, true, 10, -25), S_OK);
    const double hz[] = {1124, 1197, 1275, 1358, 1446};
    std::vector<Tone> tones;
    for (double f : hz) tones.push_back({{f}, 100});
    tones.push_back({{}, 100});
    // Through the stream, whose position the paging detector reports.
    stream.AddEvent(&paging);
    const std::vector<float> samples = Sines(8000, tones);
    stream.putSamples(samples.data(), static_cast<int>(samples.size() * sizeof(float)), 0);
    ASSERT_EQ(paging.Keys(), "12345");
    // The first tone's fourth block ends at sample 512, inside the stream block at 500.
    EXPECT_EQ(paging.reports[0].second, 500);
    for (int k = 1; k < 5; ++k) {
        EXPECT_GE(paging.reports[k].second, 800 * k + 3 * 128 - 100) << k;
        EXPECT_LE(paging.reports[k].second, 800 * k + 6 * 128) << k;
    }
}

TEST_F(TableDetectors, PagingMinimumLevelTiesAndGaps) {
    ASSERT_EQ(paging.SetParameters(CZVEIDetector::ZVEI_CCIR, true, 10, -25), S_OK);
    Feed(paging, Sines(8000, {{{1124}, 100, -30}, {{}, 50}}));
    EXPECT_EQ(paging.Keys(), "");  // below -25 dB
    // A quiet block inside a reported tone does not report it again.
    Feed(paging, Sines(8000, {{{1124}, 80, -10}, {{}, 16}, {{1124}, 60, -10}, {{}, 100}}));
    EXPECT_EQ(paging.Keys(), "1");

    paging.reports.clear();
    const auto block = [&](std::vector<double> db) {
        monitortone_tag t = Levels(CZVEIDetector::kToneId, std::move(db));
        paging.OnToneBlock(&t, false);
    };
    std::vector<double> tie(16, -60.0);
    tie[3] = tie[7] = -10.0;  // the earlier index is best; the rest are far enough below
    for (int i = 0; i < 4; ++i) block(tie);
    EXPECT_EQ(paging.Keys(), "3");
    std::vector<double> crowded(16, -16.0);  // the others average less than 0.7 x |best| below
    crowded[5] = -10.0;
    for (int i = 0; i < 8; ++i) block(crowded);
    EXPECT_EQ(paging.Keys(), "3");
}

TEST_F(TableDetectors, PagingEiaHasNoF) {
    ASSERT_EQ(paging.SetParameters(CZVEIDetector::ZVEI_EIA, true, 10, -25), S_OK);
    const double eia[] = {600, 741, 882, 1023, 1164, 1305, 1446, 1587, 1728, 1869, 2151, 2435, 2010, 2295, 459};
    std::vector<Tone> tones;
    for (double f : eia) tones.push_back({{f}, 40});
    tones.push_back({{}, 100});
    Feed(paging, Sines(8000, tones));
    EXPECT_EQ(paging.Keys(), "0123456789ABCDE");
}

TEST_F(TableDetectors, SitKindsAndBrokenSequences) {
    const auto sequence = [](double first, double firstMs, double second, double secondMs, double thirdMs,
                             double db = -20, double leadMs = 0) {
        return Sines(8000, {{{}, leadMs}, {{first}, firstMs, db}, {{second}, secondMs, db}, {{1776}, thirdMs, db}, {{}, 200}});
    };
    // A kind is reported once more than 13 blocks of the third tone are counted, counting
    // from the first block in which it is the strongest. When the third tone starts
    // inside a block (here after 12 ms of lead-in, at sample 4512), that is its first
    // whole block, 24, and the report comes at the end of its 14th whole block: 38 x 192.
    Feed(sit, sequence(913, 276, 1370, 276, 380, -20, 12));
    // On a block boundary (sample 4416) the smoothed levels of the fading and the rising
    // tone tie within a dB in the first block of the third tone, and here the fading one
    // still leads, so the count starts a block late: the 15th block, again at 7296.
    ASSERT_EQ(sit.SetParameters(), S_OK);  // the position counts from here again
    Feed(sit, sequence(913, 276, 1370, 276, 380));
    EXPECT_EQ(sit.reports, (Reports{{CSITDetector::SIT_IC, 7296}, {CSITDetector::SIT_IC, 7296}}));
    sit.reports.clear();
    Feed(sit, sequence(985, 380, 1370, 276, 380));
    ASSERT_EQ(sit.reports.size(), 1u);
    EXPECT_EQ(sit.reports[0].first, CSITDetector::SIT_VC);
    sit.reports.clear();
    Feed(sit, sequence(913, 276, 1370, 276, 300));  // third tone too short
    Feed(sit, sequence(913, 100, 1370, 276, 380));  // four-block first segment
    Feed(sit, sequence(913, 276, 1370, 276, 380, -40));  // below 0.8 x the silence threshold
    EXPECT_TRUE(sit.reports.empty());
}

}  // namespace
