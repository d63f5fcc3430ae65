// vornix gen cid, run as a user runs it: sox reads the file it writes back to samples, and a
// receiver written for the tests recovers the bits from those samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "synth/FskDemod.h"
#include "synth/Measure.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

namespace {

const std::string kVornix = VORNIX_CLI_PATH;
using Bytes = std::vector<std::uint8_t>;

const fskdemod::Tones kBell202{1200.0, 2200.0, 1200.0};
const fskdemod::Tones kV23{1300.0, 2100.0, 1200.0};

unsigned Sum(const Bytes& message) {
    unsigned sum = 0;
    for (std::uint8_t b : message) sum += b;
    return sum % 256;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

class GenCidCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox && command -v soxi").exitCode != 0) GTEST_SKIP() << "sox is not installed";
    }

    // gen cid with these options into cid.wav; the exit status.
    int Gen(std::vector<std::string> options) {
        options.insert(options.begin(), {"gen", "cid", "-o", run.Path("cid.wav")});
        const auto r = run.Run(kVornix, options);
        EXPECT_EQ(r.err, "") << "a good command says nothing";
        return r.exitCode;
    }

    // One channel of cid.wav as sox converts it to 32-bit floats (channel 1 is the left).
    std::vector<float> Samples(int channel = 1) {
        const auto r = run.Shell("sox cid.wav -t raw -e floating-point -b 32 -L samples.raw remix " +
                                 std::to_string(channel));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::ifstream in(run.Path("samples.raw"), std::ios::binary);
        std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<float> samples(raw.size() / 4);
        std::memcpy(samples.data(), raw.data(), samples.size() * 4);
        return samples;
    }

    // Every bit slot from start to the end of the recording.
    static std::vector<std::uint8_t> AllBits(const std::vector<float>& s, int rate, const fskdemod::Tones& tones,
                                             std::size_t start) {
        const auto slots = static_cast<std::size_t>((s.size() - start) * tones.baud / rate);
        return fskdemod::Bits(s, rate, tones, start, slots);
    }

    // The message bytes after the preamble's bits.
    static Bytes Message(const std::vector<std::uint8_t>& bits, std::size_t preamble) {
        bool framingError = true;
        const Bytes bytes = fskdemod::UartBytes(std::span(bits).subspan(preamble), framingError);
        EXPECT_FALSE(framingError);
        return bytes;
    }

    CommandRunner run;
};

TEST_F(GenCidCommand, CallerIdFieldsComeBackFromTheRecordingOnTheChannelAskedFor) {
    ASSERT_EQ(Gen({"--number", "5551234567", "--name", "\xC9MILE", "--called", "5550100", "--date", "12251830",
                   "--rate", "16000", "--channels", "2", "--channel", "right", "--lead", "40", "--seizure-bits",
                   "250"}),
              0);
    const auto r = run.Shell("soxi -c cid.wav && soxi -r cid.wav");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"2", "16000"}));

    const auto left = Samples(1);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](float v) { return v == 0.0f; }));
    const auto s = Samples(2);
    const std::size_t start = 640;  // 40 ms
    const auto bits = AllBits(s, 16000, kBell202, start);
    ASSERT_GT(bits.size(), 250u + 180);
    for (std::size_t k = 0; k < 250; ++k) ASSERT_EQ(bits[k], k % 2) << "seizure bit " << k;
    EXPECT_EQ(fskdemod::LeadingMarks(std::span(bits).subspan(250)), 180u);

    const Bytes m = Message(bits, 250);
    Bytes expected = {0x80, 10 + 12 + 9 + 7, 0x01, 8};
    for (const std::string& part : {std::string("12251830"), std::string("\x02\x0A") + "5551234567",
                                    std::string("\x03\x07") + "5550100", std::string("\x07\x05\xC9MILE")})
        expected.insert(expected.end(), part.begin(), part.end());
    ASSERT_EQ(m.size(), expected.size() + 1);
    EXPECT_EQ(Bytes(m.begin(), m.end() - 1), expected);
    EXPECT_EQ(Sum(m), 0u);
}

