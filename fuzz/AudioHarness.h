#pragma once

// The bodies of the audio fuzz targets, shared with the test that replays every corpus
// and regression input. Each returns false when an input breaks a property that must
// hold for any input (the fuzz targets then abort); crashes and sanitizer reports are
// caught by the tools themselves.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/CACMBuffer.h"
#include "audio/CSoundFile.h"
#include "audio/FormatNames.h"
#include "audio/StreamFormats.h"
#include "audio/WaveFormatSelection.h"

namespace fuzzharness {

using Bytes = std::vector<std::uint8_t>;

// Converts data under format in one piece, or in pieces whose sizes cycle through
// pieces; returns the PCM, or false when the conversion buffer reported a failure
// (which is allowed) through ok.
inline Bytes Convert(const WAVEFORMATEX* format, const std::uint8_t* data, std::size_t size,
                     const std::vector<std::int32_t>& pieces, bool& opened) {
    Bytes pcm;
    CACMBuffer buffer;
    opened = false;
    if (buffer.SetSrcFmt(format) != acm::kOk) return pcm;
    WAVEFORMATEX* suggested = nullptr;
    if (buffer.GetSuggestFormat(&suggested) != acm::kOk || buffer.SetDstFmt(suggested) != acm::kOk) return pcm;
    opened = true;
    std::size_t at = 0;
    for (std::size_t piece = 0; at < size; ++piece) {
        const auto n = static_cast<std::int32_t>(std::min<std::size_t>(pieces[piece % pieces.size()], size - at));
        buffer.PrepareHeader(n, 0);
        if (buffer.ProcessInput(data + at, n) != acm::kOk) break;
        at += static_cast<std::size_t>(n);
        const std::uint8_t* out = nullptr;
        std::int32_t length = 0;
        while (buffer.ProcessOutput(&out, &length) == 0) pcm.insert(pcm.end(), out, out + length);
    }
    return pcm;
}

// Converter input: an 18-byte format record, its extra bytes (cbSize, at most 64 and
// at most what follows), one byte that sets the piece sizes, then the stream.
inline bool RunConverter(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(WAVEFORMATEX) + 1) return true;
    std::vector<std::uint8_t> record(g_dwmax_format_size, 0);
    std::memcpy(record.data(), data, sizeof(WAVEFORMATEX));
    auto* format = reinterpret_cast<WAVEFORMATEX*>(record.data());
    std::size_t at = sizeof(WAVEFORMATEX);
    format->cbSize = static_cast<std::uint16_t>(std::min<std::size_t>({format->cbSize, 64, size - at - 1}));
    std::memcpy(record.data() + at, data + at, format->cbSize);
    at += format->cbSize;
    const std::uint8_t seed = data[at++];
    const std::vector<std::int32_t> pieces = {1 + seed % 7, 1 + seed, 3 + seed * 5, 1000};
    bool opened = false;
    const Bytes whole = Convert(format, data + at, size - at, {static_cast<std::int32_t>(size - at + 1)}, opened);
    if (!opened) return true;
    bool again = false;
    const Bytes cut = Convert(format, data + at, size - at, pieces, again);
    // The PCM may not depend on how the stream was cut.
    return again && cut == whole;
}

