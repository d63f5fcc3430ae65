#include "rtp/PayloadDecoder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>

#if VORNIX_WITH_FFMPEG
#include "audio/CodecLog.h"
#include "audio/FramePcm.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}
#endif

namespace {

// Bounds on what an SDP line may claim.
constexpr int kMaxClockRate = 384000;
constexpr int kMaxLinearChannels = 8;

constexpr std::size_t kGsmFrameBytes = 33;
constexpr std::size_t kG729FrameBytes = 10;
constexpr std::size_t kG729SidBytes = 2;
constexpr std::size_t kG729FrameSamples = 80;
constexpr std::size_t kIlbc20msBytes = 38;
constexpr std::size_t kIlbc30msBytes = 50;

// ITU-T G.711 expansion of a mu-law code: the code is sent inverted; a 3-bit segment
// doubles the step of a 4-bit mantissa, on a bias of 0x84 that makes the segments meet.
constexpr std::int16_t ExpandMuLaw(std::uint8_t code) {
    const int u = static_cast<std::uint8_t>(~code);
    int magnitude = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
    return static_cast<std::int16_t>((u & 0x80) != 0 ? 0x84 - magnitude : magnitude - 0x84);
}

// ITU-T G.711 expansion of an A-law code: even bits are sent inverted; the first segment
// is linear, each further one doubles the step. The sign bit set is positive.
constexpr std::int16_t ExpandALaw(std::uint8_t code) {
    const int a = code ^ 0x55;
    int magnitude = (a & 0x0F) << 4;
    const int segment = (a & 0x70) >> 4;
    if (segment == 0)
        magnitude += 8;
    else
        magnitude = (magnitude + 0x108) << (segment - 1);
    return static_cast<std::int16_t>((a & 0x80) != 0 ? magnitude : -magnitude);
}

template <std::int16_t (*Expand)(std::uint8_t)>
constexpr std::array<std::int16_t, 256> MakeTable() {
    std::array<std::int16_t, 256> table{};
    for (int i = 0; i < 256; ++i) table[static_cast<std::size_t>(i)] = Expand(static_cast<std::uint8_t>(i));
    return table;
}

constexpr std::array<std::int16_t, 256> kMuLaw = MakeTable<ExpandMuLaw>();
constexpr std::array<std::int16_t, 256> kALaw = MakeTable<ExpandALaw>();

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

#if VORNIX_WITH_FFMPEG

// One libavcodec decoder, its packet and frame, and a padded copy of the input, all kept
// from payload to payload.
struct PayloadDecoder::Codec {
    ~Codec() { Close(); }

    bool Open(AVCodecID id, int sampleRate, int channels, int blockAlign) {
        codeclog::RouteOnce();
        Close();
        const AVCodec* codec = avcodec_find_decoder(id);
        if (codec == nullptr) return false;
        context = avcodec_alloc_context3(codec);
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (context == nullptr || packet == nullptr || frame == nullptr) return Fail();
        context->sample_rate = sampleRate;
        av_channel_layout_default(&context->ch_layout, channels);
        context->block_align = blockAlign;
        // Decoding runs on the feeding thread.
        context->thread_count = 1;
        if (avcodec_open2(context, codec, nullptr) < 0) return Fail();
        this->blockAlign = blockAlign;
        return true;
    }

    bool Fail() {
        Close();
        return false;
    }

    void Close() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }

