#include "AudioTestSupport.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace audiotest {

TempDir::TempDir() {
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() / ("vornix-audio-" + std::to_string(device()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PutU16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(Bytes& out, std::uint32_t v) {
    PutU16(out, static_cast<std::uint16_t>(v));
    PutU16(out, static_cast<std::uint16_t>(v >> 16));
}

void PutId(Bytes& out, const char* id) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(id[i]));
}

std::uint32_t GetU32(const Bytes& in, std::size_t at) {
    return in[at] | in[at + 1] << 8 | in[at + 2] << 16 | static_cast<std::uint32_t>(in[at + 3]) << 24;
}

Bytes Chunk(const char* id, const Bytes& data, std::uint32_t declaredSize, bool pad) {
    Bytes out;
    PutId(out, id);
    PutU32(out, declaredSize);
    out.insert(out.end(), data.begin(), data.end());
    if (pad) out.push_back(0);
    return out;
}

Bytes Chunk(const char* id, const Bytes& data) {
    return Chunk(id, data, static_cast<std::uint32_t>(data.size()), data.size() % 2 != 0);
}

Bytes RiffWave(const Bytes& chunks, std::uint32_t declaredSize) {
    Bytes out;
    PutId(out, "RIFF");
    PutU32(out, declaredSize);
    PutId(out, "WAVE");
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

Bytes RiffWave(const Bytes& chunks) { return RiffWave(chunks, static_cast<std::uint32_t>(chunks.size() + 4)); }

Bytes RecordBytes(const WAVEFORMATEX& header, const Bytes& extra) {
    Bytes out(sizeof header);
    std::memcpy(out.data(), &header, sizeof header);
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

WAVEFORMATEX PcmFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

std::vector<std::int16_t> TestSignal(int rate, int channels, int frames) {
    std::vector<std::int16_t> out(static_cast<std::size_t>(frames) * channels);
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            const double phase = 0.7 * c;
            const double sweep = 300.0 + 400.0 * t;
            const double v = 0.30 * std::sin(2 * pi * 697.0 * t + phase) + 0.25 * std::sin(2 * pi * 1209.0 * t) +
                             0.10 * std::sin(2 * pi * sweep * t + phase);
            out[static_cast<std::size_t>(i) * channels + c] = static_cast<std::int16_t>(std::lrint(v * 32767.0));
        }
    }
    return out;
}

double BestLagSnr(const std::vector<std::int16_t>& original, const std::vector<std::int16_t>& decoded, int channels,
                  int maxLagFrames, int skipFrames, int* lagFound) {
    const long frames = static_cast<long>(original.size()) / channels;
    const long decodedFrames = static_cast<long>(decoded.size()) / channels;
    double best = -1e9;
    for (int lag = 0; lag <= maxLagFrames; ++lag) {
        double signal = 0.0;
        double noise = 0.0;
        for (long i = skipFrames; i < frames && i + lag < decodedFrames; ++i) {
            for (int c = 0; c < channels; ++c) {
                const double x = original[i * channels + c];
                const double y = decoded[(i + lag) * channels + c];
                signal += x * x;
                noise += (x - y) * (x - y);
            }
        }
        if (signal <= 0.0) continue;
        const double snr = 10.0 * std::log10(signal / std::max(noise, 1e-9));
        if (snr > best) {
            best = snr;
            if (lagFound) *lagFound = lag;
        }
    }
    return best;
}

}  // namespace audiotest
