#include "tones/CZVEIDetector.h"

#include "tones/monitortone_tag.h"

CZVEIDetector::CZVEIDetector() = default;
CZVEIDetector::~CZVEIDetector() = default;

HRESULT CZVEIDetector::SetParameters(ZVEI_TYPE type, bool enable, std::int32_t minGapMs, float minLevelDb) {
    if (Sample() == nullptr) return E_FAIL;
    if (type < 0 || type >= kTypes) return E_INVALIDARG;  // no tone set
    m_lastTone = 0;
    m_count = 0;
    if (!enable) return S_OK;
    m_minimumLevel = minLevelDb;
    const HRESULT added = LoadTable(kToneId, kOnTimeMs[type], minGapMs, kToneTable[type]);
    m_requiredBlocks = CToneTableDetector::RequiredBlocks(kToneId);
    return added;
}

void CZVEIDetector::OnZVEIKey(char, std::int32_t) {}

void CZVEIDetector::OnToneBlock(monitortone_tag* tone, bool quiet) {
    if (tone->AppSpecific != kToneId) return;
    if (quiet) return NoTone();

    const ToneFrequency* records = tone->frequencies;
    int best = 0;
    double sum = 0.0;
    for (int i = 0; i < tone->frequencyCount; ++i) {
        sum += records[i].smoothedLevel;
        if (records[i].smoothedLevel > records[best].smoothedLevel) best = i;
    }
    const double bestLevel = records[best].smoothedLevel;
    if (bestLevel < m_minimumLevel) return NoTone();
    // Levels are negative: the others must average at least 0.7 × |best| dB below it.
    const double rest = (sum - bestLevel) / 15;
    if (rest > 1.7 * bestLevel) return NoTone();

    const std::int32_t toneNumber = best + 1;
    if (toneNumber != m_lastTone) {
        m_lastTone = toneNumber;
        m_count = 1 - m_requiredBlocks;
        return;
    }
    if (m_count < 0) ++m_count;
    if (m_count == 0) {
        m_count = 1;
        OnZVEIKey(KeyOf(toneNumber - 1), static_cast<std::int32_t>(GetSamplePos()));
    }
}

void CZVEIDetector::NoTone() {
    if (m_lastTone == 0) return;
    if (m_count <= 0) {
        m_lastTone = 0;
        return;
    }
    if (++m_count > m_requiredBlocks) m_lastTone = 0;
}
