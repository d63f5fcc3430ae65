// The emergency-alert header decoder on its own, attached to a sample stream: whole
// messages built here as phase-continuous AFSK (520.83 baud, mark 2083.3 Hz = 1, space
// 1562.5 Hz = 0, bytes least significant bit first, no start or stop bits, 16 bytes 0xAB
// before each burst, a second of silence after it), the message sequence and its
// failures, the level gate, rates, noise, tone and bit-rate errors, and the byte
// assembly driven bit by bit.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "fsk/CDecSAME.h"
#include "platform/DebugOutput.h"
#include "sample/CSample.h"
#include "support/CallerIdHarness.h"

namespace {

const std::string kHeader = "ZCZC-WXR-TOR-039173-039051+0030-1591829-KCLE/NWS-";
const std::string kMarker = "NNNN";
constexpr int kBlock = 100;

struct Element {
    std::int32_t state;
    std::string text;
    std::int32_t pos;
};

class Recorder : public CDecSAME {
public:
    std::vector<Element> elements;
    std::vector<Element> raws;  // state unused
    void OnSAMEelement(std::int32_t state, const char* text, std::int32_t pos) override {
        elements.push_back({state, text, pos});
    }
    void OnRawSAME(const char* header, std::int32_t pos) override { raws.push_back({0, header, pos}); }
    std::vector<std::int32_t> States() const {
        std::vector<std::int32_t> s;
        for (const Element& e : elements) s.push_back(e.state);
        return s;
    }
};

fsk_reference::Line SameLine(double toneScale = 1.0, double baudScale = 1.0) {
    return {2083.3 * toneScale, 1562.5 * toneScale, 520.83 * baudScale, 0.5};
}

std::vector<std::uint8_t> BitsOf(const std::string& bytes) {
    std::vector<std::uint8_t> bits;
    for (unsigned char c : bytes)
        for (int b = 0; b < 8; ++b) bits.push_back((c >> b) & 1);
    return bits;
}

struct Transmission {
    std::vector<float> samples;
    std::vector<std::size_t> burstEnds;  // one past each burst's last sample
};

// A fifth of a second of silence, then each burst behind its preamble and followed by
// a second of silence (a little more each time, so bursts end at different places in
// their blocks).
Transmission Send(int rate, const std::vector<std::string>& bursts, const fsk_reference::Line& line = SameLine()) {
    Transmission t;
    t.samples.assign(static_cast<std::size_t>(rate / 5), 0.0f);
    for (std::size_t i = 0; i < bursts.size(); ++i) {
        fsk_reference::AppendBits(t.samples, rate, line, BitsOf(std::string(16, '\xAB') + bursts[i]));
        t.burstEnds.push_back(t.samples.size());
        t.samples.resize(t.samples.size() + static_cast<std::size_t>(rate) + 37 * i, 0.0f);
    }
    return t;
}

void AddNoise(std::vector<float>& x, double snrDb, double amplitude, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, std::sqrt(amplitude * amplitude / 2.0 / std::pow(10.0, snrDb / 10.0)));
    for (float& s : x) s = static_cast<float>(s + noise(random));
}

struct Decoded {
    std::vector<std::int32_t> states;
    std::vector<Element> elements, raws;
    std::vector<std::string> debug;
};

// The decoder on a 32-bit float stream of 100-sample blocks at the -45 dB silence
// threshold; pieceSeed != 0 feeds the samples in pseudo-random pieces.
Decoded Decode(int rate, const std::vector<float>& x, std::uint32_t pieceSeed = 0) {
    Decoded d;
    SetDebugOutputHook([&](const char* text) { d.debug.emplace_back(text); });
    struct Unhook {
        ~Unhook() { SetDebugOutputHook(nullptr); }
    } unhook;
    CSample sample;
    sample.SetAudioParameters(32, rate, -45.0f, kBlock);
    Recorder decoder;
    decoder.SetSample(&sample);
    sample.AddEvent(&decoder);
    EXPECT_EQ(decoder.SetParameters(rate, 1562.5f, 2083.3f, 520.83f), S_OK);
    const auto* bytes = reinterpret_cast<const unsigned char*>(x.data());
    const std::size_t total = x.size() * sizeof(float);
    std::mt19937 random(pieceSeed);
    for (std::size_t at = 0; at < total;) {
        // Whole samples: a stream ignores the bytes after its last whole sample.
        const std::size_t n =
            pieceSeed == 0 ? total : std::min<std::size_t>(total - at, sizeof(float) * (1 + random() % 1200));
        sample.putSamples(bytes + at, static_cast<int>(n), 0);
        at += n;
    }
    sample.putSamples(nullptr, 0, 1);
    d.states = decoder.States();
    d.elements = decoder.elements;
    d.raws = decoder.raws;
    return d;
}

const std::vector<std::int32_t> kWholeMessage = {1, 2, 3, 6, 7, 8};
const std::vector<std::string> kSixBursts = {kHeader, kHeader, kHeader, kMarker, kMarker, kMarker};

