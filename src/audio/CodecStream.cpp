#include "audio/CodecStream.h"

#include "audio/CodecLog.h"
#include "audio/FramePcm.h"
#include "audio/MpegAudioProbe.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

namespace {

// Bounds on what a format record may claim before a decoder is opened for it.
constexpr int kMaxChannels = 64;
constexpr std::uint32_t kMaxSampleRate = 1'000'000;
// Plain sample codecs are cut into packets of this many frames: any cut gives the same
// samples, and the decoded frame stays small.
constexpr std::size_t kFramesPerSamplePacket = 4096;
// Send attempts refused as "output first" in a row before the decoder is given up on.
constexpr int kMaxStalls = 16;

// The base of the extensible record's sub-format identifier; its first two bytes are
// the plain format tag.
constexpr std::uint8_t kSubFormatBase[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::uint16_t kExtensiblePartSize = 22;

enum class PacketMode { Samples, Blocks, MpegFrames };

struct Resolved {
    AVCodecID id = AV_CODEC_ID_NONE;
    const AVCodec* codec = nullptr;
    const std::uint8_t* extra = nullptr;
    std::size_t extraSize = 0;
    PacketMode mode = PacketMode::Blocks;
    std::size_t unit = 0;
};

AVCodecID CodecForTag(std::uint16_t tag, std::uint16_t bits) {
    // The tag alone does not say the sample width of plain PCM and float.
    if (tag == WAVE_FORMAT_PCM) {
        switch (bits) {
        case 8: return AV_CODEC_ID_PCM_U8;
        case 16: return AV_CODEC_ID_PCM_S16LE;
        case 24: return AV_CODEC_ID_PCM_S24LE;
        case 32: return AV_CODEC_ID_PCM_S32LE;
        default: return AV_CODEC_ID_NONE;
        }
    }
    if (tag == WAVE_FORMAT_IEEE_FLOAT) {
        if (bits == 32) return AV_CODEC_ID_PCM_F32LE;
        if (bits == 64) return AV_CODEC_ID_PCM_F64LE;
        return AV_CODEC_ID_NONE;
    }
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    return av_codec_get_id(tables, tag);
}

bool IsMpegAudio(AVCodecID id) { return id == AV_CODEC_ID_MP1 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP3; }

// How the source is cut into packets: whole samples for plain sample codecs, whole
// frames found by their headers for MPEG audio (frames vary in length), one block per
// packet otherwise. Every cut depends only on the bytes, never on how they arrived, so
// the PCM does not either. A codec with no block size cannot be cut that way and is
// refused. (libavcodec's parsers are not used: some size a frame by the first byte of
// whatever piece they are handed, which makes the result depend on the cut.)
bool PlanPackets(const WAVEFORMATEX& source, Resolved& r) {
    const int exactBits = av_get_exact_bits_per_sample(r.id);
    if (exactBits >= 8 && exactBits % 8 == 0) {
        r.mode = PacketMode::Samples;
        r.unit = static_cast<std::size_t>(source.nChannels) * static_cast<std::size_t>(exactBits / 8);
        return true;
    }
    if (IsMpegAudio(r.id)) {
        r.mode = PacketMode::MpegFrames;
        r.unit = 1;
        return true;
    }
    r.mode = PacketMode::Blocks;
    r.unit = source.nBlockAlign;
    return r.unit > 0;
}

bool Resolve(const WAVEFORMATEX& source, Resolved& r) {
    if (source.nChannels < 1 || source.nChannels > kMaxChannels) return false;
    if (source.nSamplesPerSec < 1 || source.nSamplesPerSec > kMaxSampleRate) return false;
    std::uint16_t tag = source.wFormatTag;
    r.extra = reinterpret_cast<const std::uint8_t*>(&source) + kWaveFormatHeaderSize;
    r.extraSize = source.cbSize;
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        if (r.extraSize < kExtensiblePartSize || std::memcmp(r.extra + 8, kSubFormatBase, sizeof kSubFormatBase) != 0)
            return false;
        tag = static_cast<std::uint16_t>(r.extra[6] | r.extra[7] << 8);
        r.extra += kExtensiblePartSize;
        r.extraSize -= kExtensiblePartSize;
    }
    r.id = CodecForTag(tag, source.wBitsPerSample);
    if (r.id == AV_CODEC_ID_NONE) return false;
    r.codec = avcodec_find_decoder(r.id);
    if (r.codec == nullptr || r.codec->type != AVMEDIA_TYPE_AUDIO) return false;
    return PlanPackets(source, r);
}

}  // namespace

