#include "StreamTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if VORNIX_WITH_FFMPEG
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}
#endif

namespace stream_test {

std::vector<std::int16_t> Tone(double hz, int rate, std::size_t samples, double amplitude) {
    std::vector<std::int16_t> out(samples);
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < samples; ++i)
        out[i] = static_cast<std::int16_t>(std::lrint(amplitude * std::sin(2 * pi * hz * static_cast<double>(i) / rate)));
    return out;
}

double RmsDifference(std::span<const std::int16_t> a, std::span<const std::int16_t> b, std::size_t skip) {
    const std::size_t n = std::min(a.size(), b.size());
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = skip; i < n; ++i, ++count) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

double Rms(std::span<const std::int16_t> a) {
    double sum = 0;
    for (const std::int16_t s : a) sum += static_cast<double>(s) * s;
    return a.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(a.size()));
}

#if VORNIX_WITH_FFMPEG
namespace {

AVSampleFormat PickFormat(const AVCodec* codec) {
    if (codec->sample_fmts == nullptr) return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_FLT) return *f;
    return codec->sample_fmts[0];
}

void Collect(AVCodecContext* context, AVPacket* packet, std::vector<Bytes>& out) {
    while (avcodec_receive_packet(context, packet) == 0) {
        out.emplace_back(packet->data, packet->data + packet->size);
        av_packet_unref(packet);
    }
}

}  // namespace

std::vector<Bytes> EncodePackets(const char* encoder, int rate, const std::vector<std::int16_t>& pcm,
                                 std::int64_t bitRate) {
    std::vector<Bytes> packets;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (codec == nullptr) return packets;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = rate;
    av_channel_layout_default(&context->ch_layout, 1);
    context->sample_fmt = PickFormat(codec);
    if (bitRate > 0) context->bit_rate = bitRate;
    // Codecs without a frame size of their own (G.722) are cut into 20 ms packets.
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return packets;
    }
    const int frameSize = context->frame_size > 0 ? context->frame_size : rate / 50;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    for (std::size_t at = 0; at < pcm.size(); at += static_cast<std::size_t>(frameSize)) {
        frame->nb_samples = frameSize;
        frame->format = context->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        av_frame_get_buffer(frame, 0);
        for (int i = 0; i < frameSize; ++i) {
            const std::size_t k = at + static_cast<std::size_t>(i);
            const std::int16_t s = k < pcm.size() ? pcm[k] : 0;
            if (context->sample_fmt == AV_SAMPLE_FMT_FLT)
                reinterpret_cast<float*>(frame->data[0])[i] = s / 32768.0f;
            else
                reinterpret_cast<std::int16_t*>(frame->data[0])[i] = s;
        }
        avcodec_send_frame(context, frame);
        av_frame_unref(frame);
        Collect(context, packet, packets);
    }
    avcodec_send_frame(context, nullptr);
    Collect(context, packet, packets);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return packets;
}
#else
std::vector<Bytes> EncodePackets(const char*, int, const std::vector<std::int16_t>&, std::int64_t) { return {}; }
#endif

}  // namespace stream_test
