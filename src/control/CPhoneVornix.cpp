#include "control/CPhoneVornix.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

#include "audio/CACMBuffer.h"
#include "audio/CBuffer.h"
#include "audio/CSoundFile.h"
#include "audio/ContainerReader.h"
#include "audio/FormatNames.h"
#include "platform/PropertyAccess.h"
#include "decoder/DecoderMessages.h"
#include "vornix/Version.h"

namespace {

bool Below(std::int32_t value, std::uint32_t limit) { return static_cast<std::uint32_t>(value) < limit; }

// The format every new object streams: 8 kHz, 16-bit, mono PCM.
constexpr WAVEFORMATEX kDefaultRawFormat = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};

const char* ChannelText(int channelOption) {
    switch (channelOption) {
        case CBaseDecoder::kMono: return "Mono";
        case CBaseDecoder::kLeft: return "stereo (decode left channel only)";
        default: return "stereo (decode right channel only)";
    }
}

bool IsDirectPcm(const WAVEFORMATEX& format) {
    // 24- and 32-bit integer samples are narrowed by the converter, as the same samples
    // in an extensible record are: the decoder reads no 3-byte samples, and takes 4-byte
    // ones for floats, which would turn integers into noise.
    return (format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample != 24 && format.wBitsPerSample != 32) ||
           (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 32);
}

// Whether the decoder reads samples of this many bits: it takes 1, 2 or 4 bytes each.
bool DecoderReadsWidth(int bits) { return bits / 8 == 1 || bits / 8 == 2 || bits / 8 == 4; }

// Bytes in a second of the file's stream, for the size of each read. Plain samples
// have an exact rate whatever the header's byte rate says (a header may say 0); a
// compressed stream has only the header's, taken as at least a small floor.
std::uint64_t BytesPerSecond(const WAVEFORMATEX& format) {
    if (format.wFormatTag == WAVE_FORMAT_PCM || format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT)
        return static_cast<std::uint64_t>(format.nSamplesPerSec) * format.nBlockAlign;
    constexpr std::uint32_t kSmallestSecond = 1024;
    return std::max(format.nAvgBytesPerSec, kSmallestSecond);
}

}  // namespace

CPhoneVornix::CPhoneVornix(DecoderEventProc callback)
    : m_fskParams(std::make_unique<CFSKParams>()),
      m_decoder(std::make_unique<CBaseDecoder>()),
      m_rawFormat(std::make_unique<std::uint8_t[]>(g_dwmax_format_size)),
      m_callback(callback) {
    CDecDTMF::GetDefaultFreqs(m_rowFreqs, m_colFreqs);
    std::memcpy(m_rawFormat.get(), &kDefaultRawFormat, sizeof kDefaultRawFormat);
    // The switch reads true from the start, so a new object decodes DTMF at once: a host
    // that never touches the switch hears keys, as the property promises.
    m_decoder->EnableXDec(DEC_DTMF, 1);
}

CPhoneVornix::~CPhoneVornix() = default;

// ---------------------------------------------------------------- switches

HRESULT CPhoneVornix::PutSwitch(VARIANT_BOOL& stored, VARIANT_BOOL value, std::int32_t decFlag) {
    stored = value;
    m_decoder->EnableXDec(decFlag, value != 0 ? 1 : 0);
    return S_OK;
}

