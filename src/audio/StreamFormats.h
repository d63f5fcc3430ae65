#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "audio/WaveFormat.h"
#include "platform/HResult.h"

// The fixed list of stream formats a host can choose by number, and the hexadecimal
// text form of a format record.

// Number of formats in the list (indices 0 to 64).
inline constexpr int kStreamFormatCount = 65;

// Builds the record of list entry index into record (18 + cbSize bytes): 0-35 PCM,
// 36 TrueSpeech, 37-44 A-law, 45-52 u-law, 53-60 Microsoft ADPCM, 61-64 GSM 6.10.
// S_OK; E_INVALIDARG for an index outside 0-64 or a null record; E_OUTOFMEMORY.
HRESULT SpConvertStreamFormatEnum(int index, std::vector<std::uint8_t>* record);

// Every byte of the record (18 + cbSize bytes) as two lower-case hexadecimal digits in
// memory order. Empty when the record would not fit in bufferSize bytes.
std::string WaveFmtToString(const WAVEFORMATEX* record, std::size_t bufferSize = g_dwmax_format_size);

// Decodes text into record: each whole pair of characters is one byte (an odd last
// character is ignored); a pair may have white space before or after its digit(s).
// S_OK; E_INVALIDARG when a pair is not hexadecimal or the bytes would not fit in
// capacity; E_POINTER for a null record. Nothing is written unless the whole text is
// valid.
HRESULT StringToWaveFmt(std::string_view text, std::uint8_t* record, std::size_t capacity);
