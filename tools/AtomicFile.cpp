#include "AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::string AtomicFile::TemporaryName(const std::string& path) {
    // Several threads of one process may write files in one folder: a counter keeps
    // their temporary names apart even for one final name.
    static std::atomic<unsigned long> counter{0};
    const std::filesystem::path p(path);
    return (p.parent_path() / ("." + p.filename().string() + "." + std::to_string(::getpid()) + "." +
                               std::to_string(counter.fetch_add(1)) + ".tmp"))
        .string();
}

std::optional<std::string> AtomicFile::Write(const std::string& path, std::string_view text) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) return "cannot make the folder " + folder.string() + ": " + error.message();
    }
    const std::string temporary = TemporaryName(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Errno("cannot write " + temporary);
    auto fail = [&](std::string why) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return why;
    };
    if (!WriteAll(fd, text)) return fail(Errno("writing " + temporary + " failed"));
    // On the disk before it takes the name, so a crash after the rename cannot leave a
    // complete-looking name over missing data.
    if (::fsync(fd) != 0) return fail(Errno("flushing " + temporary + " failed"));
    if (::close(fd) != 0) {
        const std::string why = Errno("closing " + temporary + " failed");
        ::unlink(temporary.c_str());
        return why;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string why = Errno("cannot rename " + temporary + " to " + path);
        ::unlink(temporary.c_str());
        return why;
    }
    // The rename itself is kept by flushing the folder; a failure here loses nothing
    // but that guarantee, so it is not an error of the file.
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}
