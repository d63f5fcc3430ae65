#pragma once

// The body of the FSK data framer's fuzz target, shared with the test that replays its
// seeds and compares the framer with the reference below on random bit streams.
//
// The reference frames the way a UART is described, with a list of the bits of the
// character being received instead of a shift register with a marker: hunting skips
// bits until one has the start-bit tone; a frame is the start bit, the data bits, a
// parity bit when there is parity and a stop bit unless there is none; a stop bit of the
// wrong tone drops the character and starts the next frame; a wrong parity bit drops
// the character.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fsk/CDecFSKData.h"
#include "platform/DebugOutput.h"

namespace fuzzharness {

struct Framing {
    std::int32_t dataBits = 8;
    std::int32_t stopBits = 1;
    std::int32_t parity = 0;
    std::int32_t startTone = 0;
    std::int32_t stopTone = 1;
};

class ReferenceFramer {
public:
    struct Event {
        std::int32_t data;
        bool parityError;
        bool operator==(const Event&) const = default;
    };

    // false (and nothing changed) for a framing the decoder refuses.
    bool Configure(const Framing& f) {
        if (f.dataBits < 0 || f.dataBits > CDecFSKData::kMaxDataBits || f.stopBits < 0 || f.stopBits > 3 ||
            f.parity < 0 || f.parity > 4)
            return false;
        m_framing = f;
        m_frame.clear();
        return true;
    }
    void Reset() { m_frame.clear(); }
    bool InCharacter() const { return !m_frame.empty(); }

    void Bit(int bit, std::vector<Event>& events) {
        if (m_frame.empty() && bit != (m_framing.startTone != 0 ? 1 : 0)) return;
        m_frame.push_back(bit);
        const std::size_t length = 1 + m_framing.dataBits + (m_framing.parity != 0) + (m_framing.stopBits != 0);
        if (m_frame.size() < length) return;
        if (m_framing.stopBits != 0 && bit != m_framing.stopTone) {
            m_frame.assign(1, bit);
            return;
        }
        std::int32_t data = 0;
        int ones = 0;
        for (int i = 0; i < m_framing.dataBits; ++i) {
            data |= m_frame[1 + i] << i;
            ones += m_frame[1 + i];
        }
        bool parityOk = true;
        if (m_framing.parity != 0) {
            const int parityBit = m_frame[1 + m_framing.dataBits];
            switch (m_framing.parity) {
                case 1: parityOk = (ones + parityBit) % 2 == 1; break;
                case 2: parityOk = (ones + parityBit) % 2 == 0; break;
                case 3: parityOk = parityBit == 1; break;
                default: parityOk = parityBit == 0; break;
            }
        }
        m_frame.clear();
        events.push_back({data, !parityOk});
    }

private:
    Framing m_framing;
    std::vector<int> m_frame;
};

// The decoder's framer with every report and every debug line recorded as an event.
class RecordingFraming : public CDecFSKData {
public:
    void OnFSKData(std::int32_t CharData, std::uint32_t) override { events.push_back({CharData, false}); }
    std::vector<ReferenceFramer::Event> events;
};

struct FramerRun {
    std::string violation;
    int characters = 0;
    int parityErrors = 0;
    bool Ok() const { return violation.empty(); }
};

// Input: five framing bytes (data bits, stop bits, parity, start tone, stop tone, each
// mapped onto a range a little wider than the valid one, so refusals are exercised), a
// period byte p, then the bit stream, eight bits a byte, least significant first. When p
// is not 0, after every p bytes of bits the next five bytes are a new framing, applied
// in the middle of whatever is being received.
inline Framing ReadFraming(const std::uint8_t* bytes) {
    Framing f;
    f.dataBits = bytes[0] % 20 - 1;   // -1 .. 18
    f.stopBits = bytes[1] % 6 - 1;    // -1 .. 4
    f.parity = bytes[2] % 7 - 1;      // -1 .. 5
    f.startTone = bytes[3] % 4;       // anything but 0 is mark
    f.stopTone = bytes[4] % 4 - 1;    // -1 .. 2: only 0 and 1 match a bit
    return f;
}

inline FramerRun RunFskFramer(const std::uint8_t* data, std::size_t size, bool abortOnViolation) {
    FramerRun run;
    const auto fail = [&](const std::string& what) {
        if (abortOnViolation) {
            std::fprintf(stderr, "FSK framer invariant broken: %s\n", what.c_str());
            std::abort();
        }
        if (run.violation.empty()) run.violation = what;
    };
    if (size < 6) return run;

    std::vector<ReferenceFramer::Event> expected;
    RecordingFraming framer;
    ReferenceFramer reference;
    std::int32_t dataBits = framer.DataBits();
    // Parity errors come out as debug lines; they join the framer's events in order.
    SetDebugOutputHook([&](const char* text) {
        unsigned value = 0;
        char tail = 0;
        if (std::sscanf(text, "FSK data: parity error, character 0x%X dropped%c", &value, &tail) != 2 ||
            tail != '.')
            fail(std::string("unexpected debug line: ") + text);
        framer.events.push_back({static_cast<std::int32_t>(value), true});
    });
    const auto configure = [&](const std::uint8_t* bytes) {
        const Framing f = ReadFraming(bytes);
        const bool accepted = framer.SetCOMMParams(f.dataBits, f.stopBits, f.parity, f.startTone, f.stopTone) == S_OK;
        if (accepted != reference.Configure(f)) fail("framing accepted by one side only");
        if (accepted) dataBits = f.dataBits;
        if (accepted && framer.InCharacter()) fail("a new framing did not reset the framer");
    };
    configure(data);
    const std::size_t period = data[5];
    std::size_t i = 6;
    std::size_t sinceFraming = 0;
    while (i < size && run.Ok()) {
        if (period != 0 && sinceFraming == period) {
            if (size - i < 5) break;
            configure(data + i);
            i += 5;
            sinceFraming = 0;
            continue;
        }
        for (int b = 0; b < 8 && run.Ok(); ++b) {
            const int bit = (data[i] >> b) & 1;
            const std::size_t before = framer.events.size();
            framer.OnBit(bit, 0);
            reference.Bit(bit, expected);
            for (std::size_t e = before; e < framer.events.size(); ++e) {
                const std::int32_t value = framer.events[e].data;
                if (value < 0 || value >= (std::int32_t{1} << dataBits))
                    fail("character " + std::to_string(value) + " beyond " + std::to_string(dataBits) + " data bits");
            }
            // Only this bit's reports are new; the earlier ones were compared already.
            if (framer.events.size() != expected.size() ||
                !std::equal(framer.events.begin() + before, framer.events.end(), expected.begin() + before))
                fail("framer and reference disagree");
            if (framer.InCharacter() != reference.InCharacter()) fail("in-character state disagrees");
        }
        ++i;
        ++sinceFraming;
    }
    framer.EndOfStream();
    reference.Reset();
    if (framer.InCharacter()) fail("end of stream left a character in progress");
    SetDebugOutputHook({});
    for (const auto& e : expected) (e.parityError ? run.parityErrors : run.characters) += 1;
    return run;
}

}  // namespace fuzzharness
