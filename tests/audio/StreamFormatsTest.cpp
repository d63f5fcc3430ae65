#include "audio/StreamFormats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio/CodecStream.h"
#include "audio/FormatNames.h"
#include "audio/WaveFormatSelection.h"

namespace {

std::vector<std::uint8_t> Entry(int index) {
    std::vector<std::uint8_t> record;
    EXPECT_EQ(SpConvertStreamFormatEnum(index, &record), S_OK) << index;
    return record;
}

WAVEFORMATEX HeaderOf(const std::vector<std::uint8_t>& record) {
    WAVEFORMATEX header{};
    std::memcpy(&header, record.data(), sizeof header);
    return header;
}

std::string Hex(const std::vector<std::uint8_t>& record) {
    return WaveFmtToString(reinterpret_cast<const WAVEFORMATEX*>(record.data()), record.size());
}

TEST(StreamFormatListTest, PcmEntriesFollowTheirIndexBits) {
    EXPECT_EQ(Hex(Entry(2)), "01000100401f0000803e0000020010000000");
    const WAVEFORMATEX stereo = HeaderOf(Entry(3));
    EXPECT_EQ(stereo.nSamplesPerSec, 8000u);
    EXPECT_EQ(stereo.nChannels, 2);
    EXPECT_EQ(stereo.nBlockAlign, 4);
    EXPECT_EQ(stereo.nAvgBytesPerSec, 32000u);
    const WAVEFORMATEX first = HeaderOf(Entry(0));
    EXPECT_EQ(first.nBlockAlign, 1);
    EXPECT_EQ(first.wBitsPerSample, 8);
    const WAVEFORMATEX last = HeaderOf(Entry(35));
    EXPECT_EQ(last.nSamplesPerSec, 48000u);
    EXPECT_EQ(last.nAvgBytesPerSec, 192000u);
    EXPECT_EQ(HeaderOf(Entry(17)).nSamplesPerSec, 22050u);
}

TEST(StreamFormatListTest, CompressedEntriesAreReproducedExactly) {
    EXPECT_EQ(Hex(Entry(36)),
              "22000100401f00002b040000200001002000"
              "0100f00000000000000000000000000000000000000000000000000000000000");
    EXPECT_EQ(Hex(Entry(53)),
              "02000100401f000000100000000104002000"
              "f4010700" "00010000" "000200ff" "00000000" "c0004000" "f0000000" "cc0130ff" "880118ff");
    const WAVEFORMATEX adpcm = HeaderOf(Entry(60));
    EXPECT_EQ(adpcm.nSamplesPerSec, 44100u);
    EXPECT_EQ(adpcm.nChannels, 2);
    EXPECT_EQ(adpcm.nAvgBytesPerSec, 44359u);
    EXPECT_EQ(adpcm.nBlockAlign, 2048);
    const auto adpcmRecord = Entry(60);
    EXPECT_EQ(adpcmRecord[18] | adpcmRecord[19] << 8, 2036);

    const WAVEFORMATEX alaw = HeaderOf(Entry(44));
    EXPECT_EQ(alaw.wFormatTag, WAVE_FORMAT_ALAW);
    EXPECT_EQ(alaw.nSamplesPerSec, 44100u);
    EXPECT_EQ(alaw.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(alaw.nBlockAlign, 2);
    EXPECT_EQ(HeaderOf(Entry(45)).wFormatTag, WAVE_FORMAT_MULAW);
    EXPECT_EQ(Hex(Entry(62)), "31000100112b0000bf08000041000000020040" "01");
    EXPECT_EQ(HeaderOf(Entry(64)).nAvgBytesPerSec, 8957u);
}

// Every list entry survives its text form, and the codec layer converts every
// compressed one: a host can pick any index and stream it.
TEST(StreamFormatListTest, EveryEntryRoundTripsAndConverts) {
    for (int i = 0; i < kStreamFormatCount; ++i) {
        SCOPED_TRACE(i);
        const auto record = Entry(i);
        const WAVEFORMATEX header = HeaderOf(record);
        ASSERT_EQ(record.size(), WaveFormatSize(header));
        std::vector<std::uint8_t> decoded(g_dwmax_format_size, 0xCC);
        ASSERT_EQ(StringToWaveFmt(Hex(record), decoded.data(), decoded.size()), S_OK);
        EXPECT_EQ(std::memcmp(decoded.data(), record.data(), record.size()), 0);
        EXPECT_EQ(decoded[record.size()], 0xCC);
#if VORNIX_WITH_FFMPEG
        if (header.wFormatTag != WAVE_FORMAT_PCM) {
            EXPECT_TRUE(CodecStream::CanDecode(header));
        }
#endif
    }
}

TEST(StreamFormatListTest, IndicesOutsideTheListAreRefused) {
    std::vector<std::uint8_t> record{1, 2, 3};
    EXPECT_EQ(SpConvertStreamFormatEnum(-1, &record), E_INVALIDARG);
    EXPECT_EQ(SpConvertStreamFormatEnum(65, &record), E_INVALIDARG);
    EXPECT_EQ(record.size(), 3u);
    EXPECT_EQ(SpConvertStreamFormatEnum(0, nullptr), E_INVALIDARG);
}

TEST(StringToWaveFmtTest, PairsMayCarryWhiteSpaceAndAnOddTailIsIgnored) {
    std::uint8_t record[4] = {9, 9, 9, 9};
    ASSERT_EQ(StringToWaveFmt(" fA 0b7", record, sizeof record), S_OK);
    EXPECT_EQ(record[0], 0x0F);
    EXPECT_EQ(record[1], 0x0A);
    EXPECT_EQ(record[2], 0x0B);
    EXPECT_EQ(record[3], 9);
}

TEST(StringToWaveFmtTest, InvalidTextLeavesTheRecordUntouched) {
    std::uint8_t record[3] = {7, 7, 7};
    EXPECT_EQ(StringToWaveFmt("01zz02", record, sizeof record), E_INVALIDARG);
    EXPECT_EQ(StringToWaveFmt("01  ", record, sizeof record), E_INVALIDARG);
    EXPECT_EQ(StringToWaveFmt("0x10", record, sizeof record), E_INVALIDARG);
    EXPECT_EQ(StringToWaveFmt("01020304", record, sizeof record), E_INVALIDARG);
    EXPECT_EQ(record[0], 7);
    EXPECT_EQ(StringToWaveFmt("00", nullptr, 1), E_POINTER);
}

class WaveFormatSelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto pcm = Entry(2);
        std::memcpy(buffer.data(), pcm.data(), pcm.size());
    }
    WAVEFORMATEX* Format() { return reinterpret_cast<WAVEFORMATEX*>(buffer.data()); }
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(g_dwmax_format_size, 0);
    WaveFormatSelection selection{reinterpret_cast<WAVEFORMATEX*>(buffer.data())};
};

