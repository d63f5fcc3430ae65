#include "audio/ContainerReader.h"

#include <cstring>

// The container reader of a build without libavformat: nothing is decoded. Input that
// starts like a container the full build reads is told apart from input that is no
// container at all, so that the first is refused as an unsupported format.

namespace {

constexpr std::size_t kSignatureBytes = 12;

bool StartsLikeAContainer(const std::vector<std::uint8_t>& start) {
    if (start.size() < 4) return false;
    const auto* p = reinterpret_cast<const char*>(start.data());
    for (const char* magic : {"fLaC", "OggS", ".snd", "caff", "RF64", "RIFX", "RIFF", "ID3", "#!AMR", "wvpk", "MAC "})
        if (start.size() >= std::strlen(magic) && std::memcmp(p, magic, std::strlen(magic)) == 0) return true;
    if (start.size() >= kSignatureBytes && std::memcmp(p, "FORM", 4) == 0 &&
        (std::memcmp(p + 8, "AIFF", 4) == 0 || std::memcmp(p + 8, "AIFC", 4) == 0))
        return true;
    if (start.size() >= 8 && std::memcmp(p + 4, "ftyp", 4) == 0) return true;
    return start[0] == 0x1A && start[1] == 0x45 && start[2] == 0xDF && start[3] == 0xA3;  // Matroska, WebM
}

bool ReadSignature(ContainerReader::Input& input, std::vector<std::uint8_t>& start) {
    while (start.size() < kSignatureBytes) {
        const std::size_t at = start.size();
        start.resize(kSignatureBytes);
        const std::int64_t got = input.Read(start.data() + at, static_cast<std::int64_t>(kSignatureBytes - at));
        start.resize(at + static_cast<std::size_t>(got > 0 ? got : 0));
        if (got <= 0) break;
    }
    return StartsLikeAContainer(start);
}

}  // namespace

struct ContainerReader::Impl {};

ContainerReader::ContainerReader() = default;

ContainerReader::~ContainerReader() = default;

bool ContainerReader::RecogniseStream(Input& input, std::vector<std::uint8_t>& start) {
    return ReadSignature(input, start);
}

int ContainerReader::Open(Input& input) {
    std::vector<std::uint8_t> start;
    return ReadSignature(input, start) ? kUnsupported : kNotRecognised;
}

std::size_t ContainerReader::Read(std::uint8_t*, std::size_t) { return 0; }

std::size_t ContainerReader::ReadDecoded(std::uint8_t*, std::size_t) { return 0; }

std::int64_t ContainerReader::InputPosition() const { return 0; }

std::uint64_t ContainerReader::FailedPackets() const { return 0; }

std::uint64_t ContainerReader::FramesDelivered() const { return 0; }