TEST_F(GenCidCommand, EachMessageKindAndTheBadChecksum) {
    struct Case {
        std::vector<std::string> options;
        Bytes body;  // everything before the checksum
        unsigned sum;
    };
    const std::string date = "01011200";  // the default
    const std::vector<Case> cases = {
        {{"--format", "sdmf", "--number", "5550100"}, Text("\x04\x0F" + date + "5550100"), 0},
        {{"--format", "sdmf", "--number-absence", "private"}, Text("\x04\x09" + date + "P"), 0},
        {{"--number-absence", "out-of-area", "--name-absence", "private"},
         Text("\x80\x10\x01\x08" + date + "\x04\x01O\x08\x01P"), 0},
        {{"--vmwi", "on"}, Text("\x06\x03" "BBB"), 0},
        {{"--vmwi", "off"}, Text("\x06\x03ooo"), 0},
        {{"--vmwi", "on", "--vmwi-format", "mdmf", "--messages", "3"},
         Bytes{0x82, 0x06, 0x0B, 0x01, 0xFF, 0x0D, 0x01, 0x03}, 0},
        {{"--vmwi", "off", "--vmwi-format", "mdmf"}, Bytes{0x82, 0x03, 0x0B, 0x01, 0x00}, 0},
        {{"--format", "sdmf", "--number", "1", "--bad-checksum"}, Text("\x04\x09" + date + "1"), 1},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& o : c.options) shown += o + " ";
        ASSERT_EQ(Gen(c.options), 0) << shown;
        const Bytes m = Message(AllBits(Samples(), 8000, kBell202, 0), 300);
        ASSERT_EQ(m.size(), c.body.size() + 1) << shown;
        EXPECT_EQ(Bytes(m.begin(), m.end() - 1), c.body) << shown;
        EXPECT_EQ(Sum(m), c.sum) << shown;
    }
}

TEST_F(GenCidCommand, JapaneseIsARingAQuietSecondAndV23WithEvenParity) {
    ASSERT_EQ(Gen({"--standard", "japanese", "--number", "0312345678"}), 0);
    const auto s = Samples();
    ASSERT_GT(s.size(), 16000u);
    std::size_t loud = 0;
    for (std::size_t block = 0; block + 100 <= 8000; block += 100) {
        double square = 0.0;
        for (std::size_t n = block; n < block + 100; ++n) square += static_cast<double>(s[n]) * s[n];
        if (square / 100.0 > 0.88) ++loud;
    }
    EXPECT_EQ(loud, 80u) << "every block of the one-second ring";
    std::size_t first = 8000;
    while (first < s.size() && s[first] == 0.0f) ++first;
    EXPECT_EQ(first, 16001u) << "a quiet second, then FSK from phase 0";

    const auto bits = AllBits(s, 8000, kV23, 16000);
    EXPECT_EQ(fskdemod::LeadingMarks(bits), 100u);
    const Bytes m = Message(bits, 100);
    ASSERT_EQ(m.size(), 7u + 12 + 4);
    EXPECT_EQ((m[6] & 0x7F) + 11u, m.size());
    for (std::size_t i = 0; i + 2 < m.size(); ++i)
        EXPECT_EQ(std::popcount(static_cast<unsigned>(m[i])) % 2, 0) << "byte " << i;
    Bytes number;
    for (std::size_t i = 9; i < 19; ++i) number.push_back(m[i] & 0x7F);
    EXPECT_EQ(number, Text("0312345678"));
}

