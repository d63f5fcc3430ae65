#include "Spectrogram.h"

#include <algorithm>
#include <cmath>

namespace {

// 256 samples at 8 kHz: 32 ms, long enough to part the DTMF tones, short enough to show
// each key.
constexpr double kFrameSeconds = 256.0 / 8000.0;

}  // namespace

Spectrogram::Spectrogram(int sampleRate, std::int64_t first, std::int64_t count, int columns)
    : m_sampleRate(sampleRate), m_first(first), m_count(std::max<std::int64_t>(count, 1)), m_columns(std::max(columns, 1)) {
    const int size = CFFT::PowerOfTwo(static_cast<std::int32_t>(std::lround(kFrameSeconds * sampleRate)));
    m_fft.Reserve(size);
    m_fft.SetSize(size);
    m_fft.SetSampleRate(static_cast<float>(sampleRate));
    m_bins = size / 2 + 1;
    // A quarter frame apart, closer when a column is shorter than that.
    m_hop = static_cast<int>(std::clamp<std::int64_t>(m_count / m_columns, 1, size / 4));
    double sum = 0.0;
    for (int n = 0; n < size / 2; ++n) sum += 2.0 * CFFT::WindowWeight(CFFT::kHanning, n, size);
    m_windowGain = sum / size;
    m_frame.resize(static_cast<std::size_t>(size));
    m_spectrum.resize(static_cast<std::size_t>(m_bins));
    m_levels.assign(static_cast<std::size_t>(m_columns) * m_bins, kFloorDb);
    m_filled.assign(static_cast<std::size_t>(m_columns), false);
    m_nextCentre = m_first;
    m_heldFrom = m_first - size / 2;
}

void Spectrogram::Feed(std::span<const float> samples) {
    const std::int64_t begin = m_seen;
    m_seen += static_cast<std::int64_t>(samples.size());
    // Keep what the frames still to come read: from the next frame's start on, up to the
    // last frame's end.
    const std::int64_t keepFrom = std::max(begin, m_heldFrom + static_cast<std::int64_t>(m_held.size()));
    const std::int64_t keepTo = std::min(m_seen, m_first + m_count + FrameSize() / 2);
    // Samples before the recording's start are silence.
    while (m_heldFrom + static_cast<std::int64_t>(m_held.size()) < std::min<std::int64_t>(0, keepTo)) m_held.push_back(0.0f);
    for (std::int64_t i = keepFrom; i < keepTo; ++i)
        if (i >= m_heldFrom) m_held.push_back(samples[static_cast<std::size_t>(i - begin)]);
    Transform(false);
}

void Spectrogram::Finish() {
    Transform(true);
    int last = -1;
    for (int c = 0; c < m_columns; ++c) {
        if (m_filled[static_cast<std::size_t>(c)]) {
            last = c;
            continue;
        }
        int from = last;
        if (from < 0)
            for (int n = c + 1; n < m_columns && from < 0; ++n)
                if (m_filled[static_cast<std::size_t>(n)]) from = n;
        if (from < 0) continue;
        std::copy_n(m_levels.begin() + static_cast<std::ptrdiff_t>(from) * m_bins, m_bins,
                    m_levels.begin() + static_cast<std::ptrdiff_t>(c) * m_bins);
    }
}

std::span<const float> Spectrogram::Column(int column) const {
    return std::span(m_levels).subspan(static_cast<std::size_t>(column) * m_bins, static_cast<std::size_t>(m_bins));
}

void Spectrogram::Transform(bool ended) {
    const int half = FrameSize() / 2;
    const std::int64_t end = m_first + m_count;
    while (m_nextCentre < end) {
        const std::int64_t heldTo = m_heldFrom + static_cast<std::int64_t>(m_held.size());
        // Past the recording's end the frame reads silence.
        if (heldTo < m_nextCentre + half && !ended) break;
        TransformFrame(m_nextCentre);
        m_nextCentre += m_hop;
        // The samples before the next frame's start are no longer needed.
        const std::int64_t drop = std::clamp<std::int64_t>(m_nextCentre - half - m_heldFrom, 0, static_cast<std::int64_t>(m_held.size()));
        if (drop > 0) {
            m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(drop));
            m_heldFrom += drop;
        }
    }
}

void Spectrogram::TransformFrame(std::int64_t centre) {
    const int size = FrameSize();
    const std::int64_t start = centre - size / 2;
    for (int n = 0; n < size; ++n) {
        const std::int64_t i = start + n - m_heldFrom;
        const float x = i >= 0 && i < static_cast<std::int64_t>(m_held.size()) ? m_held[static_cast<std::size_t>(i)] : 0.0f;
        m_frame[static_cast<std::size_t>(n)] = {x, 0.0};
    }
    m_fft.ApplyWindow(m_frame.data(), CFFT::kHanning);
    m_fft.RealTransform(m_frame.data());
    m_fft.Magnitudes(m_frame.data(), m_spectrum.data());
    // Bins 0 and N/2 come signed; their level is that of their size.
    for (float& m : m_spectrum) m = static_cast<float>(std::fabs(m) / m_windowGain);
    m_fft.ToDecibels(m_spectrum.data());
    const int column = static_cast<int>(std::clamp<std::int64_t>((centre - m_first) * m_columns / m_count, 0, m_columns - 1));
    float* levels = m_levels.data() + static_cast<std::ptrdiff_t>(column) * m_bins;
    for (int k = 0; k < m_bins; ++k)
        levels[k] = std::max(levels[k], std::clamp(m_spectrum[static_cast<std::size_t>(k)], kFloorDb, kCeilingDb));
    m_filled[static_cast<std::size_t>(column)] = true;
}
