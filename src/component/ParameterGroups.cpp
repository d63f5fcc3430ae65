#include "vornix/ParameterGroups.h"

#include <algorithm>

#include "control/CPhoneVornix.h"
#include "component/ThrowForResult.h"
#include "vornix/Exceptions.h"

namespace Orvane::VornixNet {

namespace {

void Check(const CPhoneVornix* decoder, HRESULT hr) { ThrowForResult(hr, decoder->ErrorText()); }

template <typename T, typename Owner, typename Getter>
T Read(const Owner* owner, Getter getter) {
    T value{};
    (owner->*getter)(&value);
    return value;
}

std::vector<float> Copy4(const float* values) { return std::vector<float>(values, values + 4); }

// Copies up to four values; fewer than four is the caller's fault, reported after the
// values that exist have been copied.
void Assign4(float* target, std::span<const float> values) {
    std::copy_n(values.begin(), std::min<std::size_t>(values.size(), 4), target);
    if (values.size() < 4)
        throw IndexOutOfRangeException(E_INVALIDARG, "Four frequencies are needed.");
}

}  // namespace

#define VORNIX_GROUP_PROPERTY(Group, Type, NativeType, Name)                                             \
    Type Group::Name() const {                                                                          \
        return static_cast<Type>(Read<NativeType>(static_cast<const CPhoneVornix*>(m_pTDecoder),        \
                                                  &CPhoneVornix::get_##Name));                          \
    }                                                                                                   \
    void Group::Name(Type value) { Check(m_pTDecoder, m_pTDecoder->put_##Name(static_cast<NativeType>(value))); }

VORNIX_GROUP_PROPERTY(CDTMFParams, std::int32_t, std::int32_t, minDuration)
VORNIX_GROUP_PROPERTY(CDTMFParams, std::int32_t, std::int32_t, minIntervalDuration)
VORNIX_GROUP_PROPERTY(CDTMFParams, float, float, Harmonic2nd_col)
VORNIX_GROUP_PROPERTY(CDTMFParams, float, float, Harmonic2nd_row)
VORNIX_GROUP_PROPERTY(CDTMFParams, float, float, EnergyThreshold)
VORNIX_GROUP_PROPERTY(CDTMFParams, float, float, Normal_twist)
VORNIX_GROUP_PROPERTY(CDTMFParams, float, float, Reverse_twist)
VORNIX_GROUP_PROPERTY(CDTMFParams, float, float, Sensitive)
VORNIX_GROUP_PROPERTY(CDTMFParams, DTMF_PROFILE, std::int32_t, DTMFProfile)
VORNIX_GROUP_PROPERTY(CMonitorTonesParams, float, float, Tolerance)
VORNIX_GROUP_PROPERTY(CMonitorTonesParams, TONE_BLOCK_LAYOUT, std::int32_t, BlockLayout)
VORNIX_GROUP_PROPERTY(CCustomToneParams, float, float, SilenceThreshold)
VORNIX_GROUP_PROPERTY(CCustomToneParams, std::int32_t, std::int32_t, minSilenceDuration)
VORNIX_GROUP_PROPERTY(CCustomToneParams, float, float, AmplitudeThreshold)
VORNIX_GROUP_PROPERTY(CCustomToneParams, FFT_WINDOW_TYPE, std::int32_t, FFT_Window)
VORNIX_GROUP_PROPERTY(CCustomToneParams, std::int32_t, std::int32_t, MaxTonesDuration)
VORNIX_GROUP_PROPERTY(CCustomToneParams, std::int32_t, std::int32_t, FFT_Size)
VORNIX_GROUP_PROPERTY(CTTYParams, TTY_RATE, std::int32_t, Rate)
VORNIX_GROUP_PROPERTY(CTTYParams, TTY_MODE, std::int32_t, Mode)
VORNIX_GROUP_PROPERTY(CTTYParams, float, float, MarkFreq)
VORNIX_GROUP_PROPERTY(CTTYParams, float, float, SpaceFreq)
VORNIX_GROUP_PROPERTY(CTonePagingParams, PAGING_TYPE, std::int32_t, PagingType)
VORNIX_GROUP_PROPERTY(CTonePagingParams, float, float, MinAmpdB)
VORNIX_GROUP_PROPERTY(CTonePagingParams, std::int32_t, std::int32_t, minGapDuration)
#undef VORNIX_GROUP_PROPERTY

bool CDTMFParams::RelativePeakTest() const {
    return Read<VARIANT_BOOL>(static_cast<const CPhoneVornix*>(m_pTDecoder), &CPhoneVornix::get_RelativePeakTest) != 0;
}
void CDTMFParams::RelativePeakTest(bool value) { Check(m_pTDecoder, m_pTDecoder->put_RelativePeakTest(value ? 1 : 0)); }

std::vector<float> CDTMFParams::Frequency_row() const { return Copy4(m_pTDecoder->RowFrequencies()); }
void CDTMFParams::Frequency_row(std::span<const float> value) { Assign4(m_pTDecoder->RowFrequencies(), value); }
std::vector<float> CDTMFParams::Frequency_col() const { return Copy4(m_pTDecoder->ColFrequencies()); }
void CDTMFParams::Frequency_col(std::span<const float> value) { Assign4(m_pTDecoder->ColFrequencies(), value); }
std::vector<float> CDTMFParams::getFrequency(std::int32_t isRow) const {
    return isRow != 0 ? Frequency_row() : Frequency_col();
}
void CDTMFParams::setFrequency(std::span<const float> value, std::int32_t isRow) {
    Assign4(isRow != 0 ? m_pTDecoder->RowFrequencies() : m_pTDecoder->ColFrequencies(), value);
}

// The FSK group ignores result codes: a refused value simply leaves the setting alone.
#define VORNIX_FSK_PROPERTY(Type, NativeType, Name)                                                   \
    Type CFSKParams::Name() const {                                                                   \
        NativeType value{};                                                                           \
        m_pTDecoder->get_FSKParams()->get_##Name(&value);                                             \
        return static_cast<Type>(value);                                                              \
    }                                                                                                 \
    void CFSKParams::Name(Type value) { m_pTDecoder->get_FSKParams()->put_##Name(static_cast<NativeType>(value)); }

VORNIX_FSK_PROPERTY(float, float, MarkFreq)
VORNIX_FSK_PROPERTY(float, float, SpaceFreq)
VORNIX_FSK_PROPERTY(std::int32_t, std::int32_t, BaudRate)
VORNIX_FSK_PROPERTY(FSK_LEVEL, std::int32_t, StopBitTone)
VORNIX_FSK_PROPERTY(FSK_LEVEL, std::int32_t, StartBitTone)
VORNIX_FSK_PROPERTY(STOPBITS_TYPE, std::int32_t, StopBits)
VORNIX_FSK_PROPERTY(PARITY_TYPE, std::int32_t, Parity)
VORNIX_FSK_PROPERTY(std::int32_t, std::int32_t, DataBits)
#undef VORNIX_FSK_PROPERTY

}  // namespace Orvane::VornixNet
