#include "rtp/PacketCapture.h"

#include <pcap/pcap.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <limits>

namespace {

constexpr std::size_t kMagicBytes = 4;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

// The classic file's magic in the writer's byte order, for microsecond and for
// nanosecond times, and the pcapng section header's block type, which reads the same in
// both orders.
constexpr std::array<std::array<std::uint8_t, kMagicBytes>, 5> kMagics = {{
    {0xD4, 0xC3, 0xB2, 0xA1},
    {0xA1, 0xB2, 0xC3, 0xD4},
    {0x4D, 0x3C, 0xB2, 0xA1},
    {0xA1, 0xB2, 0x3C, 0x4D},
    {0x0A, 0x0D, 0x0D, 0x0A},
}};

// pcapng times are 64-bit counts of any unit, so seconds may be far beyond what
// nanoseconds since the epoch can hold: those saturate rather than wrap.
std::int64_t ToNanoseconds(const timeval& time) {
    constexpr std::int64_t kMaxSeconds = std::numeric_limits<std::int64_t>::max() / kNanosecondsPerSecond - 1;
    const std::int64_t seconds = time.tv_sec;
    if (seconds > kMaxSeconds) return std::numeric_limits<std::int64_t>::max();
    if (seconds < -kMaxSeconds) return std::numeric_limits<std::int64_t>::min();
    // Opened for nanoseconds, libpcap puts them in the microsecond field; a value past a
    // second would come from a damaged file and is clamped into the second.
    std::int64_t fraction = time.tv_usec;
    if (fraction < 0) fraction = 0;
    if (fraction >= kNanosecondsPerSecond) fraction = kNanosecondsPerSecond - 1;
    return seconds * kNanosecondsPerSecond + fraction;
}

}  // namespace

PacketCapture::~PacketCapture() { Close(); }

bool PacketCapture::LooksLikeCapture(std::span<const std::uint8_t> firstBytes) {
    if (firstBytes.size() < kMagicBytes) return false;
    for (const auto& magic : kMagics)
        if (std::equal(magic.begin(), magic.end(), firstBytes.begin())) return true;
    return false;
}

bool PacketCapture::IsCaptureFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, kMagicBytes> first{};
    if (!in.read(first.data(), first.size())) return false;
    std::array<std::uint8_t, kMagicBytes> bytes{};
    for (std::size_t i = 0; i < kMagicBytes; ++i) bytes[i] = static_cast<std::uint8_t>(first[i]);
    return LooksLikeCapture(bytes);
}

void PacketCapture::Close() {
    if (handle_) pcap_close(handle_);
    handle_ = nullptr;
    finished_ = false;
    memory_.clear();
    error_.clear();
}

bool PacketCapture::Adopt(pcap* handle, const char* errorText) {
    handle_ = handle;
    if (!handle_) error_ = errorText;
    return handle_ != nullptr;
}

bool PacketCapture::Open(const std::string& path) {
    Close();
    char errorText[PCAP_ERRBUF_SIZE] = {};
    return Adopt(pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, errorText),
                 errorText);
}

bool PacketCapture::OpenMemory(std::span<const std::uint8_t> bytes) {
    Close();
    // fmemopen refuses an empty buffer, and libpcap could not read a header from one.
    if (bytes.empty()) {
        error_ = "empty capture";
        return false;
    }
    memory_.assign(bytes.begin(), bytes.end());
    FILE* file = fmemopen(memory_.data(), memory_.size(), "rb");
    if (!file) {
        memory_.clear();
        error_ = "cannot read the capture from memory";
        return false;
    }
    char errorText[PCAP_ERRBUF_SIZE] = {};
    pcap* handle = pcap_fopen_offline_with_tstamp_precision(file, PCAP_TSTAMP_PRECISION_NANO, errorText);
    // On success the handle owns the file and closes it; on failure it is still ours.
    if (!handle) {
        std::fclose(file);
        memory_.clear();
    }
    return Adopt(handle, errorText);
}

std::optional<CapturedFrame> PacketCapture::Next() {
    if (!handle_ || finished_) return std::nullopt;
    pcap_pkthdr* header = nullptr;
    const std::uint8_t* data = nullptr;
    const int result = pcap_next_ex(handle_, &header, &data);
    if (result != 1) {
        // PCAP_ERROR_BREAK (-2) is the end of the file; anything else is a damaged or cut
        // file, whose text libpcap keeps.
        // Reading on after an error would take the rest of a cut frame for a header.
        if (result != PCAP_ERROR_BREAK) error_ = pcap_geterr(handle_);
        finished_ = true;
        return std::nullopt;
    }
    CapturedFrame frame;
    frame.timeNs = ToNanoseconds(header->ts);
    frame.linkType = pcap_datalink(handle_);
    frame.bytes = std::span<const std::uint8_t>(data, header->caplen);
    frame.originalLength = header->len;
    return frame;
}
