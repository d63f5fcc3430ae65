#include "audio/ContainerReader.h"

#include <algorithm>
#include <cstring>

#include "audio/CodecLog.h"
#include "audio/FramePcm.h"
#include "audio/MpegAudioProbe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace {

// Bounds on what a stream may claim before it is decoded.
constexpr int kMaxChannels = 64;
constexpr int kMaxSampleRate = 1'000'000;
// The buffer libavformat reads the input through.
constexpr int kIoBufferSize = 64 * 1024;
// Layer I and II streams start this many samples late: the delay of the encoder's
// analysis and the decoder's synthesis filter banks together (512 - 32 + 1), which the
// streams never declare.
constexpr std::uint64_t kSubbandDelay = 481;

// A big-endian RIFX file's samples are big-endian too; libavformat takes them for the
// little-endian samples a RIFF file holds.
AVCodecID BigEndianTwin(AVCodecID id) {
    switch (id) {
    case AV_CODEC_ID_PCM_S16LE: return AV_CODEC_ID_PCM_S16BE;
    case AV_CODEC_ID_PCM_S24LE: return AV_CODEC_ID_PCM_S24BE;
    case AV_CODEC_ID_PCM_S32LE: return AV_CODEC_ID_PCM_S32BE;
    case AV_CODEC_ID_PCM_F32LE: return AV_CODEC_ID_PCM_F32BE;
    case AV_CODEC_ID_PCM_F64LE: return AV_CODEC_ID_PCM_F64BE;
    default: return id;
    }
}

enum class Guess { Container, NeedMore, NotContainer };

// What the first bytes of a stream tell. A format must be sure of itself (a score above
// the one at which libavformat itself reads on): raw PCM makes a few formats answer
// with low scores, and taking them would decode noise.
Guess GuessFormat(const std::vector<std::uint8_t>& data, bool final, const AVInputFormat** found) {
    *found = nullptr;
    const std::size_t size = data.size();
    const bool mayBeTag = std::memcmp(data.data(), "ID3", std::min<std::size_t>(size, 3)) == 0;
    if (size < MpegAudioProbe::kId3HeaderSize && mayBeTag && !final) return Guess::NeedMore;
    const std::uint64_t tag = MpegAudioProbe::Id3TagSize(data.data(), size);
    if (tag > ContainerReader::kLargestTag) return Guess::NotContainer;
    if (tag + ContainerReader::kProbeStart > size && !final) return Guess::NeedMore;
    if (size == 0) return Guess::NotContainer;
    // libavformat's probes read up to a padding of zeros past the data.
    std::vector<std::uint8_t> padded(size + AVPROBE_PADDING_SIZE, 0);
    std::memcpy(padded.data(), data.data(), size);
    AVProbeData probe{};
    probe.filename = "";
    probe.buf = padded.data();
    probe.buf_size = static_cast<int>(std::min<std::size_t>(size, 0x7FFFFFFF - AVPROBE_PADDING_SIZE));
    int score = 0;
    const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
    if (format != nullptr && score > AVPROBE_SCORE_RETRY) {
        *found = format;
        return Guess::Container;
    }
    if (format != nullptr && score > 0 && !final && size - tag < ContainerReader::kProbeLimit) return Guess::NeedMore;
    return Guess::NotContainer;
}

// Reads until data holds target bytes; false when the input ended (or failed) first.
bool Fill(ContainerReader::Input& input, std::vector<std::uint8_t>& data, std::size_t target) {
    while (data.size() < target) {
        const std::size_t at = data.size();
        data.resize(target);
        const std::int64_t got = input.Read(data.data() + at, static_cast<std::int64_t>(target - at));
        data.resize(at + static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        if (got <= 0) return false;
    }
    return true;
}

const AVInputFormat* Recognise(ContainerReader::Input& input, std::vector<std::uint8_t>& start) {
    std::size_t target = std::max(ContainerReader::kProbeStart, start.size());
    for (;;) {
        const bool final = !Fill(input, start, target);
        const AVInputFormat* format = nullptr;
        const Guess guess = GuessFormat(start, final, &format);
        if (guess != Guess::NeedMore) return format;
        const std::uint64_t tag = MpegAudioProbe::Id3TagSize(start.data(), start.size());
        target = static_cast<std::size_t>(std::max<std::uint64_t>(target * 2, tag + ContainerReader::kProbeStart));
        target = static_cast<std::size_t>(std::min<std::uint64_t>(target, tag + ContainerReader::kProbeLimit));
    }
}

}  // namespace

