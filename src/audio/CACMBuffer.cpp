#include "audio/CACMBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// The buffer sizes only set how much is converted per round, never what comes out, so
// they are estimates kept within sane bounds.
constexpr std::size_t kMinDestBytes = 4096;
constexpr std::size_t kMaxDestBytes = 16u << 20;
constexpr std::int64_t kMaxChunkBytes = 256 << 20;
// Expansion assumed when the record gives no byte rate; the widest common codec
// (4-bit ADPCM) expands 4 times, low-rate speech codecs about 15 times.
constexpr double kUnknownExpansion = 16.0;
constexpr double kMaxExpansion = 64.0;

// Decoded bytes per source byte, from the record's byte rate.
double Expansion(const WAVEFORMATEX& source) {
    if (source.nAvgBytesPerSec == 0) return kUnknownExpansion;
    const double out = static_cast<double>(source.nSamplesPerSec) * source.nChannels * 2;
    return std::clamp(out / source.nAvgBytesPerSec, 1.0, kMaxExpansion);
}

}  // namespace

CACMBuffer::CACMBuffer() = default;

CACMBuffer::~CACMBuffer() = default;

const WAVEFORMATEX* CACMBuffer::SourceFormat() const {
    return reinterpret_cast<const WAVEFORMATEX*>(m_sourceFormat.get());
}

int CACMBuffer::SetSrcFmt(const WAVEFORMATEX* format) {
    if (format == nullptr || WaveFormatSize(*format) > g_dwmax_format_size) return acm::kInvalidParam;
    if (!m_sourceFormat) m_sourceFormat = std::make_unique<std::uint8_t[]>(g_dwmax_format_size);
    // A copy: the caller may change its format buffer while a run converts.
    std::memcpy(m_sourceFormat.get(), format, WaveFormatSize(*format));
    m_stream.reset();
    return acm::kOk;
}

int CACMBuffer::GetSuggestFormat(WAVEFORMATEX** suggested) {
    if (suggested == nullptr || !m_sourceFormat) return acm::kInvalidParam;
    const WAVEFORMATEX& source = *SourceFormat();
    if (!CodecStream::CanDecode(source)) return acm::kNotPossible;
    if (!m_suggested) m_suggested = std::make_unique<std::uint8_t[]>(g_dwmax_format_size);
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = source.nChannels;
    pcm.nSamplesPerSec = source.nSamplesPerSec;
    pcm.nBlockAlign = static_cast<std::uint16_t>(source.nChannels * 2);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    pcm.wBitsPerSample = 16;
    pcm.cbSize = 0;
    std::memcpy(m_suggested.get(), &pcm, sizeof pcm);
    *suggested = reinterpret_cast<WAVEFORMATEX*>(m_suggested.get());
    return acm::kOk;
}

int CACMBuffer::SetDstFmt(const WAVEFORMATEX* format) {
    m_stream.reset();
    m_source.clear();
    m_dest.clear();
    m_sourceFill = 0;
    m_destPending = 0;
    m_sourceExhausted = true;
    m_preparedSize = 0;
    if (format == nullptr || !m_sourceFormat) return m_lastResult = acm::kInvalidParam;
    const WAVEFORMATEX& source = *SourceFormat();
    // The codec layer decodes to one format only: 16-bit PCM, rate and channels kept.
    if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 ||
        format->nChannels != source.nChannels || format->nSamplesPerSec != source.nSamplesPerSec)
        return m_lastResult = acm::kNotPossible;
    m_destFormat = *format;
    return m_lastResult = CodecStream::Open(source, m_stream);
}

std::size_t CACMBuffer::DestBytesFor(std::uint64_t sourceBytes) const {
    const double estimate = std::ceil(static_cast<double>(sourceBytes) * Expansion(*SourceFormat()));
    const std::size_t frame = m_stream->OutputFrameBytes();
    std::size_t bytes = static_cast<std::size_t>(
        std::clamp(estimate, static_cast<double>(kMinDestBytes), static_cast<double>(kMaxDestBytes)));
    bytes += (frame - bytes % frame) % frame;
    return bytes;
}

