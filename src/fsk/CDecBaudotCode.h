#pragma once

#include <cstdint>
#include <memory>

#include "platform/HResult.h"
#include "sample/CSampleEvent.h"

// Text telephone (TTY) decoder: two-tone FSK at 45.45 to 110 baud, characters framed by a
// start bit and one or more stop bits, carrying 5-bit Baudot codes with letters/figures
// shifts or 7- or 8-bit ASCII.
//
// It has its own demodulator: a mark and a space Goertzel resonator run over a window of
// half a bit, evaluated every quarter bit, so the line level is known within a quarter bit
// (5.5 ms at 45.45 baud) and a run of windows of one level is counted in quarter bits.
// Three windows of one tone lock the level in; from then on every change of level hands
// the run just ended to the framer as whole bits (FlushRun), and the framer (OnTTYBit)
// assembles characters. A character is reported when the start bit of the next one
// arrives, or when the signal drops (or the stream ends) after its stop bit.
class CDecBaudotCode : public CSampleEvent {
public:
    enum Rate : std::int32_t {
        kRate45_45 = 0,
        kRate50 = 1,
        kRate56_92 = 2,
        kRate74_20 = 3,
        kRate100 = 4,
        kRate110 = 5,
        kRate1200 = 6,  // named by the public enumeration, refused here
    };
    enum Mode : std::int32_t {
        kBaudot = 0,
        kAscii7 = 1,
        kAscii8 = 2,
        kBaudotFigures3 = 3,
        kBaudotFigures4 = 4,
    };
    // Reported codes of the two shifts (character 0, the code in bits 16..20).
    static constexpr std::int32_t kFiguresShift = 27;
    static constexpr std::int32_t kLettersShift = 31;
    static constexpr std::int32_t kFiguresReport = kFiguresShift << 16;
    static constexpr std::int32_t kLettersReport = kLettersShift << 16;
    // Quarter bits longer than this (110 baud at about 28 MHz, 45.45 baud at 12 MHz) are
    // refused, which keeps the window, and the work per window, bounded.
    static constexpr std::int32_t kMaxQuarter = 65536;
    static constexpr float kDefaultMarkFreq = 1400.0f;
    static constexpr float kDefaultSpaceFreq = 1800.0f;

    CDecBaudotCode();
    ~CDecBaudotCode() override;

    // Configures rate (0..5) and mode (0..4) for the attached stream's sample rate and
    // restarts reception: letters shift, level not locked, framer empty. E_FAIL without an
    // attached stream (nothing changes); E_INVALIDARG for another mode or rate, or a rate
    // whose quarter bit is below one sample or above kMaxQuarter; E_OUTOFMEMORY when the
    // window cannot be had. After any failure the decoder ignores blocks until a call
    // succeeds. Memory is only taken here, when the window outgrows an earlier one.
    HRESULT SetRate(std::int32_t rate, std::int32_t mode);
    // Mark and space tones (Hz), used from the next window on.
    void SetFreqs(float mark, float space);

    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff,
                              double meanSquare) override;

    // The end of the stream counts as the signal dropping: the run in progress is handed
    // to the framer as a weak window would hand it, and a character complete up to its
    // stop bit is reported, so a recording that ends without trailing silence keeps its
    // last character. Emits nothing the same bits followed by silence would not.
    void EndOfStream();

    // One character or shift. Baudot: the table character in bits 0..15 and the 5-bit code
    // (first data bit as bit 0) in bits 16..20; ASCII: the 7 or 8 data bits, first received
    // bit as bit 0. lPos is the stream position of the block being processed. Does nothing
    // here; the decoder aggregate overrides it.
    virtual void OnDetectChar(std::int32_t RecvChar, std::int32_t lPos);
    // Hands the current run (run length div 4 bits, a run of 4 to 7 windows being one bit)
    // of the given level to the framer; returns the number of bits.
    virtual std::int32_t FlushRun(std::int32_t level);
    // The framer: takes one bit (1 mark, 0 space). Returns -1 for idle mark, -2 while
    // waiting for a start bit, -6 after resynchronising on a framing error, else 0. Until
    // a mode has been set, bits are ignored.
    virtual std::int32_t OnTTYBit(std::int32_t bit);

    std::int32_t RunLength() const { return m_runLength; }
    std::int32_t ShiftRegister() const { return m_shiftRegister; }
    std::int32_t BitCount() const { return m_bitCount; }
    std::uint8_t ShiftState() const { return m_shiftState; }
    std::int32_t QuarterLength() const { return m_quarter; }
    std::int32_t FrameBits() const { return m_frameBits; }
    std::int32_t FiguresVariant() const { return m_figuresVariant; }
    std::int32_t CurrentLevel() const { return m_currentLevel; }
    float MarkFrequency() const { return m_markFreq; }
    float SpaceFrequency() const { return m_spaceFreq; }
    // True after a successful SetRate: blocks are decoded.
    bool Configured() const { return m_windowActive; }

protected:
    // Lets a harness drive FlushRun with runs of its choosing.
    void SetRunLength(std::int32_t runLength) { m_runLength = runLength; }

private:
    void Reset();
    // One window of 2Q samples is complete: decide the tone and count runs.
    void ProcessWindow();
    void DecideTone();
    // What a window too weak for a tone decision does.
    void WeakWindow();
    // Reports the character held in register value v with n bits counted.
    void EmitCharacter(std::int32_t v, std::int32_t n);
    // True when a callback reconfigured the decoder since `generation` was read.
    bool Reconfigured(std::uint32_t generation) const { return generation != m_generation; }

    std::int32_t m_runLength = 0;
    std::int32_t m_shiftRegister = 0;
    std::int32_t m_bitCount = 0;
    std::uint8_t m_shiftState = 0;
    std::unique_ptr<float[]> m_window;
    std::int32_t m_windowCapacity = 0;  // floats allocated, kept across SetRate calls
    bool m_windowActive = false;        // false: no window configured, blocks ignored
    std::int32_t m_fillIndex = 0;
    std::int32_t m_quarter = 0;
    double m_levelNow = 0.0;
    double m_levelBefore = 0.0;
    std::int32_t m_frameBits = 0;
    float m_markFreq = kDefaultMarkFreq;
    float m_spaceFreq = kDefaultSpaceFreq;
    std::int32_t m_figuresVariant = 0;
    std::int32_t m_currentLevel = -1;
    // Advanced by every SetRate: a handler may reconfigure from inside a report, and the
    // window being processed must then not touch the fresh state.
    std::uint32_t m_generation = 0;
};
