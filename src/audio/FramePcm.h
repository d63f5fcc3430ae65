#pragma once

// Decoded codec frames as interleaved 16-bit PCM, shared by the codec layer and the
// container reader so that a stream decodes to the same samples whichever of them
// carries it. Only for sources built with libavcodec.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace framepcm {

// One decoded sample as 16 bits. Floats are scaled by 32768 and clipped; NaN is silence.
inline std::int16_t ToS16(AVSampleFormat packed, const std::uint8_t* p) {
    switch (packed) {
    case AV_SAMPLE_FMT_U8: return static_cast<std::int16_t>((static_cast<int>(p[0]) - 128) * 256);
    case AV_SAMPLE_FMT_S16: {
        std::int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case AV_SAMPLE_FMT_S32: {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return static_cast<std::int16_t>(v >> 16);
    }
    case AV_SAMPLE_FMT_S64: {
        std::int64_t v;
        std::memcpy(&v, p, 8);
        return static_cast<std::int16_t>(v >> 48);
    }
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_DBL: {
        double x;
        if (packed == AV_SAMPLE_FMT_FLT) {
            float f;
            std::memcpy(&f, p, 4);
            x = f;
        } else {
            std::memcpy(&x, p, 8);
        }
        if (std::isnan(x)) return 0;
        return static_cast<std::int16_t>(std::lrint(std::clamp(x * 32768.0, -32768.0, 32767.0)));
    }
    default: return 0;
    }
}

// Appends the frame's samples to out as outChannels interleaved 16-bit channels. A
// frame with another channel count is mapped onto outChannels: extra channels dropped,
// missing ones repeated. The first skipFrames sample frames (the stream's start-up
// delay) are dropped and counted off. False when the frame's sample format is unknown.
inline bool AppendS16(const AVFrame& frame, int outChannels, std::uint64_t& skipFrames, std::vector<std::uint8_t>& out) {
    const int samples = frame.nb_samples;
    const int inChannels = frame.ch_layout.nb_channels;
    if (samples <= 0 || inChannels <= 0 || outChannels <= 0) return true;
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const int bytes = av_get_bytes_per_sample(format);
    if (bytes <= 0 || frame.extended_data == nullptr) return false;
    const auto skip = static_cast<int>(std::min<std::uint64_t>(skipFrames, static_cast<std::uint64_t>(samples)));
    skipFrames -= static_cast<std::uint64_t>(skip);
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(samples - skip) * static_cast<std::size_t>(outChannels) * 2);
    std::uint8_t* to = out.data() + start;
    for (int i = skip; i < samples; ++i) {
        for (int c = 0; c < outChannels; ++c) {
            const int from = std::min(c, inChannels - 1);
            const std::uint8_t* p = planar ? frame.extended_data[from] + static_cast<std::size_t>(i) * bytes
                                           : frame.extended_data[0] +
                                                 (static_cast<std::size_t>(i) * inChannels + from) * bytes;
            const std::int16_t v = ToS16(packed, p);
            std::memcpy(to, &v, 2);
            to += 2;
        }
    }
    return true;
}

}  // namespace framepcm
