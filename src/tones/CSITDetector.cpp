#include "tones/CSITDetector.h"

#include "tones/monitortone_tag.h"

CSITDetector::CSITDetector() = default;
CSITDetector::~CSITDetector() = default;

HRESULT CSITDetector::SetParameters() {
    if (Sample() == nullptr) return E_FAIL;
    Reset();
    const HRESULT added = LoadTable(kToneId, kOnTimeMs, 0, kFrequencies);
    const std::int32_t blockLength = TableBlockLength(kToneId);
    // A long segment is at least 328 ms of blocks.
    m_segmentBlocks = blockLength == 0 ? 0 : static_cast<std::int32_t>(GetSampleRate() * 0.5 * 0.656 / blockLength);
    m_minimumLevel = static_cast<float>(0.8 * GetSilenceThreshold());
    return added;
}

void CSITDetector::Reset() {
    m_currentTone = -1;
    m_gap = 0;
    m_count = 0;
    m_code = 0;
}

// Ends the current segment: a long or short one adds its bits, a blip of a block or two
// is ignored, anything between fails the sequence.
bool CSITDetector::ClassifySegment() {
    const std::int32_t length = m_count >= m_segmentBlocks ? 4 : m_count >= m_segmentBlocks / 2 ? 8 : 0;
    if (length == 0) {
        if (m_count <= m_segmentBlocks / 10 + 1) return true;
        Reset();
        return false;
    }
    // The lower tone of each pair has an even index. A third tone cut short by another
    // tone lands in the second segment's bits, so that sequence matches no kind.
    const std::uint32_t b = (m_currentTone % 2 == 0) ? 1 : 2;
    const int shift = m_currentTone < 2 ? 0 : 16;
    m_code += (b | static_cast<std::uint32_t>(length)) << shift;
    return true;
}

void CSITDetector::Report(const monitortone_tag& tone) {
    for (std::int32_t type = 0; type < 7; ++type) {
        if (kCodes[type] == m_code) {
            OnSIT(static_cast<_SIT_TYPE>(type), static_cast<std::int32_t>(tone.sampleCounter));
            return;
        }
    }
}

void CSITDetector::OnToneBlock(monitortone_tag* tone, bool quiet) {
    if (tone->AppSpecific != kToneId) return;
    if (quiet) return NoTone(*tone);

    const ToneFrequency* records = tone->frequencies;
    int best = 0;
    for (int i = 1; i < tone->frequencyCount; ++i)
        if (records[i].smoothedLevel > records[best].smoothedLevel) best = i;
    if (records[best].smoothedLevel < m_minimumLevel) return NoTone(*tone);

    if (best == m_currentTone) {
        ++m_count;
        m_gap = 0;
        if (m_currentTone == kThirdTone && m_count > m_segmentBlocks) {
            Report(*tone);
            Reset();
        }
        return;
    }
    if (m_count == 0) {
        m_count = 1;
        m_currentTone = best;
        return;
    }
    // A different tone while a segment is running. A first-segment tone cannot follow.
    if (best < 2) return NoTone(*tone);
    if (ClassifySegment()) m_count = 1;
    m_currentTone = best;
}

void CSITDetector::NoTone(const monitortone_tag& tone) {
    if (m_currentTone == kThirdTone && m_count > m_segmentBlocks) Report(tone);
    if (m_count < 1) {
        Reset();
        return;
    }
    if (++m_gap > m_segmentBlocks / 10 + 1) Reset();
}
