#include "tones/CDetectToneFreqs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <vector>

#include "decoder/DecoderMessages.h"
#include "support/DecoderHarness.h"

namespace {

constexpr int kRate = 8000;
constexpr int kBlock = 100;

// One detector event as the aggregate delivered it, with the spectrum's centre
// frequencies read while the spectrum message was being handled.
struct Report {
    int msg;
    std::int32_t position;  // start (frequency, silence start) or end (silence end)
    std::int32_t duration = 0;
    double first = 0.0, second = 0.0;
    std::int32_t centreResult = 0;
    std::uint32_t streamPosition = 0;
};

// Float samples built in the test: blocks of silence or of tones, each starting its own
// phase, fed through the aggregate with only this detector switched on.
class SpectrumFixture {
public:
    explicit SpectrumFixture(int rate = kRate) : m_harness(rate, 32), m_rate(rate) {
        CBaseDecoder& decoder = m_harness.Decoder();
        decoder.EnableXDec(DEC_DTMF, 0);
        decoder.EnableXDec(DEC_SPECTRUM, 1);
        m_harness.onEvent = [this](const DecoderHarness::Event& e) { Keep(e); };
    }

    CDetectToneFreqs& Detector() { return m_harness.Decoder(); }
    // Runs inside the delivery of every detector message.
    std::function<void()> during;

    void Tones(std::initializer_list<std::pair<double, double>> tones, int samples) {
        for (int i = 0; i < samples; ++i) {
            double x = 0.0;
            for (const auto& [hz, amplitude] : tones) x += amplitude * std::sin(2.0 * std::numbers::pi * hz * i / m_rate);
            m_samples.push_back(static_cast<float>(x));
        }
    }
    void Silence(int samples) { m_samples.insert(m_samples.end(), static_cast<std::size_t>(samples), 0.0f); }

    const std::vector<Report>& Run() {
        std::vector<unsigned char> bytes(m_samples.size() * sizeof(float));
        std::memcpy(bytes.data(), m_samples.data(), bytes.size());
        m_harness.Feed(bytes);
        m_samples.clear();
        return m_reports;
    }
    // The end of the run: the last partial block, then what the detector still holds.
    const std::vector<Report>& End() {
        m_harness.Flush();
        m_harness.Decoder().EndOfStream();
        return m_reports;
    }
    std::vector<Report> Of(int msg) const {
        std::vector<Report> out;
        for (const Report& r : m_reports)
            if (r.msg == msg) out.push_back(r);
        return out;
    }

private:
    void Keep(const DecoderHarness::Event& e) {
        Report r{e.msg, 0};
        r.streamPosition = m_harness.Decoder().GetSamplePos();
        switch (e.msg) {
            case DM_FREQUENCY_DATA:
                r.centreResult = Detector().GetCenterFreqs(&r.first, &r.second);
                break;
            case DM_FREQUENCY_DETECTED: {
                const auto* pair = reinterpret_cast<const FrequencyPair*>(e.wParam);
                const auto* timing = reinterpret_cast<const ToneTiming*>(e.lParam);
                r.first = pair->Frequency;
                r.second = pair->secondFreq;
                r.position = timing->starttime;
                r.duration = timing->Duration;
                break;
            }
            case DM_SILENCE_START: r.position = static_cast<std::int32_t>(e.wParam); break;
            case DM_SILENCE_END:
                r.position = static_cast<std::int32_t>(e.wParam);
                r.duration = static_cast<std::int32_t>(e.lParam);
                break;
            default: return;
        }
        m_reports.push_back(r);
        if (during) during();
    }

    DecoderHarness m_harness;
    int m_rate;
    std::vector<float> m_samples;
    std::vector<Report> m_reports;
};

}  // namespace

