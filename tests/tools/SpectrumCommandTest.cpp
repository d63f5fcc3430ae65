// Spectra, silences and detected frequencies through the command, on recordings that
// vornix gen writes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandRunner.h"

namespace {

constexpr int kBlock = 100;

struct Boundaries {
    int rate;
    const char* leadMs;  // puts the tone's first sample 30 samples into a block
    const char* onMs;    // and its last 70 samples into one
    int toneStart, toneEnd;  // samples
    bool noiseFloor;
};

class SilenceBoundaries : public ::testing::TestWithParam<Boundaries> {
protected:
    CommandRunner run;
};

std::vector<nlohmann::json> JsonLines(const CommandRunner::Result& r) {
    std::vector<nlohmann::json> events;
    for (const std::string& line : r.OutLines()) events.push_back(nlohmann::json::parse(line));
    return events;
}

}  // namespace

// A block is loud when it holds the tone's edge (30 or 70 samples of it here) and quiet
// otherwise, digital silence or a -60 dBFS noise floor alike. A silence is stamped at the
// second block of its quiet run and ends at the second block of the loud run, so every
// position follows from the two boundary blocks to the sample.
TEST_P(SilenceBoundaries, AreStampedFromTheBlocksTheToneOccupies) {
    const Boundaries b = GetParam();
    std::vector<std::string> gen = {"gen", "tone", "1000", "--lead", b.leadMs, "--on", b.onMs, "--off", "600",
                                    "--rate", std::to_string(b.rate), "-o", run.Path("tone.wav")};
    if (b.noiseFloor) gen.insert(gen.end(), {"--noise", "-60"});
    ASSERT_EQ(run.Run(VORNIX_CLI_PATH, gen).exitCode, 0);
    const auto r = run.Run(VORNIX_CLI_PATH, {"decode", "--json", "--detect", "frequency", run.Path("tone.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<nlohmann::json> events = JsonLines(r);
    ASSERT_EQ(events.size(), 4u) << r.out;

    const int half = b.rate * 60 / 100000 / 2;  // loud blocks that end a silence, less one
    const int firstLoud = b.toneStart / kBlock;
    const int lastLoud = (b.toneEnd - 1) / kBlock;
    const int silenceEnd = (firstLoud + 1) * kBlock;
    const int silenceStart = (lastLoud + 2) * kBlock;
    const int segment = (lastLoud - (firstLoud + half) + 1) * kBlock;
    EXPECT_EQ(events[0]["event"], "OnSilenceStart");
    EXPECT_EQ(events[0]["StartPos"], kBlock);
    EXPECT_EQ(events[1]["event"], "OnSilenceEnd");
    EXPECT_EQ(events[1]["EndPos"], silenceEnd);
    EXPECT_EQ(events[1]["duration"], static_cast<int>((silenceEnd - kBlock) / (b.rate * 0.001)));
    EXPECT_EQ(events[2]["event"], "OnFrequencyDetected");
    EXPECT_EQ(events[2]["StartPos"], silenceStart - segment);
    EXPECT_EQ(events[2]["duration"], static_cast<int>(segment / (b.rate * 0.001)));
    EXPECT_NEAR(events[2]["Frequency"].get<double>(), 1000.0, b.rate / 128.0);
    EXPECT_EQ(events[2]["secondFreq"], -1.0);
    EXPECT_EQ(events[3]["event"], "OnSilenceStart");
    EXPECT_EQ(events[3]["StartPos"], silenceStart);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, SilenceBoundaries,
    ::testing::Values(Boundaries{8000, "503.75", "130", 4030, 5070, false},
                      Boundaries{8000, "503.75", "130", 4030, 5070, true},
                      Boundaries{44100, "1000.6803", "100.6803", 44130, 48570, false},
                      Boundaries{44100, "1000.6803", "100.6803", 44130, 48570, true}),
    [](const auto& info) {
        return std::to_string(info.param.rate) + (info.param.noiseFloor ? "_noise_floor" : "_digital_silence");
    });

TEST(SpectrumCommand, SpectraCarryTheirPeaksAndOnRequestEveryBin) {
    CommandRunner run;
    ASSERT_EQ(run.Run(VORNIX_CLI_PATH, {"gen", "tone", "697,1209", "--on", "300", "-o", run.Path("pair.wav")}).exitCode, 0);
    const auto r = run.Run(VORNIX_CLI_PATH, {"decode", "--json", "--detect", "spectrum", "--fft-size", "1000",
                                             "--fft-window", "hanning", "--spectrum-bins", run.Path("pair.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<nlohmann::json> events = JsonLines(r);
    // 2400 samples: four frames of 512, and at the end of the file the last 352 padded.
    ASSERT_EQ(events.size(), 5u);
    for (std::size_t i = 0; i < events.size(); ++i) {
        const nlohmann::json& e = events[i];
        EXPECT_EQ(e["event"], "OnSpectrumData");
        EXPECT_EQ(e["Position"], i < 4 ? static_cast<int>((512 * (i + 1)) / kBlock * kBlock) : 2400);
        ASSERT_EQ(e["CenterFreqs"].size(), 2u);
        EXPECT_NEAR(e["CenterFreqs"][0].get<double>(), 697.0, 8000.0 / 512);
        EXPECT_NEAR(e["CenterFreqs"][1].get<double>(), 1209.0, 8000.0 / 512);
        ASSERT_EQ(e["SpectrumDB"].size(), 257u);
        EXPECT_GT(e["SpectrumDB"][45].get<double>(), -30.0);   // 703 Hz
        EXPECT_LT(e["SpectrumDB"][200].get<double>(), -60.0);  // 3125 Hz
    }
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--fft-window", "kaiser"}, {"--fft-size", "0"}, {"--max-tones-duration", "0"}}) {
        std::vector<std::string> args = {"decode"};
        args.insert(args.end(), bad.begin(), bad.end());
        args.push_back(run.Path("pair.wav"));
        EXPECT_EQ(run.Run(VORNIX_CLI_PATH, args).exitCode, 2) << bad[0];
    }
}
