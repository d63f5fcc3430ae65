#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "rtp/PayloadFormat.h"

// Turns the payloads of one RTP audio format into mono 16-bit samples. G.711 (both laws)
// and L16 are decoded here; G.722, GSM, G.729, iLBC and Opus through libavcodec, one
// decoder context kept for the stream's life. In a build without libavcodec only G.711
// and L16 are known. A payload with two channels is mixed down (the mean of the two).
// Comfort noise and telephone events are not audio and are not known here.
class PayloadDecoder {
public:
    explicit PayloadDecoder(const PayloadFormat& format);
    ~PayloadDecoder();
    PayloadDecoder(const PayloadDecoder&) = delete;
    PayloadDecoder& operator=(const PayloadDecoder&) = delete;

    bool Known() const { return m_kind != Kind::None; }
    // The rate of the samples put out: the clock rate except for G.722 (16000 on an 8000
    // clock), Opus (48000) and the narrowband codecs (8000).
    int AudioRate() const { return m_audioRate; }
    int ClockRate() const { return m_clockRate; }
    const PayloadFormat& Format() const { return m_format; }

    // Appends the payload's samples to out. A damaged payload gives what could be decoded
    // of it, possibly nothing; never throws.
    void Decode(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out);
    // Appends samples of silence.
    static void Silence(std::size_t samples, std::vector<std::int16_t>& out);

    // The G.711 expansions of one code.
    static std::int16_t MuLawToLinear(std::uint8_t code);
    static std::int16_t ALawToLinear(std::uint8_t code);

private:
    enum class Kind { None, MuLaw, ALaw, Linear16, G722, Gsm, G729, Ilbc, Opus };
    struct Codec;

    static Kind KindOf(const PayloadFormat& format);
    void DecodeLinear16(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out) const;
    void DecodeFrames(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out);
    void DecodeG729(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out);
    void DecodeIlbc(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out);

    PayloadFormat m_format;
    Kind m_kind = Kind::None;
    int m_clockRate = 0;
    int m_audioRate = 0;
    int m_channels = 1;
    std::unique_ptr<Codec> m_codec;
};
