// The FSK data decoder: the framer on bits (8-N-1 and its framing error, 5 data bits,
// every parity, no stop bit, a mark start bit, a comparison with a reference UART on
// random bits under every framing, the fuzz seeds), the block gate, and whole lines of
// phase-continuous FSK written here: 1200 baud at 8 to 48 kHz, 300 baud at 48 kHz,
// 1.5 stop bits, noise, tone and bit-rate errors, any cut of the input, the end of a
// recording that stops at a stop bit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "../../fuzz/FskFramerFuzzHarness.h"
#include "fsk/CDecFSKData.h"
#include "platform/DebugOutput.h"
#include "sample/CSample.h"

namespace {

using fuzzharness::Framing;

class Receiver : public CDecFSKData {
public:
    struct Char {
        std::int32_t data;
        std::uint32_t position;
    };
    void OnFSKData(std::int32_t data, std::uint32_t position) override { chars.push_back({data, position}); }
    std::vector<std::int32_t> Data() const {
        std::vector<std::int32_t> out;
        for (const Char& c : chars) out.push_back(c.data);
        return out;
    }
    std::uint32_t DemodulatorPosition() const { return m_samplePos; }
    void Frame(const Framing& f) { ASSERT_EQ(SetCOMMParams(f.dataBits, f.stopBits, f.parity, f.startTone, f.stopTone), S_OK); }
    void Bits(const std::vector<int>& bits) {
        for (int b : bits) OnBit(b, 0);
    }
    std::vector<Char> chars;
};

int ParityBit(int value, int parity) {
    const int odd = std::popcount(static_cast<unsigned>(value)) & 1;
    switch (parity) {
        case 1: return odd ^ 1;
        case 2: return odd;
        case 3: return 1;
        default: return 0;
    }
}

// Start bit, data least significant first, parity bit, then stopBits stop bits.
std::vector<int> FrameBits(int value, const Framing& f, int stopBits = 1, bool spoilParity = false) {
    std::vector<int> bits{f.startTone != 0 ? 1 : 0};
    for (int i = 0; i < f.dataBits; ++i) bits.push_back((value >> i) & 1);
    if (f.parity != 0) bits.push_back(ParityBit(value, f.parity) ^ (spoilParity ? 1 : 0));
    for (int i = 0; i < stopBits; ++i) bits.push_back(f.stopTone);
    return bits;
}

std::vector<int> Repeat(int bit, int n) { return std::vector<int>(n, bit); }

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ---- The framer on bits ----

TEST(CDecFSKDataFramer, EightNOneReportsTheByteAndAWrongStopBitStartsTheNextFrame) {
    for (int stopBits : {CDecFSKData::kStopBitOne, CDecFSKData::kStopBitsTwo}) {
        Receiver rx;
        rx.Frame({8, stopBits, 0, 0, 1});
        EXPECT_EQ(rx.EmptyValue(), 1 << 10);
        EXPECT_EQ(rx.IdlePattern(), 3 << 9);
        rx.Bits(Repeat(1, 3) + std::vector<int>{0, 1, 0, 0, 0, 0, 0, 1, 0, 1});
        ASSERT_EQ(rx.Data(), std::vector<std::int32_t>{0x41});
        // Stop bit as space: nothing, and that space is the start bit of 0x5A.
        rx.Bits(std::vector<int>{0, 1, 0, 0, 0, 0, 0, 1, 0, 0});
        EXPECT_EQ(rx.chars.size(), 1u);
        EXPECT_TRUE(rx.InCharacter());
        rx.Bits(std::vector<int>{0, 1, 0, 1, 1, 0, 1, 0, 1});
        EXPECT_EQ(rx.Data(), (std::vector<std::int32_t>{0x41, 0x5A}));
    }
}

TEST(CDecFSKDataFramer, FiveDataBitsReportEveryValueFromZeroToThirtyOne) {
    Receiver rx;
    rx.Frame({5, 1, 0, 0, 1});
    std::vector<std::int32_t> sent;
    for (int v = 0; v < 32; ++v) {
        rx.Bits(FrameBits(v, {5, 1, 0, 0, 1}, 1 + v % 2));
        sent.push_back(v);
    }
    EXPECT_EQ(rx.Data(), sent);
}

TEST(CDecFSKDataFramer, RightParityPassesWrongParityIsDroppedWithADebugLine) {
    std::vector<std::string> lines;
    SetDebugOutputHook([&](const char* text) { lines.emplace_back(text); });
    for (int parity = 1; parity <= 4; ++parity) {
        SCOPED_TRACE(parity);
        lines.clear();
        const Framing f{8, 1, parity, 0, 1};
        Receiver rx;
        rx.Frame(f);
        for (int v : {0x00, 0x41, 0x7F, 0xFF}) rx.Bits(FrameBits(v, f) + FrameBits(v, f, 2, true));
        EXPECT_EQ(rx.Data(), (std::vector<std::int32_t>{0x00, 0x41, 0x7F, 0xFF}));
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[1], "FSK data: parity error, character 0x41 dropped.");
    }
    SetDebugOutputHook({});
}

