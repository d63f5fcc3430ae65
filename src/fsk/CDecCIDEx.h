#pragma once

#include <cstdint>

#include "fsk/CDecAFSK.h"
#include "fsk/CDecCIDFMT.h"
#include "sample/CSampleEvent.h"

// Caller-ID decoder: on-hook and call-waiting caller ID and message waiting, on Bell 202
// or V.23 tones, and the Japanese variant that follows a ring.
//
// Until a transmission is recognised, a front end of Goertzel resonators, evaluated every
// 100 samples, watches for the channel seizure (alternating bits put their energy midway
// between mark and space), for the DTMF D that a call-waiting handset answers with, and
// for ring bursts; it then measures which mark tone is present. From then on every sample
// goes to the demodulator, and the message parser decides when the message is over.
class CDecCIDEx : public CDecAFSK, public CDecCIDFMT, public CSampleEvent {
public:
    enum DetectorState : std::int32_t {
        kSearching = 0,
        kMeasuringMark = 1,
        kReceiving = 2,
        kReceivingJapanese = 5,
    };
    // Blocks whose mean square exceeds this count as ring: only a clipped, full-scale
    // ring signal gets there.
    static constexpr double kRingPower = 0.88;
    // The idle balance at which a stalled standard reception is abandoned.
    static constexpr std::int32_t kIdleLimit = 46;
    static constexpr std::int32_t kReceptionStarted = 0x70000000;
    // A Japanese reception that has not ended after this long was a false start.
    static constexpr double kJapaneseTimeoutSeconds = 2.0;
    static constexpr float kV23Mark = 1300.0f;
    static constexpr float kV23Space = 2100.0f;

    CDecCIDEx();
    ~CDecCIDEx() override;

    // The configured tones and bit rate (Bell 202 by default: mark 1200 Hz, space
    // 2200 Hz, 1200 baud).
    HRESULT SetParameters2(std::int32_t baudRate, float markFreq, float spaceFreq);
    // Retunes the front end for the attached stream and restarts the search. Does nothing
    // without an attached stream or for a rate below 1.
    void SetSampleRate(std::int32_t sampleRate);
    // Call-waiting caller ID: the DTMF D answer also opens a transmission, and a few
    // missing sub-blocks are tolerated.
    void SetCallWaiting(bool on) { m_callWaiting = on ? 1 : 0; }
    bool CallWaiting() const { return m_callWaiting != 0; }

    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff, double meanSquare) override;
    void OnBit(std::int32_t level, std::uint32_t position) override;
    void ResetMessage() override;

    // The demodulator's own position: samples since the reception started.
    std::uint32_t DemodulatorPosition() const { return m_samplePos; }

    DetectorState GetDetectorState() const { return static_cast<DetectorState>(m_state); }
    std::int32_t MinimumRun() const { return m_minimumRun; }
    std::int32_t RingBlocks() const { return m_ringBlocks; }
    std::int32_t RingCounter() const { return m_ringCounter; }
    std::int32_t GapCounter() const { return m_gapCounter; }
    std::int32_t IdleBalance() const { return m_idleBalance; }
    std::int32_t MarkBalance() const { return m_markBalance; }
    float MarkFrequency() const { return m_markFreq; }
    float SpaceFrequency() const { return m_spaceFreq; }
    std::int32_t BaudRate() const { return m_baudRate; }

private:
    // Goertzel resonator: s1 the newer state, s2 the older, c = 2 cos(2π f / fs).
    struct Resonator {
        double s2 = 0.0;
        double s1 = 0.0;
        double c = 0.0;
        void Step(double x) {
            const double s0 = s1 * c - s2 + x;
            s2 = s1;
            s1 = s0;
        }
        double Power() const { return s1 * s1 + s2 * s2 - s1 * s2 * c; }
    };
    enum ResonatorIndex { k1300 = 0, kMark = 1, kCentre = 2, k1633 = 3, k941 = 4, kResonatorCount = 5 };

    void BlockOperation(const float* samples, int count, double meanAbsDiff, double meanSquare);
    int FrontEnd(const float* samples, int count, double meanAbsDiff, double meanSquare);
    int RunResonators(const float* samples, int count, double meanAbsDiff);
    bool EvaluateMark(double meanAbsDiff);
    void EvaluateSearch(double meanAbsDiff);
    void Miss();
    void ClearResonator(int index);
    void StartJapanese();
    void StartStandard(bool v23);

    std::int32_t m_state = kSearching;
    Resonator m_resonators[kResonatorCount];
    double m_savedCoefficients[kResonatorCount] = {};
    std::int32_t m_minimumRun = 0;
    std::int32_t m_centreRun = 0;
    std::int32_t m_dualToneRun = 0;
    std::int32_t m_markBalance = 0;
    std::int32_t m_subBlockCounter = 0;
    std::int32_t m_callWaiting = 0;
    float m_markFreq = 1200.0f;
    float m_spaceFreq = 2200.0f;
    std::int32_t m_baudRate = 1200;
    std::int32_t m_idleBalance = 0;
    std::int32_t m_ringCounter = 0;
    std::int32_t m_ringBlocks = 0;
    std::int32_t m_gapCounter = 0;
    std::int32_t m_missCounter = 0;
    // Samples fed to a Japanese reception so far, and the limit.
    std::int64_t m_japaneseSamples = 0;
    std::int64_t m_japaneseLimit = 0;
};