struct CodecStream::Impl {
    ~Impl() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }

    bool NextPacket(const std::uint8_t* source, std::size_t length, std::size_t& used);
    bool NextMpegFrame(const std::uint8_t* source, std::size_t length, std::size_t& used);
    bool SkipId3Tag(const std::uint8_t* source, std::size_t length, std::size_t& used);
    bool MakePacket(const std::uint8_t* data, std::size_t size);
    bool AppendFrame();
    void Drain(std::uint8_t* dest, std::size_t capacity, std::size_t& used);
    std::size_t PendingBytes() const { return pending.size() - pendingRead; }

    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    PacketMode mode = PacketMode::Blocks;
    std::size_t unit = 1;
    int outChannels = 1;
    bool packetHeld = false;
    std::vector<std::uint8_t> pending;
    std::size_t pendingRead = 0;
    bool streamStartSeen = false;   // MPEG audio: the start was checked for an ID3 tag
    std::uint64_t tagBytesLeft = 0; // MPEG audio: bytes of that tag still to skip
    bool firstFrameSeen = false;    // MPEG audio: the first frame was checked for an Info header
    std::uint64_t skipFrames = 0;   // sample frames of start-up delay still to drop
    std::uint64_t skipped = 0;
};

bool CodecStream::Impl::MakePacket(const std::uint8_t* data, std::size_t size) {
    av_packet_unref(packet);
    if (av_new_packet(packet, static_cast<int>(size)) < 0) return false;
    std::memcpy(packet->data, data, size);
    return true;
}

bool CodecStream::Impl::NextPacket(const std::uint8_t* source, std::size_t length, std::size_t& used) {
    if (mode == PacketMode::MpegFrames) return NextMpegFrame(source, length, used);
    const std::size_t left = length - used;
    std::size_t take = 0;
    if (mode == PacketMode::Samples)
        take = std::min(left / unit, kFramesPerSamplePacket) * unit;
    else
        take = left >= unit ? unit : 0;
    if (take == 0 || !MakePacket(source + used, take)) return false;
    used += take;
    return true;
}

// A tag at the very start of the stream is skipped whole: its bytes could otherwise
// hold false frame headers. False until it is known whether there is one and all of it
// has been passed.
bool CodecStream::Impl::SkipId3Tag(const std::uint8_t* source, std::size_t length, std::size_t& used) {
    if (!streamStartSeen) {
        const std::size_t left = length - used;
        const std::uint8_t* p = source + used;
        const bool mayBeTag = std::memcmp(p, "ID3", std::min<std::size_t>(left, 3)) == 0;
        if (mayBeTag && left < MpegAudioProbe::kId3HeaderSize) return false;
        streamStartSeen = true;
        tagBytesLeft = MpegAudioProbe::Id3TagSize(p, left);
    }
    const std::size_t skip = static_cast<std::size_t>(std::min<std::uint64_t>(tagBytesLeft, length - used));
    used += skip;
    tagBytesLeft -= skip;
    return tagBytesLeft == 0;
}

// The next whole frame: bytes that do not start a valid header are dropped one by one;
// a frame still incomplete waits in the source for more input. A first frame that holds
// the stream's Xing/Info header carries no audio and is not decoded (its silence would
// put every event a frame late); when the encoder's tag in it gives the delay the
// encoder put in front of the audio, that delay and the decoder's own are dropped from
// the decoded samples, so positions fall where the audio is.
bool CodecStream::Impl::NextMpegFrame(const std::uint8_t* source, std::size_t length, std::size_t& used) {
    if (!SkipId3Tag(source, length, used)) return false;
    while (length - used >= 4) {
        MpegAudioProbe::FrameHeader header;
        if (!MpegAudioProbe::DecodeHeader(source + used, header) || header.frameBytes <= 4) {
            ++used;
            continue;
        }
        const auto frame = static_cast<std::size_t>(header.frameBytes);
        if (length - used < frame) return false;
        if (!firstFrameSeen) {
            firstFrameSeen = true;
            MpegAudioProbe::XingHeader xing;
            if (MpegAudioProbe::ReadXing(source + used, frame, header, xing)) {
                if (xing.encoderDelayKnown)
                    skipFrames = static_cast<std::uint64_t>(xing.encoderDelay) + MpegAudioProbe::kDecoderDelay;
                used += frame;
                continue;
            }
        }
        if (!MakePacket(source + used, frame)) return false;
        used += frame;
        return true;
    }
    return false;
}

bool CodecStream::Impl::AppendFrame() { return framepcm::AppendS16(*frame, outChannels, skipFrames, pending); }

