#include "StdinSource.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "audio/ContainerReader.h"
#include "audio/WaveFormat.h"
#include "platform/HResult.h"
#include "vornix/Exceptions.h"

using namespace Orvane::VornixNet;

namespace {

constexpr std::size_t kRiffHeader = 12;
constexpr std::size_t kChunkHeader = 8;
constexpr std::size_t kShortFormat = 16;  // the common part without cbSize
// Decoded PCM handed over at a time, at most.
constexpr std::size_t kPcmBytes = 64 * 1024;

std::uint32_t Little32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

[[noreturn]] void Refuse(const char* text) { throw VornixException(E_FAIL, text); }

}  // namespace

// The stream as the container reader's input: first the bytes read while probing, then
// whatever the stream still holds, as it arrives.
class StdinSource::StreamInput : public ContainerReader::Input {
public:
    StreamInput(int fd, std::string& error) : m_fd(fd), m_error(error) {}
    void Replay(std::span<const std::uint8_t> bytes) { m_replay.assign(bytes.begin(), bytes.end()); }

    std::int64_t Read(std::uint8_t* data, std::int64_t count) override {
        if (count <= 0) return 0;
        if (m_replayAt < m_replay.size()) {
            const std::size_t n = std::min(m_replay.size() - m_replayAt, static_cast<std::size_t>(count));
            std::memcpy(data, m_replay.data() + m_replayAt, n);
            m_replayAt += n;
            return static_cast<std::int64_t>(n);
        }
        for (;;) {
            const ssize_t n = ::read(m_fd, data, static_cast<std::size_t>(count));
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            m_error = std::strerror(errno);
            return -1;
        }
    }
    std::int64_t Seek(std::int64_t) override { return -1; }
    std::int64_t Size() const override { return -1; }

private:
    int m_fd;
    std::string& m_error;
    std::vector<std::uint8_t> m_replay;
    std::size_t m_replayAt = 0;
};

StdinSource::StdinSource(int fd) : m_input(std::make_unique<StreamInput>(fd, m_error)) {}

StdinSource::~StdinSource() = default;

bool StdinSource::Need(std::size_t count) {
    while (m_bytes.size() - m_at < count) {
        const std::size_t have = m_bytes.size();
        m_bytes.resize(m_at + count);
        const std::int64_t got = m_input->Read(m_bytes.data() + have, static_cast<std::int64_t>(m_bytes.size() - have));
        m_bytes.resize(have + static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        if (got <= 0) return false;
    }
    return true;
}

StdinSource::Kind StdinSource::Probe() {
    const bool whole = Need(kRiffHeader);
    if (!m_error.empty()) throw VornixException(E_FAIL, "Reading standard input failed: " + m_error);
    if (whole && std::memcmp(m_bytes.data(), "RIFF", 4) == 0 && std::memcmp(m_bytes.data() + 8, "WAVE", 4) == 0) {
        ParseWave();
        m_description = "RIFF wave";
        return Kind::Wave;
    }
    if (ContainerReader::RecogniseStream(*m_input, m_bytes)) {
        m_input->Replay(m_bytes);
        m_bytes.clear();
        m_container = std::make_unique<ContainerReader>();
        const int result = m_container->Open(*m_input);
        if (result != ContainerReader::kOk) {
            if (!m_error.empty()) throw VornixException(E_FAIL, "Reading standard input failed: " + m_error);
            Refuse(result == ContainerReader::kNoMemory ? "Out of memory!" : "Format unsupported.");
        }
        const WAVEFORMATEX& format = m_container->Format();
        const auto* record = reinterpret_cast<const std::uint8_t*>(&format);
        m_format.assign(record, record + sizeof format);
        m_pcm.resize(std::max<std::size_t>(kPcmBytes / format.nBlockAlign, 1) * format.nBlockAlign);
        m_description = "container '" + m_container->ContainerName() + "', codec '" + m_container->CodecName() + "'";
        return Kind::Container;
    }
    if (!m_error.empty()) throw VornixException(E_FAIL, "Reading standard input failed: " + m_error);
    m_description = "raw PCM";
    return Kind::Raw;
}

// The header up to the data chunk, read as the file reader reads it (and refused with
// its texts); every chunk is passed over by its size, nothing kept but the format.
void StdinSource::ParseWave() {
    m_at = kRiffHeader;
    bool haveFormat = false;
    for (;;) {
        if (!Need(kChunkHeader)) Refuse(haveFormat ? "error reading data chunk" : "Error descending in wave file");
        const bool data = std::memcmp(m_bytes.data() + m_at, "data", 4) == 0;
        const bool format = std::memcmp(m_bytes.data() + m_at, "fmt ", 4) == 0;
        const std::uint32_t size = Little32(m_bytes.data() + m_at + 4);
        m_at += kChunkHeader;
        if (data) {
            if (!haveFormat) Refuse("Error descending in wave file");
            return;  // the audio runs to the end of the stream
        }
        std::uint64_t skip = static_cast<std::uint64_t>(size) + (size & 1u);
        if (format && !haveFormat) {
            if (size < kShortFormat) Refuse("Error reading PCM wave format record");
            const std::size_t kept = std::min<std::size_t>(size, g_dwmax_format_size);
            if (!Need(kept)) Refuse("Error reading PCM wave format record");
            m_format.assign(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at),
                            m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at + kept));
            m_format.resize(std::max(m_format.size(), static_cast<std::size_t>(kWaveFormatHeaderSize)), 0);
            WAVEFORMATEX header;
            std::memcpy(&header, m_format.data(), sizeof header);
            if (size < kWaveFormatHeaderSize) header.cbSize = 0;
            if (WaveFormatSize(header) > m_format.size())
                Refuse(WaveFormatSize(header) > g_dwmax_format_size ? "Wave format record larger than the format buffer."
                                                                   : "Error reading PCM wave format record");
            std::memcpy(m_format.data(), &header, sizeof header);
            m_format.resize(WaveFormatSize(header));
            haveFormat = true;
        }
        // Passed over piece by piece: a chunk's size is bounded by what the stream holds,
        // never by what is kept.
        while (skip > 0) {
            const std::size_t buffered = m_bytes.size() - m_at;
            if (buffered == 0 && !Need(static_cast<std::size_t>(std::min<std::uint64_t>(skip, kPcmBytes))) &&
                m_bytes.size() == m_at)
                Refuse(haveFormat ? "error reading data chunk" : "Error descending in wave file");
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(skip, m_bytes.size() - m_at));
            m_at += n;
            skip -= n;
            if (m_at == m_bytes.size()) {
                m_bytes.clear();
                m_at = 0;
            }
        }
    }
}

std::span<const std::uint8_t> StdinSource::Audio() const {
    if (m_container) return {};
    return {m_bytes.data() + m_at, m_bytes.size() - m_at};
}

std::span<std::uint8_t> StdinSource::Read() {
    if (!m_container) return {};
    const std::size_t n = m_container->ReadDecoded(m_pcm.data(), m_pcm.size());
    return {m_pcm.data(), n};
}