    // Decodes one packet and appends its frames, channels mixed to one.
    void Decode(const std::uint8_t* data, std::size_t size, std::vector<std::int16_t>& out) {
        if (context == nullptr || size == 0 || size > static_cast<std::size_t>(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE)
            return;
        if (input.size() < size + AV_INPUT_BUFFER_PADDING_SIZE) input.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
        std::memcpy(input.data(), data, size);
        std::memset(input.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        packet->data = input.data();
        packet->size = static_cast<int>(size);
        // A damaged packet is refused and the next one decodes as usual.
        const int sent = avcodec_send_packet(context, packet);
        packet->data = nullptr;
        packet->size = 0;
        if (sent < 0) return;
        while (avcodec_receive_frame(context, frame) == 0) {
            AppendMono(out);
            av_frame_unref(frame);
        }
    }

    void AppendMono(std::vector<std::int16_t>& out) const {
        const int samples = frame->nb_samples;
        const int channels = frame->ch_layout.nb_channels;
        const auto format = static_cast<AVSampleFormat>(frame->format);
        const int bytes = av_get_bytes_per_sample(format);
        if (samples <= 0 || channels <= 0 || bytes <= 0 || frame->extended_data == nullptr) return;
        const bool planar = av_sample_fmt_is_planar(format) != 0;
        const AVSampleFormat packed = av_get_packed_sample_fmt(format);
        const std::size_t start = out.size();
        out.resize(start + static_cast<std::size_t>(samples));
        for (int i = 0; i < samples; ++i) {
            int sum = 0;
            for (int c = 0; c < channels; ++c) {
                const std::uint8_t* p =
                    planar ? frame->extended_data[c] + static_cast<std::size_t>(i) * bytes
                           : frame->extended_data[0] + (static_cast<std::size_t>(i) * channels + c) * bytes;
                sum += framepcm::ToS16(packed, p);
            }
            out[start + static_cast<std::size_t>(i)] = static_cast<std::int16_t>(sum / channels);
        }
    }

    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int blockAlign = 0;
    std::vector<std::uint8_t> input;
};

#else

// Without libavcodec no format needs a codec context.
struct PayloadDecoder::Codec {};

#endif

PayloadDecoder::Kind PayloadDecoder::KindOf(const PayloadFormat& format) {
    const std::string_view name = format.encoding;
    if (EqualNoCase(name, "PCMU")) return Kind::MuLaw;
    if (EqualNoCase(name, "PCMA")) return Kind::ALaw;
    if (EqualNoCase(name, "L16")) return Kind::Linear16;
#if VORNIX_WITH_FFMPEG
    if (EqualNoCase(name, "G722")) return Kind::G722;
    if (EqualNoCase(name, "GSM")) return Kind::Gsm;
    if (EqualNoCase(name, "G729")) return Kind::G729;
    if (EqualNoCase(name, "iLBC")) return Kind::Ilbc;
    if (EqualNoCase(name, "opus")) return Kind::Opus;
#endif
    return Kind::None;
}

PayloadDecoder::PayloadDecoder(const PayloadFormat& format)
    : m_format(format), m_kind(KindOf(format)), m_clockRate(format.clockRate),
      m_channels(std::clamp(format.channels, 1, kMaxLinearChannels)) {
    if (m_clockRate <= 0 || m_clockRate > kMaxClockRate) {
        m_kind = Kind::None;
        return;
    }
    switch (m_kind) {
    case Kind::MuLaw:
    case Kind::ALaw:
    case Kind::Linear16: m_audioRate = m_clockRate; break;
    case Kind::G722: m_audioRate = 16000; break;
    case Kind::Opus: m_audioRate = 48000; break;
    case Kind::Gsm:
    case Kind::G729:
    case Kind::Ilbc: m_audioRate = 8000; break;
    case Kind::None: break;
    }
    if (m_channels != 1 && m_kind != Kind::Linear16 && m_kind != Kind::Opus) m_channels = 1;
#if VORNIX_WITH_FFMPEG
    bool opened = true;
    m_codec = std::make_unique<Codec>();
    switch (m_kind) {
    case Kind::G722: opened = m_codec->Open(AV_CODEC_ID_ADPCM_G722, m_audioRate, 1, 0); break;
    case Kind::Gsm: opened = m_codec->Open(AV_CODEC_ID_GSM, m_audioRate, 1, kGsmFrameBytes); break;
    case Kind::G729: opened = m_codec->Open(AV_CODEC_ID_G729, m_audioRate, 1, 0); break;
    // iLBC's mode is fixed when its decoder opens: 20 ms until a payload says otherwise.
    case Kind::Ilbc: opened = m_codec->Open(AV_CODEC_ID_ILBC, m_audioRate, 1, kIlbc20msBytes); break;
    // Opus's RTP format always says two channels; a mono sender's packets decode the same.
    case Kind::Opus: opened = m_codec->Open(AV_CODEC_ID_OPUS, m_audioRate, m_channels == 1 ? 1 : 2, 0); break;
    default: m_codec.reset(); break;
    }
    if (!opened) {
        m_kind = Kind::None;
        m_audioRate = 0;
        m_codec.reset();
    }
#endif
}

PayloadDecoder::~PayloadDecoder() = default;

std::int16_t PayloadDecoder::MuLawToLinear(std::uint8_t code) { return kMuLaw[code]; }

std::int16_t PayloadDecoder::ALawToLinear(std::uint8_t code) { return kALaw[code]; }

void PayloadDecoder::Silence(std::size_t samples, std::vector<std::int16_t>& out) {
    out.resize(out.size() + samples, 0);
}

void PayloadDecoder::Decode(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out) {
    switch (m_kind) {
    case Kind::MuLaw:
        out.reserve(out.size() + payload.size());
        for (const std::uint8_t code : payload) out.push_back(kMuLaw[code]);
        break;
    case Kind::ALaw:
        out.reserve(out.size() + payload.size());
        for (const std::uint8_t code : payload) out.push_back(kALaw[code]);
        break;
    case Kind::Linear16: DecodeLinear16(payload, out); break;
    case Kind::G722:
    case Kind::Opus:
#if VORNIX_WITH_FFMPEG
        if (m_codec) m_codec->Decode(payload.data(), payload.size(), out);
#endif
        break;
    case Kind::Gsm: DecodeFrames(payload, out); break;
    case Kind::G729: DecodeG729(payload, out); break;
    case Kind::Ilbc: DecodeIlbc(payload, out); break;
    case Kind::None: break;
    }
}

// Network order, channels interleaved; a partial sample frame at the end is dropped.
void PayloadDecoder::DecodeLinear16(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out) const {
    const std::size_t frameBytes = static_cast<std::size_t>(m_channels) * 2;
    const std::size_t frames = payload.size() / frameBytes;
    out.reserve(out.size() + frames);
    for (std::size_t f = 0; f < frames; ++f) {
        int sum = 0;
        for (int c = 0; c < m_channels; ++c) {
            const std::size_t at = f * frameBytes + static_cast<std::size_t>(c) * 2;
            sum += static_cast<std::int16_t>(static_cast<std::uint16_t>(payload[at] << 8 | payload[at + 1]));
        }
        out.push_back(static_cast<std::int16_t>(sum / m_channels));
    }
}

// GSM: whole 33-byte frames, each its own packet; a partial frame at the end is dropped.
void PayloadDecoder::DecodeFrames(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out) {
#if VORNIX_WITH_FFMPEG
    for (std::size_t at = 0; at + kGsmFrameBytes <= payload.size(); at += kGsmFrameBytes)
        m_codec->Decode(payload.data() + at, kGsmFrameBytes, out);
#else
    (void)payload;
    (void)out;
#endif
}

// G.729: 10-byte speech frames, possibly followed by one 2-byte comfort-noise frame,
// which gives 10 ms of silence: the noise it describes is not worth decoding.
void PayloadDecoder::DecodeG729(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out) {
#if VORNIX_WITH_FFMPEG
    std::size_t at = 0;
    for (; at + kG729FrameBytes <= payload.size(); at += kG729FrameBytes)
        m_codec->Decode(payload.data() + at, kG729FrameBytes, out);
    if (payload.size() - at == kG729SidBytes) Silence(kG729FrameSamples, out);
#else
    (void)payload;
    (void)out;
#endif
}

// iLBC: 38-byte frames are the 20 ms mode, 50-byte ones the 30 ms mode. The decoder is
// reopened when a stream changes mode.
void PayloadDecoder::DecodeIlbc(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& out) {
#if VORNIX_WITH_FFMPEG
    std::size_t frame = 0;
    if (!payload.empty() && payload.size() % kIlbc20msBytes == 0)
        frame = kIlbc20msBytes;
    else if (!payload.empty() && payload.size() % kIlbc30msBytes == 0)
        frame = kIlbc30msBytes;
    if (frame == 0) return;
    if (m_codec->blockAlign != static_cast<int>(frame) &&
        !m_codec->Open(AV_CODEC_ID_ILBC, m_audioRate, 1, static_cast<int>(frame)))
        return;
    for (std::size_t at = 0; at + frame <= payload.size(); at += frame) m_codec->Decode(payload.data() + at, frame, out);
#else
    (void)payload;
    (void)out;
#endif
}