TEST(CDecFSKDataFramer, WithoutStopBitsTheNextStartBitIsHuntedRightAfterTheData) {
    const Framing f{7, CDecFSKData::kStopBitNo, 2, 0, 1};
    Receiver rx;
    rx.Frame(f);
    // Back to back, then after idle mark, then a character whose data ends in space.
    rx.Bits(FrameBits('A', f, 0) + FrameBits('~', f, 0) + Repeat(1, 5) + FrameBits(0x40, f, 0) + FrameBits('z', f, 0));
    EXPECT_EQ(rx.Data(), (std::vector<std::int32_t>{'A', '~', 0x40, 'z'}));
}

TEST(CDecFSKDataFramer, MarkStartBitAfterAnOddNumberOfSpacesIsNotFramedEarly) {
    const Framing f{8, 1, 0, 1, 0};
    for (int spaces = 1; spaces <= 4; ++spaces) {
        Receiver rx;
        rx.Frame(f);
        EXPECT_EQ(rx.IdlePattern(), 1 << 9);
        rx.Bits(Repeat(0, spaces) + FrameBits(0x6B, f) + Repeat(0, spaces) + FrameBits(0x80, f));
        EXPECT_EQ(rx.Data(), (std::vector<std::int32_t>{0x6B, 0x80})) << spaces << " spaces";
    }
}

TEST(CDecFSKDataFramer, AgreesWithAReferenceUartOnRandomBitsUnderEveryFraming) {
    std::mt19937 random(7);
    for (int dataBits : {0, 1, 5, 7, 8, 9, 16}) {
        for (int stopBits = 0; stopBits <= 3; ++stopBits) {
            for (int parity = 0; parity <= 4; ++parity) {
                for (int tones = 0; tones < 4; ++tones) {
                    std::vector<std::uint8_t> input{std::uint8_t(dataBits + 1), std::uint8_t(stopBits + 1),
                                                    std::uint8_t(parity + 1), std::uint8_t(tones & 1),
                                                    std::uint8_t((tones >> 1) + 1), 0};
                    // Sparse and dense bit patterns, so both idle hunting and back-to-back frames occur.
                    for (int i = 0; i < 400; ++i) {
                        input.push_back(std::uint8_t(random() & (i % 3 == 0 ? random() : 0xFF)));
                    }
                    const auto run = fuzzharness::RunFskFramer(input.data(), input.size(), false);
                    ASSERT_TRUE(run.Ok()) << run.violation << " D" << dataBits << " S" << stopBits << " P" << parity
                                          << " tones " << tones;
                    if (dataBits > 0 && (tones == 1 || tones == 2)) EXPECT_GT(run.characters, 0);
                }
            }
        }
    }
}