HRESULT CPhoneVornix::get_MonitorDTMF(VARIANT_BOOL* v) const { return GetProperty(m_monitorDTMF, v); }
HRESULT CPhoneVornix::put_MonitorDTMF(VARIANT_BOOL v) { return PutSwitch(m_monitorDTMF, v, DEC_DTMF); }
HRESULT CPhoneVornix::get_MonitorCallerID(VARIANT_BOOL* v) const { return GetProperty(m_monitorCallerID, v); }
HRESULT CPhoneVornix::put_MonitorCallerID(VARIANT_BOOL v) { return PutSwitch(m_monitorCallerID, v, DEC_CALLERID); }
HRESULT CPhoneVornix::get_MonitorTTY(VARIANT_BOOL* v) const { return GetProperty(m_monitorTTY, v); }
HRESULT CPhoneVornix::put_MonitorTTY(VARIANT_BOOL v) { return PutSwitch(m_monitorTTY, v, DEC_TTY); }
HRESULT CPhoneVornix::get_MonitorCustomTone(VARIANT_BOOL* v) const { return GetProperty(m_monitorCustomTone, v); }
HRESULT CPhoneVornix::put_MonitorCustomTone(VARIANT_BOOL v) {
    return PutSwitch(m_monitorCustomTone, v, DEC_CUSTOMTONE);
}
HRESULT CPhoneVornix::get_EnableSpectrumConversion(VARIANT_BOOL* v) const {
    return GetProperty(m_enableSpectrumConversion, v);
}
HRESULT CPhoneVornix::put_EnableSpectrumConversion(VARIANT_BOOL v) {
    return PutSwitch(m_enableSpectrumConversion, v, DEC_SPECTRUM);
}
HRESULT CPhoneVornix::get_MonitorMF(VARIANT_BOOL* v) const { return GetProperty(m_monitorMF, v); }
HRESULT CPhoneVornix::put_MonitorMF(VARIANT_BOOL v) { return PutSwitch(m_monitorMF, v, DEC_MF); }
HRESULT CPhoneVornix::get_MonitorTonePaging(VARIANT_BOOL* v) const { return GetProperty(m_monitorTonePaging, v); }
HRESULT CPhoneVornix::put_MonitorTonePaging(VARIANT_BOOL v) {
    return PutSwitch(m_monitorTonePaging, v, DEC_TONEPAGING);
}
HRESULT CPhoneVornix::get_MonitorSAME(VARIANT_BOOL* v) const { return GetProperty(m_monitorSAME, v); }
HRESULT CPhoneVornix::put_MonitorSAME(VARIANT_BOOL v) { return PutSwitch(m_monitorSAME, v, DEC_SAME); }
HRESULT CPhoneVornix::get_MonitorCIDCW(VARIANT_BOOL* v) const { return GetProperty(m_monitorCIDCW, v); }
HRESULT CPhoneVornix::put_MonitorCIDCW(VARIANT_BOOL v) {
    PutSwitch(m_monitorCIDCW, v, DEC_CIDCW);
    static_cast<CDecCIDEx&>(*m_decoder).SetCallWaiting(m_monitorCIDCW != 0);
    return S_OK;
}
HRESULT CPhoneVornix::get_MonitorVMWI(VARIANT_BOOL* v) const { return GetProperty(m_monitorVMWI, v); }
HRESULT CPhoneVornix::put_MonitorVMWI(VARIANT_BOOL v) { return PutSwitch(m_monitorVMWI, v, DEC_VMWI); }
HRESULT CPhoneVornix::get_MonitorSIT(VARIANT_BOOL* v) const { return GetProperty(m_monitorSIT, v); }
HRESULT CPhoneVornix::put_MonitorSIT(VARIANT_BOOL v) { return PutSwitch(m_monitorSIT, v, DEC_SIT); }
HRESULT CPhoneVornix::get_MonitorFSK(VARIANT_BOOL* v) const { return GetProperty(m_monitorFSK, v); }
HRESULT CPhoneVornix::put_MonitorFSK(VARIANT_BOOL v) { return PutSwitch(m_monitorFSK, v, DEC_FSK); }
HRESULT CPhoneVornix::get_SynchronizeEvents(VARIANT_BOOL* v) const { return GetProperty(m_synchronizeEvents, v); }
HRESULT CPhoneVornix::put_SynchronizeEvents(VARIANT_BOOL v) {
    m_synchronizeEvents = v;  // read at the next run start
    return S_OK;
}

// ---------------------------------------------------------------- stream

HRESULT CPhoneVornix::get_DecodeChannel(std::int32_t* v) const { return GetProperty(m_decodeChannel, v); }
HRESULT CPhoneVornix::put_DecodeChannel(std::int32_t v) { return PutProperty(m_decodeChannel, v, Below(v, 2)); }

HRESULT CPhoneVornix::get_SilenceThreshold(float* v) const { return GetProperty(m_silenceThreshold, v); }
HRESULT CPhoneVornix::put_SilenceThreshold(float v) {
    if (v > 0.0f) return E_INVALIDARG;
    if (v < 0.0f) m_silenceThreshold = v;  // 0 and NaN are accepted but change nothing
    return S_OK;
}

HRESULT CPhoneVornix::get_SampleProcessed(std::int32_t* v) const { return GetProperty(m_sampleProcessed, v); }
HRESULT CPhoneVornix::put_SampleProcessed(std::int32_t v) {
    // The counter belongs to the runs; a host may only ask a file decode to stop.
    if (v == -1 && m_sampleProcessed >= 0) m_sampleProcessed = -1;
    return S_OK;
}

// ---------------------------------------------------------------- groups

template <typename T>
HRESULT CPhoneVornix::PutGroup(T& stored, T value, std::int32_t decFlag) {
    const bool changed = !(stored == value);
    stored = value;
    if (changed) SetDecoderParams(m_runSampleRate, decFlag);
    return S_OK;
}

