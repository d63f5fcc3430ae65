#pragma once

#include <cstdint>

#include "platform/HResult.h"

// UART framing and tones of the FSK data decoder; the baud rate and tones also serve the
// caller-ID decoder. A value reaches the detectors at the next parameter application
// (at the latest, the next run start).
class CFSKParams {
public:
    CFSKParams() { FinalConstruct(); }
    virtual ~CFSKParams() = default;

    // Restores the defaults: 1200 / 2200 Hz, 1200 baud, 8 data bits, no stop bit, no
    // parity, start bit on the space tone, stop bit on the mark tone.
    HRESULT FinalConstruct();

    HRESULT get_SpaceFreq(float* value) const;
    HRESULT put_SpaceFreq(float value);  // >= 0 (NaN accepted)
    HRESULT get_MarkFreq(float* value) const;
    HRESULT put_MarkFreq(float value);  // >= 0 (NaN accepted)
    HRESULT get_BaudRate(std::int32_t* value) const;
    HRESULT put_BaudRate(std::int32_t value);  // >= 0
    HRESULT get_DataBits(std::int32_t* value) const;
    HRESULT put_DataBits(std::int32_t value);  // 0..8
    HRESULT get_StopBits(std::int32_t* value) const;
    HRESULT put_StopBits(std::int32_t value);  // 0..3
    HRESULT get_Parity(std::int32_t* value) const;
    HRESULT put_Parity(std::int32_t value);  // 0..4
    HRESULT get_StartBitTone(std::int32_t* value) const;
    HRESULT put_StartBitTone(std::int32_t value);
    HRESULT get_StopBitTone(std::int32_t* value) const;
    HRESULT put_StopBitTone(std::int32_t value);

private:
    float m_markFreq = 1200.0f;
    float m_spaceFreq = 2200.0f;
    std::int32_t m_baudRate = 1200;
    std::int32_t m_dataBits = 8;
    std::int32_t m_stopBits = 0;
    std::int32_t m_parity = 0;
    std::int32_t m_startBitTone = 0;
    std::int32_t m_stopBitTone = 1;
};
