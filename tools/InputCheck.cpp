#include "InputCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

// The first bytes of a file, or fewer; errno is kept when it cannot be opened.
std::string Head(const std::string& path, bool& opened, int& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    opened = fd >= 0;
    error = opened ? 0 : errno;
    if (!opened) return {};
    std::array<char, 12> bytes{};
    const ssize_t n = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    return n > 0 ? std::string(bytes.data(), static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

bool InputCheck::NamedRaw(const std::string& path) {
    // The decoder's own rule: a name longer than its extension.
    if (path.size() <= 4) return false;
    std::string extension = path.substr(path.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".raw" || extension == ".pcm";
}

std::optional<std::string> InputCheck::Refusal(const std::string& path) {
    if (path.empty()) return "no file name (the argument is empty)";
    struct stat s {};
    // A missing or unreadable file goes to the decoder, whose text then follows ours.
    if (::stat(path.c_str(), &s) != 0) return std::nullopt;
    if (S_ISDIR(s.st_mode)) return "is a directory";
    if (S_ISFIFO(s.st_mode)) return "is a named pipe, not a file: give it as standard input (vornix decode - < " + path + ")";
    if (!S_ISREG(s.st_mode)) return "is not a regular file (a device or a socket)";
    return std::nullopt;
}

std::string InputCheck::Explain(const std::string& path) {
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0) {
        if (errno == ENOENT) return "no such file";
        if (errno == EACCES) return "cannot be reached: permission denied";
        return std::string("cannot be read: ") + std::strerror(errno);
    }
    bool opened = false;
    int error = 0;
    const std::string head = Head(path, opened, error);
    if (!opened) return error == EACCES ? "cannot be read: permission denied" : std::string("cannot be read: ") + std::strerror(error);
    if (s.st_size == 0) return "is empty";
    if (head.rfind("RIFF", 0) == 0 || head.rfind("RIFX", 0) == 0 || head.rfind("RF64", 0) == 0)
        return "not a wave file Vornix reads";
    if (!NamedRaw(path))
        return "not a format Vornix reads (headerless audio needs a .raw or .pcm name, or standard input with --rate, --encoding and --channels)";
    return "not a format Vornix reads";
}

std::optional<std::string> InputCheck::Truncated(const std::string& path) {
    // Writers of a stream whose length they never learn leave a data size from here up.
    constexpr std::uint32_t kUnknownLength = 0x7F000000;
    // Enough chunks for any header that comes before the audio.
    constexpr int kMaxChunks = 64;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat s {};
    std::optional<std::string> result;
    unsigned char riff[12];
    if (::fstat(fd, &s) == 0 && ::pread(fd, riff, sizeof riff, 0) == 12 && std::memcmp(riff, "RIFF", 4) == 0 &&
        std::memcmp(riff + 8, "WAVE", 4) == 0) {
        const auto fileSize = static_cast<std::uint64_t>(s.st_size);
        std::uint64_t at = 12;
        for (int i = 0; i < kMaxChunks && at + 8 <= fileSize; ++i) {
            unsigned char header[8];
            if (::pread(fd, header, sizeof header, static_cast<off_t>(at)) != 8) break;
            const std::uint32_t size = static_cast<std::uint32_t>(header[4] | header[5] << 8 | header[6] << 16) |
                                       static_cast<std::uint32_t>(header[7]) << 24;
            if (std::memcmp(header, "data", 4) == 0) {
                const std::uint64_t present = fileSize - (at + 8);
                if (size < kUnknownLength && size > present)
                    result = "truncated: its header gives " + std::to_string(size) + " bytes of audio, the file holds " +
                             std::to_string(present);
                break;
            }
            at += 8 + size + (size & 1);  // chunks are padded to an even size
        }
    }
    ::close(fd);
    return result;
}

std::string InputCheck::Line(const std::string& path, const std::string& plain, const std::string& libraryText) {
    const std::string shown = path.empty() ? "''" : path;
    return "vornix: " + shown + ": " + plain + (libraryText.empty() ? std::string() : ": " + libraryText);
}
