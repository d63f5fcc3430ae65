// The TTY decoder on phase-continuous FSK built here (mark 1400 Hz = 1, space 1800 Hz = 0,
// start bit space, data first bit first, stop mark): refusals, the Baudot tables and
// shifts through the whole signal path, stop-bit lengths and long marks, ASCII, every rate
// at four sample rates, any cut of the blocks, the end of the stream, and reconfiguring
// from inside a report.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <utility>
#include <string>
#include <vector>

#include "fsk/CDecBaudotCode.h"
#include "sample/CSample.h"

namespace {

constexpr double kSecondsPerBit[] = {0.022, 0.02, 0.01757, 0.01347, 0.01, 0.009375};
// Letters by 5-bit code, for writing test messages (27 and 31 are the shifts).
const std::string kLetters = std::string("\0E\nA SIU\rDRJNFCKTZLWHYPQOBG\x1bMXV\x1f", 32);

// Phase-continuous two-tone FSK. Bit edges fall on the nearest sample of the exact bit
// time, so long messages do not drift.
class FskSignal {
public:
    FskSignal(int sampleRate, double baud, double amplitude = 0.5)
        : m_rate(sampleRate), m_baud(baud), m_amplitude(amplitude) {}

    void Silence(double bits) { Hold(-1, bits); }
    void Mark(double bits) { Hold(1, bits); }
    // Start bit, the `count` low bits of value first bit first, stop bits.
    void Frame(unsigned value, int count, double stopBits) {
        Hold(0, 1);
        for (int i = 0; i < count; ++i) Hold(static_cast<int>((value >> i) & 1u), 1);
        Hold(1, stopBits);
    }
    void Baudot(int code, double stopBits = 1.5) { Frame(static_cast<unsigned>(code), 5, stopBits); }
    void Letters(const std::string& text, double stopBits = 1.5) {
        for (char c : text) Baudot(static_cast<int>(kLetters.find(c)), stopBits);
    }
    std::size_t BitEdge() const { return samples.size(); }
    std::vector<float> samples;

private:
    void Hold(int level, double bits) {
        m_bits += bits;
        const auto end = static_cast<std::size_t>(std::llround(m_bits * m_rate / m_baud));
        const double step = 2.0 * M_PI * (level == 1 ? 1400.0 : 1800.0) / m_rate;
        while (samples.size() < end) {
            if (level < 0) {
                samples.push_back(0.0f);
                continue;
            }
            m_phase += step;
            samples.push_back(static_cast<float>(m_amplitude * std::sin(m_phase)));
        }
    }
    int m_rate;
    double m_baud, m_amplitude;
    double m_bits = 0.0, m_phase = 0.0;
};

struct Report {
    std::int32_t value, position;
};

class RecordingTty : public CDecBaudotCode {
public:
    std::vector<Report> reports;
    std::vector<std::int32_t> flushes;  // bits handed over per FlushRun
    std::vector<std::int32_t> bitCounts;
    std::function<void(RecordingTty&)> onReport;
    void OnDetectChar(std::int32_t value, std::int32_t position) override {
        reports.push_back({value, position});
        if (onReport) onReport(*this);
    }
    std::int32_t FlushRun(std::int32_t level) override {
        const std::int32_t bits = CDecBaudotCode::FlushRun(level);
        if (bits > 0) flushes.push_back(bits);
        return bits;
    }
    std::int32_t OnTTYBit(std::int32_t bit) override {
        const std::int32_t result = CDecBaudotCode::OnTTYBit(bit);
        bitCounts.push_back(BitCount());
        return result;
    }
    std::vector<std::int32_t> Values() const {
        std::vector<std::int32_t> v;
        for (const Report& r : reports) v.push_back(r.value);
        return v;
    }
};

// A decoder attached to a stream of 32-bit float samples in 100-sample blocks.
struct Tty {
    Tty(int sampleRate, int rate, int mode) {
        stream.SetAudioParameters(32, sampleRate, -45.0f, 100);
        stream.AddEvent(&tty);
        tty.SetSample(&stream);
        result = tty.SetRate(rate, mode);
    }
    void Feed(const std::vector<float>& x, bool endOfStream = false) {
        stream.putSamples(x.data(), static_cast<int>(x.size() * sizeof(float)), 1);
        if (endOfStream) tty.EndOfStream();
    }
    CSample stream;
    RecordingTty tty;
    HRESULT result = 0;
};

std::int32_t Coded(int character, int code) { return character | code << 16; }

std::vector<std::int32_t> LetterReports(const std::string& text) {
    std::vector<std::int32_t> v;
    for (char c : text) v.push_back(Coded(static_cast<unsigned char>(c), static_cast<int>(kLetters.find(c))));
    return v;
}

// Silence, a mark lead-in, the frames written by `body`, a mark hold and silence.
template <typename Body>
std::vector<float> Message(int sampleRate, int rate, Body body) {
    FskSignal s(sampleRate, 1.0 / kSecondsPerBit[rate]);
    s.Silence(5);
    s.Mark(8);
    body(s);
    s.Mark(4);
    s.Silence(10);
    return s.samples;
}

TEST(CDecBaudotCodeTest, ConfigurationAndRefusals) {
    RecordingTty alone;
    EXPECT_EQ(alone.SetRate(0, 0), E_FAIL);
    EXPECT_FALSE(alone.Configured());
    EXPECT_EQ(alone.FrameBits(), 0);
    EXPECT_EQ(alone.MarkFrequency(), 1400.0f);
    EXPECT_EQ(alone.SpaceFrequency(), 1800.0f);

    Tty t(8000, 0, 0);
    EXPECT_EQ(t.result, S_OK);
    EXPECT_EQ(t.tty.QuarterLength(), 44);  // 176 samples per bit
    EXPECT_EQ(t.tty.SetRate(5, 2), S_OK);
    EXPECT_EQ(t.tty.QuarterLength(), 18);  // trunc(75.5) = 75 samples, 18 a quarter
    EXPECT_EQ(t.tty.FrameBits(), 10);
    EXPECT_EQ(t.tty.SetRate(0, 1), S_OK);
    EXPECT_EQ(t.tty.FrameBits(), 9);

    // Refused rates and modes leave a decoder that ignores the signal until a good call.
    const auto text = Message(8000, 0, [](FskSignal& s) { s.Letters("RY"); });
    for (auto [rate, mode] : std::vector<std::pair<int, int>>{{6, 0}, {-1, 0}, {0, 5}, {0, -1}}) {
        EXPECT_EQ(t.tty.SetRate(rate, mode), E_INVALIDARG) << rate << " " << mode;
        t.Feed(text, true);
        EXPECT_TRUE(t.tty.reports.empty());
    }
    EXPECT_EQ(t.tty.SetRate(0, 0), S_OK);
    t.Feed(text);
    EXPECT_EQ(t.tty.Values(), LetterReports("RY"));

    // A stream rate whose quarter bit is under one sample has nothing to evaluate.
    Tty slow(150, 5, 0);
    EXPECT_EQ(slow.result, E_INVALIDARG);
    slow.Feed(std::vector<float>(1000, 0.25f), true);
    EXPECT_TRUE(slow.tty.reports.empty());
}

TEST(CDecBaudotCodeTest, LetterRAtNextStartBitOrWhenTheSignalDrops) {
    const double bit = 176.0;
    // Next start bit: R, idle mark, then E; R is reported once E's start bit has been
    // counted, that is after it ends (a quarter bit and a block of latency at most).
    FskSignal s(8000, 1.0 / 0.022);
    s.Mark(8);
    s.Baudot(10, 1.0);
    s.Mark(3);
    const auto nextStart = static_cast<double>(s.BitEdge());
    s.Baudot(1, 1.0);
    s.Mark(1);  // E's stop bit needs a following window; the signal then simply ends
    Tty a(8000, 0, 0);
    a.Feed(s.samples);
    ASSERT_EQ(a.tty.Values(), (std::vector<std::int32_t>{0x0A0052}));
    EXPECT_GE(a.tty.reports[0].position, nextStart + bit - 100);
    EXPECT_LE(a.tty.reports[0].position, nextStart + 2 * bit);

    // Signal drop: R, a short mark, then silence.
    FskSignal d(8000, 1.0 / 0.022);
    d.Mark(8);
    d.Baudot(10, 1.5);
    const auto end = static_cast<double>(d.BitEdge());
    d.Silence(20);
    Tty b(8000, 0, 0);
    b.Feed(d.samples);
    ASSERT_EQ(b.tty.Values(), (std::vector<std::int32_t>{0x0A0052}));
    EXPECT_GE(b.tty.reports[0].position, end - 100);
    EXPECT_LE(b.tty.reports[0].position, end + bit);
}

TEST(CDecBaudotCodeTest, ShiftsAndFiguresTablesOfEveryMode) {
    struct Case {
        int mode;
        std::vector<int> codes;
        std::vector<std::int32_t> expected;
    };
    const std::int32_t figs = 0x1B0000, ltrs = 0x1F0000;
    const std::vector<Case> cases = {
        {0, {27, 1, 31, 1}, {figs, Coded('3', 1), ltrs, Coded('E', 1)}},
        {0, {27, 20, 5, 9, 0}, {figs, Coded('#', 20), Coded(0x07, 5), Coded('$', 9), Coded(0, 0)}},
        {3, {27, 20, 9, 11, 30}, {figs, Coded(0xA3, 20), Coded(0x05, 9), Coded(0x07, 11), Coded('=', 30)}},
        {4, {27, 0, 20, 26, 31, 0}, {figs, Coded(0x08, 0), Coded('=', 20), Coded('+', 26), ltrs, Coded(0, 0)}},
        // The figures state lasts until LTRS; code 2 (line feed) reads the same in both.
        {0, {27, 2, 23, 19, 31, 2, 10}, {figs, Coded(0x0A, 2), Coded('1', 23), Coded('2', 19), ltrs, Coded(0x0A, 2), Coded('R', 10)}},
    };
    for (const Case& c : cases) {
        Tty t(8000, 0, c.mode);
        t.Feed(Message(8000, 0, [&](FskSignal& s) {
            for (int code : c.codes) s.Baudot(code);
        }));
        EXPECT_EQ(t.tty.Values(), c.expected) << "mode " << c.mode;
    }
    // SetRate starts again in letters.
    Tty t(8000, 0, 0);
    t.Feed(Message(8000, 0, [](FskSignal& s) { s.Baudot(27); }));
    EXPECT_EQ(t.tty.ShiftState(), 1);
    ASSERT_EQ(t.tty.SetRate(0, 4), S_OK);
    EXPECT_EQ(t.tty.ShiftState(), 0);
}

TEST(CDecBaudotCodeTest, SteadyMarkIsFlushedInTenBitGroupsAndIgnored) {
    FskSignal s(8000, 1.0 / 0.022);
    s.Mark(120);
    Tty t(8000, 0, 0);
    t.Feed(s.samples);
    // 41 windows make ten bits; every group goes to an idle framer.
    ASSERT_GE(t.tty.flushes.size(), 10u);
    for (std::size_t i = 0; i + 1 < t.tty.flushes.size(); ++i) EXPECT_EQ(t.tty.flushes[i], 10);
    for (std::int32_t n : t.tty.bitCounts) EXPECT_LE(n, 1);
    EXPECT_TRUE(t.tty.reports.empty());
}

TEST(CDecBaudotCodeTest, AnyStopBitLengthAndLongMarksBetweenCharacters) {
    // One stop bit, 1.5 and 2 (the usual ones), and marks long enough that every extra
    // stop bit shifted into the register would have pushed the character out of it.
    for (double stop : {1.0, 1.5, 2.0, 7.0, 45.0, 200.0}) {
        Tty t(8000, 0, 0);
        t.Feed(Message(8000, 0, [&](FskSignal& s) { s.Letters("RYE", stop); }));
        EXPECT_EQ(t.tty.Values(), LetterReports("RYE")) << stop << " stop bits";
        EXPECT_LE(t.tty.BitCount(), t.tty.FrameBits() + 1);
    }
    // Eight-bit ASCII at 110 baud with two stop bits, again with a long mark inside.
    Tty t(8000, 5, 2);
    t.Feed(Message(8000, 5, [](FskSignal& s) {
        for (unsigned byte : {0x41u, 0xC3u, 0x00u, 0x80u}) s.Frame(byte, 8, 2.0);
        s.Mark(80);
        s.Frame(0x01, 8, 1.0);
    }));
    EXPECT_EQ(t.tty.Values(), (std::vector<std::int32_t>{0x41, 0xC3, 0x00, 0x80, 0x01}));
}

TEST(CDecBaudotCodeTest, SevenBitAscii) {
    Tty t(8000, 1, 1);
    t.Feed(Message(8000, 1, [](FskSignal& s) {
        for (unsigned byte : {'H', 'i', '~', '\x01'}) s.Frame(byte, 7, 1.0);
    }));
    EXPECT_EQ(t.tty.Values(), (std::vector<std::int32_t>{'H', 'i', '~', 0x01}));
}

TEST(CDecBaudotCodeTest, EveryRateAtEverySampleRate) {
    const std::string text = "RYRY THE QUICK BROWN FOX";
    for (int sampleRate : {8000, 16000, 44100, 48000}) {
        for (int rate = 0; rate <= 5; ++rate) {
            Tty t(sampleRate, rate, 0);
            ASSERT_EQ(t.result, S_OK);
            EXPECT_EQ(t.tty.QuarterLength(),
                      static_cast<int>(std::trunc(sampleRate * kSecondsPerBit[rate] + 0.5)) / 4);
            t.Feed(Message(sampleRate, rate, [&](FskSignal& s) { s.Letters(text); }));
            EXPECT_EQ(t.tty.Values(), LetterReports(text)) << sampleRate << " Hz, rate " << rate;
        }
    }
    // A true 110-baud sender is 3 % faster than the decoder's bit time, and still heard.
    FskSignal s(8000, 110.0);
    s.Mark(8);
    s.Letters(text, 1.0);
    s.Mark(4);
    s.Silence(10);
    Tty t(8000, 5, 0);
    t.Feed(s.samples);
    EXPECT_EQ(t.tty.Values(), LetterReports(text));
}

TEST(CDecBaudotCodeTest, SameCharactersForAnyCutOfTheBlocks) {
    // Blocks straight to OnSampleData, each with its mean absolute first difference taken
    // the way the sample stream takes it (the previous block's last sample carried over).
    const auto signal = Message(8000, 0, [](FskSignal& s) {
        s.Letters("CQ CQ ");
        s.Baudot(27);
        s.Baudot(1);
        s.Baudot(31);
        s.Letters("DE RY", 1.0);
    });
    const auto decode = [&](auto nextSize) {
        Tty t(8000, 0, 0);
        float previous = 0.0f;
        for (std::size_t at = 0; at < signal.size();) {
            const std::size_t n = std::min<std::size_t>(nextSize(), signal.size() - at);
            double sum = 0.0;
            for (std::size_t i = at; i < at + n; ++i) {
                sum += static_cast<double>(std::fabs(signal[i] - previous));
                previous = signal[i];
            }
            t.tty.OnSampleData(signal.data() + at, static_cast<int>(n), sum / static_cast<double>(n), 0.0);
            at += n;
        }
        return t.tty.Values();
    };
    const auto reference = decode([] { return std::size_t{100}; });
    std::vector<std::int32_t> expected = LetterReports("CQ CQ ");
    expected.insert(expected.end(), {0x1B0000, Coded('3', 1), 0x1F0000});
    for (std::int32_t v : LetterReports("DE RY")) expected.push_back(v);
    ASSERT_EQ(reference, expected);
    std::mt19937 random(7);
    for (int maxBlock : {1, 37, 100, 441, 2000}) {
        std::uniform_int_distribution<std::size_t> size(1, static_cast<std::size_t>(maxBlock));
        EXPECT_EQ(decode([&] { return size(random); }), reference) << "blocks up to " << maxBlock;
    }
}

TEST(CDecBaudotCodeTest, EndOfStreamReportsTheLastCharacterAndNothingSilenceWouldNot) {
    const double bit = 176.0;
    // Lead-ins of different lengths put the last character at every alignment to the
    // blocks and windows; it ends with one stop bit, then the mark continues.
    for (int shift = 0; shift < 176; shift += 7) {
        FskSignal s(8000, 1.0 / 0.022);
        s.Mark(8 + shift / bit);
        s.Letters("RYE", 1.0);
        const std::size_t stopEnd = s.BitEdge();
        s.Mark(3);
        const std::vector<float>& full = s.samples;
        if (shift == 0) {
            // A recording that ends in the mark after its last character.
            Tty plain(8000, 0, 0), ended(8000, 0, 0);
            plain.Feed(full);
            ended.Feed(full, true);
            EXPECT_EQ(plain.tty.Values(), LetterReports("RY"));
            EXPECT_EQ(ended.tty.Values(), LetterReports("RYE"));
        }
        // Cuts through the last character, on block boundaries (where the silence after
        // the cut gives no window a tone) and in between: the end of the stream reports
        // what the same signal followed by silence reports, or less. Once the mark after
        // the start of the stop bit has lasted a bit and a half, the character is there.
        std::vector<std::size_t> cuts;
        for (std::size_t cut = (stopEnd - 8 * 176) / 100 * 100; cut <= full.size(); cut += 100) cuts.push_back(cut);
        if (shift == 0)
            for (std::size_t cut = stopEnd - 7 * 176; cut <= full.size(); cut += 11) cuts.push_back(cut);
        for (std::size_t cut : cuts) {
            const std::vector<float> head(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
            std::vector<float> followed = head;
            followed.insert(followed.end(), 2000, 0.0f);
            Tty a(8000, 0, 0), b(8000, 0, 0);
            a.Feed(head, true);
            b.Feed(followed);
            const auto atEnd = a.tty.Values(), withSilence = b.tty.Values();
            ASSERT_LE(atEnd.size(), withSilence.size()) << "shift " << shift << " cut " << cut;
            EXPECT_TRUE(std::equal(atEnd.begin(), atEnd.end(), withSilence.begin())) << "cut " << cut;
            if (cut >= stopEnd + 88) {
                EXPECT_EQ(atEnd, LetterReports("RYE")) << "shift " << shift << " cut " << cut;
            }
        }
    }
}

TEST(CDecBaudotCodeTest, ReconfiguringFromAReport) {
    // The first character switches a 110-baud decoder to 45.45 baud: the window grows
    // (new memory) in the middle of a block, and the rest of the block feeds the new one.
    FskSignal fast(8000, 1.0 / 0.009375);
    fast.Mark(8);
    fast.Letters("RY", 1.0);
    fast.Mark(2);
    FskSignal slow(8000, 1.0 / 0.022);
    slow.Mark(8);
    slow.Letters("EE");
    slow.Mark(4);
    slow.Silence(10);
    std::vector<float> signal = fast.samples;
    signal.insert(signal.end(), slow.samples.begin(), slow.samples.end());

    Tty t(8000, 5, 0);
    t.tty.onReport = [](RecordingTty& tty) {
        if (tty.reports.size() == 1) {
            EXPECT_EQ(tty.SetRate(0, 0), S_OK);
        }
    };
    t.Feed(signal);
    // What the rest of the fast Y makes at the slow rate is noise; the slow text after it
    // decodes.
    const auto values = t.tty.Values();
    ASSERT_GE(values.size(), 3u);
    EXPECT_EQ(values.front(), Coded('R', 10));
    EXPECT_EQ(std::vector<std::int32_t>(values.end() - 2, values.end()), LetterReports("EE"));
    EXPECT_EQ(t.tty.QuarterLength(), 44);
}

}  // namespace
