#include "audio/StreamFormats.h"

#include <cstring>
#include <new>

namespace {

constexpr std::uint32_t kPcmRates[9] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
// The rates of the compressed entries.
constexpr std::uint32_t kCodecRates[4] = {8000, 11025, 22050, 44100};

constexpr int kTrueSpeechIndex = 36;
constexpr int kALawFirst = 37;
constexpr int kMuLawFirst = 45;
constexpr int kAdpcmFirst = 53;
constexpr int kGsmFirst = 61;

constexpr std::uint32_t kAdpcmByteRates[8] = {4096, 8192, 5644, 11289, 11155, 22311, 22179, 44359};
constexpr std::uint16_t kAdpcmBlockAlign[4] = {256, 256, 512, 1024};
constexpr std::uint16_t kAdpcmSamplesPerBlock[4] = {500, 500, 1012, 2036};
constexpr std::int16_t kAdpcmCoefficients[7][2] = {{256, 0},  {512, -256}, {0, 0},    {192, 64},
                                                   {240, 0}, {460, -208}, {392, -232}};
constexpr std::uint32_t kGsmByteRates[4] = {1625, 2239, 4478, 8957};

void PutU16(std::vector<std::uint8_t>& record, std::size_t at, std::uint16_t value) {
    record[at] = static_cast<std::uint8_t>(value);
    record[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void SetHeader(std::vector<std::uint8_t>& record, const WAVEFORMATEX& header) {
    record.assign(WaveFormatSize(header), 0);
    std::memcpy(record.data(), &header, sizeof header);
}

WAVEFORMATEX Pcm(int index) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = (index & 1) ? 2 : 1;
    f.wBitsPerSample = (index & 2) ? 16 : 8;
    f.nSamplesPerSec = kPcmRates[(index / 4) % 16];
    f.nBlockAlign = static_cast<std::uint16_t>(f.nChannels * f.wBitsPerSample / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    return f;
}

// A-law and u-law: one byte per sample, odd offsets stereo.
WAVEFORMATEX G711(std::uint16_t tag, int j) {
    WAVEFORMATEX f{};
    f.wFormatTag = tag;
    f.nChannels = (j & 1) ? 2 : 1;
    f.nSamplesPerSec = kCodecRates[j / 2];
    f.wBitsPerSample = 8;
    f.nBlockAlign = f.nChannels;
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nChannels;
    return f;
}

void TrueSpeech(std::vector<std::uint8_t>& record) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_DSPGROUP_TRUESPEECH;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.nAvgBytesPerSec = 1067;
    f.nBlockAlign = 32;
    f.wBitsPerSample = 1;
    f.cbSize = 32;
    SetHeader(record, f);
    record[kWaveFormatHeaderSize] = 1;               // revision
    PutU16(record, kWaveFormatHeaderSize + 2, 240);  // samples per block
}

void Adpcm(std::vector<std::uint8_t>& record, int j) {
    const int k = j / 2;
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_ADPCM;
    f.nChannels = (j & 1) ? 2 : 1;
    f.nSamplesPerSec = kCodecRates[k];
    f.nAvgBytesPerSec = kAdpcmByteRates[j];
    f.nBlockAlign = static_cast<std::uint16_t>(kAdpcmBlockAlign[k] * f.nChannels);
    f.wBitsPerSample = 4;
    f.cbSize = 32;
    SetHeader(record, f);
    std::size_t at = kWaveFormatHeaderSize;
    PutU16(record, at, kAdpcmSamplesPerBlock[k]);
    PutU16(record, at + 2, 7);
    at += 4;
    for (const auto& pair : kAdpcmCoefficients) {
        PutU16(record, at, static_cast<std::uint16_t>(pair[0]));
        PutU16(record, at + 2, static_cast<std::uint16_t>(pair[1]));
        at += 4;
    }
}

void Gsm(std::vector<std::uint8_t>& record, int j) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_GSM610;
    f.nChannels = 1;
    f.nSamplesPerSec = kCodecRates[j];
    f.nAvgBytesPerSec = kGsmByteRates[j];
    f.nBlockAlign = 65;
    f.wBitsPerSample = 0;
    f.cbSize = 2;
    SetHeader(record, f);
    PutU16(record, kWaveFormatHeaderSize, 320);  // samples per block
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// One pair of characters: two digits, or one digit with white space before or after.
bool ParsePair(char first, char second, std::uint8_t& value) {
    const int a = HexDigit(first);
    const int b = HexDigit(second);
    if (a >= 0 && b >= 0) {
        value = static_cast<std::uint8_t>(a * 16 + b);
        return true;
    }
    if (a >= 0 && IsBlank(second)) {
        value = static_cast<std::uint8_t>(a);
        return true;
    }
    if (IsBlank(first) && b >= 0) {
        value = static_cast<std::uint8_t>(b);
        return true;
    }
    return false;
}

}  // namespace

HRESULT SpConvertStreamFormatEnum(int index, std::vector<std::uint8_t>* record) {
    if (record == nullptr || index < 0 || index >= kStreamFormatCount) return E_INVALIDARG;
    try {
        if (index < kTrueSpeechIndex)
            SetHeader(*record, Pcm(index));
        else if (index == kTrueSpeechIndex)
            TrueSpeech(*record);
        else if (index < kMuLawFirst)
            SetHeader(*record, G711(WAVE_FORMAT_ALAW, index - kALawFirst));
        else if (index < kAdpcmFirst)
            SetHeader(*record, G711(WAVE_FORMAT_MULAW, index - kMuLawFirst));
        else if (index < kGsmFirst)
            Adpcm(*record, index - kAdpcmFirst);
        else
            Gsm(*record, index - kGsmFirst);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

std::string WaveFmtToString(const WAVEFORMATEX* record, std::size_t bufferSize) {
    if (record == nullptr || bufferSize < kWaveFormatHeaderSize || WaveFormatSize(*record) > bufferSize) return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(record);
    std::string text;
    text.reserve(2 * WaveFormatSize(*record));
    for (std::uint32_t i = 0; i < WaveFormatSize(*record); ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 15]);
    }
    return text;
}

HRESULT StringToWaveFmt(std::string_view text, std::uint8_t* record, std::size_t capacity) {
    if (record == nullptr) return E_POINTER;
    const std::size_t count = text.size() / 2;
    if (count > capacity) return E_INVALIDARG;
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        if (!ParsePair(text[2 * i], text[2 * i + 1], bytes[i])) return E_INVALIDARG;
    if (count > 0) std::memcpy(record, bytes.data(), count);
    return S_OK;
}
