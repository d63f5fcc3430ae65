#pragma once

#include <bit>
#include <cstdint>

// The wave format record: the layout of a RIFF "fmt " chunk, used unchanged in memory
// so that a record read from a file, built from the format list or decoded from its
// hexadecimal text is the same bytes everywhere. Packed: 18 bytes, then cbSize bytes of
// format-specific data.
static_assert(std::endian::native == std::endian::little,
              "wave format records are stored in memory exactly as in the file (little-endian)");

#pragma pack(push, 1)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};

// The record of an MPEG audio Layer III stream: the common part plus 12 bytes.
struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    std::uint16_t wID;
    std::uint32_t fdwFlags;
    std::uint16_t nBlockSize;
    std::uint16_t nFramesPerBlock;
    std::uint16_t nCodecDelay;
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 0x0001;
inline constexpr std::uint16_t WAVE_FORMAT_ADPCM = 0x0002;
inline constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
inline constexpr std::uint16_t WAVE_FORMAT_ALAW = 0x0006;
inline constexpr std::uint16_t WAVE_FORMAT_MULAW = 0x0007;
inline constexpr std::uint16_t WAVE_FORMAT_IMA_ADPCM = 0x0011;
inline constexpr std::uint16_t WAVE_FORMAT_DSPGROUP_TRUESPEECH = 0x0022;
inline constexpr std::uint16_t WAVE_FORMAT_GSM610 = 0x0031;
inline constexpr std::uint16_t WAVE_FORMAT_MPEG = 0x0050;
inline constexpr std::uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;
inline constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

inline constexpr std::uint32_t kWaveFormatHeaderSize = sizeof(WAVEFORMATEX);

// The largest format record any part of the system handles: every buffer that holds a
// record has this size. It covers every format the codec layer converts (the largest
// standard ones, ADPCM with its coefficient table and the extensible record, need 50
// and 40 bytes) with room for codecs that carry a longer setup block.
inline constexpr std::uint32_t g_dwmax_format_size = 1024;

// Whole length of a record: the common part plus its format-specific data.
inline constexpr std::uint32_t WaveFormatSize(const WAVEFORMATEX& format) {
    return kWaveFormatHeaderSize + format.cbSize;
}
