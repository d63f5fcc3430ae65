#include "audio/CSoundFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "AudioTestSupport.h"
#include "audio/StreamFormats.h"
#include "platform/DebugOutput.h"

using namespace audiotest;

namespace {

// A zeroed format buffer of the largest format size, as the decoding runs allocate it.
struct FormatBuffer {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(g_dwmax_format_size, 0);
    WAVEFORMATEX* get() { return reinterpret_cast<WAVEFORMATEX*>(bytes.data()); }
};

Bytes ReadAll(CSoundFile& file, std::uint32_t chunk) {
    CBuffer buffer(chunk);
    Bytes out;
    while (file.Read(buffer)) out.insert(out.end(), buffer.Data(), buffer.Data() + buffer.Length());
    EXPECT_EQ(buffer.Length(), 0u);
    return out;
}

Bytes Pattern(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return out;
}

class SoundFileTest : public ::testing::Test {
protected:
    TempDir dir;
    FormatBuffer format;
};

TEST_F(SoundFileTest, WrittenFileReadsBackWithIdenticalFormatAndData) {
    // A compressed record with 32 bytes of extra data and an odd-length data chunk:
    // both the record's length and the pad byte are exercised.
    std::vector<std::uint8_t> record;
    ASSERT_EQ(SpConvertStreamFormatEnum(56, &record), S_OK);
    FormatBuffer written;
    std::memcpy(written.bytes.data(), record.data(), record.size());
    const Bytes data = Pattern(1001);
    const std::string path = dir.File("out.wav");
    {
        CSoundFile file(path.c_str(), written.get());
        ASSERT_TRUE(file.IsOK()) << file.GetLastErrorText();
        ASSERT_TRUE(file.Write(data.data(), 500));
        ASSERT_TRUE(file.Write(data.data() + 500, 501));
        EXPECT_TRUE(file.Close());
    }
    const Bytes raw = ReadFile(path);
    EXPECT_EQ(raw.size() % 2, 0u);
    EXPECT_EQ(GetU32(raw, 4), raw.size() - 8);

    CSoundFile file(path.c_str(), format.get());
    ASSERT_TRUE(file.IsOK()) << file.GetLastErrorText();
    EXPECT_EQ(file.GetFileKind(), CSoundFile::kKindWave);
    EXPECT_EQ(std::memcmp(format.bytes.data(), record.data(), record.size()), 0);
    EXPECT_EQ(file.GetDataLength(), 1001);
    EXPECT_EQ(ReadAll(file, 64), data);
}

TEST_F(SoundFileTest, ReadStopsAtTheEndWithAnEmptyBuffer) {
    const std::string path = dir.File("a.wav");
    WriteFile(path, RiffWave(Chunk("fmt ", RecordBytes(PcmFormat(1, 8000, 16))) + Chunk("data", Pattern(10))));
    CSoundFile file(path.c_str(), format.get());
    ASSERT_TRUE(file.IsOK());
    CBuffer buffer(6);
    ASSERT_TRUE(file.Read(buffer));
    EXPECT_EQ(buffer.Length(), 6u);
    ASSERT_TRUE(file.Read(buffer));
    EXPECT_EQ(buffer.Length(), 4u);
    EXPECT_FALSE(file.Read(buffer));
    EXPECT_EQ(buffer.Length(), 0u);
    EXPECT_EQ(file.GetBytesDelivered(), 10);
}

TEST_F(SoundFileTest, RawNamesAreReadAsRawPcmWhateverTheirCase) {
    for (const char* name : {"speech.RAW", "speech.Pcm", "x.raw"}) {
        const std::string path = dir.File(name);
        WriteFile(path, Pattern(333));
        FormatBuffer callers;
        *callers.get() = PcmFormat(1, 8000, 16);
        callers.get()->wFormatTag = 0;  // open for reading; the rest is the caller's raw format
        CSoundFile file(path.c_str(), callers.get());
        ASSERT_TRUE(file.IsOK()) << name << ": " << file.GetLastErrorText();
        EXPECT_EQ(file.GetFileKind(), CSoundFile::kKindRawPcm);
        EXPECT_EQ(file.GetDataLength(), 333);
        EXPECT_EQ(callers.get()->nSamplesPerSec, 8000u) << "the caller's format is left alone";
        EXPECT_EQ(ReadAll(file, 100), Pattern(333));
    }
}

// A name of four characters or fewer is never taken as raw, even ".raw" itself.
TEST_F(SoundFileTest, ShortNamesAreProbedAsMpegAudio) {
    const std::string previous = std::filesystem::current_path().string();
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    WriteFile(".raw", Pattern(500));
    // Two frames of MPEG-1 Layer III at 128 kbit/s (417 bytes each).
    Bytes frames = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const Bytes header = {0xFF, 0xFB, 0x90, 0xC0};
        frames = frames + header + Bytes(413, 0);
    }
    WriteFile("a.rw", frames);
    CSoundFile rawLooking(".raw", format.get());
    EXPECT_FALSE(rawLooking.IsOK());
    EXPECT_STREQ(rawLooking.GetLastErrorText(), "Error descending into file.");
    FormatBuffer other;
    CSoundFile mpeg("a.rw", other.get());
    EXPECT_TRUE(mpeg.IsOK());
    EXPECT_EQ(mpeg.GetFileKind(), CSoundFile::kKindMpegLayer3);
    ASSERT_EQ(::chdir(previous.c_str()), 0);
}

