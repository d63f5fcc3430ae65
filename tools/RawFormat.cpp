#include "RawFormat.h"

#include <array>
#include <utility>

#include "audio/StreamFormats.h"

namespace {

struct EncodingName {
    const char* name;
    RawFormat::Encoding encoding;
};
constexpr std::array<EncodingName, 7> kEncodings = {{{"s16le", RawFormat::Encoding::S16LE},
                                                     {"s16be", RawFormat::Encoding::S16BE},
                                                     {"u8", RawFormat::Encoding::U8},
                                                     {"s8", RawFormat::Encoding::S8},
                                                     {"f32le", RawFormat::Encoding::F32LE},
                                                     {"alaw", RawFormat::Encoding::ALaw},
                                                     {"ulaw", RawFormat::Encoding::ULaw}}};

}  // namespace

std::vector<std::string> RawFormat::EncodingNames() {
    std::vector<std::string> names;
    for (const EncodingName& e : kEncodings) names.emplace_back(e.name);
    return names;
}

std::optional<RawFormat::Encoding> RawFormat::ParseEncoding(std::string_view name) {
    for (const EncodingName& e : kEncodings)
        if (name == e.name) return e.encoding;
    return std::nullopt;
}

RawFormat::RawFormat(std::uint32_t sampleRate, Encoding encoding, std::uint16_t channels)
    : m_sampleRate(sampleRate), m_encoding(encoding), m_channels(channels) {}

std::size_t RawFormat::FrameBytes() const {
    switch (m_encoding) {
        case Encoding::S16LE:
        case Encoding::S16BE: return 2u * m_channels;
        case Encoding::F32LE: return 4u * m_channels;
        default: return m_channels;
    }
}

WAVEFORMATEX RawFormat::Record() const {
    WAVEFORMATEX f{};
    switch (m_encoding) {
        case Encoding::S16LE:
        case Encoding::S16BE:
            f.wFormatTag = WAVE_FORMAT_PCM;
            f.wBitsPerSample = 16;
            break;
        case Encoding::U8:
        case Encoding::S8:
            f.wFormatTag = WAVE_FORMAT_PCM;
            f.wBitsPerSample = 8;
            break;
        case Encoding::F32LE:
            f.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
            f.wBitsPerSample = 32;
            break;
        case Encoding::ALaw:
        case Encoding::ULaw:
            f.wFormatTag = m_encoding == Encoding::ALaw ? WAVE_FORMAT_ALAW : WAVE_FORMAT_MULAW;
            f.wBitsPerSample = 8;
            break;
    }
    f.nChannels = m_channels;
    f.nSamplesPerSec = m_sampleRate;
    f.nBlockAlign = static_cast<std::uint16_t>(FrameBytes());
    f.nAvgBytesPerSec = m_sampleRate * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

std::string RawFormat::RecordText() const {
    const WAVEFORMATEX record = Record();
    return WaveFmtToString(&record, sizeof record);
}

void RawFormat::Convert(std::span<std::uint8_t> frames) const {
    if (m_encoding == Encoding::S16BE) {
        for (std::size_t i = 0; i + 1 < frames.size(); i += 2) std::swap(frames[i], frames[i + 1]);
    } else if (m_encoding == Encoding::S8) {
        // Two's complement to offset binary: the sign bit flips.
        for (std::uint8_t& b : frames) b ^= 0x80;
    }
}
