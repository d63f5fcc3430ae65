#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/CodecStream.h"
#include "audio/WaveFormat.h"

// Conversion buffer: turns a stream in a compressed wave format into the PCM format
// the codec layer suggests for it, chunk by chunk. Input that the codec cannot consume
// yet (part of a block or frame) stays in the source buffer for the next chunk, and
// decoded PCM is handed out in pieces until everything supplied has been converted, so
// the PCM is the same however the input was cut.
//
// Order of use: SetSrcFmt, GetSuggestFormat, SetDstFmt (opens the stream),
// PrepareHeader, then ProcessInput and ProcessOutput (until it returns -2) per chunk.
// Results other than ProcessOutput's are acm:: codes (0 is success).
class CACMBuffer {
public:
    CACMBuffer();
    CACMBuffer(const CACMBuffer&) = delete;
    CACMBuffer& operator=(const CACMBuffer&) = delete;
    virtual ~CACMBuffer();

    // Keeps a copy of the source format (18 + cbSize bytes, at most the largest format
    // size); an open stream is closed.
    int SetSrcFmt(const WAVEFORMATEX* format);
    // 16-bit PCM at the source's rate and channel count, when the codec layer can
    // decode the source. The record stays owned by this object.
    int GetSuggestFormat(WAVEFORMATEX** suggested);
    // Opens the conversion stream from the source format to this destination, which
    // must be the suggested format. The result is also kept as the last result.
    int SetDstFmt(const WAVEFORMATEX* format);

    // Sizes the buffers for chunks of sourceBytes (or, when that is 0, for destBytes of
    // output); exactly one of them is non-zero. Returns the size of the other side, 0
    // when the buffers already suffice, or a negated acm:: code. Pending input and
    // output survive a resize.
    std::int32_t PrepareHeader(std::int32_t sourceBytes, std::int32_t destBytes);

    // Appends length bytes of source and converts what it can. The source buffer grows
    // when a chunk does not fit, so no input is ever dropped.
    int ProcessInput(const void* data, std::int32_t length);

    // Hands out the next converted PCM: 0 with the data (valid until the next call on
    // this object) and its length; -2 when everything supplied has been converted and
    // handed out; -1 when a conversion failed.
    int ProcessOutput(const std::uint8_t** data, std::int32_t* length);

    int GetLastResult() const { return m_lastResult; }
    // Packets of the source that failed to decode and were skipped.
    std::uint64_t GetSkippedPackets() const { return m_stream ? m_stream->SkippedPackets() : 0; }
    std::int32_t GetPreparedSize() const { return m_preparedSize; }
    std::size_t GetSourceCapacity() const { return m_source.size(); }
    std::size_t GetSourceFill() const { return m_sourceFill; }
    std::size_t GetDestLength() const { return m_dest.size(); }

private:
    const WAVEFORMATEX* SourceFormat() const;
    std::size_t DestBytesFor(std::uint64_t sourceBytes) const;
    std::size_t SourceBytesFor(std::uint64_t destBytes) const;
    bool ResizeBuffers(std::size_t sourceCapacity, std::size_t destLength);
    int Convert();

    std::unique_ptr<std::uint8_t[]> m_sourceFormat;
    std::unique_ptr<std::uint8_t[]> m_suggested;
    WAVEFORMATEX m_destFormat{};
    std::unique_ptr<CodecStream> m_stream;
    int m_lastResult = acm::kOk;
    std::vector<std::uint8_t> m_source;   // capacity = size()
    std::size_t m_sourceFill = 0;
    std::vector<std::uint8_t> m_dest;
    std::size_t m_destPending = 0;        // converted bytes not yet handed out
    bool m_sourceExhausted = true;        // the last conversion stopped for want of input
    std::int32_t m_preparedSize = 0;
};