HRESULT CPhoneVornix::get_minDuration(std::int32_t* v) const { return GetProperty(m_minDuration, v); }
HRESULT CPhoneVornix::put_minDuration(std::int32_t v) { return PutGroup(m_minDuration, v, DEC_DTMF); }
HRESULT CPhoneVornix::get_minIntervalDuration(std::int32_t* v) const { return GetProperty(m_minIntervalDuration, v); }
HRESULT CPhoneVornix::put_minIntervalDuration(std::int32_t v) {
    return PutGroup(m_minIntervalDuration, v, DEC_DTMF);
}
HRESULT CPhoneVornix::get_Harmonic2nd_row(float* v) const { return GetProperty(m_harmonic2ndRow, v); }
HRESULT CPhoneVornix::put_Harmonic2nd_row(float v) { return PutGroup(m_harmonic2ndRow, v, DEC_DTMF); }
HRESULT CPhoneVornix::get_Harmonic2nd_col(float* v) const { return GetProperty(m_harmonic2ndCol, v); }
HRESULT CPhoneVornix::put_Harmonic2nd_col(float v) { return PutGroup(m_harmonic2ndCol, v, DEC_DTMF); }
HRESULT CPhoneVornix::get_EnergyThreshold(float* v) const { return GetProperty(m_energyThreshold, v); }
HRESULT CPhoneVornix::put_EnergyThreshold(float v) { return PutGroup(m_energyThreshold, v, DEC_DTMF); }
HRESULT CPhoneVornix::get_Normal_twist(float* v) const { return GetProperty(m_normalTwist, v); }
HRESULT CPhoneVornix::put_Normal_twist(float v) { return PutGroup(m_normalTwist, v, DEC_DTMF); }
HRESULT CPhoneVornix::get_Reverse_twist(float* v) const { return GetProperty(m_reverseTwist, v); }
HRESULT CPhoneVornix::put_Reverse_twist(float v) { return PutGroup(m_reverseTwist, v, DEC_DTMF); }
HRESULT CPhoneVornix::get_Sensitive(float* v) const { return GetProperty(m_sensitive, v); }
HRESULT CPhoneVornix::put_Sensitive(float v) {
    if (!(v <= 0.0f)) return E_INVALIDARG;  // NaN fails too
    return PutGroup(m_sensitive, v, DEC_DTMF);
}
HRESULT CPhoneVornix::get_RelativePeakTest(VARIANT_BOOL* v) const {
    return GetProperty(static_cast<VARIANT_BOOL>(m_relativePeakTest & 0xFFFF), v);
}
HRESULT CPhoneVornix::get_DTMFProfile(std::int32_t* v) const { return GetProperty(m_dtmfProfile, v); }
HRESULT CPhoneVornix::put_DTMFProfile(std::int32_t v) {
    if (!Below(v, 2)) return E_INVALIDARG;
    return PutGroup(m_dtmfProfile, v, DEC_DTMF);
}
HRESULT CPhoneVornix::get_BlockLayout(std::int32_t* v) const { return GetProperty(m_blockLayout, v); }
HRESULT CPhoneVornix::put_BlockLayout(std::int32_t v) {
    if (!Below(v, 2)) return E_INVALIDARG;
    return PutGroup(m_blockLayout, v, DEC_MONITORTONES | DEC_SIT | DEC_MF | DEC_TONEPAGING);
}
HRESULT CPhoneVornix::put_RelativePeakTest(VARIANT_BOOL v) {
    return PutGroup(m_relativePeakTest, static_cast<std::int32_t>(v), DEC_DTMF);
}
HRESULT CPhoneVornix::get_Frequency_index(std::int32_t* v) const { return GetProperty(m_frequencyIndex, v); }
HRESULT CPhoneVornix::put_Frequency_index(std::int32_t v) { return PutProperty(m_frequencyIndex, v, Below(v, 4)); }
HRESULT CPhoneVornix::get_Frequency_row(float* v) const { return GetProperty(m_rowFreqs[m_frequencyIndex], v); }
HRESULT CPhoneVornix::put_Frequency_row(float v) {
    if (v <= 0.0f) return E_INVALIDARG;
    m_rowFreqs[m_frequencyIndex] = v;
    SetDecoderParams(m_runSampleRate, DEC_DTMF);
    return S_OK;
}
HRESULT CPhoneVornix::get_Frequency_col(float* v) const { return GetProperty(m_colFreqs[m_frequencyIndex], v); }
HRESULT CPhoneVornix::put_Frequency_col(float v) {
    if (v <= 0.0f) return E_INVALIDARG;
    m_colFreqs[m_frequencyIndex] = v;
    SetDecoderParams(m_runSampleRate, DEC_DTMF);
    return S_OK;
}

