// vornix decode on the containers a user has: one recording that vornix gen writes,
// stored by sox and ffmpeg as FLAC, Ogg Vorbis, Opus, MP2, AAC in M4A, AIFF, AU, CAF,
// RF64 and 24-bit PCM, MP3 behind a 40 KB tag, and as a WAV and other containers on
// standard input. Each gives the WAV's keys within one block of where the WAV has them;
// inputs that decode to nothing fail instead of passing silently.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandRunner.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

namespace {

const std::string kVornix = CommandRunner::Quote(VORNIX_CLI_PATH);
const std::string kKeys = "1593#0*D";
// One DTMF block at 8 kHz (102 samples), in seconds.
constexpr double kBlockSeconds = 102.0 / 8000.0;

using Keys = std::vector<std::pair<std::string, double>>;

Keys KeysOf(const CommandRunner::Result& r) {
    Keys keys;
    for (const std::string& line : r.OutLines()) {
        const auto j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded() || j.value("event", "") != "OnDTMF") continue;
        keys.emplace_back(j.value("RecvChar", "?"), j.value("Seconds", -1.0));
    }
    return keys;
}

std::string KeyText(const Keys& keys) {
    std::string text;
    for (const auto& [key, seconds] : keys) text += key;
    return text;
}

class ContainersCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox && command -v ffmpeg").exitCode != 0) GTEST_SKIP() << "sox and ffmpeg are needed";
        const auto made = run.Shell(kVornix + " gen dtmf " + kKeys + " -o keys.wav --lead 300 --duration 70 --gap 90");
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const auto r = run.Shell(kVornix + " decode --json keys.wav");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        reference = KeysOf(r);
        ASSERT_EQ(KeyText(reference), kKeys);
    }
    // Runs a recipe that makes the input, then the decode line; the decode's result.
    CommandRunner::Result Decode(const std::string& recipe, const std::string& decode) {
        if (!recipe.empty()) {
            const auto made = run.Shell(recipe);
            EXPECT_EQ(made.exitCode, 0) << recipe << "\n" << made.err;
        }
        return run.Shell(decode);
    }
    CommandRunner run;
    Keys reference;
};

TEST_F(ContainersCommand, EveryContainerGivesTheWavesKeysWhereTheWaveHasThem) {
#if !VORNIX_WITH_FFMPEG
    GTEST_SKIP() << "a build without FFmpeg reads no containers";
#endif
    const std::string ffmpeg = "ffmpeg -v error -y -i keys.wav ";
    const std::string tag(40000, 'x');
    const std::string decode = kVornix + " decode --json ";
    struct Row {
        const char* label;
        std::string recipe;
        std::string decode;
    };
    const std::vector<Row> rows = {
        {"FLAC", ffmpeg + "-c:a flac k.flac", decode + "k.flac"},
        {"Ogg Vorbis", ffmpeg + "-c:a libvorbis k.ogg", decode + "k.ogg"},
        {"Opus", ffmpeg + "-c:a libopus -b:a 24k k.opus", decode + "k.opus"},
        {"MP2", ffmpeg + "-ar 16000 -c:a mp2 k.mp2", decode + "k.mp2"},
        {"AAC in M4A", ffmpeg + "-c:a aac k.m4a", decode + "k.m4a"},
        {"AIFF", "sox keys.wav k.aiff", decode + "k.aiff"},
        {"AU", "sox keys.wav k.au", decode + "k.au"},
        {"CAF", ffmpeg + "-c:a pcm_s16le k.caf", decode + "k.caf"},
        {"RF64", ffmpeg + "-rf64 always k64.wav", decode + "k64.wav"},
        {"24-bit PCM", "sox keys.wav -b 24 k24.wav", decode + "k24.wav"},
        {"MP3 with a 40 KB tag", ffmpeg + "-c:a libmp3lame -metadata comment=" + tag + " k.mp3", decode + "k.mp3"},
        {"WAV on stdin", "", decode + "- < keys.wav"},
        {"FLAC on stdin", "", "cat k.flac | " + decode + "-"},
        {"MP3 on stdin", "", "cat k.mp3 | " + decode + "-"},
        {"raw PCM on stdin", "", "sox keys.wav -t raw - | " + decode + "-"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const auto r = Decode(row.recipe, row.decode);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const Keys keys = KeysOf(r);
        ASSERT_EQ(KeyText(keys), kKeys);
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_LE(std::abs(keys[i].second - reference[i].second), kBlockSeconds)
                << "key " << keys[i].first << " at " << keys[i].second << " s, in the WAV at " << reference[i].second;
    }
}

// No input that decodes nothing passes as a success: each fails with exit code 1 and a
// first line on stderr that names it, and prints no event.
TEST_F(ContainersCommand, InputsThatDecodeNothingFail) {
    const std::string decode = kVornix + " decode --json ";
    struct Row {
        const char* label;
        std::string recipe;
        std::string decode;
        std::string name;
    };
    const std::vector<Row> rows = {
        // Headerless samples under a name that does not say so.
        {"raw PCM as .dat", "sox keys.wav -t raw k.dat", decode + "k.dat", "k.dat"},
        // ffmpeg's FLAC header (stream info, comment, 8 KB of padding) and noise with no
        // frame sync in it: the container opens, nothing decodes.
        {"undecodable FLAC",
         "ffmpeg -v error -y -i keys.wav -c:a flac k.flac && head -c 8288 k.flac > bad.flac && "
         "head -c 20000 /dev/urandom | tr -d '\\377' >> bad.flac",
         decode + "bad.flac", "bad.flac"},
        // Plain PCM (tag 1) of 28 bits in 4 bytes: a width the decoder does not read.
        {"28-bit PCM",
         "sox keys.wav -b 32 k32.wav && printf '\\001\\000' | dd of=k32.wav bs=1 seek=20 conv=notrunc 2>/dev/null && "
         "printf '\\034' | dd of=k32.wav bs=1 seek=34 conv=notrunc 2>/dev/null",
         decode + "k32.wav", "k32.wav"},
        {"empty stdin", "", decode + "- < /dev/null", "-"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const auto r = Decode(row.recipe, row.decode);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.out, "");
        const std::string first = r.err.substr(0, r.err.find('\n'));
        EXPECT_EQ(first.rfind("vornix: " + row.name + ": ", 0), 0u) << first;
    }
}

}  // namespace
