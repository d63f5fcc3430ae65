#include "tones/CDetectToneFreqs.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace {

constexpr float kNoLevelDb = -600.0f;

// A frame ends with this many quiet blocks in a row.
constexpr std::int32_t kQuietBlocksEndingFrame = 3;

// Peaks closer than this many bins to the best one never become the second.
constexpr int kPeakSeparationBins = 6;

}  // namespace

class CDetectToneFreqs::CallbackScope {
public:
    explicit CallbackScope(CDetectToneFreqs& detector) : m_detector(detector), m_outer(detector.m_inCallback) {
        detector.m_inCallback = true;
    }
    ~CallbackScope() { m_detector.m_inCallback = m_outer; }
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

private:
    CDetectToneFreqs& m_detector;
    bool m_outer;
};

CDetectToneFreqs::CDetectToneFreqs() { Reset(); }

void CDetectToneFreqs::SetSilenceBlocks(std::int32_t blocks) {
    m_silenceBlocks = std::max(blocks, std::numeric_limits<std::int32_t>::min() + 1);
}

CDetectToneFreqs::~CDetectToneFreqs() = default;

void CDetectToneFreqs::Reset() {
    m_amplitudeThreshold = -25.0f;
    m_silenceStart = -2;
    m_quietRun = 0;
    m_sampleTotal = 0;
    m_segmentSamples = 0;
    m_levelRun = 0;
    m_silenceEnd = 0;
    m_silenceBlocks = 8;
}

