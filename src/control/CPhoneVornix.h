#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"
#include "control/CFSKParams.h"
#include "tones/tag_tone.h"
#include "platform/EventWindow.h"
#include "platform/HResult.h"
#include "decoder/CBaseDecoder.h"
#include "decoder/DecoderEventProc.h"

class CACMBuffer;

// The decoder control object: every setting the host can make, with its default and its
// range check; the switches that register detectors; the parameter groups pushed into
// the detectors; the decoding runs (host-fed stream, whole file); and the event road to
// the host, direct or through the event window. Operations return result codes; some
// failures also leave a description in the error text.
class CPhoneVornix {
public:
    explicit CPhoneVornix(DecoderEventProc callback);
    CPhoneVornix(const CPhoneVornix&) = delete;
    CPhoneVornix& operator=(const CPhoneVornix&) = delete;
    ~CPhoneVornix();

    // --- detector switches (16-bit booleans; a put registers or removes the detector) ---
    HRESULT get_MonitorDTMF(VARIANT_BOOL* value) const;
    HRESULT put_MonitorDTMF(VARIANT_BOOL value);
    HRESULT get_MonitorCallerID(VARIANT_BOOL* value) const;
    HRESULT put_MonitorCallerID(VARIANT_BOOL value);
    HRESULT get_MonitorTTY(VARIANT_BOOL* value) const;
    HRESULT put_MonitorTTY(VARIANT_BOOL value);
    HRESULT get_MonitorCustomTone(VARIANT_BOOL* value) const;
    HRESULT put_MonitorCustomTone(VARIANT_BOOL value);
    HRESULT get_EnableSpectrumConversion(VARIANT_BOOL* value) const;
    HRESULT put_EnableSpectrumConversion(VARIANT_BOOL value);
    HRESULT get_MonitorMF(VARIANT_BOOL* value) const;
    HRESULT put_MonitorMF(VARIANT_BOOL value);
    HRESULT get_MonitorTonePaging(VARIANT_BOOL* value) const;
    HRESULT put_MonitorTonePaging(VARIANT_BOOL value);
    HRESULT get_MonitorSAME(VARIANT_BOOL* value) const;
    HRESULT put_MonitorSAME(VARIANT_BOOL value);
    HRESULT get_MonitorCIDCW(VARIANT_BOOL* value) const;
    HRESULT put_MonitorCIDCW(VARIANT_BOOL value);
    HRESULT get_MonitorVMWI(VARIANT_BOOL* value) const;
    HRESULT put_MonitorVMWI(VARIANT_BOOL value);
    HRESULT get_MonitorSIT(VARIANT_BOOL* value) const;
    HRESULT put_MonitorSIT(VARIANT_BOOL value);
    HRESULT get_MonitorFSK(VARIANT_BOOL* value) const;
    HRESULT put_MonitorFSK(VARIANT_BOOL value);
    HRESULT get_SynchronizeEvents(VARIANT_BOOL* value) const;
    HRESULT put_SynchronizeEvents(VARIANT_BOOL value);

    // --- stream ---
    HRESULT get_DecodeChannel(std::int32_t* value) const;
    HRESULT put_DecodeChannel(std::int32_t value);  // 0 or 1
    HRESULT get_SilenceThreshold(float* value) const;
    HRESULT put_SilenceThreshold(float value);  // <= 0; 0 and NaN leave the value
    HRESULT get_SampleProcessed(std::int32_t* value) const;
    HRESULT put_SampleProcessed(std::int32_t value);  // only -1 (a stop request) is taken

    // --- DTMF ---
    HRESULT get_minDuration(std::int32_t* value) const;
    HRESULT put_minDuration(std::int32_t value);
    HRESULT get_minIntervalDuration(std::int32_t* value) const;
    HRESULT put_minIntervalDuration(std::int32_t value);
    HRESULT get_Harmonic2nd_row(float* value) const;
    HRESULT put_Harmonic2nd_row(float value);
    HRESULT get_Harmonic2nd_col(float* value) const;
    HRESULT put_Harmonic2nd_col(float value);
    HRESULT get_EnergyThreshold(float* value) const;
    HRESULT put_EnergyThreshold(float value);
    HRESULT get_Normal_twist(float* value) const;
    HRESULT put_Normal_twist(float value);
    HRESULT get_Reverse_twist(float* value) const;
    HRESULT put_Reverse_twist(float value);
    HRESULT get_Sensitive(float* value) const;
    HRESULT put_Sensitive(float value);  // <= 0
    HRESULT get_RelativePeakTest(VARIANT_BOOL* value) const;
    HRESULT put_RelativePeakTest(VARIANT_BOOL value);
    // 0 exact (the default), 1 robust; anything else E_INVALIDARG.
    HRESULT get_DTMFProfile(std::int32_t* value) const;
    HRESULT put_DTMFProfile(std::int32_t value);
    // Block layout of the tone monitor and the table detectors: 0 exact (the default),
    // 1 rate-scaled; anything else E_INVALIDARG. Reapplies their groups.
    HRESULT get_BlockLayout(std::int32_t* value) const;
    HRESULT put_BlockLayout(std::int32_t value);
    HRESULT get_Frequency_index(std::int32_t* value) const;
    HRESULT put_Frequency_index(std::int32_t value);  // 0..3
    HRESULT get_Frequency_row(float* value) const;
    HRESULT put_Frequency_row(float value);  // > 0 (NaN accepted)
    HRESULT get_Frequency_col(float* value) const;
    HRESULT put_Frequency_col(float value);  // > 0 (NaN accepted)

