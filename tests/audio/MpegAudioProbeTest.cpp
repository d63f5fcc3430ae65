#include "audio/MpegAudioProbe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "AudioTestSupport.h"
#include "audio/CSoundFile.h"

using namespace audiotest;

namespace {

// A frame header: version bits (3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5), layer bits (1 = III,
// 2 = II, 3 = I), bit-rate index, sampling-rate index, mono or stereo.
Bytes Header(int version, int layer, int bitRateIndex, int rateIndex, bool mono) {
    return Bytes{0xFF, static_cast<std::uint8_t>(0xE0 | version << 3 | layer << 1 | 1),
                 static_cast<std::uint8_t>(bitRateIndex << 4 | rateIndex << 2),
                 static_cast<std::uint8_t>(mono ? 0xC0 : 0x00)};
}

Bytes Frame(const Bytes& header, std::size_t size = 200) {
    Bytes frame = header;
    frame.resize(size, 0);
    return frame;
}

MPEGLAYER3WAVEFORMAT ProbeFormat(const Bytes& data) {
    MpegAudioProbe probe;
    EXPECT_EQ(probe.Probe(data.data(), data.size()), MpegAudioProbe::kOk);
    MPEGLAYER3WAVEFORMAT format{};
    probe.FillFormat(format);
    return format;
}

TEST(MpegAudioProbeTest, MonoMpeg1At128kGivesTheDocumentedRecord) {
    const MPEGLAYER3WAVEFORMAT f = ProbeFormat(Frame(Header(3, 1, 9, 0, true)));
    EXPECT_EQ(f.wfx.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(f.wfx.nChannels, 1);
    EXPECT_EQ(f.wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(f.wfx.nBlockAlign, 1);
    EXPECT_EQ(f.wfx.wBitsPerSample, 0);
    EXPECT_EQ(f.wfx.cbSize, 12);
    EXPECT_EQ(f.wID, 1);
    EXPECT_EQ(f.fdwFlags, 2u);
    EXPECT_EQ(f.nBlockSize, 416);
    EXPECT_EQ(f.nFramesPerBlock, 1);
    EXPECT_EQ(f.nCodecDelay, 1393);
}

// Each version reads its own bit-rate and sampling-rate tables; nBlockSize follows the
// frame length of the stream.
TEST(MpegAudioProbeTest, VersionsUseTheirOwnTables) {
    struct Case {
        int version, bitRateIndex, rateIndex;
        bool mono;
        std::uint32_t rate, byteRate;
        std::uint16_t channels, blockSize;
    };
    const Case cases[] = {
        {3, 14, 2, false, 32000, 40000, 2, 1440},  // MPEG-1 320 kbit/s
        {3, 1, 1, true, 48000, 4000, 1, 95},       // MPEG-1 32 kbit/s: 2293.2 / (48000*16/32000)
        {2, 8, 0, false, 22050, 8000, 2, 208},     // MPEG-2 64 kbit/s
        {2, 14, 2, true, 16000, 20000, 1, 720},    // MPEG-2 160 kbit/s
        {2, 4, 1, true, 24000, 4000, 1, 96},       // MPEG-2 32 kbit/s at 24000 Hz
        {0, 1, 2, true, 8000, 1000, 1, 72},        // MPEG-2.5 8 kbit/s
        {0, 2, 1, false, 12000, 2000, 2, 96},      // MPEG-2.5 16 kbit/s at 12000 Hz
        {0, 3, 0, true, 11025, 3000, 1, 156},      // MPEG-2.5 24 kbit/s
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const MPEGLAYER3WAVEFORMAT f = ProbeFormat(Frame(Header(c.version, 1, c.bitRateIndex, c.rateIndex, c.mono)));
        EXPECT_EQ(f.wfx.nSamplesPerSec, c.rate);
        EXPECT_EQ(f.wfx.nAvgBytesPerSec, c.byteRate);
        EXPECT_EQ(f.wfx.nChannels, c.channels);
        EXPECT_EQ(f.nBlockSize, c.blockSize);
    }
}

// Frame lengths cut an MPEG stream into packets for the codec layer.
TEST(MpegAudioProbeTest, FrameLengthsPerLayerAndVersion) {
    auto bytes = [](Bytes header, bool padding) {
        if (padding) header[2] |= 2;
        MpegAudioProbe::FrameHeader h;
        EXPECT_TRUE(MpegAudioProbe::DecodeHeader(header.data(), h));
        return h.frameBytes;
    };
    EXPECT_EQ(bytes(Header(3, 1, 9, 0, true), false), 417);   // 144 x 128000 / 44100
    EXPECT_EQ(bytes(Header(3, 1, 9, 0, true), true), 418);
    EXPECT_EQ(bytes(Header(2, 1, 8, 0, false), false), 208);  // 72 x 64000 / 22050
    EXPECT_EQ(bytes(Header(0, 1, 1, 2, true), false), 72);    // 72 x 8000 / 8000
    EXPECT_EQ(bytes(Header(3, 2, 10, 1, false), false), 576); // layer II, 192 kbit/s at 48000 Hz
    EXPECT_EQ(bytes(Header(3, 3, 1, 0, false), true), 36);    // layer I: (8 + 1) slots of 4 bytes
}

TEST(MpegAudioProbeTest, OnlyLayerThreeIsAccepted) {
    MpegAudioProbe probe;
    const Bytes layer2 = Frame(Header(3, 2, 9, 0, false));
    EXPECT_EQ(probe.Probe(layer2.data(), layer2.size()), MpegAudioProbe::kNotFound);
    EXPECT_EQ(probe.Header().layer, 2);
    EXPECT_EQ(probe.Header().bitRateKbps, 160);
    const Bytes layer1 = Frame(Header(2, 3, 9, 0, false));
    EXPECT_EQ(probe.Probe(layer1.data(), layer1.size()), MpegAudioProbe::kNotFound);
    EXPECT_EQ(probe.Header().bitRateKbps, 144);
}

// Reserved or free-format fields mark a false sync; the scan goes on behind it.
TEST(MpegAudioProbeTest, FalseSyncsAreSkipped) {
    Bytes data = Header(3, 1, 15, 0, true);                      // bit-rate index 15
    data = data + Header(3, 1, 9, 3, true) + Header(3, 0, 9, 0, true) + Header(3, 1, 0, 0, true);
    const std::size_t realAt = data.size();
    data = data + Frame(Header(3, 1, 5, 1, false));
    MpegAudioProbe probe;
    ASSERT_EQ(probe.Probe(data.data(), data.size()), MpegAudioProbe::kOk);
    EXPECT_EQ(probe.FrameOffset(), realAt);
    EXPECT_EQ(probe.Header().bitRateKbps, 64);
}

TEST(MpegAudioProbeTest, AHeaderInTheLastFourBytesIsNotFound) {
    MpegAudioProbe probe;
    const Bytes exact = Header(3, 1, 9, 0, true);
    EXPECT_EQ(probe.Probe(exact.data(), exact.size()), MpegAudioProbe::kNotFound);
    const Bytes oneMore = exact + Bytes{0};
    EXPECT_EQ(probe.Probe(oneMore.data(), oneMore.size()), MpegAudioProbe::kOk);
    const Bytes tail = Bytes{1, 2, 3} + exact;
    EXPECT_EQ(probe.Probe(tail.data(), tail.size()), MpegAudioProbe::kNotFound);
}

Bytes XingFields(std::uint32_t flags) {
    Bytes out;
    PutId(out, "Xing");
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(flags >> shift));
    for (std::uint32_t v : {1234u, 567890u}) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    for (int i = 0; i < 100; ++i) out.push_back(static_cast<std::uint8_t>(i));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(80u >> shift));
    return out;
}

TEST(MpegAudioProbeTest, XingHeaderIsReadAtItsOffset) {
    // MPEG-1 mono keeps it 21 bytes into the frame, MPEG-2 mono 13.
    for (const auto& [version, offset] : {std::pair{3, 21}, std::pair{2, 13}}) {
        Bytes frame = Header(version, 1, 9, 0, true);
        frame.resize(offset, 0);
        frame = frame + XingFields(0xF) + Bytes(40, 0);
        MpegAudioProbe probe;
        ASSERT_EQ(probe.Probe(frame.data(), frame.size()), MpegAudioProbe::kOk);
        const auto& x = probe.Xing();
        EXPECT_TRUE(x.present);
        EXPECT_EQ(x.frames, 1234u);
        EXPECT_EQ(x.bytes, 567890u);
        EXPECT_EQ(x.toc[99], 99);
        EXPECT_EQ(x.quality, 80u);
    }
}

// The fields are read only as far as the data goes: a table of contents cut by the end
// of the probed block is left out rather than read past it.
TEST(MpegAudioProbeTest, CutXingHeaderIsReadOnlyAsFarAsTheData) {
    Bytes frame = Header(3, 1, 9, 0, false);
    frame.resize(36, 0);
    frame = frame + XingFields(0x7);
    frame.resize(36 + 8 + 8 + 50);
    std::vector<std::uint8_t> exact(frame.begin(), frame.end());  // no slack behind
    MpegAudioProbe probe;
    ASSERT_EQ(probe.Probe(exact.data(), exact.size()), MpegAudioProbe::kOk);
    EXPECT_TRUE(probe.Xing().present);
    EXPECT_EQ(probe.Xing().bytes, 567890u);
    EXPECT_EQ(probe.Xing().toc[0], 0);
    EXPECT_EQ(probe.Xing().toc[99], 0);
}

TEST(MpegAudioProbeTest, FilesAreProbedAndReadFromTheirStart) {
    TempDir dir;
    Bytes data = Bytes{'I', 'D', '3', 0} + Frame(Header(3, 1, 9, 0, true), 417) + Frame(Header(3, 1, 9, 0, true), 417);
    const std::string mp3 = dir.File("song.mp3");
    WriteFile(mp3, data);
    std::vector<std::uint8_t> buffer(g_dwmax_format_size, 0);
    auto* format = reinterpret_cast<WAVEFORMATEX*>(buffer.data());
    CSoundFile file(mp3.c_str(), format);
    ASSERT_TRUE(file.IsOK()) << file.GetLastErrorText();
    EXPECT_EQ(file.GetFileKind(), CSoundFile::kKindMpegLayer3);
    EXPECT_EQ(file.GetDataLength(), static_cast<std::int64_t>(data.size()));
    MPEGLAYER3WAVEFORMAT record;
    std::memcpy(&record, buffer.data(), sizeof record);
    EXPECT_EQ(record.nBlockSize, 416);
    CBuffer chunk(static_cast<std::uint32_t>(data.size()));
    ASSERT_TRUE(file.Read(chunk));
    EXPECT_EQ(Bytes(chunk.Data(), chunk.Data() + chunk.Length()), data);

    const std::string mp2 = dir.File("song.mp2");
    WriteFile(mp2, Frame(Header(3, 2, 9, 0, false), 500));
    format->wFormatTag = 0;
    CSoundFile layer2(mp2.c_str(), format);
    EXPECT_FALSE(layer2.IsOK());
    EXPECT_STREQ(layer2.GetLastErrorText(), "Error descending into file.");
}

}  // namespace
