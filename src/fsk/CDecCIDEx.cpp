#include "fsk/CDecCIDEx.h"

#include <cmath>
#include <cstdlib>

#include "platform/DebugOutput.h"
#include "sample/ToneLevel.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
// The front end evaluates its resonators every 100 samples, whatever the rate.
constexpr int kSubBlock = 100;
// Ring bursts last 0.8 s of blocks; more than half of that ends in a timed gap.
constexpr double kRingSeconds = 0.8;
// The gap counter starts here when a ring burst ends.
constexpr std::int32_t kGapStart = 8;
// Centre energy over the silence level, and mark energy over the block level, that count.
constexpr double kCentrePower = 130.0;
constexpr double kMarkPower = 0.05;
// Blocks with less mean absolute difference cannot hold the DTMF D pair.
constexpr double kDualToneLevel = 0.03;
constexpr std::int32_t kMissLimit = 2;
constexpr double kDtmfRowD = 941.0;
constexpr double kDtmfColD = 1633.0;

}  // namespace

CDecCIDEx::CDecCIDEx() { CDecCIDEx::ResetMessage(); }
CDecCIDEx::~CDecCIDEx() = default;

HRESULT CDecCIDEx::SetParameters2(std::int32_t baudRate, float markFreq, float spaceFreq) {
    m_baudRate = baudRate;
    m_markFreq = markFreq;
    m_spaceFreq = spaceFreq;
    return S_OK;
}

void CDecCIDEx::SetSampleRate(std::int32_t sampleRate) {
    if (Sample() == nullptr || sampleRate < 1) return;
    const std::int32_t blockSize = GetBlockSize();
    m_ringBlocks = blockSize > 0 ? static_cast<std::int32_t>(kRingSeconds * GetSampleRate() / blockSize) : 0;
    ResetMessage();
    m_samplePos = 0;
    m_minimumRun = sampleRate / 8000 + 1;
    const double frequencies[kResonatorCount] = {
        static_cast<double>(kV23Mark), static_cast<double>(m_markFreq),
        static_cast<double>((m_markFreq + m_spaceFreq) * 0.5f), kDtmfColD, kDtmfRowD};
    for (int i = 0; i < kResonatorCount; ++i) {
        const double coefficient = 2.0 * std::cos(kTwoPi * frequencies[i] / sampleRate);
        m_savedCoefficients[i] = coefficient;
        m_resonators[i] = Resonator{0.0, 0.0, coefficient};
    }
    // The demodulator restarts at every reception; its window is sized now so that a
    // reception never allocates.
    const double samplesPerBit = static_cast<float>(GetSampleRate()) / static_cast<float>(m_baudRate);
    if (samplesPerBit + 0.5 >= 1.0 && samplesPerBit + 0.5 <= kMaxWindow)
        Reserve(static_cast<std::int32_t>(samplesPerBit + 0.5));
    m_japaneseLimit = static_cast<std::int64_t>(kJapaneseTimeoutSeconds * GetSampleRate());
}

std::int32_t CDecCIDEx::OnSampleData(const float* samples, int count, double meanAbsDiff, double meanSquare) {
    BlockOperation(samples, count, meanAbsDiff, meanSquare);
    return 0;
}

void CDecCIDEx::BlockOperation(const float* samples, int count, double meanAbsDiff, double meanSquare) {
    // After the parser ends a message the rest of the block goes back to the front end,
    // which is searching again from the sample after the last bit.
    while (count > 0) {
        const int consumed = FrontEnd(samples, count, meanAbsDiff, meanSquare);
        if (consumed < 0 || count - consumed <= 0) return;
        const int left = Demodulate(samples + consumed, count - consumed);
        if (left <= 0) return;
        samples += count - left;
        count = left;
    }
}

int CDecCIDEx::FrontEnd(const float* samples, int count, double meanAbsDiff, double meanSquare) {
    if (m_state == kReceiving) return 0;
    if (m_state == kReceivingJapanese) {
        m_japaneseSamples += count;
        if (m_japaneseSamples <= m_japaneseLimit) return 0;
        DebugOutput("Japanese CID reception ended without a message.");
        ResetMessage();
    }

    if (meanSquare > kRingPower) {
        if (m_ringCounter != -1) {
            m_gapCounter = 0;
            ++m_ringCounter;
        }
        return -1;
    }
    if (m_ringCounter > m_ringBlocks / 2) {  // a ring burst has ended: time the gap
        m_gapCounter = kGapStart;
        m_ringCounter = -1;
    }

    if (meanAbsDiff < GetSilenceLevel()) {
        m_samplePos += static_cast<std::uint32_t>(count);
        if (m_state == kSearching || m_callWaiting == 0) {
            m_centreRun = 0;
            m_markBalance = 0;
            m_state = kSearching;
        } else {
            Miss();
        }
        if (m_ringCounter == -1 && m_gapCounter != 0) ++m_gapCounter;
        return -1;
    }

    m_missCounter = 0;
    if (m_ringCounter == -1) {
        if (m_ringBlocks < m_gapCounter && m_gapCounter < 2 * m_ringBlocks) {
            StartJapanese();
            return count;  // the demodulator starts with the next block
        }
        if (m_gapCounter <= kGapStart) {
            --m_gapCounter;  // a signal right after the ring pushes the window back
        } else {
            m_ringCounter = 0;  // the gap is over without a transmission
        }
    }
    return RunResonators(samples, count, meanAbsDiff);
}

