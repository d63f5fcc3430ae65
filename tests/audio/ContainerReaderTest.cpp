// Sound files in containers other than RIFF wave, made by ffmpeg and sox from one signal:
// each decodes through CSoundFile to the signal itself (lossless ones sample for sample),
// where the signal is, whatever delay the encoder put in front.
#include "audio/ContainerReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "CodecFixtures.h"
#include "audio/CSoundFile.h"

using namespace audiotest;

namespace {

constexpr int kRate = 16000;

struct Decoded {
    WAVEFORMATEX format{};
    std::uint32_t kind = 0;
    std::vector<std::int16_t> pcm;
    std::int64_t lastProgress = 0;
    std::int64_t fileSize = 0;
};

Decoded ReadSoundFile(const std::string& path) {
    std::vector<std::uint8_t> buffer(g_dwmax_format_size, 0);
    auto* format = reinterpret_cast<WAVEFORMATEX*>(buffer.data());
    CSoundFile file(path.c_str(), format);
    Decoded out;
    EXPECT_TRUE(file.IsOK()) << path << ": " << file.GetLastErrorText();
    if (!file.IsOK()) return out;
    out.format = *format;
    out.kind = file.GetFileKind();
    out.fileSize = file.GetDataLength();
    CBuffer chunk(1000);  // not a whole number of stereo frames of every width: whole ones come
    std::vector<std::uint8_t> bytes;
    while (file.Read(chunk)) {
        EXPECT_EQ(chunk.Length() % format->nBlockAlign, 0u);
        bytes.insert(bytes.end(), chunk.Data(), chunk.Data() + chunk.Length());
        EXPECT_GE(file.GetBytesDelivered(), out.lastProgress) << "progress only moves forward";
        out.lastProgress = file.GetBytesDelivered();
    }
    out.pcm.resize(bytes.size() / 2);
    std::memcpy(out.pcm.data(), bytes.data(), out.pcm.size() * 2);
    return out;
}

// The lag (decoded minus original, in frames of the first channel) at which the two
// agree best, searched both ways.
int BestLag(const std::vector<std::int16_t>& original, const std::vector<std::int16_t>& decoded, int channels,
            int maxLag) {
    int best = 0;
    double bestError = 1e300;
    const long frames = static_cast<long>(original.size()) / channels;
    const long decodedFrames = static_cast<long>(decoded.size()) / channels;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double error = 0.0;
        long counted = 0;
        for (long i = maxLag; i + maxLag < frames && i + lag < decodedFrames; ++i, ++counted) {
            const double d = original[i * channels] - decoded[(i + lag) * channels];
            error += d * d;
        }
        if (counted > 0 && error / counted < bestError) {
            bestError = error / counted;
            best = lag;
        }
    }
    return best;
}

struct ContainerCase {
    const char* label;
    const char* output;   // file name; its extension picks the container
    const char* command;  // how it is made from IN (ffmpeg or sox)
    bool lossless;
    int decodedRate;      // the rate the decoder gives (Opus decodes at 48 kHz)
};

void PrintTo(const ContainerCase& c, std::ostream* os) { *os << c.label; }

class ContainerFiles : public ::testing::TestWithParam<ContainerCase> {
protected:
    void SetUp() override {
#if !VORNIX_WITH_FFMPEG
        GTEST_SKIP() << "a build without FFmpeg reads no containers";
#endif
        if (std::system("command -v ffmpeg >/dev/null && command -v sox >/dev/null") != 0)
            GTEST_SKIP() << "ffmpeg and sox are needed";
        original = TestSignal(kRate, 2, kRate);
        source = dir.File("source.wav");
        WAVEFORMATEX pcm = PcmFormat(2, kRate, 16);
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        CSoundFile writer(source.c_str(), &pcm);
        ASSERT_TRUE(writer.IsOK());
        ASSERT_TRUE(writer.Write(original.data(), static_cast<std::uint32_t>(original.size() * 2)));
        ASSERT_TRUE(writer.Close());
    }
    std::string Make(const ContainerCase& c) {
        const std::string out = dir.File(c.output);
        std::string command = c.command;
        command.replace(command.find("IN"), 2, "'" + source + "'");
        command += " '" + out + "' </dev/null >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return {};
        return out;
    }
    TempDir dir;
    std::string source;
    std::vector<std::int16_t> original;
};

