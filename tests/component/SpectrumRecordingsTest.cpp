// Recordings of tones and digital silence that sox made (the commands are in
// tests/fixtures/spectrum/make.sh), decoded as files through the component.
#include "vornix/PhoneVornix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace Orvane::VornixNet;

std::string Fixture(const char* name) {
    return (std::filesystem::path(VORNIX_SOURCE_DIR) / "tests/fixtures/spectrum" / name).string();
}

struct Heard {
    std::vector<std::int32_t> silenceStarts, silenceEnds;
    std::vector<OnFrequencyDetectedArgs> frequencies;
    std::vector<std::vector<double>> centres;
};

Heard Decode(const char* name, bool spectrum) {
    PhoneVornix v;
    Heard h;
    v.MonitorDTMF(false);
    v.MonitorCustomTone(true);
    v.EnableSpectrumConversion(spectrum);
    v.OnSilenceStart += [&](PhoneVornix&, const OnSilenceStartArgs& e) { h.silenceStarts.push_back(e.StartPos()); };
    v.OnSilenceEnd += [&](PhoneVornix&, const OnSilenceEndArgs& e) { h.silenceEnds.push_back(e.EndPos()); };
    v.OnFrequencyDetected += [&](PhoneVornix&, const OnFrequencyDetectedArgs& e) { h.frequencies.push_back(e); };
    v.OnSpectrumData += [&](PhoneVornix& sender, const EventArgs&) {
        double a = 0, b = 0;
        h.centres.push_back(sender.GetCenterFreqs(a, b) ? std::vector<double>{a, b} : std::vector<double>{});
    };
    v.Source(Fixture(name));
    return h;
}

// The silence ends at the block after the one the tone starts in, and starts two blocks
// after the one it ends in (with the default 60 ms of silence).
std::int32_t EndOf(int toneStart) { return (toneStart / 100 + 1) * 100; }
std::int32_t StartAfter(int toneEnd) { return ((toneEnd - 1) / 100 + 2) * 100; }

}  // namespace

TEST(SpectrumRecordings, TonePairBetweenSilencesAt8kHz) {
    const Heard h = Decode("pair_8k.wav", true);
    ASSERT_EQ(h.silenceEnds, std::vector<std::int32_t>{EndOf(4000)});
    ASSERT_EQ(h.silenceStarts, (std::vector<std::int32_t>{100, StartAfter(10400)}));
    ASSERT_EQ(h.frequencies.size(), 1u);
    EXPECT_NEAR(h.frequencies[0].Frequency(), 697.0, 8000.0 / 4096);
    EXPECT_NEAR(h.frequencies[0].secondFreq(), 1209.0, 8000.0 / 4096);
    EXPECT_EQ(h.frequencies[0].duration(), 775);  // the 5th loud block (4200) to 10500
    ASSERT_EQ(h.centres.size(), 6u);              // 6400 loud samples: six frames of 1024
    for (const std::vector<double>& c : h.centres) {
        ASSERT_EQ(c.size(), 2u);
        EXPECT_NEAR(c[0], 697.0, 8000.0 / 1024);
        EXPECT_NEAR(c[1], 1209.0, 8000.0 / 1024);
    }
}

TEST(SpectrumRecordings, TwoTonesWithUnalignedEdgesAt44kHz) {
    const Heard h = Decode("tone_44k.wav", false);
    EXPECT_EQ(h.silenceEnds, (std::vector<std::int32_t>{EndOf(13230), EndOf(37485)}));
    EXPECT_EQ(h.silenceStarts, (std::vector<std::int32_t>{100, StartAfter(24255), StartAfter(48510)}));
    ASSERT_EQ(h.frequencies.size(), 2u);
    EXPECT_NEAR(h.frequencies[0].Frequency(), 1000.0, 44100.0 / 8192);
    EXPECT_NEAR(h.frequencies[1].Frequency(), 2500.0, 44100.0 / 8192);
    EXPECT_EQ(h.frequencies[1].secondFreq(), -1.0);
    EXPECT_TRUE(h.centres.empty());
}
