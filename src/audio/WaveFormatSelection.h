#pragma once

#include <string>

#include "audio/WaveFormat.h"
#include "platform/HResult.h"

// The stream format a host chooses for host-fed streams and raw files: by number from
// the fixed list (WaveFormatIndex), as the hexadecimal text of a whole record
// (WaveFormatID), and described for people (WaveFormatCodecDesc). All three read and
// write one format buffer of g_dwmax_format_size bytes that the control object owns
// and that must outlive this object. The texts are computed on first read after the
// format changed.
class WaveFormatSelection {
public:
    // Index meaning "whatever WaveFormatID last wrote".
    static constexpr int kCustomIndex = 65;
    static constexpr int kDefaultIndex = 2;
    // A record's common part as text: the shortest identifier that is not ignored.
    static constexpr std::size_t kMinIdLength = 2 * kWaveFormatHeaderSize;

    enum class IdResult {
        Applied,
        Ignored,        // null, shorter than a record, longer than the buffer, or inconsistent
        NotHexadecimal  // a pair of characters is not a hexadecimal number
    };

    explicit WaveFormatSelection(WAVEFORMATEX* formatBuffer);

    int WaveFormatIndex() const { return m_index; }
    // E_INVALIDARG (nothing changed) outside 0-65; for 0-64 the format buffer receives
    // the list entry; 65 only records that the format is custom.
    HRESULT WaveFormatIndex(int index);

    const std::string& WaveFormatID();
    IdResult WaveFormatID(const char* text);

    const std::string& WaveFormatCodecDesc();

private:
    WAVEFORMATEX* m_format;
    int m_index = kDefaultIndex;
    std::string m_id;
    std::string m_codecDesc;
};
