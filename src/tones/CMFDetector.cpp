#include "tones/CMFDetector.h"

#include "tones/monitortone_tag.h"

CMFDetector::CMFDetector() = default;
CMFDetector::~CMFDetector() = default;

HRESULT CMFDetector::SetParameters() {
    if (Sample() == nullptr) return E_FAIL;
    m_lastKey = 0;
    m_count = 0;
    LoadTable(kToneId, kOnTimeMs, 0, kFrequencies);
    m_requiredBlocks = CToneTableDetector::RequiredBlocks(kToneId);
    return S_OK;
}

void CMFDetector::OnMFKey(char, std::int32_t) {}

void CMFDetector::OnToneBlock(monitortone_tag* tone, bool quiet) {
    if (tone->AppSpecific != kToneId) return;
    if (quiet) return NoPair();

    const ToneFrequency* records = tone->frequencies;
    const int n = tone->frequencyCount;
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (records[i].smoothedLevel > records[best].smoothedLevel) best = i;
    const double bestLevel = records[best].smoothedLevel;
    if (bestLevel < kMinimumLevelDb) return NoPair();

    // The second tone is the one closest below the best; one level with it is not taken.
    int second = -1;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double level = records[i].smoothedLevel;
        sum += level;
        if (bestLevel - level > 0.0 && (second < 0 || level > records[second].smoothedLevel)) second = i;
    }
    if (second < 0 || records[second].smoothedLevel < kMinimumLevelDb) return NoPair();
    const double secondLevel = records[second].smoothedLevel;
    // Levels are negative: the other four must lie at least as far below the pair again.
    const double rest = (sum - bestLevel - secondLevel) * 0.25;
    if (rest > 2 * bestLevel || rest > 2 * secondLevel) return NoPair();

    const int higher = best > second ? best : second;
    const int lower = best > second ? second : best;
    const char key = kKeyTable[higher][lower];
    if (key != m_lastKey) {
        m_lastKey = key;
        m_count = 1 - m_requiredBlocks;
        return;
    }
    if (m_count < 0) ++m_count;
    if (m_count == 0) {
        m_count = 1;
        OnMFKey(key, static_cast<std::int32_t>(tone->sampleCounter));
    }
}

void CMFDetector::NoPair() {
    if (m_lastKey == 0) return;
    if (m_count <= 0) {
        m_lastKey = 0;  // a pending key is dropped at once
        return;
    }
    // A reported key is forgotten after as many blocks without a pair as it needed to be
    // reported; a shorter interruption does not repeat it.
    if (++m_count > m_requiredBlocks) m_lastKey = 0;
}
