#include "tones/CDecDTMF.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

std::int32_t ClampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Index of the largest of four powers; on a tie the lower index wins.
int ArgMax4(const double* power) {
    int best = 0;
    for (int i = 1; i < 4; ++i)
        if (power[i] > power[best]) best = i;
    return best;
}

}  // namespace

// The per-block working set, allocated zeroed by SetParameters.
struct CDecDTMF::State {
    std::int32_t lastKey = 0;
    std::int32_t toneBlocks = 0;
    std::int32_t faxToneBlocks = 0;
    ResonatorBank resonators;
    double blockEnergy = 0.0;
    std::uint32_t sampleCounter = 0;
    std::uint32_t samplesInBlock = 0;
    // Robust profile only: the row and column resonators' states at the half block.
    double halfNewer[8] = {};
    double halfOlder[8] = {};
};

CDecDTMF::CDecDTMF() = default;
CDecDTMF::~CDecDTMF() = default;

void CDecDTMF::GetDefaultFreqs(float rowFreqs[4], float colFreqs[4]) {
    static constexpr float kRows[4] = {697.0f, 770.0f, 852.0f, 941.0f};
    static constexpr float kCols[4] = {1209.0f, 1336.0f, 1477.0f, 1633.0f};
    std::copy_n(kRows, 4, rowFreqs);
    std::copy_n(kCols, 4, colFreqs);
}

void CDecDTMF::SetTwist(float normalTwist, float reverseTwist) {
    m_normalTwist = normalTwist;
    m_reverseTwist = reverseTwist;
}

void CDecDTMF::SetFreqs(const float* rowFreqs, const float* colFreqs) {
    m_rowFreqs = rowFreqs;
    m_colFreqs = colFreqs;
}

HRESULT CDecDTMF::SetParameters(float sensitivityDb, float energyThreshold,
                                std::int32_t minDurationMs, std::int32_t minIntervalMs,
                                float colHarmonicFactor, float rowHarmonicFactor,
                                std::int32_t relativePeakTest) {
    if (Sample() == nullptr) return E_FAIL;
    if (m_rowFreqs == nullptr || m_colFreqs == nullptr) return E_POINTER;

    const std::int32_t fs = GetSampleRate();
    // Durations are converted at 8 samples per millisecond whatever the rate: the block
    // length scales with the rate, so a block always lasts 6.25 ms (short) or 12.75 ms.
    const bool shortMode = minDurationMs < 40;
    const std::int64_t blockLength =
        static_cast<std::int64_t>(static_cast<double>(std::int64_t{fs} * (shortMode ? 50 : 102)) /
                                  8000.0);
    if (fs < 1 || blockLength < 1 || blockLength > std::numeric_limits<std::int32_t>::max())
        return E_INVALIDARG;

    m_sensitivityRatio = static_cast<float>(
        std::exp(2.30258509299404568402 * static_cast<double>(sensitivityDb) / 20.0));
    m_energyThreshold = energyThreshold;
    m_colHarmonicFactor = colHarmonicFactor;
    m_rowHarmonicFactor = rowHarmonicFactor;
    m_relativePeakTest = relativePeakTest != 0;
    m_blockLength = static_cast<std::int32_t>(blockLength);

    const std::int64_t toneSamples = std::int64_t{minDurationMs} * 8;
    const std::int64_t gapSamples = std::int64_t{minIntervalMs} * 8;
    if (shortMode) {
        m_minimumBlocks = ClampToInt32(std::max<std::int64_t>(toneSamples / 50 - 1, 1));
        m_minimumGapBlocks = ClampToInt32(std::max<std::int64_t>(gapSamples / 50 - 1, 0));
        // Short blocks resolve the tones too coarsely for the relative-peak test, and
        // hold half the energy.
        m_relativePeakTest = false;
        m_energyThreshold *= 0.25f;
    } else {
        m_minimumBlocks = ClampToInt32(toneSamples / 102);
        m_minimumGapBlocks = ClampToInt32(std::max<std::int64_t>(gapSamples / 102, 0));
    }
    m_gapCount = 0;
    m_toleranceBlocks =
        static_cast<std::int32_t>(static_cast<double>(m_minimumBlocks) * 0.35 + 0.5);

    // Reset in place rather than replaced: a host handler reached from OnDTMF may change
    // the settings while a block is being evaluated, and the evaluation must not be left
    // holding a freed record.
    if (m_state) {
        *m_state = State{};
    } else {
        m_state = std::make_unique<State>();
    }
    for (int i = 0; i < 4; ++i) {
        const float rowRatio = m_rowFreqs[i] / static_cast<float>(fs);
        const float colRatio = m_colFreqs[i] / static_cast<float>(fs);
        m_coefficients[kRow + i] = 2.0 * std::cos(kTwoPi * static_cast<double>(rowRatio));
        m_coefficients[kCol + i] = 2.0 * std::cos(kTwoPi * static_cast<double>(colRatio));
        m_coefficients[kRowHarmonic + i] =
            2.0 * std::cos(kTwoPi * (2.0 * static_cast<double>(m_rowFreqs[i]) / fs));
        m_coefficients[kColHarmonic + i] =
            2.0 * std::cos(kTwoPi * (2.0 * static_cast<double>(m_colFreqs[i]) / fs));
    }
    m_coefficients[kFax] = 2.0 * std::cos(kTwoPi * kFaxToneFrequency / fs);
    m_coefficients[kGuard] = 2.0 * std::cos(kTwoPi * kGuardFrequency / fs);
    // A resonator at 0 Hz (coefficient 2) sums the block: its power is (sum x)^2. It runs
    // in a lane that is computed anyway, and only the robust profile reads it.
    m_coefficients[kBlockSum] = 2.0;
    // The guard is loaded with the others so that the first block tests the same guard
    // tone as every later block.
    m_state->resonators.Restart(m_coefficients);
    m_activeProfile = m_profile;
    m_faxToneMinimumBlocks = kExactFaxToneBlocks;
    if (m_activeProfile == Profile::kRobust) ConfigureRobust(fs, toneSamples, shortMode);

    KeyReset();
    return S_OK;
}