inline std::string HarnessFolder() {
    static const std::string folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("vornix-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return folder;
}

inline void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

// A wave file that reads back must write back: same record, same audio bytes.
inline bool WriteBackMatches(const std::vector<std::uint8_t>& formatBuffer, const Bytes& audio) {
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(formatBuffer.data());
    if (format->wFormatTag == 0) return true;  // a zero tag would open for reading
    const std::string copy = HarnessFolder() + "/copy.wav";
    std::vector<std::uint8_t> written(formatBuffer);
    {
        CSoundFile out(copy.c_str(), reinterpret_cast<WAVEFORMATEX*>(written.data()));
        if (!out.IsOK() || (!audio.empty() && !out.Write(audio.data(), static_cast<std::uint32_t>(audio.size()))))
            return false;
        if (!out.Close()) return false;
    }
    std::vector<std::uint8_t> readFormat(g_dwmax_format_size, 0);
    CSoundFile in(copy.c_str(), reinterpret_cast<WAVEFORMATEX*>(readFormat.data()));
    if (audio.empty()) return !in.IsOK();  // an empty data chunk is refused on reading
    if (!in.IsOK()) return false;
    CBuffer buffer(4096);
    Bytes back;
    while (in.Read(buffer)) back.insert(back.end(), buffer.Data(), buffer.Data() + buffer.Length());
    return back == audio && std::memcmp(readFormat.data(), formatBuffer.data(), WaveFormatSize(*format)) == 0;
}

// Sound-file input: one byte picks the file name's kind, the rest is the file.
inline bool RunSoundFile(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return true;
    static const char* const kNames[] = {"/f.wav", "/f.RAW", "/f.pcm", "/f.mp3"};
    const std::string path = HarnessFolder() + kNames[data[0] % 4];
    WriteBytes(path, data + 1, size - 1);
    std::vector<std::uint8_t> formatBuffer(g_dwmax_format_size, 0);
    auto* format = reinterpret_cast<WAVEFORMATEX*>(formatBuffer.data());
    CSoundFile file(path.c_str(), format);
    if (!file.IsOK()) return std::strlen(file.GetLastErrorText()) > 0;
    if (file.GetDataLength() < 0 || file.GetDataLength() > static_cast<std::int64_t>(size)) return false;
    CBuffer buffer(1 + data[0] % 97);
    Bytes audio;
    while (file.Read(buffer)) audio.insert(audio.end(), buffer.Data(), buffer.Data() + buffer.Length());
    // A container hands out the PCM it decodes, whole frames, and counts the file's bytes.
    if (file.GetFileKind() == CSoundFile::kKindContainer)
        return format->wFormatTag == WAVE_FORMAT_PCM && format->nBlockAlign != 0 &&
               audio.size() % format->nBlockAlign == 0 && file.GetBytesDelivered() <= file.GetDataLength();
    if (static_cast<std::int64_t>(audio.size()) != file.GetDataLength()) return false;
    file.Close();
    if (file.GetFileKind() == CSoundFile::kKindRawPcm) return true;
    if (format->wFormatTag != WAVE_FORMAT_PCM) {
        bool opened = false;
        Convert(format, audio.data(), audio.size(), {1 + data[0]}, opened);
    }
    return file.GetFileKind() != CSoundFile::kKindWave || WriteBackMatches(formatBuffer, audio);
}

// Identifier input: the text as the host would set it.
inline bool RunWaveFormatId(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint8_t> record(g_dwmax_format_size, 0);
    StringToWaveFmt(text, record.data(), record.size());
    std::vector<std::uint8_t> buffer(g_dwmax_format_size, 0);
    std::vector<std::uint8_t> initial;
    SpConvertStreamFormatEnum(2, &initial);
    std::memcpy(buffer.data(), initial.data(), initial.size());
    WaveFormatSelection selection(reinterpret_cast<WAVEFORMATEX*>(buffer.data()));
    const auto result = selection.WaveFormatID(text.c_str());
    selection.WaveFormatCodecDesc();
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(buffer.data());
    if (WaveFormatSize(*format) > g_dwmax_format_size) return false;
    if (result != WaveFormatSelection::IdResult::Applied) return selection.WaveFormatIndex() == 2;
    // A text with an embedded terminator is taken up to it, like any C string.
    if (selection.WaveFormatID() != text.c_str() || selection.WaveFormatIndex() != 65) return false;
    std::vector<std::uint8_t> again(g_dwmax_format_size, 0);
    if (StringToWaveFmt(WaveFmtToString(format), again.data(), again.size()) != S_OK) return false;
    return std::memcmp(again.data(), buffer.data(), WaveFormatSize(*format)) == 0;
}

}  // namespace fuzzharness
