#pragma once

#include <cstdint>

#include "fsk/CDecAFSK.h"
#include "platform/HResult.h"
#include "sample/CSampleEvent.h"

// Emergency-alert header decoder: bursts of 8-bit characters in AFSK at 520.83 baud
// (mark 2083.3 Hz, space 1562.5 Hz), each burst behind a preamble of 0xAB bytes, sent
// least significant bit first with no start or stop bits. A message is a header
// ("ZCZC-...-") sent three times and an end-of-message marker "NNNN" sent three times.
//
// Every burst is reported as an element with its place in the message (OnSAMEelement:
// 1, 2, 3 for the headers, 4 for a fourth identical header, 6, 7, 8 for the markers);
// after the third marker the confirmed header is reported once more (OnRawSAME). The
// place in the message, the burst count, survives the bursts and the silence between
// them, and restarts when a header differs from the first or a marker comes before
// three headers.
//
// A header has no terminator on the line: it ends where the line goes quiet, at a byte 0
// (eight bits of space) or at the next byte above 0x80 (a preamble's 0xAB), and
// whatever the demodulator made of the end of the burst is cut off after the header's
// last '-'.
//
// Where the behaviour was ours to choose:
// - After each end-of-message marker the byte assembly restarts (the burst count is
//   kept), so the next marker needs its own preamble and is recognised in its first four
//   characters; the markers are reported as 6, 7, 8 and the header follows at 8.
// - The first quiet block after demodulated ones ends the burst: the demodulator's run in
//   progress is decided then (rounded up to whole bits), a header of more than four
//   characters is reported, a shorter burst is dropped, and the demodulator restarts to
//   lock on the next burst afresh. Quiet blocks never reach the demodulator, so without
//   this a burst's last character would wait for the next burst, the last run merged
//   with that burst's first bits: the third marker (and the confirmed header) would never
//   come, and in three alignments of eight the merged bits shift the next preamble into
//   bytes below 0x80, which swallow that whole burst.
// - The burst text and the saved header are fixed 200-byte members: configuring and
//   decoding never allocate for them, and a text holds at most 199 characters.
// - A header is terminated after its last character before the cut, so one without a
//   '-' past its first character is reported whole rather than running into an earlier
//   burst's bytes.
class CDecSAME : public CDecAFSK, public CSampleEvent {
public:
    // The burst text and the saved header, terminator included.
    static constexpr std::int32_t kTextCapacity = 200;
    static constexpr std::int32_t kMaxCharacters = kTextCapacity - 1;
    // Eight preamble bytes 0xAB, received least significant bit first, newest bit in bit 0.
    static constexpr std::uint64_t kPreamblePattern = 0xD5D5D5D5D5D5D5D5ull;
    // The byte register's marker: it reaches bit 0 when eight bits have arrived.
    static constexpr std::int32_t kEmptyByte = 0x100;

    // Element states, as the host's SAME status numbers them.
    enum ElementState : std::int32_t {
        kText1 = 1,
        kText2 = 2,
        kText3 = 3,
        kWarnAlarm = 4,
        kEndOfMessage1 = 6,
        kEndOfMessage2 = 7,
        kEndOfMessage3 = 8,
    };

    CDecSAME();
    ~CDecSAME() override;

    // Restarts reception for the attached stream (the burst count is kept) and tunes the
    // demodulator: the tones (space first) and the bit rate. E_FAIL, changing nothing,
    // without an attached stream; else the demodulator's result.
    HRESULT SetParameters(std::int32_t sampleRate, float spaceFreq, float markFreq, float baudRate);

    // Blocks louder than the stream's silence level go to the demodulator whole; quieter
    // ones are not seen by it at all. The first quiet block after a loud one ends the
    // burst (and restarts the demodulator: its window empties, its position restarts).
    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff, double meanSquare) override;

    // Preamble search, then byte assembly.
    void OnBit(std::int32_t level, std::uint32_t position) override;
    // The end of a run: a burst still being received ends as a quiet block would end it,
    // so a recording that stops right after the last marker still confirms its header.
    void EndOfStream();

    // The confirmed header after the third end-of-message marker. Does nothing here.
    virtual void OnRawSAME(const char* header, std::int32_t pos);
    // One burst: its state and its text (the header cut after its last '-', or "NNNN").
    // Does nothing here. The text is valid only during the call.
    virtual void OnSAMEelement(std::int32_t state, const char* text, std::int32_t pos);
    // One assembled byte.
    virtual void OnSAMEChar(std::int32_t byte);

    bool Synchronised() const { return m_synchronised; }
    std::uint64_t SyncRegister() const { return m_syncRegister; }
    std::int32_t ByteRegister() const { return m_byteRegister; }
    std::int32_t CharacterCount() const { return m_characterCount; }
    std::int32_t BurstCount() const { return m_burstCount; }
    const char* Text() const { return m_text; }
    // The first header of the current message; empty before the first header.
    const char* SavedHeader() const { return m_savedHeader; }
    // The demodulator's own position: samples it has consumed since it was configured.
    std::uint32_t DemodulatorSamplePos() const { return m_samplePos; }

private:
    void Reset(bool clearBurstCount);
    void EndBurst();
    void EndHeader(std::int32_t position);
    void EndMessage(std::int32_t position);
    std::int32_t Position() const { return static_cast<std::int32_t>(GetSamplePos()); }

    bool m_synchronised = false;
    std::uint64_t m_syncRegister = 0;
    std::int32_t m_byteRegister = kEmptyByte;
    std::int32_t m_characterCount = 0;
    char m_text[kTextCapacity] = {};
    char m_savedHeader[kTextCapacity] = {};
    bool m_hasSavedHeader = false;
    std::int32_t m_burstCount = 0;
    // The demodulator's configuration, for restarting it between bursts.
    std::int32_t m_sampleRate = 0;
    float m_spaceFreq = 0.0f;
    float m_markFreq = 0.0f;
    float m_baudRate = 0.0f;
    // The last block was demodulated: a quiet block now ends the burst.
    bool m_inBurst = false;
};
