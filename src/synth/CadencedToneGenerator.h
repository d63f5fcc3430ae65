#pragma once

#include <cstddef>
#include <vector>

#include "platform/HResult.h"

class SignalTimeline;

// A tone of one to four frequencies, switched on and off in a cadence: count cycles of
// onMs of the summed frequencies and offMs of silence (a dial tone is one long cycle, a
// busy tone 480 + 620 Hz at 500 ms on, 500 ms off).
class CadencedToneGenerator {
public:
    static constexpr std::size_t kMaxFrequencies = 4;

    struct Options {
        std::vector<double> frequenciesHz;  // one to four, each above 0
        double levelDbfs = -10.0;           // every frequency, unless levelsDbfs is given
        std::vector<double> levelsDbfs;     // empty, or one level per frequency
        double onMs = 1000.0;
        double offMs = 0.0;
        int count = 1;                      // cycles, at least one
        double leadMs = 0.0;                // silence before the first cycle
        double frequencyOffsetPercent = 0.0;
    };

    CadencedToneGenerator() = default;
    explicit CadencedToneGenerator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }
    Options& MutableOptions() { return m_options; }

    // The lead-in, then count cycles of tone and silence. E_INVALIDARG, appending nothing,
    // when there are no or more than four frequencies, a frequency is not above 0 or (with
    // the offset) not below half the timeline's rate, levelsDbfs is neither empty nor one
    // per frequency, a level or the offset is not finite, the offset is -100 % or below,
    // a duration is negative or not finite, or count is below one.
    HRESULT Append(SignalTimeline& timeline) const;

    // Samples that Append adds at sampleRate (options assumed valid).
    std::size_t SampleCount(int sampleRate) const;

private:
    bool OptionsValid(int sampleRate) const;

    Options m_options;
};
