#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/HResult.h"

class SignalTimeline;

// Whole caller-ID transmissions around a message (CallerIdMessage builds the bytes):
//
//  - on hook (Bell 202 or V.23 tones): channel seizure, mark signal, message, trailing marks;
//  - call waiting (off hook, same tones): the alerting tone pair, the terminal's DTMF D
//    acknowledgement as the line's recording carries it, a gap, a short mark signal with
//    no seizure, message, trailing marks;
//  - Japanese (V.23 tones): a ring burst, a quiet gap, a mark signal with no seizure,
//    message, trailing marks.
//
// All FSK is one phase-continuous transmission of one FskModulator at 1200 baud; the
// alerting tone, the acknowledgement and the ring are plain tone segments. The frequency
// offset and bit-rate error apply to the FSK only. Noise and the output format are separate
// steps (SignalTimeline::AddNoise, PcmRenderer).
class CallerIdGenerator {
public:
    enum class Standard { kBell202, kV23, kJapanese };

    struct Options {
        Standard standard = Standard::kBell202;
        double levelDbfs = -13.0;   // peak level of the FSK tones
        int seizureBits = 300;      // on hook only
        int markBits = 180;         // mark signal before the message, on hook
        int trailingMarkBits = 10;  // after the message's last stop bit
        double leadMs = 0.0;        // silence before everything else
        double frequencyOffsetPercent = 0.0;  // moves both FSK tones
        double bitRateErrorPercent = 0.0;     // the bits go at 1200 · (1 + error / 100)

        bool callWaiting = false;  // Bell 202 and V.23 only
        double alertMs = 80.0;
        double alertLevelDbfs = -13.0;  // each of the two alerting tones
        double ackDelayMs = 0.0;        // from the end of the alerting tone to the D
        double ackMs = 65.0;
        double ackLevelDbfs = -13.0;    // each of the D's two tones
        double ackGapMs = 100.0;        // from the end of the D to the first mark bit
        int callWaitingMarkBits = 80;

        double ringMs = 1000.0;     // Japanese only
        double ringGapMs = 1000.0;  // from the end of the ring to the first mark bit
        int japaneseMarkBits = 100;
    };

    // Tones of each standard, and the call-waiting alerting pair.
    static constexpr double kBell202MarkHz = 1200.0;
    static constexpr double kBell202SpaceHz = 2200.0;
    static constexpr double kV23MarkHz = 1300.0;
    static constexpr double kV23SpaceHz = 2100.0;
    static constexpr double kBaud = 1200.0;
    static constexpr double kAlertLowHz = 2130.0;
    static constexpr double kAlertHighHz = 2750.0;
    // The ring, as the line's recording carries it: loud enough to clip, so that its mean
    // square stays high in every short block (a square wave of amplitude a has mean square
    // a², here about 0.96).
    static constexpr double kRingHz = 16.0;
    static constexpr double kRingAmplitude = 0.98;

    CallerIdGenerator() = default;
    explicit CallerIdGenerator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }
    Options& MutableOptions() { return m_options; }

    // The whole transmission of message. E_INVALIDARG, appending nothing, when an option is
    // out of range at the timeline's rate: a negative bit count or duration, a non-finite
    // value, FSK or alerting tones that do not fit below half the rate, an offset or error
    // of -100 % or below, or call waiting with the Japanese standard.
    HRESULT Append(SignalTimeline& timeline, std::span<const std::uint8_t> message) const;

    // Samples that Append adds for a message of messageBytes bytes at sampleRate (options
    // assumed valid).
    std::size_t SampleCount(int sampleRate, std::size_t messageBytes) const;

private:
    HRESULT Check(int sampleRate) const;
    // Mark bits between the preamble and the message in the selected sequence.
    int PreambleMarkBits() const;
    std::size_t FskBits(std::size_t messageBytes) const;
    void AppendRing(SignalTimeline& timeline) const;

    Options m_options;
};