void CDecDTMF::ConfigureRobust(std::int32_t fs, std::int64_t toneSamples, bool shortMode) {
    // A pure tone pair puts N/2 times the block's energy into its two resonators.
    m_energyThreshold = std::max(m_energyThreshold, static_cast<float>(kRobustPairShare * m_blockLength / 2.0));
    if (!shortMode) {
        // Whole blocks inside a tone of the minimum duration in its worst alignment (the
        // durations count 8 samples per millisecond, blocks 102): two for 40 ms.
        m_minimumBlocks = ClampToInt32(std::max<std::int64_t>((toneSamples - 101) / 102, 2));
        m_toleranceBlocks = static_cast<std::int32_t>(static_cast<double>(m_minimumBlocks) * 0.35 + 0.5);
    }
    // A calling tone lasts half a second; paging and signalling tones near 1100 Hz last
    // 100 ms or less. The robust profile wants 350 ms (blocks last 6.25 or 12.75 ms).
    m_faxToneMinimumBlocks = static_cast<std::int32_t>(kRobustFaxMs / (shortMode ? 6.25 : 12.75));
    m_halfBlock = m_blockLength / 2;
    for (int i = 0; i < 8; ++i) {
        const float f = i < 4 ? m_rowFreqs[i] : m_colFreqs[i - 4];
        const double w = kTwoPi * static_cast<double>(f / static_cast<float>(fs));
        const double shift = w * (m_blockLength - m_halfBlock);
        m_cosW[i] = std::cos(w);
        m_sinW[i] = std::sin(w);
        m_cosShift[i] = std::cos(shift);
        m_sinShift[i] = std::sin(shift);
        // A tone off by d (relative) advances its phase by w d N / 2 more than the bin's
        // between the two halves; the test compares the cosine of that angle with the
        // cosine of the largest one allowed (every angle passes when that reaches pi).
        const double limit = kRobustMaxDeviation * w * m_blockLength / 2.0;
        m_cosLimit[i] = limit >= kTwoPi / 2.0 ? -2.0 : std::cos(limit);
    }
}

