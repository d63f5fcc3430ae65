#pragma once

#include <cstdint>
#include <span>

#include "platform/HResult.h"
#include "sample/CSampleEvent.h"
#include "tones/CEventBase.h"
#include "tones/CMonitorTones.h"

// The construction shared by the detectors that work from a fixed table of frequencies
// (MF, paging, special information tones): an embedded tone monitor holds one tone with
// every frequency of the table, runs the resonators, and hands every block with every
// frequency's smoothed level to the detector's OnToneBlock. The detector keeps only its
// own state and its per-block decoding.
class CToneTableDetector : public CEventBase, public CSampleEvent {
public:
    CToneTableDetector();
    ~CToneTableDetector() override;

    // Attaches the detector and its monitor to the same stream.
    void SetSample(CSample* sample) override;
    // Passes the block to the monitor, which calls OnToneBlock at each of its blocks.
    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff,
                              double meanSquare) override;

    const CMonitorTones& Monitor() const { return m_monitor; }
    // Takes effect at the next SetParameters.
    void SetBlockLayout(CMonitorTones::BlockLayout layout) { m_monitor.SetBlockLayout(layout); }

protected:
    // Tolerance every table tone carries; the matching does not use it.
    static constexpr float kTableTolerance = 0.06f;

    // Replaces the monitor's tone with the table's: no level limits. Returns the
    // monitor's result of adding it.
    HRESULT LoadTable(std::uint32_t appSpecific, std::int32_t onTimeMs, std::int32_t offTimeMs,
                      std::span<const std::int32_t> frequencies);
    // trunc(on blocks × 0.8) of the loaded tone: the blocks a key needs; 0 without a tone.
    std::int32_t RequiredBlocks(std::uint32_t appSpecific) const;
    // Block length of the loaded tone, 0 without one.
    std::int32_t TableBlockLength(std::uint32_t appSpecific) const;

private:
    static void ForwardBlock(void* owner, monitortone_tag* tone, int quiet);

    CMonitorTones m_monitor;
};
