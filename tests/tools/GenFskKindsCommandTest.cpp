// vornix gen tty|same|fsk, run as a user runs it: sox reads the file back to samples, and
// the bits are measured from those.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "synth/FskDemod.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

namespace {

const std::string kVornix = VORNIX_CLI_PATH;
using Bits = std::vector<std::uint8_t>;

class GenFskKindsCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox").exitCode != 0) GTEST_SKIP() << "sox is not installed";
    }

    // Runs vornix gen KIND -o NAME ARGS... and reads the file back as floats.
    std::vector<float> Gen(std::vector<std::string> args, const std::string& name = "out.wav") {
        args.insert(args.begin(), "gen");
        args.insert(args.begin() + 2, {"-o", run.Path(name)});
        const auto r = run.Run(kVornix, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(run.Shell("sox " + name + " -t raw -e floating-point -b 32 -L raw").exitCode, 0);
        std::ifstream in(run.Path("raw"), std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<float> samples(bytes.size() / 4);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
        return samples;
    }

    int Usage(std::vector<std::string> args) {
        args.insert(args.begin(), "gen");
        args.insert(args.begin() + 2, {"-o", run.Path("bad.wav")});
        return run.Run(kVornix, args).exitCode;
    }

    CommandRunner run;
};

// Appends count copies of bit.
void Put(Bits& bits, std::size_t count, std::uint8_t bit) {
    bits.insert(bits.end(), count, bit);
}

// "AT 5" in Baudot at 50 baud with two stop bits: LTRS, A (3), T (16), space (4), FIGS,
// 5 (16), each start space, five data bits first-sent in bit 0, stop mark; in half bits.
TEST_F(GenFskKindsCommand, TtyBaudotShiftsAndStopBits) {
    const auto s = Gen({"tty", "AT 5", "--baud", "50", "--stop-bits", "2", "--idle-before", "100", "--idle-after", "60"});
    Bits expected;
    Put(expected, 10, 1);
    for (unsigned code : {31u, 3u, 16u, 4u, 27u, 16u}) {
        Put(expected, 2, 0);
        for (int i = 0; i < 5; ++i) Put(expected, 2, (code >> i) & 1);
        Put(expected, 4, 1);
    }
    Put(expected, 6, 1);
    EXPECT_EQ(fskdemod::Bits(s, 8000, {1400, 1800, 100}, 0, s.size()), expected);
}

// 7-E-1 at 300 baud on 1270/1070 Hz with 10 ms of idle mark between characters: 'H'
// (two ones, parity 0) and 'k' (five ones, parity 1); the same bytes given in hex make
// the same file.
TEST_F(GenFskKindsCommand, FskSevenEvenOneFromTextOrHex) {
    const std::vector<std::string> common = {"--framing", "7E1", "--baud", "300", "--mark", "1270", "--space", "1070",
                                             "--idle", "10"};
    std::vector<std::string> text = {"fsk", "Hk"}, hex = {"fsk", "48 6b", "--hex"};
    text.insert(text.end(), common.begin(), common.end());
    hex.insert(hex.end(), common.begin(), common.end());
    const auto s = Gen(text);
    Bits expected;
    Put(expected, 30, 1);  // 100 ms
    for (unsigned c : {0x48u, 0x6Bu}) {
        expected.push_back(0);
        int ones = 0;
        for (int i = 0; i < 7; ++i) {
            expected.push_back((c >> i) & 1);
            ones += (c >> i) & 1;
        }
        expected.push_back(ones % 2);
        expected.push_back(1);
        if (c == 0x48u) Put(expected, 3, 1);  // 10 ms
    }
    Put(expected, 30, 1);
    EXPECT_EQ(fskdemod::Bits(s, 8000, {1270, 1070, 300}, 0, s.size()), expected);
    Gen(hex, "hex.wav");
    EXPECT_EQ(run.Shell("cmp out.wav hex.wav").exitCode, 0);
}

// A raw header and the same header from its fields write the same file: three bursts and
// no end-of-message markers with --no-eom.
TEST_F(GenFskKindsCommand, SameHeaderRawOrFromFields) {
    const auto s = Gen({"same", "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-", "--no-eom", "--gap", "500"});
    Gen({"same", "--no-eom", "--gap", "500", "--originator", "WXR", "--event", "TOR", "--locations", "039173",
         "--duration", "+0030", "--issued", "1591829", "--sender", "KEAX/NWS"},
        "fields.wav");
    EXPECT_EQ(run.Shell("cmp out.wav fields.wav").exitCode, 0);
    int bursts = 0;
    std::size_t zeros = 4000;
    for (float x : s) {
        if (x == 0.0f) {
            ++zeros;
            continue;
        }
        if (zeros >= 2000) ++bursts;
        zeros = 0;
    }
    EXPECT_EQ(bursts, 3);
}

TEST_F(GenFskKindsCommand, UsageErrors) {
    EXPECT_EQ(Usage({"tty", "A~B"}), 2);
    EXPECT_EQ(Usage({"tty", "AB", "--baud", "75"}), 2);
    EXPECT_EQ(Usage({"tty", "AB", "--mode", "ascii7", "--stop-bits", "3"}), 2);
    EXPECT_EQ(Usage({"same"}), 2);
    EXPECT_EQ(Usage({"same", "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-", "--event", "TOR"}), 2);
    EXPECT_EQ(Usage({"same", "--originator", "WXR", "--event", "TOR", "--locations", "039173", "--duration", "+0030",
                     "--issued", "1591829", "--sender", "KEAX/NWS/X"}),
              2);
    EXPECT_EQ(Usage({"fsk", "hi", "--framing", "8N1", "--data-bits", "7"}), 2);
    EXPECT_EQ(Usage({"fsk", "hi", "--framing", "9N1"}), 2);
    EXPECT_EQ(Usage({"fsk", "zz", "--hex"}), 2);
    EXPECT_EQ(Usage({"fsk", "\xE9", "--data-bits", "7"}), 2);
    EXPECT_EQ(Usage({"fsk", "hi", "--baud", "5000"}), 2);  // a half bit shorter than a sample at 8 kHz
    EXPECT_EQ(run.Shell("test -e bad.wav").exitCode, 1);
}

}  // namespace
