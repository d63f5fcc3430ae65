#pragma once

#include <string>
#include <string_view>

#include "platform/HResult.h"

class SignalTimeline;

// MF (R1) signalling: each key is two of six tones (700 to 1700 Hz in 200 Hz steps)
// summed for the tone duration, then the gap. 68 ms tones with 68 ms gaps, as R1
// signalling sends them; the KP key that opens a string is customarily longer, so it has
// its own duration. The pairs are kept here independently of any detector's table, so a
// wrong constant on either side shows up as a failed detection.
//
// Keys are written the way a decoder reports them: '0'-'9', '*' for KP, '#' for ST, and
// 'A', 'B', 'C' for ST', ST'' and ST'''. The words KP, ST, STP, ST2P, ST3P (and ST', ST'',
// ST''') may stand in their places, in either case: "KP1234ST" is "*1234#".
class MfGenerator {
public:
    struct Options {
        double levelDbfs = -10.0;   // each of the pair's two tones
        double toneMs = 68.0;       // every key but KP
        double kpToneMs = 100.0;    // KP
        double gapMs = 68.0;        // silence after each key
        double leadMs = 0.0;        // silence before the first key
        double frequencyOffsetPercent = 0.0;  // moves both tones of every key
    };

    static constexpr double kToneHz[6] = {700.0, 900.0, 1100.0, 1300.0, 1500.0, 1700.0};
    // The keys, and for each the indices into kToneHz of its lower and higher tone.
    static constexpr char kKeys[16] = "1234567890*#ABC";
    static constexpr int kPairs[15][2] = {
        {0, 1}, {0, 2}, {1, 2}, {0, 3}, {1, 3}, {2, 3}, {0, 4}, {1, 4},
        {2, 4}, {3, 4}, {2, 5}, {4, 5}, {1, 5}, {3, 5}, {0, 5},
    };

    MfGenerator() = default;
    explicit MfGenerator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }
    Options& MutableOptions() { return m_options; }

    // Index of a key character into kKeys (letters in either case), or -1.
    static int KeyIndex(char key);
    // The key characters that text spells, words replaced by their characters; false when
    // some part of text is not a key (keys then holds the keys before it).
    static bool ParseKeys(std::string_view text, std::string& keys);

    // The lead-in, then tone and gap for every key of text (characters or words).
    // E_INVALIDARG, appending nothing, for a text that is not keys or an option out of
    // range: a negative or non-finite duration, a non-finite level, an offset of -100 % or
    // below, or a tone at or above half the timeline's rate.
    HRESULT Append(SignalTimeline& timeline, std::string_view text) const;

    // Frequencies of a key character with the offset applied; false for an unknown key.
    bool KeyFrequencies(char key, double& lowHz, double& highHz) const;

private:
    bool OptionsValid(int sampleRate) const;

    Options m_options;
};
