#include "component/ReplayCaptureSource.h"

#include <algorithm>
#include <cstring>

#include "audio/CBuffer.h"
#include "audio/CSoundFile.h"

using Orvane::VornixNet::AM_RECORD_DATA;

namespace {

// Each data message carries at most this much, whatever a format claims per second.
constexpr std::uint32_t kMaxChunkBytes = 4u << 20;
// Formats that state no byte rate are sent in pieces of this size.
constexpr std::uint32_t kUnpacedChunkBytes = 4096;

}  // namespace

ReplayCaptureSource::ReplayCaptureSource() = default;

ReplayCaptureSource::~ReplayCaptureSource() {
    // The recording thread plays this object's file and bytes.
    Shutdown();
}

void ReplayCaptureSource::LoadFile(std::string fileName) {
    if (RefuseIfRunning()) return;
    m_fileName = std::move(fileName);
    m_bytes.clear();
    m_fromFile = true;
    m_loaded = true;
}

bool ReplayCaptureSource::LoadBuffer(std::span<const std::uint8_t> bytes,
                                     std::span<const std::uint8_t> formatRecord) {
    if (formatRecord.size() < kWaveFormatHeaderSize) return false;
    WAVEFORMATEX header;
    std::memcpy(&header, formatRecord.data(), sizeof header);
    if (formatRecord.size() < WaveFormatSize(header) || WaveFormatSize(header) > g_dwmax_format_size ||
        header.nBlockAlign == 0)
        return false;
    if (RefuseIfRunning()) return false;
    m_bytes.assign(bytes.begin(), bytes.end());
    m_bytesFormat.assign(formatRecord.begin(), formatRecord.begin() + WaveFormatSize(header));
    m_fileName.clear();
    m_fromFile = false;
    m_loaded = true;
    return true;
}

bool ReplayCaptureSource::LoadBuffer(std::span<const std::uint8_t> bytes, const WAVEFORMATEX& format) {
    // Only the common part is read: the caller's record may carry no extra bytes.
    WAVEFORMATEX header = format;
    header.cbSize = 0;
    return LoadBuffer(bytes, std::span(reinterpret_cast<const std::uint8_t*>(&header), sizeof header));
}

void ReplayCaptureSource::BufferMs(std::uint32_t value) {
    m_bufferMs = std::clamp<std::uint32_t>(value, 1, 1000);
}

bool ReplayCaptureSource::Start() {
    if (RefuseIfRunning()) return false;
    if (!m_loaded) {
        SetErrorText("Nothing to play: load a file or a buffer first.");
        return false;
    }
    if (m_fromFile) {
        // A zero format tag opens the file for reading.
        m_fileFormat.assign(g_dwmax_format_size, 0);
        auto* format = reinterpret_cast<WAVEFORMATEX*>(m_fileFormat.data());
        m_file = std::make_unique<CSoundFile>(m_fileName.c_str(), format, g_dwmax_format_size);
        if (!m_file->IsOK()) {
            SetErrorText(m_file->GetLastErrorText());
            m_file.reset();
            return false;
        }
        if (m_file->GetFileKind() == CSoundFile::kKindRawPcm) *format = m_rawFormat;
        SetFormat(std::span(m_fileFormat.data(), WaveFormatSize(*format)));
    } else {
        SetFormat(m_bytesFormat);
    }
    m_bytesSent = 0;
    m_started = std::chrono::steady_clock::now();
    return Launch([this] { m_fromFile ? PlayFile() : PlayBuffer(); });
}

std::uint32_t ReplayCaptureSource::ChunkBytes() const {
    const WAVEFORMATEX& format = Format();
    const std::uint32_t align = std::max<std::uint32_t>(format.nBlockAlign, 1);
    std::uint64_t bytes = format.nAvgBytesPerSec == 0
                              ? kUnpacedChunkBytes
                              : std::uint64_t{format.nAvgBytesPerSec} * m_bufferMs / 1000;
    bytes = std::min<std::uint64_t>(bytes, kMaxChunkBytes);
    // Whole blocks only, so no frame (or codec block) is split between two messages.
    bytes -= bytes % align;
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(bytes, align));
}

bool ReplayCaptureSource::Send(const std::uint8_t* data, std::uint32_t count) {
    const std::uint32_t rate = Format().nAvgBytesPerSec;
    m_bytesSent += count;
    if (m_realTime && rate != 0) {
        // A device hands over a buffer once its audio has been heard.
        const auto due = m_started + std::chrono::microseconds(m_bytesSent * 1000000 / rate);
        if (!SleepUntil(due)) return false;
    }
    Deliver(AM_RECORD_DATA, reinterpret_cast<std::uint64_t>(data), count);
    return !StopRequested();
}

void ReplayCaptureSource::PlayBuffer() {
    const std::uint32_t chunk = ChunkBytes();
    for (std::size_t at = 0; at < m_bytes.size(); at += chunk) {
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(chunk, m_bytes.size() - at));
        if (!Send(m_bytes.data() + at, count)) break;
    }
}

void ReplayCaptureSource::PlayFile() {
    CBuffer buffer(ChunkBytes());
    if (buffer.Capacity() == 0) {
        SetErrorText("Out of memory!");
    } else {
        while (!StopRequested() && m_file->Read(buffer))
            if (!Send(buffer.Data(), buffer.Length())) break;
    }
    m_file.reset();
}
