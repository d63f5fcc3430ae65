#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct pcap;

// One frame as the capture holds it: its time, the link layer it starts with, and the
// bytes captured, which may be fewer than were on the wire (the snap length).
struct CapturedFrame {
    std::int64_t timeNs = 0;  // since the epoch
    int linkType = 0;         // a DLT_ value, as libpcap maps the file's link type
    std::span<const std::uint8_t> bytes;  // valid until the next call to Next
    std::uint32_t originalLength = 0;
};

// Reads the frames of a pcap or pcapng capture, from a file or from memory, through
// libpcap, with nanosecond times whatever the file's own resolution.
//
// A pcapng file may describe several interfaces. libpcap reports one link type for the
// whole file: an interface whose link type differs from the first one's is refused when
// it is reached, and Next then ends with that error, keeping every frame before it.
class PacketCapture {
public:
    PacketCapture() = default;
    ~PacketCapture();
    PacketCapture(const PacketCapture&) = delete;
    PacketCapture& operator=(const PacketCapture&) = delete;

    // Whether these bytes start a capture: the pcap magic numbers in either byte order,
    // for microsecond and nanosecond times, or a pcapng section header.
    static bool LooksLikeCapture(std::span<const std::uint8_t> firstBytes);
    // Whether the file's first four bytes are one of those; false if it cannot be read.
    static bool IsCaptureFile(const std::string& path);

    // False with Error() saying why. Opening again closes what was open.
    bool Open(const std::string& path);
    // The bytes are copied, so they need not outlive the capture.
    bool OpenMemory(std::span<const std::uint8_t> bytes);

    // Nothing at the end of the capture or on a read error, when Error() is not empty. A
    // capture cut off inside a frame ends with an error there; the frames before it were
    // returned as usual.
    std::optional<CapturedFrame> Next();

    // libpcap's text for the last failure; empty at a clean end.
    std::string Error() const { return error_; }

private:
    void Close();
    bool Adopt(pcap* handle, const char* errorText);

    pcap* handle_ = nullptr;
    bool finished_ = false;
    std::vector<std::uint8_t> memory_;
    std::string error_;
};
