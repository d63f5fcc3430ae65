#include "tones/CToneTableDetector.h"

CToneTableDetector::CToneTableDetector() {
    // Owner mode 0: every block decision reaches the detector; OnTone is never used.
    // Evaluate all: every frequency's level is measured on every loud block.
    m_monitor.SetOwner(static_cast<CEventBase*>(this), &ForwardBlock, 0);
    m_monitor.SetEvaluateAll(true);
}

CToneTableDetector::~CToneTableDetector() = default;

void CToneTableDetector::ForwardBlock(void* owner, monitortone_tag* tone, int quiet) {
    static_cast<CEventBase*>(owner)->OnToneBlock(tone, quiet != 0);
}

void CToneTableDetector::SetSample(CSample* sample) {
    CSampleEvent::SetSample(sample);
    m_monitor.SetSample(sample);
}

std::int32_t CToneTableDetector::OnSampleData(const float* samples, int count, double meanAbsDiff,
                                              double meanSquare) {
    return m_monitor.OnSampleData(samples, count, meanAbsDiff, meanSquare);
}

HRESULT CToneTableDetector::LoadTable(std::uint32_t appSpecific, std::int32_t onTimeMs, std::int32_t offTimeMs,
                                      std::span<const std::int32_t> frequencies) {
    m_monitor.Clear();
    return m_monitor.AddTone(appSpecific, onTimeMs, offTimeMs, frequencies, 0.0, 0.0, kTableTolerance);
}

std::int32_t CToneTableDetector::RequiredBlocks(std::uint32_t appSpecific) const {
    const monitortone_tag* tone = m_monitor.FindTone(appSpecific);
    return tone == nullptr ? 0 : static_cast<std::int32_t>(tone->onBlocks * 0.8);
}

std::int32_t CToneTableDetector::TableBlockLength(std::uint32_t appSpecific) const {
    const monitortone_tag* tone = m_monitor.FindTone(appSpecific);
    return tone == nullptr ? 0 : tone->blockLength;
}
