#include "audio/CSoundFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "audio/MpegAudioProbe.h"
#include "platform/DebugOutput.h"

namespace {

constexpr std::uint32_t kWaveForm = RiffFile::FourCC('W', 'A', 'V', 'E');
constexpr std::uint32_t kFormatChunk = RiffFile::FourCC('f', 'm', 't', ' ');
constexpr std::uint32_t kDataChunk = RiffFile::FourCC('d', 'a', 't', 'a');

// The common part without cbSize: what the oldest wave files store.
constexpr std::uint32_t kShortFormatSize = 16;

const char* OpenErrorDescription(int error) {
    switch (error) {
    case RiffFile::kErrFileNotFound: return "file not found.";
    case RiffFile::kErrPathNotFound: return "path not found.";
    case RiffFile::kErrAccessDenied: return "access denied.";
    case RiffFile::kErrSharingViolation: return "sharing violation.";
    case RiffFile::kErrNetworkError: return "network error.";
    case RiffFile::kErrTooManyOpenFiles: return "too many open files.";
    case RiffFile::kErrInvalidFile: return "invalid file.";
    default: return "unexpected error";
    }
}

// The open file as the container reader's input.
class FileInput : public ContainerReader::Input {
public:
    explicit FileInput(RiffFile& file) : m_file(file) {}
    std::int64_t Read(std::uint8_t* data, std::int64_t count) override { return m_file.Read(data, count); }
    std::int64_t Seek(std::int64_t position) override { return m_file.Seek(position, SEEK_SET); }
    std::int64_t Size() const override { return static_cast<std::int64_t>(m_file.FileSize()); }

private:
    RiffFile& m_file;
};

}  // namespace

CSoundFile::CSoundFile(const char* fileName, WAVEFORMATEX* format, std::uint32_t formatBufferSize)
    : m_format(format), m_formatBufferSize(formatBufferSize), m_fileName(fileName ? fileName : "") {
    if (m_format == nullptr || m_formatBufferSize < kWaveFormatHeaderSize) {
        SetError("No format buffer for the sound file.");
        return;
    }
    if (m_format->wFormatTag != 0)
        OpenForWriting();
    else
        OpenForReading();
}

CSoundFile::~CSoundFile() { Close(); }

void CSoundFile::FailOpen(int error) {
    char text[kErrorTextSize + 512];
    std::snprintf(text, sizeof text, "mmioOpen() failed, error:%s, file name:'%s'", OpenErrorDescription(error),
                  m_fileName.c_str());
    Fail(text);
}

void CSoundFile::OpenForReading() {
    m_mode = kModeReading;
    m_dataLength = 0;
    m_bytesDelivered = 0;
    m_file = std::make_unique<RiffFile>();
    const int error = m_file->OpenRead(m_fileName.c_str());
    if (error != RiffFile::kOk) {
        FailOpen(error);
        return;
    }
    m_riffChunk = ChunkInfo{};
    m_riffChunk.fccType = kWaveForm;
    if (m_file->Descend(m_riffChunk, nullptr, RiffFile::Find::Riff) == RiffFile::kOk) {
        OpenWave();
        return;
    }
    if (NameMarksRawPcm()) {
        if (!OpenRaw()) Fail("Error reading the raw audio file.");
        return;
    }
    if (OpenMpeg()) return;
    OpenContainer();
}

