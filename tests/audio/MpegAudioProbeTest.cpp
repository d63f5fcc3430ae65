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

int FrameLength(const Bytes& header) {
    MpegAudioProbe::FrameHeader h;
    EXPECT_TRUE(MpegAudioProbe::DecodeHeader(header.data(), h));
    return h.frameBytes;
}

// A frame of the header's own length (the given bytes first) and the next frame's
// header: what the probe needs to believe the stream.
Bytes TwoFrames(const Bytes& header, const Bytes& body = {}) {
    Bytes frame = header + body;
    frame.resize(static_cast<std::size_t>(FrameLength(header)), 0);
    return frame + header + Bytes(8, 0);
}

MPEGLAYER3WAVEFORMAT ProbeFormat(const Bytes& data) {
    MpegAudioProbe probe;
    EXPECT_EQ(probe.Probe(data.data(), data.size()), MpegAudioProbe::kOk);
    MPEGLAYER3WAVEFORMAT format{};
    probe.FillFormat(format);
    return format;
}

TEST(MpegAudioProbeTest, MonoMpeg1At128kGivesTheDocumentedRecord) {
    const MPEGLAYER3WAVEFORMAT f = ProbeFormat(TwoFrames(Header(3, 1, 9, 0, true)));
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
        const MPEGLAYER3WAVEFORMAT f = ProbeFormat(TwoFrames(Header(c.version, 1, c.bitRateIndex, c.rateIndex, c.mono)));
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
    const Bytes layer2 = TwoFrames(Header(3, 2, 9, 0, false));
    EXPECT_EQ(probe.Probe(layer2.data(), layer2.size()), MpegAudioProbe::kNotFound);
    EXPECT_EQ(probe.Header().layer, 2);
    EXPECT_EQ(probe.Header().bitRateKbps, 160);
    const Bytes layer1 = TwoFrames(Header(2, 3, 9, 0, false));
    EXPECT_EQ(probe.Probe(layer1.data(), layer1.size()), MpegAudioProbe::kNotFound);
    EXPECT_EQ(probe.Header().bitRateKbps, 144);
}

// Reserved or free-format fields mark a false sync; the scan goes on behind it.
TEST(MpegAudioProbeTest, FalseSyncsAreSkipped) {
    Bytes data = Header(3, 1, 15, 0, true);                      // bit-rate index 15
    data = data + Header(3, 1, 9, 3, true) + Header(3, 0, 9, 0, true) + Header(3, 1, 0, 0, true);
    const std::size_t realAt = data.size();
    data = data + TwoFrames(Header(3, 1, 5, 1, false));
    MpegAudioProbe probe;
    ASSERT_EQ(probe.Probe(data.data(), data.size()), MpegAudioProbe::kOk);
    EXPECT_EQ(probe.FrameOffset(), realAt);
    EXPECT_EQ(probe.Header().bitRateKbps, 64);
}

// A lone header is as likely two sample bytes: only a second header where the first
// frame ends, of the same version, layer and rate, makes a stream.
TEST(MpegAudioProbeTest, ALoneHeaderIsNotMpegAudio) {
    MpegAudioProbe probe;
    const Bytes header = Header(3, 1, 9, 0, true);
    const Bytes two = TwoFrames(header);
    EXPECT_EQ(probe.Probe(two.data(), two.size()), MpegAudioProbe::kOk);
    Bytes lone = header;
    lone.resize(2000, 0);
    EXPECT_EQ(probe.Probe(lone.data(), lone.size()), MpegAudioProbe::kNotFound);
    // The second header must lie whole inside the data.
    const std::size_t second = static_cast<std::size_t>(FrameLength(header));
    EXPECT_EQ(probe.Probe(two.data(), second + 3), MpegAudioProbe::kNotFound);
    EXPECT_EQ(probe.Probe(two.data(), second + 4), MpegAudioProbe::kOk);
    // One frame further or nearer, or another rate behind, is no stream.
    Bytes late = two;
    late.insert(late.begin() + static_cast<std::ptrdiff_t>(second), 0);
    EXPECT_EQ(probe.Probe(late.data(), late.size()), MpegAudioProbe::kNotFound);
    Bytes otherRate = two;
    otherRate[second + 2] = static_cast<std::uint8_t>(otherRate[second + 2] | 1 << 2);
    EXPECT_EQ(probe.Probe(otherRate.data(), otherRate.size()), MpegAudioProbe::kNotFound);
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
        Bytes body(static_cast<std::size_t>(offset - 4), 0);
        const Bytes frame = TwoFrames(Header(version, 1, 9, 0, true), body + XingFields(0xF));
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
    const Bytes header = Header(3, 1, 9, 0, false);
    Bytes frame = header;
    frame.resize(36, 0);
    frame = frame + XingFields(0x7);
    frame.resize(36 + 8 + 8 + 50);
    std::vector<std::uint8_t> exact(frame.begin(), frame.end());  // no slack behind
    MpegAudioProbe::FrameHeader h;
    ASSERT_TRUE(MpegAudioProbe::DecodeHeader(header.data(), h));
    MpegAudioProbe::XingHeader xing;
    ASSERT_TRUE(MpegAudioProbe::ReadXing(exact.data(), exact.size(), h, xing));
    EXPECT_TRUE(xing.present);
    EXPECT_EQ(xing.bytes, 567890u);
    EXPECT_EQ(xing.toc[0], 0);
    EXPECT_EQ(xing.toc[99], 0);
    EXPECT_FALSE(xing.encoderDelayKnown);
}

