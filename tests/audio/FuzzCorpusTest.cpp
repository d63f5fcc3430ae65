// Replays every seed and every input that once broke a fuzz target, so that what the
// fuzzers found stays fixed in the ordinary test run (and under the sanitizers).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/AudioHarness.h"

#if VORNIX_WITH_FFMPEG
extern "C" {
#include <libavutil/log.h>
}
#endif

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzFolder = fs::path(VORNIX_SOURCE_DIR) / "fuzz";

std::vector<fs::path> Inputs(const std::string& target) {
    std::vector<fs::path> inputs;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path folder = kFuzzFolder / kind / target;
        if (!fs::is_directory(folder)) continue;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    return inputs;
}

class FuzzCorpusTest : public ::testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() {
#if VORNIX_WITH_FFMPEG
        av_log_set_level(AV_LOG_QUIET);
#endif
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(fuzzharness::HarnessFolder(), ignored);
#if VORNIX_WITH_FFMPEG
        av_log_set_level(AV_LOG_INFO);
#endif
    }
};

TEST_P(FuzzCorpusTest, EveryInputGivesAnErrorOrASoundResult) {
    const std::string target = GetParam();
    const auto inputs = Inputs(target);
    ASSERT_FALSE(inputs.empty()) << "no seeds for " << target;
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bool ok = false;
        if (target == "sound_file")
            ok = fuzzharness::RunSoundFile(data.data(), data.size());
        else if (target == "converter")
            ok = fuzzharness::RunConverter(data.data(), data.size());
        else
            ok = fuzzharness::RunWaveFormatId(data.data(), data.size());
        EXPECT_TRUE(ok) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpusTest, ::testing::Values("sound_file", "converter", "wave_format_id"));

}  // namespace