std::int32_t CDecDTMF::OnSampleData(const float* samples, int count, double, double) {
    if (!m_state || samples == nullptr) return 0;
    State& state = *m_state;
    const bool robust = m_activeProfile == Profile::kRobust;
    while (count > 0) {
        int room = m_blockLength - static_cast<int>(state.samplesInBlock);
        if (robust && static_cast<int>(state.samplesInBlock) < m_halfBlock)
            room = m_halfBlock - static_cast<int>(state.samplesInBlock);
        const int piece = std::min(count, room);
        ProcessPiece(samples, piece);
        state.samplesInBlock += static_cast<std::uint32_t>(piece);
        state.sampleCounter += static_cast<std::uint32_t>(piece);
        if (robust && static_cast<int>(state.samplesInBlock) == m_halfBlock) {
            for (int i = 0; i < 8; ++i) {
                state.halfNewer[i] = state.resonators.NewerState(kRow + i);
                state.halfOlder[i] = state.resonators.OlderState(kRow + i);
            }
        }
        if (state.samplesInBlock >= static_cast<std::uint32_t>(m_blockLength)) EndOfBlock();
        samples += piece;
        count -= piece;
    }
    return 0;
}

void CDecDTMF::ProcessPiece(const float* samples, int count) {
    m_state->resonators.Feed(samples, count, m_state->blockEnergy);
}

double CDecDTMF::EnergyWithoutMean(const double power[kLanes]) const {
    // A DC offset is no tone energy: E - (sum x)^2 / N.
    return m_state->blockEnergy - power[kBlockSum] / m_blockLength;
}

bool CDecDTMF::FrequencyCheck(int lane) const {
    // Goertzel outputs Y = s1 - e^{-jw} s2 after the first half (Y1) and the whole block;
    // the second half's own output is Y2 = Y - e^{jw(N-H)} Y1. For a tone at the bin
    // frequency Y2 conj(Y1) turns by w(N-H); what it turns beyond that is the deviation.
    const State& state = *m_state;
    const int i = lane - kRow;
    const double c = m_cosW[i], sn = m_sinW[i], cs = m_cosShift[i], ss = m_sinShift[i];
    const double s1 = state.resonators.NewerState(lane), s2 = state.resonators.OlderState(lane);
    const double yr = s1 - c * s2, yi = sn * s2;
    const double y1r = state.halfNewer[i] - c * state.halfOlder[i], y1i = sn * state.halfOlder[i];
    const double y2r = yr - (cs * y1r - ss * y1i), y2i = yi - (ss * y1r + cs * y1i);
    const double pr = y2r * y1r + y2i * y1i, pi = y2i * y1r - y2r * y1i;
    const double dr = pr * cs + pi * ss, di = pi * cs - pr * ss;
    // |arg d| <= limit, without the arc tangent: cos(arg d) = dr / |d| >= cos(limit).
    return dr >= m_cosLimit[i] * std::sqrt(dr * dr + di * di);
}

