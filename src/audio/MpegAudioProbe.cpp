#include "audio/MpegAudioProbe.h"

#include <cstring>

namespace {

// Bit rates in kbit/s by bit-rate index; index 0 (free format) and 15 are not usable.
constexpr int kBitRates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2/2.5 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2/2.5 layers II, III
};

// Sampling rates by sampling-rate index; index 3 is reserved.
constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000},  // MPEG-1
    {22050, 24000, 16000},  // MPEG-2
    {11025, 12000, 8000},   // MPEG-2.5
};

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

bool IsSync(const std::uint8_t* p) { return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0; }

// Where the variable-bit-rate header sits behind the frame header: after the side
// information, whose length depends on the version and on mono or stereo.
std::size_t XingOffset(MpegAudioProbe::Version version, int channels) {
    if (version == MpegAudioProbe::Version::Mpeg1) return channels == 1 ? 21 : 36;
    return channels == 1 ? 13 : 21;
}

// Frame length: layer I counts 4-byte slots of 12 per kbit/s, the others bytes of 144
// (72 for the half-rate layer III frames of 576 samples).
int FrameBytes(const MpegAudioProbe::FrameHeader& h, int padding) {
    const int bitRate = h.bitRateKbps * 1000;
    if (h.layer == 1) return (12 * bitRate / h.sampleRate + padding) * 4;
    const int perBit = h.layer == 3 && h.version != MpegAudioProbe::Version::Mpeg1 ? 72 : 144;
    return perBit * bitRate / h.sampleRate + padding;
}

}  // namespace

bool MpegAudioProbe::DecodeHeader(const std::uint8_t* bytes, FrameHeader& header) {
    if (!IsSync(bytes)) return false;
    const int versionBits = (bytes[1] >> 3) & 3;
    const int layerBits = (bytes[1] >> 1) & 3;
    const int bitRateIndex = bytes[2] >> 4;
    const int sampleRateIndex = (bytes[2] >> 2) & 3;
    if (layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 || sampleRateIndex == 3) return false;
    // The reserved version value 01 is read as MPEG-1, as the rest of the header then
    // decides whether the stream is usable.
    header.version = versionBits == 2 ? Version::Mpeg2 : versionBits == 0 ? Version::Mpeg25 : Version::Mpeg1;
    header.layer = 4 - layerBits;
    const bool mpeg1 = header.version == Version::Mpeg1;
    const int table = mpeg1 ? header.layer - 1 : (header.layer == 1 ? 3 : 4);
    header.bitRateKbps = kBitRates[table][bitRateIndex];
    header.sampleRate = kSampleRates[static_cast<int>(header.version)][sampleRateIndex];
    header.channels = (bytes[3] >> 6) == 3 ? 1 : 2;
    header.frameBytes = FrameBytes(header, (bytes[2] >> 1) & 1);
    return true;
}

int MpegAudioProbe::SamplesPerFrame(const FrameHeader& header) {
    if (header.layer == 1) return 384;
    return header.layer == 3 && header.version != Version::Mpeg1 ? 576 : 1152;
}

std::uint64_t MpegAudioProbe::Id3TagSize(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < kId3HeaderSize || std::memcmp(data, "ID3", 3) != 0) return 0;
    if (data[6] >= 0x80 || data[7] >= 0x80 || data[8] >= 0x80 || data[9] >= 0x80) return 0;
    const std::uint64_t body = static_cast<std::uint64_t>(data[6]) << 21 | static_cast<std::uint64_t>(data[7]) << 14 |
                               static_cast<std::uint64_t>(data[8]) << 7 | data[9];
    constexpr std::uint8_t kFooterFlag = 0x10;
    return kId3HeaderSize + body + ((data[5] & kFooterFlag) != 0 ? kId3HeaderSize : 0);
}

int MpegAudioProbe::Probe(const std::uint8_t* data, std::size_t size) {
    m_header = FrameHeader{};
    m_xing = XingHeader{};
    if (data == nullptr) return kNotFound;
    for (std::size_t i = 0; i + 4 < size; ++i) {
        FrameHeader first;
        if (!DecodeHeader(data + i, first) || first.frameBytes <= 4) continue;
        const std::size_t next = i + static_cast<std::size_t>(first.frameBytes);
        FrameHeader second;
        if (next + 4 > size || !DecodeHeader(data + next, second)) continue;
        if (second.version != first.version || second.layer != first.layer || second.sampleRate != first.sampleRate)
            continue;
        m_header = first;
        m_frameOffset = i;
        ReadXing(data + i, size - i, m_header, m_xing);
        return m_header.layer == 3 ? kOk : kNotFound;
    }
    return kNotFound;
}

