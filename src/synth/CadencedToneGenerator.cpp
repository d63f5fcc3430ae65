#include "synth/CadencedToneGenerator.h"

#include <cmath>

#include "synth/SignalTimeline.h"

bool CadencedToneGenerator::OptionsValid(int sampleRate) const {
    const Options& o = m_options;
    const auto duration = [](double ms) { return std::isfinite(ms) && ms >= 0.0; };
    if (!duration(o.onMs) || !duration(o.offMs) || !duration(o.leadMs) || o.count < 1) return false;
    if (o.frequenciesHz.empty() || o.frequenciesHz.size() > kMaxFrequencies) return false;
    if (!o.levelsDbfs.empty() && o.levelsDbfs.size() != o.frequenciesHz.size()) return false;
    if (!std::isfinite(o.levelDbfs) || !std::isfinite(o.frequencyOffsetPercent) ||
        !(o.frequencyOffsetPercent > -100.0))
        return false;
    for (double level : o.levelsDbfs)
        if (!std::isfinite(level)) return false;
    const double scale = 1.0 + o.frequencyOffsetPercent / 100.0;
    for (double hz : o.frequenciesHz)
        if (!(hz > 0.0) || !(hz * scale < sampleRate / 2.0)) return false;
    return true;
}

std::size_t CadencedToneGenerator::SampleCount(int sampleRate) const {
    const SignalTimeline scale(sampleRate);
    const std::size_t cycle = scale.SamplesForMs(m_options.onMs) + scale.SamplesForMs(m_options.offMs);
    return scale.SamplesForMs(m_options.leadMs) + cycle * static_cast<std::size_t>(m_options.count);
}

HRESULT CadencedToneGenerator::Append(SignalTimeline& timeline) const {
    if (!OptionsValid(timeline.SampleRate())) return E_INVALIDARG;
    const Options& o = m_options;
    const double scale = 1.0 + o.frequencyOffsetPercent / 100.0;
    std::vector<SignalTimeline::Tone> tones;
    for (std::size_t i = 0; i < o.frequenciesHz.size(); ++i)
        tones.push_back({o.frequenciesHz[i] * scale, o.levelsDbfs.empty() ? o.levelDbfs : o.levelsDbfs[i], 0.0});

    timeline.Reserve(timeline.Size() + SampleCount(timeline.SampleRate()));
    timeline.AppendSilence(timeline.SamplesForMs(o.leadMs));
    // Every cycle is the same samples: build the first, then repeat a copy of it (a copy,
    // because appending may move the timeline's own storage).
    const std::size_t first = timeline.Size();
    timeline.AppendTones(tones, timeline.SamplesForMs(o.onMs));
    timeline.AppendSilence(timeline.SamplesForMs(o.offMs));
    const std::vector<float> cycle(timeline.Samples().begin() + static_cast<std::ptrdiff_t>(first),
                                   timeline.Samples().end());
    for (int i = 1; i < o.count; ++i) timeline.AppendSamples(cycle);
    return S_OK;
}
