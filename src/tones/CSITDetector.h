#pragma once

#include <cstdint>

#include "platform/HResult.h"
#include "tones/CToneTableDetector.h"

// Special information tones: three tones in a row, the first 913 or 985 Hz, the second
// 1370 or 1428 Hz, the third 1776 Hz. The frequencies and the lengths (short or long) of
// the first two segments give the kind, reported through OnSIT once the third tone has
// lasted long enough.
class CSITDetector : public CToneTableDetector {
public:
    enum _SIT_TYPE : std::int32_t {
        SIT_RO = 0,
        SIT_VC = 1,
        SIT_NC = 2,
        SIT_IC = 3,
        SIT_RO2 = 4,
        SIT_NC2 = 5,
        SIT_IO = 6,
    };
    static constexpr std::uint32_t kToneId = 0x8F9090A0;
    static constexpr std::int32_t kFrequencies[5] = {913, 985, 1370, 1428, 1776};
    static constexpr int kThirdTone = 4;
    static constexpr std::int32_t kOnTimeMs = 380;
    // Segment bits of each kind, in the order of _SIT_TYPE: (b | length) << shift per
    // segment, b = 1 for the lower and 2 for the higher frequency of its pair, length 4
    // long or 8 short, shift 0 for the first segment and 16 for the second.
    static constexpr std::uint32_t kCodes[7] = {0x00060009, 0x00090006, 0x00060006, 0x00090009,
                                                0x0005000A, 0x00050005, 0x000A0005};

    CSITDetector();
    ~CSITDetector() override;

    // Restarts the detector and loads the SIT tone for the attached stream's rate; the
    // minimum level is 0.8 × the stream's silence threshold in dB. Returns E_FAIL,
    // changing nothing, without a stream, else the result of adding the tone.
    HRESULT SetParameters();

    void OnToneBlock(monitortone_tag* tone, bool quiet) override;

    // Raised with the kind and the tone's sample counter at the deciding block.
    virtual void OnSIT(_SIT_TYPE type, std::int32_t position) = 0;

    std::int32_t SegmentBlocks() const { return m_segmentBlocks; }
    float MinimumLevel() const { return m_minimumLevel; }

private:
    void Reset();
    bool ClassifySegment();
    void Report(const monitortone_tag& tone);
    void NoTone(const monitortone_tag& tone);

    std::int32_t m_count = 0;         // blocks of the current segment
    std::int32_t m_currentTone = -1;  // index of the tone now sounding, -1 = none
    std::uint32_t m_code = 0;         // segment bits collected so far
    std::int32_t m_segmentBlocks = 0; // blocks that make a long segment
    std::int32_t m_gap = 0;           // non-tone blocks since the current tone was last seen
    float m_minimumLevel = 0.0f;
};
