#pragma once

#include <any>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "vornix/CAudioDataSource.h"
#include "vornix/Enums.h"
#include "vornix/Event.h"
#include "vornix/EventArgs.h"
#include "vornix/Exceptions.h"
#include "vornix/ParameterGroups.h"

class CPhoneVornix;
class WaveFormatSelection;

namespace Orvane::VornixNet {

// A telephone-line decoder. Switch detectors on, feed audio (buffers, a file, or a
// capture source through Source) and receive one event per detection. Failures throw
// VornixException or one of its subclasses, carrying the result code and a description.
//
// Events are raised on the thread that feeds the audio, inside the feeding call. With
// SynchronizeEvents on (read when a run starts), they are raised instead on the thread
// that started the first synchronised run, when that thread calls DispatchEvents or
// WaitEvents. OnDebug and OnProgress always arrive on the feeding thread. An exception
// thrown by a handler is rethrown from the call that fed the audio or dispatched the
// events, after the decoder has finished that call's work.
class PhoneVornix {
public:
    PhoneVornix();
    PhoneVornix(const PhoneVornix&) = delete;
    PhoneVornix& operator=(const PhoneVornix&) = delete;
    // Detaches from an attached capture source, which never calls a destroyed decoder.
    ~PhoneVornix();

    // --- settings ---
    float SilenceThreshold() const;  // dB, below 0; 0 is accepted and changes nothing
    void SilenceThreshold(float value);
    std::int32_t SampleProcessed() const;  // frames fed since the last file decode began
    void SampleProcessed(std::int32_t value);  // -1 stops a running file decode
    bool MonitorDTMF() const;
    void MonitorDTMF(bool value);
    bool MonitorCallerID() const;
    void MonitorCallerID(bool value);
    bool EnableSpectrumConversion() const;
    void EnableSpectrumConversion(bool value);
    bool MonitorCustomTone() const;
    void MonitorCustomTone(bool value);
    bool MonitorTTY() const;
    void MonitorTTY(bool value);
    bool MonitorTonePaging() const;
    void MonitorTonePaging(bool value);
    bool MonitorMF() const;
    void MonitorMF(bool value);
    bool MonitorSAME() const;
    void MonitorSAME(bool value);
    bool MonitorVMWI() const;
    void MonitorVMWI(bool value);
    bool MonitorSIT() const;
    void MonitorSIT(bool value);
    bool MonitorCIDCW() const;
    void MonitorCIDCW(bool value);
    bool MonitorFSK() const;
    void MonitorFSK(bool value);
    bool SynchronizeEvents() const;
    void SynchronizeEvents(bool value);
    CHANNEL_OPT DecodeChannel() const;
    void DecodeChannel(CHANNEL_OPT value);
    // The DTMF detection profile (also DTMFParams().DTMFProfile); exact by default.
    DTMF_PROFILE DTMFProfile() const;
    void DTMFProfile(DTMF_PROFILE value);
    std::string AboutVersion() const;

    CDTMFParams& DTMFParams() { return m_DTMFParams; }
    CMonitorTonesParams& MonitorTonesParams() { return m_MonitorTonesParams; }
    CCustomToneParams& CustomToneParams() { return m_CustomToneParams; }
    CTTYParams& TTYParams() { return m_TTYParams; }
    CTonePagingParams& TonePagingParams() { return m_TonePagingParams; }
    CFSKParams& FSKParams() { return m_FSKParams; }

    // --- the format of streamed audio and raw files ---
    WAVE_FORMAT_INDEX WaveFormatIndex() const;
    void WaveFormatIndex(WAVE_FORMAT_INDEX value);  // above 65: ArgumentException
    std::string WaveFormatID() const;  // the whole format record as hexadecimal text
    void WaveFormatID(const std::string& value);
    std::string WaveFormatCodecDesc() const;

    // --- audio sources ---
    // Decodes a whole file (RIFF wave in any codec the library converts, .raw/.pcm in
    // the stream format, MP3), blocking until its end or a stop request.
    void Source(const std::string& fileName);
    void Source(const char* fileName) { Source(std::string(fileName ? fileName : "")); }
    // Attaches a capture source; its messages then start, feed and end runs. Either of
    // the two may be destroyed first: the component detaches on destruction, and a
    // source that goes first calls ForgetSource.
    void Source(CAudioDataSource& captureSource);
    void ForgetSource(CAudioDataSource& captureSource);
    // For hosts that pass values dynamically: a string names a file, a capture source
    // (pointer) attaches it, an empty value throws ArgumentException, anything else is
    // ignored.
    void Source(const std::any& value);

