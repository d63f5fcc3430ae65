#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/HResult.h"

class SignalTimeline;

// Selective-call paging: every digit is one tone out of its type's sixteen, sent for the
// type's on-time, one after another with no gap. Digit i is '0'+i for 0-9 and 'A'+(i-10)
// for 10-15. A digit that would repeat the tone just sent is sent as the repeat tone
// (the type's 'E') instead, so that a receiver sees every digit as a change of tone:
// "112" goes out as "1E2", "111" as "1E1". A literal 'E' right after an 'E' or a repeat
// tone cannot be told apart from it and merges with it.
//
// The tables are kept here independently of any detector's, so a wrong constant on either
// side shows up as a failed detection.
class PagingGenerator {
public:
    // In the order the decoder numbers the types.
    enum class Type { kEia, kCcir, kZvei1, kZvei2, kZvei3, kPzvei, kEea };
    static constexpr int kTypes = 7;

    struct Options {
        Type type = Type::kCcir;
        double levelDbfs = -10.0;
        std::optional<double> toneMs;  // unset: the type's own on-time
        double gapMs = 0.0;            // silence after each tone
        double leadMs = 0.0;           // silence before the first tone
        double frequencyOffsetPercent = 0.0;
        bool repeatTone = true;        // send a repeated digit as the repeat tone
    };

    // Tones in Hz by type and digit; 0 where a type has no tone (EIA and EEA have no 'F').
    static constexpr double kToneHz[kTypes][16] = {
        {600, 741, 882, 1023, 1164, 1305, 1446, 1587, 1728, 1869, 2151, 2435, 2010, 2295, 459, 0},
        {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 2400, 930, 2247, 991, 2110, 1055},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 2800, 810, 970, 885, 2600, 680},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 885, 810, 740, 680, 970, 2600},
        {2200, 970, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 825, 740, 2600, 885, 2400, 680},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 970, 810, 2800, 885, 2600, 680},
        {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 930, 2247, 991, 2110, 2400, 0},
    };
    static constexpr double kOnMs[kTypes] = {40, 100, 70, 70, 70, 70, 40};
    static constexpr int kRepeatDigit = 14;  // 'E'

    PagingGenerator() = default;
    explicit PagingGenerator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }
    Options& MutableOptions() { return m_options; }

    // Digit value of '0'-'9', 'A'-'F' (either case), or -1.
    static int DigitIndex(char digit);
    // The type's name ("EIA", "CCIR", "ZVEI1", "ZVEI2", "ZVEI3", "PZVEI", "EEA"), and the
    // type a name (in either case) stands for; false for an unknown name.
    static const char* TypeName(Type type);
    static bool ParseType(std::string_view name, Type& type);

    // The tones that Append sends for digits, as digit characters in upper case: the
    // digits with the repeat rule applied. Empty when a digit is unknown.
    std::string SentDigits(std::string_view digits) const;
    // The on-time that Append uses.
    double ToneMs() const;

    // The lead-in, then tone and gap for every digit. E_INVALIDARG, appending nothing, for
    // an unknown digit or one the type has no tone for, an unknown type, a negative or
    // non-finite duration, a non-finite level, an offset of -100 % or below, or a tone at
    // or above half the timeline's rate.
    HRESULT Append(SignalTimeline& timeline, std::string_view digits) const;

private:
    bool OptionsValid(int sampleRate) const;

    Options m_options;
};
