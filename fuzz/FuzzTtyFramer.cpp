#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fsk/CDecBaudotCode.h"
#include "sample/CSample.h"

// The TTY framer on arbitrary bits and runs, in every mode (and with a refused one): the
// bit count stays within a frame and a stop bit, the register stays small, every
// report is a character of its mode, and the shifts set the table they name.
//
// Input: byte 0 chooses mode (value % 6, 5 being a refused mode) and rate (value / 6 % 7,
// 6 being refused). Then each byte is an operation: 0x00-0x7F seven bits to OnTTYBit,
// lowest first; 0x80-0xBF a mark run of (byte & 0x3F) windows to FlushRun; 0xC0-0xFE a
// space run likewise; 0xFF the end of the stream.
namespace {

[[noreturn]] void Fail(const char* what, long value) {
    std::fprintf(stderr, "TTY framer invariant broken: %s (%ld)\n", what, value);
    std::abort();
}

class CheckedFramer : public CDecBaudotCode {
public:
    CheckedFramer() { std::fill(&m_seen[0][0], &m_seen[0][0] + 4 * 32, std::int16_t{-1}); }
    using CDecBaudotCode::SetRunLength;

    void OnDetectChar(std::int32_t value, std::int32_t) override {
        const std::int32_t frameBits = FrameBits();
        if (frameBits == 9 && (value < 0 || value > 0x7F)) Fail("7-bit ASCII out of range", value);
        if (frameBits == 10 && (value < 0 || value > 0xFF)) Fail("8-bit ASCII out of range", value);
        if (frameBits != 7) return;
        if ((value & ~0x1F00FF) != 0) Fail("Baudot report out of range", value);
        const std::int32_t code = value >> 16, character = value & 0xFFFF;
        if (code == kFiguresShift || code == kLettersShift) {
            if (character != 0) Fail("shift with a character", value);
            const int expected = code == kLettersShift ? 0 : FiguresVariant() + 1;
            if (ShiftState() != expected) Fail("shift state after a shift", ShiftState());
            return;
        }
        // One character per table and code, whatever came before.
        std::int16_t& seen = m_seen[ShiftState()][code];
        if (seen >= 0 && seen != character) Fail("one code, two characters", value);
        seen = static_cast<std::int16_t>(character);
    }

    std::int32_t OnTTYBit(std::int32_t bit) override {
        const std::int32_t result = CDecBaudotCode::OnTTYBit(bit);
        if (result != 0 && result != -1 && result != -2 && result != -6) Fail("framer result", result);
        CheckState();
        return result;
    }

    void CheckState() const {
        const std::int32_t frameBits = FrameBits();
        if (BitCount() < 0 || (frameBits > 0 && BitCount() > frameBits + 1)) Fail("bit count", BitCount());
        if (ShiftRegister() < 0 || ShiftRegister() >= (1 << 26)) Fail("shift register", ShiftRegister());
        if (ShiftState() > 3) Fail("shift state", ShiftState());
    }

private:
    std::int16_t m_seen[4][32];  // character last reported per table and code, -1 none
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    CSample stream;
    stream.SetAudioParameters(16, 8000, -45.0f, 100);
    CheckedFramer framer;
    framer.SetSample(&stream);
    const std::int32_t mode = data[0] % 6, rate = data[0] / 6 % 7;
    framer.SetRate(rate, mode);
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint8_t op = data[i];
        if (op < 0x80) {
            for (int b = 0; b < 7; ++b) framer.OnTTYBit((op >> b) & 1);
        } else if (op == 0xFF) {
            framer.EndOfStream();
        } else {
            const std::int32_t run = op & 0x3F;
            framer.SetRunLength(run);
            const std::int32_t bits = framer.FlushRun(op < 0xC0 ? 1 : 0);
            if (bits != run / 4) Fail("bits of a run", bits);
        }
        framer.CheckState();
    }
    return 0;
}
