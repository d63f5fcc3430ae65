#include "synth/SitGenerator.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "synth/SignalTimeline.h"

namespace {

constexpr const char* kCodes[SitGenerator::kKinds] = {"RO", "VC", "NC", "IC", "RO2", "NC2", "IO"};
constexpr const char* kNames[SitGenerator::kKinds] = {
    "Reorder - intraLATA",    "Vacant Code", "No Circuit - intraLATA", "Intercept",
    "Reorder - interLATA", "No Circuit - interLATA", "Ineffective/Other",
};

int KindIndex(SitGenerator::Kind kind) {
    const int index = static_cast<int>(kind);
    return index >= 0 && index < SitGenerator::kKinds ? index : -1;
}

}  // namespace

const char* SitGenerator::Code(Kind kind) {
    const int index = KindIndex(kind);
    return index < 0 ? "" : kCodes[index];
}

const char* SitGenerator::Name(Kind kind) {
    const int index = KindIndex(kind);
    return index < 0 ? "" : kNames[index];
}

bool SitGenerator::ParseKind(std::string_view code, Kind& kind) {
    for (int i = 0; i < kKinds; ++i) {
        const std::string_view known = kCodes[i];
        if (code.size() == known.size() &&
            std::equal(code.begin(), code.end(), known.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == b;
            })) {
            kind = static_cast<Kind>(i);
            return true;
        }
    }
    return false;
}

bool SitGenerator::OptionsValid(int sampleRate) const {
    const Options& o = m_options;
    const auto duration = [](double ms) { return std::isfinite(ms) && ms >= 0.0; };
    if (!duration(o.shortMs) || !duration(o.longMs) || !duration(o.thirdMs) ||
        !duration(o.gapMs) || !duration(o.announcementMs) || !duration(o.leadMs))
        return false;
    if (!std::isfinite(o.levelDbfs) || !std::isfinite(o.frequencyOffsetPercent) ||
        !(o.frequencyOffsetPercent > -100.0))
        return false;
    return kThirdHz * (1.0 + o.frequencyOffsetPercent / 100.0) < sampleRate / 2.0;
}

HRESULT SitGenerator::Append(SignalTimeline& timeline, Kind kind) const {
    const int index = KindIndex(kind);
    if (index < 0 || !OptionsValid(timeline.SampleRate())) return E_INVALIDARG;

    const Options& o = m_options;
    const Segments& s = kSegments[index];
    const double scale = 1.0 + o.frequencyOffsetPercent / 100.0;
    const auto length = [&](bool isLong) {
        return timeline.SamplesForMs(isLong ? o.longMs : o.shortMs);
    };
    const std::size_t gap = timeline.SamplesForMs(o.gapMs);
    timeline.AppendSilence(timeline.SamplesForMs(o.leadMs));
    timeline.AppendTone(kFirstHz[s.first] * scale, o.levelDbfs, length(s.firstLong));
    timeline.AppendSilence(gap);
    timeline.AppendTone(kSecondHz[s.second] * scale, o.levelDbfs, length(s.secondLong));
    timeline.AppendSilence(gap);
    timeline.AppendTone(kThirdHz * scale, o.levelDbfs, timeline.SamplesForMs(o.thirdMs));
    timeline.AppendSilence(timeline.SamplesForMs(o.announcementMs));
    return S_OK;
}