TEST_P(ContainerFiles, DecodeToTheSignalWhereItIs) {
    const ContainerCase& c = GetParam();
    const std::string path = Make(c);
    ASSERT_FALSE(path.empty()) << c.command;
    const Decoded d = ReadSoundFile(path);
    ASSERT_FALSE(d.pcm.empty());
    EXPECT_EQ(d.format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(d.format.wBitsPerSample, 16);
    EXPECT_EQ(d.format.nChannels, 2);
    EXPECT_EQ(d.format.nSamplesPerSec, static_cast<std::uint32_t>(c.decodedRate));
    EXPECT_EQ(d.format.nBlockAlign, 4);
    EXPECT_EQ(d.lastProgress, d.fileSize) << "progress ends at the end of the file";
    if (c.decodedRate != kRate) {
        // Compared at the decoder's rate would need a resampler; the length tells the
        // start-up delay was dropped (within one 100-sample block at the source rate).
        const double seconds = static_cast<double>(d.pcm.size() / 2) / c.decodedRate;
        EXPECT_NEAR(seconds, 1.0, 0.0125) << c.label;
        return;
    }
    if (c.lossless) {
        EXPECT_EQ(d.pcm, original);
        return;
    }
    EXPECT_LE(std::abs(BestLag(original, d.pcm, 2, 600)), 2) << c.label;
    int lag = 0;
    EXPECT_GE(BestLagSnr(original, d.pcm, 2, 0, 400, &lag), 8.0) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Ffmpeg, ContainerFiles,
    ::testing::Values(ContainerCase{"Flac", "a.flac", "ffmpeg -v error -y -i IN -c:a flac", true, kRate},
                      ContainerCase{"Aiff", "a.aiff", "ffmpeg -v error -y -i IN -c:a pcm_s16be", true, kRate},
                      ContainerCase{"Au", "a.au", "ffmpeg -v error -y -i IN -c:a pcm_s16be", true, kRate},
                      ContainerCase{"Caf", "a.caf", "ffmpeg -v error -y -i IN -c:a pcm_s16le", true, kRate},
                      ContainerCase{"Rf64", "a.rf64.wav", "ffmpeg -v error -y -i IN -c:a pcm_s16le -rf64 always", true, kRate},
                      ContainerCase{"Rifx", "a.rifx.wav", "sox IN -B -t wav", true, kRate},
                      ContainerCase{"Matroska", "a.mka", "ffmpeg -v error -y -i IN -c:a pcm_s16le", true, kRate},
                      ContainerCase{"Mp2", "a.mp2", "ffmpeg -v error -y -i IN -c:a mp2 -b:a 128k", false, kRate},
                      ContainerCase{"M4aAac", "a.m4a", "ffmpeg -v error -y -i IN -c:a aac -b:a 64k", false, kRate},
                      ContainerCase{"OggVorbis", "a.ogg", "ffmpeg -v error -y -i IN -c:a libvorbis", false, kRate},
                      ContainerCase{"WebmOpus", "a.webm", "ffmpeg -v error -y -i IN -c:a libopus -b:a 32k", false, 48000}),
    [](const auto& info) { return std::string(info.param.label); });

// MP3 keeps its own path (frames found by their headers, decoded by the codec layer),
// now also behind a tag larger than the probe's window; the frame holding the encoder's
// tag is not decoded and the delay it gives is dropped, so the audio starts where the
// signal does.
TEST_F(ContainerFiles, Mp3BehindALargeTagStartsWhereTheSignalDoes) {
    const std::string comment(40000, 'x');
    const ContainerCase c{"Mp3", "a.mp3", "", false, kRate};
    const std::string command = "ffmpeg -v error -y -i IN -c:a libmp3lame -b:a 64k -metadata comment=" + comment;
    const ContainerCase tagged{"Mp3", "a.mp3", command.c_str(), false, kRate};
    const std::string path = Make(tagged);
    ASSERT_FALSE(path.empty());
    ASSERT_GT(ReadFile(path).size(), 40000u + 16000u / 8);
    const Decoded d = ReadSoundFile(path);
    EXPECT_EQ(d.kind, CSoundFile::kKindMpegLayer3);
    ASSERT_EQ(d.format.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    Bytes bytes(d.pcm.size() * 2);
    std::memcpy(bytes.data(), d.pcm.data(), bytes.size());
    const auto pcm = ConvertWhole(&d.format, bytes);
    ASSERT_FALSE(pcm.empty()) << c.label;
    EXPECT_LE(std::abs(BestLag(original, pcm, 2, 3000)), 2);
}

}  // namespace