// Float output, so the levels read back exactly; the receiver is told the shifted tones
// and the slower bit rate, and must find the message where they put it.
TEST_F(GenCidCommand, CallWaitingWithLevelOffsetAndBitRateError) {
    ASSERT_EQ(Gen({"--call-waiting", "--number", "5550100", "--level", "-20", "--frequency-offset", "1.5",
                   "--bit-rate-error", "-2", "--mark-bits", "50", "--bits", "32"}),
              0);
    const auto s = Samples();
    ASSERT_GT(s.size(), 1960u);
    const std::span<const float> alert(s.data(), 640);
    const double alertPeak = std::pow(10.0, -13.0 / 20.0);
    EXPECT_NEAR(measure::AmplitudeAt(alert, 2130.0, 8000), alertPeak, alertPeak * 0.02);
    EXPECT_NEAR(measure::AmplitudeAt(alert, 2750.0, 8000), alertPeak, alertPeak * 0.02);
    const std::span<const float> ack(s.data() + 640, 520);
    EXPECT_NEAR(measure::AmplitudeAt(ack, 941.0, 8000), alertPeak, alertPeak * 0.02);
    EXPECT_NEAR(measure::AmplitudeAt(ack, 1633.0, 8000), alertPeak, alertPeak * 0.02);

    const std::size_t start = 640 + 520 + 800;
    const fskdemod::Tones tones{1200.0 * 1.015, 2200.0 * 1.015, 1200.0 * 0.98};
    const auto bits = AllBits(s, 8000, tones, start);
    EXPECT_EQ(fskdemod::LeadingMarks(bits), 50u) << "no seizure, the marks asked for";
    const Bytes m = Message(bits, 0);
    ASSERT_EQ(m.size(), 22u);
    EXPECT_EQ(Bytes(m.begin(), m.end() - 1), Text("\x80\x13\x01\x08" "01011200" "\x02\x07" "5550100"));
    EXPECT_EQ(Sum(m), 0u);

    float peak = 0.0f;
    for (std::size_t n = start; n < s.size(); ++n) peak = std::max(peak, std::fabs(s[n]));
    EXPECT_NEAR(peak, std::pow(10.0, -20.0 / 20.0), 0.002);
    // The message ends where the slower clock puts it: 50 + 10 · 22 + 10 trailing bits.
    EXPECT_EQ(s.size() - start, static_cast<std::size_t>(std::llround(280 * 8000 / (1200 * 0.98))));
}

TEST_F(GenCidCommand, BadValuesAreUsageErrorsAndWriteNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"--date", "1225183"},
        {"--date", "12a51830"},
        {"--date", "122518300"},
        {"--format", "sdmf", "--number", "1", "--name", "X"},
        {"--format", "sdmf", "--number", "1", "--called", "2"},
        {"--format", "sdmf"},
        {"--format", "ldmf", "--number", "1"},
        {"--number", "1", "--number-absence", "private"},
        {"--number-absence", "withheld"},
        {"--standard", "japanese", "--number", "1", "--call-waiting"},
        {"--standard", "japanese", "--call-waiting"},
        {"--standard", "japanese", "--number", "1", "--name", "X"},
        {"--standard", "japanese", "--number", "03\xB3"},
        {"--standard", "japanese"},
        {"--standard", "bell203", "--number", "1"},
        {"--vmwi", "on", "--number", "1"},
        {"--vmwi", "maybe"},
        {"--vmwi", "on", "--messages", "2"},
        {"--messages", "2"},
        {"--vmwi", "on", "--vmwi-format", "mdmf", "--messages", "256"},
        {"--format", "sdmf", "--number", std::string(248, '9')},
        {"--number", "1", "--frequency-offset", "nan"},
        {"--number", "1", "--level", "3"},
        {"--number", "1", "--rate", "4000"},
        {"--number", "1", "--call-waiting", "--rate", "5000"},
        {"--number", "1", "--lead", "3600000", "--rate", "192000", "--bits", "32", "--channels", "2"},
    };
    for (auto args : cases) {
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        args.insert(args.begin(), {"gen", "cid", "-o", run.Path("bad.wav")});
        const auto r = run.Run(kVornix, args);
        EXPECT_EQ(r.exitCode, 2) << shown << "\n" << r.err;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_FALSE(r.err.empty()) << shown << ": a usage error must say what is wrong";
        EXPECT_FALSE(std::filesystem::exists(run.Path("bad.wav"))) << shown;
    }
}

}  // namespace
