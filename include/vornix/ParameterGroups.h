#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vornix/Enums.h"

class CPhoneVornix;

namespace Orvane::VornixNet {

// The detector settings in six groups, one per detector family. Each group is a view on
// the component's decoder: PhoneVornix creates them once and returns the same objects
// every time; they must not outlive the component. Setters check and throw exactly as
// the component's own properties do, unless a group says otherwise.

class CDTMFParams {
public:
    explicit CDTMFParams(CPhoneVornix* decoder) : m_pTDecoder(decoder) {}

    std::int32_t minDuration() const;  // ms; below 40 selects short blocks
    void minDuration(std::int32_t value);
    std::int32_t minIntervalDuration() const;  // ms
    void minIntervalDuration(std::int32_t value);
    float Harmonic2nd_col() const;
    void Harmonic2nd_col(float value);
    float Harmonic2nd_row() const;
    void Harmonic2nd_row(float value);
    float EnergyThreshold() const;
    void EnergyThreshold(float value);
    float Normal_twist() const;  // power ratio; 0 keeps the built-in 12 dB limit
    void Normal_twist(float value);
    float Reverse_twist() const;
    void Reverse_twist(float value);
    float Sensitive() const;  // dB, at most 0
    void Sensitive(float value);
    bool RelativePeakTest() const;
    void RelativePeakTest(bool value);
    DTMF_PROFILE DTMFProfile() const;  // exact by default
    void DTMFProfile(DTMF_PROFILE value);

    // The four row (or column) frequencies. Setting copies the first four values,
    // unchecked; they act at the next application of the DTMF settings (the next run
    // start or DTMF property change). Fewer than four values: the ones given are copied,
    // then IndexOutOfRangeException.
    std::vector<float> Frequency_row() const;
    void Frequency_row(std::span<const float> value);
    std::vector<float> Frequency_col() const;
    void Frequency_col(std::span<const float> value);
    std::vector<float> getFrequency(std::int32_t isRow) const;
    void setFrequency(std::span<const float> value, std::int32_t isRow);

private:
    CPhoneVornix* m_pTDecoder;
};

class CMonitorTonesParams {
public:
    explicit CMonitorTonesParams(CPhoneVornix* decoder) : m_pTDecoder(decoder) {}
    float Tolerance() const;
    void Tolerance(float value);
    // Applies to the custom tones, MF, paging and information tones; exact by default.
    TONE_BLOCK_LAYOUT BlockLayout() const;
    void BlockLayout(TONE_BLOCK_LAYOUT value);

private:
    CPhoneVornix* m_pTDecoder;
};

class CCustomToneParams {
public:
    explicit CCustomToneParams(CPhoneVornix* decoder) : m_pTDecoder(decoder) {}
    float SilenceThreshold() const;
    void SilenceThreshold(float value);
    std::int32_t minSilenceDuration() const;
    void minSilenceDuration(std::int32_t value);
    float AmplitudeThreshold() const;
    void AmplitudeThreshold(float value);
    FFT_WINDOW_TYPE FFT_Window() const;
    void FFT_Window(FFT_WINDOW_TYPE value);
    std::int32_t MaxTonesDuration() const;
    void MaxTonesDuration(std::int32_t value);
    // Samples per spectrum, rounded down to a power of two from 128 to 16384 when a run
    // starts; 1024 by default.
    std::int32_t FFT_Size() const;
    void FFT_Size(std::int32_t value);

private:
    CPhoneVornix* m_pTDecoder;
};

class CTTYParams {
public:
    explicit CTTYParams(CPhoneVornix* decoder) : m_pTDecoder(decoder) {}
    TTY_RATE Rate() const;
    void Rate(TTY_RATE value);
    TTY_MODE Mode() const;
    void Mode(TTY_MODE value);
    float MarkFreq() const;
    void MarkFreq(float value);
    float SpaceFreq() const;
    void SpaceFreq(float value);

private:
    CPhoneVornix* m_pTDecoder;
};

class CTonePagingParams {
public:
    explicit CTonePagingParams(CPhoneVornix* decoder) : m_pTDecoder(decoder) {}
    PAGING_TYPE PagingType() const;
    void PagingType(PAGING_TYPE value);
    float MinAmpdB() const;
    void MinAmpdB(float value);
    // The shortest gap between two tones, in ms (the tone's off-time); takes effect at the
    // next run start.
    std::int32_t minGapDuration() const;
    void minGapDuration(std::int32_t value);

private:
    CPhoneVornix* m_pTDecoder;
};

// FSK framing and tones. Values the decoder refuses are dropped silently: the setting
// keeps its previous value and nothing is thrown.
class CFSKParams {
public:
    explicit CFSKParams(CPhoneVornix* decoder) : m_pTDecoder(decoder) {}
    float MarkFreq() const;
    void MarkFreq(float value);
    float SpaceFreq() const;
    void SpaceFreq(float value);
    std::int32_t BaudRate() const;
    void BaudRate(std::int32_t value);
    FSK_LEVEL StopBitTone() const;
    void StopBitTone(FSK_LEVEL value);
    FSK_LEVEL StartBitTone() const;
    void StartBitTone(FSK_LEVEL value);
    STOPBITS_TYPE StopBits() const;
    void StopBits(STOPBITS_TYPE value);
    PARITY_TYPE Parity() const;
    void Parity(PARITY_TYPE value);
    std::int32_t DataBits() const;
    void DataBits(std::int32_t value);

private:
    CPhoneVornix* m_pTDecoder;
};

}  // namespace Orvane::VornixNet
