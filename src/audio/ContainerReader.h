#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"

// Audio in a container other than RIFF wave (FLAC, Ogg, MP4/M4A, CAF, AIFF, AU, Matroska
// and WebM, RF64, bare MPEG or AAC streams...), recognised by its content and decoded to
// interleaved 16-bit PCM at the stream's own rate and channel count: what a PCM wave
// file of the same audio would hold. The first audio stream is read. Start-up delays
// the container or the codec declares (encoder delay, pre-skip, edit lists) are
// dropped, so a sample's position is where the audio is.
//
// Built on libavformat; in a build without it nothing is decoded, and input that
// starts like a known container is refused as unsupported.
class ContainerReader {
public:
    // Where the bytes come from: a file (seekable, with a size) or a stream.
    class Input {
    public:
        virtual ~Input() = default;
        // Up to count bytes; 0 at the end, -1 on an error. A stream may return fewer
        // bytes than asked for whenever fewer have arrived.
        virtual std::int64_t Read(std::uint8_t* data, std::int64_t count) = 0;
        // New position from the start, or -1 when the input cannot seek.
        virtual std::int64_t Seek(std::int64_t position) = 0;
        // Total bytes of a file, or -1 for a stream (which cannot seek).
        virtual std::int64_t Size() const = 0;
    };

    static constexpr int kOk = 0;
    static constexpr int kNotRecognised = 1;  // no container this build knows
    static constexpr int kUnsupported = 2;    // a container, but no audio that can be decoded
    static constexpr int kNoMemory = 3;

    // Bounds on what is read before the content is known: probing starts with this many
    // bytes and doubles them while a format might match, up to the limit.
    static constexpr std::size_t kProbeStart = 2048;
    static constexpr std::size_t kProbeLimit = 1 << 20;
    // An ID3 tag in front of the audio is read past up to this size.
    static constexpr std::uint64_t kLargestTag = 16u << 20;

    // Reads the start of input, appending to start (which may hold the first bytes
    // already), until they tell whether a container this build knows is there; start
    // then holds every byte read. False when there is none (or input failed).
    static bool RecogniseStream(Input& input, std::vector<std::uint8_t>& start);

    ContainerReader();
    ContainerReader(const ContainerReader&) = delete;
    ContainerReader& operator=(const ContainerReader&) = delete;
    ~ContainerReader();

    // Recognises the input and opens a decoder for its first audio stream. The input
    // must outlive the reader. Returns one of the results above.
    int Open(Input& input);

    // 16-bit PCM at the stream's rate and channel count, valid after Open succeeded.
    const WAVEFORMATEX& Format() const { return m_format; }
    // Container and codec, for the debug output ("flac", "FLAC (Free Lossless Audio Codec)").
    const std::string& ContainerName() const { return m_containerName; }
    const std::string& CodecName() const { return m_codecName; }

    // Fills dest with the next PCM, whole sample frames only, at most capacity bytes;
    // returns the bytes written, 0 at the end of the audio.
    std::size_t Read(std::uint8_t* dest, std::size_t capacity);
    // The same, but hands out only what one decoded frame gives (or what is left of one)
    // rather than filling dest: a live stream's audio goes on as soon as it is decoded.
    std::size_t ReadDecoded(std::uint8_t* dest, std::size_t capacity);

    // Bytes of the input read so far (the file position), for progress.
    std::int64_t InputPosition() const;
    // Packets the codec could not decode, and sample frames handed out.
    std::uint64_t FailedPackets() const;
    std::uint64_t FramesDelivered() const;

private:
    std::size_t Hand(std::uint8_t* dest, std::size_t capacity, bool fill);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    WAVEFORMATEX m_format{};
    std::string m_containerName;
    std::string m_codecName;
};