TEST(CDecFSKDataFramer, FuzzSeedsAndRefusedFramingsKeepEveryInvariant) {
    const auto folder = std::filesystem::path(VORNIX_SOURCE_DIR) / "fuzz" / "corpus" / "fsk_framer";
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        const auto run = fuzzharness::RunFskFramer(bytes.data(), bytes.size(), false);
        EXPECT_TRUE(run.Ok()) << entry.path() << ": " << run.violation;
        ++seeds;
    }
    EXPECT_GT(seeds, 0);
    Receiver rx;
    EXPECT_EQ(rx.SetCOMMParams(17, 1, 0, 0, 1), E_INVALIDARG);
    EXPECT_EQ(rx.SetCOMMParams(8, 4, 0, 0, 1), E_INVALIDARG);
    EXPECT_EQ(rx.SetCOMMParams(8, 1, 5, 0, 1), E_INVALIDARG);
    EXPECT_EQ(rx.DataBits(), 8);
}

// ---- Lines of FSK ----

struct Line {
    int rate = 8000;
    double markHz = 1200.0, spaceHz = 2200.0, baud = 1200.0;
    double amplitude = 0.3;
    double toneScale = 1.0, baudScale = 1.0;  // the sender's errors
    double noiseSnrDb = 0.0;                   // 0: no noise
};

// Phase-continuous FSK: bit k ends at sample round((k + 1)·fs / baud); fractional bits
// (a stop of 1.5 bits) just move the next boundary.
class Modulator {
public:
    explicit Modulator(const Line& line, unsigned seed = 11) : m_line(line), m_noise(seed) {}
    void Send(int bit, double bits = 1.0) {
        m_end += bits * m_line.rate / (m_line.baud * m_line.baudScale);
        const double hz = (bit ? m_line.markHz : m_line.spaceHz) * m_line.toneScale;
        const double sigma = m_line.noiseSnrDb > 0.0
                                 ? m_line.amplitude / std::sqrt(2.0 * std::pow(10.0, m_line.noiseSnrDb / 10.0))
                                 : 0.0;
        std::normal_distribution<double> gauss(0.0, 1.0);
        while (static_cast<double>(samples.size()) < std::round(m_end)) {
            m_phase += 6.283185307179586 * hz / m_line.rate;
            samples.push_back(static_cast<float>(m_line.amplitude * std::sin(m_phase) + sigma * gauss(m_noise)));
        }
    }
    void Send(const std::vector<int>& bits) {
        for (int b : bits) Send(b);
    }
    void Silence(double seconds) {
        m_end += seconds * m_line.rate;
        samples.resize(static_cast<std::size_t>(std::round(m_end)), 0.0f);
    }
    std::vector<float> samples;

private:
    Line m_line;
    std::mt19937 m_noise;
    double m_end = 0.0;
    double m_phase = 0.0;
};

// A receiver on its own sample stream of 32-bit floats.
struct Stream {
    Stream(const Line& line, const Framing& f, int blockLength = 100) {
        sample.SetAudioParameters(32, line.rate, -45.0f, blockLength);
        sample.AddEvent(&rx);
        rx.SetSample(&sample);
        rx.SetParameters(line.rate, static_cast<float>(line.spaceHz), static_cast<float>(line.markHz),
                         static_cast<float>(line.baud));
        rx.Frame(f);
    }
    void Feed(const std::vector<float>& x, std::size_t from = 0, std::size_t count = SIZE_MAX) {
        count = std::min(count, x.size() - from);
        sample.putSamples(x.data() + from, static_cast<int>(count * sizeof(float)), 0);
    }
    void End() { sample.putSamples(nullptr, 0, 1); }
    CSample sample;
    Receiver rx;
};

const std::vector<std::int32_t> kMessage = {'V', 'o', 'r', 'n', 'i', 'x', 0x00, 0xFF, 0x55, 0xAA, 0x41, 0x80, 0x01, '\n'};

