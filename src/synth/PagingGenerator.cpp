#include "synth/PagingGenerator.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "synth/SignalTimeline.h"

namespace {

constexpr const char* kTypeNames[PagingGenerator::kTypes] = {"EIA",   "CCIR",  "ZVEI1", "ZVEI2",
                                                             "ZVEI3", "PZVEI", "EEA"};
constexpr char kDigits[17] = "0123456789ABCDEF";

int TypeIndex(PagingGenerator::Type type) {
    const int index = static_cast<int>(type);
    return index >= 0 && index < PagingGenerator::kTypes ? index : -1;
}

}  // namespace

int PagingGenerator::DigitIndex(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(digit)));
    if (upper >= 'A' && upper <= 'F') return 10 + (upper - 'A');
    return -1;
}

const char* PagingGenerator::TypeName(Type type) {
    const int index = TypeIndex(type);
    return index < 0 ? "" : kTypeNames[index];
}

bool PagingGenerator::ParseType(std::string_view name, Type& type) {
    for (int i = 0; i < kTypes; ++i) {
        const std::string_view known = kTypeNames[i];
        if (name.size() == known.size() &&
            std::equal(name.begin(), name.end(), known.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == b;
            })) {
            type = static_cast<Type>(i);
            return true;
        }
    }
    return false;
}

double PagingGenerator::ToneMs() const {
    const int index = TypeIndex(m_options.type);
    if (m_options.toneMs) return *m_options.toneMs;
    return index < 0 ? 0.0 : kOnMs[index];
}

std::string PagingGenerator::SentDigits(std::string_view digits) const {
    std::string sent;
    int previous = -1;
    for (char digit : digits) {
        int index = DigitIndex(digit);
        if (index < 0) return {};
        // Compared with the tone sent, not the digit asked for: "111" is 1, E, 1.
        if (m_options.repeatTone && index == previous) index = kRepeatDigit;
        sent += kDigits[index];
        previous = index;
    }
    return sent;
}

bool PagingGenerator::OptionsValid(int sampleRate) const {
    const Options& o = m_options;
    const int type = TypeIndex(o.type);
    if (type < 0) return false;
    const auto duration = [](double ms) { return std::isfinite(ms) && ms >= 0.0; };
    if (!duration(ToneMs()) || !duration(o.gapMs) || !duration(o.leadMs)) return false;
    if (!std::isfinite(o.levelDbfs) || !std::isfinite(o.frequencyOffsetPercent) ||
        !(o.frequencyOffsetPercent > -100.0))
        return false;
    const double highest = *std::max_element(std::begin(kToneHz[type]), std::end(kToneHz[type]));
    return highest * (1.0 + o.frequencyOffsetPercent / 100.0) < sampleRate / 2.0;
}

HRESULT PagingGenerator::Append(SignalTimeline& timeline, std::string_view digits) const {
    if (!OptionsValid(timeline.SampleRate())) return E_INVALIDARG;
    const std::string sent = SentDigits(digits);
    if (sent.size() != digits.size()) return E_INVALIDARG;
    const double* tones = kToneHz[TypeIndex(m_options.type)];
    for (char digit : sent)
        if (tones[DigitIndex(digit)] == 0.0) return E_INVALIDARG;

    const Options& o = m_options;
    const double scale = 1.0 + o.frequencyOffsetPercent / 100.0;
    const std::size_t toneSamples = timeline.SamplesForMs(ToneMs());
    const std::size_t gapSamples = timeline.SamplesForMs(o.gapMs);
    timeline.AppendSilence(timeline.SamplesForMs(o.leadMs));
    for (char digit : sent) {
        timeline.AppendTone(tones[DigitIndex(digit)] * scale, o.levelDbfs, toneSamples);
        timeline.AppendSilence(gapSamples);
    }
    return S_OK;
}
