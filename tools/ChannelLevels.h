#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "audio/WaveFormat.h"

// How loud each channel of a stereo recording gets, to tell a user who decodes a silent
// channel that the other one holds the audio. A channel's level is that of its loudest
// 20 ms (RMS in dBFS), so one click does not count as sound and a few short tones do.
class ChannelLevels {
public:
    // Quieter than this throughout, a channel counts as silent: far below any speech or
    // signalling on a line, above the quantisation noise of 16-bit audio.
    static constexpr double kSilentDb = -50.0;

    explicit ChannelLevels(std::uint32_t sampleRate);

    // Samples of one channel in [-1, 1).
    void Add(int channel, std::span<const float> samples);
    // Whole interleaved frames in this format; false (nothing taken) for a format other
    // than PCM of 8 or 16 bits or 32-bit float, mono or stereo.
    static bool Readable(const WAVEFORMATEX& format);
    void AddFrames(const WAVEFORMATEX& format, std::span<const std::uint8_t> bytes);

    // The loudest 20 ms of a channel so far, in dBFS (-inf: nothing but zeros).
    double LoudestDb(int channel) const;
    bool Silent(int channel) const { return LoudestDb(channel) < kSilentDb; }

private:
    void Take(int channel, float sample);

    struct Channel {
        double squareSum = 0.0;
        std::uint32_t count = 0;
        double loudestMeanSquare = 0.0;
    };
    std::uint32_t m_blockLength;
    std::array<Channel, 2> m_channels{};
};
