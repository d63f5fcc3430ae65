#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/WaveFormat.h"

// Headerless audio described the way a user knows it (--rate, --encoding, --channels)
// instead of by a format number. The decoder reads little-endian 16-bit, unsigned 8-bit,
// 32-bit float, A-law and u-law as they are; big-endian 16-bit and signed 8-bit have no
// format record of their own, so the command turns them into the little-endian and
// unsigned forms (Convert) before it feeds them.
class RawFormat {
public:
    enum class Encoding { S16LE, S16BE, U8, S8, F32LE, ALaw, ULaw };

    // The names --encoding takes, in the order help lists them.
    static std::vector<std::string> EncodingNames();
    static std::optional<Encoding> ParseEncoding(std::string_view name);

    RawFormat(std::uint32_t sampleRate, Encoding encoding, std::uint16_t channels);

    // The record of what the decoder is fed (after Convert).
    WAVEFORMATEX Record() const;
    // Record() as the hexadecimal text WaveFormatID takes.
    std::string RecordText() const;
    // Whether the bytes must go through Convert before the decoder reads them.
    bool NeedsConversion() const { return m_encoding == Encoding::S16BE || m_encoding == Encoding::S8; }
    // Bytes of one frame (a sample of each channel) of the input.
    std::size_t FrameBytes() const;
    // Turns whole frames of input into what Record() describes, in place.
    void Convert(std::span<std::uint8_t> frames) const;

private:
    std::uint32_t m_sampleRate;
    Encoding m_encoding;
    std::uint16_t m_channels;
};
