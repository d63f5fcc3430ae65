#include "audio/CodecStream.h"

// The codec layer of a build without libavcodec: plain PCM is read directly by the
// decoding runs, and every other format is refused.

struct CodecStream::Impl {};

bool CodecStream::CanDecode(const WAVEFORMATEX&) { return false; }

const char* CodecStream::LibraryName(std::uint16_t) { return nullptr; }

int CodecStream::Open(const WAVEFORMATEX&, std::unique_ptr<CodecStream>& stream) {
    stream.reset();
    return acm::kNotPossible;
}

CodecStream::CodecStream(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

CodecStream::~CodecStream() = default;

int CodecStream::Convert(const std::uint8_t*, std::size_t, std::size_t& srcUsed, std::uint8_t*, std::size_t,
                         std::size_t& destUsed, bool& needsInput) {
    srcUsed = 0;
    destUsed = 0;
    needsInput = true;
    return acm::kNotPossible;
}

std::size_t CodecStream::OutputFrameBytes() const { return 0; }

std::size_t CodecStream::SourceUnit() const { return 0; }

std::uint64_t CodecStream::SkippedPackets() const { return 0; }