TEST_F(WaveFormatSelectionTest, IndexSelectsTheListEntry) {
    EXPECT_EQ(selection.WaveFormatIndex(), 2);
    EXPECT_EQ(selection.WaveFormatID(), "01000100401f0000803e0000020010000000");
    ASSERT_EQ(selection.WaveFormatIndex(3), S_OK);
    EXPECT_EQ(Format()->nBlockAlign, 4);
    EXPECT_EQ(Format()->nAvgBytesPerSec, 32000u);
    EXPECT_EQ(selection.WaveFormatID(), "01000200401f0000007d0000040010000000");
    ASSERT_EQ(selection.WaveFormatIndex(2), S_OK);
    EXPECT_EQ(selection.WaveFormatID(), "01000100401f0000803e0000020010000000");
}

TEST_F(WaveFormatSelectionTest, IndicesAboveTheListAndNegativeOnesChangeNothing) {
    const auto before = buffer;
    EXPECT_EQ(selection.WaveFormatIndex(66), E_INVALIDARG);
    EXPECT_EQ(selection.WaveFormatIndex(-1), E_INVALIDARG);
    EXPECT_EQ(selection.WaveFormatIndex(), 2);
    ASSERT_EQ(selection.WaveFormatIndex(65), S_OK);
    EXPECT_EQ(selection.WaveFormatIndex(), 65);
    EXPECT_EQ(buffer, before);
}

TEST_F(WaveFormatSelectionTest, IdentifierIsIgnoredUnlessItHoldsAWholeRecord) {
    using R = WaveFormatSelection::IdResult;
    EXPECT_EQ(selection.WaveFormatID(nullptr), R::Ignored);
    EXPECT_EQ(selection.WaveFormatID("01000100401f0000803e00000200100000"), R::Ignored);  // 34 characters
    EXPECT_EQ(selection.WaveFormatID(std::string(2 * g_dwmax_format_size + 2, '0').c_str()), R::Ignored);
    // cbSize 4 with only two extra bytes supplied.
    EXPECT_EQ(selection.WaveFormatID("01000100401f0000803e00000200100004000102"), R::Ignored);
    EXPECT_EQ(selection.WaveFormatIndex(), 2);
    EXPECT_EQ(selection.WaveFormatID(), "01000100401f0000803e0000020010000000");
}

