#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "component/CaptureSourceBase.h"

class CSoundFile;

// A capture source that plays back recorded audio: a sound file (RIFF wave in any
// codec, MPEG Layer III, or headerless PCM in the raw format) or bytes in memory with a
// format record. It records on its own thread, in real time (each buffer sent when its
// audio would have been heard) or as fast as the receiver takes it, so a host can
// exercise a live set-up without a sound device.
class ReplayCaptureSource : public CaptureSourceBase {
public:
    ReplayCaptureSource();
    ~ReplayCaptureSource() override;

    // Plays this file at the next Start; it is opened there, so errors show at Start.
    void LoadFile(std::string fileName);
    // Plays a copy of these bytes in this format record (18 bytes plus its extra size).
    // False, changing nothing, for a record too short for its own extra size or one with
    // no block alignment.
    bool LoadBuffer(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> formatRecord);
    bool LoadBuffer(std::span<const std::uint8_t> bytes, const WAVEFORMATEX& format);

    // The format of headerless PCM files, which carry none: 8 kHz 16-bit mono unless set.
    void RawFormat(const WAVEFORMATEX& format) { m_rawFormat = format; }

    // Real time (the default) or as fast as possible.
    void RealTime(bool value) { m_realTime = value; }
    bool RealTime() const { return m_realTime; }
    // Length of audio in each AM_RECORD_DATA, 1 to 1000 ms (100 unless set).
    void BufferMs(std::uint32_t value);

    // Opens the audio and starts playing it. False with an error text when nothing is
    // loaded, the file cannot be read, or a recording is running already.
    bool Start();

private:
    void PlayFile();
    void PlayBuffer();
    std::uint32_t ChunkBytes() const;
    // Sends one buffer, in real time after waiting for its moment; false on a stop request.
    bool Send(const std::uint8_t* data, std::uint32_t count);

    std::string m_fileName;
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::uint8_t> m_bytesFormat;
    bool m_fromFile = false;
    bool m_loaded = false;
    WAVEFORMATEX m_rawFormat{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    // The host may change these while a recording reads them.
    std::atomic<bool> m_realTime{true};
    std::atomic<std::uint32_t> m_bufferMs{100};

    // Pacing of the running recording.
    std::chrono::steady_clock::time_point m_started;
    std::uint64_t m_bytesSent = 0;
    // The file being played and the buffer its format is read into, which must outlive it.
    std::vector<std::uint8_t> m_fileFormat;
    std::unique_ptr<CSoundFile> m_file;
};
