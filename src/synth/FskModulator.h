#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/HResult.h"

class SignalTimeline;

// Binary FSK as caller-ID and data channels send it: each bit is a stretch of the mark tone
// (1) or the space tone (0), both at one level, and bytes go asynchronously, framed by a
// start and a stop bit.
//
// The phase runs on from bit to bit and from call to call, the way a modem's oscillator
// does: a line never carries a phase jump at a bit edge, so a demodulator that only works
// because of one must not pass our tests. Segments that other generators append between
// two calls pause the modulator; it resumes at the phase and bit clock where it stopped.
//
// Bit timing comes from the total count of bits since the start (construction or Reset):
// bit k (from 0) ends at round((k + 1) · rate / bit rate) of the modulator's own samples.
// Bits are therefore whole samples of slightly varying length (6 or 7 at 8000 Hz and 1200
// baud) whose average is exact, and a transmission of any length does not drift.
//
// The sample rate is the first timeline's; the bit clock counts samples at that rate, so
// until Reset every later timeline must have the same one.
class FskModulator {
public:
    struct Options {
        double markHz = 1200.0;               // tone of a 1 bit
        double spaceHz = 2200.0;              // tone of a 0 bit
        double baud = 1200.0;                 // nominal bits per second
        double levelDbfs = -13.0;             // peak level of either tone
        double frequencyOffsetPercent = 0.0;  // moves both tones: +1 sends them 1 % higher
        double bitRateErrorPercent = 0.0;     // the bits go at baud · (1 + error / 100)
    };

    // Bits of one framed byte: start, data, stop.
    static constexpr std::size_t kFrameBits = 10;

    FskModulator() = default;
    explicit FskModulator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }

    // E_INVALIDARG when the options cannot be sent at sampleRate: a non-finite value, a
    // baud of 0 or below, an offset or bit-rate error of -100 % or below, a tone (offset
    // applied) of 0 Hz or below or at or above half the rate, or a bit shorter than one
    // sample. Else S_OK.
    static HRESULT Check(const Options& options, int sampleRate);

    // The frequencies and bit rate actually sent, offset and error applied.
    double MarkHz() const;
    double SpaceHz() const;
    double BitRate() const;

    // The bits, each 0 (space) or 1 (mark). E_INVALIDARG, appending nothing, for any other
    // value, for options that Check refuses at the timeline's rate, or for a timeline whose
    // rate is not the one this transmission started at.
    HRESULT AppendBits(SignalTimeline& timeline, std::span<const std::uint8_t> bits);
    // bitCount mark bits: the idle line between and before bytes.
    HRESULT AppendMark(SignalTimeline& timeline, std::size_t bitCount);
    // bitCount bits alternating 0, 1, 0, ...: the channel seizure that wakes a receiver.
    HRESULT AppendSeizure(SignalTimeline& timeline, std::size_t bitCount);
    // Every byte framed by FrameBits, back to back.
    HRESULT AppendBytes(SignalTimeline& timeline, std::span<const std::uint8_t> bytes);

    // A start bit (0), the eight data bits least significant first, a stop bit (1).
    static std::array<std::uint8_t, kFrameBits> FrameBits(std::uint8_t byte);

    // Bits and samples sent since the start.
    std::uint64_t BitsSent() const { return m_bits; }
    std::uint64_t SamplesSent() const { return m_samples; }

    // Starts a new transmission: bit clock and phase back to 0, any sample rate.
    void Reset();

private:
    HRESULT CheckFor(const SignalTimeline& timeline) const;
    // Sample count at which the bit with this index (from 0) ends.
    std::uint64_t BitEnd(std::uint64_t bit) const;

    Options m_options;
    int m_sampleRate = 0;  // the transmission's rate; 0 before its first sample
    std::uint64_t m_bits = 0;
    std::uint64_t m_samples = 0;
    double m_phaseCycles = 0.0;  // phase of the next sample, in cycles within [0, 1)
};
