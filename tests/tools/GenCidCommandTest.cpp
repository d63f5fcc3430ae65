// vornix gen cid, run as a user runs it: sox reads the file back to samples, and a
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

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

class GenCidCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox && command -v soxi").exitCode != 0) GTEST_SKIP() << "sox is not installed";
    }

    void Gen(std::vector<std::string> options) {
        options.insert(options.begin(), {"gen", "cid", "-o", run.Path("cid.wav")});
        const auto r = run.Run(kVornix, options);
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }

    // cid.wav as sox converts it to floats.
    std::vector<float> Samples() {
        const auto r = run.Shell("sox cid.wav -t raw -e floating-point -b 32 -L raw");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::ifstream in(run.Path("raw"), std::ios::binary);
        const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<float> samples(raw.size() / 4);
        std::memcpy(samples.data(), raw.data(), samples.size() * 4);
        return samples;
    }

    // The bytes after the first skip bits from sample start, which must be marks when
    // marks is set; a receiver at the given tones and bit rate.
    static Bytes Receive(const std::vector<float>& s, int rate, const fskdemod::Tones& tones, std::size_t start,
                         std::size_t skip, std::size_t marks = 0) {
        const auto slots = static_cast<std::size_t>((s.size() - start) * tones.baud / rate);
        const auto bits = fskdemod::Bits(s, rate, tones, start, slots);
        if (marks) {
            EXPECT_EQ(fskdemod::LeadingMarks(std::span(bits).subspan(skip)), marks);
        }
        bool framingError = true;
        const Bytes bytes = fskdemod::UartBytes(std::span(bits).subspan(skip), framingError);
        EXPECT_FALSE(framingError);
        return bytes;
    }

    CommandRunner run;
};

// Every message kind, received after the 300 seizure bits; the last byte completes the sum
// to 0, or to 1 when asked for a bad checksum.
TEST_F(GenCidCommand, EachMessageKindComesBackWithItsChecksum) {
    const std::string date = "01011200";  // the default
    const std::vector<std::tuple<std::vector<std::string>, Bytes, unsigned>> cases = {
        {{"--number", "5551234567", "--name", "\xC9MILE", "--called", "5550100", "--date", "12251830"},
         Text("\x80\x26\x01\x08" "12251830\x02\x0A" "5551234567\x03\x07" "5550100\x07\x05\xC9MILE"), 0},
        {{"--number-absence", "out-of-area", "--name-absence", "private"},
         Text("\x80\x10\x01\x08" + date + "\x04\x01O\x08\x01P"), 0},
        {{"--format", "sdmf", "--number", "5550100"}, Text("\x04\x0F" + date + "5550100"), 0},
        {{"--format", "sdmf", "--number-absence", "private"}, Text("\x04\x09" + date + "P"), 0},
        {{"--vmwi", "off"}, Text("\x06\x03ooo"), 0},
        {{"--vmwi", "on", "--vmwi-format", "mdmf", "--messages", "3"}, Bytes{0x82, 6, 0x0B, 1, 0xFF, 0x0D, 1, 3}, 0},
        {{"--format", "sdmf", "--number", "1", "--bad-checksum"}, Text("\x04\x09" + date + "1"), 1},
    };
    for (const auto& [options, body, sum] : cases) {
        Gen(options);
        const Bytes m = Receive(Samples(), 8000, {}, 0, 300, 180);
        ASSERT_EQ(m.size(), body.size() + 1) << options[1];
        EXPECT_EQ(Bytes(m.begin(), m.end() - 1), body) << options[1];
        unsigned total = 0;
        for (std::uint8_t b : m) total += b;
        EXPECT_EQ(total % 256, sum) << options[1];
    }
}

