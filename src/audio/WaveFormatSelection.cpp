#include "audio/WaveFormatSelection.h"

#include <cstring>
#include <vector>

#include "audio/FormatNames.h"
#include "audio/StreamFormats.h"

WaveFormatSelection::WaveFormatSelection(WAVEFORMATEX* formatBuffer) : m_format(formatBuffer) {}

HRESULT WaveFormatSelection::WaveFormatIndex(int index) {
    if (index < 0 || index > kCustomIndex) return E_INVALIDARG;
    if (index == kCustomIndex) {
        m_index = index;
        return S_OK;
    }
    std::vector<std::uint8_t> record;
    const HRESULT hr = SpConvertStreamFormatEnum(index, &record);
    // The index follows the buffer: a format that could not be built leaves both as
    // they were, so the index never names a format the buffer does not hold.
    if (FAILED(hr)) return hr;
    std::memcpy(m_format, record.data(), record.size());
    m_index = index;
    m_id.clear();
    m_codecDesc.clear();
    return S_OK;
}

const std::string& WaveFormatSelection::WaveFormatID() {
    if (m_id.empty()) m_id = WaveFmtToString(m_format, g_dwmax_format_size);
    return m_id;
}

WaveFormatSelection::IdResult WaveFormatSelection::WaveFormatID(const char* text) {
    if (text == nullptr) return IdResult::Ignored;
    const std::size_t length = std::strlen(text);
    if (length < kMinIdLength || length > 2 * static_cast<std::size_t>(g_dwmax_format_size)) return IdResult::Ignored;
    // Decoded aside first: a text that turns out invalid must not leave half a record
    // in the buffer.
    std::vector<std::uint8_t> record(g_dwmax_format_size, 0);
    if (FAILED(StringToWaveFmt(text, record.data(), record.size()))) return IdResult::NotHexadecimal;
    WAVEFORMATEX header;
    std::memcpy(&header, record.data(), sizeof header);
    // A record whose cbSize claims more bytes than the text supplies would make every
    // later copy of it read stale or foreign bytes.
    if (WaveFormatSize(header) > length / 2) return IdResult::Ignored;
    std::memcpy(m_format, record.data(), length / 2);
    m_id = text;
    m_codecDesc.clear();
    m_index = kCustomIndex;
    return IdResult::Applied;
}

const std::string& WaveFormatSelection::WaveFormatCodecDesc() {
    if (m_codecDesc.empty()) {
        const std::string name = FormatNameText(*m_format);
        const std::string detail = FormatDetailText(*m_format);
        m_codecDesc = name.empty() || detail.empty() ? name + detail : name + " " + detail;
    }
    return m_codecDesc;
}
