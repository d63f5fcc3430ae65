#include "fsk/CDecBaudotCode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Seconds per bit of rates 0..5 (45.45, 50, 56.92, 74.2, 100 and 110 baud).
constexpr double kBitSeconds[] = {0.022, 0.02, 0.01757, 0.01347, 0.01, 0.009375};
constexpr std::int32_t kRateCount = 6;

// A tone must hold four times the other's power, and this much power relative to the
// window's length and level, to decide a window.
constexpr double kDominance = 4.0;
constexpr double kMinimumPower = 0.08;
// Three windows of one tone lock the level in.
constexpr std::int32_t kLockWindows = 3;
// A steady level is handed to the framer every 41 windows (ten bits), so an idle mark
// never lets the run count grow without bound.
constexpr std::int32_t kSteadyFlushWindows = 41;
// A weak window hands over the run in progress only when it is longer than a bit.
constexpr std::int32_t kWeakFlushWindows = 4;

constexpr std::uint8_t kNoCharacter = 0xFF;

// Characters by 5-bit code (first data bit as bit 0): letters, then the figures of modes
// 0, 3 and 4. The two shift codes (27 FIGS, 31 LTRS) are never looked up.
constexpr std::uint8_t kBaudotTables[4][32] = {
    {0x00, 'E', 0x0A, 'A', ' ', 'S', 'I', 'U', 0x0D, 'D', 'R', 'J', 'N', 'F', 'C', 'K',
     'T', 'Z', 'L', 'W', 'H', 'Y', 'P', 'Q', 'O', 'B', 'G', 0x00, 'M', 'X', 'V', 0x00},
    {0x00, '3', 0x0A, '-', ' ', 0x07, '8', '7', 0x0D, '$', '4', '\'', ',', '!', ':', '(',
     '5', '"', ')', '2', '#', '6', '0', '1', '9', '?', '&', 0x00, '.', '/', ';', 0x00},
    {0x00, '3', 0x0A, '-', ' ', '\'', '8', '7', 0x0D, 0x05, '4', 0x07, ',', '!', ':', '(',
     '5', '+', ')', '2', 0xA3, '6', '0', '1', '9', '?', '&', 0x00, '.', '/', '=', 0x00},
    {0x08, '3', 0x0A, '-', ' ', '\'', '8', '7', 0x0D, '$', '4', '\'', ',', '!', ':', '(',
     '5', '"', ')', '2', '=', '6', '0', '1', '9', '?', '+', 0x00, '.', '/', ';', 0x00},
};

// Reverses the low `bits` bits of value (the rest is zero).
std::uint32_t ReverseBits(std::uint32_t value, int bits) {
    std::uint32_t reversed = 0;
    for (int i = 0; i < bits; ++i) reversed |= ((value >> i) & 1u) << (bits - 1 - i);
    return reversed;
}

}  // namespace

CDecBaudotCode::CDecBaudotCode() { Reset(); }
CDecBaudotCode::~CDecBaudotCode() = default;

void CDecBaudotCode::Reset() {
    m_shiftState = 0;
    m_currentLevel = -1;
    m_runLength = 0;
    m_shiftRegister = 0;
    m_levelNow = 0.0;
    m_levelBefore = 0.0;
    m_windowActive = false;
    m_frameBits = 0;
    m_figuresVariant = 0;
}

HRESULT CDecBaudotCode::SetRate(std::int32_t rate, std::int32_t mode) {
    if (Sample() == nullptr) return E_FAIL;
    // The old window is dropped first: whatever fails below leaves the decoder ignoring
    // blocks rather than decoding with a half-changed configuration. Its memory is kept
    // for the next configuration.
    Reset();
    ++m_generation;
    switch (mode) {
        case kAscii7: m_frameBits = 9; break;
        case kAscii8: m_frameBits = 10; break;
        case kBaudot: m_frameBits = 7; m_figuresVariant = 0; break;
        case kBaudotFigures3: m_frameBits = 7; m_figuresVariant = 1; break;
        case kBaudotFigures4: m_frameBits = 7; m_figuresVariant = 2; break;
        default: return E_INVALIDARG;
    }
    m_bitCount = 0;
    if (rate < 0 || rate >= kRateCount) return E_INVALIDARG;

    const double samplesPerBit = std::trunc(static_cast<double>(GetSampleRate()) * kBitSeconds[rate] + 0.5);
    // A quarter bit below one sample has no window to evaluate; a huge one is no line
    // this decoder can hear, and would size the window from an absurd stream rate.
    if (!(samplesPerBit >= 4.0 && samplesPerBit < 4.0 * (kMaxQuarter + 1))) return E_INVALIDARG;
    const std::int32_t quarter = static_cast<std::int32_t>(samplesPerBit) / 4;
    if (2 * quarter > m_windowCapacity) {
        auto window = std::unique_ptr<float[]>(new (std::nothrow) float[2 * static_cast<std::size_t>(quarter)]());
        if (!window) return E_OUTOFMEMORY;
        m_window = std::move(window);
        m_windowCapacity = 2 * quarter;
    }
    m_quarter = quarter;
    m_fillIndex = -quarter;
    m_windowActive = true;
    return S_OK;
}