// Float output, so the levels read back exactly; the receiver is told the shifted tones
// and the slower bit rate, and must find the message where they put it.
TEST_F(GenCidCommand, CallWaitingWithLevelOffsetBitRateErrorAndMarkBits) {
    Gen({"--call-waiting", "--number", "5550100", "--level", "-20", "--frequency-offset", "1.5", "--bit-rate-error",
         "-2", "--mark-bits", "50", "--bits", "32"});
    const auto s = Samples();
    ASSERT_GT(s.size(), 1960u);
    const double alert = std::pow(10.0, -13.0 / 20.0);
    EXPECT_NEAR(measure::AmplitudeAt(std::span(s).subspan(0, 640), 2130.0, 8000), alert, alert * 0.02);
    EXPECT_NEAR(measure::AmplitudeAt(std::span(s).subspan(0, 640), 2750.0, 8000), alert, alert * 0.02);
    EXPECT_NEAR(measure::AmplitudeAt(std::span(s).subspan(640, 520), 1633.0, 8000), alert, alert * 0.02);

    const std::size_t start = 640 + 520 + 800;  // alert, D, gap
    const Bytes m = Receive(s, 8000, {1200.0 * 1.015, 2200.0 * 1.015, 1200.0 * 0.98}, start, 0, 50);
    EXPECT_EQ(Bytes(m.begin(), m.end() - 1), Text("\x80\x13\x01\x08" "01011200\x02\x07" "5550100"));
    const float peak = *std::max_element(s.begin() + start, s.end());
    EXPECT_NEAR(peak, std::pow(10.0, -20.0 / 20.0), 0.002);
    // 50 marks, 22 bytes and 10 trailing marks at 1176 baud.
    EXPECT_EQ(s.size() - start, static_cast<std::size_t>(std::llround(280 * 8000 / 1176.0)));
}

TEST_F(GenCidCommand, JapaneseIsARingAQuietSecondThenV23WithEvenParity) {
    Gen({"--standard", "japanese", "--number", "0312345678"});
    const auto s = Samples();
    ASSERT_GT(s.size(), 16000u);
    for (std::size_t block = 0; block < 8000; block += 100) {
        double square = 0.0;
        for (std::size_t n = block; n < block + 100; ++n) square += static_cast<double>(s[n]) * s[n];
        EXPECT_GT(square / 100.0, 0.88) << "ring block at " << block;
    }
    EXPECT_TRUE(std::all_of(s.begin() + 8000, s.begin() + 16001, [](float v) { return v == 0.0f; }));
    const Bytes m = Receive(s, 8000, {1300.0, 2100.0, 1200.0}, 16000, 0, 100);
    ASSERT_EQ(m.size(), 23u);
    EXPECT_EQ((m[6] & 0x7F) + 11u, m.size());
    for (std::size_t i = 0; i + 2 < m.size(); ++i)
        EXPECT_EQ(std::popcount(static_cast<unsigned>(m[i])) % 2, 0) << "byte " << i;
}

TEST_F(GenCidCommand, BadValuesAreUsageErrorsAndWriteNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"--date", "1225183"},
        {"--date", "12a51830"},
        {"--format", "sdmf", "--number", "1", "--name", "X"},
        {"--format", "sdmf"},
        {"--number", "1", "--number-absence", "private"},
        {"--standard", "japanese", "--number", "1", "--call-waiting"},
        {"--standard", "japanese", "--number", "1", "--name", "X"},
        {"--standard", "japanese", "--number", "03\xB3"},
        {"--vmwi", "on", "--number", "1"},
        {"--vmwi", "on", "--messages", "2"},
        {"--format", "sdmf", "--number", std::string(248, '9')},
        {"--number", "1", "--frequency-offset", "nan"},
        {"--number", "1", "--call-waiting", "--rate", "5000"},
        {"--number", "1", "--lead", "3600000", "--rate", "192000", "--bits", "32", "--channels", "2"},
    };
    for (auto args : cases) {
        const std::string shown = args[0] + " " + args[1];
        args.insert(args.begin(), {"gen", "cid", "-o", run.Path("bad.wav")});
        const auto r = run.Run(kVornix, args);
        EXPECT_EQ(r.exitCode, 2) << shown << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << shown << ": a usage error must say what is wrong";
        EXPECT_FALSE(std::filesystem::exists(run.Path("bad.wav"))) << shown;
    }
}

}  // namespace
