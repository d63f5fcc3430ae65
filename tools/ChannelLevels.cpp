#include "ChannelLevels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

ChannelLevels::ChannelLevels(std::uint32_t sampleRate) : m_blockLength(std::max<std::uint32_t>(sampleRate / 50, 1)) {}

void ChannelLevels::Take(int channel, float sample) {
    Channel& c = m_channels[static_cast<std::size_t>(channel)];
    c.squareSum += static_cast<double>(sample) * sample;
    if (++c.count == m_blockLength) {
        c.loudestMeanSquare = std::max(c.loudestMeanSquare, c.squareSum / c.count);
        c.squareSum = 0.0;
        c.count = 0;
    }
}

void ChannelLevels::Add(int channel, std::span<const float> samples) {
    if (channel < 0 || channel > 1) return;
    for (float s : samples) Take(channel, s);
}

bool ChannelLevels::Readable(const WAVEFORMATEX& f) {
    if (f.nChannels < 1 || f.nChannels > 2) return false;
    if (f.wFormatTag == WAVE_FORMAT_PCM) return f.wBitsPerSample == 8 || f.wBitsPerSample == 16;
    return f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && f.wBitsPerSample == 32;
}

void ChannelLevels::AddFrames(const WAVEFORMATEX& f, std::span<const std::uint8_t> bytes) {
    if (!Readable(f)) return;
    const std::size_t width = f.wBitsPerSample / 8u;
    const std::size_t samples = bytes.size() / width;
    const std::uint8_t* p = bytes.data();
    for (std::size_t i = 0; i < samples; ++i, p += width) {
        float x = 0.0f;
        if (width == 1) {
            x = (static_cast<int>(p[0]) - 128) / 128.0f;
        } else if (width == 2) {
            x = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8)) / 32768.0f;
        } else {
            std::memcpy(&x, p, 4);
            if (!std::isfinite(x)) x = 0.0f;
        }
        Take(static_cast<int>(i % f.nChannels), x);
    }
}

double ChannelLevels::LoudestDb(int channel) const {
    if (channel < 0 || channel > 1) return -std::numeric_limits<double>::infinity();
    const Channel& c = m_channels[static_cast<std::size_t>(channel)];
    // A recording shorter than one block is judged by what it has.
    const double meanSquare = std::max(c.loudestMeanSquare, c.count > 0 ? c.squareSum / c.count : 0.0);
    return meanSquare > 0.0 ? 10.0 * std::log10(meanSquare) : -std::numeric_limits<double>::infinity();
}
