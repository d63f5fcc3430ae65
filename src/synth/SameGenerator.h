#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HResult.h"

class SignalTimeline;

// Emergency-alert (SAME) transmissions: FSK at 520.83 baud, mark 2083.3 Hz (1) and space
// 1562.5 Hz (0), bytes sent least significant bit first with no start or stop bits. Every
// burst is a preamble of 16 bytes 0xAB and then its text; each header, and the end-of-
// message marker "NNNN", goes out three times with a second of silence between the
// copies. A whole message is the three headers, a gap where the attention tone and the
// announcement would be (silence here), and the three markers.
//
// The FSK of one message is one FskModulator: the silences pause it, so every burst is
// on the same bit clock.
class SameGenerator {
public:
    static constexpr double kMarkHz = 2083.3;
    static constexpr double kSpaceHz = 1562.5;
    static constexpr double kBaud = 520.83;
    static constexpr unsigned char kPreambleByte = 0xAB;
    static constexpr int kPreambleBytes = 16;
    static constexpr int kCopies = 3;
    static constexpr const char* kEndOfMessage = "NNNN";

    struct Options {
        double levelDbfs = -10.0;
        double frequencyOffsetPercent = 0.0;  // moves both tones
        double bitRateErrorPercent = 0.0;     // the bits go at 520.83 · (1 + error / 100)
        double leadMs = 0.0;         // silence before the first burst
        double burstGapMs = 1000.0;  // silence between the copies of a burst
        double messageGapMs = 1000.0;  // silence between the last header and the first marker
        double trailMs = 0.0;        // silence after the last burst
        bool endOfMessage = true;    // send the three "NNNN" bursts
    };

    // The fields of a header "ZCZC-ORG-EEE-PSSCCC-...+TTTT-JJJHHMM-LLLLLLLL-".
    struct Header {
        std::string originator;              // three letters: EAS, CIV, WXR, PEP
        std::string event;                   // three letters or digits: TOR, RWT, ...
        std::vector<std::string> locations;  // 1 to 31 codes of six digits, PSSCCC
        std::string duration;                // HHMM, with or without the leading '+'
        std::string issued;                  // JJJHHMM: day of the year, hour, minute
        std::string sender;                  // eight characters, no '-': KEAX/NWS
    };

    SameGenerator() = default;
    explicit SameGenerator(const Options& options) : m_options(options) {}

    const Options& GetOptions() const { return m_options; }
    Options& MutableOptions() { return m_options; }

    // The header's text; E_INVALIDARG, leaving text empty, for a field of the wrong shape.
    static HRESULT FormatHeader(const Header& header, std::string& text);

    // A text a burst can carry: 1 to 252 printable ASCII characters.
    static bool IsBurstText(std::string_view text);

    // The three header bursts, and then, unless endOfMessage is off, the gap and the three
    // markers; lead-in and trailing silence around them. E_INVALIDARG, appending nothing,
    // for a text IsBurstText refuses or options out of range at the timeline's rate (a
    // negative or non-finite duration, tones FskModulator refuses).
    HRESULT Append(SignalTimeline& timeline, std::string_view header) const;

    // Samples that Append adds for a header of headerBytes bytes (options assumed valid).
    std::size_t SampleCount(int sampleRate, std::size_t headerBytes) const;

private:
    HRESULT Check(int sampleRate) const;

    Options m_options;
};
