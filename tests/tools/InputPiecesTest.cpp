// The pieces the command reads its input with, checked directly: positions unwrapped past
// 32 bits, raw encodings turned into what the decoder reads, a pipe read as it arrives in
// whole frames, and the channel levels behind the silent-channel warning.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ChannelLevels.h"
#include "PositionUnwrapper.h"
#include "RawFormat.h"
#include "StreamReader.h"

namespace {

constexpr std::int64_t k2To32 = std::int64_t{1} << 32;

// What the decoder's 32-bit position counter and its 32-bit event members hold for a
// 64-bit position.
std::uint32_t Counter(std::int64_t position) { return static_cast<std::uint32_t>(position); }
std::int32_t Member(std::int64_t position) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(position)); }

TEST(PositionUnwrapper, EventsNearTheStreamsPositionComeOutWholeAcrossEveryWrap) {
    // The stream told in steps of a second at 48 kHz up to three wraps, the events a
    // little before and after the decoder's position, as a detector reports them.
    PositionUnwrapper u;
    constexpr std::int64_t kStep = 48000;
    for (std::int64_t at = 0; at < 3 * k2To32 + 10 * kStep; at += kStep) {
        u.Advance(Counter(at));
        ASSERT_EQ(u.Reference(), at);
        for (std::int64_t offset : {-40000, -1, 0, 1, 47999}) {
            const std::int64_t event = at + offset;
            if (event < 0) continue;
            ASSERT_EQ(u.Unwrap(Member(event)), event) << "at " << at << " offset " << offset;
        }
    }
}

TEST(PositionUnwrapper, SeamsOfTheThirtyTwoBitCounter) {
    struct Case {
        std::int64_t reference;
        std::int64_t event;
    };
    // Where the member turns negative (2^31), where the counter wraps (2^32), an event
    // just before a wrap read just after it, and one up to 2^31 - 1 behind.
    const Case cases[] = {{0, 0},
                          {(std::int64_t{1} << 31) - 1, (std::int64_t{1} << 31) - 1},
                          {std::int64_t{1} << 31, std::int64_t{1} << 31},
                          {(std::int64_t{1} << 31) + 5, (std::int64_t{1} << 31) - 5},
                          {k2To32 - 1, k2To32 - 1},
                          {k2To32 + 3, k2To32 - 3},
                          {k2To32 + 3, k2To32 + 3},
                          {5 * k2To32 + 100, 5 * k2To32 + 100 - ((std::int64_t{1} << 31) - 1)}};
    for (const Case& c : cases) {
        PositionUnwrapper u;
        // Advance in steps below 2^31, as the feeding does.
        for (std::int64_t at = 0; at < c.reference; at = std::min(c.reference, at + (std::int64_t{1} << 30)))
            u.Advance(Counter(std::min(c.reference, at + (std::int64_t{1} << 30))));
        EXPECT_EQ(u.Unwrap(Member(c.event)), c.event) << c.reference << " / " << c.event;
    }
}