void CDecBaudotCode::SetFreqs(float mark, float space) {
    m_markFreq = mark;
    m_spaceFreq = space;
}

void CDecBaudotCode::OnDetectChar(std::int32_t, std::int32_t) {}

std::int32_t CDecBaudotCode::OnSampleData(const float* samples, int count, double meanAbsDiff, double) {
    int taken = 0;
    // Members are read afresh after every window: a handler reached from a report may
    // have reconfigured (or switched off) the decoder.
    while (taken < count && m_windowActive) {
        const int room = m_quarter - m_fillIndex;
        const int n = std::min(count - taken, room);
        std::memcpy(m_window.get() + m_quarter + m_fillIndex, samples + taken, static_cast<std::size_t>(n) * sizeof(float));
        m_fillIndex += n;
        taken += n;
        if (m_fillIndex == m_quarter) {
            m_levelNow = meanAbsDiff;
            ProcessWindow();
        }
    }
    return 0;
}

void CDecBaudotCode::ProcessWindow() {
    const std::uint32_t generation = m_generation;
    const double silence = static_cast<double>(GetSilenceLevel());
    if (m_levelNow > silence && m_levelBefore > silence)
        DecideTone();
    else
        WeakWindow();
    if (Reconfigured(generation)) return;
    m_fillIndex = 0;
    std::memcpy(m_window.get(), m_window.get() + m_quarter, static_cast<std::size_t>(m_quarter) * sizeof(float));
    m_levelBefore = m_levelNow;
    m_levelNow = 0.0;
}

void CDecBaudotCode::DecideTone() {
    const std::uint32_t generation = m_generation;
    const double sampleRate = static_cast<double>(GetSampleRate());
    const double markCoefficient = 2.0 * std::cos(kTwoPi * static_cast<double>(m_markFreq) / sampleRate);
    const double spaceCoefficient = 2.0 * std::cos(kTwoPi * static_cast<double>(m_spaceFreq) / sampleRate);
    double mark1 = 0.0, mark2 = 0.0, space1 = 0.0, space2 = 0.0;
    const float* window = m_window.get();
    const std::int32_t length = 2 * m_quarter;
    for (std::int32_t k = 0; k < length; ++k) {
        const double x = static_cast<double>(window[k]);
        const double mark0 = markCoefficient * mark1 - mark2 + x;
        mark2 = mark1;
        mark1 = mark0;
        const double space0 = spaceCoefficient * space1 - space2 + x;
        space2 = space1;
        space1 = space0;
    }
    // Power per sample and per unit of block level, so the decision does not depend on
    // the signal's loudness or on the window's length.
    const double scale = (m_levelBefore + m_levelNow) * static_cast<double>(length);
    const double markPower = (mark1 * mark1 + mark2 * mark2 - mark1 * mark2 * markCoefficient) / scale;
    const double spacePower = (space1 * space1 + space2 * space2 - space1 * space2 * spaceCoefficient) / scale;
    std::int32_t decision = -1;  // undecided
    if (markPower > kDominance * spacePower && markPower > kMinimumPower)
        decision = 1;
    else if (kDominance * markPower < spacePower && spacePower > kMinimumPower)
        decision = 0;

    if (m_currentLevel == -1) {
        // Lock-in: the run length counts mark windows up and space windows down.
        if (decision < 0) {
            m_runLength = 0;
            return;
        }
        m_runLength += decision == 1 ? 1 : -1;
        if (m_runLength >= kLockWindows) {
            m_currentLevel = 1;
        } else if (m_runLength <= -kLockWindows) {
            m_currentLevel = 0;
            m_runLength = -m_runLength;
        }
        return;
    }
    if (decision == m_currentLevel) {
        ++m_runLength;
        if (m_runLength >= kSteadyFlushWindows) {
            FlushRun(m_currentLevel);
            if (Reconfigured(generation)) return;
            m_runLength = 0;
        }
        return;
    }
    // A change of level (an undecided window counts as one): the window belongs to the
    // run it ends and to the run it starts.
    ++m_runLength;
    FlushRun(m_currentLevel);
    if (Reconfigured(generation)) return;
    m_runLength = 1;
    m_currentLevel = 1 - m_currentLevel;
}

