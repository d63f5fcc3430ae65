// The robust DTMF profile: the usual receiver figures on generated keys, and its extra
// tests one by one (frequency deviation, 40 ms keys in any alignment, energy without the
// mean, the calling tone holding the block).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/DecoderHarness.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

const std::string kGrid = "123A456B789C*0#D";

void UseProfile(DecoderHarness& h, CDecDTMF::Profile profile) {
    h.Decoder().SetProfile(profile);
    ASSERT_EQ(h.Decoder().CDecDTMF::SetParameters(DecoderHarness::kSensitivityDb, DecoderHarness::kEnergyThreshold,
                                                  DecoderHarness::kMinDurationMs, DecoderHarness::kMinIntervalMs,
                                                  DecoderHarness::kColHarmonicFactor, DecoderHarness::kRowHarmonicFactor,
                                                  DecoderHarness::kRelativePeakTest),
              S_OK);
}

std::string Decode(const SignalTimeline& signal, CDecDTMF::Profile profile = CDecDTMF::Profile::kRobust) {
    DecoderHarness h(signal.SampleRate(), 16);
    UseProfile(h, profile);
    std::vector<unsigned char> pcm;
    PcmRenderer({16, 1, 0, signal.SampleRate()}).Render(signal, pcm);
    EXPECT_EQ(h.Feed(pcm), S_OK);
    h.Flush();
    return h.KeyText();
}

SignalTimeline Keys(const std::string& keys, DtmfGenerator::Options options, int rate = 8000) {
    SignalTimeline signal(rate);
    options.leadMs = 100;
    EXPECT_EQ(DtmfGenerator(options).Append(signal, keys), S_OK);
    signal.AppendSilence(signal.SamplesForMs(200));
    return signal;
}

TEST(DtmfRobust, AcceptsWithinOneAndAHalfPercentAndRejectsThreeAndAHalf) {
    for (double offset : {-1.5, -0.75, 0.0, 0.75, 1.5}) {
        for (int sign : {1, -1}) {
            DtmfGenerator::Options o;
            o.rowOffsetPercent = offset;
            o.colOffsetPercent = sign * offset;
            EXPECT_EQ(Decode(Keys(kGrid, o)), kGrid) << offset << " % / " << sign * offset << " %";
        }
    }
    for (double offset : {-3.5, 3.5}) {
        DtmfGenerator::Options row, col;
        row.rowOffsetPercent = offset;
        col.colOffsetPercent = offset;
        EXPECT_EQ(Decode(Keys(kGrid, row)), "") << "row tone " << offset << " %";
        EXPECT_EQ(Decode(Keys(kGrid, col)), "") << "column tone " << offset << " %";
    }
    // The exact profile takes these, which is what the robust one is for.
    DtmfGenerator::Options off;
    off.colOffsetPercent = 3.5;
    EXPECT_NE(Decode(Keys(kGrid, off), CDecDTMF::Profile::kExact), "");
}

TEST(DtmfRobust, FortyMillisecondKeysWithFortyMillisecondGapsInEveryAlignment) {
    DtmfGenerator::Options o;
    o.toneMs = 40;
    o.gapMs = 40;
    for (int shift = 0; shift < 102; shift += 6) {
        SignalTimeline signal(8000);
        signal.AppendSilence(static_cast<std::size_t>(800 + shift));
        ASSERT_EQ(DtmfGenerator(o).Append(signal, kGrid), S_OK);
        signal.AppendSilence(1600);
        EXPECT_EQ(Decode(signal), kGrid) << "shifted by " << shift << " samples";
    }
}

TEST(DtmfRobust, TwistAndLoneTones) {
    for (double twist : {4.0, -8.0}) {
        DtmfGenerator::Options o;
        o.twistDb = twist;
        EXPECT_EQ(Decode(Keys(kGrid, o)), kGrid) << twist << " dB";
    }
    for (double hz : {697.0, 770.0, 852.0, 941.0, 1209.0, 1336.0, 1477.0, 1633.0}) {
        SignalTimeline signal(8000);
        signal.AppendSilence(800);
        signal.AppendTone(hz, -10.0, 4000);
        signal.AppendSilence(1600);
        EXPECT_EQ(Decode(signal), "") << hz << " Hz alone";
    }
}

