// vornix gen mf|paging|sit|tone, run as a user runs it: sox reads the file back to samples,
// and the lengths and tones are measured from those.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "synth/Measure.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

namespace {

const std::string kVornix = VORNIX_CLI_PATH;

class GenTonesCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox").exitCode != 0) GTEST_SKIP() << "sox is not installed";
    }

    // Runs vornix gen KIND -o out.wav ARGS... and reads the file back as floats.
    std::vector<float> Gen(std::vector<std::string> args) {
        args.insert(args.begin(), "gen");
        args.insert(args.begin() + 2, {"-o", run.Path("out.wav")});
        const auto r = run.Run(kVornix, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(run.Shell("sox out.wav -t raw -e floating-point -b 32 -L raw").exitCode, 0);
        std::ifstream in(run.Path("raw"), std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<float> samples(bytes.size() / 4);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
        return samples;
    }

    static double Level(const std::vector<float>& s, std::size_t from, std::size_t count, double hz, int rate = 8000) {
        return measure::Dbfs(measure::AmplitudeAt(std::span(s).subspan(from, count), hz, rate));
    }

    CommandRunner run;
};

// KP 100 ms, then 68 ms tones and 68 ms gaps: at 8 kHz 800 + 544, then 544 + 544 per key.
TEST_F(GenTonesCommand, MfKeysInWordsWithKpLonger) {
    const auto s = Gen({"mf", "KP1ST", "--level", "-15"});
    ASSERT_EQ(s.size(), 800u + 544u + 2 * 1088u);
    EXPECT_NEAR(Level(s, 0, 800, 1100.0), -15.0, 0.1);
    EXPECT_NEAR(Level(s, 0, 800, 1700.0), -15.0, 0.1);
    EXPECT_NEAR(Level(s, 1344, 544, 900.0), -15.0, 0.3);  // '1' is 700 + 900
    EXPECT_LT(Level(s, 1344, 544, 1100.0), -40.0);
    EXPECT_NEAR(Level(s, 2432, 544, 1500.0), -15.0, 0.3);  // ST
}

// ZVEI1 at 16 kHz: 70 ms is 1120 samples; the second 1 goes out as the repeat tone, 2600 Hz.
TEST_F(GenTonesCommand, PagingRepeatToneUnlessTurnedOff) {
    for (bool repeat : {true, false}) {
        std::vector<std::string> args = {"paging", "112", "--type", "zvei1", "--rate", "16000"};
        if (!repeat) args.push_back("--no-repeat");
        const auto s = Gen(args);
        ASSERT_EQ(s.size(), 3 * 1120u);
        EXPECT_NEAR(Level(s, 1120, 1120, repeat ? 2600.0 : 1060.0, 16000), -10.0, 0.1) << repeat;
        EXPECT_LT(Level(s, 1120, 1120, repeat ? 1060.0 : 2600.0, 16000), -40.0) << repeat;
    }
}

// Float output, so the levels read back exactly: 500 ms on, 250 ms off, twice.
TEST_F(GenTonesCommand, ToneCadenceWithALevelPerFrequency) {
    const auto s = Gen({"tone", "440,480", "--levels", "-10,-22", "--on", "500", "--off", "250", "--count", "2",
                        "--bits", "32"});
    ASSERT_EQ(s.size(), 2 * 6000u);
    for (std::size_t on : {0u, 6000u}) {
        EXPECT_NEAR(Level(s, on, 4000, 440.0), -10.0, 0.01);
        EXPECT_NEAR(Level(s, on, 4000, 480.0), -22.0, 0.01);
        EXPECT_EQ(measure::Rms(std::span(s).subspan(on + 4000, 2000)), 0.0);
    }
}

TEST_F(GenTonesCommand, BadValuesAreUsageErrorsAndWriteNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"mf", "KP1D"},
        {"paging", "12F", "--type", "EIA"},
        {"paging", "12", "--rate", "4000"},
        {"sit", "RO3"},
        {"tone", "440,480,620,1000,1400"},
        {"tone", "440,480", "--levels", "-10"},
        {"tone", "4000"},
        {"tone", "440", "--on", "3600000", "--count", "1000", "--rate", "192000"},
    };
    for (auto args : cases) {
        const std::string shown = args[0] + " " + args[1];
        args.insert(args.begin(), "gen");
        args.insert(args.begin() + 2, {"-o", run.Path("bad.wav")});
        const auto r = run.Run(kVornix, args);
        EXPECT_EQ(r.exitCode, 2) << shown << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << shown << ": a usage error must say what is wrong";
        EXPECT_FALSE(std::filesystem::exists(run.Path("bad.wav"))) << shown;
    }
}

}  // namespace