HRESULT CPhoneVornix::get_Rate(std::int32_t* v) const { return GetProperty(m_rate, v); }
HRESULT CPhoneVornix::put_Rate(std::int32_t v) {
    if (!Below(v, 7)) return E_INVALIDARG;
    return PutGroup(m_rate, v, DEC_TTY);
}
HRESULT CPhoneVornix::get_Mode(std::int32_t* v) const { return GetProperty(m_mode, v); }
HRESULT CPhoneVornix::put_Mode(std::int32_t v) {
    if (!Below(v, 5)) return E_INVALIDARG;
    return PutGroup(m_mode, v, DEC_TTY);
}
// The TTY tones reach the TTY decoder at once.
HRESULT CPhoneVornix::get_MarkFreq(float* v) const { return GetProperty(m_markFreq, v); }
HRESULT CPhoneVornix::put_MarkFreq(float v) {
    if (v < 0.0f) return E_INVALIDARG;  // NaN accepted
    m_markFreq = v;
    if (m_decoder) static_cast<CDecBaudotCode&>(*m_decoder).SetFreqs(m_markFreq, m_spaceFreq);
    return S_OK;
}
HRESULT CPhoneVornix::get_SpaceFreq(float* v) const { return GetProperty(m_spaceFreq, v); }
HRESULT CPhoneVornix::put_SpaceFreq(float v) {
    if (v < 0.0f) return E_INVALIDARG;  // NaN accepted
    m_spaceFreq = v;
    if (m_decoder) static_cast<CDecBaudotCode&>(*m_decoder).SetFreqs(m_markFreq, m_spaceFreq);
    return S_OK;
}

HRESULT CPhoneVornix::get_PagingType(std::int32_t* v) const { return GetProperty(m_pagingType, v); }
// Only the seven tone sets exist; any other type would leave the paging detector without a table.
HRESULT CPhoneVornix::put_PagingType(std::int32_t v) {
    if (!Below(v, CZVEIDetector::kTypes)) return E_INVALIDARG;
    return PutGroup(m_pagingType, v, DEC_TONEPAGING);
}
HRESULT CPhoneVornix::get_MinAmpdB(float* v) const { return GetProperty(m_minAmpdB, v); }
HRESULT CPhoneVornix::put_MinAmpdB(float v) { return PutProperty(m_minAmpdB, v, !(v >= 0.0f)); }
HRESULT CPhoneVornix::get_minGapDuration(std::int32_t* v) const { return GetProperty(m_minGapDuration, v); }
HRESULT CPhoneVornix::put_minGapDuration(std::int32_t v) { return PutProperty(m_minGapDuration, v, true); }

HRESULT CPhoneVornix::get_FFT_Size(std::int32_t* v) const { return GetProperty(m_fftSize, v); }
HRESULT CPhoneVornix::put_FFT_Size(std::int32_t v) { return PutProperty(m_fftSize, v, true); }
HRESULT CPhoneVornix::get_FFT_Window(std::int32_t* v) const { return GetProperty(m_fftWindow, v); }
HRESULT CPhoneVornix::put_FFT_Window(std::int32_t v) {
    // Only the six window types have weights.
    if (!CFFT::IsWindowType(v)) return E_INVALIDARG;
    return PutGroup(m_fftWindow, v, DEC_CUSTOMTONE);
}
HRESULT CPhoneVornix::get_minSilenceDuration(std::int32_t* v) const { return GetProperty(m_minSilenceDuration, v); }
HRESULT CPhoneVornix::put_minSilenceDuration(std::int32_t v) {
    return PutGroup(m_minSilenceDuration, v, DEC_CUSTOMTONE);
}
HRESULT CPhoneVornix::get_AmplitudeThreshold(float* v) const { return GetProperty(m_amplitudeThreshold, v); }
HRESULT CPhoneVornix::put_AmplitudeThreshold(float v) {
    return PutGroup(m_amplitudeThreshold, v, DEC_CUSTOMTONE);
}
HRESULT CPhoneVornix::get_MaxTonesDuration(std::int32_t* v) const { return GetProperty(m_maxTonesDuration, v); }
HRESULT CPhoneVornix::put_MaxTonesDuration(std::int32_t v) { return PutProperty(m_maxTonesDuration, v, v > 0); }
HRESULT CPhoneVornix::get_Tolerance(float* v) const { return GetProperty(m_tolerance, v); }
HRESULT CPhoneVornix::put_Tolerance(float v) { return PutProperty(m_tolerance, v, true); }

HRESULT CPhoneVornix::get_ReceivedDTMFs(std::string* v) const { return GetProperty(m_receivedDTMFs, v); }
HRESULT CPhoneVornix::get_ReceivedTTY(std::string* v) const { return GetProperty(m_receivedTTY, v); }
HRESULT CPhoneVornix::get_AboutVersion(std::string* v) const { return GetProperty(std::string(VORNIX_VERSION), v); }

HRESULT CPhoneVornix::AboutBox() {
    Log_Debug(kInformation, "Vornix telephone-line decoder, version %s (%s build).", VORNIX_VERSION,
              VORNIX_BUILD_TYPE);
    return S_OK;
}

// ---------------------------------------------------------------- other operations