// The encoder's tag behind the fields gives its delay and padding (12 bits each); only
// the encoders known to write it so are believed, and "Info" is read like "Xing".
TEST(MpegAudioProbeTest, EncoderDelayIsReadFromTheEncodersTag) {
    const Bytes header = Header(2, 1, 8, 0, true);  // MPEG-2 mono: fields 13 bytes in
    MpegAudioProbe::FrameHeader h;
    ASSERT_TRUE(MpegAudioProbe::DecodeHeader(header.data(), h));
    EXPECT_EQ(MpegAudioProbe::SamplesPerFrame(h), 576);
    for (const char* encoder : {"LAME3.100", "Lavc59.37", "Other1.00"}) {
        SCOPED_TRACE(encoder);
        Bytes frame = header + Bytes(9, 0);
        PutId(frame, "Info");
        frame = frame + Bytes{0, 0, 0, 0};  // no fields
        for (const char* c = encoder; *c != '\0'; ++c) frame.push_back(static_cast<std::uint8_t>(*c));
        frame.resize(frame.size() + 12, 0);
        frame = frame + Bytes{0x24, 0x03, 0xA0};  // delay 0x240 = 576, padding 0x3A0 = 928
        MpegAudioProbe::XingHeader xing;
        ASSERT_TRUE(MpegAudioProbe::ReadXing(frame.data(), frame.size(), h, xing));
        const bool known = encoder[0] != 'O';
        EXPECT_EQ(xing.encoderDelayKnown, known);
        EXPECT_EQ(xing.encoderDelay, known ? 576 : 0);
        EXPECT_EQ(xing.encoderPadding, known ? 928 : 0);
        // One byte short of the delays: none.
        EXPECT_TRUE(MpegAudioProbe::ReadXing(frame.data(), frame.size() - 1, h, xing));
        EXPECT_FALSE(xing.encoderDelayKnown);
    }
}

TEST(MpegAudioProbeTest, Id3TagSizesAreSyncSafeAndBounded) {
    const Bytes tag = {'I', 'D', '3', 4, 0, 0, 0, 0, 1, 4};
    EXPECT_EQ(MpegAudioProbe::Id3TagSize(tag.data(), tag.size()), 10u + 132u);
    Bytes footer = tag;
    footer[5] = 0x10;
    EXPECT_EQ(MpegAudioProbe::Id3TagSize(footer.data(), footer.size()), 10u + 132u + 10u);
    const Bytes largest = {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    EXPECT_EQ(MpegAudioProbe::Id3TagSize(largest.data(), largest.size()), 10u + 0x0FFFFFFFu);
    Bytes notSyncSafe = tag;
    notSyncSafe[8] = 0x80;
    EXPECT_EQ(MpegAudioProbe::Id3TagSize(notSyncSafe.data(), notSyncSafe.size()), 0u);
    EXPECT_EQ(MpegAudioProbe::Id3TagSize(tag.data(), 9), 0u);
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
