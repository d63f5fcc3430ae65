#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class ContainerReader;

// What standard input (or any stream) holds, told from its first bytes: a RIFF wave,
// whose header gives the format; a container the container reader recognises (FLAC,
// Ogg, MP3, RF64, ...), decoded to 16-bit PCM here; or, when it is neither, headerless
// PCM in the command's raw format. Reads never wait for more than the stream has sent:
// a raw stream is told apart within its first few kilobytes.
class StdinSource {
public:
    enum class Kind { Raw, Wave, Container };

    explicit StdinSource(int fd);
    ~StdinSource();
    StdinSource(const StdinSource&) = delete;
    StdinSource& operator=(const StdinSource&) = delete;

    // Reads the stream's first bytes and says what they are. Throws VornixException
    // (with the library's wording) for a wave header that cannot be read, a container
    // whose audio cannot be decoded, or a stream that could not be read.
    Kind Probe();

    // The wave format record of what is handed on: the wave header's, or 16-bit PCM at
    // the container's rate and channels. Empty for raw PCM.
    const std::vector<std::uint8_t>& Format() const { return m_format; }
    // Raw and wave: the audio bytes read while probing, to be handed over before what
    // the stream still holds.
    std::span<const std::uint8_t> Audio() const;
    // Container: the next decoded PCM (whole frames) as soon as it is decoded; empty at
    // the end of the audio. The bytes stay valid until the next call.
    std::span<std::uint8_t> Read();
    // Why reading the stream failed; empty when it did not.
    const std::string& Error() const { return m_error; }
    // For the debug output: "RIFF wave", "container 'flac', codec '...'", "raw PCM".
    const std::string& Description() const { return m_description; }

private:
    class StreamInput;

    // Reads until count bytes are buffered from the read position; false at the end.
    bool Need(std::size_t count);
    void ParseWave();

    std::vector<std::uint8_t> m_bytes;  // everything read while probing
    std::size_t m_at = 0;               // where the audio (or the next header) starts in it
    std::vector<std::uint8_t> m_format;
    std::string m_error;
    std::string m_description;
    std::unique_ptr<StreamInput> m_input;
    std::unique_ptr<ContainerReader> m_container;
    std::vector<std::uint8_t> m_pcm;
};
