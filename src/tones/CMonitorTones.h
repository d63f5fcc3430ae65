#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/HResult.h"
#include "sample/CSampleEvent.h"
#include "tones/monitortone_tag.h"
#include "tones/tag_tone.h"

// Recognises tones defined by their frequencies (up to four for a host's tone, none for
// silence), a minimum on-time, an optional minimum off-time and optional level limits.
// Every tone runs one Goertzel resonator per frequency over blocks whose length follows
// from its on-time (64 to 192 samples), decides per block whether it is present and
// counts blocks to decide when it is reported.
//
// The same engine measures the levels for the detectors that work from a table of
// frequencies (MF, paging, special information tones): such an owner takes every block's
// decision, with every frequency's smoothed level, through its handler instead of OnTone.
class CMonitorTones : public CSampleEvent {
public:
    // Called as handler(owner, tone, flag): per block (flag = quiet) in owner mode 0,
    // instead of OnTone (flag = 0) otherwise.
    using OwnerHandler = void (*)(void* owner, monitortone_tag* tone, int flag);

    // Result of adding a tone whose identifier is already present, or whose on-time gives
    // fewer than 64 samples.
    static constexpr HRESULT kDuplicateTone = -1;
    static constexpr HRESULT kToneTooShort = -2;

    // Exact: blocks of 64 to 192 samples at every rate, so at 44.1 kHz a block lasts
    // 4.4 ms and resolves 230 Hz. Rate-scaled (opt-in): the bounds grow with the rate
    // (64 x fs / 8000 ...), so every rate gets the blocks, and the frequency resolution,
    // that 8 kHz gets; at 8 kHz both are the same.
    enum class BlockLayout { kExact = 0, kRateScaled = 1 };

    CMonitorTones();
    ~CMonitorTones() override;

    // Applies to tones added afterwards.
    void SetBlockLayout(BlockLayout layout) { m_blockLayout = layout; }
    BlockLayout GetBlockLayout() const { return m_blockLayout; }

    void SetOwner(void* owner, OwnerHandler handler, std::int32_t ownerMode);
    // Evaluate every frequency of a tone every loud block, even after one has failed.
    void SetEvaluateAll(bool evaluateAll) { m_evaluateAll = evaluateAll; }

    // Adds every definition in order (each result ignored). E_FAIL when no stream is
    // attached, else S_OK.
    HRESULT AddTone(std::span<const tag_tone> definitions);
    // Adds one tone: S_OK, kDuplicateTone, kToneTooShort, E_FAIL without a stream, or
    // E_INVALIDARG for more frequencies than a tone holds. A frequency of 0 is no
    // frequency; a negative one must be absent; a repeated value (sign included) counts once.
    HRESULT AddTone(std::uint32_t appSpecific, std::int32_t onTimeMs, std::int32_t offTimeMs,
                    std::span<const std::int32_t> frequencies, double maxAmpdB, double minAmpdB,
                    float tolerance);
    // Removes every tone.
    HRESULT Clear();

    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff,
                              double meanSquare) override;

    // A tone met its timing rules. The base passes it to the owner when the owner mode is
    // not 0.
    virtual void OnTone(monitortone_tag* tone);
    // Every block decision of every tone. The base passes it to the owner in owner mode 0.
    virtual void OnBlockDecided(monitortone_tag* tone, bool quiet);

    int ToneCount() const { return static_cast<int>(m_tones.size()); }
    const monitortone_tag* Tone(int i) const { return m_tones[static_cast<std::size_t>(i)].get(); }
    const monitortone_tag* FindTone(std::uint32_t appSpecific) const;

private:
    // The shortest block, and the lengths used for tones of more than 6 and more than 12
    // shortest blocks.
    struct BlockBounds {
        std::int32_t minimum, longer, longest;
    };
    BlockBounds Bounds(std::int32_t sampleRate) const;
    void DecideBlock(monitortone_tag& tone);
    bool Match(monitortone_tag& tone, bool quiet);
    void Count(monitortone_tag& tone, bool match);

    // Tones in the order added. Each is allocated on its own so its address, handed out
    // with every report, stays put while tones are added.
    std::vector<std::unique_ptr<monitortone_tag>> m_tones;
    // Tones cleared from inside one of their own reports: freed once the feeding that made
    // the report has unwound.
    std::vector<std::unique_ptr<monitortone_tag>> m_retired;
    void* m_owner = nullptr;
    OwnerHandler m_ownerHandler = nullptr;
    std::int32_t m_ownerMode = 0;
    bool m_evaluateAll = false;
    BlockLayout m_blockLayout = BlockLayout::kExact;
    bool m_feeding = false;
    std::uint32_t m_generation = 0;  // advanced by every Clear
};
