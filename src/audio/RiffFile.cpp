#include "audio/RiffFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <sys/stat.h>

namespace {

constexpr std::uint32_t kRiffId = RiffFile::FourCC('R', 'I', 'F', 'F');

// A missing file and a missing folder on its way both report ENOENT; the folder is
// checked so that the two get their own descriptions.
bool ParentFolderExists(const char* fileName) {
    std::string path(fileName);
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return true;
    path.resize(slash == 0 ? 1 : slash);
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int OpenErrorFromErrno(int error, const char* fileName) {
    switch (error) {
    case ENOENT: return ParentFolderExists(fileName) ? RiffFile::kErrFileNotFound : RiffFile::kErrPathNotFound;
    case ENOTDIR: return RiffFile::kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return RiffFile::kErrAccessDenied;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return RiffFile::kErrSharingViolation;
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ESTALE: return RiffFile::kErrNetworkError;
    case EMFILE:
    case ENFILE: return RiffFile::kErrTooManyOpenFiles;
    case EISDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL: return RiffFile::kErrInvalidFile;
    default: return RiffFile::kErrCannotOpen;
    }
}

bool IsChunkId(std::uint32_t id) {
    for (int shift = 0; shift < 32; shift += 8) {
        const auto c = static_cast<std::uint8_t>(id >> shift);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

}  // namespace

RiffFile::~RiffFile() { Close(); }

int RiffFile::OpenRead(const char* fileName) {
    Close();
    if (fileName == nullptr || *fileName == '\0') return kErrInvalidFile;
    m_file = std::fopen(fileName, "rb");
    if (m_file == nullptr) return OpenErrorFromErrno(errno, fileName);
    // Only regular files have a size to check chunk sizes against; directories, pipes
    // and devices are refused instead of being read without bounds.
    struct stat info {};
    if (::fstat(fileno(m_file), &info) != 0 || !S_ISREG(info.st_mode)) {
        Close();
        return kErrInvalidFile;
    }
    m_fileSize = static_cast<std::uint64_t>(info.st_size);
    return kOk;
}

int RiffFile::Create(const char* fileName) {
    Close();
    if (fileName == nullptr || *fileName == '\0') return kErrInvalidFile;
    m_file = std::fopen(fileName, "wb");
    if (m_file == nullptr) return OpenErrorFromErrno(errno, fileName);
    m_fileSize = 0;
    return kOk;
}

bool RiffFile::Close() {
    const bool flushed = m_file == nullptr || std::fclose(m_file) == 0;
    m_file = nullptr;
    m_fileSize = 0;
    return flushed;
}

int RiffFile::Descend(ChunkInfo& ck, const ChunkInfo* parent, Find how) {
    if (m_file == nullptr) return kErrCannotRead;
    const std::uint64_t end =
        parent ? std::min<std::uint64_t>(parent->dwDataOffset + parent->cksize, m_fileSize) : m_fileSize;
    for (;;) {
        const std::int64_t here = Tell();
        if (here < 0 || static_cast<std::uint64_t>(here) + 8 > end) return kErrChunkNotFound;
        std::uint32_t id = 0;
        std::uint32_t size = 0;
        if (!ReadU32(id) || !ReadU32(size)) return kErrChunkNotFound;
        // Searching for a form, bytes that cannot be a chunk id (every id is four
        // printable characters) mean the file is no RIFF file at all. Without this a
        // headerless file that starts with silence reads as millions of empty chunks.
        if (how == Find::Riff && !IsChunkId(id)) return kErrChunkNotFound;
        const std::uint64_t dataOffset = static_cast<std::uint64_t>(here) + 8;
        const std::uint64_t available = end - dataOffset;
        // A recorder that stopped before it could finish its header leaves the RIFF size
        // at 0: the form then reaches to the end of the file.
        if (how == Find::Riff && id == kRiffId && size < 4) size = static_cast<std::uint32_t>(std::min<std::uint64_t>(available, 0xFFFFFFFFu));
        bool match = false;
        std::uint32_t formType = 0;
        if (how == Find::Chunk) {
            match = id == ck.ckid;
        } else if (id == kRiffId && size >= 4 && available >= 4) {
            if (!ReadU32(formType)) return kErrChunkNotFound;
            match = formType == ck.fccType;
        }
        if (match) {
            ck.ckid = id;
            ck.cksize = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, available));
            ck.fccType = how == Find::Riff ? formType : 0;
            ck.dwDataOffset = dataOffset;
            ck.dwFlags = size > available ? kChunkTruncated : 0;
            return kOk;
        }
        // A chunk that claims more than is left hides whatever follows it: there is no
        // next chunk to find.
        if (size > available) return kErrChunkNotFound;
        const std::uint64_t next = dataOffset + size + (size & 1u);
        if (next > end) return kErrChunkNotFound;
        if (Seek(static_cast<std::int64_t>(next), SEEK_SET) < 0) return kErrCannotSeek;
    }
}

int RiffFile::Ascend(ChunkInfo& ck) {
    if (m_file == nullptr) return kErrCannotSeek;
    if ((ck.dwFlags & kChunkDirty) == 0) {
        std::uint64_t next = ck.dwDataOffset + ck.cksize;
        if ((ck.dwFlags & kChunkTruncated) == 0) next += ck.cksize & 1u;
        next = std::min(next, m_fileSize);
        return Seek(static_cast<std::int64_t>(next), SEEK_SET) < 0 ? kErrCannotSeek : kOk;
    }
    const std::int64_t here = Tell();
    if (here < 0 || static_cast<std::uint64_t>(here) < ck.dwDataOffset) return kErrCannotSeek;
    const std::uint64_t size = static_cast<std::uint64_t>(here) - ck.dwDataOffset;
    if (size > 0xFFFFFFFFu) return kErrCannotWrite;
    if (Seek(static_cast<std::int64_t>(ck.dwDataOffset) - 4, SEEK_SET) < 0) return kErrCannotSeek;
    if (!WriteU32(static_cast<std::uint32_t>(size))) return kErrCannotWrite;
    if (Seek(here, SEEK_SET) < 0) return kErrCannotSeek;
    if ((size & 1u) != 0) {
        const std::uint8_t pad = 0;
        if (!Write(&pad, 1)) return kErrCannotWrite;
    }
    ck.cksize = static_cast<std::uint32_t>(size);
    ck.dwFlags &= ~kChunkDirty;
    return kOk;
}

int RiffFile::CreateChunk(ChunkInfo& ck, bool riff) {
    if (m_file == nullptr) return kErrCannotWrite;
    const std::int64_t here = Tell();
    if (here < 0) return kErrCannotSeek;
    if (riff) ck.ckid = kRiffId;
    if (!WriteU32(ck.ckid) || !WriteU32(0)) return kErrCannotWrite;
    if (riff && !WriteU32(ck.fccType)) return kErrCannotWrite;
    ck.cksize = riff ? 4 : 0;
    ck.dwDataOffset = static_cast<std::uint64_t>(here) + 8;
    ck.dwFlags = kChunkDirty;
    return kOk;
}

std::int64_t RiffFile::Read(void* data, std::int64_t count) {
    if (m_file == nullptr || count < 0 || (data == nullptr && count > 0)) return -1;
    if (count == 0) return 0;
    const std::size_t got = std::fread(data, 1, static_cast<std::size_t>(count), m_file);
    if (got == 0 && std::ferror(m_file)) return -1;
    return static_cast<std::int64_t>(got);
}

bool RiffFile::Write(const void* data, std::int64_t count) {
    if (m_file == nullptr || count < 0 || (data == nullptr && count > 0)) return false;
    return std::fwrite(data, 1, static_cast<std::size_t>(count), m_file) == static_cast<std::size_t>(count);
}

std::int64_t RiffFile::Seek(std::int64_t offset, int origin) {
    if (m_file == nullptr || ::fseeko(m_file, static_cast<off_t>(offset), origin) != 0) return -1;
    return Tell();
}

std::int64_t RiffFile::Tell() const {
    if (m_file == nullptr) return -1;
    return static_cast<std::int64_t>(::ftello(m_file));
}

bool RiffFile::ReadU32(std::uint32_t& value) {
    std::uint8_t bytes[4];
    if (Read(bytes, 4) != 4) return false;
    value = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
            static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return true;
}

bool RiffFile::WriteU32(std::uint32_t value) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return Write(bytes, 4);
}
