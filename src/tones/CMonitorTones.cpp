#include "tones/CMonitorTones.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sample/ToneLevel.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Blocks hold 92 % of the on-time, so a tone that starts anywhere inside a block still
// fills the required number of whole blocks.
constexpr double kOnTimeShare = 0.00092;  // of a millisecond, in seconds

// A definition whose block count does not fit the counters is refused rather than wrapped.
bool FitsCounter(double value) { return value > -2147483648.0 && value < 2147483648.0; }

}  // namespace

CMonitorTones::BlockBounds CMonitorTones::Bounds(std::int32_t sampleRate) const {
    if (m_blockLayout == BlockLayout::kExact) return {64, 128, 192};
    // The 8 kHz bounds in time; never below them, so a low rate keeps the exact layout.
    const auto scaled = [sampleRate](std::int32_t samplesAt8k) {
        return std::max(samplesAt8k, static_cast<std::int32_t>(static_cast<std::int64_t>(samplesAt8k) * sampleRate / 8000));
    };
    return {scaled(64), scaled(128), scaled(192)};
}

CMonitorTones::CMonitorTones() = default;

CMonitorTones::~CMonitorTones() { Clear(); }

void CMonitorTones::SetOwner(void* owner, OwnerHandler handler, std::int32_t ownerMode) {
    m_owner = owner;
    m_ownerHandler = handler;
    m_ownerMode = ownerMode;
}

const monitortone_tag* CMonitorTones::FindTone(std::uint32_t appSpecific) const {
    for (const auto& tone : m_tones)
        if (tone->AppSpecific == appSpecific) return tone.get();
    return nullptr;
}

HRESULT CMonitorTones::AddTone(std::span<const tag_tone> definitions) {
    if (Sample() == nullptr) return E_FAIL;
    for (const tag_tone& d : definitions) {
        const std::int32_t frequencies[4] = {d.Frequency1, d.Frequency2, d.Frequency3, d.Frequency4};
        AddTone(static_cast<std::uint32_t>(d.AppSpecific), d.MinPeriodOn, d.MinPeriodOff, frequencies, d.MaxAmpdB,
                d.MinAmpdB, d.Tolerance);
    }
    return S_OK;
}

HRESULT CMonitorTones::AddTone(std::uint32_t appSpecific, std::int32_t onTimeMs, std::int32_t offTimeMs,
                               std::span<const std::int32_t> frequencies, double maxAmpdB, double minAmpdB,
                               float tolerance) {
    if (Sample() == nullptr) return E_FAIL;
    if (frequencies.size() > static_cast<std::size_t>(monitortone_tag::kMaxFrequencies)) return E_INVALIDARG;
    for (std::int32_t f : frequencies)
        if (f == INT32_MIN) return E_INVALIDARG;  // its magnitude is no int32
    if (FindTone(appSpecific) != nullptr) return kDuplicateTone;

    const std::int32_t fs = GetSampleRate();
    const double samples = std::trunc(fs * (onTimeMs * kOnTimeShare));
    const BlockBounds bounds = Bounds(fs);
    if (samples < bounds.minimum) return kToneTooShort;
    if (!FitsCounter(samples)) return E_INVALIDARG;
    const auto n = static_cast<std::int32_t>(samples);

    // Blocks of 64 to 127 samples while that makes at most six of them; longer tones use
    // 128- or 192-sample blocks so the per-block work stays small.
    std::int32_t blocks = n / bounds.minimum;
    std::int32_t blockLength = n / blocks;
    if (blocks > 12) {
        blockLength = bounds.longest;
        blocks = n / bounds.longest;
    } else if (blocks > 6) {
        blockLength = bounds.longer;
        blocks = n / bounds.longer;
    }
    const double offBlocks = std::trunc(fs * (offTimeMs * kOnTimeShare) / blockLength);
    if (!FitsCounter(offBlocks)) return E_INVALIDARG;

    auto tone = std::make_unique<monitortone_tag>();
    tone->AppSpecific = appSpecific;
    tone->MinPeriodOn = static_cast<std::uint32_t>(onTimeMs);
    tone->MinPeriodOff = static_cast<std::uint32_t>(offTimeMs);
    tone->blockLength = blockLength;
    tone->onBlocks = blocks;
    // A lower limit at or above the upper one could never pass: both are dropped.
    tone->MaxAmpdB = maxAmpdB < 0.0 ? maxAmpdB : 0.0;
    tone->MinAmpdB = minAmpdB < 0.0 ? minAmpdB : 0.0;
    if (tone->MaxAmpdB < 0.0 && tone->MinAmpdB < 0.0 && minAmpdB >= maxAmpdB) {
        tone->MaxAmpdB = 0.0;
        tone->MinAmpdB = 0.0;
    }
    tone->offBlocks = static_cast<std::int32_t>(offBlocks);
    tone->gapTolerance = static_cast<std::int32_t>(blocks * 0.02 + 1.0 + 0.5);
    tone->Tolerance = tolerance;

    for (std::int32_t f : frequencies) {
        if (f == 0) continue;
        const bool repeated = std::any_of(tone->frequencies, tone->frequencies + tone->frequencyCount,
                                          [f](const ToneFrequency& r) { return (r.absent ? -r.frequency : r.frequency) == f; });
        if (repeated) continue;
        const int lane = tone->frequencyCount++;
        ToneFrequency& record = tone->frequencies[lane];
        record.frequency = std::abs(f);
        record.absent = f < 0;
        record.index = lane;
        tone->savedCoefficients[lane] = 2.0 * std::cos(2.0 * kPi * record.frequency / fs);
    }
    tone->resonators.Restart(tone->savedCoefficients);
    m_tones.push_back(std::move(tone));
    return S_OK;
}

