#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "audio/CACMBuffer.h"

namespace audiotest {

// A compressed stream: its wave format record and its bytes.
struct EncodedStream {
    Bytes record;
    Bytes data;
    const WAVEFORMATEX* Format() const { return reinterpret_cast<const WAVEFORMATEX*>(record.data()); }
};

// Encodes interleaved 16-bit PCM with one of libavcodec's encoders (by name) and
// describes the result as a wave format record with the given tag. False when this
// libavcodec has no such encoder.
// A bit rate or block size of 0 leaves the encoder's default.
bool Encode(const char* encoder, std::uint16_t tag, int rate, int channels, const std::vector<std::int16_t>& pcm,
            EncodedStream& out, std::int64_t bitRate = 0, int blockSize = 0);

// Feeds the stream through a conversion buffer in pieces of the given sizes (cycled),
// the way a decoding run does: prepare, input, then output until -2. Returns the PCM.
// Fails the test on any unexpected result.
std::vector<std::int16_t> ConvertInPieces(const WAVEFORMATEX* format, const Bytes& data,
                                          const std::vector<std::size_t>& pieces);

// The whole stream in one piece.
std::vector<std::int16_t> ConvertWhole(const WAVEFORMATEX* format, const Bytes& data);

}  // namespace audiotest

namespace audiotest {

// Decodes the stream with libavcodec directly, one block per packet, as a second
// opinion on the conversion buffer's plumbing. Empty without libavcodec.
std::vector<std::int16_t> DecodeBlocksDirectly(const WAVEFORMATEX* format, const Bytes& data);

}  // namespace audiotest