struct ContainerReader::Impl {
    ~Impl() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&decoder);
        avformat_close_input(&container);
        if (io != nullptr) av_freep(&io->buffer);
        avio_context_free(&io);
    }

    static int ReadInput(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t SeekInput(void* opaque, std::int64_t offset, int whence);
    // Decodes until PCM is pending; false at the end of the audio.
    bool DecodeMore();

    Input* input = nullptr;
    std::vector<std::uint8_t> replay;  // a stream's bytes read while recognising it
    std::size_t replayAt = 0;
    std::int64_t position = 0;
    AVIOContext* io = nullptr;
    AVFormatContext* container = nullptr;
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int streamIndex = -1;
    int outChannels = 1;
    int rate = 0;
    bool shaped = false;  // the first frame has set the output's rate and channels
    bool draining = false;
    bool ended = false;
    // Start-up delay still to drop. libavcodec drops what the container declares itself;
    // this is what no container declares.
    std::uint64_t skipFrames = 0;
    std::vector<std::uint8_t> pending;
    std::size_t pendingRead = 0;
    std::uint64_t failed = 0;
    std::uint64_t delivered = 0;
};

int ContainerReader::Impl::ReadInput(void* opaque, std::uint8_t* buffer, int size) {
    Impl& s = *static_cast<Impl*>(opaque);
    if (size <= 0) return 0;
    if (s.replayAt < s.replay.size()) {
        const std::size_t n = std::min(s.replay.size() - s.replayAt, static_cast<std::size_t>(size));
        std::memcpy(buffer, s.replay.data() + s.replayAt, n);
        s.replayAt += n;
        return static_cast<int>(n);
    }
    const std::int64_t got = s.input->Read(buffer, size);
    if (got < 0) return AVERROR(EIO);
    if (got == 0) return AVERROR_EOF;
    s.position += got;
    return static_cast<int>(got);
}

std::int64_t ContainerReader::Impl::SeekInput(void* opaque, std::int64_t offset, int whence) {
    Impl& s = *static_cast<Impl*>(opaque);
    const std::int64_t size = s.input->Size();
    if ((whence & AVSEEK_SIZE) != 0) return size;
    whence &= ~AVSEEK_FORCE;
    std::int64_t target = -1;
    if (whence == SEEK_SET) target = offset;
    if (whence == SEEK_CUR) target = s.position + offset;
    if (whence == SEEK_END) target = size + offset;
    if (target < 0 || target > size) return AVERROR(EINVAL);
    const std::int64_t at = s.input->Seek(target);
    if (at < 0) return AVERROR(EIO);
    s.position = at;
    return at;
}

bool ContainerReader::Impl::DecodeMore() {
    while (!ended) {
        const int received = avcodec_receive_frame(decoder, frame);
        if (received == 0) {
            if (!shaped) {
                shaped = true;
                const int channels = frame->ch_layout.nb_channels;
                if (channels >= 1 && channels <= kMaxChannels) outChannels = channels;
                if (frame->sample_rate >= 1 && frame->sample_rate <= kMaxSampleRate) rate = frame->sample_rate;
            }
            const bool appended = framepcm::AppendS16(*frame, outChannels, skipFrames, pending);
            av_frame_unref(frame);
            if (!appended) ++failed;
            if (pending.size() > pendingRead) return true;
            continue;
        }
        if (received == AVERROR_EOF || received == AVERROR(ENOMEM) || draining) {
            ended = true;
            break;
        }
        // A frame that failed to decode is skipped like a packet that did.
        if (received != AVERROR(EAGAIN)) ++failed;
        const int read = av_read_frame(container, packet);
        if (read < 0) {
            // The end of the input, or damage libavformat cannot read past: what the
            // decoder holds is still handed out.
            draining = true;
            avcodec_send_packet(decoder, nullptr);
            continue;
        }
        if (packet->stream_index == streamIndex && avcodec_send_packet(decoder, packet) < 0) ++failed;
        av_packet_unref(packet);
    }
    return pending.size() > pendingRead;
}

ContainerReader::ContainerReader() = default;

ContainerReader::~ContainerReader() = default;

bool ContainerReader::RecogniseStream(Input& input, std::vector<std::uint8_t>& start) {
    return Recognise(input, start) != nullptr;
}