TEST(SpectrumConversion, TwoTonesComeOutLowerFirstWithinOneBin) {
    SpectrumFixture f;
    ASSERT_EQ(f.Detector().SetParameters(1000, 0), S_OK);  // 512 points
    EXPECT_EQ(f.Detector().FFTSize(), 512);
    f.Detector().SetAmplitudeThreshold(-30.0f);
    f.Tones({{1209.0, 0.3}, {697.0, 0.3}}, 1700);  // blocks up to 1700: three frames of 512
    f.Run();
    const std::vector<Report> spectra = f.Of(DM_FREQUENCY_DATA);
    ASSERT_EQ(spectra.size(), 3u);  // one per full frame
    const double binWidth = 8000.0 / 512;
    for (const Report& r : spectra) {
        EXPECT_EQ(r.centreResult, 0);
        EXPECT_NEAR(r.first, 697.0, binWidth);
        EXPECT_NEAR(r.second, 1209.0, binWidth);
    }
    // The first frame is full at sample 512: the block 500..599 completes it.
    EXPECT_EQ(spectra[0].streamPosition, 500u);
    EXPECT_NEAR(f.Detector().GetFreqDB(697.0f), 20 * std::log10(0.3), 3.0);
    EXPECT_LT(f.Detector().GetFreqDB(2500.0f), -60.0);
    EXPECT_EQ(f.Detector().GetFreqDB(4001.0f), -1.0);
}

TEST(SpectrumConversion, TonesFewerThanSixBinsApartGiveOnlyTheStronger) {
    SpectrumFixture f;
    ASSERT_EQ(f.Detector().SetParameters(1024, 0), S_OK);  // 7.8125 Hz per bin
    f.Tones({{1000.0, 0.4}, {1000.0 + 4 * 7.8125, 0.2}}, 1100);
    f.Run();
    const std::vector<Report> spectra = f.Of(DM_FREQUENCY_DATA);
    ASSERT_EQ(spectra.size(), 1u);
    EXPECT_EQ(spectra[0].centreResult, 0);
    EXPECT_NEAR(spectra[0].first, 1000.0, 7.8125);
    EXPECT_EQ(spectra[0].second, 0.0);
    // Nothing above a threshold of +10 dB.
    f.Detector().SetAmplitudeThreshold(10.0f);
    double a = 0, b = 0;
    EXPECT_EQ(f.Detector().GetCenterFreqs(&a, &b), 1);
}

// A burst shorter than a frame gives a zero-padded spectrum at the third quiet block after
// it when it holds more than N/4 samples, and none otherwise.
TEST(SpectrumConversion, PartialFrameAfterThreeQuietBlocks) {
    for (const int burstBlocks : {2, 3}) {  // 200 <= 256 < 300 samples, N = 1024
        SCOPED_TRACE(burstBlocks);
        SpectrumFixture f;
        ASSERT_EQ(f.Detector().SetParameters(1024, 0), S_OK);
        f.Tones({{1000.0, 0.5}}, burstBlocks * kBlock);
        f.Silence(10 * kBlock);
        f.Run();
        const std::vector<Report> spectra = f.Of(DM_FREQUENCY_DATA);
        if (burstBlocks == 2) {
            EXPECT_TRUE(spectra.empty());
            continue;
        }
        ASSERT_EQ(spectra.size(), 1u);
        EXPECT_EQ(spectra[0].streamPosition, static_cast<std::uint32_t>((burstBlocks + 2) * kBlock));
        EXPECT_NEAR(spectra[0].first, 1000.0, 8000.0 / 1024);
    }
}

TEST(SpectrumConversion, OffAndBeforeTheFirstSpectrum) {
    SpectrumFixture f;
    double a = 0, b = 0;
    EXPECT_EQ(f.Detector().GetCenterFreqs(&a, &b), -1);
    EXPECT_EQ(f.Detector().GetFreqDB(1000.0f), -1.0);
    EXPECT_TRUE(f.Detector().SpectrumDB().empty());
    ASSERT_EQ(f.Detector().SetParameters(256, 0), S_OK);
    EXPECT_EQ(f.Detector().GetCenterFreqs(&a, &b), 1);  // every bin still -600 dB
    ASSERT_EQ(f.Detector().SpectrumDB().size(), 129u);
    EXPECT_EQ(f.Detector().SpectrumDB()[64], -600.0f);
    CDetectToneFreqs detached;
    EXPECT_EQ(detached.SetParameters(1024, 4000), E_FAIL);
}