    // --- TTY ---
    HRESULT get_Rate(std::int32_t* value) const;
    HRESULT put_Rate(std::int32_t value);  // 0..6
    HRESULT get_Mode(std::int32_t* value) const;
    HRESULT put_Mode(std::int32_t value);  // 0..4
    HRESULT get_MarkFreq(float* value) const;
    HRESULT put_MarkFreq(float value);  // >= 0 (NaN accepted)
    HRESULT get_SpaceFreq(float* value) const;
    HRESULT put_SpaceFreq(float value);  // >= 0 (NaN accepted)

    // --- paging ---
    HRESULT get_PagingType(std::int32_t* value) const;
    HRESULT put_PagingType(std::int32_t value);
    HRESULT get_MinAmpdB(float* value) const;
    HRESULT put_MinAmpdB(float value);  // < 0 (NaN accepted)
    HRESULT get_minGapDuration(std::int32_t* value) const;
    HRESULT put_minGapDuration(std::int32_t value);

    // --- spectrum, frequency and silence detection, custom tones ---
    HRESULT get_FFT_Size(std::int32_t* value) const;
    HRESULT put_FFT_Size(std::int32_t value);
    HRESULT get_FFT_Window(std::int32_t* value) const;
    HRESULT put_FFT_Window(std::int32_t value);
    HRESULT get_minSilenceDuration(std::int32_t* value) const;
    HRESULT put_minSilenceDuration(std::int32_t value);
    HRESULT get_AmplitudeThreshold(float* value) const;
    HRESULT put_AmplitudeThreshold(float value);
    HRESULT get_MaxTonesDuration(std::int32_t* value) const;
    HRESULT put_MaxTonesDuration(std::int32_t value);  // > 0
    HRESULT get_Tolerance(float* value) const;
    HRESULT put_Tolerance(float value);

    // --- texts of the last finished run, version ---
    HRESULT get_ReceivedDTMFs(std::string* value) const;
    HRESULT get_ReceivedTTY(std::string* value) const;
    HRESULT get_AboutVersion(std::string* value) const;
    HRESULT AboutBox();

    // --- other operations ---
    HRESULT GetfrequencyDB(double frequency, double* retvalue) const;
    HRESULT GetCenterFreqs(double* frequency, double* secondFreq) const;
    // The latest spectrum in dB, bins 0 .. N/2; empty when spectrum conversion is off.
    // Stable while OnSpectrumData is being handled.
    std::span<const float> SpectrumDB() const;
    // The position of the block being decoded (0 before the first run).
    std::uint32_t DecodePosition() const { return m_decoder ? m_decoder->GetSamplePos() : 0; }
    HRESULT Sample2Second(std::int32_t nSample, double* fSeconds) const;
    HRESULT MonitorTones_Add(std::int32_t appSpecific, std::int32_t minPeriodOn,
                             std::int32_t minPeriodOff, std::int32_t frequency1,
                             std::int32_t frequency2, std::int32_t frequency3,
                             std::int32_t frequency4, float minAmpdB, float maxAmpdB);
    HRESULT MonitorTones_Clear();
    const std::vector<tag_tone>& Tones() const { return m_tones; }
    CFSKParams* get_FSKParams();

    // Pushes settings into the detectors: decFlag is a set of detector switch bits, -1
    // for all groups.
    void SetDecoderParams(std::int32_t sampleRate, std::int32_t decFlag);

    // --- decoding runs ---
    HRESULT WaveStreamStart();
    HRESULT WaveStreamStart2(const WAVEFORMATEX* format);
    HRESULT DecodeWaveStreamStart(int bits, std::int32_t sampleRate, int channelOption);
    HRESULT _WaveStreamInputEx(const std::uint8_t* buffAddr, std::int32_t offset, std::int32_t cbSize,
                               std::int32_t* retvalue);
    HRESULT WaveStreamInputEx(std::int32_t buffAddr, std::int32_t offset, std::int32_t cbSize,
                              std::int32_t* retvalue);
    HRESULT WaveStreamEnd();
    HRESULT DecodeWaveFile(const char* fileName);

    // The stream format of host-fed runs and raw files (a buffer of the largest format size).
    WAVEFORMATEX* RawFormat() { return reinterpret_cast<WAVEFORMATEX*>(m_rawFormat.get()); }
    const WAVEFORMATEX* RawFormat() const { return reinterpret_cast<const WAVEFORMATEX*>(m_rawFormat.get()); }