TEST(PositionUnwrapper, AFileTakesPositionsPastTwoToTheThirtyOneWithoutBeingToldAndResetsPerFile) {
    PositionUnwrapper u;
    // A wave file's first event 3e9 samples in, before any progress: not negative.
    EXPECT_EQ(u.Unwrap(Member(3'000'000'000)), 3'000'000'000);
    u.Advance(Counter(5 * k2To32 / 2));
    u.Reset();
    EXPECT_EQ(u.Reference(), 0);
    EXPECT_EQ(u.Unwrap(100), 100);
}

TEST(RawFormat, EachEncodingHasTheRecordTheDecoderReadsAndTheBytesItExpects) {
    struct Case {
        const char* name;
        std::uint16_t tag;
        std::uint16_t bits;
        std::vector<std::uint8_t> in;
        std::vector<std::uint8_t> out;
    };
    const Case cases[] = {
        {"s16le", WAVE_FORMAT_PCM, 16, {0x01, 0x80, 0xff, 0x7f}, {0x01, 0x80, 0xff, 0x7f}},
        {"s16be", WAVE_FORMAT_PCM, 16, {0x80, 0x01, 0x7f, 0xff}, {0x01, 0x80, 0xff, 0x7f}},
        {"u8", WAVE_FORMAT_PCM, 8, {0x00, 0x80, 0xff, 0x7f}, {0x00, 0x80, 0xff, 0x7f}},
        // -128, 0, -1, 127 as offset binary.
        {"s8", WAVE_FORMAT_PCM, 8, {0x80, 0x00, 0xff, 0x7f}, {0x00, 0x80, 0x7f, 0xff}},
        {"f32le", WAVE_FORMAT_IEEE_FLOAT, 32, {0, 0, 0x80, 0x3f}, {0, 0, 0x80, 0x3f}},
        {"alaw", WAVE_FORMAT_ALAW, 8, {0xd5, 0x55}, {0xd5, 0x55}},
        {"ulaw", WAVE_FORMAT_MULAW, 8, {0xff, 0x7f}, {0xff, 0x7f}},
    };
    for (const Case& c : cases) {
        const auto encoding = RawFormat::ParseEncoding(c.name);
        ASSERT_TRUE(encoding) << c.name;
        const RawFormat stereo(22050, *encoding, 2);
        const WAVEFORMATEX r = stereo.Record();
        EXPECT_EQ(r.wFormatTag, c.tag) << c.name;
        EXPECT_EQ(r.wBitsPerSample, c.bits) << c.name;
        EXPECT_EQ(r.nChannels, 2) << c.name;
        EXPECT_EQ(r.nBlockAlign, 2 * c.bits / 8) << c.name;
        EXPECT_EQ(stereo.FrameBytes(), r.nBlockAlign) << c.name;
        EXPECT_EQ(r.nAvgBytesPerSec, 22050u * r.nBlockAlign) << c.name;
        EXPECT_EQ(stereo.RecordText().size(), 36u) << c.name;
        std::vector<std::uint8_t> bytes = c.in;
        stereo.Convert(bytes);
        EXPECT_EQ(bytes, c.out) << c.name;
    }
    EXPECT_FALSE(RawFormat::ParseEncoding("s24le"));
    // The record the default options give is the library's default format, index 2.
    EXPECT_EQ(RawFormat(8000, RawFormat::Encoding::S16LE, 1).RecordText(), "01000100401f0000803e0000020010000000");
}

TEST(StreamReader, HandsOverWhatHasArrivedInWholeFramesAndKeepsTheCutFrame) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    StreamReader reader(fds[0], 4);
    const std::uint8_t probe[] = {1, 2};
    reader.Unread(probe);
    // Written in pieces that cut frames: 2 bytes put back, then 3, then 7.
    const std::uint8_t first[] = {3, 4, 5};
    ASSERT_EQ(::write(fds[1], first, sizeof first), 3);
    std::span<std::uint8_t> got = reader.Read();
    ASSERT_EQ(got.size(), 4u) << "a read must not wait for the buffer to fill";
    EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.end()), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    const std::uint8_t second[] = {6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(::write(fds[1], second, sizeof second), 7);
    got = reader.Read();
    EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.end()), (std::vector<std::uint8_t>{5, 6, 7, 8, 9, 10, 11, 12}));
    // The end: an incomplete last frame is dropped.
    const std::uint8_t tail[] = {13};
    ASSERT_EQ(::write(fds[1], tail, 1), 1);
    ::close(fds[1]);
    EXPECT_TRUE(reader.Read().empty());
    EXPECT_EQ(reader.Error(), "");
    EXPECT_EQ(reader.Delivered(), 12u);
    ::close(fds[0]);
    // A descriptor that cannot be read says why.
    StreamReader broken(-1);
    EXPECT_TRUE(broken.Read().empty());
    EXPECT_NE(broken.Error(), "");
}

TEST(ChannelLevels, ASilentChannelBesideALoudOneAndTheBlockThatDecides) {
    constexpr std::uint32_t kRate = 8000;
    ChannelLevels levels(kRate);
    // Interleaved 16-bit stereo: the left channel zeros, the right one a 30 ms burst of a
    // -20 dBFS (RMS) square wave in a second of zeros.
    std::vector<std::uint8_t> bytes(kRate * 4, 0);
    const auto amplitude = static_cast<std::int16_t>(std::lround(32768 * 0.1));
    for (std::uint32_t i = 4000; i < 4240; ++i) {
        const auto v = static_cast<std::uint16_t>(i % 2 ? amplitude : -amplitude);
        bytes[i * 4 + 2] = static_cast<std::uint8_t>(v);
        bytes[i * 4 + 3] = static_cast<std::uint8_t>(v >> 8);
    }
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, kRate, kRate * 4, 4, 16, 0};
    ASSERT_TRUE(ChannelLevels::Readable(f));
    levels.AddFrames(f, bytes);
    EXPECT_TRUE(levels.Silent(0));
    EXPECT_FALSE(levels.Silent(1));
    // The burst fills at least one whole 20 ms block.
    EXPECT_NEAR(levels.LoudestDb(1), -20.0, 0.01);
    EXPECT_TRUE(std::isinf(levels.LoudestDb(0)));

    // 8-bit silence is 128, not 0; float samples go as they are.
    ChannelLevels eight(kRate), floats(kRate);
    std::vector<std::uint8_t> quiet(kRate, 128);
    eight.AddFrames(WAVEFORMATEX{WAVE_FORMAT_PCM, 1, kRate, kRate, 1, 8, 0}, quiet);
    EXPECT_TRUE(eight.Silent(0));
    const std::vector<float> loud(kRate, 0.5f);
    floats.Add(1, loud);
    EXPECT_NEAR(floats.LoudestDb(1), 20.0 * std::log10(0.5), 1e-9);
    EXPECT_FALSE(ChannelLevels::Readable(WAVEFORMATEX{WAVE_FORMAT_ALAW, 1, kRate, kRate, 1, 8, 0}));
}

}  // namespace