HRESULT CMonitorTones::Clear() {
    if (m_feeding) {
        // A report of one of these tones is still on the stack: keep them until it unwinds.
        for (auto& tone : m_tones) m_retired.push_back(std::move(tone));
    }
    m_tones.clear();
    ++m_generation;
    return S_OK;
}

std::int32_t CMonitorTones::OnSampleData(const float* samples, int count, double, double) {
    if (m_tones.empty() || count <= 0) return 0;
    m_feeding = true;
    const std::uint32_t generation = m_generation;
    // Tones added from inside a report join with the next block of the stream.
    const std::size_t toneCount = m_tones.size();

    // The samples are fed in stretches inside which no tone's block ends, every tone over
    // the same stretch, so the block decisions (and their reports) come in the order of
    // the samples, and of the tones within one sample.
    int done = 0;
    while (done < count) {
        int stretch = count - done;
        for (std::size_t i = 0; i < toneCount; ++i) {
            const monitortone_tag& tone = *m_tones[i];
            stretch = std::min(stretch, tone.blockLength - tone.samplesInBlock);
        }
        for (std::size_t i = 0; i < toneCount; ++i) {
            monitortone_tag& tone = *m_tones[i];
            if (tone.frequencyCount > 0) {
                tone.resonators.FeedMagnitudes(samples + done, stretch, tone.blockSum, tone.frequencyCount);
            } else {
                for (int k = 0; k < stretch; ++k) tone.blockSum += std::fabs(samples[done + k]);
            }
            tone.samplesInBlock += stretch;
            tone.sampleCounter += static_cast<std::uint32_t>(stretch);
        }
        done += stretch;
        for (std::size_t i = 0; i < toneCount; ++i) {
            monitortone_tag& tone = *m_tones[i];
            if (tone.samplesInBlock < tone.blockLength) continue;
            DecideBlock(tone);
            tone.samplesInBlock = 0;
            if (m_generation != generation) goto reconfigured;  // the tones were cleared by a report
        }
    }
reconfigured:
    m_feeding = false;
    m_retired.clear();
    return 0;
}

void CMonitorTones::DecideBlock(monitortone_tag& tone) {
    const bool quiet = GetSilenceLevel() > tone.blockSum / tone.blockLength;
    const bool match = Match(tone, quiet);
    const std::uint32_t generation = m_generation;
    OnBlockDecided(&tone, quiet);
    tone.blockSum = 0.0;
    if (m_generation != generation) return;
    Count(tone, match);
}

bool CMonitorTones::Match(monitortone_tag& tone, bool quiet) {
    if (tone.frequencyCount == 0) return quiet;  // a silence tone matches quiet blocks
    if (quiet) return false;                     // the resonators run on into the next block

    double power[ResonatorBank::kLanes];
    tone.resonators.Powers(power);
    bool match = true;
    for (int i = 0; i < tone.frequencyCount; ++i) {
        if (!match && !m_evaluateAll) continue;
        ToneFrequency& record = tone.frequencies[i];
        // Rounding can leave a vanishing power a hair below zero; it is no level at all
        // rather than a NaN that would stick in the smoothed level.
        const double level = ToneLevelDb(std::sqrt(std::max(power[i], 0.0)) / tone.blockLength);
        record.smoothedLevel = record.smoothedLevel == 0.0 ? level : (record.smoothedLevel + level) * 0.5;
        bool ok = true;
        if (tone.MinAmpdB < 0.0 && level < tone.MinAmpdB) {
            ok = false;
        } else if (tone.MaxAmpdB < 0.0 && level > tone.MaxAmpdB) {
            ok = false;
        }
        if (record.absent) ok = !ok;
        match = ok;
    }
    tone.resonators.Restart(tone.savedCoefficients);
    return match;
}

void CMonitorTones::Count(monitortone_tag& tone, bool match) {
    std::int32_t& k = tone.stateCounter;
    if (match) {
        if (k < 0) {
            k = 0;  // back on during the off phase: the pending report is cancelled
            return;
        }
        ++k;
        tone.gapCount = 0;
        if (tone.offBlocks == 0 && k >= tone.onBlocks) {
            k = 0;
            OnTone(&tone);
        }
    } else if (k > tone.onBlocks) {
        if (tone.offBlocks != 0) {
            k = -1;  // the off phase begins
        } else {
            k = 0;
            OnTone(&tone);
        }
    } else if (k >= 0) {
        if (++tone.gapCount >= tone.gapTolerance) {
            tone.gapCount = 0;
            k = 0;
        }
    } else {
        --k;
        if (k <= -tone.offBlocks) {
            k = 0;
            OnTone(&tone);
        }
    }
}

void CMonitorTones::OnTone(monitortone_tag* tone) {
    if (m_owner != nullptr && m_ownerMode != 0 && m_ownerHandler != nullptr) m_ownerHandler(m_owner, tone, 0);
}

void CMonitorTones::OnBlockDecided(monitortone_tag* tone, bool quiet) {
    if (m_owner != nullptr && m_ownerMode == 0 && m_ownerHandler != nullptr)
        m_ownerHandler(m_owner, tone, quiet ? 1 : 0);
}