bool CSoundFile::NameMarksRawPcm() const {
    if (m_fileName.size() <= 4) return false;
    std::string extension = m_fileName.substr(m_fileName.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".raw" || extension == ".pcm";
}

bool CSoundFile::OpenWave() {
    m_subChunk = ChunkInfo{};
    m_subChunk.ckid = kFormatChunk;
    if (m_file->Descend(m_subChunk, &m_riffChunk, RiffFile::Find::Chunk) != RiffFile::kOk) {
        Fail("Error descending in wave file");
        return false;
    }
    if (!ReadFormatChunk()) return false;
    if (m_file->Ascend(m_subChunk) != RiffFile::kOk) {
        Fail("Error ascending in File");
        return false;
    }
    m_subChunk = ChunkInfo{};
    m_subChunk.ckid = kDataChunk;
    if (m_file->Descend(m_subChunk, &m_riffChunk, RiffFile::Find::Chunk) != RiffFile::kOk) {
        Fail("error reading data chunk");
        return false;
    }
    m_dataLength = m_subChunk.cksize;
    if (m_dataLength <= 0) {
        Fail("no data in the data chunk");
        return false;
    }
    // A recording cut short keeps what it has: the audio up to the end of the file is
    // still good, and the caller learns the real length.
    if ((m_subChunk.dwFlags & RiffFile::kChunkTruncated) != 0)
        DebugOutput("The data chunk runs past the end of the file; reading the bytes present.");
    m_fileKind = kKindWave;
    return true;
}

bool CSoundFile::ReadFormatChunk() {
    const std::uint32_t chunkSize = m_subChunk.cksize;
    if (chunkSize < kShortFormatSize) {
        Fail("Error reading PCM wave format record");
        return false;
    }
    // The chunk may carry more than the buffer holds (padding or a format too large
    // for us); only what fits is read, and the record itself must fit completely.
    const std::uint32_t toRead = std::min(chunkSize, m_formatBufferSize);
    m_format->cbSize = 0;
    if (m_file->Read(m_format, toRead) != static_cast<std::int64_t>(toRead)) {
        Fail("Error reading PCM wave format record");
        return false;
    }
    if (chunkSize < kWaveFormatHeaderSize) {
        m_format->cbSize = 0;
        return true;
    }
    if (WaveFormatSize(*m_format) > toRead) {
        Fail(WaveFormatSize(*m_format) > m_formatBufferSize ? "Wave format record larger than the format buffer."
                                                             : "Error reading PCM wave format record");
        return false;
    }
    return true;
}

bool CSoundFile::OpenRaw() {
    m_dataLength = static_cast<std::int64_t>(m_file->FileSize());
    if (m_file->Seek(0, SEEK_SET) != 0) return false;
    m_fileKind = kKindRawPcm;
    return true;
}

bool CSoundFile::OpenMpeg() {
    if (m_formatBufferSize < sizeof(MPEGLAYER3WAVEFORMAT) || m_file->Seek(0, SEEK_SET) != 0) return false;
    // An ID3 tag in front may be larger than the probe's window: the frames are looked
    // for behind it. The codec layer passes over it itself.
    std::uint8_t tagHeader[MpegAudioProbe::kId3HeaderSize] = {};
    const std::int64_t headerBytes = m_file->Read(tagHeader, sizeof tagHeader);
    if (headerBytes < 0) return false;
    const std::uint64_t tag = MpegAudioProbe::Id3TagSize(tagHeader, static_cast<std::size_t>(headerBytes));
    if (tag >= m_file->FileSize() || m_file->Seek(static_cast<std::int64_t>(tag), SEEK_SET) < 0) return false;
    std::vector<std::uint8_t> start(MpegAudioProbe::kProbeSize);
    const std::int64_t got = m_file->Read(start.data(), static_cast<std::int64_t>(start.size()));
    if (got < 0) return false;
    MpegAudioProbe probe;
    if (probe.Probe(start.data(), static_cast<std::size_t>(got)) != MpegAudioProbe::kOk) return false;
    MPEGLAYER3WAVEFORMAT format{};
    probe.FillFormat(format);
    std::memcpy(m_format, &format, sizeof format);
    m_dataLength = static_cast<std::int64_t>(m_file->FileSize());
    if (m_file->Seek(0, SEEK_SET) != 0) return false;
    m_fileKind = kKindMpegLayer3;
    return true;
}

bool CSoundFile::OpenContainer() {
    if (m_file->Seek(0, SEEK_SET) != 0) {
        Fail("Error descending into file.");
        return false;
    }
    m_containerInput = std::make_unique<FileInput>(*m_file);
    m_container = std::make_unique<ContainerReader>();
    const int result = m_container->Open(*m_containerInput);
    if (result != ContainerReader::kOk) {
        m_container.reset();
        m_containerInput.reset();
        Fail(result == ContainerReader::kNotRecognised ? "Error descending into file."
             : result == ContainerReader::kNoMemory    ? "Out of memory!"
                                                        : "Format unsupported.");
        return false;
    }
    std::memcpy(m_format, &m_container->Format(), sizeof(WAVEFORMATEX));
    m_dataLength = static_cast<std::int64_t>(m_file->FileSize());
    m_bytesDelivered = std::min(m_container->InputPosition(), m_dataLength);
    m_fileKind = kKindContainer;
    return true;
}

void CSoundFile::OpenForWriting() {
    m_mode = kModeWriting;
    m_fileKind = kKindWave;
    const std::uint32_t formatSize = WaveFormatSize(*m_format);
    if (formatSize > m_formatBufferSize) {
        Fail("Wave format record larger than the format buffer.");
        return;
    }
    m_file = std::make_unique<RiffFile>();
    const int error = m_file->Create(m_fileName.c_str());
    if (error != RiffFile::kOk) {
        FailOpen(error);
        return;
    }
    m_riffChunk = ChunkInfo{};
    m_riffChunk.fccType = kWaveForm;
    m_subChunk = ChunkInfo{};
    m_subChunk.ckid = kFormatChunk;
    bool ok = m_file->CreateChunk(m_riffChunk, true) == RiffFile::kOk &&
              m_file->CreateChunk(m_subChunk, false) == RiffFile::kOk && m_file->Write(m_format, formatSize) &&
              m_file->Ascend(m_subChunk) == RiffFile::kOk;
    m_subChunk = ChunkInfo{};
    m_subChunk.ckid = kDataChunk;
    ok = ok && m_file->CreateChunk(m_subChunk, false) == RiffFile::kOk;
    if (!ok) Fail("Error writing the wave file header.");
}

bool CSoundFile::Read(CBuffer& buffer) {
    buffer.SetLength(0);
    if (m_mode != kModeReading || buffer.Data() == nullptr) return false;
    if (m_container) {
        const std::size_t got = m_container->Read(buffer.Data(), buffer.Capacity());
        buffer.SetLength(static_cast<std::uint32_t>(got));
        m_bytesDelivered = std::min(m_container->InputPosition(), m_dataLength);
        return got > 0;
    }
    const std::int64_t remaining = m_dataLength - m_bytesDelivered;
    if (remaining <= 0) return false;
    const std::int64_t wanted = std::min<std::int64_t>(remaining, buffer.Capacity());
    const std::int64_t got = m_file->Read(buffer.Data(), wanted);
    if (got <= 0) return false;
    buffer.SetLength(static_cast<std::uint32_t>(got));
    m_bytesDelivered += got;
    return true;
}

bool CSoundFile::Write(const void* data, std::uint32_t count) {
    if (m_mode != kModeWriting || m_file == nullptr) {
        SetError("The sound file is not open for writing.");
        return false;
    }
    if (data == nullptr && count > 0) return false;
    // Every size in the file must stay within 32 bits, the RIFF size and its pad byte
    // included.
    const std::int64_t here = m_file->Tell();
    const std::uint64_t riffSize = static_cast<std::uint64_t>(here) - m_riffChunk.dwDataOffset;
    if (here < 0 || riffSize + count + 1 > 0xFFFFFFFFu) {
        SetError("The wave file would grow past 4 GB.");
        return false;
    }
    if (!m_file->Write(data, count)) {
        SetError("Error writing the wave file.");
        return false;
    }
    m_dataLength += count;
    return true;
}

bool CSoundFile::Close() {
    m_container.reset();
    m_containerInput.reset();
    if (m_file == nullptr || !m_file->IsOpen()) {
        m_mode = kModeClosed;
        return true;
    }
    bool ok = true;
    if (m_mode == kModeWriting && m_fileKind == kKindWave)
        ok = m_file->Ascend(m_subChunk) == RiffFile::kOk && m_file->Ascend(m_riffChunk) == RiffFile::kOk;
    ok = m_file->Close() && ok;
    if (!ok) SetError("Error finishing the wave file.");
    m_mode = kModeClosed;
    return ok;
}

void CSoundFile::Fail(const char* text) {
    SetError(text);
    m_container.reset();
    m_containerInput.reset();
    if (m_file) m_file->Close();
    m_mode = kModeClosed;
}

void CSoundFile::SetError(const char* text) {
    DebugOutput(text);
    std::snprintf(m_lastError, sizeof m_lastError, "%s", text);
}