int CDecCIDEx::RunResonators(const float* samples, int count, double meanAbsDiff) {
    for (int i = 0; i < count; ++i) {
        const double x = samples[i];
        if (m_state == kMeasuringMark) {
            m_resonators[kMark].Step(x);
            m_resonators[k1300].Step(x);
        } else {
            m_resonators[kCentre].Step(x);
            if (m_callWaiting != 0) {
                m_resonators[k1633].Step(x);
                m_resonators[k941].Step(x);
            }
        }
        if (++m_subBlockCounter < kSubBlock) continue;

        m_samplePos += kSubBlock;
        m_subBlockCounter = 0;
        if (m_state == kMeasuringMark) {
            if (EvaluateMark(meanAbsDiff)) return i + 1;
        } else {
            EvaluateSearch(meanAbsDiff);
        }
        if (m_state == kMeasuringMark) {
            ClearResonator(kMark);
            ClearResonator(k1300);
        } else {
            ClearResonator(kCentre);
            ClearResonator(k1633);
            ClearResonator(k941);
        }
    }
    return -1;
}

void CDecCIDEx::Miss() {
    if (++m_missCounter > kMissLimit) {
        m_centreRun = 0;
        m_markBalance = 0;
        m_state = kSearching;
    }
}

bool CDecCIDEx::EvaluateMark(double meanAbsDiff) {
    const double mark = m_resonators[kMark].Power() / (meanAbsDiff * kSubBlock);
    const double v23Mark = m_resonators[k1300].Power() / (meanAbsDiff * kSubBlock);
    if (mark > v23Mark && mark > kMarkPower) {
        ++m_markBalance;
        m_missCounter = 0;
    } else if (v23Mark > mark && v23Mark > kMarkPower) {
        --m_markBalance;
        m_missCounter = 0;
    } else if (m_callWaiting == 0) {
        m_centreRun = 0;
        m_markBalance = 0;
        m_state = kSearching;
    } else {
        Miss();
    }
    if (std::abs(m_markBalance) <= m_minimumRun) return false;
    StartStandard(m_markBalance < 0);
    return m_state == kReceiving;
}

void CDecCIDEx::EvaluateSearch(double meanAbsDiff) {
    const double silenceLevel = GetSilenceLevel();
    const double centre = m_resonators[kCentre].Power() / (silenceLevel * meanAbsDiff * kSubBlock);
    if (centre > kCentrePower) {
        ++m_centreRun;
    } else if (m_centreRun > 2 * m_minimumRun) {
        m_state = kMeasuringMark;  // the channel seizure has ended
    } else {
        m_centreRun = 0;
    }
    if (m_callWaiting == 0) return;

    const double threshold = GetSilenceThreshold();
    bool pair = false;
    const double level1633 = ToneLevelDb(std::sqrt(m_resonators[k1633].Power()) / kSubBlock);
    if (level1633 > static_cast<float>(threshold * 0.5 + 5.0) && meanAbsDiff > kDualToneLevel) {
        const double level941 = ToneLevelDb(std::sqrt(m_resonators[k941].Power()) / kSubBlock);
        pair = level941 > static_cast<float>(threshold * 0.5);
    }
    if (pair) {
        ++m_dualToneRun;
    } else {
        if (m_dualToneRun > m_minimumRun) m_state = kMeasuringMark;  // the DTMF D answer has ended
        m_dualToneRun = 0;
    }
}

void CDecCIDEx::ClearResonator(int index) {
    m_resonators[index] = Resonator{0.0, 0.0, m_savedCoefficients[index]};
}

void CDecCIDEx::StartJapanese() {
    if (SetParameters(GetSampleRate(), kV23Space, kV23Mark, static_cast<float>(m_baudRate)) != S_OK) {
        ResetMessage();  // no bit rate to receive at: keep searching
        return;
    }
    m_level = 1;
    m_stop = false;
    m_state = kReceivingJapanese;
    m_ringCounter = 0;
    m_gapCounter = 0;
    m_japaneseSamples = 0;
}

void CDecCIDEx::StartStandard(bool v23) {
    const HRESULT configured =
        v23 ? SetParameters(GetSampleRate(), kV23Space, kV23Mark, static_cast<float>(m_baudRate))
            : SetParameters(GetSampleRate(), m_spaceFreq, m_markFreq, static_cast<float>(m_baudRate));
    if (configured != S_OK) {
        ResetMessage();
        return;
    }
    m_idleBalance = kReceptionStarted;
    m_state = kReceiving;
    m_level = 1;
    m_stop = false;
}

void CDecCIDEx::OnBit(std::int32_t level, std::uint32_t) {
    const std::int32_t progress = OnCIDBit(level, m_state == kReceivingJapanese);
    if (m_idleBalance == kReceptionStarted) {
        // Idle mark bits before the first start bit do not count.
        if (progress < 0) m_idleBalance = progress;
        return;
    }
    m_idleBalance += progress;
    if (m_state == kReceiving && m_idleBalance >= kIdleLimit) ResetMessage();  // a stalled transmission
}

void CDecCIDEx::ResetMessage() {
    CDecCIDFMT::ResetMessage();
    m_stop = true;
    for (int i = 0; i < kResonatorCount; ++i) ClearResonator(i);
    m_ringCounter = 0;
    m_state = kSearching;
    m_dualToneRun = 0;
    m_idleBalance = 0;
    m_centreRun = 0;
    m_markBalance = 0;
    m_subBlockCounter = 0;
    m_gapCounter = 0;
    m_missCounter = 0;
    m_japaneseSamples = 0;
}