// Silence, idle mark, the message in 8-N-1 (stopBits stop-bit lengths each), idle mark,
// silence. stopEnds receives the sample at which each stop bit ends.
std::vector<float> Transmission(const Line& line, double stopBits = 1.0, std::vector<std::size_t>* stopEnds = nullptr,
                                unsigned seed = 11) {
    Modulator m(line, seed);
    m.Silence(0.05);
    m.Send(Repeat(1, 20));
    for (int v : kMessage) {
        m.Send(FrameBits(v, {8, 1, 0, 0, 1}, 0));
        m.Send(1, stopBits);
        if (stopEnds) stopEnds->push_back(m.samples.size());
    }
    m.Send(Repeat(1, 10));
    m.Silence(0.05);
    return m.samples;
}

TEST(CDecFSKDataLine, TwelveHundredBaudAtEveryRateWithPositionsOfTheBlockThatDecidedTheStopBit) {
    for (int rate : {8000, 16000, 44100, 48000}) {
        SCOPED_TRACE(rate);
        const Line line{.rate = rate};
        std::vector<std::size_t> stopEnds;
        Stream s(line, {8, 1, 0, 0, 1});
        s.Feed(Transmission(line, 1.0, &stopEnds));
        s.End();
        ASSERT_EQ(s.rx.Data(), kMessage);
        // The stop bit is decided when the next start bit is accepted, within a window.
        for (std::size_t i = 0; i + 1 < stopEnds.size(); ++i) {
            EXPECT_GT(s.rx.chars[i].position + 100, stopEnds[i]);
            EXPECT_LE(s.rx.chars[i].position, stopEnds[i] + s.rx.WindowLength());
        }
    }
}

TEST(CDecFSKDataLine, ThreeHundredBaudAtFortyEightKilohertzPrimesItsWindowAcrossBlocks) {
    const Line line{.rate = 48000, .markHz = 1270.0, .spaceHz = 1070.0, .baud = 300.0};
    Stream s(line, {8, 1, 0, 0, 1});
    ASSERT_EQ(s.rx.WindowLength(), 160);
    s.Feed(Transmission(line));
    EXPECT_EQ(s.rx.Data(), kMessage);
}

TEST(CDecFSKDataLine, OneAndAHalfStopBitsArriveAsOneOrTwoAndBothFrame) {
    for (int rate : {8000, 48000}) {
        const Line line{.rate = rate};
        Stream s(line, {8, CDecFSKData::kStopBitsOne5, 0, 0, 1});
        s.Feed(Transmission(line, 1.5));
        EXPECT_EQ(s.rx.Data(), kMessage) << rate;
    }
}

TEST(CDecFSKDataLine, NoiseAtFifteenDecibelsToneOffsetsAndBitRateErrors) {
    // At 8 kHz a bit is 6.7 samples and a noise glitch now and then costs a character
    // (about one transmission in a hundred with both errors at their limits); at 16 and
    // 48 kHz every transmission must be exact.
    for (int rate : {8000, 16000, 48000}) {
        const unsigned seeds = rate == 8000 ? 20 : 3;
        int wrong = 0, total = 0;
        for (unsigned seed = 1; seed <= seeds; ++seed) {
            for (double tone : {0.99, 1.0, 1.01}) {
                for (double baud : {0.98, 1.0, 1.02}) {
                    const Line line{.rate = rate, .toneScale = tone, .baudScale = baud, .noiseSnrDb = 15.0};
                    Stream s(line, {8, 1, 0, 0, 1});
                    s.Feed(Transmission(line, 1.0, nullptr, seed));
                    wrong += s.rx.Data() != kMessage;
                    ++total;
                }
            }
        }
        EXPECT_LE(wrong, rate == 8000 ? total * 3 / 100 : 0) << rate << " Hz: " << wrong << " of " << total;
    }
}

