#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ChannelLevels.h"

class CACMBuffer;
class CBuffer;
class CSoundFile;
struct WAVEFORMATEX;

// One channel of a recording as samples in [-1, 1), read a chunk at a time: a RIFF wave
// file, MPEG audio Layer III or headerless PCM, opened and converted the way the decoder
// opens and converts it (CSoundFile, then the codec layer for compressed formats), so
// sample n here is the sample that position n of an event names.
class RecordingReader {
public:
    // Rates the picture accepts: beyond this a frame's spectrum would need more bins
    // than the transform offers, and no telephone recording comes near it.
    static constexpr std::uint32_t kMaxSampleRate = 384000;

    // rawFormat: the format of a headerless file (the decoder's raw format). right: the
    // channel of stereo audio; a mono file has only the one.
    RecordingReader(const std::string& path, const WAVEFORMATEX& rawFormat, bool right);
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // False, with the reason in Error(), when the file cannot be read or converted.
    bool IsOK() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    int SampleRate() const { return m_sampleRate; }
    int Channels() const { return m_channels; }

    // The next samples in place of the vector's contents; false at the end or after a
    // failure (then Error() says why).
    bool Read(std::vector<float>& samples);

    // The levels of both channels of a stereo file, read until the chosen one (0 left,
    // 1 right) is heard: no need to read on then. Nothing when the file cannot be read.
    static std::optional<ChannelLevels> StereoLevels(const std::string& path, const WAVEFORMATEX& rawFormat,
                                                     int chosen);

private:
    void Open(const WAVEFORMATEX& rawFormat);
    // Appends the channel's samples of whole frames in bytes; a part frame waits for the
    // rest.
    void Take(const std::uint8_t* bytes, std::size_t length, std::vector<float>& samples);

    std::string m_path;
    bool m_right;
    std::unique_ptr<std::uint8_t[]> m_formatBuffer;
    std::unique_ptr<CSoundFile> m_file;
    std::unique_ptr<CACMBuffer> m_conversion;
    std::unique_ptr<CBuffer> m_buffer;
    std::string m_error;
    int m_sampleRate = 0;
    int m_channels = 0;
    int m_bytesPerSample = 0;
    bool m_float = false;
    std::vector<std::uint8_t> m_partFrame;
};