int ContainerReader::Open(Input& input) {
    codeclog::RouteOnce();
    m_impl.reset();
    auto impl = std::make_unique<Impl>();
    Impl& s = *impl;
    s.input = &input;
    const bool seekable = input.Size() >= 0;
    const AVInputFormat* format = Recognise(input, s.replay);
    if (format == nullptr) return kNotRecognised;
    const bool rifx = s.replay.size() >= 4 && std::memcmp(s.replay.data(), "RIFX", 4) == 0;
    s.position = static_cast<std::int64_t>(s.replay.size());
    if (seekable) {
        // A file is read again from its start; only a stream needs its first bytes kept.
        s.replay.clear();
        if (input.Seek(0) != 0) return kNotRecognised;
        s.position = 0;
    }

    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
    if (buffer == nullptr) return kNoMemory;
    s.io = avio_alloc_context(buffer, kIoBufferSize, 0, &s, &Impl::ReadInput, nullptr,
                              seekable ? &Impl::SeekInput : nullptr);
    if (s.io == nullptr) {
        av_free(buffer);
        return kNoMemory;
    }
    s.container = avformat_alloc_context();
    s.packet = av_packet_alloc();
    s.frame = av_frame_alloc();
    if (s.container == nullptr || s.packet == nullptr || s.frame == nullptr) return kNoMemory;
    s.container->pb = s.io;
    s.container->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&s.container, "", format, nullptr) < 0) return kUnsupported;
    if (avformat_find_stream_info(s.container, nullptr) < 0) return kUnsupported;
    const AVCodec* codec = nullptr;
    s.streamIndex = av_find_best_stream(s.container, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (s.streamIndex < 0 || codec == nullptr) return kUnsupported;
    for (unsigned i = 0; i < s.container->nb_streams; ++i)
        if (static_cast<int>(i) != s.streamIndex) s.container->streams[i]->discard = AVDISCARD_ALL;
    const AVStream* stream = s.container->streams[s.streamIndex];
    AVCodecParameters* parameters = stream->codecpar;
    if (rifx && BigEndianTwin(parameters->codec_id) != parameters->codec_id) {
        parameters->codec_id = BigEndianTwin(parameters->codec_id);
        codec = avcodec_find_decoder(parameters->codec_id);
        if (codec == nullptr) return kUnsupported;
    }
    if (parameters->codec_id == AV_CODEC_ID_MP1 || parameters->codec_id == AV_CODEC_ID_MP2) s.skipFrames = kSubbandDelay;
    if (parameters->ch_layout.nb_channels < 1 || parameters->ch_layout.nb_channels > kMaxChannels ||
        parameters->sample_rate < 1 || parameters->sample_rate > kMaxSampleRate)
        return kUnsupported;
    s.decoder = avcodec_alloc_context3(codec);
    if (s.decoder == nullptr) return kNoMemory;
    if (avcodec_parameters_to_context(s.decoder, parameters) < 0) return kUnsupported;
    s.decoder->pkt_timebase = stream->time_base;
    // The library starts no threads of its own: decoding runs on the reading thread.
    s.decoder->thread_count = 1;
    if (avcodec_open2(s.decoder, codec, nullptr) < 0) return kUnsupported;

    // The first decoded frame says what the decoder really produces (a stream may
    // carry a rate or a channel count its header does not show); later frames are
    // mapped onto it. A stream none of whose packets decodes keeps its header's shape
    // and delivers nothing.
    s.rate = parameters->sample_rate;
    s.outChannels = parameters->ch_layout.nb_channels;
    s.DecodeMore();
    m_format = WAVEFORMATEX{};
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nChannels = static_cast<std::uint16_t>(s.outChannels);
    m_format.nSamplesPerSec = static_cast<std::uint32_t>(s.rate);
    m_format.nBlockAlign = static_cast<std::uint16_t>(s.outChannels * 2);
    m_format.nAvgBytesPerSec = m_format.nSamplesPerSec * m_format.nBlockAlign;
    m_format.wBitsPerSample = 16;
    m_containerName = s.container->iformat->name ? s.container->iformat->name : "";
    m_codecName = codec->long_name ? codec->long_name : codec->name;
    m_impl = std::move(impl);
    return kOk;
}

std::size_t ContainerReader::Read(std::uint8_t* dest, std::size_t capacity) { return Hand(dest, capacity, true); }

std::size_t ContainerReader::ReadDecoded(std::uint8_t* dest, std::size_t capacity) {
    return Hand(dest, capacity, false);
}

std::size_t ContainerReader::Hand(std::uint8_t* dest, std::size_t capacity, bool fill) {
    if (!m_impl || dest == nullptr) return 0;
    Impl& s = *m_impl;
    const std::size_t frameBytes = static_cast<std::size_t>(s.outChannels) * 2;
    const std::size_t room = capacity / frameBytes * frameBytes;
    std::size_t used = 0;
    while (used < room && (fill || used == 0)) {
        if (s.pending.size() == s.pendingRead && !s.DecodeMore()) break;
        const std::size_t n = std::min(s.pending.size() - s.pendingRead, room - used);
        std::memcpy(dest + used, s.pending.data() + s.pendingRead, n);
        used += n;
        s.pendingRead += n;
        if (s.pendingRead == s.pending.size()) {
            s.pending.clear();
            s.pendingRead = 0;
        }
    }
    s.delivered += used / frameBytes;
    return used;
}

std::int64_t ContainerReader::InputPosition() const { return m_impl ? m_impl->position : 0; }

std::uint64_t ContainerReader::FailedPackets() const { return m_impl ? m_impl->failed : 0; }

std::uint64_t ContainerReader::FramesDelivered() const { return m_impl ? m_impl->delivered : 0; }
