#include "synth/FskModulator.h"

#include <cmath>
#include <vector>

#include "synth/SignalTimeline.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

}  // namespace

HRESULT FskModulator::Check(const Options& options, int sampleRate) {
    const Options& o = options;
    if (sampleRate < 1) return E_INVALIDARG;
    if (!std::isfinite(o.markHz) || !std::isfinite(o.spaceHz) || !std::isfinite(o.baud) ||
        !std::isfinite(o.levelDbfs) || !std::isfinite(o.frequencyOffsetPercent) ||
        !std::isfinite(o.bitRateErrorPercent))
        return E_INVALIDARG;
    if (!(o.baud > 0.0) || !(o.frequencyOffsetPercent > -100.0) || !(o.bitRateErrorPercent > -100.0))
        return E_INVALIDARG;
    const double nyquist = sampleRate / 2.0;
    const double scale = 1.0 + o.frequencyOffsetPercent / 100.0;
    for (double hz : {o.markHz * scale, o.spaceHz * scale})
        if (!(hz > 0.0) || !(hz < nyquist)) return E_INVALIDARG;
    // A bit must own at least one sample, or bits would vanish from the signal.
    if (o.baud * (1.0 + o.bitRateErrorPercent / 100.0) > sampleRate) return E_INVALIDARG;
    return S_OK;
}

double FskModulator::MarkHz() const {
    return m_options.markHz * (1.0 + m_options.frequencyOffsetPercent / 100.0);
}

double FskModulator::SpaceHz() const {
    return m_options.spaceHz * (1.0 + m_options.frequencyOffsetPercent / 100.0);
}

double FskModulator::BitRate() const {
    return m_options.baud * (1.0 + m_options.bitRateErrorPercent / 100.0);
}

std::array<std::uint8_t, FskModulator::kFrameBits> FskModulator::FrameBits(std::uint8_t byte) {
    std::array<std::uint8_t, kFrameBits> bits{};
    bits[0] = 0;
    for (int i = 0; i < 8; ++i) bits[1 + i] = static_cast<std::uint8_t>((byte >> i) & 1);
    bits[9] = 1;
    return bits;
}

void FskModulator::Reset() {
    m_sampleRate = 0;
    m_bits = 0;
    m_samples = 0;
    m_phaseCycles = 0.0;
}

HRESULT FskModulator::CheckFor(const SignalTimeline& timeline) const {
    if (m_sampleRate != 0 && timeline.SampleRate() != m_sampleRate) return E_INVALIDARG;
    return Check(m_options, timeline.SampleRate());
}

std::uint64_t FskModulator::BitEnd(std::uint64_t bit) const {
    // From the bit count rather than by adding bit lengths, so rounding never accumulates.
    const double end = static_cast<double>(bit + 1) * m_sampleRate / BitRate();
    return static_cast<std::uint64_t>(std::llround(end));
}

HRESULT FskModulator::AppendBits(SignalTimeline& timeline, std::span<const std::uint8_t> bits) {
    if (CheckFor(timeline) != S_OK) return E_INVALIDARG;
    for (std::uint8_t bit : bits)
        if (bit > 1) return E_INVALIDARG;
    if (bits.empty()) return S_OK;

    m_sampleRate = timeline.SampleRate();
    const std::uint64_t total = BitEnd(m_bits + bits.size() - 1) - m_samples;
    const std::size_t start = timeline.Size();
    timeline.AppendSilence(static_cast<std::size_t>(total));
    float* out = timeline.MutableSamples().data() + start;

    const double amplitude = SignalTimeline::Amplitude(m_options.levelDbfs);
    const double step[2] = {SpaceHz() / m_sampleRate, MarkHz() / m_sampleRate};  // cycles per sample
    for (std::uint8_t bit : bits) {
        const std::uint64_t end = BitEnd(m_bits);
        for (; m_samples < end; ++m_samples) {
            *out++ = static_cast<float>(amplitude * std::sin(kTwoPi * m_phaseCycles));
            // The tone changes between samples, never the phase: no jump at the bit edge.
            m_phaseCycles += step[bit];
            m_phaseCycles -= std::floor(m_phaseCycles);
        }
        ++m_bits;
    }
    return S_OK;
}

HRESULT FskModulator::AppendMark(SignalTimeline& timeline, std::size_t bitCount) {
    const std::vector<std::uint8_t> bits(bitCount, 1);
    return AppendBits(timeline, bits);
}

HRESULT FskModulator::AppendSeizure(SignalTimeline& timeline, std::size_t bitCount) {
    std::vector<std::uint8_t> bits(bitCount);
    for (std::size_t i = 0; i < bitCount; ++i) bits[i] = static_cast<std::uint8_t>(i & 1);
    return AppendBits(timeline, bits);
}

HRESULT FskModulator::AppendBytes(SignalTimeline& timeline, std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> bits;
    bits.reserve(bytes.size() * kFrameBits);
    for (std::uint8_t byte : bytes) {
        const auto frame = FrameBits(byte);
        bits.insert(bits.end(), frame.begin(), frame.end());
    }
    return AppendBits(timeline, bits);
}
