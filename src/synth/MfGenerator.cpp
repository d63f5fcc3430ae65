#include "synth/MfGenerator.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "synth/SignalTimeline.h"

namespace {

// Words for the keys that have no digit, longest first so that "ST3P" is not read as
// "ST" followed by "3P".
struct Word {
    const char* text;
    char key;
};
constexpr Word kWords[] = {
    {"ST'''", 'C'}, {"ST''", 'B'}, {"ST3P", 'C'}, {"ST2P", 'B'},
    {"STP", 'A'},   {"ST'", 'A'},  {"KP", '*'},   {"ST", '#'},
};

bool StartsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return true;
}

}  // namespace

int MfGenerator::KeyIndex(char key) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
    if (upper == '\0') return -1;
    const char* found = std::strchr(kKeys, upper);
    return found ? static_cast<int>(found - kKeys) : -1;
}

bool MfGenerator::ParseKeys(std::string_view text, std::string& keys) {
    keys.clear();
    while (!text.empty()) {
        const Word* word = nullptr;
        for (const Word& w : kWords)
            if (StartsWithWord(text, w.text)) {
                word = &w;
                break;
            }
        if (word) {
            keys += word->key;
            text.remove_prefix(std::strlen(word->text));
            continue;
        }
        const int index = KeyIndex(text.front());
        if (index < 0) return false;
        keys += kKeys[index];
        text.remove_prefix(1);
    }
    return true;
}

bool MfGenerator::OptionsValid(int sampleRate) const {
    const Options& o = m_options;
    const auto duration = [](double ms) { return std::isfinite(ms) && ms >= 0.0; };
    if (!duration(o.toneMs) || !duration(o.kpToneMs) || !duration(o.gapMs) || !duration(o.leadMs))
        return false;
    if (!std::isfinite(o.levelDbfs) || !std::isfinite(o.frequencyOffsetPercent) ||
        !(o.frequencyOffsetPercent > -100.0))
        return false;
    // The highest tone must stay below half the rate, or it folds onto another.
    return kToneHz[5] * (1.0 + o.frequencyOffsetPercent / 100.0) < sampleRate / 2.0;
}

bool MfGenerator::KeyFrequencies(char key, double& lowHz, double& highHz) const {
    const int index = KeyIndex(key);
    if (index < 0) return false;
    const double scale = 1.0 + m_options.frequencyOffsetPercent / 100.0;
    lowHz = kToneHz[kPairs[index][0]] * scale;
    highHz = kToneHz[kPairs[index][1]] * scale;
    return true;
}

HRESULT MfGenerator::Append(SignalTimeline& timeline, std::string_view text) const {
    std::string keys;
    if (!ParseKeys(text, keys) || !OptionsValid(timeline.SampleRate())) return E_INVALIDARG;

    const Options& o = m_options;
    timeline.AppendSilence(timeline.SamplesForMs(o.leadMs));
    for (char key : keys) {
        double lowHz = 0.0;
        double highHz = 0.0;
        KeyFrequencies(key, lowHz, highHz);
        const SignalTimeline::Tone pair[2] = {{lowHz, o.levelDbfs, 0.0}, {highHz, o.levelDbfs, 0.0}};
        timeline.AppendTones(pair, timeline.SamplesForMs(key == '*' ? o.kpToneMs : o.toneMs));
        timeline.AppendSilence(timeline.SamplesForMs(o.gapMs));
    }
    return S_OK;
}
