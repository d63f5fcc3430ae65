#include "fsk/CDecAFSK.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// The lock-in and transition thresholds are absolute: they assume samples at ±1.0 full
// scale.
constexpr double kLockThreshold = 0.05;
constexpr double kTransitionThreshold = 0.08;
// A steady run is flushed every eight bit periods.
constexpr double kFlushBits = 8.0;
// Four lanes per tap: mark cos, mark sin, space cos, space sin.
constexpr int kLanes = 4;

using Lanes = float __attribute__((vector_size(16)));

}  // namespace

CDecAFSK::CDecAFSK() = default;
CDecAFSK::~CDecAFSK() = default;

bool CDecAFSK::Reserve(std::int32_t windowLength) {
    if (windowLength < 1 || windowLength > kMaxWindow) return false;
    if (windowLength <= m_capacity) return true;
    auto window = std::unique_ptr<float[]>(new (std::nothrow) float[2 * std::size_t(windowLength)]());
    auto tables = std::unique_ptr<float[]>(new (std::nothrow) float[kLanes * std::size_t(windowLength)]());
    if (!window || !tables) return false;
    m_window = std::move(window);
    m_tables = std::move(tables);
    m_capacity = windowLength;
    return true;
}

HRESULT CDecAFSK::SetParameters(std::int32_t sampleRate, float spaceFreq, float markFreq, float baudRate) {
    m_writeIndex = -1;
    m_primedCount = 0;
    m_runLength = 0;
    m_level = -1;
    m_samplePos = 0;
    m_stop = false;
    m_sampleRate = sampleRate;
    m_samplesPerBit = static_cast<float>(sampleRate) / baudRate;
    const double rounded = std::trunc(static_cast<double>(m_samplesPerBit) + 0.5);
    // Out of range (or NaN, which fails both tests) leaves the demodulator inert rather
    // than sizing arrays from it.
    m_configured = rounded >= 1.0 && rounded <= kMaxWindow && Reserve(static_cast<std::int32_t>(rounded));
    if (!m_configured) {
        m_windowLength = 0;
        return E_INVALIDARG;
    }
    m_windowLength = static_cast<std::int32_t>(rounded);

    // The reference phase accumulates in single precision, one step per tap.
    const auto fill = [&](float frequency, int lane) {
        float phase = 0.0f;
        for (std::int32_t k = 0; k < m_windowLength; ++k) {
            m_tables[kLanes * k + lane] = std::cos(phase);
            m_tables[kLanes * k + lane + 1] = std::sin(phase);
            phase = static_cast<float>(static_cast<double>(frequency) * kTwoPi / static_cast<double>(sampleRate) +
                                       static_cast<double>(phase));
        }
    };
    fill(markFreq, 0);
    fill(spaceFreq, 2);
    return S_OK;
}

void CDecAFSK::OnBit(std::int32_t, std::uint32_t) {}

void CDecAFSK::Store(float sample) {
    m_window[m_writeIndex] = sample;
    m_window[m_writeIndex + m_windowLength] = sample;
    m_writeIndex = m_writeIndex + 1 == m_windowLength ? 0 : m_writeIndex + 1;
}

void CDecAFSK::Prime(const float*& samples, std::int32_t& count) {
    // N - 1 samples fill the window before the first decision; a window longer than a
    // block fills across several blocks. The position then stands at N, the 1-based
    // count of the first deciding sample.
    const std::int32_t take = std::min(m_windowLength - 1 - m_primedCount, count);
    for (std::int32_t i = 0; i < take; ++i) {
        m_window[m_primedCount + i] = samples[i];
        m_window[m_primedCount + i + m_windowLength] = samples[i];
    }
    m_primedCount += take;
    m_samplePos += static_cast<std::uint32_t>(take);
    samples += take;
    count -= take;
    if (m_primedCount == m_windowLength - 1) {
        m_writeIndex = m_windowLength - 1;
        m_samplePos += 1;
    }
}

std::int32_t CDecAFSK::Demodulate(const float* samples, std::int32_t count) {
    if (!m_configured || samples == nullptr || count <= 0) return 0;
    if (m_writeIndex < 0) {
        Prime(samples, count);
        if (m_writeIndex < 0 || count <= 0) return 0;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        Store(samples[i]);
        Decide();
        if (m_stop) return count - i - 1;
        ++m_samplePos;
    }
    return 0;
}

float CDecAFSK::Difference() const {
    // After the write the write index is the oldest sample; the doubled window makes the
    // N samples from there contiguous. Each lane is one correlation, summed in tap order
    // exactly as a scalar loop would.
    const float* window = m_window.get() + m_writeIndex;
    const float* taps = m_tables.get();
    Lanes sum = {0.0f, 0.0f, 0.0f, 0.0f};
    for (std::int32_t k = 0; k < m_windowLength; ++k) {
        Lanes tap;
        std::memcpy(&tap, taps + kLanes * k, sizeof tap);
        sum = sum + window[k] * tap;
    }
    const float markCos = sum[0], markSin = sum[1], spaceCos = sum[2], spaceSin = sum[3];
    return (markCos * markCos + markSin * markSin) - (spaceCos * spaceCos + spaceSin * spaceSin);
}

float CDecAFSK::WindowEnergy() const {
    float energy = 0.0f;
    for (std::int32_t k = 0; k < m_windowLength; ++k) energy += m_window[k] * m_window[k];
    return energy;
}

bool CDecAFSK::Emit() {
    const auto bits = static_cast<std::int32_t>(
        std::trunc(static_cast<double>(static_cast<float>(m_runLength) / m_samplesPerBit) + 0.5));
    if (bits >= 1) {
        for (std::int32_t i = 0; i < bits; ++i) {
            OnBit(m_level, m_samplePos);
            if (m_stop) return false;
        }
        m_runLength = 0;
    } else if (bits < 0) {
        m_runLength = 0;
    }
    // A run shorter than half a bit emits nothing and is counted into the next one.
    return true;
}

void CDecAFSK::FlushRun() {
    if (!m_configured || m_level < 0 || m_stop) return;
    const std::int32_t run = m_runLength;
    m_runLength += m_windowLength / 2;
    Emit();
    // Nothing emitted (too short, or stopped from OnBit): the run stays what it was.
    if (m_runLength != 0) m_runLength = run;
}

bool CDecAFSK::Decide() {
    const float difference = Difference();
    if (m_level == -1) {
        if (difference > kLockThreshold) {
            ++m_runLength;
        } else if (difference < -kLockThreshold) {
            --m_runLength;
        } else {
            m_runLength = 0;
            return true;
        }
        if (m_runLength >= m_windowLength) {
            m_level = 1;
        } else if (m_runLength >= -m_windowLength) {
            return true;
        } else {
            m_level = 0;
            m_runLength = -m_runLength;
        }
    }

    const std::int32_t bit = difference > 0.0f ? 1 : 0;
    if (bit != m_level) {
        const float energy = WindowEnergy();
        const float normalised = energy > 0.0f ? difference / (static_cast<float>(m_windowLength) * energy) : 0.0f;
        if (normalised > kTransitionThreshold || normalised < -kTransitionThreshold) {
            if (!Emit()) return false;
            m_level = 1 - m_level;
            // The transition sample starts the new run (after any short run it follows).
            ++m_runLength;
            return true;
        }
    }
    ++m_runLength;
    if (static_cast<double>(static_cast<float>(m_runLength)) > static_cast<double>(m_samplesPerBit) * kFlushBits)
        return Emit();
    return true;
}