// Silence of 8 blocks at 8 kHz: it starts at the 9th quiet block and ends at the 5th loud
// one. Both are stamped total - blocks x 100, which is the second block of the run; the
// first loud stretch, before any silence, is never analysed.
TEST(SilenceAndFrequencies, StartEndAndTheSegmentBetween) {
    SpectrumFixture f;
    ASSERT_EQ(f.Detector().SetParameters(0, 1000), S_OK);
    EXPECT_EQ(f.Detector().SilenceBlocks(), 8);
    EXPECT_EQ(f.Detector().SegmentCapacity(), 4096);  // 8000 samples
    f.Detector().SetAmplitudeThreshold(-30.0f);
    f.Tones({{600.0, 0.5}}, 20 * kBlock);
    f.Silence(30 * kBlock);
    f.Tones({{941.0, 0.3}, {1477.0, 0.3}}, 20 * kBlock);
    f.Silence(20 * kBlock);
    const std::vector<Report>& reports = f.Run();
    ASSERT_EQ(reports.size(), 4u);  // a silence already started is not started again
    EXPECT_EQ(reports[0].msg, DM_SILENCE_START);
    EXPECT_EQ(reports[0].position, 2000 + 9 * kBlock - 8 * kBlock);
    EXPECT_EQ(reports[0].streamPosition, 2800u);  // the 9th quiet block
    EXPECT_EQ(reports[1].msg, DM_SILENCE_END);
    EXPECT_EQ(reports[1].position, 5000 + 5 * kBlock - 4 * kBlock);
    EXPECT_EQ(reports[1].duration, (5100 - 2100) / 8);
    // The segment: the 5th to the 20th loud block, reported before the silence it ends at.
    EXPECT_EQ(reports[2].msg, DM_FREQUENCY_DETECTED);
    EXPECT_EQ(reports[3].msg, DM_SILENCE_START);
    EXPECT_EQ(reports[3].position, 7000 + 100);
    EXPECT_EQ(reports[2].position, 7100 - 1600);
    EXPECT_EQ(reports[2].duration, 200);
    const double binWidth = 8000.0 / 1024;  // the segment's 1600 samples analysed as 1024
    EXPECT_NEAR(reports[2].first, 941.0, binWidth);
    EXPECT_NEAR(reports[2].second, 1477.0, binWidth);
}

// 4000 ms at 8 kHz gives 16384-sample segments (2.048 s): a 5 s tone between silences is
// reported twice when the buffer fills (the rest of the filling block dropped) and once
// more for the remainder when the silence starts.
TEST(SilenceAndFrequencies, LongToneFillsTheSegmentTwice) {
    SpectrumFixture f;
    ASSERT_EQ(f.Detector().SetParameters(0, 4000), S_OK);
    EXPECT_EQ(f.Detector().SegmentCapacity(), 16384);
    f.Detector().SetAmplitudeThreshold(-30.0f);
    f.Silence(10 * kBlock);
    f.Tones({{1336.0, 0.5}}, 400 * kBlock);
    f.Silence(20 * kBlock);
    f.Run();
    const std::vector<Report> found = f.Of(DM_FREQUENCY_DETECTED);
    ASSERT_EQ(found.size(), 3u);
    // The silence ends at the 5th loud block (1500 - 400); the segment starts filling there.
    ASSERT_EQ(f.Of(DM_SILENCE_END).at(0).position, 1100);
    EXPECT_EQ(found[0].position, 17800 - 16384);  // full within the 164th block, at total 17800
    EXPECT_EQ(found[0].duration, 2048);
    EXPECT_EQ(found[1].position, 34200 - 16384);
    EXPECT_EQ(found[2].position, 41100 - 6800);  // blocks 342..409, up to the silence start
    EXPECT_EQ(found[2].duration, 850);
    for (const Report& r : found) {
        EXPECT_NEAR(r.first, 1336.0, 8000.0 / 4096);
        EXPECT_EQ(r.second, -1.0);
    }
}

TEST(SilenceAndFrequencies, ReconfiguringFromACallbackIsRefusedAndShorterSegmentsAreHonoured) {
    SpectrumFixture f;
    ASSERT_EQ(f.Detector().SetParameters(256, 4000), S_OK);
    ASSERT_EQ(f.Detector().SetParameters(256, 500), S_OK);
    EXPECT_EQ(f.Detector().SegmentCapacity(), 2048);  // 4000 samples, in the larger storage
    std::vector<HRESULT> results;
    f.during = [&] { results.push_back(f.Detector().SetParameters(16384, 4000)); };
    f.Silence(10 * kBlock);
    f.Tones({{700.0, 0.5}}, 30 * kBlock);
    f.Silence(10 * kBlock);
    f.Run();
    ASSERT_FALSE(results.empty());
    for (HRESULT r : results) EXPECT_EQ(r, E_FAIL);
    EXPECT_EQ(f.Detector().FFTSize(), 256);
    // 26 loud blocks in the segment: one full buffer of 2048 samples, then the 500 left.
    const std::vector<Report> found = f.Of(DM_FREQUENCY_DETECTED);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].duration, 256);
    EXPECT_EQ(found[1].duration, 62);
    f.during = nullptr;
    EXPECT_EQ(f.Detector().SetParameters(256, 4000), S_OK);
}

