#pragma once

#include <cstdint>

#include "platform/HResult.h"
#include "tones/CToneTableDetector.h"

// Selective-call paging: every digit is one tone of a set of sixteen, sent for a fixed
// time, one after another. Each tone is reported once as '0'-'9' or 'A'-'F' through
// OnZVEIKey.
class CZVEIDetector : public CToneTableDetector {
public:
    // The tone sets, in the order of the paging types.
    enum ZVEI_TYPE : std::int32_t {
        ZVEI_EIA = 0,
        ZVEI_CCIR = 1,
        ZVEI_ZVEI1 = 2,
        ZVEI_ZVEI2 = 3,
        ZVEI_ZVEI3 = 4,
        ZVEI_PZVEI = 5,
        ZVEI_EEA = 6,
    };
    static constexpr int kTypes = 7;
    static constexpr int kTones = 16;
    static constexpr std::uint32_t kToneId = 0x8F909091;
    // Hz by type and tone index; 0: the set has no such tone.
    static constexpr std::int32_t kToneTable[kTypes][kTones] = {
        {600, 741, 882, 1023, 1164, 1305, 1446, 1587, 1728, 1869, 2151, 2435, 2010, 2295, 459, 0},
        {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 2400, 930, 2247, 991, 2110, 1055},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 2800, 810, 970, 885, 2600, 680},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 885, 810, 740, 680, 970, 2600},
        {2200, 970, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 825, 740, 2600, 885, 2400, 680},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 970, 810, 2800, 885, 2600, 680},
        {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 930, 2247, 991, 2110, 2400, 0},
    };
    static constexpr std::int32_t kOnTimeMs[kTypes] = {40, 100, 70, 70, 70, 70, 40};

    CZVEIDetector();
    ~CZVEIDetector() override;

    // Restarts the detector; when enabled, loads the type's tone set with the minimum gap
    // as its off-time and keeps the minimum level. Returns E_FAIL without a stream,
    // E_INVALIDARG for a type outside the table (both changing nothing), else the result
    // of adding the tone (the monitor's kToneTooShort when the rate is too low for it).
    HRESULT SetParameters(ZVEI_TYPE type, bool enable, std::int32_t minGapMs, float minLevelDb);

    void OnToneBlock(monitortone_tag* tone, bool quiet) override;

    // Raised once per tone with the stream position of the block being delivered. The
    // detector's own version does nothing.
    virtual void OnZVEIKey(char key, std::int32_t position);

    std::int32_t RequiredBlocks() const { return m_requiredBlocks; }
    // The character of tone index 0..15.
    static char KeyOf(int index) { return static_cast<char>(index < 10 ? '0' + index : 'A' + index - 10); }

private:
    void NoTone();

    std::int32_t m_lastTone = 0;  // tone index + 1; 0 = none
    std::int32_t m_count = 0;
    std::int32_t m_requiredBlocks = 0;
    float m_minimumLevel = 0.0f;
};
