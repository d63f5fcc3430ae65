#include "audio/FormatNames.h"

#include <cstdio>
#include <cstring>

#include "audio/CodecStream.h"

namespace {

enum class DetailStyle { RateBitsChannels, RateChannels, BitRateRateChannels };

struct FormatEntry {
    std::uint16_t tag;
    const char* name;
    DetailStyle style;
};

// Formats whose bits per sample say nothing (GSM) describe themselves by rate and
// channels; MPEG audio leads with its bit rate.
constexpr FormatEntry kFormats[] = {
    {WAVE_FORMAT_PCM, "PCM", DetailStyle::RateBitsChannels},
    {WAVE_FORMAT_ADPCM, "Microsoft ADPCM", DetailStyle::RateBitsChannels},
    {WAVE_FORMAT_IEEE_FLOAT, "IEEE Float", DetailStyle::RateBitsChannels},
    {WAVE_FORMAT_ALAW, "CCITT A-Law", DetailStyle::RateBitsChannels},
    {WAVE_FORMAT_MULAW, "CCITT u-Law", DetailStyle::RateBitsChannels},
    {WAVE_FORMAT_IMA_ADPCM, "IMA ADPCM", DetailStyle::RateBitsChannels},
    {WAVE_FORMAT_DSPGROUP_TRUESPEECH, "DSP Group TrueSpeech(TM)", DetailStyle::RateBitsChannels},
    {WAVE_FORMAT_GSM610, "GSM 6.10", DetailStyle::RateChannels},
    {WAVE_FORMAT_MPEGLAYER3, "MPEG Layer-3", DetailStyle::BitRateRateChannels},
};

const FormatEntry* FindEntry(std::uint16_t tag) {
    for (const FormatEntry& entry : kFormats)
        if (entry.tag == tag) return &entry;
    return nullptr;
}

// 16-bit PCM is read directly by the decoding runs; every other format is known only
// when the codec layer can convert it.
bool Handled(const WAVEFORMATEX& format) {
    if (format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels > 0 && format.nSamplesPerSec > 0 &&
        (format.wBitsPerSample == 8 || format.wBitsPerSample == 16))
        return true;
    return CodecStream::CanDecode(format);
}

std::string Channels(std::uint16_t channels) {
    if (channels == 1) return "Mono";
    if (channels == 2) return "Stereo";
    return std::to_string(channels) + " Channels";
}

std::string Kilohertz(std::uint32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u kHz", rate / 1000, rate % 1000);
    return text;
}

std::string Hertz(std::uint32_t rate) {
    char text[32];
    if (rate >= 1000)
        std::snprintf(text, sizeof text, "%u,%03u Hz", rate / 1000, rate % 1000);
    else
        std::snprintf(text, sizeof text, "%u Hz", rate);
    return text;
}

int CopyOut(const std::string& value, char* text, int textSize) {
    if (value.empty()) return -1;
    if (text == nullptr || textSize <= 0 || value.size() + 1 > static_cast<std::size_t>(textSize)) return -2;
    std::memcpy(text, value.c_str(), value.size() + 1);
    return static_cast<int>(value.size());
}

}  // namespace

std::string FormatNameText(const WAVEFORMATEX& format) {
    if (!Handled(format)) return {};
    if (const FormatEntry* entry = FindEntry(format.wFormatTag)) return entry->name;
    const char* name = CodecStream::LibraryName(format.wFormatTag);
    return name ? name : "";
}

std::string FormatDetailText(const WAVEFORMATEX& format) {
    if (!Handled(format)) return {};
    const FormatEntry* entry = FindEntry(format.wFormatTag);
    const DetailStyle style = entry ? entry->style
                                    : format.wBitsPerSample == 0 ? DetailStyle::RateChannels
                                                                 : DetailStyle::RateBitsChannels;
    const std::string channels = Channels(format.nChannels);
    switch (style) {
    case DetailStyle::RateChannels: return Kilohertz(format.nSamplesPerSec) + ", " + channels;
    case DetailStyle::BitRateRateChannels:
        return std::to_string(static_cast<std::uint64_t>(format.nAvgBytesPerSec) * 8 / 1000) + " kBit/s, " + Hertz(format.nSamplesPerSec) +
               ", " + channels;
    case DetailStyle::RateBitsChannels:
    default:
        return Kilohertz(format.nSamplesPerSec) + ", " + std::to_string(format.wBitsPerSample) + " Bit, " +
               channels;
    }
}

int GetFormatName(const WAVEFORMATEX* format, char* text, int textSize) {
    if (format == nullptr) return -1;
    return CopyOut(FormatNameText(*format), text, textSize);
}

int GetFormatDetail(const WAVEFORMATEX* format, char* text, int textSize) {
    if (format == nullptr) return -1;
    return CopyOut(FormatDetailText(*format), text, textSize);
}
