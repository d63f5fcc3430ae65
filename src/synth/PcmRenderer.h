#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/HResult.h"

class SignalTimeline;

// Turns test signals into interleaved little-endian PCM bytes, the form a host feeds the
// decoder or writes into a wave file.
//
// Conversion, the usual wave-file conventions:
//  - 8 bits: unsigned, zero at 128; byte = 128 + round(x·127), clipped to 0..255
//    (+1.0 gives 255, -1.0 gives 1).
//  - 16 bits: signed; value = round(x·32767), clipped to -32768..32767 (±1.0 give ±32767).
//  - 32 bits: IEEE single-precision float, written unchanged (never clipped).
// Rounding is to nearest, halves away from zero. The decoder reads bytes with their zero
// at 127 and divides 16-bit values by 32767, so a 16-bit rendering reads back to within
// half a step, while an 8-bit one reads back with an offset of one step (1/128), which
// the decoder's DC tracking absorbs.
class PcmRenderer {
public:
    struct Format {
        int bits = 16;          // 8, 16 or 32 (float)
        int channels = 1;       // 1 or 2
        int signalChannel = 0;  // stereo: the channel carrying the signal, 0 (left) or 1 (right)
        int sampleRate = 8000;  // must equal the rendered signals' rate
    };

    explicit PcmRenderer(const Format& format);

    // E_INVALIDARG for a width other than 8/16/32, a channel count other than 1/2, a signal
    // channel outside the frame or a rate below 1; else S_OK.
    static HRESULT Check(const Format& format);

    // Renders signal on the signal channel and, in stereo, other (silence when null) on the
    // other channel; the shorter of the two is padded with silence. Replaces the contents
    // of out. E_INVALIDARG (out untouched) for a bad format, for a signal whose rate
    // differs from the format's, or for an other signal given to a mono format.
    HRESULT Render(const SignalTimeline& signal, const SignalTimeline* other,
                   std::vector<unsigned char>& out);
    HRESULT Render(const SignalTimeline& signal, std::vector<unsigned char>& out) {
        return Render(signal, nullptr, out);
    }

    // Samples that the last Render had to clip.
    std::size_t ClippedSamples() const { return m_clipped; }
    int BytesPerSample() const { return m_format.bits / 8; }
    int BytesPerFrame() const { return BytesPerSample() * m_format.channels; }
    const Format& GetFormat() const { return m_format; }

    // One sample in each width; clipped is set when the value had to be limited.
    static std::uint8_t ToUnsigned8(float x, bool& clipped);
    static std::int16_t ToSigned16(float x, bool& clipped);

private:
    void Put(float x, unsigned char* at);

    Format m_format;
    std::size_t m_clipped = 0;
};