TEST(DtmfRobust, CallingToneMustHoldTheBlock) {
    // MF's KP (1100 + 1700 Hz) for 100 ms, repeatedly: the exact profile's 1100 Hz test
    // takes the pair for the calling tone; the robust one does not.
    SignalTimeline kp(8000);
    for (int i = 0; i < 5; ++i) {
        const SignalTimeline::Tone pair[] = {{1100.0, -10.0}, {1700.0, -10.0}};
        kp.AppendTones(pair, 800);
        kp.AppendSilence(480);
    }
    EXPECT_NE(Decode(kp, CDecDTMF::Profile::kExact).find('f'), std::string::npos);
    EXPECT_EQ(Decode(kp), "");
    // A paging digit near 1100 Hz (CCIR's 1 is 1124 Hz, 100 ms) is no calling tone either.
    SignalTimeline paging(8000);
    for (int i = 0; i < 5; ++i) {
        paging.AppendTone(1124.0, -10.0, 800);
        paging.AppendTone(1860.0, -10.0, 800);
    }
    paging.AppendSilence(1600);
    EXPECT_NE(Decode(paging, CDecDTMF::Profile::kExact).find('f'), std::string::npos);
    EXPECT_EQ(Decode(paging).find('f'), std::string::npos);
    // A real calling tone is still reported.
    SignalTimeline cng(8000);
    cng.AppendSilence(800);
    cng.AppendTone(1100.0, -15.0, 4000);
    cng.AppendSilence(1600);
    EXPECT_EQ(Decode(cng), "f");
}

// Straight to the detector, past the stream's DC tracking: a key riding on an offset.
class Recorder : public CDecDTMF {
public:
    void OnDTMF(char key, std::int32_t) override { keys += key; }
    std::string keys;
};

TEST(DtmfRobust, OffsetIsNoToneEnergy) {
    const auto run = [](CDecDTMF::Profile profile) {
        CSample stream;
        stream.SetAudioParameters(32, 8000, -45.0f, 100);
        float rows[4], cols[4];
        CDecDTMF::GetDefaultFreqs(rows, cols);
        Recorder d;
        d.SetSample(&stream);
        d.SetFreqs(rows, cols);
        d.SetProfile(profile);
        d.SetParameters(-65.0f, 12.0f, 40, 40, 15.1f, 1.2f, -1);
        std::vector<float> x;
        for (int i = 0; i < 800; ++i)
            x.push_back(static_cast<float>(0.4 + 0.05 * std::sin(2 * M_PI * 770 * i / 8000.0) +
                                           0.05 * std::sin(2 * M_PI * 1336 * i / 8000.0)));
        x.resize(x.size() + 800, 0.4f);
        d.OnSampleData(x.data(), static_cast<int>(x.size()), 0, 0);
        return d.keys;
    };
    EXPECT_EQ(run(CDecDTMF::Profile::kExact), "");  // the offset's energy drowns the pair
    EXPECT_EQ(run(CDecDTMF::Profile::kRobust), "5");
}

TEST(DtmfRobust, WeakAndNoisyKeysDownToTheMeasuredLimits) {
    // The conformance program measures every key right down to -58 dBFS per tone and to
    // +4 dB SNR (one tone against the whole band's noise); here with a little margin.
    DtmfGenerator::Options weak;
    weak.levelDbfs = -55.0;
    EXPECT_EQ(Decode(Keys(kGrid, weak)), kGrid);
    for (std::uint64_t seed : {1u, 2u, 3u}) {
        SignalTimeline noisy = Keys(kGrid + kGrid, {});
        noisy.AddNoise(-10.0 - 6.0, seed);
        EXPECT_EQ(Decode(noisy), kGrid + kGrid) << "seed " << seed;
    }
}

TEST(DtmfRobust, EveryRate) {
    for (int rate : {8000, 11025, 16000, 44100, 48000}) EXPECT_EQ(Decode(Keys(kGrid, {}, rate)), kGrid) << rate;
}

}  // namespace
