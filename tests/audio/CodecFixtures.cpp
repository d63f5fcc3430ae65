#include "CodecFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#if VORNIX_WITH_FFMPEG
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}
#endif

namespace audiotest {

#if VORNIX_WITH_FFMPEG
namespace {

// Copies samples [from, from + count) into the frame in the encoder's sample format.
void FillFrame(AVFrame* frame, const std::vector<std::int16_t>& pcm, int channels, int from, int count) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const int bytes = av_get_bytes_per_sample(format);
    for (int i = 0; i < frame->nb_samples; ++i) {
        for (int c = 0; c < channels; ++c) {
            const std::int16_t s = i < count ? pcm[static_cast<std::size_t>(from + i) * channels + c] : 0;
            std::uint8_t* p = planar ? frame->extended_data[c] + i * bytes
                                     : frame->extended_data[0] + (i * channels + c) * bytes;
            if (packed == AV_SAMPLE_FMT_S16) {
                std::memcpy(p, &s, 2);
            } else if (packed == AV_SAMPLE_FMT_S32) {
                const std::int32_t v = s * 65536;
                std::memcpy(p, &v, 4);
            } else if (packed == AV_SAMPLE_FMT_FLT) {
                const float v = s / 32768.0f;
                std::memcpy(p, &v, 4);
            }
        }
    }
}

void Collect(AVCodecContext* context, AVPacket* packet, Bytes& out) {
    while (avcodec_receive_packet(context, packet) == 0) {
        out.insert(out.end(), packet->data, packet->data + packet->size);
        av_packet_unref(packet);
    }
}

AVSampleFormat PickFormat(const AVCodec* codec) {
    if (codec->sample_fmts == nullptr) return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (av_get_packed_sample_fmt(*f) == AV_SAMPLE_FMT_S16) return *f;
    return codec->sample_fmts[0];
}

}  // namespace

bool Encode(const char* encoder, std::uint16_t tag, int rate, int channels, const std::vector<std::int16_t>& pcm,
            EncodedStream& out, std::int64_t bitRate, int blockSize) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (codec == nullptr) return false;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = rate;
    av_channel_layout_default(&context->ch_layout, channels);
    context->sample_fmt = PickFormat(codec);
    if (bitRate > 0) context->bit_rate = bitRate;
    if (blockSize > 0) av_opt_set_int(context->priv_data, "block_size", blockSize, 0);
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return false;
    }
    const int frameSize = context->frame_size > 0 ? context->frame_size : 1024;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    const int total = static_cast<int>(pcm.size()) / channels;
    out.data.clear();
    for (int at = 0; at < total; at += frameSize) {
        frame->nb_samples = frameSize;
        frame->format = context->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        av_frame_get_buffer(frame, 0);
        FillFrame(frame, pcm, channels, at, std::min(frameSize, total - at));
        avcodec_send_frame(context, frame);
        av_frame_unref(frame);
        Collect(context, packet, out.data);
    }
    avcodec_send_frame(context, nullptr);
    Collect(context, packet, out.data);

    WAVEFORMATEX header{};
    header.wFormatTag = tag;
    header.nChannels = static_cast<std::uint16_t>(channels);
    header.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    header.nBlockAlign = static_cast<std::uint16_t>(context->block_align > 0 ? context->block_align : 1);
    header.wBitsPerSample = static_cast<std::uint16_t>(context->bits_per_coded_sample);
    header.nAvgBytesPerSec =
        context->bit_rate > 0 ? static_cast<std::uint32_t>(context->bit_rate / 8)
                              : static_cast<std::uint32_t>(static_cast<std::int64_t>(header.nBlockAlign) * rate /
                                                           std::max(1, context->frame_size));
    Bytes extra(context->extradata, context->extradata + context->extradata_size);
    header.cbSize = static_cast<std::uint16_t>(extra.size());
    out.record = RecordBytes(header, extra);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return true;
}
#else
bool Encode(const char*, std::uint16_t, int, int, const std::vector<std::int16_t>&, EncodedStream&, std::int64_t,
            int) {
    return false;
}
#endif

std::vector<std::int16_t> ConvertInPieces(const WAVEFORMATEX* format, const Bytes& data,
                                          const std::vector<std::size_t>& pieces) {
    std::vector<std::int16_t> pcm;
    CACMBuffer buffer;
    EXPECT_EQ(buffer.SetSrcFmt(format), 0);
    WAVEFORMATEX* suggested = nullptr;
    EXPECT_EQ(buffer.GetSuggestFormat(&suggested), 0);
    if (suggested == nullptr) return pcm;
    EXPECT_EQ(buffer.SetDstFmt(suggested), 0);
    std::size_t at = 0;
    std::size_t piece = 0;
    Bytes bytes;
    while (at < data.size()) {
        const std::size_t n = std::min(pieces[piece++ % pieces.size()], data.size() - at);
        EXPECT_GE(buffer.PrepareHeader(static_cast<std::int32_t>(n), 0), 0);
        EXPECT_EQ(buffer.ProcessInput(data.data() + at, static_cast<std::int32_t>(n)), 0);
        at += n;
        const std::uint8_t* out = nullptr;
        std::int32_t length = 0;
        int r;
        while ((r = buffer.ProcessOutput(&out, &length)) == 0) bytes.insert(bytes.end(), out, out + length);
        EXPECT_EQ(r, -2);
    }
    pcm.resize(bytes.size() / 2);
    if (!pcm.empty()) std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

std::vector<std::int16_t> ConvertWhole(const WAVEFORMATEX* format, const Bytes& data) {
    return ConvertInPieces(format, data, {data.size()});
}

}  // namespace audiotest

namespace audiotest {

#if VORNIX_WITH_FFMPEG
std::vector<std::int16_t> DecodeBlocksDirectly(const WAVEFORMATEX* format, const Bytes& data) {
    std::vector<std::int16_t> pcm;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_TRUESPEECH);
    if (format->wFormatTag != WAVE_FORMAT_DSPGROUP_TRUESPEECH || codec == nullptr) return pcm;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = static_cast<int>(format->nSamplesPerSec);
    av_channel_layout_default(&context->ch_layout, format->nChannels);
    context->block_align = format->nBlockAlign;
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    for (std::size_t at = 0; at + format->nBlockAlign <= data.size(); at += format->nBlockAlign) {
        av_new_packet(packet, format->nBlockAlign);
        std::memcpy(packet->data, data.data() + at, format->nBlockAlign);
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        while (avcodec_receive_frame(context, frame) == 0) {
            const auto* samples = reinterpret_cast<const std::int16_t*>(frame->extended_data[0]);
            pcm.insert(pcm.end(), samples, samples + frame->nb_samples);
            av_frame_unref(frame);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return pcm;
}
#else
std::vector<std::int16_t> DecodeBlocksDirectly(const WAVEFORMATEX*, const Bytes&) { return {}; }
#endif

}  // namespace audiotest
