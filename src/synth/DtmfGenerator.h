#pragma once

#include <string_view>

#include "platform/HResult.h"

class SignalTimeline;

// DTMF key sequences: each key is its low-group (row) and high-group (column) sine summed
// for the tone duration, followed by the gap. The frequency grid is the standard one,
// kept here independently of the detector's own table so that a wrong constant on either
// side shows up as a failed detection rather than cancelling out.
//
// The options map one to one onto command-line flags (level, twist, tone and gap lengths,
// lead-in, frequency offsets); noise and the output format are separate steps
// (SignalTimeline::AddNoise, PcmRenderer).
class DtmfGenerator {
public:
    struct Options {
        double levelDbfs = -10.0;       // level of the low-group tone
        double twistDb = 0.0;           // high-group level minus low-group level
        double toneMs = 50.0;           // each key's tone
        double gapMs = 50.0;            // silence after each key's tone
        double leadMs = 0.0;            // silence before the first key of Append
        double rowOffsetPercent = 0.0;  // deviation of the low-group frequency
        double colOffsetPercent = 0.0;  // deviation of the high-group frequency
    };

    // The keys in grid order, four per row: index = 4·row + column.
    static constexpr char kKeys[17] = "123A456B789C*0#D";
    static constexpr double kRowHz[4] = {697.0, 770.0, 852.0, 941.0};
    static constexpr double kColHz[4] = {1209.0, 1336.0, 1477.0, 1633.0};

    DtmfGenerator() = default;
    explicit DtmfGenerator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }
    Options& MutableOptions() { return m_options; }

    // Grid index of a key (letters in either case), or -1 when it is not a DTMF key.
    static int KeyIndex(char key);

    // The lead-in silence, then tone and gap for every key. E_INVALIDARG, appending
    // nothing, when a key is unknown or an option is out of range (negative or non-finite
    // duration, non-finite level or offset, offset of -100 % or below).
    HRESULT Append(SignalTimeline& timeline, std::string_view keys) const;
    // Tone and gap of one key, without lead-in.
    HRESULT AppendKey(SignalTimeline& timeline, char key) const;

    // Frequencies of a key with the offsets applied; false for an unknown key.
    bool KeyFrequencies(char key, double& rowHz, double& colHz) const;

private:
    bool OptionsValid() const;
    void AppendValidKey(SignalTimeline& timeline, int index) const;

    Options m_options;
};