HRESULT CPhoneVornix::GetfrequencyDB(double frequency, double* retvalue) const {
    if (retvalue == nullptr) return E_POINTER;
    *retvalue = m_decoder ? static_cast<const CDetectToneFreqs&>(*m_decoder).GetFreqDB(static_cast<float>(frequency)) : -1.0;
    return S_OK;
}

HRESULT CPhoneVornix::GetCenterFreqs(double* frequency, double* secondFreq) const {
    if (frequency == nullptr || secondFreq == nullptr) return E_POINTER;
    *frequency = 0.0;
    *secondFreq = 0.0;
    if (!m_decoder) return E_FAIL;
    return static_cast<const CDetectToneFreqs&>(*m_decoder).GetCenterFreqs(frequency, secondFreq);
}

std::span<const float> CPhoneVornix::SpectrumDB() const {
    if (!m_decoder) return {};
    return static_cast<const CDetectToneFreqs&>(*m_decoder).SpectrumDB();
}

HRESULT CPhoneVornix::Sample2Second(std::int32_t nSample, double* fSeconds) const {
    if (fSeconds == nullptr) return E_POINTER;
    *fSeconds = m_runSampleRate == 0 ? 0.0 : static_cast<double>(nSample) / m_runSampleRate;
    return S_OK;
}

HRESULT CPhoneVornix::MonitorTones_Add(std::int32_t appSpecific, std::int32_t minPeriodOn,
                                       std::int32_t minPeriodOff, std::int32_t frequency1,
                                       std::int32_t frequency2, std::int32_t frequency3,
                                       std::int32_t frequency4, float minAmpdB, float maxAmpdB) {
    const bool duplicate = std::any_of(m_tones.begin(), m_tones.end(),
                                       [&](const tag_tone& t) { return t.AppSpecific == appSpecific; });
    if (duplicate) {
        m_errorText = "AppSpecific can't be duplicate";
        return E_INVALIDARG;
    }
    m_tones.push_back({appSpecific, minPeriodOn, minPeriodOff, maxAmpdB, minAmpdB, frequency1,
                       frequency2, frequency3, frequency4, m_tolerance});
    return S_OK;
}

HRESULT CPhoneVornix::MonitorTones_Clear() {
    m_tones.clear();
    m_decoder->EnableXDec(DEC_MONITORTONES, 0);
    return S_OK;
}

CFSKParams* CPhoneVornix::get_FSKParams() {
    if (!m_fskParams) m_fskParams = std::make_unique<CFSKParams>();
    return m_fskParams.get();
}

void CPhoneVornix::SetDecoderParams(std::int32_t sampleRate, std::int32_t decFlag) {
    if (decFlag & DEC_TTY) {
        CDecBaudotCode& tty = *m_decoder;
        tty.SetRate(m_rate, m_mode);
        tty.SetFreqs(m_markFreq, m_spaceFreq);
    }
    if (decFlag & (DEC_SPECTRUM | DEC_CUSTOMTONE)) {
        CDetectToneFreqs& spectrum = *m_decoder;
        spectrum.SetParameters(m_enableSpectrumConversion != 0 ? m_fftSize : 0,
                               m_monitorCustomTone != 0 ? m_maxTonesDuration : 0);
        spectrum.SetWindowType(m_fftWindow);
        spectrum.SetAmplitudeThreshold(m_amplitudeThreshold);
        // Blocks of 100 samples in the minimum silence (8000 Hz and 60 ms give 4), worked
        // in 64 bits so that a long minimum saturates instead of wrapping.
        const std::int64_t blocks = static_cast<std::int64_t>(spectrum.GetSampleRate()) * m_minSilenceDuration / 100000;
        spectrum.SetSilenceBlocks(static_cast<std::int32_t>(
            std::clamp<std::int64_t>(blocks, std::numeric_limits<std::int32_t>::min() + 1,
                                     std::numeric_limits<std::int32_t>::max())));
    }
    if ((decFlag & DEC_FSK) && m_fskParams) {
        float mark = 0.0f, space = 0.0f;
        std::int32_t baud = 0, dataBits = 0, stopBits = 0, parity = 0, startTone = 0, stopTone = 0;
        m_fskParams->get_MarkFreq(&mark);
        m_fskParams->get_SpaceFreq(&space);
        m_fskParams->get_BaudRate(&baud);
        m_fskParams->get_DataBits(&dataBits);
        m_fskParams->get_StopBits(&stopBits);
        m_fskParams->get_Parity(&parity);
        m_fskParams->get_StartBitTone(&startTone);
        m_fskParams->get_StopBitTone(&stopTone);
        CDecFSKData& fsk = *m_decoder;
        static_cast<CDecAFSK&>(fsk).SetParameters(sampleRate, space, mark, static_cast<float>(baud));
        fsk.SetCOMMParams(dataBits, stopBits, parity, startTone, stopTone);
    }
    if (decFlag & (DEC_CALLERID | DEC_VMWI | DEC_CIDCW)) {
        CDecCIDEx& callerId = *m_decoder;
        // The tones are taken before the front end is tuned, so a changed mark or space
        // takes effect in the same run.
        if (m_fskParams) {
            float mark = 0.0f, space = 0.0f;
            std::int32_t baud = 0;
            m_fskParams->get_MarkFreq(&mark);
            m_fskParams->get_SpaceFreq(&space);
            m_fskParams->get_BaudRate(&baud);
            callerId.SetParameters2(baud, mark, space);
        }
        callerId.SetSampleRate(sampleRate);
    }
    if (decFlag & DEC_DTMF) {
        CDecDTMF& dtmf = *m_decoder;
        dtmf.SetFreqs(m_rowFreqs, m_colFreqs);
        dtmf.SetTwist(m_normalTwist, m_reverseTwist);
        dtmf.SetProfile(m_dtmfProfile == 1 ? CDecDTMF::Profile::kRobust : CDecDTMF::Profile::kExact);
        dtmf.SetParameters(m_sensitive, m_energyThreshold, m_minDuration, m_minIntervalDuration,
                           m_harmonic2ndCol, m_harmonic2ndRow, m_relativePeakTest);
    }
    const auto layout = static_cast<CMonitorTones::BlockLayout>(m_blockLayout);
    if (decFlag & DEC_SAME) static_cast<CDecSAME&>(*m_decoder).SetParameters(sampleRate, 1562.5f, 2083.3f, 520.83f);
    if (decFlag & DEC_MONITORTONES) {
        CMonitorTones& tones = *m_decoder;
        tones.SetBlockLayout(layout);
        tones.Clear();
        m_decoder->EnableXDec(DEC_MONITORTONES, m_tones.empty() ? 0 : 1);
        tones.AddTone(m_tones);
    }
    if (decFlag & DEC_SIT) {
        CSITDetector& sit = *m_decoder;
        sit.SetBlockLayout(layout);
        sit.SetParameters();
    }
    if (decFlag & DEC_MF) {
        CMFDetector& mf = *m_decoder;
        mf.SetBlockLayout(layout);
        mf.SetParameters();
    }
    if (decFlag & DEC_TONEPAGING) {
        CZVEIDetector& paging = *m_decoder;
        paging.SetBlockLayout(layout);
        paging.SetParameters(static_cast<CZVEIDetector::ZVEI_TYPE>(m_pagingType), true, m_minGapDuration, m_minAmpdB);
    }
}