// Searching a headerless file for a RIFF form stops at the first bytes that cannot be a
// chunk id, instead of reading silence as millions of empty chunks.
TEST_F(SoundFileTest, TheRiffSearchStopsAtBytesThatAreNoChunkId) {
    const std::string path = dir.File("silence.raw");
    WriteFile(path, Bytes(1 << 20, 0));
    RiffFile riff;
    ASSERT_EQ(riff.OpenRead(path.c_str()), RiffFile::kOk);
    ChunkInfo form;
    form.fccType = RiffFile::FourCC('W', 'A', 'V', 'E');
    EXPECT_EQ(riff.Descend(form, nullptr, RiffFile::Find::Riff), RiffFile::kErrChunkNotFound);
    EXPECT_EQ(riff.Tell(), 8) << "one chunk header read, no more";
    // Printable ids are chunks: a form behind one is still found.
    const std::string behind = dir.File("behind.wav");
    WriteFile(behind, Chunk("JUNK", Pattern(6)) +
                          RiffWave(Chunk("fmt ", RecordBytes(PcmFormat(1, 8000, 16))) + Chunk("data", Pattern(4))));
    ASSERT_EQ(riff.OpenRead(behind.c_str()), RiffFile::kOk);
    EXPECT_EQ(riff.Descend(form, nullptr, RiffFile::Find::Riff), RiffFile::kOk);
    EXPECT_EQ(form.dwDataOffset, 14u + 8u);

    CSoundFile raw(path.c_str(), format.get());
    ASSERT_TRUE(raw.IsOK()) << raw.GetLastErrorText();
    EXPECT_EQ(raw.GetFileKind(), CSoundFile::kKindRawPcm);
}

