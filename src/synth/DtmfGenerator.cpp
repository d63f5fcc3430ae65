#include "synth/DtmfGenerator.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "synth/SignalTimeline.h"

int DtmfGenerator::KeyIndex(char key) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
    if (upper == '\0') return -1;
    const char* found = std::strchr(kKeys, upper);
    return found ? static_cast<int>(found - kKeys) : -1;
}

bool DtmfGenerator::OptionsValid() const {
    const Options& o = m_options;
    const auto duration = [](double ms) { return std::isfinite(ms) && ms >= 0.0; };
    const auto offset = [](double percent) { return std::isfinite(percent) && percent > -100.0; };
    return duration(o.toneMs) && duration(o.gapMs) && duration(o.leadMs) &&
           std::isfinite(o.levelDbfs) && std::isfinite(o.twistDb) && offset(o.rowOffsetPercent) &&
           offset(o.colOffsetPercent);
}

bool DtmfGenerator::KeyFrequencies(char key, double& rowHz, double& colHz) const {
    const int index = KeyIndex(key);
    if (index < 0) return false;
    rowHz = kRowHz[index / 4] * (1.0 + m_options.rowOffsetPercent / 100.0);
    colHz = kColHz[index % 4] * (1.0 + m_options.colOffsetPercent / 100.0);
    return true;
}

void DtmfGenerator::AppendValidKey(SignalTimeline& timeline, int index) const {
    double rowHz = 0.0;
    double colHz = 0.0;
    KeyFrequencies(kKeys[index], rowHz, colHz);
    const SignalTimeline::Tone pair[2] = {
        {rowHz, m_options.levelDbfs, 0.0},
        {colHz, m_options.levelDbfs + m_options.twistDb, 0.0},
    };
    timeline.AppendTones(pair, timeline.SamplesForMs(m_options.toneMs));
    timeline.AppendSilence(timeline.SamplesForMs(m_options.gapMs));
}

HRESULT DtmfGenerator::AppendKey(SignalTimeline& timeline, char key) const {
    const int index = KeyIndex(key);
    if (index < 0 || !OptionsValid()) return E_INVALIDARG;
    AppendValidKey(timeline, index);
    return S_OK;
}

HRESULT DtmfGenerator::Append(SignalTimeline& timeline, std::string_view keys) const {
    // Check everything first, so a bad key leaves the timeline as it was.
    if (!OptionsValid()) return E_INVALIDARG;
    for (char key : keys)
        if (KeyIndex(key) < 0) return E_INVALIDARG;

    timeline.AppendSilence(timeline.SamplesForMs(m_options.leadMs));
    for (char key : keys) AppendValidKey(timeline, KeyIndex(key));
    return S_OK;
}
