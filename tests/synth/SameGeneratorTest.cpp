#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FskDemod.h"
#include "Measure.h"
#include "synth/SameGenerator.h"
#include "synth/SignalTimeline.h"

namespace {

const std::string kHeader = "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-";

struct Burst {
    std::size_t start = 0;
    std::size_t length = 0;
};

// Stretches of signal between runs of exact zeros longer than minGap samples.
std::vector<Burst> Bursts(std::span<const float> x, std::size_t minGap) {
    std::vector<Burst> bursts;
    std::size_t zeros = minGap;
    for (std::size_t n = 0; n < x.size(); ++n) {
        if (x[n] == 0.0f) {
            ++zeros;
            continue;
        }
        if (zeros >= minGap) bursts.push_back({n, 0});
        zeros = 0;
        bursts.back().length = n + 1 - bursts.back().start;
    }
    return bursts;
}

// The bytes of a burst: eight bits each, least significant first, no framing.
std::string BurstBytes(const SignalTimeline& t, const Burst& b, const fskdemod::Tones& tones) {
    // A burst's first sample may be a zero (the first one sent is, at phase 0): the slots
    // start a sample early, which a 92-sample slot does not mind.
    const std::size_t bits = static_cast<std::size_t>(std::llround(b.length * tones.baud / t.SampleRate()));
    const auto received = fskdemod::Bits(t.Samples(), t.SampleRate(), tones, b.start - 1, bits);
    std::string bytes;
    for (std::size_t i = 0; i + 8 <= received.size(); i += 8) {
        unsigned byte = 0;
        for (int k = 0; k < 8; ++k) byte |= unsigned(received[i + k]) << k;
        bytes += char(byte);
    }
    return bytes;
}

TEST(SameGenerator, HeaderFromFieldsAndItsRefusals) {
    SameGenerator::Header h{"WXR", "TOR", {"039173"}, "+0030", "1591829", "KEAX/NWS"};
    std::string text;
    ASSERT_EQ(SameGenerator::FormatHeader(h, text), S_OK);
    EXPECT_EQ(text, kHeader);
    h.locations = {"012057", "012103"};
    h.duration = "0015";
    ASSERT_EQ(SameGenerator::FormatHeader(h, text), S_OK);
    EXPECT_EQ(text, "ZCZC-WXR-TOR-012057-012103+0015-1591829-KEAX/NWS-");

    const auto refused = [](SameGenerator::Header bad) {
        std::string out = "x";
        return SameGenerator::FormatHeader(bad, out) == E_INVALIDARG && out.empty();
    };
    const SameGenerator::Header good{"WXR", "TOR", {"039173"}, "+0030", "1591829", "KEAX/NWS"};
    auto bad = good;
    bad.originator = "wxr";
    EXPECT_TRUE(refused(bad));
    bad = good;
    bad.sender = "KEAX-NWS";
    EXPECT_TRUE(refused(bad));
    bad.sender = "KEAXNWS";
    EXPECT_TRUE(refused(bad));
    bad = good;
    bad.locations = {"03917"};
    EXPECT_TRUE(refused(bad));
    bad.locations.assign(32, "039173");
    EXPECT_TRUE(refused(bad));
    bad.locations.clear();
    EXPECT_TRUE(refused(bad));
    bad = good;
    bad.duration = "+030";
    EXPECT_TRUE(refused(bad));
    bad = good;
    bad.issued = "159182";
    EXPECT_TRUE(refused(bad));
}

// The whole message at 48 kHz (92 samples a bit): three headers and three markers, each
// after 16 bytes 0xAB, a second of silence between copies and the message gap before
// the markers; each burst as long as its bits. Without the markers, three bursts.
TEST(SameGenerator, MessageIsThreeHeadersThenThreeMarkers) {
    SameGenerator::Options o;
    o.leadMs = 100.0;
    o.messageGapMs = 1500.0;
    o.frequencyOffsetPercent = 1.0;
    o.bitRateErrorPercent = -2.0;
    const fskdemod::Tones tones{2083.3 * 1.01, 1562.5 * 1.01, 520.83 * 0.98};
    const std::string preamble(16, '\xAB');
    for (bool eom : {true, false}) {
        o.endOfMessage = eom;
        const SameGenerator generator(o);
        SignalTimeline t(48000);
        ASSERT_EQ(generator.Append(t, kHeader), S_OK);
        EXPECT_EQ(t.Size(), generator.SampleCount(48000, kHeader.size()));
        const auto bursts = Bursts(t.Samples(), 4800);
        ASSERT_EQ(bursts.size(), eom ? 6u : 3u);
        EXPECT_NEAR(double(bursts[0].start), 4800.0, 1.0);
        for (std::size_t i = 0; i < bursts.size(); ++i) {
            const bool header = i < 3;
            const std::size_t bytes = 16 + (header ? kHeader.size() : 4);
            EXPECT_NEAR(double(bursts[i].length), bytes * 8 * 48000 / tones.baud, 2.0) << i;
            EXPECT_EQ(BurstBytes(t, bursts[i], tones), preamble + (header ? kHeader : "NNNN")) << i;
            if (i == 0) continue;
            const double gap = double(bursts[i].start - (bursts[i - 1].start + bursts[i - 1].length));
            EXPECT_NEAR(gap, i == 3 ? 72000.0 : 48000.0, 2.0) << i;
        }
    }
}

TEST(SameGenerator, RefusesTextsAndOptionsItCannotSend) {
    SignalTimeline t(8000);
    const SameGenerator generator;
    EXPECT_EQ(generator.Append(t, ""), E_INVALIDARG);
    EXPECT_EQ(generator.Append(t, "ZCZC\x01-"), E_INVALIDARG);
    EXPECT_EQ(generator.Append(t, std::string(253, 'A')), E_INVALIDARG);
    SameGenerator::Options o;
    o.burstGapMs = -1.0;
    EXPECT_EQ(SameGenerator(o).Append(t, kHeader), E_INVALIDARG);
    EXPECT_EQ(t.Size(), 0u);
    SignalTimeline slow(4000);  // 2083.3 Hz is above half the rate
    EXPECT_EQ(generator.Append(slow, kHeader), E_INVALIDARG);
}

}  // namespace
