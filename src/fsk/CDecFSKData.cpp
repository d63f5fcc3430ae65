#include "fsk/CDecFSKData.h"

#include <bit>
#include <cstdio>

#include "platform/DebugOutput.h"

CDecFSKData::CDecFSKData() {
    // Usable on its own: 8 data bits, one stop bit, no parity, space start, mark stop.
    SetCOMMParams(8, kStopBitOne, kParityNo, 0, 1);
}

CDecFSKData::~CDecFSKData() = default;

HRESULT CDecFSKData::SetCOMMParams(std::int32_t dataBits, std::int32_t stopBits, std::int32_t parity,
                                   std::int32_t startBitTone, std::int32_t stopBitTone) {
    if (dataBits < 0 || dataBits > kMaxDataBits || stopBits < kStopBitNo || stopBits > kStopBitsTwo ||
        parity < kParityNo || parity > kParitySpace)
        return E_INVALIDARG;
    m_dataBits = dataBits;
    m_stopBits = stopBits;
    m_parity = parity;
    m_hasParityBit = parity != kParityNo;
    // One and a half stop bits frame like one: the demodulator never delivers half a bit.
    m_hasStopBit = stopBits != kStopBitNo;
    // K: the bits of a frame after its start bit.
    const std::int32_t k = dataBits + (m_hasParityBit ? 1 : 0) + (m_hasStopBit ? 1 : 0);
    m_emptyValue = 1 << (k + 1);
    m_stopBitTone = stopBitTone;
    // The register after one bit of idle line from the empty state, which sends the framer
    // back to hunting: a mark (space start) or a space (mark start), so that idle bits of
    // either tone are skipped one by one and the first start-tone bit begins a character.
    m_idlePattern = startBitTone == 0 ? 3 << k : 1 << k;
    m_shiftRegister = m_emptyValue;
    return S_OK;
}

std::int32_t CDecFSKData::OnSampleData(const float* samples, int count, double meanAbsDiff, double) {
    const float gate = 0.5f * GetSilenceLevel();
    if (meanAbsDiff > static_cast<double>(gate) || InCharacter()) Demodulate(samples, count);
    return 0;
}

void CDecFSKData::OnBit(std::int32_t level, std::uint32_t) {
    const std::int32_t bit = level != 0 ? 1 : 0;
    m_shiftRegister = (bit * m_emptyValue) | (m_shiftRegister >> 1);
    if (m_shiftRegister == m_idlePattern) {
        m_shiftRegister = m_emptyValue;
        return;
    }
    // The marker has not reached bit 0: the frame is still filling.
    if ((m_shiftRegister & 1) == 0) return;

    const std::int32_t data = (m_shiftRegister >> 2) & ((1 << m_dataBits) - 1);
    const std::int32_t parityBit = (m_shiftRegister >> (m_dataBits + 2)) & 1;
    if (m_hasStopBit && bit != m_stopBitTone) {
        // Framing error: the bit in the stop position is taken as the next start bit.
        m_shiftRegister = m_emptyValue >> 1;
        return;
    }
    // Empty before reporting, so a receiver that reframes from its handler is not undone.
    m_shiftRegister = m_emptyValue;
    Complete(data, parityBit);
}

bool CDecFSKData::ParityHolds(std::int32_t data, std::int32_t parityBit) const {
    const int ones = std::popcount(static_cast<std::uint32_t>(data)) + parityBit;
    switch (m_parity) {
        case kParityOdd: return (ones & 1) == 1;
        case kParityEven: return (ones & 1) == 0;
        case kParityMark: return parityBit == 1;
        case kParitySpace: return parityBit == 0;
        default: return true;
    }
}

void CDecFSKData::Complete(std::int32_t data, std::int32_t parityBit) {
    if (m_hasParityBit && !ParityHolds(data, parityBit)) {
        char line[80];
        std::snprintf(line, sizeof line, "FSK data: parity error, character 0x%02X dropped.",
                      static_cast<unsigned>(data));
        DebugOutput(line);
        return;
    }
    OnFSKData(data, GetSamplePos());
}

void CDecFSKData::OnFSKData(std::int32_t, std::uint32_t) {}

void CDecFSKData::EndOfStream() {
    FlushRun();
    m_shiftRegister = m_emptyValue;
}
