#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/HResult.h"
#include "sample/CSampleEvent.h"
#include "tones/CFFT.h"

// Three jobs on one loud/quiet decision per block (the block's mean absolute difference
// against the stream's silence level):
// - spectrum conversion: loud samples are collected into frames of N samples; each full
//   frame (or, after three quiet blocks, a frame of more than N/4 samples padded with
//   zeros) becomes a spectrum in dB, announced by OnFrequencyData and read through
//   GetFreqDB and GetCenterFreqs while the announcement runs;
// - silence detection: OnSilenceStart after more than the minimum of quiet blocks,
//   OnSilenceEnd (with the duration) after more than half as many loud ones;
// - frequency detection: the loud blocks between two silences are collected into one
//   segment, and when the segment ends (a silence starts) or its buffer is full, the one
//   or two strongest peaks of its spectrum go out with OnFrequencyDetected.
//
// Every buffer is sized when the detector is configured; blocks never allocate.
class CDetectToneFreqs : public CSampleEvent {
public:
    // Best and second peak bins of a spectrum; 0 means none.
    struct Peaks {
        int best = 0;
        int second = 0;
    };

    CDetectToneFreqs();
    ~CDetectToneFreqs() override;

    // Restarts the detector: spectrum conversion with frames of PowerOfTwo(fftSize)
    // samples when fftSize >= 1 (else off), frequency and silence detection with segments
    // of at most PowerOfTwo(fs x maxTonesMs / 1000) samples when maxTonesMs >= 1 (else
    // off). E_FAIL without a stream, or from inside one of this detector's own callbacks
    // (changing nothing); E_OUTOFMEMORY when the buffers cannot be had.
    HRESULT SetParameters(std::int32_t fftSize, std::int32_t maxTonesDurationMs);

    // The settings written after SetParameters. Window types outside 0..5 are taken as
    // no window.
    void SetWindowType(std::int32_t type) { m_windowType = type; }
    void SetAmplitudeThreshold(float db) { m_amplitudeThreshold = db; }
    // Quiet blocks that start a silence; more than half as many loud ones end it.
    // (The lowest int32 is taken as one more, so that its negation stays in range.)
    void SetSilenceBlocks(std::int32_t blocks);
    std::int32_t SilenceBlocks() const { return m_silenceBlocks; }

    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff, double meanSquare) override;
    // The end of a run, after the last partial block: a frame of more than N/4 loud samples
    // becomes a last spectrum, and a sound still being collected is analysed up to the last
    // sample, as if a silence had followed.
    void EndOfStream();

    // The latest spectrum's strongest peaks above the amplitude threshold, lower first (in
    // Hz; the second 0.0 when there is one): 0. 1 when none is above the threshold, -1
    // when spectrum conversion is off.
    std::int32_t GetCenterFreqs(double* frequency, double* secondFreq) const;
    // The latest spectrum's level at a frequency in dB; -1.0 when spectrum conversion is
    // off or the frequency lies outside 0 to fs/2.
    double GetFreqDB(float frequency) const;
    // The latest spectrum, bins 0..N/2 in dB (bin k at k fs/N Hz); empty when spectrum
    // conversion is off. Before the first spectrum every bin is -600.
    std::span<const float> SpectrumDB() const;
    int FFTSize() const { return m_spectrumOn ? m_fft.Size() : 0; }
    int SegmentCapacity() const { return m_segmentCapacity; }

    // The peak search on a spectrum of size n (bins 0..n/2) with a threshold in dB.
    static Peaks FindPeaks(const float* spectrum, int n, float threshold);

    // A new spectrum is ready; read it during the call.
    virtual void OnFrequencyData() {}
    // The peaks of a segment: the lower frequency, the higher (-1.0 when there is one), the
    // segment's start position and its duration in ms.
    virtual void OnFrequencyDetected(double frequency, double secondFreq, std::int32_t starttime,
                                     std::int32_t duration) {
        (void)frequency, (void)secondFreq, (void)starttime, (void)duration;
    }
    virtual void OnSilenceEnd(std::int32_t endtime, std::int32_t duration) { (void)endtime, (void)duration; }
    virtual void OnSilenceStart(std::int32_t starttime) { (void)starttime; }

private:
    // Marks the detector as inside one of its own callbacks for the guard's lifetime.
    class CallbackScope;

    void Reset();
    void CollectFrame(const float* samples, int count, bool quiet);
    void ComputeSpectrum(int frameSamples);
    void TrackSilence(const float* samples, int count, bool quiet);
    void AppendToSegment(const float* samples, int count);
    void AnalyseSegment(std::int32_t start, std::int32_t end);
    std::int32_t DurationMs(std::int32_t from, std::int32_t to) const;

    std::int32_t m_windowType = CFFT::kNoWindow;
    std::int32_t m_segmentSamples = 0;
    std::int32_t m_silenceStart = -2;  // -2 before the first silence, -1 outside one
    std::int32_t m_silenceEnd = 0;
    std::int32_t m_levelRun = 0;  // > 0 loud blocks in a row, < 0 minus the quiet ones
    std::int32_t m_silenceBlocks = 8;
    std::uint32_t m_sampleTotal = 0;  // kept unsigned so that it wraps like a position
    float m_amplitudeThreshold = -25.0f;
    bool m_silenceDetection = false;
    bool m_spectrumOn = false;
    bool m_inCallback = false;

    // Spectrum conversion: frames of N samples, the latest spectrum, the transform's work array.
    CFFT m_fft;
    std::vector<float> m_spectrum;
    std::vector<float> m_frame;
    std::int32_t m_frameSamples = 0;
    std::int32_t m_quietRun = 0;
    std::vector<std::complex<double>> m_work;

    // Frequency detection: the samples of the sound being collected, each stored as a
    // complex value with no imaginary component (every entry zero between sounds), and the
    // spectrum of its analysis. The storage only grows; the capacity is the one of the last
    // configuration.
    CFFT m_segmentFft;
    std::vector<std::complex<double>> m_segment;
    std::int32_t m_segmentCapacity = 0;
    std::vector<float> m_segmentSpectrum;
};