TEST_F(WaveFormatSelectionTest, ValidIdentifierIsReadBackAsSet) {
    const std::string text = "01000200112B000044AC0000040010000000";  // 11025 Hz stereo, as typed
    ASSERT_EQ(selection.WaveFormatID(text.c_str()), WaveFormatSelection::IdResult::Applied);
    EXPECT_EQ(selection.WaveFormatIndex(), 65);
    EXPECT_EQ(Format()->nSamplesPerSec, 11025u);
    EXPECT_EQ(selection.WaveFormatID(), text);
}

TEST_F(WaveFormatSelectionTest, NonHexadecimalIdentifierIsAnErrorThatChangesNothing) {
    const auto before = buffer;
    EXPECT_EQ(selection.WaveFormatID("01000100401f0000803e00000200100000zz"),
              WaveFormatSelection::IdResult::NotHexadecimal);
    EXPECT_EQ(buffer, before);
    EXPECT_EQ(selection.WaveFormatIndex(), 2);
}

TEST_F(WaveFormatSelectionTest, DescriptionFollowsTheFormat) {
    EXPECT_EQ(selection.WaveFormatCodecDesc(), "PCM 8.000 kHz, 16 Bit, Mono");
    ASSERT_EQ(selection.WaveFormatIndex(39), S_OK);
#if VORNIX_WITH_FFMPEG
    EXPECT_EQ(selection.WaveFormatCodecDesc(), "CCITT A-Law 11.025 kHz, 8 Bit, Mono");
    ASSERT_EQ(selection.WaveFormatIndex(61), S_OK);
    EXPECT_EQ(selection.WaveFormatCodecDesc(), "GSM 6.10 8.000 kHz, Mono");
    ASSERT_EQ(selection.WaveFormatIndex(36), S_OK);
    EXPECT_EQ(selection.WaveFormatCodecDesc(), "DSP Group TrueSpeech(TM) 8.000 kHz, 1 Bit, Mono");
#else
    EXPECT_EQ(selection.WaveFormatCodecDesc(), "");
#endif
    ASSERT_EQ(selection.WaveFormatID("0100020044ac000010b10200040010000000"), WaveFormatSelection::IdResult::Applied);
    EXPECT_EQ(selection.WaveFormatCodecDesc(), "PCM 44.100 kHz, 16 Bit, Stereo");
}

TEST(FormatNamesTest, ResultsForShortBuffersAndUnknownTags) {
    WAVEFORMATEX pcm = HeaderOf(Entry(2));
    char text[8];
    EXPECT_EQ(GetFormatName(&pcm, text, sizeof text), 3);
    EXPECT_STREQ(text, "PCM");
    EXPECT_EQ(GetFormatName(&pcm, text, 3), -2);
    EXPECT_EQ(GetFormatDetail(&pcm, text, sizeof text), -2);
    char wide[200];
    EXPECT_EQ(GetFormatDetail(&pcm, wide, sizeof wide), 23);
    EXPECT_STREQ(wide, "8.000 kHz, 16 Bit, Mono");
    WAVEFORMATEX unknown = pcm;
    unknown.wFormatTag = 0xBEEF;
    EXPECT_EQ(GetFormatName(&unknown, wide, sizeof wide), -1);
    EXPECT_EQ(GetFormatDetail(&unknown, wide, sizeof wide), -1);
    EXPECT_EQ(GetFormatName(nullptr, wide, sizeof wide), -1);
}

#if VORNIX_WITH_FFMPEG
TEST(FormatNamesTest, MpegLayerThreeLeadsWithItsBitRate) {
    WAVEFORMATEX mp3{};
    mp3.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.nChannels = 2;
    mp3.nSamplesPerSec = 44100;
    mp3.nAvgBytesPerSec = 16000;
    mp3.nBlockAlign = 1;
    char text[200];
    ASSERT_GT(GetFormatName(&mp3, text, sizeof text), 0);
    EXPECT_STREQ(text, "MPEG Layer-3");
    ASSERT_GT(GetFormatDetail(&mp3, text, sizeof text), 0);
    EXPECT_STREQ(text, "128 kBit/s, 44,100 Hz, Stereo");
}
#endif

}  // namespace
