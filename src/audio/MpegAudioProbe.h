#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "audio/WaveFormat.h"

// Recognises an MPEG audio stream from the first bytes of a file: finds the first frame
// header, decodes it (MPEG-1, MPEG-2 and MPEG-2.5, layers I to III), reads an optional
// variable-bit-rate "Xing" header and describes a Layer III stream as a wave format
// record, so a bare MPEG audio file can be fed to the codec layer like a wave file.
class MpegAudioProbe {
public:
    // How much of the file start is searched for a frame header.
    static constexpr std::size_t kProbeSize = 24576;

    static constexpr int kOk = 0;
    static constexpr int kNotFound = -2;     // no frame header, or not Layer III
    static constexpr int kReadError = -3;

    enum class Version { Mpeg1, Mpeg2, Mpeg25 };

    struct FrameHeader {
        Version version = Version::Mpeg1;
        int layer = 0;              // 1, 2 or 3
        int bitRateKbps = 0;
        int sampleRate = 0;
        int channels = 0;
        int frameBytes = 0;         // whole frame, header and padding included
    };

    // The optional variable-bit-rate header; kept with the frame header although
    // nothing needs it to read the stream.
    struct XingHeader {
        bool present = false;
        std::uint32_t flags = 0;
        std::uint32_t frames = 0;
        std::uint32_t bytes = 0;
        std::array<std::uint8_t, 100> toc{};
        std::uint32_t quality = 0;
    };

    // Scans data for the first valid frame header. A header whose bit-rate or
    // sampling-rate index is reserved or free-format, or whose layer is reserved, is a
    // false sync and the scan goes on. Returns kOk or kNotFound.
    int Probe(const std::uint8_t* data, std::size_t size);

    // Decodes one 4-byte header; false when a field holds a reserved value or the
    // stream is free-format (no bit rate, so no frame length).
    static bool DecodeHeader(const std::uint8_t* bytes, FrameHeader& header);

    // nBlockSize of the Layer III record for the given stream.
    static std::uint16_t BlockSize(int sampleRate, int bitRateKbps);

    // Fills an MPEG Layer III wave format record. The buffer must hold
    // sizeof(MPEGLAYER3WAVEFORMAT) bytes.
    void FillFormat(MPEGLAYER3WAVEFORMAT& format) const;

    const FrameHeader& Header() const { return m_header; }
    const XingHeader& Xing() const { return m_xing; }
    std::size_t FrameOffset() const { return m_frameOffset; }

private:
    void ReadXing(const std::uint8_t* data, std::size_t size);

    FrameHeader m_header;
    XingHeader m_xing;
    std::size_t m_frameOffset = 0;
};
