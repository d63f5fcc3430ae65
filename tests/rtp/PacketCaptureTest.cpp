// Reading captures through libpcap: classic files in both byte orders and both time
// resolutions, pcapng written block by block, files cut off inside a frame, and the
// magic numbers that tell a capture from a recording.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "PacketBytes.h"
#include "rtp/PacketCapture.h"

namespace {

using namespace packet_bytes;

constexpr int kEthernet = 1;

class TempFile {
public:
    explicit TempFile(const Bytes& bytes)
        : path_(std::filesystem::temp_directory_path() /
                ("vornix-capture-" + std::to_string(getpid()) + "-" + std::to_string(counter_++))) {
        std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    ~TempFile() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

std::vector<CapturedFrame> ReadAll(PacketCapture& capture, std::vector<Bytes>& copies) {
    std::vector<CapturedFrame> frames;
    while (const auto frame = capture.Next()) {
        frames.push_back(*frame);
        copies.emplace_back(frame->bytes.begin(), frame->bytes.end());
    }
    return frames;
}

const Bytes kFrameA = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const Bytes kFrameB = {0xF0, 0xF1, 0xF2};

TEST(PacketCapture, MagicNumbers) {
    for (const Bytes& magic : {Bytes{0xD4, 0xC3, 0xB2, 0xA1}, Bytes{0xA1, 0xB2, 0xC3, 0xD4}, Bytes{0x4D, 0x3C, 0xB2, 0xA1},
                               Bytes{0xA1, 0xB2, 0x3C, 0x4D}, Bytes{0x0A, 0x0D, 0x0D, 0x0A}}) {
        EXPECT_TRUE(PacketCapture::LooksLikeCapture(magic));
        EXPECT_FALSE(PacketCapture::LooksLikeCapture(std::span(magic).first(3)));
    }
    EXPECT_FALSE(PacketCapture::LooksLikeCapture(Text("RIFF")));
    EXPECT_FALSE(PacketCapture::LooksLikeCapture(Bytes{0xD4, 0xC3, 0xB2, 0xA2}));
    EXPECT_FALSE(PacketCapture::LooksLikeCapture({}));

    const TempFile capture(PcapFile(kEthernet, {}));
    const TempFile wave(Text("RIFF....WAVE"));
    const TempFile tiny(Bytes{0xD4, 0xC3, 0xB2});
    EXPECT_TRUE(PacketCapture::IsCaptureFile(capture.Path()));
    EXPECT_FALSE(PacketCapture::IsCaptureFile(wave.Path()));
    EXPECT_FALSE(PacketCapture::IsCaptureFile(tiny.Path()));
    EXPECT_FALSE(PacketCapture::IsCaptureFile("/nonexistent/capture.pcap"));
}

TEST(PacketCapture, ClassicMicrosecondFile) {
    const TempFile file(PcapFile(kEthernet, {{1700000000, 999999, kFrameA, 1514}, {1700000001, 5, kFrameB, 0}}));
    PacketCapture capture;
    ASSERT_TRUE(capture.Open(file.Path())) << capture.Error();
    std::vector<Bytes> bytes;
    const auto frames = ReadAll(capture, bytes);
    EXPECT_EQ(capture.Error(), "");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].timeNs, 1700000000LL * 1'000'000'000 + 999'999'000);
    EXPECT_EQ(frames[1].timeNs, 1700000001LL * 1'000'000'000 + 5'000);
    EXPECT_EQ(frames[0].linkType, kEthernet);
    EXPECT_EQ(bytes[0], kFrameA);
    EXPECT_EQ(bytes[1], kFrameB);
    EXPECT_EQ(frames[0].originalLength, 1514u);
    EXPECT_EQ(frames[1].originalLength, kFrameB.size());
    EXPECT_FALSE(capture.Next()) << "stays at the end";
}

TEST(PacketCapture, BigEndianNanosecondFileFromMemory) {
    const Bytes file = PcapFile(101, {{4000000000u, 999999999, kFrameA}}, true, true);
    PacketCapture capture;
    ASSERT_TRUE(capture.OpenMemory(file)) << capture.Error();
    std::vector<Bytes> bytes;
    const auto frames = ReadAll(capture, bytes);
    ASSERT_EQ(frames.size(), 1u);
    // Seconds past 2^31: the file's field is unsigned.
    EXPECT_EQ(frames[0].timeNs, 4000000000LL * 1'000'000'000 + 999'999'999);
    EXPECT_EQ(frames[0].linkType, 12) << "libpcap maps the file's raw-IP number to DLT_RAW";
    EXPECT_EQ(bytes[0], kFrameA);
}

TEST(PacketCapture, CutInsideAFrameKeepsTheFramesBefore) {
    const Bytes whole = PcapFile(kEthernet, {{10, 0, kFrameA}, {11, 0, kFrameA}});
    // Cut in the second frame's data, then in its record header.
    for (const std::size_t cut : {whole.size() - 1, whole.size() - kFrameA.size() - 3}) {
        const Bytes truncated(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        PacketCapture capture;
        ASSERT_TRUE(capture.OpenMemory(truncated)) << capture.Error();
        std::vector<Bytes> bytes;
        const auto frames = ReadAll(capture, bytes);
        ASSERT_EQ(frames.size(), 1u) << cut;
        EXPECT_EQ(bytes[0], kFrameA);
        EXPECT_NE(capture.Error(), "") << cut;
        EXPECT_FALSE(capture.Next());
    }
    // Cut exactly between frames: a clean end.
    const Bytes oneFrame(whole.begin(), whole.begin() + 24 + 16 + static_cast<std::ptrdiff_t>(kFrameA.size()));
    PacketCapture capture;
    ASSERT_TRUE(capture.OpenMemory(oneFrame));
    std::vector<Bytes> bytes;
    EXPECT_EQ(ReadAll(capture, bytes).size(), 1u);
    EXPECT_EQ(capture.Error(), "");
}

TEST(PacketCapture, UnreadableInputs) {
    PacketCapture capture;
    EXPECT_FALSE(capture.Open("/nonexistent/capture.pcap"));
    EXPECT_NE(capture.Error(), "");
    EXPECT_FALSE(capture.Next());
    EXPECT_FALSE(capture.OpenMemory({}));
    EXPECT_NE(capture.Error(), "");
    EXPECT_FALSE(capture.OpenMemory(Text("RIFF....WAVEfmt ")));
    EXPECT_NE(capture.Error(), "");
    // A header cut short.
    const Bytes header = PcapFile(kEthernet, {});
    EXPECT_FALSE(capture.OpenMemory(std::span(header).first(20)));
    EXPECT_FALSE(capture.Next());
}

TEST(PacketCapture, PcapngWithNanosecondAndDefaultResolution) {
    for (const int tsresol : {-1, 6, 9}) {
        const std::uint64_t unitsPerSecond = tsresol == 9 ? 1'000'000'000 : 1'000'000;
        Bytes file = PcapngSectionHeader();
        Append(file, PcapngInterface(kEthernet, tsresol));
        Append(file, PcapngPacket(0, 1700000000ULL * unitsPerSecond + 123, kFrameA));
        Append(file, PcapngPacket(0, 1700000000ULL * unitsPerSecond + unitsPerSecond - 1, kFrameB));
        const TempFile path(file);
        ASSERT_TRUE(PacketCapture::IsCaptureFile(path.Path()));
        PacketCapture capture;
        ASSERT_TRUE(capture.Open(path.Path())) << capture.Error();
        std::vector<Bytes> bytes;
        const auto frames = ReadAll(capture, bytes);
        EXPECT_EQ(capture.Error(), "") << tsresol;
        ASSERT_EQ(frames.size(), 2u) << tsresol;
        const std::int64_t nsPerUnit = tsresol == 9 ? 1 : 1000;
        EXPECT_EQ(frames[0].timeNs, 1700000000LL * 1'000'000'000 + 123 * nsPerUnit) << tsresol;
        EXPECT_EQ(frames[1].timeNs, 1700000001LL * 1'000'000'000 - nsPerUnit) << tsresol;
        EXPECT_EQ(bytes[0], kFrameA);  // 15 bytes: the block's padding is not part of it
        EXPECT_EQ(bytes[1], kFrameB);
        EXPECT_EQ(frames[0].linkType, kEthernet);
    }
}

TEST(PacketCapture, PcapngCutInsideABlock) {
    Bytes file = PcapngSectionHeader();
    Append(file, PcapngInterface(kEthernet, 9));
    Append(file, PcapngPacket(0, 1, kFrameA));
    const std::size_t firstEnd = file.size();
    Append(file, PcapngPacket(0, 2, kFrameA));
    file.resize(firstEnd + 20);
    PacketCapture capture;
    ASSERT_TRUE(capture.OpenMemory(file)) << capture.Error();
    std::vector<Bytes> bytes;
    EXPECT_EQ(ReadAll(capture, bytes).size(), 1u);
    EXPECT_NE(capture.Error(), "");
}

TEST(PacketCapture, PcapngTimesBeyondTheRangeSaturate) {
    // One-second units (if_tsresol 0): 2^63 seconds, far past what nanoseconds hold.
    Bytes file = PcapngSectionHeader();
    Append(file, PcapngInterface(kEthernet, 0));
    Append(file, PcapngPacket(0, 1ULL << 40, kFrameB));
    PacketCapture capture;
    ASSERT_TRUE(capture.OpenMemory(file)) << capture.Error();
    const auto frame = capture.Next();
    ASSERT_TRUE(frame) << capture.Error();
    EXPECT_EQ(frame->timeNs, std::numeric_limits<std::int64_t>::max());
}

TEST(PacketCapture, PcapngInterfacesOfAnotherLinkTypeEndTheCapture) {
    // libpcap keeps one link type a file: a second interface of another type is refused
    // when its block is reached, after the frames before it.
    Bytes file = PcapngSectionHeader();
    Append(file, PcapngInterface(kEthernet, 9));
    Append(file, PcapngPacket(0, 1, kFrameA));
    Append(file, PcapngInterface(101, 9));
    Append(file, PcapngPacket(1, 2, kFrameB));
    PacketCapture capture;
    ASSERT_TRUE(capture.OpenMemory(file)) << capture.Error();
    std::vector<Bytes> bytes;
    const auto frames = ReadAll(capture, bytes);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(bytes[0], kFrameA);
    EXPECT_NE(capture.Error(), "");

    // Two interfaces of the same type are read as one.
    Bytes same = PcapngSectionHeader();
    Append(same, PcapngInterface(kEthernet, 9));
    Append(same, PcapngInterface(kEthernet, 6));
    Append(same, PcapngPacket(1, 2, kFrameB));
    Append(same, PcapngPacket(0, 3, kFrameA));
    ASSERT_TRUE(capture.OpenMemory(same)) << capture.Error();
    std::vector<Bytes> sameBytes;
    const auto sameFrames = ReadAll(capture, sameBytes);
    ASSERT_EQ(sameFrames.size(), 2u) << capture.Error();
    EXPECT_EQ(sameFrames[0].timeNs, 2000);  // microseconds on the second interface
    EXPECT_EQ(sameFrames[1].timeNs, 3);
}

}  // namespace