// Files that are no sound file this build knows keep the old text; a container whose
// audio cannot be decoded is an unsupported format.
TEST_F(SoundFileTest, UnrecognisedFilesAndUndecodableContainersFail) {
    const std::string text = dir.File("notes.dat");
    WriteFile(text, Bytes(5000, 'a'));
    CSoundFile a(text.c_str(), format.get());
    EXPECT_FALSE(a.IsOK());
    EXPECT_STREQ(a.GetLastErrorText(), "Error descending into file.");
    // An Ogg page header with no stream that decodes, then nothing.
    Bytes ogg = {'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 30};
    ogg.resize(ogg.size() + 30, 'x');
    const std::string container = dir.File("odd.ogg");
    WriteFile(container, ogg);
    format.get()->wFormatTag = 0;
    CSoundFile b(container.c_str(), format.get());
    EXPECT_FALSE(b.IsOK());
    EXPECT_STREQ(b.GetLastErrorText(), "Format unsupported.");
}

TEST_F(SoundFileTest, EmptyOrMissingDataChunkFails) {
    const Bytes fmt = Chunk("fmt ", RecordBytes(PcmFormat(1, 8000, 16)));
    const std::string empty = dir.File("empty.wav");
    WriteFile(empty, RiffWave(fmt + Chunk("data", {})));
    CSoundFile a(empty.c_str(), format.get());
    EXPECT_FALSE(a.IsOK());
    EXPECT_STREQ(a.GetLastErrorText(), "no data in the data chunk");

    const std::string missing = dir.File("missing.wav");
    WriteFile(missing, RiffWave(fmt + Chunk("LIST", Pattern(6))));
    format.get()->wFormatTag = 0;  // the failed open left the file's format in the buffer
    CSoundFile b(missing.c_str(), format.get());
    EXPECT_FALSE(b.IsOK());
    EXPECT_STREQ(b.GetLastErrorText(), "error reading data chunk");
}

TEST_F(SoundFileTest, OddChunksArePaddedAndSkipped) {
    const std::string path = dir.File("odd.wav");
    WriteFile(path, RiffWave(Chunk("LIST", Pattern(3)) + Chunk("fmt ", RecordBytes(PcmFormat(1, 8000, 8))) +
                             Chunk("junk", Pattern(1)) + Chunk("data", Pattern(5))));
    CSoundFile file(path.c_str(), format.get());
    ASSERT_TRUE(file.IsOK()) << file.GetLastErrorText();
    EXPECT_EQ(format.get()->wBitsPerSample, 8);
    EXPECT_EQ(ReadAll(file, 4), Pattern(5));
}

TEST_F(SoundFileTest, ShortFormatChunkGetsZeroExtraSize) {
    Bytes record = RecordBytes(PcmFormat(2, 11025, 16));
    record.resize(16);
    const std::string path = dir.File("short.wav");
    WriteFile(path, RiffWave(Chunk("fmt ", record) + Chunk("data", Pattern(8))));
    std::memset(format.bytes.data(), 0xAB, 32);
    format.get()->wFormatTag = 0;
    CSoundFile file(path.c_str(), format.get());
    ASSERT_TRUE(file.IsOK()) << file.GetLastErrorText();
    EXPECT_EQ(format.get()->cbSize, 0);
    EXPECT_EQ(format.get()->nChannels, 2);
}

// The "fmt " chunk is read only as far as the buffer goes; the record in it must fit.
TEST_F(SoundFileTest, FormatChunkLargerThanTheBufferIsBounded) {
    constexpr std::uint32_t kSmallBuffer = 64;
    WAVEFORMATEX header = PcmFormat(1, 8000, 16);
    header.cbSize = 10;
    Bytes fitting = RecordBytes(header, Pattern(10));
    fitting.resize(100, 0xEE);  // chunk larger than the buffer, record inside it
    const std::string ok = dir.File("ok.wav");
    WriteFile(ok, RiffWave(Chunk("fmt ", fitting) + Chunk("data", Pattern(4))));
    std::vector<std::uint8_t> small(kSmallBuffer + 8, 0x55);
    auto* smallFormat = reinterpret_cast<WAVEFORMATEX*>(small.data());
    smallFormat->wFormatTag = 0;
    {
        CSoundFile file(ok.c_str(), smallFormat, kSmallBuffer);
        ASSERT_TRUE(file.IsOK()) << file.GetLastErrorText();
        EXPECT_EQ(smallFormat->cbSize, 10);
        for (std::size_t i = kSmallBuffer; i < small.size(); ++i) EXPECT_EQ(small[i], 0x55) << "written past the buffer";
    }
    header.cbSize = 82;
    const std::string tooBig = dir.File("big.wav");
    WriteFile(tooBig, RiffWave(Chunk("fmt ", RecordBytes(header, Pattern(82))) + Chunk("data", Pattern(4))));
    smallFormat->wFormatTag = 0;
    CSoundFile file(tooBig.c_str(), smallFormat, kSmallBuffer);
    EXPECT_FALSE(file.IsOK());
    EXPECT_STREQ(file.GetLastErrorText(), "Wave format record larger than the format buffer.");
}

TEST_F(SoundFileTest, InconsistentFormatChunksFail) {
    WAVEFORMATEX header = PcmFormat(1, 8000, 16);
    header.cbSize = 6;  // claims six bytes the chunk does not hold
    const std::string lying = dir.File("lying.wav");
    WriteFile(lying, RiffWave(Chunk("fmt ", RecordBytes(header, Pattern(2))) + Chunk("data", Pattern(4))));
    CSoundFile a(lying.c_str(), format.get());
    EXPECT_FALSE(a.IsOK());
    EXPECT_STREQ(a.GetLastErrorText(), "Error reading PCM wave format record");

    const std::string tiny = dir.File("tiny.wav");
    WriteFile(tiny, RiffWave(Chunk("fmt ", Pattern(12)) + Chunk("data", Pattern(4))));
    format.get()->wFormatTag = 0;
    CSoundFile b(tiny.c_str(), format.get());
    EXPECT_FALSE(b.IsOK());
    EXPECT_STREQ(b.GetLastErrorText(), "Error reading PCM wave format record");
}

TEST_F(SoundFileTest, SizesPastTheEndOfTheFile) {
    const Bytes fmt = Chunk("fmt ", RecordBytes(PcmFormat(1, 8000, 16)));
    // A recording cut short: the data chunk and the RIFF chunk claim more than the file
    // has. The bytes present are read.
    const std::string cut = dir.File("cut.wav");
    WriteFile(cut, RiffWave(fmt + Chunk("data", Pattern(30), 100000, false), 0xFFFFFFF0u));
    CSoundFile a(cut.c_str(), format.get());
    ASSERT_TRUE(a.IsOK()) << a.GetLastErrorText();
    EXPECT_EQ(a.GetDataLength(), 30);
    EXPECT_EQ(ReadAll(a, 7), Pattern(30));

    // A recorder that never finished its header: RIFF size 0, data size 0xFFFFFFFF.
    const std::string unfinished = dir.File("unfinished.wav");
    WriteFile(unfinished, RiffWave(fmt + Chunk("data", Pattern(20), 0xFFFFFFFFu, false), 0));
    format.get()->wFormatTag = 0;
    CSoundFile u(unfinished.c_str(), format.get());
    ASSERT_TRUE(u.IsOK()) << u.GetLastErrorText();
    EXPECT_EQ(ReadAll(u, 8), Pattern(20));

    // A chunk before "fmt " that claims to run past the end hides everything after it.
    const std::string hidden = dir.File("hidden.wav");
    WriteFile(hidden, RiffWave(Chunk("LIST", Pattern(4), 0xFFFFFFFFu, false) + fmt + Chunk("data", Pattern(4))));
    format.get()->wFormatTag = 0;
    CSoundFile b(hidden.c_str(), format.get());
    EXPECT_FALSE(b.IsOK());
    EXPECT_STREQ(b.GetLastErrorText(), "Error descending in wave file");

    // The "fmt " chunk itself cut by the end of the file.
    Bytes truncated = RiffWave(fmt);
    truncated.resize(truncated.size() - 6);
    const std::string cutFormat = dir.File("cutfmt.wav");
    WriteFile(cutFormat, truncated);
    format.get()->wFormatTag = 0;
    CSoundFile c(cutFormat.c_str(), format.get());
    EXPECT_FALSE(c.IsOK());
    EXPECT_STREQ(c.GetLastErrorText(), "Error reading PCM wave format record");
}

TEST_F(SoundFileTest, OpenErrorsAreDescribedAndSentToTheDebugOutput) {
    std::vector<std::string> debugLines;
    SetDebugOutputHook([&](const char* text) { debugLines.emplace_back(text); });
    struct Unhook {
        ~Unhook() { SetDebugOutputHook(nullptr); }
    } unhook;
    const std::string missing = dir.File("none.wav");
    CSoundFile a(missing.c_str(), format.get());
    EXPECT_FALSE(a.IsOK());
    EXPECT_EQ(std::string(a.GetLastErrorText()), "mmioOpen() failed, error:file not found., file name:'" + missing + "'");
    ASSERT_EQ(debugLines.size(), 1u);
    EXPECT_EQ(debugLines[0], a.GetLastErrorText());

    const std::string noFolder = dir.File("nowhere/x.wav");
    CSoundFile b(noFolder.c_str(), format.get());
    EXPECT_NE(std::string(b.GetLastErrorText()).find("error:path not found."), std::string::npos);

    CSoundFile c(dir.Path().c_str(), format.get());
    EXPECT_NE(std::string(c.GetLastErrorText()).find("error:invalid file."), std::string::npos);

    // The kept text is cut to its field; the debug output gets it whole.
    const std::string longName = dir.File(std::string(200, 'n') + ".wav");
    CSoundFile d(longName.c_str(), format.get());
    EXPECT_EQ(std::strlen(d.GetLastErrorText()), CSoundFile::kErrorTextSize - 1);
    EXPECT_GT(debugLines.back().size(), CSoundFile::kErrorTextSize);
}

TEST_F(SoundFileTest, WritingIsRefusedWhenReadingAndReadingWhenWriting) {
    const std::string path = dir.File("w.wav");
    FormatBuffer pcm;
    *pcm.get() = PcmFormat(1, 8000, 16);
    CSoundFile writer(path.c_str(), pcm.get());
    ASSERT_TRUE(writer.IsOK());
    CBuffer buffer(16);
    EXPECT_FALSE(writer.Read(buffer));
    ASSERT_TRUE(writer.Write(Pattern(4).data(), 4));
    writer.Close();
    CSoundFile reader(path.c_str(), format.get());
    ASSERT_TRUE(reader.IsOK());
    EXPECT_FALSE(reader.Write(Pattern(4).data(), 4));
}

}  // namespace
