#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"

namespace audiotest {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

void PutU16(Bytes& out, std::uint16_t v);
void PutU32(Bytes& out, std::uint32_t v);
void PutId(Bytes& out, const char* id);
std::uint32_t GetU32(const Bytes& in, std::size_t at);

// One RIFF chunk with an explicit declared size (which may lie) and optional pad byte.
Bytes Chunk(const char* id, const Bytes& data, std::uint32_t declaredSize, bool pad);
Bytes Chunk(const char* id, const Bytes& data);  // honest size, padded when odd
// "RIFF" <size> "WAVE" followed by the given chunks; size as declared or honest.
Bytes RiffWave(const Bytes& chunks);
Bytes RiffWave(const Bytes& chunks, std::uint32_t declaredSize);

Bytes RecordBytes(const WAVEFORMATEX& header, const Bytes& extra = {});
WAVEFORMATEX PcmFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits);

// A telephone-like test signal: two tones plus a slow sweep, interleaved channels with
// a different phase on each; amplitude well below full scale.
std::vector<std::int16_t> TestSignal(int rate, int channels, int frames);

// Signal-to-noise ratio in dB of decoded against original (interleaved, same channel
// count) at the best lag in 0..maxLagFrames; the first skipFrames of the original are
// left out (codec start-up). The best lag is returned through lagFound.
double BestLagSnr(const std::vector<std::int16_t>& original, const std::vector<std::int16_t>& decoded, int channels,
                  int maxLagFrames, int skipFrames, int* lagFound = nullptr);

}  // namespace audiotest