    // --- events, debug, errors ---
    // Handles messages queued for the event window; see EventWindow. Returns how many.
    int DispatchEvents();
    int WaitEvents(int timeoutMs);
    EventWindow* Window() const { return m_window.get(); }
    HRESULT Fire_OnDebug(const char* text, std::int32_t level);
    void Log_Debug(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    const std::string& ErrorText() const { return m_errorText; }
    void SetErrorText(std::string text) { m_errorText = std::move(text); }

    // The DTMF frequency tables (four entries each), read at every DTMF application.
    float* RowFrequencies() { return m_rowFreqs; }
    float* ColFrequencies() { return m_colFreqs; }

    // The aggregate, for the component and the tests.
    CBaseDecoder& Decoder() { return *m_decoder; }
    std::int32_t RunSampleRate() const { return m_runSampleRate; }

    // Debug levels.
    static constexpr int kInformation = 0;
    static constexpr int kWindowFailed = 98;
    static constexpr int kFileOpenFailed = 100;
    // Longest debug line; longer lines are cut.
    static constexpr std::size_t kDebugLineSize = 1024;

private:
    HRESULT PutSwitch(VARIANT_BOOL& stored, VARIANT_BOOL value, std::int32_t decFlag);
    template <typename T>
    HRESULT PutGroup(T& stored, T value, std::int32_t decFlag);
    HRESULT RefuseFormat(const char* reason, const WAVEFORMATEX& format);
    bool InsideEvent();
    HRESULT StartConversion(const WAVEFORMATEX& format, const WAVEFORMATEX** decoded);
    void CountFrames(std::uint32_t bytes);
    void Deliver(int msg, std::uint64_t wParam, std::int64_t lParam);

    std::unique_ptr<CFSKParams> m_fskParams;
    std::unique_ptr<CBaseDecoder> m_decoder;
    std::int32_t m_fftWindow = 5;
    float m_silenceThreshold = -45.0f;
    float m_amplitudeThreshold = -30.0f;
    std::int32_t m_minSilenceDuration = 60;
    std::unique_ptr<std::uint8_t[]> m_rawFormat;
    std::int32_t m_fftSize = 1024;
    std::int32_t m_sampleProcessed = 0;
    std::vector<tag_tone> m_tones;
    float m_harmonic2ndRow = 1.2f;
    float m_harmonic2ndCol = 15.1f;
    std::int32_t m_minIntervalDuration = 40;
    std::int32_t m_minDuration = 40;
    std::int32_t m_relativePeakTest = -1;
    std::int32_t m_dtmfProfile = 0;
    std::int32_t m_blockLayout = 0;
    std::int32_t m_rate = 0;
    float m_tolerance = 0.06f;
    std::int32_t m_mode = 0;
    std::int32_t m_decodeChannel = 0;
    VARIANT_BOOL m_monitorFSK = VARIANT_FALSE;
    VARIANT_BOOL m_monitorTTY = VARIANT_FALSE;
    VARIANT_BOOL m_monitorCustomTone = VARIANT_FALSE;
    VARIANT_BOOL m_enableSpectrumConversion = VARIANT_FALSE;
    VARIANT_BOOL m_monitorCallerID = VARIANT_FALSE;
    VARIANT_BOOL m_monitorDTMF = VARIANT_TRUE;
    VARIANT_BOOL m_monitorMF = VARIANT_FALSE;
    VARIANT_BOOL m_monitorTonePaging = VARIANT_FALSE;
    VARIANT_BOOL m_monitorSAME = VARIANT_FALSE;
    VARIANT_BOOL m_monitorCIDCW = VARIANT_FALSE;
    VARIANT_BOOL m_monitorVMWI = VARIANT_FALSE;
    VARIANT_BOOL m_synchronizeEvents = VARIANT_FALSE;
    VARIANT_BOOL m_monitorSIT = VARIANT_FALSE;
    float m_energyThreshold = 12.0f;
    float m_spaceFreq = 1800.0f;
    float m_markFreq = 1400.0f;
    std::int32_t m_pagingType = 1;
    float m_normalTwist = 0.0f;
    float m_reverseTwist = 0.0f;
    std::string m_receivedDTMFs;
    std::string m_receivedTTY;
    std::unique_ptr<CACMBuffer> m_conversion;
    std::int32_t m_maxTonesDuration = 4000;
    std::int32_t m_minGapDuration = 10;
    std::unique_ptr<EventWindow> m_window;
    float m_sensitive = -65.0f;
    float m_colFreqs[4] = {};
    float m_rowFreqs[4] = {};
    std::int32_t m_frequencyIndex = 0;
    std::int32_t m_frameSize = 2;
    std::int32_t m_runSampleRate = 0;
    float m_minAmpdB = -25.0f;
    std::string m_errorText;
    DecoderEventProc m_callback;
};
