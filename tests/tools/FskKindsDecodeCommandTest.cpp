// vornix decode with the TTY, SAME and FSK data detectors: their options and refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandRunner.h"
#include "FskFraming.h"

namespace {

const std::string kVornix = VORNIX_CLI_PATH;

TEST(FskFraming, ShorthandParts) {
    struct Case {
        const char* text;
        int dataBits;
        const char* parity;
        const char* stopBits;
    };
    for (const Case& c : {Case{"8N1", 8, "none", "1"}, Case{"7e2", 7, "even", "2"}, Case{"5O1.5", 5, "odd", "1.5"},
                          Case{"6M0", 6, "mark", "0"}, Case{"8s1", 8, "space", "1"}}) {
        const auto f = FskFraming::Parse(c.text);
        ASSERT_TRUE(f) << c.text;
        EXPECT_EQ(f->dataBits, c.dataBits) << c.text;
        EXPECT_EQ(f->parity, c.parity) << c.text;
        EXPECT_EQ(f->stopBits, c.stopBits) << c.text;
    }
    for (const char* text : {"", "8N", "4N1", "9N1", "8X1", "8N3", "8N1.", "8N15", "8N1 ", "N81", "88N1"})
        EXPECT_FALSE(FskFraming::Parse(text)) << text;
}

TEST(FskKindsOptions, RefusedValuesAndCombinationsAreUsageErrors) {
    CommandRunner run;
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"--detect", "tty,telex"}, {"--tty-rate", "45"}, {"--tty-rate", "1200"}, {"--tty-mode", "baudot-5"},
             {"--tty-mark", "0"}, {"--tty-space", "nan"}, {"--fsk-baud", "0"}, {"--fsk-mark", "-1"},
             {"--fsk-data-bits", "4"}, {"--fsk-data-bits", "9"}, {"--fsk-stop-bits", "3"}, {"--fsk-parity", "N"},
             {"--fsk-start-tone", "1"}, {"--fsk-stop-tone", "high"}, {"--fsk-framing", "8N3"},
             // The shorthand with one of its parts, and both names of one FSKParams setting.
             {"--fsk-framing", "8N1", "--fsk-stop-bits", "2"}, {"--fsk-data-bits", "7", "--fsk-framing", "7E1"},
             {"--fsk-parity", "odd", "--fsk-framing", "7E1"}, {"--fsk-mark", "1270", "--mark-freq", "1200"},
             {"--space-freq", "1070", "--fsk-space", "1070"}, {"--fsk-baud", "300", "--baud-rate", "300"}}) {
        std::vector<std::string> args = {"decode"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("missing.wav");  // status 1 unless refused while parsing
        const auto r = run.Run(kVornix, args);
        EXPECT_EQ(r.exitCode, 2) << options.back() << ": " << r.err;
        EXPECT_NE(r.err.find(options[options.size() - 2]), std::string::npos) << r.err;
    }
    // What the options accept: every rate and mode, a shorthand beside the tones and the
    // caller-ID name of another setting.
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"--detect", "tty,same,fsk", "--tty-rate", "56.92", "--tty-mode", "baudot-3"},
             {"--tty-rate", "110", "--tty-mode", "ascii8", "--tty-mark", "1270", "--tty-space", "1070"},
             {"--fsk-framing", "7E1.5", "--fsk-mark", "1270", "--space-freq", "1070", "--fsk-start-tone", "mark"},
             // The file right after the list is a file, not a detector's name.
             {"--tty-rate", "50", "--detect", "tty"}}) {
        std::vector<std::string> args = {"decode"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(run.Path("missing.wav"));
        EXPECT_EQ(run.Run(kVornix, args).exitCode, 1) << options.back();
    }
}

}  // namespace
