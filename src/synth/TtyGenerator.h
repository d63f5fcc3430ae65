#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/HResult.h"
#include "synth/FskDataGenerator.h"

class SignalTimeline;

// Text telephone (TTY) signals: FSK at a low bit rate with mark 1400 Hz (1) and space
// 1800 Hz (0), each character a space start bit, its data bits with the first sent in
// bit 0, and a mark stop bit of one, one and a half or two bit lengths; idle mark before
// and after. Either 5-bit Baudot codes, with the letters and figures shifts put in where
// the text changes between the two tables, or 7- or 8-bit ASCII.
//
// The Baudot tables are kept here independently of any decoder's, so a wrong entry on
// either side shows up as a wrong character. Three figures tables differ in a few codes
// (BEL, ENQ, the apostrophe, £ and others): mode kBaudot, kBaudotMode3 and kBaudotMode4.
//
// The framing and the FSK are FskDataGenerator's; this class turns text into codes.
class TtyGenerator {
public:
    enum class Mode { kBaudot, kBaudotMode3, kBaudotMode4, kAscii7, kAscii8 };

    // The bit rates TTY terminals use.
    static constexpr double kRates[6] = {45.45, 50.0, 56.92, 74.2, 100.0, 110.0};
    static constexpr std::uint8_t kFigures = 27;  // FIGS shift code
    static constexpr std::uint8_t kLetters = 31;  // LTRS shift code
    static constexpr int kSpaceCode = 4;

    struct Options {
        Mode mode = Mode::kBaudot;
        double baud = 45.45;
        double stopBits = 1.5;  // stop-bit length in bits: 1, 1.5 or 2
        double markHz = 1400.0;
        double spaceHz = 1800.0;
        double levelDbfs = -10.0;
        double frequencyOffsetPercent = 0.0;  // moves both tones
        double bitRateErrorPercent = 0.0;     // the bits go at baud · (1 + error / 100)
        double leadMs = 0.0;          // silence before the idle mark
        double idleBeforeMs = 300.0;  // mark before the first start bit
        double idleAfterMs = 300.0;   // mark after the last stop bit
        bool skipUnknown = false;     // leave out characters no table holds, instead of refusing
    };

    // table[0] letters, table[1..3] the figures of modes kBaudot, kBaudotMode3 and
    // kBaudotMode4, indexed by code (first data bit in bit 0). The shift codes 27 and 31
    // hold 0xFF: they are no character.
    static const std::uint8_t kTable[4][32];

    TtyGenerator() = default;
    explicit TtyGenerator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }
    Options& MutableOptions() { return m_options; }

    // The codes that text (bytes, Latin-1) goes out as in mode. Baudot: lower-case letters
    // as capitals; a character found in both tables at one code (space, CR, LF, and NUL
    // except in mode 4) goes out in whatever shift is current; any other one is preceded
    // by a shift when the current shift is not its table's, the first such character
    // always, since the receiver's shift is not known; so is the first one after a space
    // sent in figures, since some receivers return to letters at a space and others do
    // not: the text reads the same on both. 7-bit ASCII takes bytes up to 0x7F,
    // 8-bit every byte. E_INVALIDARG, with codes holding the codes before it, for a
    // character the mode cannot send, unless skipUnknown leaves it out.
    static HRESULT Encode(std::string_view text, Mode mode, bool skipUnknown, std::vector<std::uint8_t>& codes);

    // The text encoded for the options' mode, framed and modulated. E_INVALIDARG,
    // appending nothing, for a text Encode refuses, a stop length other than 1, 1.5 or 2,
    // or options FskDataGenerator refuses.
    HRESULT Append(SignalTimeline& timeline, std::string_view text) const;

    // Samples that Append adds for this many codes at sampleRate (options assumed valid).
    std::size_t SampleCount(int sampleRate, std::size_t codes) const;

private:
    // The framing and FSK of the options; false for a stop length not 1, 1.5 or 2.
    bool DataOptions(FskDataGenerator::Options& data) const;

    Options m_options;
};