// The peak search on hand-made spectra: climbing candidates, the six-bin rule, the best
// replaced by a stronger neighbour, and an empty second compared with bin 0.
TEST(PeakSearch, RulesOfTheBestAndTheSecond) {
    const auto peaks = [](std::vector<float> bins, float threshold = -30.0f) {
        const int n = static_cast<int>(bins.size() - 1) * 2;
        return CDetectToneFreqs::FindPeaks(bins.data(), n, threshold);
    };
    std::vector<float> flat(65, -100.0f);
    auto with = [&](std::initializer_list<std::pair<int, float>> set) {
        std::vector<float> b = flat;
        for (const auto& [bin, db] : set) b[bin] = db;
        return b;
    };
    CDetectToneFreqs::Peaks p = peaks(with({{10, -10}, {30, -20}}));
    EXPECT_EQ(p.best, 10);
    EXPECT_EQ(p.second, 30);
    p = peaks(with({{10, -10}, {14, -20}}));  // 4 bins apart: not a second
    EXPECT_EQ(p.best, 10);
    EXPECT_EQ(p.second, 0);
    p = peaks(with({{10, -20}, {13, -10}}));  // a stronger peak 3 bins on replaces the best
    EXPECT_EQ(p.best, 13);
    EXPECT_EQ(p.second, 0);
    p = peaks(with({{10, -20}, {16, -10}}));  // 6 bins on: the old best becomes the second
    EXPECT_EQ(p.best, 16);
    EXPECT_EQ(p.second, 10);
    p = peaks(with({{10, -10}, {11, -5}, {12, -2}}));  // climbing: the top of the climb
    EXPECT_EQ(p.best, 12);
    p = peaks(with({{10, -10}, {62, -20}, {63, -15}}));  // still climbing at the end: not recorded
    EXPECT_EQ(p.best, 10);
    EXPECT_EQ(p.second, 0);
    p = peaks(with({{0, -15}, {10, -10}, {30, -20}}));  // bin 0 above the second candidate
    EXPECT_EQ(p.best, 10);
    EXPECT_EQ(p.second, 0);
    p = peaks(with({{1, -10}, {64, -10}}));  // bins 0, 1 and N/2 are never candidates
    EXPECT_EQ(p.best, 0);
    p = peaks(with({{10, -31}}));
    EXPECT_EQ(p.best, 0);
}

// A recording that ends loud: the last frame (more than N/4 samples) and the sound since
// the last silence are reported at the end of the run; a frame of N/4 or fewer is not.
TEST(SilenceAndFrequencies, TheEndOfARunReportsWhatNoSilenceFollowed) {
    SpectrumFixture f;
    ASSERT_EQ(f.Detector().SetParameters(1024, 1000), S_OK);
    f.Detector().SetAmplitudeThreshold(-30.0f);
    f.Silence(10 * kBlock);
    f.Tones({{852.0, 0.4}}, 1350);  // a frame of 1024, then 326 samples
    f.Run();
    EXPECT_EQ(f.Of(DM_FREQUENCY_DATA).size(), 1u);
    EXPECT_TRUE(f.Of(DM_FREQUENCY_DETECTED).empty());
    f.End();
    const std::vector<Report> spectra = f.Of(DM_FREQUENCY_DATA);
    ASSERT_EQ(spectra.size(), 2u);
    EXPECT_NEAR(spectra[1].first, 852.0, 8000.0 / 1024);
    const std::vector<Report> found = f.Of(DM_FREQUENCY_DETECTED);
    ASSERT_EQ(found.size(), 1u);
    // From the 5th loud block (1400) to the end of the stream (2350).
    EXPECT_EQ(found[0].position, 1400);
    EXPECT_EQ(found[0].duration, 950 / 8);
    EXPECT_NEAR(found[0].first, 852.0, 8000.0 / 512);
    f.End();  // nothing is held any more
    EXPECT_EQ(f.Of(DM_FREQUENCY_DATA).size(), 2u);
    EXPECT_EQ(f.Of(DM_FREQUENCY_DETECTED).size(), 1u);
}