void ExpectWholeMessage(const Decoded& d, const std::string& context) {
    ASSERT_EQ(d.states, kWholeMessage) << context;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(d.elements[i].text, i < 3 ? kHeader : kMarker) << context << " element " << i;
    ASSERT_EQ(d.raws.size(), 1u) << context;
    EXPECT_EQ(d.raws[0].text, kHeader) << context;
    EXPECT_EQ(d.raws[0].pos, d.elements[5].pos) << context;
    EXPECT_EQ(d.debug.size(), 0u) << context;
}

TEST(CDecSAMEMessage, ThreeHeadersThenThreeMarkersGiveEveryElementAndTheConfirmedHeader) {
    const Transmission t = Send(8000, kSixBursts);
    const Decoded d = Decode(8000, t.samples);
    ExpectWholeMessage(d, "8 kHz");
    // Each burst is reported in the first quiet block after it, not when the next one
    // starts: its last run is decided when the line goes quiet.
    for (std::size_t i = 0; i < d.elements.size(); ++i) {
        const auto pos = static_cast<std::size_t>(d.elements[i].pos);
        EXPECT_GE(pos, t.burstEnds[i]) << i;
        EXPECT_LT(pos, t.burstEnds[i] + kBlock) << i;
    }
}

TEST(CDecSAMEMessage, HeaderIsCutAfterItsLastDashAndOneWithoutADashIsReportedWhole) {
    const Decoded cut = Decode(8000, Send(8000, {kHeader + "XYZ", kHeader + "7", kHeader, kMarker, kMarker, kMarker}).samples);
    ExpectWholeMessage(cut, "trailing characters");
    const Decoded whole = Decode(8000, Send(8000, {"ZCZCWXRTOR"}).samples);
    ASSERT_EQ(whole.states, (std::vector<std::int32_t>{1}));
    EXPECT_EQ(whole.elements[0].text, "ZCZCWXRTOR");
}

TEST(CDecSAMEMessage, DifferingHeaderRestartsTheCountAndForeignBurstsAreDropped) {
    std::string other = kHeader;
    other[9] = 'S';  // TOR -> TOS
    const Decoded d = Decode(8000, Send(8000, {kHeader, "ZCZX-NOT-A-HEADER-", other, kHeader, kHeader}).samples);
    EXPECT_EQ(d.states, (std::vector<std::int32_t>{1, 1, 2}));
    for (const Element& e : d.elements) EXPECT_EQ(e.text, kHeader);
    EXPECT_EQ(d.debug, (std::vector<std::string>{"\nPreamble detected not the same!"}));
}

TEST(CDecSAMEMessage, MarkerAfterTwoHeadersIsRefusedAndAFourthHeaderIsAWarning) {
    const Decoded early = Decode(8000, Send(8000, {kHeader, kHeader, kMarker}).samples);
    EXPECT_EQ(early.states, (std::vector<std::int32_t>{1, 2}));
    EXPECT_TRUE(early.raws.empty());
    EXPECT_EQ(early.debug, (std::vector<std::string>{"\nIt should collect three copy of the preamble."}));

    // A fifth header is no part of the message.
    const Decoded four =
        Decode(8000, Send(8000, {kHeader, kHeader, kHeader, kHeader, kHeader, kMarker, kMarker, kMarker}).samples);
    EXPECT_EQ(four.states, (std::vector<std::int32_t>{1, 2, 3, 4, 6, 7, 8}));
    ASSERT_EQ(four.raws.size(), 1u);
    EXPECT_EQ(four.raws[0].text, kHeader);
}

TEST(CDecSAMEMessage, BurstCountSurvivesARestartOfTheStream) {
    CSample sample;
    sample.SetAudioParameters(32, 8000, -45.0f, kBlock);
    Recorder decoder;
    EXPECT_EQ(decoder.SetParameters(8000, 1562.5f, 2083.3f, 520.83f), E_FAIL);  // no stream yet
    EXPECT_EQ(decoder.WindowLength(), 0);
    decoder.SetSample(&sample);
    sample.AddEvent(&decoder);
    const auto feed = [&](const std::vector<std::string>& bursts) {
        const auto x = Send(8000, bursts).samples;
        sample.putSamples(x.data(), static_cast<int>(x.size() * sizeof(float)), 1);
    };
    decoder.SetParameters(8000, 1562.5f, 2083.3f, 520.83f);
    EXPECT_EQ(decoder.WindowLength(), 15);
    feed({kHeader, kHeader});
    sample.SetAudioParameters(32, 8000, -45.0f, kBlock);
    decoder.SetParameters(8000, 1562.5f, 2083.3f, 520.83f);
    feed({kHeader, kMarker, kMarker, kMarker});
    EXPECT_EQ(decoder.States(), kWholeMessage);
    ASSERT_EQ(decoder.raws.size(), 1u);
}

