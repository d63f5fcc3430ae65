#include "audio/CACMBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "CodecFixtures.h"
#include "audio/StreamFormats.h"

#if VORNIX_WITH_FFMPEG
extern "C" {
#include <libavutil/log.h>
}
#endif

using namespace audiotest;

namespace {

#if VORNIX_WITH_FFMPEG

// Opens a conversion buffer on a format; the suggested format is checked on the way.
void Open(CACMBuffer& buffer, const WAVEFORMATEX* format) {
    ASSERT_EQ(buffer.SetSrcFmt(format), acm::kOk);
    WAVEFORMATEX* suggested = nullptr;
    ASSERT_EQ(buffer.GetSuggestFormat(&suggested), acm::kOk);
    ASSERT_NE(suggested, nullptr);
    EXPECT_EQ(suggested->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(suggested->wBitsPerSample, 16);
    EXPECT_EQ(suggested->nChannels, format->nChannels);
    EXPECT_EQ(suggested->nSamplesPerSec, format->nSamplesPerSec);
    EXPECT_EQ(suggested->nBlockAlign, format->nChannels * 2);
    EXPECT_EQ(suggested->nAvgBytesPerSec, format->nSamplesPerSec * format->nChannels * 2);
    ASSERT_EQ(buffer.SetDstFmt(suggested), acm::kOk);
}

Bytes Drain(CACMBuffer& buffer) {
    Bytes out;
    const std::uint8_t* data = nullptr;
    std::int32_t length = 0;
    int r;
    while ((r = buffer.ProcessOutput(&data, &length)) == 0) {
        EXPECT_GT(length, 0);
        out.insert(out.end(), data, data + length);
    }
    EXPECT_EQ(r, -2);
    return out;
}

Bytes AsBytes(const std::vector<std::int16_t>& pcm) {
    Bytes out(pcm.size() * 2);
    std::memcpy(out.data(), pcm.data(), out.size());
    return out;
}

struct CodecCase {
    const char* label;
    const char* encoder;
    std::uint16_t tag;
    int rate;
    int channels;
    std::int64_t bitRate;
    int blockSize;
    double minSnrDb;  // what the codec keeps of the test signal, with a few dB margin
};

void PrintTo(const CodecCase& c, std::ostream* os) { *os << c.label; }

class CodecRoundTripTest : public ::testing::TestWithParam<CodecCase> {
protected:
    void SetUp() override {
        const CodecCase& c = GetParam();
        original = TestSignal(c.rate, c.channels, c.rate / 2);
        if (!Encode(c.encoder, c.tag, c.rate, c.channels, original, stream, c.bitRate, c.blockSize))
            GTEST_SKIP() << "this libavcodec has no " << c.encoder << " encoder";
    }
    std::vector<std::int16_t> original;
    EncodedStream stream;
};

TEST_P(CodecRoundTripTest, ConvertsToPcmThatMatchesTheOriginal) {
    const CodecCase& c = GetParam();
    const auto pcm = ConvertWhole(stream.Format(), stream.data);
    const std::size_t frames = original.size() / c.channels;
    ASSERT_EQ(pcm.size() % c.channels, 0u);
    // Encoders pad the last block or frame and MPEG adds its start-up delay; nothing
    // may be missing.
    EXPECT_GE(pcm.size() / c.channels, frames);
    EXPECT_LE(pcm.size() / c.channels, frames + 4096);
    EXPECT_GE(BestLagSnr(original, pcm, c.channels, 3000, 400), c.minSnrDb);
}

TEST_P(CodecRoundTripTest, AnyCutOfTheInputGivesTheSamePcm) {
    const auto whole = ConvertWhole(stream.Format(), stream.data);
    ASSERT_FALSE(whole.empty());
    EXPECT_EQ(ConvertInPieces(stream.Format(), stream.data, {1}), whole);
    EXPECT_EQ(ConvertInPieces(stream.Format(), stream.data, {3, 1000, 17, 64}), whole);
    std::mt19937 random(GetParam().tag);
    std::vector<std::size_t> pieces(50);
    for (auto& p : pieces) p = 1 + random() % 2500;
    EXPECT_EQ(ConvertInPieces(stream.Format(), stream.data, pieces), whole);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CodecRoundTripTest,
    ::testing::Values(CodecCase{"ALaw", "pcm_alaw", WAVE_FORMAT_ALAW, 8000, 1, 0, 0, 33.0},
                      CodecCase{"MuLawStereo", "pcm_mulaw", WAVE_FORMAT_MULAW, 11025, 2, 0, 0, 33.0},
                      CodecCase{"MsAdpcm", "adpcm_ms", WAVE_FORMAT_ADPCM, 8000, 1, 0, 256, 17.0},
                      CodecCase{"MsAdpcmStereo", "adpcm_ms", WAVE_FORMAT_ADPCM, 22050, 2, 0, 0, 17.0},
                      CodecCase{"ImaAdpcm", "adpcm_ima_wav", WAVE_FORMAT_IMA_ADPCM, 8000, 2, 0, 0, 18.0},
                      CodecCase{"Gsm610", "libgsm_ms", WAVE_FORMAT_GSM610, 8000, 1, 0, 0, 10.0},
                      CodecCase{"Mpeg25Layer3", "libmp3lame", WAVE_FORMAT_MPEGLAYER3, 8000, 1, 16000, 0, 18.0},
                      CodecCase{"Mpeg2Layer3", "libmp3lame", WAVE_FORMAT_MPEGLAYER3, 22050, 1, 64000, 0, 18.0},
                      CodecCase{"Mpeg1Layer3", "libmp3lame", WAVE_FORMAT_MPEGLAYER3, 44100, 2, 128000, 0, 18.0}),
    [](const auto& info) { return std::string(info.param.label); });

// The list's own ADPCM record (index 53: 256-byte blocks, the standard coefficients)
// decodes what an independent encoder made with that block size.
TEST(ConversionBufferTest, ListRecordsDecodeIndependentStreams) {
    const auto original = TestSignal(8000, 1, 4000);
    for (const auto& [index, encoder, blockSize] :
         {std::tuple{53, "adpcm_ms", 256}, std::tuple{61, "libgsm_ms", 0}}) {
        SCOPED_TRACE(index);
        std::vector<std::uint8_t> record;
        ASSERT_EQ(SpConvertStreamFormatEnum(index, &record), S_OK);
        EncodedStream stream;
        if (!Encode(encoder, 0, 8000, 1, original, stream, 0, blockSize)) GTEST_SKIP();
        ASSERT_EQ(stream.Format()->nBlockAlign, reinterpret_cast<WAVEFORMATEX*>(record.data())->nBlockAlign);
        const auto pcm = ConvertWhole(reinterpret_cast<WAVEFORMATEX*>(record.data()), stream.data);
        EXPECT_GE(pcm.size(), original.size());
        EXPECT_GE(BestLagSnr(original, pcm, 1, 10, 400), 10.0);
    }
}

// No TrueSpeech encoder exists here: a hand-made stream of arbitrary 32-byte blocks
// checks the plumbing against libavcodec's decoder fed directly, block by block.
TEST(ConversionBufferTest, TrueSpeechBlocksDecodeLikeTheDecoderFedDirectly) {
    std::vector<std::uint8_t> record;
    ASSERT_EQ(SpConvertStreamFormatEnum(36, &record), S_OK);
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(record.data());
    Bytes data(32 * 25);
    std::mt19937 random(36);
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    data.push_back(0x55);  // a partial block that must wait for more input
    const auto pcm = ConvertWhole(format, data);
    EXPECT_EQ(pcm.size(), 240u * 25);
    EXPECT_EQ(pcm, DecodeBlocksDirectly(format, data));
    EXPECT_EQ(ConvertInPieces(format, data, {5, 31, 33, 64}), pcm);
}

// A tag in front of the first frame is passed over whole, wherever the input is cut.
TEST(ConversionBufferTest, MpegAudioAfterAnId3TagDecodesAsWithout) {
    const auto original = TestSignal(22050, 1, 11025);
    EncodedStream stream;
    if (!Encode("libmp3lame", WAVE_FORMAT_MPEGLAYER3, 22050, 1, original, stream, 64000)) GTEST_SKIP();
    Bytes tag = {'I', 'D', '3', 4, 0, 0, 0, 0, 1, 4};  // 132 bytes of tag body
    for (int i = 0; i < 33; ++i) tag = tag + Bytes{0xFF, 0xFB, 0x90, 0xC0};  // false frame headers
    const auto plain = ConvertWhole(stream.Format(), stream.data);
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(ConvertWhole(stream.Format(), tag + stream.data), plain);
    EXPECT_EQ(ConvertInPieces(stream.Format(), tag + stream.data, {1, 2, 5, 140}), plain);
}

// A codec that the stream cannot be cut for deterministically (no block size and no
// frame headers of ours to find) is refused rather than decoded differently per cut.
TEST(ConversionBufferTest, CodecsWithoutABlockSizeAreRefused) {
    WAVEFORMATEX g723{};
    g723.wFormatTag = 0x0111;
    g723.nChannels = 1;
    g723.nSamplesPerSec = 8000;
    g723.nAvgBytesPerSec = 800;
    g723.nBlockAlign = 24;
    CACMBuffer buffer;
    ASSERT_EQ(buffer.SetSrcFmt(&g723), acm::kOk);
    WAVEFORMATEX* suggested = nullptr;
    EXPECT_EQ(buffer.GetSuggestFormat(&suggested), acm::kOk);
    g723.nBlockAlign = 0;
    ASSERT_EQ(buffer.SetSrcFmt(&g723), acm::kOk);
    EXPECT_EQ(buffer.GetSuggestFormat(&suggested), acm::kNotPossible);
}

// Plain sample formats the runs do not read directly go through the codec layer too:
// the extensible record and 24-bit samples become 16-bit by dropping the low byte.
TEST(ConversionBufferTest, ExtensibleAndWidePcmAreNarrowedToSixteenBits) {
    WAVEFORMATEX header{};
    header.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    header.nChannels = 2;
    header.nSamplesPerSec = 8000;
    header.wBitsPerSample = 24;
    header.nBlockAlign = 6;
    header.nAvgBytesPerSec = 48000;
    header.cbSize = 22;
    Bytes extra = {24, 0, 3, 0, 0, 0, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const Bytes record = RecordBytes(header, extra);
    const Bytes data = {0x56, 0x34, 0x12, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00};
    const std::vector<std::int16_t> expected = {0x1234, -32768, 0x7FFF, 0};
    EXPECT_EQ(ConvertWhole(reinterpret_cast<const WAVEFORMATEX*>(record.data()), data), expected);
    header.wFormatTag = WAVE_FORMAT_PCM;
    header.cbSize = 0;
    EXPECT_EQ(ConvertWhole(&header, data), expected);
}

class ConversionBufferSizesTest : public ::testing::Test {
protected:
    void SetUp() override {
        original = TestSignal(8000, 1, 8000);
        if (!Encode("adpcm_ms", WAVE_FORMAT_ADPCM, 8000, 1, original, stream, 0, 256)) GTEST_SKIP();
        whole = AsBytes(ConvertWhole(stream.Format(), stream.data));
    }
    std::vector<std::int16_t> original;
    EncodedStream stream;
    Bytes whole;
};

TEST_F(ConversionBufferSizesTest, PreparingAgainForTheSameOrASmallerSizeIsANoOp) {
    CACMBuffer buffer;
    Open(buffer, stream.Format());
    const std::int32_t destLength = buffer.PrepareHeader(1000, 0);
    EXPECT_GT(destLength, 0);
    EXPECT_EQ(buffer.GetSourceCapacity(), 1500u);
    EXPECT_EQ(buffer.GetDestLength(), static_cast<std::size_t>(destLength));
    EXPECT_EQ(buffer.PrepareHeader(1000, 0), 0);
    EXPECT_EQ(buffer.PrepareHeader(999, 0), 0);
    EXPECT_EQ(buffer.GetSourceCapacity(), 1500u);
    EXPECT_GT(buffer.PrepareHeader(2000, 0), 0);
    EXPECT_EQ(buffer.GetSourceCapacity(), 3000u);
    EXPECT_EQ(buffer.GetPreparedSize(), 2000);
}

TEST_F(ConversionBufferSizesTest, PreparingByDestinationSizeReturnsTheSourceSize) {
    CACMBuffer buffer;
    Open(buffer, stream.Format());
    const std::int32_t source = buffer.PrepareHeader(0, 8192);
    EXPECT_GT(source, 0);
    EXPECT_EQ(source, static_cast<std::int32_t>(buffer.GetSourceCapacity() / 1.5));
    EXPECT_EQ(buffer.GetDestLength(), 8192u);
}

TEST_F(ConversionBufferSizesTest, BadRequestsAreRefused) {
    CACMBuffer buffer;
    EXPECT_EQ(buffer.PrepareHeader(100, 0), -acm::kInvalidHandle);
    EXPECT_EQ(buffer.ProcessInput(stream.data.data(), 10), acm::kInvalidHandle);
    Open(buffer, stream.Format());
    EXPECT_EQ(buffer.ProcessInput(stream.data.data(), 10), acm::kUnprepared);
    EXPECT_EQ(buffer.GetLastResult(), acm::kUnprepared);
    EXPECT_EQ(buffer.PrepareHeader(0, 0), -acm::kInvalidParam);
    EXPECT_EQ(buffer.PrepareHeader(10, 10), -acm::kInvalidParam);
    EXPECT_EQ(buffer.PrepareHeader(-5, 0), -acm::kInvalidParam);
    ASSERT_GT(buffer.PrepareHeader(100, 0), 0);
    EXPECT_EQ(buffer.ProcessInput(nullptr, 10), acm::kInvalidParam);
    EXPECT_EQ(buffer.ProcessInput(stream.data.data(), -1), acm::kInvalidParam);
}

// A chunk larger than the free source space is taken whole: nothing is dropped.
TEST_F(ConversionBufferSizesTest, InputLargerThanTheSourceBufferIsKeptWhole) {
    CACMBuffer buffer;
    Open(buffer, stream.Format());
    ASSERT_GT(buffer.PrepareHeader(100, 0), 0);
    ASSERT_EQ(buffer.ProcessInput(stream.data.data(), static_cast<std::int32_t>(stream.data.size())), 0);
    EXPECT_EQ(Drain(buffer), whole);
}

// A part block waiting in the source buffer survives a resize for a larger chunk.
TEST_F(ConversionBufferSizesTest, PartBlockSurvivesALargerPrepare) {
    CACMBuffer buffer;
    Open(buffer, stream.Format());
    ASSERT_GT(buffer.PrepareHeader(100, 0), 0);
    ASSERT_EQ(buffer.ProcessInput(stream.data.data(), 100), 0);
    EXPECT_TRUE(Drain(buffer).empty());
    EXPECT_EQ(buffer.GetSourceFill(), 100u);
    const auto rest = static_cast<std::int32_t>(stream.data.size() - 100);
    ASSERT_GT(buffer.PrepareHeader(rest, 0), 0);
    EXPECT_EQ(buffer.GetSourceFill(), 100u);
    ASSERT_EQ(buffer.ProcessInput(stream.data.data() + 100, rest), 0);
    EXPECT_EQ(Drain(buffer), whole);
}

// With a destination smaller than one block's PCM, the output comes in pieces that
// never exceed it, and together they are the whole.
TEST_F(ConversionBufferSizesTest, SmallDestinationHandsOutPcmInPieces) {
    CACMBuffer buffer;
    Open(buffer, stream.Format());
    ASSERT_GT(buffer.PrepareHeader(0, 64), 0);
    ASSERT_EQ(buffer.ProcessInput(stream.data.data(), static_cast<std::int32_t>(stream.data.size())), 0);
    Bytes out;
    const std::uint8_t* data = nullptr;
    std::int32_t length = 0;
    while (buffer.ProcessOutput(&data, &length) == 0) {
        EXPECT_LE(length, 64);
        out.insert(out.end(), data, data + length);
    }
    EXPECT_EQ(out, whole);
}

// Feeding more input before the pending output is taken must not overwrite it.
TEST_F(ConversionBufferSizesTest, PendingOutputIsNotOverwrittenByMoreInput) {
    CACMBuffer buffer;
    Open(buffer, stream.Format());
    ASSERT_GT(buffer.PrepareHeader(512, 0), 0);
    ASSERT_EQ(buffer.ProcessInput(stream.data.data(), 512), 0);
    ASSERT_EQ(buffer.ProcessInput(stream.data.data() + 512, 512), 0);
    const Bytes out = Drain(buffer);
    EXPECT_EQ(out, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(out.size())));
    EXPECT_EQ(out.size(), 4u * 500 * 2);
}

TEST(ConversionBufferTest, FormatsThatCannotBeConvertedAreRefused) {
    CACMBuffer buffer;
    WAVEFORMATEX* suggested = nullptr;
    EXPECT_EQ(buffer.GetSuggestFormat(&suggested), acm::kInvalidParam);
    WAVEFORMATEX unknown = PcmFormat(1, 8000, 16);
    unknown.wFormatTag = 0xBEEF;
    ASSERT_EQ(buffer.SetSrcFmt(&unknown), acm::kOk);
    EXPECT_EQ(buffer.GetSuggestFormat(&suggested), acm::kNotPossible);

    std::vector<std::uint8_t> record;
    ASSERT_EQ(SpConvertStreamFormatEnum(37, &record), S_OK);
    auto* alaw = reinterpret_cast<WAVEFORMATEX*>(record.data());
    alaw->nChannels = 0;
    ASSERT_EQ(buffer.SetSrcFmt(alaw), acm::kOk);
    EXPECT_EQ(buffer.GetSuggestFormat(&suggested), acm::kNotPossible);

    alaw->nChannels = 1;
    ASSERT_EQ(buffer.SetSrcFmt(alaw), acm::kOk);
    WAVEFORMATEX eightBit = PcmFormat(1, 8000, 8);
    EXPECT_EQ(buffer.SetDstFmt(&eightBit), acm::kNotPossible);
    EXPECT_EQ(buffer.GetLastResult(), acm::kNotPossible);

    // TrueSpeech is mono only; the decoder refuses a stereo record when opened.
    ASSERT_EQ(SpConvertStreamFormatEnum(36, &record), S_OK);
    auto* trueSpeech = reinterpret_cast<WAVEFORMATEX*>(record.data());
    trueSpeech->nChannels = 2;
    ASSERT_EQ(buffer.SetSrcFmt(trueSpeech), acm::kOk);
    ASSERT_EQ(buffer.GetSuggestFormat(&suggested), acm::kOk);
    EXPECT_EQ(buffer.SetDstFmt(suggested), acm::kNotPossible);
}

// Damaged streams give some PCM or none, never a failure that stops the run.
TEST(ConversionBufferTest, GarbageInputIsSkippedNotFatal) {
    av_log_set_level(AV_LOG_QUIET);
    Bytes garbage(20000);
    std::mt19937 random(7);
    for (auto& b : garbage) b = static_cast<std::uint8_t>(random());
    for (int index : {36, 44, 53, 61, 64}) {
        std::vector<std::uint8_t> record;
        ASSERT_EQ(SpConvertStreamFormatEnum(index, &record), S_OK);
        const auto* format = reinterpret_cast<const WAVEFORMATEX*>(record.data());
        EXPECT_EQ(ConvertInPieces(format, garbage, {777}), ConvertWhole(format, garbage)) << index;
    }
    MPEGLAYER3WAVEFORMAT mp3{};
    mp3.wfx = WAVEFORMATEX{WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16000, 1, 0, 12};
    ConvertInPieces(&mp3.wfx, garbage, {1000});
    av_log_set_level(AV_LOG_INFO);
}

#else

TEST(ConversionBufferTest, WithoutTheCodecLibraryCompressedFormatsAreRefused) {
    std::vector<std::uint8_t> record;
    ASSERT_EQ(SpConvertStreamFormatEnum(37, &record), S_OK);
    CACMBuffer buffer;
    ASSERT_EQ(buffer.SetSrcFmt(reinterpret_cast<WAVEFORMATEX*>(record.data())), acm::kOk);
    WAVEFORMATEX* suggested = nullptr;
    EXPECT_EQ(buffer.GetSuggestFormat(&suggested), acm::kNotPossible);
}

#endif

}  // namespace
