#pragma once

#include <string_view>

#include "platform/HResult.h"

class SignalTimeline;

// Special information tones: three tones in a row before an announcement. The first is
// 913 or 985 Hz, the second 1370 or 1428 Hz, each short (276 ms) or long (380 ms); the
// third is 1776 Hz for 380 ms. Which frequency and which length the first two take tells
// the kind. (The first tone is nominally 913.8 Hz; it is sent as 913 Hz, the frequency
// receivers listen for.) The table is kept here independently of any detector's.
class SitGenerator {
public:
    // In the order the decoder numbers the kinds.
    enum class Kind { kRO, kVC, kNC, kIC, kRO2, kNC2, kIO };
    static constexpr int kKinds = 7;

    struct Options {
        double levelDbfs = -10.0;   // each tone
        double shortMs = 276.0;     // a short first or second tone
        double longMs = 380.0;      // a long first or second tone
        double thirdMs = 380.0;     // the 1776 Hz tone
        double gapMs = 0.0;         // silence between the tones
        double announcementMs = 0.0;  // silence after the third tone
        double leadMs = 0.0;        // silence before the first tone
        double frequencyOffsetPercent = 0.0;
    };

    static constexpr double kFirstHz[2] = {913.0, 985.0};
    static constexpr double kSecondHz[2] = {1370.0, 1428.0};
    static constexpr double kThirdHz = 1776.0;

    // How a kind sends its first two tones: which of each pair (0 lower, 1 higher), and
    // whether it is long.
    struct Segments {
        int first;
        bool firstLong;
        int second;
        bool secondLong;
    };
    static constexpr Segments kSegments[kKinds] = {
        {0, false, 1, true},   // RO: reorder within the local area
        {1, true, 0, false},   // VC: vacant code
        {1, true, 1, true},    // NC: no circuit within the local area
        {0, false, 0, false},  // IC: intercept
        {1, false, 0, true},   // RO2: reorder between areas
        {0, true, 0, true},    // NC2: no circuit between areas
        {0, true, 1, false},   // IO: ineffective or other
    };

    SitGenerator() = default;
    explicit SitGenerator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }
    Options& MutableOptions() { return m_options; }

    // The kind's short code ("RO", "VC", "NC", "IC", "RO2", "NC2", "IO") and its name as
    // a decoder reports it ("Reorder - intraLATA", ...); the kind a code (in either case)
    // stands for, false for an unknown code.
    static const char* Code(Kind kind);
    static const char* Name(Kind kind);
    static bool ParseKind(std::string_view code, Kind& kind);

    // The lead-in, the three tones with the gaps between them, and the announcement
    // silence. E_INVALIDARG, appending nothing, for an unknown kind, a negative or
    // non-finite duration, a non-finite level, an offset of -100 % or below, or a tone
    // at or above half the timeline's rate.
    HRESULT Append(SignalTimeline& timeline, Kind kind) const;

private:
    bool OptionsValid(int sampleRate) const;

    Options m_options;
};
