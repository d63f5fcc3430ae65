#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "audio/WaveFormat.h"

// Recognises an MPEG audio stream from the first bytes of a file: finds the first frame
// header that a second one follows where its length says (MPEG-1, MPEG-2 and MPEG-2.5,
// layers I to III), reads an optional "Xing" or "Info" header with the encoder's delay
// and describes a Layer III stream as a wave format record, so a bare MPEG audio file
// can be fed to the codec layer like a wave file.
class MpegAudioProbe {
public:
    // How much of the file start is searched for a frame header.
    static constexpr std::size_t kProbeSize = 24576;

    static constexpr int kOk = 0;
    static constexpr int kNotFound = -2;     // no frame header, or not Layer III
    static constexpr int kReadError = -3;

    // Samples the synthesis filter bank of a Layer III decoder holds back: the decoded
    // audio starts this much (plus the encoder's delay) after the stream's first sample.
    static constexpr int kDecoderDelay = 529;
    // An ID3v2 tag's header: "ID3", version, flags, size in four 7-bit bytes.
    static constexpr std::size_t kId3HeaderSize = 10;

    enum class Version { Mpeg1, Mpeg2, Mpeg25 };

    struct FrameHeader {
        Version version = Version::Mpeg1;
        int layer = 0;              // 1, 2 or 3
        int bitRateKbps = 0;
        int sampleRate = 0;
        int channels = 0;
        int frameBytes = 0;         // whole frame, header and padding included
    };

    // The optional header in the first frame ("Xing", or "Info" for a constant bit
    // rate). The frame carrying it holds no audio. An encoder that writes its own tag
    // behind the fields (LAME and libavcodec's) says there how many samples of delay it
    // put in front of the audio and of padding behind it.
    struct XingHeader {
        bool present = false;
        std::uint32_t flags = 0;
        std::uint32_t frames = 0;
        std::uint32_t bytes = 0;
        std::array<std::uint8_t, 100> toc{};
        std::uint32_t quality = 0;
        bool encoderDelayKnown = false;
        int encoderDelay = 0;    // samples
        int encoderPadding = 0;  // samples
    };

    // Scans data for the first valid frame header that is followed, where its frame
    // length says, by another header of the same version, layer and sampling rate: a
    // lone header is as likely a pair of sample bytes. A header whose bit-rate or
    // sampling-rate index is reserved or free-format, or whose layer is reserved, is a
    // false sync and the scan goes on. Returns kOk or kNotFound.
    int Probe(const std::uint8_t* data, std::size_t size);

    // Reads the Xing/Info header (and the encoder's tag behind it) of one frame, as far
    // as size bytes go; false when the frame has none.
    static bool ReadXing(const std::uint8_t* frame, std::size_t size, const FrameHeader& header, XingHeader& xing);

    // Samples in one frame of the given stream (384, 1152, or 576 for the half-rate
    // Layer III streams).
    static int SamplesPerFrame(const FrameHeader& header);

    // Bytes of the ID3v2 tag data starts with (header, body and footer), or 0 when it
    // does not start with one; size is what data holds and must be at least 10.
    static std::uint64_t Id3TagSize(const std::uint8_t* data, std::size_t size);

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
    FrameHeader m_header;
    XingHeader m_xing;
    std::size_t m_frameOffset = 0;
};