// ---------------------------------------------------------------- runs

HRESULT CPhoneVornix::WaveStreamStart() { return WaveStreamStart2(RawFormat()); }

HRESULT CPhoneVornix::RefuseFormat(const char* reason, const WAVEFORMATEX& format) {
    char text[256];
    std::snprintf(text, sizeof text, "Format unsupported: %s (tag %u, %u channels, %u Hz, %u bits).",
                  reason, format.wFormatTag, format.nChannels, format.nSamplesPerSec,
                  format.wBitsPerSample);
    m_errorText = text;
    return E_FAIL;
}

bool CPhoneVornix::InsideEvent() {
    // A handler called from inside a block delivery must not start, feed or end a run of
    // the stream that is delivering: the block and the converter are still in use.
    if (!m_decoder->IsDelivering()) return false;
    m_errorText = "A run cannot be started, fed or ended from inside one of its own events.";
    return true;
}

HRESULT CPhoneVornix::WaveStreamStart2(const WAVEFORMATEX* format) {
    if (format == nullptr) return E_POINTER;
    if (InsideEvent()) return E_FAIL;
    // A stale converter from an unfinished run must never see this run's audio.
    m_conversion.reset();
    if (format->nChannels == 0 || format->nChannels > 2)
        return RefuseFormat("one or two channels can be decoded", *format);
    if (format->nBlockAlign == 0) return RefuseFormat("the block align is 0", *format);
    if (format->nSamplesPerSec == 0 || format->nSamplesPerSec > 0x7FFFFFFF)
        return RefuseFormat("the sample rate is out of range", *format);

    if (m_synchronizeEvents != 0 && !m_window) {
        m_window = std::make_unique<EventWindow>(
            [this](int msg, std::uint64_t w, std::int64_t l) { m_callback(msg, w, l); });
    }
    const int channelOption = format->nChannels == 1 ? CBaseDecoder::kMono : m_decodeChannel;

    const WAVEFORMATEX* decoded = format;
    if (!IsDirectPcm(*format)) {
        const HRESULT hr = StartConversion(*format, &decoded);
        if (FAILED(hr)) return hr;
    }
    const std::int32_t frameSize = decoded->nChannels * decoded->wBitsPerSample / 8;
    if (frameSize == 0) return RefuseFormat("a sample frame would be empty", *decoded);
    const HRESULT hr = DecodeWaveStreamStart(decoded->wBitsPerSample,
                                             static_cast<std::int32_t>(decoded->nSamplesPerSec), channelOption);
    if (FAILED(hr)) return hr;
    // Such a run is taken but decodes nothing; its frames are not counted as processed,
    // so the host can tell.
    const bool readable = DecoderReadsWidth(decoded->wBitsPerSample);
    if (!readable)
        Log_Debug(kInformation, "No audio can be decoded: the decoder reads 8-, 16- and 32-bit samples, not %u-bit ones.",
                  decoded->wBitsPerSample);
    m_frameSize = readable ? frameSize : 0;
    m_runSampleRate = static_cast<std::int32_t>(decoded->nSamplesPerSec);
    return hr;
}