void CDecBaudotCode::WeakWindow() {
    const std::uint32_t generation = m_generation;
    if (m_currentLevel != -1 && m_runLength > kWeakFlushWindows) {
        if (FlushRun(m_currentLevel) > 0) {
            if (Reconfigured(generation)) return;
            m_runLength = 0;
        }
        if (Reconfigured(generation)) return;
    }
    // A character complete up to its stop bit is reported without waiting for the next
    // start bit, which may never come.
    if (m_bitCount >= m_frameBits + 1 && (m_shiftRegister & 1) == 1) {
        --m_bitCount;
        EmitCharacter(m_shiftRegister, m_bitCount);
        if (Reconfigured(generation)) return;
        m_shiftRegister = 0;
    }
    if (m_shiftRegister == 0) {
        // The line idles at mark: the next space is a start bit.
        m_shiftRegister = 1;
        m_bitCount = 1;
    }
}

void CDecBaudotCode::EndOfStream() {
    // Exactly what a window too weak for a decision does. Handing over a run of exactly
    // four windows as well would report characters that the same signal followed by
    // silence never reports: a weak window leaves such a run alone.
    if (!m_windowActive) return;
    WeakWindow();
}

std::int32_t CDecBaudotCode::FlushRun(std::int32_t level) {
    const std::int32_t count = m_runLength / 4;
    if (count < 1) return count;
    const std::uint32_t generation = m_generation;
    for (std::int32_t i = 0; i < count && !Reconfigured(generation); ++i) OnTTYBit(level);
    return count;
}

std::int32_t CDecBaudotCode::OnTTYBit(std::int32_t bit) {
    const std::uint32_t mark = bit != 0 ? 1u : 0u;
    const std::int32_t frameBits = m_frameBits;
    // Without a mode there is no frame to assemble (and nothing would bound the count).
    if (frameBits != 7 && frameBits != 9 && frameBits != 10) return 0;
    const std::int32_t n = m_bitCount;
    if (n == 0 && mark == 1) {
        m_shiftRegister = 0;
        return -1;
    }
    if (n == 1 && mark == 1) {
        m_shiftRegister = 1;
        return -2;
    }
    if (n >= frameBits + 1 && mark == 1) {
        // Extra stop bits: the register already ends in a stop bit and every character
        // reads its bits below the stop bits it ignores, so one is kept however many
        // arrive. Shifting them all in would overflow the register after a long mark.
        return 0;
    }
    // The register stays below 2^26 (see above), so this cannot overflow.
    const std::int32_t v = static_cast<std::int32_t>((static_cast<std::uint32_t>(m_shiftRegister) << 1) | mark);
    if (n == frameBits && mark == 0) {
        // A space where the stop bit is due: look for the last mark-then-space among the
        // last six bits and take that space as the start bit.
        std::int32_t w = (v & 0x3F) << 2;
        for (std::int32_t i = 0; i <= frameBits - 4; ++i) {
            if ((w & 0xC0) == 0x80) {
                m_shiftRegister = w >> (i + 2);
                m_bitCount = frameBits - i - 1;
                return -6;
            }
            w <<= 1;
        }
        m_shiftRegister = w;
        m_bitCount = 1;
        return 0;
    }
    if (n < frameBits + 1 || (v & 3) != 2) {
        m_shiftRegister = v;
        m_bitCount = n + 1;
        return 0;
    }
    // The stop bit followed by the next start bit: the character is complete.
    EmitCharacter(v, n);
    m_shiftRegister = 2;
    m_bitCount = 2;
    return 0;
}

void CDecBaudotCode::EmitCharacter(std::int32_t v, std::int32_t n) {
    const std::int32_t frameBits = m_frameBits;
    if (frameBits != 7 && frameBits != 9 && frameBits != 10) return;
    // Drop the stop bit (and, when the next start bit triggered the report, that bit).
    const std::int32_t shift = n - frameBits + 1;
    if (shift < 0 || shift > 31) return;
    std::uint32_t c = static_cast<std::uint32_t>(v) >> shift;
    const auto position = static_cast<std::int32_t>(GetSamplePos());
    if (frameBits == 7) {
        const auto code = static_cast<std::int32_t>(ReverseBits(c & 0x1Fu, 5));
        if (code == kFiguresShift) {
            m_shiftState = static_cast<std::uint8_t>(m_figuresVariant + 1);
            OnDetectChar(kFiguresReport, position);
        } else if (code == kLettersShift) {
            m_shiftState = 0;
            OnDetectChar(kLettersReport, position);
        } else {
            const std::uint8_t character = kBaudotTables[m_shiftState][code];
            if (character != kNoCharacter) OnDetectChar(static_cast<std::int32_t>(character) | code << 16, position);
        }
        return;
    }
    c &= frameBits == 9 ? 0x7Fu : 0xFFu;
    if (c != 0) c = ReverseBits(c, frameBits - 2);
    OnDetectChar(static_cast<std::int32_t>(c), position);
}
