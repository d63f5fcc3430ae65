#pragma once

#include <cstdint>
#include <cstdio>

// Descriptor of one RIFF chunk. cksize is the number of data bytes the file really
// holds for the chunk: a declared size that runs past the end of its parent (or of
// the file) is cut there and the chunk is marked truncated.
struct ChunkInfo {
    std::uint32_t ckid = 0;
    std::uint32_t cksize = 0;
    std::uint32_t fccType = 0;        // form type of a RIFF chunk
    std::uint64_t dwDataOffset = 0;   // file offset of the chunk's data (after id and size)
    std::uint32_t dwFlags = 0;
};

// Reader and writer of RIFF files: finds chunks by id or RIFF form type, steps in and
// out of them and writes chunk sizes when a created chunk is closed. Every size read
// from the file is checked against the file before it is used, so a corrupt or
// truncated file yields "not found" or a short chunk, never a read past its end.
class RiffFile {
public:
    // Results; the values follow the multimedia-file error numbering so that logged
    // numbers keep their meaning.
    static constexpr int kOk = 0;
    static constexpr int kErrFileNotFound = 257;
    static constexpr int kErrCannotOpen = 259;
    static constexpr int kErrCannotRead = 261;
    static constexpr int kErrCannotWrite = 262;
    static constexpr int kErrCannotSeek = 263;
    static constexpr int kErrChunkNotFound = 265;
    static constexpr int kErrPathNotFound = 267;
    static constexpr int kErrAccessDenied = 268;
    static constexpr int kErrSharingViolation = 269;
    static constexpr int kErrNetworkError = 270;
    static constexpr int kErrTooManyOpenFiles = 271;
    static constexpr int kErrInvalidFile = 272;

    // dwFlags bits.
    static constexpr std::uint32_t kChunkDirty = 0x1;      // created here; size written on ascend
    static constexpr std::uint32_t kChunkTruncated = 0x2;  // declared size ran past the end

    enum class Find { Riff, Chunk };

    static constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
    }

    RiffFile() = default;
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;
    ~RiffFile();

    // Opens an existing regular file for reading, or creates (truncates) one for
    // writing. Returns kOk or one of the open errors above.
    int OpenRead(const char* fileName);
    int Create(const char* fileName);
    bool IsOpen() const { return m_file != nullptr; }
    // False when the last buffered bytes could not be written out.
    bool Close();

    // Searches from the current position, inside parent (or the whole file when null),
    // for a chunk with ck.ckid (Find::Chunk) or a RIFF chunk of form type ck.fccType
    // (Find::Riff). On success ck describes it and the file is positioned at its data
    // (after the form type for a RIFF chunk). kErrChunkNotFound otherwise.
    int Descend(ChunkInfo& ck, const ChunkInfo* parent, Find how);
    // Leaves a chunk: positions after its data and pad byte; for a created chunk first
    // writes its final size and the pad byte an odd size needs.
    int Ascend(ChunkInfo& ck);
    // Writes a chunk header at the current position (a RIFF header with ck.fccType when
    // riff is true) and marks the chunk created.
    int CreateChunk(ChunkInfo& ck, bool riff);

    // Bytes read (0 at the end of the file), or -1 on an error.
    std::int64_t Read(void* data, std::int64_t count);
    bool Write(const void* data, std::int64_t count);
    // New position, or -1.
    std::int64_t Seek(std::int64_t offset, int origin);
    std::int64_t Tell() const;
    // Size of the file being read, taken when it was opened.
    std::uint64_t FileSize() const { return m_fileSize; }

private:
    bool ReadU32(std::uint32_t& value);
    bool WriteU32(std::uint32_t value);

    std::FILE* m_file = nullptr;
    std::uint64_t m_fileSize = 0;
};