TEST(CDecSAMEGate, BlocksAtOrBelowTheSilenceLevelNeverReachTheDemodulator) {
    const auto x = Send(8000, kSixBursts).samples;
    CSample sample;
    sample.SetAudioParameters(32, 8000, -45.0f, kBlock);
    for (const double above : {0.0, 1e-6}) {
        Recorder decoder;
        decoder.SetSample(&sample);
        decoder.SetParameters(8000, 1562.5f, 2083.3f, 520.83f);
        const double level = static_cast<double>(decoder.GetSilenceLevel()) + above;
        for (std::size_t at = 0; at + kBlock <= x.size(); at += kBlock) decoder.OnSampleData(x.data() + at, kBlock, level, 0.1);
        if (above == 0.0) {
            EXPECT_FALSE(decoder.Primed());
            EXPECT_EQ(decoder.DemodulatorSamplePos(), 0u);
            EXPECT_TRUE(decoder.elements.empty());
        } else {
            // Every block passes, the silence too: the position counts every sample (plus
            // one, the count of the next), and silence demodulates as space, whose byte
            // 0 ends each burst as the line going quiet does.
            EXPECT_EQ(decoder.DemodulatorSamplePos(), x.size() / kBlock * kBlock + 1);
            EXPECT_EQ(decoder.States(), kWholeMessage);
        }
    }
}

TEST(CDecSAMEReception, EveryRateDecodesTheSameEventsForAnyCutOfTheInput) {
    for (const int rate : {8000, 11025, 16000, 44100, 48000}) {
        const auto x = Send(rate, kSixBursts).samples;
        const Decoded whole = Decode(rate, x);
        ExpectWholeMessage(whole, std::to_string(rate) + " Hz");
        for (const std::uint32_t seed : {1u, 2u}) {
            const Decoded pieces = Decode(rate, x, seed);
            ASSERT_EQ(pieces.elements.size(), whole.elements.size()) << rate;
            for (std::size_t i = 0; i < whole.elements.size(); ++i) EXPECT_EQ(pieces.elements[i].pos, whole.elements[i].pos);
            ASSERT_EQ(pieces.raws.size(), 1u);
            EXPECT_EQ(pieces.raws[0].pos, whole.raws[0].pos);
        }
    }
}

TEST(CDecSAMEReception, NoiseToneOffsetAndBitRateErrorAreTolerated) {
    struct Case {
        double snrDb, tone, baud;
    };
    for (const int rate : {8000, 48000}) {
        for (const Case c : {Case{15.0, 1.0, 1.0}, Case{99.0, 1.01, 1.0}, Case{99.0, 0.99, 1.0}, Case{99.0, 1.0, 1.02},
                             Case{99.0, 1.0, 0.98}, Case{15.0, 1.01, 0.98}, Case{15.0, 0.99, 1.02}}) {
            auto x = Send(rate, kSixBursts, SameLine(c.tone, c.baud)).samples;
            // The noise runs through the gaps too: they are demodulated like the bursts.
            if (c.snrDb < 90.0) AddNoise(x, c.snrDb, 0.5, static_cast<std::uint32_t>(rate));
            ExpectWholeMessage(Decode(rate, x), std::to_string(rate) + " Hz, SNR " + std::to_string(c.snrDb) +
                                                    " dB, tones x" + std::to_string(c.tone) + ", baud x" +
                                                    std::to_string(c.baud));
        }
    }
}

// The byte assembly, bit by bit.
void SendBits(CDecSAME& d, const std::string& bytes) {
    for (std::uint8_t bit : BitsOf(bytes)) d.OnBit(bit, 0);
}

TEST(CDecSAMEAssembly, PreambleSyncTheCharacterLimitAndByteZero) {
    Recorder d;
    SendBits(d, std::string(7, '\xAB'));
    EXPECT_FALSE(d.Synchronised());
    SendBits(d, "\xAB");
    EXPECT_TRUE(d.Synchronised());
    EXPECT_EQ(d.SyncRegister(), CDecSAME::kPreamblePattern);

    // Preamble bytes after synchronisation are no characters; 0x80 is one. The text
    // stops at 199 and the rest waits for the next preamble.
    SendBits(d, std::string("\xAB\xAB" "ZCZC\x80") + std::string(300, 'A'));
    ASSERT_EQ(d.States(), (std::vector<std::int32_t>{1}));
    EXPECT_EQ(d.elements[0].text, "ZCZC\x80" + std::string(194, 'A'));
    EXPECT_FALSE(d.Synchronised());

    // Byte 0 ends a header and makes the demodulator lock again; within the first four
    // characters it drops the burst.
    Recorder z;
    SendBits(z, std::string(8, '\xAB') + "ZC" + std::string(1, '\0') + "ZC-A-\xAB");
    EXPECT_TRUE(z.elements.empty());
    SendBits(z, std::string(8, '\xAB') + "ZCZC-A-B" + std::string(1, '\0'));
    ASSERT_EQ(z.States(), (std::vector<std::int32_t>{1}));
    EXPECT_EQ(z.elements[0].text, "ZCZC-A-");
    EXPECT_EQ(z.CurrentLevel(), -1);
    EXPECT_FALSE(z.Synchronised());
}

}  // namespace