bool MpegAudioProbe::ReadXing(const std::uint8_t* frame, std::size_t size, const FrameHeader& header,
                              XingHeader& xing) {
    xing = XingHeader{};
    std::size_t at = XingOffset(header.version, header.channels);
    if (frame == nullptr || at + 8 > size ||
        (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0))
        return false;
    xing.present = true;
    xing.flags = BigEndian32(frame + at + 4);
    at += 8;
    // Each field is taken only when the data read from the file holds it completely.
    if ((xing.flags & 1u) != 0 && at + 4 <= size) {
        xing.frames = BigEndian32(frame + at);
        at += 4;
    }
    if ((xing.flags & 2u) != 0 && at + 4 <= size) {
        xing.bytes = BigEndian32(frame + at);
        at += 4;
    }
    if ((xing.flags & 4u) != 0 && at + xing.toc.size() <= size) {
        std::memcpy(xing.toc.data(), frame + at, xing.toc.size());
        at += xing.toc.size();
    }
    if ((xing.flags & 8u) != 0 && at + 4 <= size) {
        xing.quality = BigEndian32(frame + at);
        at += 4;
    }
    // The encoder's tag: a 9-byte version text, then (21 bytes in) the delay and the
    // padding in 12 bits each. Only encoders known to write it this way are believed.
    constexpr std::size_t kDelayOffset = 21;
    if (at + kDelayOffset + 3 <= size &&
        (std::memcmp(frame + at, "LAME", 4) == 0 || std::memcmp(frame + at, "Lavc", 4) == 0 ||
         std::memcmp(frame + at, "Lavf", 4) == 0)) {
        const std::uint8_t* d = frame + at + kDelayOffset;
        xing.encoderDelayKnown = true;
        xing.encoderDelay = d[0] << 4 | d[1] >> 4;
        xing.encoderPadding = (d[1] & 0x0F) << 8 | d[2];
    }
    return true;
}

std::uint16_t MpegAudioProbe::BlockSize(int sampleRate, int bitRateKbps) {
    // nBlockSize = K / r truncated, with r = rate x 16 / bit rate (bit/s) and K (one
    // decimal) per sampling rate; 12000 and 24000 Hz use the 1152-sample frame of the
    // other half-rate streams. Worked in integers with K in tenths: the quotient is
    // often a whole number exactly (416 at 44100 Hz and 128 kbit/s), which a floating-
    // point division lands just below and truncation would then lose.
    std::int64_t kTenths = 0;
    switch (sampleRate) {
    case 8000:
    case 12000:
    case 16000:
    case 24000: kTenths = 11520; break;
    case 11025:
    case 22050: kTenths = 11466; break;
    case 32000: kTenths = 23040; break;
    case 44100:
    case 48000: kTenths = 22932; break;
    default: return 0;
    }
    if (bitRateKbps <= 0) return 0;
    const std::int64_t blockSize = kTenths * bitRateKbps * 100 / (static_cast<std::int64_t>(sampleRate) * 16);
    return static_cast<std::uint16_t>(blockSize);
}

void MpegAudioProbe::FillFormat(MPEGLAYER3WAVEFORMAT& format) const {
    format.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    format.wfx.nChannels = static_cast<std::uint16_t>(m_header.channels);
    format.wfx.nSamplesPerSec = static_cast<std::uint32_t>(m_header.sampleRate);
    format.wfx.nAvgBytesPerSec = static_cast<std::uint32_t>(m_header.bitRateKbps) * 1000 / 8;
    format.wfx.nBlockAlign = 1;
    format.wfx.wBitsPerSample = 0;
    format.wfx.cbSize = sizeof(MPEGLAYER3WAVEFORMAT) - sizeof(WAVEFORMATEX);
    format.wID = 1;
    format.fdwFlags = 2;
    format.nBlockSize = BlockSize(m_header.sampleRate, m_header.bitRateKbps);
    format.nFramesPerBlock = 1;
    format.nCodecDelay = 1393;
}