HRESULT CPhoneVornix::StartConversion(const WAVEFORMATEX& format, const WAVEFORMATEX** decoded) {
    m_conversion = std::make_unique<CACMBuffer>();
    m_conversion->SetSrcFmt(&format);
    WAVEFORMATEX* suggested = nullptr;
    if (m_conversion->GetSuggestFormat(&suggested) != 0 || suggested == nullptr ||
        m_conversion->SetDstFmt(suggested) != 0) {
        m_conversion.reset();
        m_errorText = "Format unsupported.";
        return E_FAIL;
    }
    const std::string description = FormatNameText(format) + " " + FormatDetailText(format);
    Log_Debug(kInformation, "Wave file in codec '%s'. Converting to PCM on the fly.", description.c_str());
    *decoded = suggested;
    return S_OK;
}

HRESULT CPhoneVornix::DecodeWaveStreamStart(int bits, std::int32_t sampleRate, int channelOption) {
    m_receivedDTMFs.clear();
    m_receivedTTY.clear();
    Log_Debug(kInformation, "Start the decoding (format: %dbits, %dHz, %s; v:%s x64).", bits, sampleRate,
              ChannelText(channelOption), VORNIX_VERSION);
    m_decoder->SetHandle(m_synchronizeEvents != 0 ? DecoderEventProc{} : m_callback, m_window.get());
    if (FAILED(m_decoder->SetParameters(sampleRate, bits, m_silenceThreshold, channelOption))) {
        char text[128];
        std::snprintf(text, sizeof text, "Format unsupported: %d bits per sample at %d Hz.", bits, sampleRate);
        m_errorText = text;
        return E_FAIL;
    }
    SetDecoderParams(sampleRate, -1);
    return S_OK;
}

void CPhoneVornix::CountFrames(std::uint32_t bytes) {
    if (m_sampleProcessed == -1 || m_frameSize <= 0) return;
    m_sampleProcessed = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_sampleProcessed) +
                                                  bytes / static_cast<std::uint32_t>(m_frameSize));
    if (m_sampleProcessed == -1) m_sampleProcessed = 0;  // a count never reads as a stop request
}

HRESULT CPhoneVornix::_WaveStreamInputEx(const std::uint8_t* buffAddr, std::int32_t offset,
                                         std::int32_t cbSize, std::int32_t* retvalue) {
    if (offset < 0 || cbSize < 0) return E_INVALIDARG;
    if (retvalue == nullptr) return E_POINTER;
    *retvalue = 0;
    if (buffAddr == nullptr && cbSize > 0) return E_POINTER;
    if (InsideEvent()) return E_FAIL;
    const std::uint8_t* data = buffAddr == nullptr ? nullptr : buffAddr + offset;

    if (m_conversion) {
        m_conversion->PrepareHeader(cbSize, 0);
        const int r = m_conversion->ProcessInput(data, cbSize);
        if (r != 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Unexpected error in ACM converting (%d)", r);
            m_errorText = text;
            return E_FAIL;
        }
        const std::uint8_t* pcm = nullptr;
        std::int32_t length = 0;
        while (m_conversion && m_conversion->ProcessOutput(&pcm, &length) == 0) {
            m_decoder->InputData2(pcm, length);
            CountFrames(static_cast<std::uint32_t>(length));
        }
    } else {
        m_decoder->InputData2(data, cbSize);
        CountFrames(static_cast<std::uint32_t>(cbSize));
    }
    *retvalue = cbSize;
    return S_OK;
}

HRESULT CPhoneVornix::WaveStreamInputEx(std::int32_t, std::int32_t, std::int32_t, std::int32_t*) {
    return E_NOTIMPL;  // a 32-bit address cannot name a buffer in a 64-bit process
}

HRESULT CPhoneVornix::WaveStreamEnd() {
    if (InsideEvent()) return E_FAIL;
    m_decoder->putSamples(nullptr, 0, 1);
    m_decoder->EndOfStream();
    if (m_synchronizeEvents != 0) {
        if (m_window) m_window->Post(DM_DECODE_END, 0, 0);
    } else if (m_callback) {
        m_callback(DM_DECODE_END, 0, 0);
    }
    m_receivedDTMFs = m_decoder->DTMFText();
    m_receivedTTY = m_decoder->TTYText();
    m_conversion.reset();
    return S_OK;
}