HRESULT CDetectToneFreqs::SetParameters(std::int32_t fftSize, std::int32_t maxTonesDurationMs) {
    // A handler reconfiguring from inside a spectrum or a detection would pull the frame
    // or the segment from under the block being processed.
    if (Sample() == nullptr || m_inCallback) return E_FAIL;
    Reset();
    const std::int32_t sampleRate = GetSampleRate();
    m_silenceBlocks = sampleRate / 1000;
    try {
        if (maxTonesDurationMs >= 1) {
            const double samples = static_cast<double>(sampleRate) * (maxTonesDurationMs * 0.001);
            const int capacity = CFFT::PowerOfTwo(samples >= std::numeric_limits<std::int32_t>::max()
                                                      ? std::numeric_limits<std::int32_t>::max()
                                                      : static_cast<std::int32_t>(samples));
            // Keep the larger storage but honour a shorter setting: the segment ends at
            // the capacity asked for now.
            if (static_cast<std::size_t>(capacity) > m_segment.size()) {
                m_segmentCapacity = 0;
                m_segment.clear();
                m_segment.shrink_to_fit();
                m_segment.resize(static_cast<std::size_t>(capacity));
                m_segmentSpectrum.assign(static_cast<std::size_t>(capacity / 2 + 1), 0.0f);
                m_segmentFft.Reserve(capacity);
            }
            std::fill(m_segment.begin(), m_segment.end(), std::complex<double>{});
            m_segmentCapacity = capacity;
            m_silenceDetection = true;
        } else {
            m_silenceDetection = false;
        }
        if (fftSize >= 1) {
            const int n = CFFT::PowerOfTwo(fftSize);
            m_spectrumOn = false;
            m_fft.Reserve(n);
            m_fft.SetSize(n);
            m_fft.SetSampleRate(static_cast<float>(sampleRate));
            m_spectrum.assign(static_cast<std::size_t>(n / 2 + 1), kNoLevelDb);
            m_frame.assign(static_cast<std::size_t>(n), 0.0f);
            m_work.assign(static_cast<std::size_t>(n), std::complex<double>{});
            m_frameSamples = 0;
            m_spectrumOn = true;
        } else {
            m_spectrumOn = false;
        }
    } catch (const std::bad_alloc&) {
        m_segmentCapacity = 0;
        m_silenceDetection = false;
        m_spectrumOn = false;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

std::int32_t CDetectToneFreqs::OnSampleData(const float* samples, int count, double meanAbsDiff, double) {
    const bool quiet = static_cast<double>(GetSilenceLevel()) > meanAbsDiff;
    if (m_spectrumOn) CollectFrame(samples, count, quiet);
    m_sampleTotal += static_cast<std::uint32_t>(count);
    if (m_silenceDetection && m_segmentCapacity > 0) TrackSilence(samples, count, quiet);
    return 0;
}

void CDetectToneFreqs::EndOfStream() {
    if (m_spectrumOn && m_frameSamples > m_fft.Size() / 4) ComputeSpectrum(m_frameSamples);
    m_frameSamples = 0;
    if (m_silenceDetection && m_silenceStart == -1 && m_segmentSamples > 0)
        AnalyseSegment(static_cast<std::int32_t>(m_sampleTotal - static_cast<std::uint32_t>(m_segmentSamples)),
                       static_cast<std::int32_t>(m_sampleTotal));
}

void CDetectToneFreqs::CollectFrame(const float* samples, int count, bool quiet) {
    const std::int32_t n = m_fft.Size();
    if (quiet) {
        ++m_quietRun;
        if (m_frameSamples >= 1 && m_quietRun >= kQuietBlocksEndingFrame) {
            if (m_frameSamples > n / 4) ComputeSpectrum(m_frameSamples);
            m_frameSamples = 0;
        }
        return;
    }
    m_quietRun = 0;
    while (count > 0 && m_spectrumOn) {
        const int take = std::min(count, n - m_frameSamples);
        std::copy_n(samples, take, m_frame.data() + m_frameSamples);
        m_frameSamples += take;
        samples += take;
        count -= take;
        if (m_frameSamples == n) {
            m_frameSamples = 0;
            ComputeSpectrum(n);
        }
    }
}

void CDetectToneFreqs::ComputeSpectrum(int frameSamples) {
    const int n = m_fft.Size();
    for (int i = 0; i < n; ++i)
        m_work[static_cast<std::size_t>(i)] = {i < frameSamples ? static_cast<double>(m_frame[static_cast<std::size_t>(i)]) : 0.0, 0.0};
    m_fft.ApplyWindow(m_work.data(), m_windowType);
    m_fft.RealTransform(m_work.data());
    m_fft.Magnitudes(m_work.data(), m_spectrum.data());
    m_fft.ToDecibels(m_spectrum.data());
    CallbackScope scope(*this);
    OnFrequencyData();
}

void CDetectToneFreqs::TrackSilence(const float* samples, int count, bool quiet) {
    const std::uint32_t total = m_sampleTotal;
    if (!quiet) {
        if (m_levelRun < 0) m_levelRun = 0;
        if (m_levelRun < std::numeric_limits<std::int32_t>::max()) ++m_levelRun;
        const std::int32_t half = m_silenceBlocks / 2;
        if (m_levelRun > half) {
            if (m_silenceStart > 0) {
                m_silenceEnd = static_cast<std::int32_t>(total - static_cast<std::uint32_t>(half) * static_cast<std::uint32_t>(count));
                const std::int32_t start = m_silenceStart;
                m_silenceStart = -1;
                CallbackScope scope(*this);
                OnSilenceEnd(m_silenceEnd, DurationMs(start, m_silenceEnd));
            }
            m_levelRun = 0;
        }
        if (m_silenceStart == -1) {
            AppendToSegment(samples, count);
            if (m_segmentSamples >= m_segmentCapacity)
                AnalyseSegment(static_cast<std::int32_t>(total - static_cast<std::uint32_t>(m_segmentSamples)),
                               static_cast<std::int32_t>(total));
        }
        return;
    }
    if (m_levelRun > 0) m_levelRun = 0;
    if (m_levelRun > std::numeric_limits<std::int32_t>::min()) --m_levelRun;
    if (m_levelRun < -m_silenceBlocks) {
        if (m_silenceStart < 0) {
            m_silenceStart = static_cast<std::int32_t>(
                total - static_cast<std::uint32_t>(m_silenceBlocks) * static_cast<std::uint32_t>(count));
            if (m_segmentSamples > 0)
                AnalyseSegment(static_cast<std::int32_t>(static_cast<std::uint32_t>(m_silenceStart) -
                                                         static_cast<std::uint32_t>(m_segmentSamples)),
                               m_silenceStart);
            CallbackScope scope(*this);
            OnSilenceStart(m_silenceStart);
        }
        m_levelRun = 0;
    }
}

void CDetectToneFreqs::AppendToSegment(const float* samples, int count) {
    const int take = std::min(count, m_segmentCapacity - m_segmentSamples);
    std::complex<double>* to = m_segment.data() + m_segmentSamples;
    for (int i = 0; i < take; ++i) to[i] = {static_cast<double>(samples[i]), 0.0};
    m_segmentSamples += std::max(take, 0);
}

void CDetectToneFreqs::AnalyseSegment(std::int32_t start, std::int32_t end) {
    const int n = CFFT::PowerOfTwo(m_segmentSamples);
    m_segmentFft.SetSize(n);
    m_segmentFft.SetSampleRate(static_cast<float>(GetSampleRate()));
    m_segmentFft.ApplyWindow(m_segment.data(), m_windowType);
    m_segmentFft.RealTransform(m_segment.data());
    m_segmentFft.Magnitudes(m_segment.data(), m_segmentSpectrum.data());
    m_segmentFft.ToDecibels(m_segmentSpectrum.data());

    // Every entry the analysis held or overwrote goes back to zero for the next segment.
    std::fill_n(m_segment.begin(), std::max(n, m_segmentSamples), std::complex<double>{});
    m_segmentSamples = 0;

    Peaks peaks = FindPeaks(m_segmentSpectrum.data(), n, m_amplitudeThreshold);
    if (peaks.best == 0) return;
    if (peaks.second != 0 && peaks.second < peaks.best) std::swap(peaks.best, peaks.second);
    const double first = m_segmentFft.BinFrequency(peaks.best);
    const double second = peaks.second != 0 ? m_segmentFft.BinFrequency(peaks.second) : -1.0;
    CallbackScope scope(*this);
    OnFrequencyDetected(first, second, start, DurationMs(start, end));
}

std::int32_t CDetectToneFreqs::DurationMs(std::int32_t from, std::int32_t to) const {
    const double ms = static_cast<std::int32_t>(static_cast<std::uint32_t>(to) - static_cast<std::uint32_t>(from)) /
                      (GetSampleRate() * 0.001);
    return static_cast<std::int32_t>(std::trunc(ms));
}

CDetectToneFreqs::Peaks CDetectToneFreqs::FindPeaks(const float* spectrum, int n, float threshold) {
    Peaks peaks;
    const int top = n / 2;
    if (top < 3) return peaks;
    const auto record = [&](int p) {
        if (peaks.best != 0 && spectrum[p] <= spectrum[peaks.best]) {
            if (p - peaks.best < kPeakSeparationBins) return;
            if (spectrum[p] > spectrum[peaks.second]) peaks.second = p;  // an empty second compares with bin 0
            return;
        }
        if (peaks.best != 0 && p - peaks.best >= kPeakSeparationBins) peaks.second = peaks.best;
        peaks.best = p;
    };
    int candidate = 0;
    for (int i = 2; i <= top - 1; ++i) {
        if (candidate == 0) {
            if (spectrum[i] > threshold) candidate = i;
        } else if (spectrum[i] > spectrum[candidate]) {
            candidate = i;  // still climbing
        } else {
            record(candidate);
            candidate = 0;
        }
    }
    return peaks;
}

std::int32_t CDetectToneFreqs::GetCenterFreqs(double* frequency, double* secondFreq) const {
    if (!m_spectrumOn) return -1;
    Peaks peaks = FindPeaks(m_spectrum.data(), m_fft.Size(), m_amplitudeThreshold);
    if (peaks.best == 0) return 1;
    if (peaks.second != 0 && peaks.second < peaks.best) std::swap(peaks.best, peaks.second);
    if (frequency != nullptr) *frequency = m_fft.BinFrequency(peaks.best);
    if (secondFreq != nullptr) *secondFreq = peaks.second != 0 ? m_fft.BinFrequency(peaks.second) : 0.0;
    return 0;
}

double CDetectToneFreqs::GetFreqDB(float frequency) const {
    if (!m_spectrumOn) return -1.0;
    return m_fft.InterpolatedDB(m_spectrum.data(), frequency);
}

std::span<const float> CDetectToneFreqs::SpectrumDB() const {
    if (!m_spectrumOn) return {};
    return m_spectrum;
}
