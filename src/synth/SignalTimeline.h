#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// A mono test signal under construction: float samples at one sample rate, built by
// appending segments (tones, sweeps, silence, samples) and by overlaying noise. Every
// generator of test signals writes into one of these; PcmRenderer turns it into bytes.
//
// Levels are in dBFS: a sine whose peak is 1.0 (full scale) is 0 dBFS, so a tone at L dBFS
// has the peak amplitude 10^(L/20). Noise levels use the same scale by power: noise at
// L dBFS carries the power of a sine at L dBFS (RMS 10^(L/20)/sqrt 2).
//
// Lengths are whole samples. Every segment starts its own phase at sample 0 of the
// segment, so a segment sounds the same wherever it is placed; the phase is computed from
// the sample index rather than accumulated, so long segments do not drift.
class SignalTimeline {
public:
    // One sinusoid of a tone segment.
    struct Tone {
        double frequencyHz = 0.0;
        double levelDbfs = 0.0;
        double phaseRadians = 0.0;  // phase at the segment's first sample (0: starts as a sine)
    };

    // The sample rate must be at least 1.
    explicit SignalTimeline(int sampleRate);

    int SampleRate() const { return m_sampleRate; }
    std::size_t Size() const { return m_samples.size(); }
    std::span<const float> Samples() const { return m_samples; }
    std::span<float> MutableSamples() { return m_samples; }

    // Milliseconds to whole samples at this rate, rounded to nearest (halves away from
    // zero); negative durations give 0. At 8000 Hz every multiple of 0.125 ms is exact.
    std::size_t SamplesForMs(double ms) const;

    // Reserves room for a signal of known length, so long signals grow without copying.
    void Reserve(std::size_t samples) { m_samples.reserve(samples); }

    void AppendSilence(std::size_t samples);
    // The sum of the given sinusoids for the given number of samples.
    void AppendTones(std::span<const Tone> tones, std::size_t samples);
    void AppendTone(double frequencyHz, double levelDbfs, std::size_t samples);
    // A sine whose frequency moves linearly from startHz to endHz over the segment, with a
    // continuous phase.
    void AppendSweep(double startHz, double endHz, double levelDbfs, std::size_t samples);
    void AppendSamples(std::span<const float> samples);

    // Adds white Gaussian noise at levelDbfs to count samples from start (clipped to the
    // signal's end). The same seed always gives the same noise.
    void AddNoise(double levelDbfs, std::uint64_t seed, std::size_t start, std::size_t count);
    // Adds noise to the whole signal.
    void AddNoise(double levelDbfs, std::uint64_t seed);

    // Peak amplitude of a sinusoid at levelDbfs.
    static double Amplitude(double levelDbfs);

private:
    float* Grow(std::size_t samples);

    int m_sampleRate;
    std::vector<float> m_samples;
};
