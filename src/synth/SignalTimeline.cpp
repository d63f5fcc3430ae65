#include "synth/SignalTimeline.h"

#include <algorithm>
#include <cmath>

#include "synth/WhiteNoise.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

// Fraction of a cycle completed after n samples of frequency f at rate fs. Taken modulo
// one cycle before scaling to radians, so the sine's argument stays small however long
// the segment; for whole-hertz frequencies f·n is exact in double.
double CycleFraction(double frequencyHz, std::size_t n, double rate) {
    return std::fmod(frequencyHz * static_cast<double>(n), rate) / rate;
}

}  // namespace

SignalTimeline::SignalTimeline(int sampleRate) : m_sampleRate(sampleRate) {}

double SignalTimeline::Amplitude(double levelDbfs) {
    return std::pow(10.0, levelDbfs / 20.0);
}

std::size_t SignalTimeline::SamplesForMs(double ms) const {
    if (!(ms > 0.0) || m_sampleRate < 1) return 0;
    return static_cast<std::size_t>(std::llround(ms * m_sampleRate / 1000.0));
}

float* SignalTimeline::Grow(std::size_t samples) {
    const std::size_t start = m_samples.size();
    m_samples.resize(start + samples, 0.0f);
    return m_samples.data() + start;
}

void SignalTimeline::AppendSilence(std::size_t samples) {
    Grow(samples);
}

void SignalTimeline::AppendTones(std::span<const Tone> tones, std::size_t samples) {
    float* out = Grow(samples);
    const double rate = m_sampleRate;
    for (const Tone& tone : tones) {
        const double amplitude = Amplitude(tone.levelDbfs);
        for (std::size_t n = 0; n < samples; ++n) {
            const double phase =
                kTwoPi * CycleFraction(tone.frequencyHz, n, rate) + tone.phaseRadians;
            out[n] = static_cast<float>(out[n] + amplitude * std::sin(phase));
        }
    }
}

void SignalTimeline::AppendTone(double frequencyHz, double levelDbfs, std::size_t samples) {
    const Tone tone{frequencyHz, levelDbfs, 0.0};
    AppendTones({&tone, 1}, samples);
}

void SignalTimeline::AppendSweep(double startHz, double endHz, double levelDbfs,
                                 std::size_t samples) {
    float* out = Grow(samples);
    const double rate = m_sampleRate;
    const double amplitude = Amplitude(levelDbfs);
    // Instantaneous frequency startHz + slope·n; its running sum is the phase in cycles.
    const double slope = samples > 0 ? (endHz - startHz) / static_cast<double>(samples) : 0.0;
    for (std::size_t n = 0; n < samples; ++n) {
        const double t = static_cast<double>(n);
        const double cycles = (startHz * t + 0.5 * slope * t * t) / rate;
        out[n] = static_cast<float>(amplitude * std::sin(kTwoPi * (cycles - std::floor(cycles))));
    }
}

void SignalTimeline::AppendSamples(std::span<const float> samples) {
    std::copy(samples.begin(), samples.end(), Grow(samples.size()));
}

void SignalTimeline::AddNoise(double levelDbfs, std::uint64_t seed, std::size_t start,
                              std::size_t count) {
    if (start >= m_samples.size()) return;
    count = std::min(count, m_samples.size() - start);
    // Same power as a sine at this level: RMS = peak / sqrt 2.
    const double rms = Amplitude(levelDbfs) / std::sqrt(2.0);
    WhiteNoise noise(seed);
    float* out = m_samples.data() + start;
    for (std::size_t n = 0; n < count; ++n)
        out[n] = static_cast<float>(out[n] + rms * noise.NextGaussian());
}

void SignalTimeline::AddNoise(double levelDbfs, std::uint64_t seed) {
    AddNoise(levelDbfs, seed, 0, m_samples.size());
}
