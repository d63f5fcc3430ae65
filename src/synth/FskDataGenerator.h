#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/HResult.h"
#include "synth/FskModulator.h"

class SignalTimeline;

// Asynchronous serial data in binary FSK with any tones, bit rate and character framing:
// a start bit, 5 to 8 data bits least significant first, an optional parity bit, and no,
// one, one and a half or two stop bits. The line idles in the tone opposite the start
// bit's before the first character, between characters (for as long as asked) and after
// the last one.
//
// The FSK is one FskModulator clocked at twice the bit rate, each bit two half bits, so a
// stop bit of one and a half lengths is a whole number of modulator bits and the phase
// runs on through it. Bit k still ends at round((k + 1) · rate / bit rate) samples.
class FskDataGenerator {
public:
    enum class Parity { kNone, kOdd, kEven, kMark, kSpace };
    // Stop-bit lengths, in half bits: 0, 2, 3, 4.
    enum class StopBits { kNone, kOne, kOneAndHalf, kTwo };

    struct Options {
        double markHz = 1200.0;   // tone of a 1 bit
        double spaceHz = 2200.0;  // tone of a 0 bit
        double baud = 1200.0;     // nominal bits per second
        int dataBits = 8;         // 5 to 8
        Parity parity = Parity::kNone;
        StopBits stopBits = StopBits::kOne;
        int startBitTone = 0;  // 0 space, 1 mark; the idle line is the other tone
        int stopBitTone = 1;
        double levelDbfs = -10.0;
        double frequencyOffsetPercent = 0.0;  // moves both tones
        double bitRateErrorPercent = 0.0;     // the bits go at baud · (1 + error / 100)
        double leadMs = 0.0;           // silence before the idle line
        double idleBeforeMs = 100.0;   // idle line before the first start bit
        double idleBetweenMs = 0.0;    // idle line after each character but the last
        double idleAfterMs = 100.0;    // idle line after the last character
    };

    FskDataGenerator() = default;
    explicit FskDataGenerator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }
    Options& MutableOptions() { return m_options; }

    // The bits of one character in the order sent, each 0 or 1: start bit, data bits
    // least significant first, the parity bit if any. Stop bits are not included: their
    // length is not a whole number of bits.
    std::vector<std::uint8_t> CharacterBits(std::uint8_t value) const;

    // The parity bit for value's data bits (dataBits of them), or -1 with no parity.
    static int ParityBit(std::uint8_t value, int dataBits, Parity parity);

    // Lead-in, idle line, every character framed, idle line. E_INVALIDARG, appending
    // nothing, for a value that does not fit in the data bits, or an option out of range
    // at the timeline's rate: data bits outside 5..8, a tone not 0 or 1, a negative or
    // non-finite duration, or tones and bit rate that FskModulator refuses at twice the
    // bit rate (a half bit must own a sample).
    HRESULT Append(SignalTimeline& timeline, std::span<const std::uint8_t> values) const;

    // Samples that Append adds for count characters at sampleRate (options assumed valid).
    std::size_t SampleCount(int sampleRate, std::size_t count) const;

private:
    HRESULT Check(int sampleRate) const;
    // The modulator at twice the bit rate.
    FskModulator::Options ModulatorOptions() const;
    double BitRate() const;
    // Half bits of idle line lasting ms at the actual bit rate, rounded.
    std::size_t IdleHalfBits(double ms) const;
    std::size_t CharacterHalfBits() const;

    Options m_options;
};