void CodecStream::Impl::Drain(std::uint8_t* dest, std::size_t capacity, std::size_t& used) {
    const std::size_t n = std::min(PendingBytes(), capacity - used);
    if (n > 0) std::memcpy(dest + used, pending.data() + pendingRead, n);
    used += n;
    pendingRead += n;
    if (pendingRead == pending.size()) {
        pending.clear();
        pendingRead = 0;
    }
}

bool CodecStream::CanDecode(const WAVEFORMATEX& source) {
    Resolved r;
    return Resolve(source, r);
}

const char* CodecStream::LibraryName(std::uint16_t formatTag) {
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    const AVCodecID id = av_codec_get_id(tables, formatTag);
    if (id == AV_CODEC_ID_NONE || avcodec_find_decoder(id) == nullptr) return nullptr;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    return descriptor ? descriptor->long_name : nullptr;
}

int CodecStream::Open(const WAVEFORMATEX& source, std::unique_ptr<CodecStream>& stream) {
    codeclog::RouteOnce();
    stream.reset();
    Resolved r;
    if (!Resolve(source, r)) return acm::kNotPossible;
    auto impl = std::make_unique<Impl>();
    impl->context = avcodec_alloc_context3(r.codec);
    impl->packet = av_packet_alloc();
    impl->frame = av_frame_alloc();
    if (!impl->context || !impl->packet || !impl->frame) return acm::kNoMemory;
    AVCodecContext* c = impl->context;
    c->sample_rate = static_cast<int>(source.nSamplesPerSec);
    av_channel_layout_default(&c->ch_layout, source.nChannels);
    c->block_align = source.nBlockAlign;
    c->bit_rate = static_cast<std::int64_t>(source.nAvgBytesPerSec) * 8;
    c->bits_per_coded_sample = source.wBitsPerSample;
    c->codec_tag = source.wFormatTag;
    // The library starts no threads of its own: decoding runs on the feeding thread.
    c->thread_count = 1;
    if (r.extraSize > 0) {
        c->extradata = static_cast<std::uint8_t*>(av_mallocz(r.extraSize + AV_INPUT_BUFFER_PADDING_SIZE));
        if (c->extradata == nullptr) return acm::kNoMemory;
        std::memcpy(c->extradata, r.extra, r.extraSize);
        c->extradata_size = static_cast<int>(r.extraSize);
    }
    if (avcodec_open2(c, r.codec, nullptr) < 0) return acm::kNotPossible;
    impl->mode = r.mode;
    impl->unit = r.unit;
    impl->outChannels = source.nChannels;
    stream.reset(new CodecStream(std::move(impl)));
    return acm::kOk;
}

CodecStream::CodecStream(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

CodecStream::~CodecStream() = default;

int CodecStream::Convert(const std::uint8_t* source, std::size_t srcLength, std::size_t& srcUsed,
                         std::uint8_t* dest, std::size_t destCapacity, std::size_t& destUsed, bool& needsInput) {
    Impl& s = *m_impl;
    srcUsed = 0;
    destUsed = 0;
    needsInput = false;
    int stalls = 0;
    for (;;) {
        s.Drain(dest, destCapacity, destUsed);
        if (s.PendingBytes() > 0) return acm::kOk;
        const int received = avcodec_receive_frame(s.context, s.frame);
        if (received == 0) {
            const bool appended = s.AppendFrame();
            av_frame_unref(s.frame);
            if (!appended) return acm::kError;
            continue;
        }
        if (received == AVERROR(ENOMEM)) return acm::kNoMemory;
        // A packet that fails to decode is skipped: the stream goes on with the next.
        if (received != AVERROR(EAGAIN) && received != AVERROR_EOF) ++s.skipped;
        if (!s.packetHeld) {
            if (!s.NextPacket(source, srcLength, srcUsed)) {
                needsInput = true;
                return acm::kOk;
            }
            s.packetHeld = true;
        }
        const int sent = avcodec_send_packet(s.context, s.packet);
        if (sent == AVERROR(EAGAIN)) {
            if (++stalls > kMaxStalls) return acm::kError;
            continue;
        }
        s.packetHeld = false;
        stalls = 0;
        if (sent == AVERROR(ENOMEM)) return acm::kNoMemory;
        if (sent < 0) ++s.skipped;
    }
}

std::size_t CodecStream::OutputFrameBytes() const { return static_cast<std::size_t>(m_impl->outChannels) * 2; }

std::size_t CodecStream::SourceUnit() const { return m_impl->unit; }

std::uint64_t CodecStream::SkippedPackets() const { return m_impl->skipped; }