std::size_t CACMBuffer::SourceBytesFor(std::uint64_t destBytes) const {
    const double estimate = std::ceil(static_cast<double>(destBytes) / Expansion(*SourceFormat()));
    return std::max(static_cast<std::size_t>(estimate), m_stream->SourceUnit());
}

bool CACMBuffer::ResizeBuffers(std::size_t sourceCapacity, std::size_t destLength) {
    try {
        // Bytes waiting on either side are kept: a chunk that arrives larger than the
        // ones before must not lose the part block or the PCM still to be handed out.
        m_source.resize(std::max(sourceCapacity, m_sourceFill));
        m_dest.resize(std::max(destLength, m_destPending));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::int32_t CACMBuffer::PrepareHeader(std::int32_t sourceBytes, std::int32_t destBytes) {
    if (!m_stream) return -acm::kInvalidHandle;
    if (sourceBytes < 0 || destBytes < 0 || (sourceBytes == 0) == (destBytes == 0) ||
        std::max(sourceBytes, destBytes) > kMaxChunkBytes)
        return -acm::kInvalidParam;
    const std::int32_t requested = sourceBytes != 0 ? sourceBytes : destBytes;
    if (m_preparedSize != 0 && requested <= m_preparedSize) return 0;
    std::size_t capacity = 0;
    std::size_t destLength = 0;
    std::int32_t result = 0;
    if (sourceBytes != 0) {
        capacity = static_cast<std::size_t>(sourceBytes) + static_cast<std::size_t>(sourceBytes) / 2;
        destLength = DestBytesFor(capacity);
        result = static_cast<std::int32_t>(destLength);
    } else {
        destLength = std::max(static_cast<std::size_t>(destBytes), m_stream->OutputFrameBytes());
        capacity = SourceBytesFor(destLength);
        result = static_cast<std::int32_t>(static_cast<double>(capacity) / 1.5);
    }
    if (!ResizeBuffers(capacity, destLength)) return -acm::kNoMemory;
    m_preparedSize = requested;
    return result;
}

int CACMBuffer::Convert() {
    std::size_t used = 0;
    std::size_t produced = 0;
    bool needsInput = false;
    const int result =
        m_stream->Convert(m_source.data(), m_sourceFill, used, m_dest.data(), m_dest.size(), produced, needsInput);
    if (result != acm::kOk) return m_lastResult = result;
    if (used < m_sourceFill) std::memmove(m_source.data(), m_source.data() + used, m_sourceFill - used);
    m_sourceFill -= used;
    m_destPending = produced;
    m_sourceExhausted = needsInput;
    return acm::kOk;
}

int CACMBuffer::ProcessInput(const void* data, std::int32_t length) {
    if (!m_stream) return m_lastResult = acm::kInvalidHandle;
    if (length < 0 || (data == nullptr && length > 0)) return m_lastResult = acm::kInvalidParam;
    if (m_preparedSize == 0) return m_lastResult = acm::kUnprepared;
    const std::size_t n = static_cast<std::size_t>(length);
    if (m_sourceFill + n > m_source.size() && !ResizeBuffers(m_sourceFill + n, m_dest.size()))
        return m_lastResult = acm::kNoMemory;
    if (n > 0) {
        std::memcpy(m_source.data() + m_sourceFill, data, n);
        m_sourceFill += n;
        m_sourceExhausted = false;
    }
    // Converted bytes not yet handed out must not be overwritten; ProcessOutput
    // converts the new input once they are taken.
    if (m_destPending > 0) return acm::kOk;
    return Convert();
}

int CACMBuffer::ProcessOutput(const std::uint8_t** data, std::int32_t* length) {
    if (data == nullptr || length == nullptr) return -1;
    *data = nullptr;
    *length = 0;
    if (!m_stream || m_dest.empty()) return -2;
    if (m_destPending == 0) {
        if (m_sourceExhausted) return -2;
        if (Convert() != acm::kOk) return -1;
        // Nothing more came out: what is left is part of a block, kept for more input.
        if (m_destPending == 0) return -2;
    }
    *data = m_dest.data();
    *length = static_cast<std::int32_t>(m_destPending);
    m_destPending = 0;
    return 0;
}
