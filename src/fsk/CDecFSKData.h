#pragma once

#include <cstdint>

#include "fsk/CDecAFSK.h"
#include "platform/HResult.h"
#include "sample/CSampleEvent.h"

// Generic FSK data: an asynchronous serial line sent in two-tone FSK with the host's
// tones, bit rate and framing (data bits, parity, stop bits, the tones of the start and
// the stop bit). The demodulator's bits go through a UART framer that reports every
// character whose stop bit (and parity, when framed with one) is right.
//
// The framer keeps the bits of a character in one shift register: a marker bit enters
// with the empty register at the top (bit K + 1, K the bits after the start bit) and
// moves down one place per bit, each new bit entering at the top; when the marker reaches
// bit 0 the frame is complete, with the start bit in bit 1 and the data bits from bit 2,
// first received lowest.
//
// Frames, by stop-bit setting:
//  - one (1) and two (3) stop bits: start, data, parity if any, one stop bit; further
//    stop bits are idle line to the hunt for the next start bit;
//  - one and a half (2): as one; the demodulator counts whole bits, so a stop of 1.5 bit
//    lengths arrives as one or two stop bits, and a second one is idle line;
//  - none (0): start, data, parity if any; the next start bit is hunted from the bit
//    after the frame.
// A stop bit of the wrong tone drops the character and that bit starts the next frame.
class CDecFSKData : public CDecAFSK, public CSampleEvent {
public:
    // Framings whose register would not fit 32 bits are refused; no serial line sends
    // characters longer than this.
    static constexpr std::int32_t kMaxDataBits = 16;

    enum StopBitsType : std::int32_t { kStopBitNo = 0, kStopBitOne = 1, kStopBitsOne5 = 2, kStopBitsTwo = 3 };
    enum ParityType : std::int32_t { kParityNo = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4 };

    CDecFSKData();
    ~CDecFSKData() override;

    // Framing: data bits (0..kMaxDataBits), stop bits (StopBitsType), parity (ParityType),
    // the tone of the start bit (0 space, anything else mark) and of the stop bit (0 space,
    // 1 mark; any other value matches no bit, so every frame with a stop bit fails).
    // Resets the framer to hunt for a start bit and returns 0; E_INVALIDARG, changing
    // nothing, for data bits, stop bits or parity out of range.
    HRESULT SetCOMMParams(std::int32_t dataBits, std::int32_t stopBits, std::int32_t parity,
                          std::int32_t startBitTone, std::int32_t stopBitTone);

    // Blocks louder than half the silence level are demodulated; quieter ones only while a
    // character is being received, so a character fading into silence is still completed.
    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff, double meanSquare) override;

    // The framer, one demodulated bit at a time.
    void OnBit(std::int32_t level, std::uint32_t position) override;

    // One character: its data bits, the first received in bit 0; Position is the stream's
    // sample position (the first sample of the block being decoded). Does nothing here.
    virtual void OnFSKData(std::int32_t CharData, std::uint32_t Position);

    // At the end of the input: the demodulator's run in progress is counted and framed,
    // so a last character that ends with its stop bit and no idle line after it is still
    // reported (with the stream position after the last block). Then the framer hunts
    // for a start bit again.
    void EndOfStream();

    std::int32_t DataBits() const { return m_dataBits; }
    std::int32_t StopBits() const { return m_stopBits; }
    std::int32_t Parity() const { return m_parity; }
    std::int32_t ShiftRegister() const { return m_shiftRegister; }
    std::int32_t EmptyValue() const { return m_emptyValue; }
    std::int32_t IdlePattern() const { return m_idlePattern; }
    std::int32_t StopBitTone() const { return m_stopBitTone; }
    // True while a character is being received.
    bool InCharacter() const { return m_shiftRegister != m_emptyValue; }

private:
    bool ParityHolds(std::int32_t data, std::int32_t parityBit) const;
    void Complete(std::int32_t data, std::int32_t parityBit);

    std::int32_t m_dataBits = 8;
    std::int32_t m_stopBits = kStopBitOne;
    std::int32_t m_parity = kParityNo;
    std::int32_t m_shiftRegister = 0;
    std::int32_t m_emptyValue = 0;
    std::int32_t m_idlePattern = 0;
    std::int32_t m_stopBitTone = 1;
    // Derived from the framing: a parity bit follows the data bits; the frame ends with a
    // stop bit.
    bool m_hasParityBit = false;
    bool m_hasStopBit = true;
};
