#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/WaveFormat.h"

// Results of the codec layer. The values follow the platform's compression-manager
// numbering, so that a logged "Unexpected error in ACM converting (%d)" keeps its
// meaning.
namespace acm {
inline constexpr int kOk = 0;
inline constexpr int kError = 1;
inline constexpr int kInvalidHandle = 5;
inline constexpr int kNoMemory = 7;
inline constexpr int kInvalidParam = 11;
inline constexpr int kNotPossible = 512;
inline constexpr int kUnprepared = 514;
}  // namespace acm

// One decoder of a compressed wave format to interleaved 16-bit PCM at the source's
// rate and channel count. It takes source bytes in whatever pieces they arrive and
// consumes only what it can decode (whole samples, whole blocks, or whole MPEG frames
// found by their headers);
// it writes at most the room it is given and keeps decoded samples that did not fit
// for the next call. So the PCM it produces does not depend on how the source was cut.
//
// Built on libavcodec; in a build without it every format is refused.
class CodecStream {
public:
    // Whether the codec layer can decode this format to PCM (tag, bits, channels and
    // rate are checked; the decoder is not opened).
    static bool CanDecode(const WAVEFORMATEX& source);

    // The codec library's own name for a format tag that has no entry in our name table,
    // or null when the tag is not decodable.
    static const char* LibraryName(std::uint16_t formatTag);

    // Opens a decoder for the source format (18 + cbSize bytes). Returns acm::kOk or
    // acm::kNotPossible / acm::kNoMemory, leaving stream empty on failure.
    static int Open(const WAVEFORMATEX& source, std::unique_ptr<CodecStream>& stream);

    CodecStream(const CodecStream&) = delete;
    CodecStream& operator=(const CodecStream&) = delete;
    ~CodecStream();

    // Converts from source (srcLength bytes) into dest (destCapacity bytes). srcUsed
    // receives the source bytes consumed, destUsed the PCM bytes written. needsInput is
    // true when the stream stopped for want of source bytes (nothing decoded is
    // waiting), false when it stopped because dest was full. Returns acm::kOk, or
    // acm::kNoMemory / acm::kError when the decoder failed beyond one bad packet.
    int Convert(const std::uint8_t* source, std::size_t srcLength, std::size_t& srcUsed, std::uint8_t* dest,
                std::size_t destCapacity, std::size_t& destUsed, bool& needsInput);

    // Bytes of one PCM frame of the output (channels x 2).
    std::size_t OutputFrameBytes() const;
    // Smallest source piece the decoder consumes at a time (a sample frame or a block;
    // 1 byte for MPEG audio, whose frames vary in length).
    std::size_t SourceUnit() const;
    // Packets that failed to decode and were skipped.
    std::uint64_t SkippedPackets() const;

private:
    struct Impl;
    explicit CodecStream(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};
