// File runs of the control object on files that used to decode nothing, slowly or
// wrongly: 24-bit and other sample widths, a header without a byte rate, containers
// other than RIFF wave, and streams none of whose packets decode.
#include "control/CPhoneVornix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "audio/CSoundFile.h"
#include "decoder/DecoderMessages.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

const std::string kKeys = "159D#";

class Host {
public:
    struct Message {
        int msg;
        std::uint64_t wParam;
        std::int64_t lParam;
        std::string text;
    };
    std::vector<Message> messages;
    CPhoneVornix control{{&Host::Receive, this}};

    std::vector<std::pair<char, std::int64_t>> Keys() const {
        std::vector<std::pair<char, std::int64_t>> keys;
        for (const Message& m : messages)
            if (m.msg == DM_DTMF) keys.emplace_back(static_cast<char>(m.wParam), m.lParam);
        return keys;
    }
    std::string KeyText() const {
        std::string text;
        for (const auto& [key, position] : Keys()) text += key;
        return text;
    }
    bool Logged(const std::string& part) const {
        for (const Message& m : messages)
            if (m.msg == DM_DEBUG_TEXT && m.text.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<std::pair<std::uint64_t, std::int64_t>> Progress() const {
        std::vector<std::pair<std::uint64_t, std::int64_t>> steps;
        for (const Message& m : messages)
            if (m.msg == DM_PROGRESS) steps.emplace_back(m.wParam, m.lParam);
        return steps;
    }
    std::int32_t Processed() const {
        std::int32_t n = 0;
        control.get_SampleProcessed(&n);
        return n;
    }

private:
    static void Receive(void* context, int msg, std::uint64_t w, std::int64_t l) {
        auto* host = static_cast<Host*>(context);
        host->messages.push_back({msg, w, l, msg == DM_DEBUG_TEXT ? reinterpret_cast<const char*>(w) : ""});
    }
};

// The keys as 16-bit mono PCM at 8 kHz, 2.5 s long.
std::vector<unsigned char> KeysPcm() {
    SignalTimeline timeline(8000);
    DtmfGenerator::Options options;
    options.levelDbfs = -12.0;
    DtmfGenerator(options).Append(timeline, kKeys);
    timeline.AppendSilence(8000 * 5 / 2 - timeline.Size());
    std::vector<unsigned char> pcm;
    PcmRenderer({16, 1, 0, 8000}).Render(timeline, pcm);
    return pcm;
}

class FileRun : public ::testing::Test {
protected:
    FileRun() : m_folder(std::filesystem::temp_directory_path() / ("vornix-filerun-" + std::to_string(std::random_device()()))) {
        std::filesystem::create_directories(m_folder);
    }
    ~FileRun() override { std::filesystem::remove_all(m_folder); }

    std::string Wave(const std::string& name, WAVEFORMATEX format, const std::vector<unsigned char>& data) {
        const std::string path = (m_folder / name).string();
        CSoundFile file(path.c_str(), &format, sizeof format);
        EXPECT_TRUE(file.IsOK()) << file.GetLastErrorText();
        file.Write(data.data(), static_cast<std::uint32_t>(data.size()));
        file.Close();
        return path;
    }
    static WAVEFORMATEX Pcm(std::uint16_t bits, std::uint16_t align) {
        return {WAVE_FORMAT_PCM, 1, 8000, 8000u * align, align, bits, 0};
    }
    std::string Path(const std::string& name) const { return (m_folder / name).string(); }

    std::filesystem::path m_folder;
};

TEST_F(FileRun, TwentyFourAndThirtyTwoBitSamplesDecodeAndWidthsTheDecoderCannotReadSaySo) {
    const auto pcm16 = KeysPcm();
    Host plain;
    ASSERT_EQ(plain.control.DecodeWaveFile(Wave("k16.wav", Pcm(16, 2), pcm16).c_str()), S_OK);
    ASSERT_EQ(plain.KeyText(), kKeys);

    // The same samples with a low byte: the converter narrows them back exactly.
    // 32-bit integers in four bytes are not the floats the decoder takes 4-byte samples for.
    std::vector<unsigned char> pcm24, pcm32;
    for (std::size_t i = 0; i < pcm16.size(); i += 2) {
        pcm24.insert(pcm24.end(), {0x5A, pcm16[i], pcm16[i + 1]});
        pcm32.insert(pcm32.end(), {0x50, 0x5A, pcm16[i], pcm16[i + 1]});
    }
    for (const auto& [name, bits, pcm] : {std::tuple{"k24.wav", 24, pcm24}, std::tuple{"k32.wav", 32, pcm32}}) {
        Host wide;
        const auto format = Pcm(static_cast<std::uint16_t>(bits), static_cast<std::uint16_t>(bits / 8));
#if VORNIX_WITH_FFMPEG
        ASSERT_EQ(wide.control.DecodeWaveFile(Wave(name, format, pcm).c_str()), S_OK) << bits;
        EXPECT_EQ(wide.Keys(), plain.Keys()) << bits;
        EXPECT_EQ(wide.Processed(), static_cast<std::int32_t>(pcm16.size() / 2)) << bits;
        EXPECT_FALSE(wide.Logged("No audio")) << bits;
#else
        // No converter in this build: refused rather than decoded to nothing.
        EXPECT_EQ(wide.control.DecodeWaveFile(Wave(name, format, pcm).c_str()), E_FAIL) << bits;
#endif
    }

    // 28 bits in four bytes: accepted by the run, decoded by nothing, counted as nothing.
    Host odd;
    ASSERT_EQ(odd.control.DecodeWaveFile(Wave("k28.wav", Pcm(28, 4), pcm32).c_str()), S_OK);
    EXPECT_EQ(odd.KeyText(), "");
    EXPECT_EQ(odd.Processed(), 0);
    EXPECT_TRUE(odd.Logged("No audio can be decoded: the decoder reads 8-, 16- and 32-bit samples, not 28-bit ones."));
    EXPECT_TRUE(odd.Logged("No audio could be decoded from the file."));
}

// A header whose byte rate is 0 (or any lie) still reads a second of samples at a time.
TEST_F(FileRun, AHeaderWithoutAByteRateIsReadASecondAtATime) {
    WAVEFORMATEX format = Pcm(16, 2);
    format.nAvgBytesPerSec = 0;
    const auto pcm = KeysPcm();
    Host host;
    ASSERT_EQ(host.control.DecodeWaveFile(Wave("zero.wav", format, pcm).c_str()), S_OK);
    EXPECT_EQ(host.KeyText(), kKeys);
    const auto steps = host.Progress();
    const std::vector<std::pair<std::uint64_t, std::int64_t>> expected = {
        {0, 40000}, {16000, 40000}, {32000, 40000}, {40000, 40000}};
    EXPECT_EQ(steps, expected);
}

// A container other than RIFF wave is decoded to the same samples, so the keys come at
// the same positions; progress counts the file's bytes to its end.
TEST_F(FileRun, ContainerFilesDecodeLikeTheWaveTheyWereMadeFrom) {
    if (std::system("command -v ffmpeg >/dev/null") != 0) GTEST_SKIP() << "ffmpeg is not installed";
#if !VORNIX_WITH_FFMPEG
    GTEST_SKIP() << "a build without FFmpeg reads no containers";
#endif
    const std::string wave = Wave("k.wav", Pcm(16, 2), KeysPcm());
    const std::string flac = Path("k.flac");
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + wave + " " + flac).c_str()), 0);
    Host fromWave, fromFlac;
    ASSERT_EQ(fromWave.control.DecodeWaveFile(wave.c_str()), S_OK);
    ASSERT_EQ(fromFlac.control.DecodeWaveFile(flac.c_str()), S_OK);
    EXPECT_EQ(fromFlac.Keys(), fromWave.Keys());
    EXPECT_TRUE(fromFlac.Logged("File in container 'flac', codec 'FLAC (Free Lossless Audio Codec)'."));
    const auto steps = fromFlac.Progress();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(static_cast<std::uintmax_t>(steps.back().first), std::filesystem::file_size(flac));
    EXPECT_EQ(static_cast<std::uintmax_t>(steps.back().second), std::filesystem::file_size(flac));

    // Every frame overwritten: the container is still there, nothing in it decodes.
    std::vector<unsigned char> bytes(std::filesystem::file_size(flac));
    FILE* f = std::fopen(flac.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::size_t frames = 4;  // behind "fLaC" and the metadata blocks (last flag, 24-bit size)
    for (bool last = false; !last && frames + 4 <= bytes.size(); frames += 4 + (bytes[frames + 1] << 16 | bytes[frames + 2] << 8 | bytes[frames + 3]))
        last = (bytes[frames] & 0x80) != 0;
    ASSERT_LT(frames, bytes.size());
    std::mt19937 random(13);
    for (std::size_t i = frames; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(random() & 0x7F);
    std::fseek(f, 0, SEEK_SET);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    Host broken;
    ASSERT_EQ(broken.control.DecodeWaveFile(flac.c_str()), S_OK);
    EXPECT_EQ(broken.Processed(), 0);
    EXPECT_TRUE(broken.Logged("No audio could be decoded from the file"));
}

}  // namespace
