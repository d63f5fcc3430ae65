#include "synth/PcmRenderer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "synth/SignalTimeline.h"

namespace {

static_assert(std::endian::native == std::endian::little, "PCM is written little-endian");

// Rounds x·scale to nearest (halves away from zero) and limits it to [low, high]. NaN
// becomes 0 rather than an arbitrary extreme.
long Quantise(float x, double scale, long low, long high, bool& clipped) {
    clipped = false;
    const double rounded = std::round(static_cast<double>(x) * scale);
    if (std::isnan(rounded)) return 0;
    if (rounded > static_cast<double>(high)) {
        clipped = true;
        return high;
    }
    if (rounded < static_cast<double>(low)) {
        clipped = true;
        return low;
    }
    return static_cast<long>(rounded);
}

}  // namespace

PcmRenderer::PcmRenderer(const Format& format) : m_format(format) {}

HRESULT PcmRenderer::Check(const Format& format) {
    if (format.bits != 8 && format.bits != 16 && format.bits != 32) return E_INVALIDARG;
    if (format.channels != 1 && format.channels != 2) return E_INVALIDARG;
    if (format.signalChannel < 0 || format.signalChannel >= format.channels) return E_INVALIDARG;
    if (format.sampleRate < 1) return E_INVALIDARG;
    return S_OK;
}

std::uint8_t PcmRenderer::ToUnsigned8(float x, bool& clipped) {
    return static_cast<std::uint8_t>(128 + Quantise(x, 127.0, -128, 127, clipped));
}

std::int16_t PcmRenderer::ToSigned16(float x, bool& clipped) {
    return static_cast<std::int16_t>(Quantise(x, 32767.0, -32768, 32767, clipped));
}

void PcmRenderer::Put(float x, unsigned char* at) {
    bool clipped = false;
    switch (m_format.bits) {
        case 8:
            *at = ToUnsigned8(x, clipped);
            break;
        case 16: {
            const std::int16_t value = ToSigned16(x, clipped);
            std::memcpy(at, &value, sizeof value);
            break;
        }
        default:
            std::memcpy(at, &x, sizeof x);
            break;
    }
    if (clipped) ++m_clipped;
}

HRESULT PcmRenderer::Render(const SignalTimeline& signal, const SignalTimeline* other,
                            std::vector<unsigned char>& out) {
    if (FAILED(Check(m_format))) return E_INVALIDARG;
    if (signal.SampleRate() != m_format.sampleRate) return E_INVALIDARG;
    if (other != nullptr && (m_format.channels != 2 || other->SampleRate() != m_format.sampleRate))
        return E_INVALIDARG;

    const std::size_t frames = std::max(signal.Size(), other ? other->Size() : std::size_t{0});
    const int width = BytesPerSample();
    const int frameBytes = BytesPerFrame();
    m_clipped = 0;
    out.assign(frames * static_cast<std::size_t>(frameBytes), 0);

    const auto signalSamples = signal.Samples();
    const auto otherSamples = other ? other->Samples() : std::span<const float>{};
    const int otherChannel = 1 - m_format.signalChannel;
    for (std::size_t i = 0; i < frames; ++i) {
        unsigned char* frame = out.data() + i * static_cast<std::size_t>(frameBytes);
        // Padding is rendered like any other sample, so silence is the width's own zero.
        Put(i < signalSamples.size() ? signalSamples[i] : 0.0f,
            frame + m_format.signalChannel * width);
        if (m_format.channels == 2)
            Put(i < otherSamples.size() ? otherSamples[i] : 0.0f, frame + otherChannel * width);
    }
    return S_OK;
}