void CDecDTMF::EndOfBlock() {
    State& state = *m_state;
    double power[kLanes];
    state.resonators.Powers(power);
    const double faxPower = power[kFax];
    const bool robust = m_activeProfile == Profile::kRobust;
    const double energy = robust ? EnergyWithoutMean(power) : state.blockEnergy;

    int row = 0;
    int col = 0;
    if (TonePairTest(power, energy, row, col) &&
        (!robust || (FrequencyCheck(kRow + row) && FrequencyCheck(kCol + col)))) {
        const int key = 4 * row + col;
        ++m_keyCounters[key];
        ++state.toneBlocks;
        // A different key arrived: settle the burst before it. The first block of a burst
        // has no burst before it; with a minimum of one block it would otherwise report
        // its own key at once and again after its gap. (With two or more, the first block
        // never reaches the minimum, so nothing else changes.)
        if (state.lastKey != key && state.toneBlocks >= m_minimumBlocks && state.toneBlocks > 1) {
            const int best = BestKey();
            if (m_keyCounters[best] >= m_minimumBlocks) {
                ReportKey(kKeyTable[best]);
                KeyReset();
            } else if (state.toneBlocks > 3 * m_minimumBlocks) {
                KeyReset();
            }
        }
        state.lastKey = key;
        m_gapCount = 0;
        FaxToneEndCheck();
    } else {
        if (state.toneBlocks < m_toleranceBlocks) {
            if (state.toneBlocks > 0) KeyReset();  // too short to be a key: forget it
        } else {
            ++m_gapCount;
            if (state.toneBlocks < m_minimumBlocks) {
                if (m_gapCount > 2 * m_toleranceBlocks) KeyReset();
            } else if (m_gapCount >= m_minimumGapBlocks) {
                const int best = BestKey();
                const int counted = m_keyCounters[best];
                if (counted >= m_minimumBlocks ||
                    (counted > m_minimumBlocks - m_toleranceBlocks &&
                     state.toneBlocks >= m_toleranceBlocks + m_minimumBlocks - 1)) {
                    ReportKey(kKeyTable[best]);
                    KeyReset();
                } else if (state.toneBlocks > 2 * m_minimumBlocks) {
                    KeyReset();
                }
            }
        }
        // In the robust profile the calling tone must hold most of the block's energy (a
        // pure tone gives N/2 times it): a tone pair with 1100 Hz in it is no calling tone.
        const bool faxHoldsTheBlock = !robust || faxPower > kRobustFaxShare * m_blockLength / 2.0 * energy;
        if (faxPower >= 0.8 && faxPower > 21.0 * energy && faxHoldsTheBlock) {
            if (faxPower > 2.0 * power[kGuard]) ++state.faxToneBlocks;
        } else {
            FaxToneEndCheck();
        }
    }
    RestartBlock();
}

bool CDecDTMF::TonePairTest(const double power[kLanes], double energy, int& row, int& col) const {
    const double* rows = power + kRow;
    const double* cols = power + kCol;
    row = ArgMax4(rows);
    col = ArgMax4(cols);
    const double r = rows[row];
    const double c = cols[col];
    const double n = m_blockLength;

    if (!(r + c > m_energyThreshold * energy)) return false;
    if (m_sensitivityRatio != 0.0f &&
        !(std::sqrt(r) / n >= m_sensitivityRatio && std::sqrt(c) / n >= m_sensitivityRatio))
        return false;
    const float reverseTwist = m_reverseTwist != 0.0f ? m_reverseTwist : kBuiltInTwistLimit;
    const float normalTwist = m_normalTwist != 0.0f ? m_normalTwist : kBuiltInTwistLimit;
    if (!(reverseTwist * r > c)) return false;
    if (!(normalTwist * c > r)) return false;
    if (m_relativePeakTest) {
        // Every other tone of the group at least 6.3 times (about 8 dB) weaker in power.
        for (int i = 0; i < 4; ++i) {
            if (i != col && !(cols[i] * 6.3 <= c)) return false;
            if (i != row && !(rows[i] * 6.3 <= r)) return false;
        }
    }
    return c > power[kColHarmonic + col] * m_colHarmonicFactor &&
           r > power[kRowHarmonic + row] * m_rowHarmonicFactor;
}

int CDecDTMF::BestKey() const {
    int best = 0;
    for (int i = 1; i < 16; ++i)
        if (m_keyCounters[i] > m_keyCounters[best]) best = i;
    return best;
}

void CDecDTMF::ReportKey(char key) { OnDTMF(key, static_cast<std::int32_t>(m_state->sampleCounter)); }

void CDecDTMF::FaxToneEndCheck() {
    State& state = *m_state;
    if (state.faxToneBlocks > m_faxToneMinimumBlocks) {
        // Whatever the block held, a finished calling tone is reported as 'f' and makes
        // any following key a new key.
        state.lastKey = kLastKeyAfterFaxTone;
        ReportKey(kFaxCallingToneKey);
    }
    state.faxToneBlocks = 0;
}

void CDecDTMF::KeyReset() {
    std::fill(std::begin(m_keyCounters), std::end(m_keyCounters), std::uint8_t{0});
    m_state->toneBlocks = 0;
    m_state->lastKey = -1;
    m_gapCount = 0;
}

void CDecDTMF::RestartBlock() {
    State& state = *m_state;
    state.resonators.Restart(m_coefficients);
    state.blockEnergy = 0.0;
    state.samplesInBlock = 0;
}

void CDecDTMF::OnDTMF(char, std::int32_t) {}
