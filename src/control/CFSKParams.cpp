#include "control/CFSKParams.h"

#include "platform/PropertyAccess.h"

namespace {

bool AtMost(std::int32_t value, std::uint32_t limit) { return static_cast<std::uint32_t>(value) <= limit; }

}  // namespace

HRESULT CFSKParams::FinalConstruct() {
    m_markFreq = 1200.0f;
    m_spaceFreq = 2200.0f;
    m_baudRate = 1200;
    m_dataBits = 8;
    m_stopBits = 0;
    m_parity = 0;
    m_startBitTone = 0;
    m_stopBitTone = 1;
    return S_OK;
}

HRESULT CFSKParams::get_SpaceFreq(float* value) const { return GetProperty(m_spaceFreq, value); }
HRESULT CFSKParams::put_SpaceFreq(float value) { return PutProperty(m_spaceFreq, value, !(value < 0.0f)); }
HRESULT CFSKParams::get_MarkFreq(float* value) const { return GetProperty(m_markFreq, value); }
HRESULT CFSKParams::put_MarkFreq(float value) { return PutProperty(m_markFreq, value, !(value < 0.0f)); }
HRESULT CFSKParams::get_BaudRate(std::int32_t* value) const { return GetProperty(m_baudRate, value); }
HRESULT CFSKParams::put_BaudRate(std::int32_t value) { return PutProperty(m_baudRate, value, value >= 0); }
HRESULT CFSKParams::get_DataBits(std::int32_t* value) const { return GetProperty(m_dataBits, value); }
HRESULT CFSKParams::put_DataBits(std::int32_t value) { return PutProperty(m_dataBits, value, value >= 0 && value <= 8); }
HRESULT CFSKParams::get_StopBits(std::int32_t* value) const { return GetProperty(m_stopBits, value); }
HRESULT CFSKParams::put_StopBits(std::int32_t value) { return PutProperty(m_stopBits, value, AtMost(value, 3)); }
HRESULT CFSKParams::get_Parity(std::int32_t* value) const { return GetProperty(m_parity, value); }
HRESULT CFSKParams::put_Parity(std::int32_t value) { return PutProperty(m_parity, value, AtMost(value, 4)); }
HRESULT CFSKParams::get_StartBitTone(std::int32_t* value) const { return GetProperty(m_startBitTone, value); }
HRESULT CFSKParams::put_StartBitTone(std::int32_t value) { return PutProperty(m_startBitTone, value, true); }
HRESULT CFSKParams::get_StopBitTone(std::int32_t* value) const { return GetProperty(m_stopBitTone, value); }
HRESULT CFSKParams::put_StopBitTone(std::int32_t value) { return PutProperty(m_stopBitTone, value, true); }