HRESULT CPhoneVornix::DecodeWaveFile(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') return E_INVALIDARG;
    if (InsideEvent()) return E_FAIL;
    const char* slash = std::strrchr(fileName, '/');
    Log_Debug(kInformation, "Start decode the wave file '%s'.", slash ? slash + 1 : fileName);

    auto formatBuffer = std::make_unique<std::uint8_t[]>(g_dwmax_format_size);
    auto* format = reinterpret_cast<WAVEFORMATEX*>(formatBuffer.get());
    CSoundFile file(fileName, format, g_dwmax_format_size);
    if (!file.IsOK()) {
        Log_Debug(kFileOpenFailed, "%s", file.GetLastErrorText());
        m_errorText = file.GetLastErrorText();
        return E_FAIL;
    }
    if (file.GetFileKind() == CSoundFile::kKindRawPcm) {
        Log_Debug(kInformation, "Process as the RAW audio file.");
        std::memcpy(formatBuffer.get(), m_rawFormat.get(),
                    std::min<std::uint32_t>(WaveFormatSize(*RawFormat()), g_dwmax_format_size));
    }
    const ContainerReader* container = file.GetContainer();
    if (container != nullptr)
        Log_Debug(kInformation, "File in container '%s', codec '%s'. Decoding to PCM on the fly.",
                  container->ContainerName().c_str(), container->CodecName().c_str());
    if (format->nChannels > 1)
        Log_Debug(kInformation, "Stereo format, decode the %s.",
                  m_decodeChannel == 0 ? "Left Channel" : "Right Channel");
    HRESULT hr = WaveStreamStart2(format);
    if (hr != S_OK) return hr;

    m_sampleProcessed = 0;
    const auto dataLength = static_cast<std::int64_t>(file.GetDataLength());
    std::int64_t consumed = 0;
    Deliver(DM_PROGRESS, 0, dataLength);
    // One second of whole blocks per read. The byte rate comes from the file: a lying
    // header must not make us allocate gigabytes, so a read never exceeds 4 MB (more than
    // a second of any real telephone or CD-quality stream).
    constexpr std::uint32_t kLargestRead = 4u << 20;
    const auto second = static_cast<std::uint32_t>(std::min<std::uint64_t>(BytesPerSecond(*format), kLargestRead));
    const std::uint32_t chunk =
        std::max<std::uint32_t>(second / format->nBlockAlign * format->nBlockAlign, format->nBlockAlign);
    CBuffer buffer(chunk);
    if (buffer.Capacity() == 0) {
        m_errorText = "Out of memory!";
        return E_OUTOFMEMORY;
    }
    while (m_sampleProcessed != -1 && file.Read(buffer)) {
        std::int32_t taken = 0;
        hr = _WaveStreamInputEx(buffer.Data(), 0, static_cast<std::int32_t>(buffer.Length()), &taken);
        if (hr != S_OK) return hr;
        // Progress counts bytes of the file: a container's reader says how far it has read.
        consumed = file.GetBytesDelivered();
        Deliver(DM_PROGRESS, static_cast<std::uint64_t>(consumed), dataLength);
    }
    const std::uint64_t failedPackets = container != nullptr ? container->FailedPackets()
                                        : m_conversion              ? m_conversion->GetSkippedPackets()
                                                                    : 0;
    file.Close();
    WaveStreamEnd();
    if (m_sampleProcessed == 0) {
        if (failedPackets > 0)
            Log_Debug(kInformation, "No audio could be decoded from the file: %llu packets failed to decode.",
                      static_cast<unsigned long long>(failedPackets));
        else
            Log_Debug(kInformation, "No audio could be decoded from the file.");
    }
    return S_OK;
}

// ---------------------------------------------------------------- events and debug

void CPhoneVornix::Deliver(int msg, std::uint64_t wParam, std::int64_t lParam) {
    if (m_callback) m_callback(msg, wParam, lParam);
}

int CPhoneVornix::DispatchEvents() { return m_window ? m_window->DispatchEvents() : 0; }

int CPhoneVornix::WaitEvents(int timeoutMs) {
    return m_window ? m_window->WaitEvents(std::chrono::milliseconds(timeoutMs)) : 0;
}

HRESULT CPhoneVornix::Fire_OnDebug(const char* text, std::int32_t level) {
    Deliver(DM_DEBUG_TEXT, AddressOf(text), level);
    return S_OK;
}

void CPhoneVornix::Log_Debug(int level, const char* format, ...) {
    // Each line is formatted on the caller's stack: the receiver copies it during the
    // call, and two objects logging on two threads never share a buffer.
    char line[kDebugLineSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Fire_OnDebug(line, level);
}
