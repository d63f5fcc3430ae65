#include "RecordingReader.h"

#include <algorithm>
#include <cstring>

#include "audio/CACMBuffer.h"
#include "audio/CBuffer.h"
#include "audio/CSoundFile.h"
#include "audio/WaveFormat.h"

namespace {

// Formats the decoder takes as they are; every other one goes through the codec layer.
bool IsDirectPcm(const WAVEFORMATEX& format) {
    return format.wFormatTag == WAVE_FORMAT_PCM ||
           (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 32);
}

// A read never exceeds this, however large a byte rate a header claims.
constexpr std::uint32_t kLargestRead = 1u << 20;

float Sample(const std::uint8_t* p, int bytes, bool isFloat) {
    switch (bytes) {
        case 1: return (static_cast<int>(p[0]) - 128) / 128.0f;
        case 2: return static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0f;
        case 3: {
            const std::int32_t v = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                                             static_cast<std::uint32_t>(p[1]) << 16 |
                                                             static_cast<std::uint32_t>(p[2]) << 24);
            return static_cast<float>(v / 2147483648.0);
        }
        default: {
            std::uint32_t u = 0;
            std::memcpy(&u, p, 4);
            if (isFloat) {
                float f = 0.0f;
                std::memcpy(&f, &u, 4);
                return f;
            }
            return static_cast<float>(static_cast<std::int32_t>(u) / 2147483648.0);
        }
    }
}

}  // namespace

RecordingReader::RecordingReader(const std::string& path, const WAVEFORMATEX& rawFormat, bool right)
    : m_path(path), m_right(right), m_formatBuffer(std::make_unique<std::uint8_t[]>(g_dwmax_format_size)) {
    Open(rawFormat);
}

RecordingReader::~RecordingReader() = default;

void RecordingReader::Open(const WAVEFORMATEX& rawFormat) {
    std::memset(m_formatBuffer.get(), 0, g_dwmax_format_size);
    auto* format = reinterpret_cast<WAVEFORMATEX*>(m_formatBuffer.get());
    m_file = std::make_unique<CSoundFile>(m_path.c_str(), format, g_dwmax_format_size);
    if (!m_file->IsOK()) {
        m_error = m_file->GetLastErrorText();
        return;
    }
    if (m_file->GetFileKind() == CSoundFile::kKindRawPcm)
        std::memcpy(m_formatBuffer.get(), &rawFormat, std::min(WaveFormatSize(rawFormat), g_dwmax_format_size));
    if (format->nBlockAlign == 0 || format->nChannels == 0) {
        m_error = "The file's format has no sample frames.";
        return;
    }
    const WAVEFORMATEX* decoded = format;
    if (!IsDirectPcm(*format)) {
        m_conversion = std::make_unique<CACMBuffer>();
        m_conversion->SetSrcFmt(format);
        WAVEFORMATEX* suggested = nullptr;
        if (m_conversion->GetSuggestFormat(&suggested) != 0 || suggested == nullptr ||
            m_conversion->SetDstFmt(suggested) != 0) {
            m_error = "Format unsupported.";
            return;
        }
        decoded = suggested;
    }
    if (decoded->wBitsPerSample < 8 || decoded->wBitsPerSample > 32 || decoded->wBitsPerSample % 8 != 0) {
        m_error = "Format unsupported: " + std::to_string(decoded->wBitsPerSample) + " bits per sample.";
        return;
    }
    if (decoded->nSamplesPerSec < 1 || decoded->nSamplesPerSec > kMaxSampleRate) {
        m_error = "Sample rate " + std::to_string(decoded->nSamplesPerSec) + " Hz is outside 1 to " +
                  std::to_string(kMaxSampleRate) + " Hz.";
        return;
    }
    m_sampleRate = static_cast<int>(decoded->nSamplesPerSec);
    m_channels = decoded->nChannels;
    m_bytesPerSample = decoded->wBitsPerSample / 8;
    m_float = decoded->wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
    // About a tenth of a second of whole blocks of the file per read.
    const std::uint32_t tenth = std::min(format->nAvgBytesPerSec / 10, kLargestRead);
    const std::uint32_t chunk = std::max<std::uint32_t>(tenth / format->nBlockAlign * format->nBlockAlign, format->nBlockAlign);
    m_buffer = std::make_unique<CBuffer>(chunk);
    if (m_buffer->Capacity() == 0) m_error = "Out of memory!";
}

bool RecordingReader::Read(std::vector<float>& samples) {
    samples.clear();
    if (!IsOK()) return false;
    while (samples.empty()) {
        if (!m_file->Read(*m_buffer)) return false;
        if (!m_conversion) {
            Take(m_buffer->Data(), m_buffer->Length(), samples);
            continue;
        }
        m_conversion->PrepareHeader(static_cast<std::int32_t>(m_buffer->Length()), 0);
        if (m_conversion->ProcessInput(m_buffer->Data(), static_cast<std::int32_t>(m_buffer->Length())) != 0) {
            m_error = "Converting the file's format failed.";
            return false;
        }
        const std::uint8_t* pcm = nullptr;
        std::int32_t length = 0;
        int r = 0;
        while ((r = m_conversion->ProcessOutput(&pcm, &length)) == 0) Take(pcm, static_cast<std::size_t>(length), samples);
        if (r == -1) {
            m_error = "Converting the file's format failed.";
            return false;
        }
    }
    return true;
}

void RecordingReader::Take(const std::uint8_t* bytes, std::size_t length, std::vector<float>& samples) {
    const std::size_t frame = static_cast<std::size_t>(m_channels) * static_cast<std::size_t>(m_bytesPerSample);
    const std::size_t offset = static_cast<std::size_t>(m_right && m_channels > 1 ? 1 : 0) * m_bytesPerSample;
    // A frame cut between two chunks is completed from the next one.
    if (!m_partFrame.empty()) {
        const std::size_t need = std::min(frame - m_partFrame.size(), length);
        m_partFrame.insert(m_partFrame.end(), bytes, bytes + need);
        bytes += need;
        length -= need;
        if (m_partFrame.size() < frame) return;
        samples.push_back(Sample(m_partFrame.data() + offset, m_bytesPerSample, m_float));
        m_partFrame.clear();
    }
    const std::size_t frames = length / frame;
    for (std::size_t i = 0; i < frames; ++i) samples.push_back(Sample(bytes + i * frame + offset, m_bytesPerSample, m_float));
    m_partFrame.assign(bytes + frames * frame, bytes + length);
}

std::optional<ChannelLevels> RecordingReader::StereoLevels(const std::string& path, const WAVEFORMATEX& rawFormat,
                                                          int chosen) {
    RecordingReader left(path, rawFormat, false), right(path, rawFormat, true);
    if (!left.IsOK() || !right.IsOK()) return std::nullopt;
    ChannelLevels levels(static_cast<std::uint32_t>(left.SampleRate()));
    std::vector<float> samples;
    bool moreLeft = true, moreRight = true;
    while ((moreLeft || moreRight) && levels.Silent(chosen)) {
        if (moreLeft && (moreLeft = left.Read(samples))) levels.Add(0, samples);
        if (moreRight && (moreRight = right.Read(samples))) levels.Add(1, samples);
    }
    return levels;
}
