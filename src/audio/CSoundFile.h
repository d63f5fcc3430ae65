#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/CBuffer.h"
#include "audio/CSoundBase.h"
#include "audio/ContainerReader.h"
#include "audio/RiffFile.h"
#include "audio/WaveFormat.h"

// A sound file on disk: reads a RIFF wave file, a headerless PCM file (".raw", ".pcm"),
// an MPEG audio Layer III file or any other container the container reader recognises
// by its content, and hands out its audio bytes chunk by chunk (a container's as the
// 16-bit PCM it decodes to); or creates a RIFF wave file and writes audio to it.
//
// The caller's format buffer (formatBufferSize bytes, at least the 18-byte common
// part) receives the file's format when reading and supplies the format when writing;
// it must outlive the object. Failures never throw: IsOK() tells whether the file is
// usable and GetLastErrorText() says why not.
class CSoundFile : public CSoundBase {
public:
    static constexpr std::uint32_t kKindWave = 0;
    static constexpr std::uint32_t kKindMpegLayer3 = 0xF0000001;
    static constexpr std::uint32_t kKindRawPcm = 0xF0000002;
    static constexpr std::uint32_t kKindContainer = 0xF0000003;

    static constexpr int kModeClosed = 0;
    static constexpr int kModeReading = 1;
    static constexpr int kModeWriting = 2;

    static constexpr std::size_t kErrorTextSize = 160;

    // Opens for writing when the format's wFormatTag is non-zero, otherwise for reading.
    CSoundFile(const char* fileName, WAVEFORMATEX* format,
               std::uint32_t formatBufferSize = g_dwmax_format_size);
    ~CSoundFile() override;

    bool IsOK() const { return m_mode != kModeClosed; }

    // Fills the buffer with the next audio bytes, up to its capacity; true when at least
    // one byte was read. At the end, or when not reading, the buffer's length is 0.
    virtual bool Read(CBuffer& buffer);

    // Appends audio bytes to a file opened for writing; false (with an error text) when
    // not writing, on a write error, or when the file would outgrow the 4 GB a RIFF
    // size can describe.
    bool Write(const void* data, std::uint32_t count);

    // Finishes (a written file gets its final chunk sizes) and closes the file. False
    // when finishing a written file failed.
    bool Close();

    int GetMode() const { return m_mode; }
    // Audio bytes in the file: the "data" chunk, or the whole file for raw, MPEG and
    // other containers.
    std::int64_t GetDataLength() const { return m_dataLength; }
    // Bytes of the data handed out; for a container, bytes of the file read so far.
    std::int64_t GetBytesDelivered() const { return m_bytesDelivered; }
    std::uint32_t GetFileKind() const { return m_fileKind; }
    // The reader decoding a container file, or null for the other kinds.
    const ContainerReader* GetContainer() const { return m_container.get(); }
    const char* GetLastErrorText() const { return m_lastError; }

private:
    void OpenForReading();
    void FailOpen(int error);
    void OpenForWriting();
    bool OpenWave();
    bool OpenRaw();
    bool OpenMpeg();
    bool OpenContainer();
    bool ReadFormatChunk();
    bool NameMarksRawPcm() const;
    void Fail(const char* text);
    void SetError(const char* text);

    WAVEFORMATEX* m_format;
    std::uint32_t m_formatBufferSize;
    int m_mode = kModeClosed;
    std::int64_t m_dataLength = 0;
    std::int64_t m_bytesDelivered = 0;
    std::unique_ptr<RiffFile> m_file;
    // Declared after the file they read, so that they go first.
    std::unique_ptr<ContainerReader::Input> m_containerInput;
    std::unique_ptr<ContainerReader> m_container;
    std::string m_fileName;
    ChunkInfo m_riffChunk;
    ChunkInfo m_subChunk;
    std::uint32_t m_fileKind = kKindWave;
    char m_lastError[kErrorTextSize] = {};
};
