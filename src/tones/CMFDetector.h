#pragma once

#include <cstdint>

#include "platform/HResult.h"
#include "tones/CToneTableDetector.h"

// MF (R1) signalling: two of six frequencies (700 to 1700 Hz in steps of 200 Hz) at a
// time, each pair one of 15 characters, reported once per key through OnMFKey.
class CMFDetector : public CToneTableDetector {
public:
    static constexpr std::uint32_t kToneId = 0x8F909090;
    static constexpr std::int32_t kFrequencies[6] = {700, 900, 1100, 1300, 1500, 1700};
    static constexpr std::int32_t kOnTimeMs = 68;
    // Both tones of a pair must reach this level.
    static constexpr double kMinimumLevelDb = -26.0;
    // Key of a pair, indexed by higher frequency index × 5 + lower index.
    static constexpr char kKeyTable[6][5] = {
        {0, 0, 0, 0, 0}, {'1', 0, 0, 0, 0}, {'2', '3', 0, 0, 0},
        {'4', '5', '6', 0, 0}, {'7', '8', '9', '0', 0}, {'C', 'A', '*', 'B', '#'}};

    CMFDetector();
    ~CMFDetector() override;

    // Restarts the detector and loads the MF tone for the attached stream's rate. E_FAIL,
    // changing nothing, when no stream is attached.
    HRESULT SetParameters();

    void OnToneBlock(monitortone_tag* tone, bool quiet) override;

    // Raised once per key with the tone's sample counter. The detector's own version does
    // nothing.
    virtual void OnMFKey(char key, std::int32_t position);

    std::int32_t RequiredBlocks() const { return m_requiredBlocks; }

private:
    void NoPair();

    char m_lastKey = 0;
    std::int32_t m_count = 0;
    std::int32_t m_requiredBlocks = 0;
};
