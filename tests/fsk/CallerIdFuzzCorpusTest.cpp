// Replays every seed and every input that once broke a caller-ID fuzz target through the
// same checks the targets make, so that what the fuzzers found stays fixed in the ordinary
// test run (and under the sanitizers). Seeds are real transmissions: all but those named
// "bad-" must also come out as a decoded message, which keeps the seeds meaningful when
// an input layout changes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/CallerIdFuzzHarness.h"

namespace {

namespace fs = std::filesystem;
using fuzzharness::CallerIdChecker;
using fuzzharness::CallerIdRun;

const fs::path kFuzzFolder = fs::path(VORNIX_SOURCE_DIR) / "fuzz";

std::vector<fs::path> Files(const std::string& kind, const std::string& target) {
    std::vector<fs::path> files;
    const fs::path folder = kFuzzFolder / kind / target;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    return files;
}

std::vector<std::uint8_t> Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CallerIdRun Replay(const std::string& target, const std::vector<std::uint8_t>& data) {
    return target == "caller_id_format"
               ? fuzzharness::RunCallerIdFormat(data.data(), data.size(), false)
               : fuzzharness::RunCallerIdAudio(data.data(), data.size(), false);
}

class CallerIdFuzzCorpusTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CallerIdFuzzCorpusTest, SeedsDecodeAndKeepEveryProperty) {
    const auto seeds = Files("corpus", GetParam());
    ASSERT_GE(seeds.size(), 5u) << "seeds missing for " << GetParam();
    for (const fs::path& path : seeds) {
        const CallerIdRun run = Replay(GetParam(), Read(path));
        EXPECT_TRUE(run.Ok()) << path << ": " << run.violation;
        if (path.filename().string().rfind("bad-", 0) == 0) {
            EXPECT_GT(run.badChecksums, 0) << path;
        } else {
            EXPECT_GT(run.decodedCallerIds + run.vmwiIndications, 0)
                << path << " decodes to nothing";
        }
    }
}

TEST_P(CallerIdFuzzCorpusTest, RegressionsKeepEveryProperty) {
    for (const fs::path& path : Files("regressions", GetParam())) {
        const CallerIdRun run = Replay(GetParam(), Read(path));
        EXPECT_TRUE(run.Ok()) << path << ": " << run.violation;
    }
}

// The second byte of an audio input only cuts the stream differently: what is decoded may
// not change with it.
TEST(CallerIdFuzzCorpus, AudioSeedsDecodeAlikeHoweverCut) {
    for (const fs::path& path : Files("corpus", "caller_id_audio")) {
        std::vector<std::uint8_t> data = Read(path);
        ASSERT_GE(data.size(), 2u) << path;
        const CallerIdRun reference = Replay("caller_id_audio", data);
        for (std::uint8_t pieces : {0x00, 0x07, 0x2F, 0xFF}) {
            data[1] = pieces;
            const CallerIdRun run = Replay("caller_id_audio", data);
            EXPECT_EQ(run.decodedCallerIds, reference.decodedCallerIds)
                << path << " pieces " << int{pieces};
            EXPECT_EQ(run.vmwiIndications, reference.vmwiIndications)
                << path << " pieces " << int{pieces};
            EXPECT_EQ(run.badChecksums, reference.badChecksums)
                << path << " pieces " << int{pieces};
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, CallerIdFuzzCorpusTest,
                         ::testing::Values("caller_id_format", "caller_id_audio"));

// The checks themselves must see a broken record: each fabricated delivery below breaks
// one property and must be reported.
TEST(CallerIdChecker, ReportsEveryKindOfBrokenRecord) {
    const auto broken = [](auto deliver) {
        CallerIdChecker checker(false);
        deliver(checker);
        return !checker.Run().Ok();
    };
    std::vector<char> longText(400, 'A');
    longText.back() = '\0';
    const std::uint8_t sound[] = {0x04, 0x08, '0', '1', '0', '1', '1', '2', '3', '0', 0x00};
    std::uint8_t message[sizeof sound];
    std::copy(std::begin(sound), std::end(sound), message);
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < sizeof message; ++i) sum += message[i];
    message[sizeof message - 1] = static_cast<std::uint8_t>(-sum);
    const std::int32_t count11 = 11 << 16;

    // A sound message passes, decoded or with its checksum reported wrong when it is.
    CallerIdChecker good(false);
    good.CallerId(nullptr, "5551234", "01-01 12:30", nullptr, message, count11 | 0, false);
    good.CallerId("Unknown MDMF parameter type : {42,00,01}", nullptr, nullptr, nullptr, nullptr, 2,
                  false);
    good.Vmwi(1);
    EXPECT_TRUE(good.Run().Ok()) << good.Run().violation;
    EXPECT_EQ(good.Run().decodedCallerIds, 1);
    EXPECT_EQ(good.Run().vmwiIndications, 1);

    EXPECT_TRUE(broken([&](CallerIdChecker& c) {
        c.CallerId(longText.data(), nullptr, nullptr, nullptr, nullptr, 0, false);
    }));
    EXPECT_TRUE(broken([&](CallerIdChecker& c) {
        c.CallerId(nullptr, nullptr, nullptr, nullptr, nullptr, 5, false);
    }));
    EXPECT_TRUE(broken([&](CallerIdChecker& c) {
        c.CallerId(nullptr, nullptr, nullptr, nullptr, nullptr, count11, false);
    }));
    EXPECT_TRUE(broken([&](CallerIdChecker& c) {
        c.CallerId(nullptr, nullptr, nullptr, nullptr, message, count11 | 1, false);
    }));
    EXPECT_TRUE(broken([&](CallerIdChecker& c) {
        c.CallerId(nullptr, nullptr, nullptr, nullptr, message, (10 << 16), false);
    }));
    EXPECT_TRUE(broken([&](CallerIdChecker& c) {
        c.CallerId(nullptr, nullptr, nullptr, nullptr, message, count11 | 4, false);
    }));
    EXPECT_TRUE(broken([&](CallerIdChecker& c) {
        c.CallerId(nullptr, nullptr, nullptr, nullptr, message, (259 << 16), false);
    }));
    EXPECT_TRUE(broken([&](CallerIdChecker& c) {
        c.CallerId(nullptr, nullptr, nullptr, nullptr, message, (161 << 16), true);
    }));
    EXPECT_TRUE(broken([&](CallerIdChecker& c) {
        c.CallerId("Unknown MDMF parameter type : {42,0", nullptr, nullptr, nullptr, nullptr, 2,
                   false);
    }));
    EXPECT_TRUE(broken([&](CallerIdChecker& c) { c.Vmwi(3); }));
}

}  // namespace
