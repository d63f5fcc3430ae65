#pragma once

#include <cstdint>
#include <memory>

#include "platform/HResult.h"
#include "sample/CSampleEvent.h"
#include "tones/ResonatorBank.h"

// DTMF key detector. Runs 18 Goertzel resonators (four row tones, four column tones,
// their second harmonics, 1100 Hz and a guard tone) over consecutive, non-overlapping
// blocks; a per-block tone-pair test and a counting state machine across blocks turn
// the blocks into one report per key press.
class CDecDTMF : public CSampleEvent {
public:
    static constexpr char kKeyTable[17] = "123A456B789C*0#D";
    // Reported for a sustained 1100 Hz tone: the fax calling tone.
    static constexpr char kFaxCallingToneKey = 'f';
    static constexpr std::int32_t kLastKeyAfterFaxTone = 102;
    // The guard resonator sits well away from 1100 Hz and above every DTMF tone, but
    // inside the voice band: a pure calling tone leaks almost nothing into it, while
    // broadband noise or speech that merely peaks near 1100 Hz puts comparable power
    // there. At 8 kHz it is fs/4, whose coefficient is exactly the 0 a fresh record holds.
    static constexpr double kGuardFrequency = 2000.0;
    static constexpr double kFaxToneFrequency = 1100.0;
    // Twist limit (power ratio, 12 dB) that holds while a twist test is switched off.
    // Without any limit a lone tone counts as a key: a rectangular block leaks at least
    // about 1/100 of a tone's power (20 dB down) into the strongest tone of the other
    // group, which passes every other test. Real keys arrive with a few dB of twist.
    static constexpr float kBuiltInTwistLimit = 15.848932f;

    // Exact: the detector as designed. Robust (opt-in) adds the tests a telephone receiver
    // is usually held to: block energy without its mean, a tone pair holding about 70 % of
    // the block's energy, each tone within 2.5 % of its frequency, two blocks enough for a
    // 40 ms tone in any alignment, and a fax calling tone that holds most of the block.
    enum class Profile { kExact = 0, kRobust = 1 };
    // Robust tests in numbers.
    static constexpr double kRobustPairShare = 35.0 / 51.0;  // of a pure pair's power-to-energy ratio N/2
    static constexpr double kRobustMaxDeviation = 0.025;
    static constexpr double kRobustFaxShare = 0.7;
    static constexpr double kRobustFaxMs = 350.0;
    // More blocks than this of 1100 Hz make a calling tone (exact profile).
    static constexpr std::int32_t kExactFaxToneBlocks = 5;

    CDecDTMF();
    ~CDecDTMF() override;

    // Takes effect at the next SetParameters.
    void SetProfile(Profile profile) { m_profile = profile; }
    Profile GetProfile() const { return m_profile; }

    // Writes the standard row (697, 770, 852, 941 Hz) and column (1209, 1336, 1477,
    // 1633 Hz) frequencies.
    static void GetDefaultFreqs(float rowFreqs[4], float colFreqs[4]);

    // Twist limits as power ratios; 0 leaves the built-in 12 dB limit in force.
    void SetTwist(float normalTwist, float reverseTwist);

    // Points the detector at the caller's frequency tables, read at every SetParameters.
    void SetFreqs(const float* rowFreqs, const float* colFreqs);

    // Configures the detector for the attached stream's rate and restarts all counting.
    // Returns E_FAIL when no stream is attached (nothing changes), E_POINTER when no
    // frequency tables are set, E_INVALIDARG when the rate gives an empty block.
    HRESULT SetParameters(float sensitivityDb, float energyThreshold, std::int32_t minDurationMs,
                          std::int32_t minIntervalMs, float colHarmonicFactor,
                          float rowHarmonicFactor, std::int32_t relativePeakTest);

    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff,
                              double meanSquare) override;

    // Raised once per key, with the detector's sample counter at the end of the deciding
    // block. The detector's own version does nothing.
    virtual void OnDTMF(char key, std::int32_t position);

    // Read-only view of the configuration, for tests and diagnostics.
    std::int32_t BlockLength() const { return m_blockLength; }
    std::int32_t MinimumBlocks() const { return m_minimumBlocks; }
    std::int32_t MinimumGapBlocks() const { return m_minimumGapBlocks; }
    std::int32_t ToleranceBlocks() const { return m_toleranceBlocks; }
    bool RelativePeakTestOn() const { return m_relativePeakTest; }
    float EnergyThresholdInUse() const { return m_energyThreshold; }
    float SensitivityRatio() const { return m_sensitivityRatio; }

    // 18 resonators in a bank of 20 lanes; the 19th sums the block, the last is idle.
    static constexpr int kResonators = 18;
    static constexpr int kLanes = ResonatorBank::kLanes;
    enum Resonator { kRow = 0, kCol = 4, kRowHarmonic = 8, kColHarmonic = 12, kFax = 16, kGuard = 17, kBlockSum = 18 };

private:
    struct State;

    void ProcessPiece(const float* samples, int count);
    double EnergyWithoutMean(const double power[kLanes]) const;
    bool FrequencyCheck(int lane) const;
    void ConfigureRobust(std::int32_t fs, std::int64_t toneSamples, bool shortMode);
    void EndOfBlock();
    bool TonePairTest(const double power[kLanes], double energy, int& row, int& col) const;
    int BestKey() const;
    void ReportKey(char key);
    void FaxToneEndCheck();
    void KeyReset();
    void RestartBlock();

    std::unique_ptr<State> m_state;
    Profile m_profile = Profile::kExact;
    Profile m_activeProfile = Profile::kExact;
    // Robust profile: the block's half (where the resonators' states are copied), and per
    // row and column lane the rotations that turn the two half-block outputs into a phase
    // advance: e^{-jw} for the output, e^{jw(N-H)} and e^{-jw(N-H)} between the halves.
    std::int32_t m_halfBlock = 0;
    std::int32_t m_faxToneMinimumBlocks = kExactFaxToneBlocks;
    double m_cosW[8] = {}, m_sinW[8] = {}, m_cosShift[8] = {}, m_sinShift[8] = {};
    double m_cosLimit[8] = {};
    alignas(32) double m_coefficients[kLanes] = {};
    std::int32_t m_blockLength = 0;
    std::int32_t m_minimumBlocks = 0;
    std::int32_t m_minimumGapBlocks = 0;
    bool m_relativePeakTest = false;
    float m_colHarmonicFactor = 0.0f;
    float m_rowHarmonicFactor = 0.0f;
    float m_energyThreshold = 0.0f;
    float m_normalTwist = 0.0f;
    float m_reverseTwist = 0.0f;
    float m_sensitivityRatio = 0.0f;
    std::int32_t m_toleranceBlocks = 0;
    std::int32_t m_gapCount = 0;
    std::uint8_t m_keyCounters[16] = {};
    const float* m_colFreqs = nullptr;
    const float* m_rowFreqs = nullptr;
};