TEST(CDecFSKDataLine, AnyCutOfTheInputGivesTheSameCharactersAtTheSamePositions) {
    const Line line{.rate = 16000};
    const auto x = Transmission(line);
    Stream whole(line, {8, 1, 0, 0, 1});
    whole.Feed(x);
    ASSERT_EQ(whole.rx.Data(), kMessage);
    std::mt19937 random(3);
    for (std::size_t maxPiece : {1u, 7u, 100u, 333u}) {
        Stream cut(line, {8, 1, 0, 0, 1});
        for (std::size_t at = 0; at < x.size();) {
            const std::size_t n = 1 + random() % maxPiece;
            cut.Feed(x, at, n);
            at += n;
        }
        ASSERT_EQ(cut.rx.chars.size(), whole.rx.chars.size());
        for (std::size_t i = 0; i < cut.rx.chars.size(); ++i) EXPECT_EQ(cut.rx.chars[i].position, whole.rx.chars[i].position);
    }
    // Other block lengths move the positions but not the characters.
    for (int blockLength : {1, 37, 160}) {
        Stream s(line, {8, 1, 0, 0, 1}, blockLength);
        s.Feed(x);
        EXPECT_EQ(s.rx.Data(), kMessage) << blockLength;
    }
}

TEST(CDecFSKDataGate, QuietBlocksAreSkippedOnlyWhileNoCharacterIsInProgress) {
    const Line line;
    Modulator m(line);
    m.Send(Repeat(1, 10) + FrameBits(0x41, {8, 1, 0, 0, 1}) + Repeat(1, 10));
    Stream s(line, {8, 1, 0, 0, 1});
    const double gate = 0.5f * s.rx.GetSilenceLevel();
    // At the gate exactly a block is quiet; just above it, it is decoded.
    s.rx.OnSampleData(m.samples.data(), 100, gate, 0.0);
    EXPECT_FALSE(s.rx.Primed());
    s.rx.OnSampleData(m.samples.data(), 100, std::nextafter(gate, 1.0), 0.0);
    EXPECT_TRUE(s.rx.Primed());

    // Loud until the start bit is framed, then every block quiet: the character completes.
    Stream fading(line, {8, 1, 0, 0, 1});
    bool started = false;
    for (std::size_t at = 0; at + 50 <= m.samples.size(); at += 50) {
        started = started || fading.rx.InCharacter();
        fading.rx.OnSampleData(m.samples.data() + at, 50, started ? 0.0 : 1.0, 0.0);
    }
    EXPECT_TRUE(started);
    EXPECT_EQ(fading.rx.Data(), std::vector<std::int32_t>{0x41});
    // Silence before the line is skipped: the demodulator has seen only the loud samples.
    Stream quietStart(line, {8, 1, 0, 0, 1});
    quietStart.Feed(Transmission(line));
    EXPECT_LT(quietStart.rx.DemodulatorPosition(), quietStart.sample.GetSamplePos() - 300);
}

TEST(CDecFSKDataEnd, ARecordingThatStopsAtAStopBitStillReportsItsLastCharacter) {
    for (int rate : {8000, 16000, 44100, 48000})
        for (double baud : {0.98, 1.0, 1.02})
            for (int last : {0x41, 0xC1}) {
                const Line line{.rate = rate, .baudScale = baud};
                Modulator m(line);
                m.Send(Repeat(1, 20) + FrameBits(0x55, {8, 1, 0, 0, 1}) + FrameBits(last, {8, 1, 0, 0, 1}));
                Stream s(line, {8, 1, 0, 0, 1});
                s.Feed(m.samples);
                s.End();
                // The last stop bit is still the demodulator's run in progress.
                EXPECT_EQ(s.rx.Data(), std::vector<std::int32_t>{0x55});
                s.rx.EndOfStream();
                EXPECT_EQ(s.rx.Data(), (std::vector<std::int32_t>{0x55, last})) << rate << " x" << baud;
                EXPECT_EQ(s.rx.chars.back().position, s.sample.GetSamplePos());
            }
    // A recording cut inside a character reports nothing more and hunts again.
    const Line line;
    Modulator m(line);
    m.Send(Repeat(1, 20) + FrameBits(0x55, {8, 1, 0, 0, 1}) + std::vector<int>{0, 1, 0, 0, 0});
    Stream s(line, {8, 1, 0, 0, 1});
    s.Feed(m.samples);
    s.End();
    s.rx.EndOfStream();
    EXPECT_EQ(s.rx.Data(), std::vector<std::int32_t>{0x55});
    EXPECT_FALSE(s.rx.InCharacter());
}

}  // namespace