    void WaveStreamStart();
    // Feeds bytes in the stream format; returns how many were taken (0 on failure).
    std::int32_t WaveStreamInput(std::span<const std::uint8_t> streamBuffer);
    void WaveStreamEnd();

    // --- custom tones and helpers ---
    void MonitorTones_Add(std::int32_t appSpecific, std::int32_t minPeriodOn, std::int32_t minPeriodOff,
                          std::int32_t frequency1, std::int32_t frequency2, std::int32_t frequency3,
                          std::int32_t frequency4, float minAmpdB, float maxAmpdB);
    void MonitorTones_Clear();
    double Sample2Second(std::int32_t nSample) const;

    // --- the latest spectrum, while OnSpectrumData is being handled ---
    // The one or two strongest peaks above AmplitudeThreshold in Hz, lower first (second
    // 0 when there is one); false when no peak is above it or spectrum conversion is off.
    bool GetCenterFreqs(double& frequency, double& secondFreq) const;
    // The level at a frequency in dB, interpolated between bins; -1 when spectrum
    // conversion is off or the frequency lies outside 0 to half the sample rate.
    double GetfrequencyDB(double frequency) const;
    // Every bin of the latest spectrum in dB, bin k at k x rate / FFT size Hz.
    std::vector<float> SpectrumDB() const;
    // The sample position of the block being decoded: inside an event without a position
    // of its own (OnSpectrumData), the block that completed it.
    std::uint32_t DecodePosition() const;
    void AboutBox();

    // --- synchronised events ---
    // Raises the events queued for this thread; returns how many.
    int DispatchEvents();
    // Waits up to the timeout for events, then raises what is queued.
    int WaitEvents(std::chrono::milliseconds timeout);

    // --- events ---
    Event<KeyArgs> OnFSK;
    Event<KeyArgs> OnDTMF;
    Event<OnSilenceStartArgs> OnSilenceStart;
    Event<OnSilenceEndArgs> OnSilenceEnd;
    Event<KeyArgs> OnTTY;
    Event<OnDebugArgs> OnDebug;
    Event<KeyArgs> OnMF;
    Event<KeyArgs> OnPaging;
    Event<OnSAMEArgs> OnSAME;
    Event<OnSAMEelementArgs> OnSAMEelement;
    Event<EventArgs> OnSpectrumData;
    Event<OnCallerIDArgs> OnCallerID;
    Event<OnVMWIArgs> OnVMWI;
    Event<OnToneDetectedArgs> OnToneDetected;
    Event<OnProgressArgs> OnProgress;
    Event<OnFrequencyDetectedArgs> OnFrequencyDetected;
    Event<OnSITArgs> OnSIT;

    // The dispatcher of decoder messages, and the entry of capture sources.
    void InternalMessage(std::int32_t uMsg, std::uint64_t wparam, std::int64_t lparam);
    void OnData(void* receive, std::int32_t uMsg, std::uint64_t wparam, std::int64_t lparam);

private:
    static void NativeCallback(void* context, int msg, std::uint64_t wParam, std::int64_t lParam);
    static void CaptureCallback(void* receiver, int uMsg, std::uint64_t wparam, std::int64_t lparam);
    void Check(std::int32_t hresult) const;
    void RethrowHandlerException();
    void KeepHandlerException(std::exception_ptr exception);
    void Log_Debug(std::int32_t refCode, std::string message);
    void DispatchCallerID(std::uint64_t wparam, std::int64_t lparam);
    void DispatchVMWI(std::uint64_t wparam, std::int64_t lparam);

    std::unique_ptr<CPhoneVornix> m_pTDecoder;
    std::unique_ptr<WaveFormatSelection> m_formatSelection;
    CAudioDataSource* m_BrisolCtrl = nullptr;
    // An exception thrown by a host's handler while the decoder was calling out: kept
    // here, so it never unwinds through the decoder, and rethrown from the public call
    // that fed the audio (or dispatched the events) once the decoder is back.
    std::exception_ptr m_handlerException;
    std::mutex m_handlerExceptionMutex;  // a capture source's thread may store one
    CFSKParams m_FSKParams;
    CDTMFParams m_DTMFParams;
    CMonitorTonesParams m_MonitorTonesParams;
    CCustomToneParams m_CustomToneParams;
    CTTYParams m_TTYParams;
    CTonePagingParams m_TonePagingParams;
};

}  // namespace Orvane::VornixNet
