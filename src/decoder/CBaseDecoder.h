#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/HResult.h"
#include "platform/MessageWindow.h"
#include "sample/CSample.h"
#include "decoder/DecFlag.h"
#include "decoder/DecoderEventProc.h"
#include "fsk/CDecBaudotCode.h"
#include "fsk/CDecBell202.h"
#include "fsk/CDecCIDEx.h"
#include "fsk/CDecFSKData.h"
#include "fsk/CDecSAME.h"
#include "tones/CDecDTMF.h"
#include "tones/CDetectToneFreqs.h"
#include "tones/CMFDetector.h"
#include "tones/CMonitorTones.h"
#include "tones/CSITDetector.h"
#include "tones/CZVEIDetector.h"

// The decoder aggregate: every detector is a base of it, together with the sample stream
// that feeds them. It switches detectors on and off, sets up the stream, takes the host's
// interleaved PCM buffers (keeping incomplete frames, picking one channel) and turns each
// detector callback into an event message for the control object.
//
// A detector joins by becoming a base here, adding its row to the detector table in the
// source (its switches and its place in the per-block delivery order) and overriding its
// callbacks below.
class CBaseDecoder : public CDecCIDEx,
                     public CDecBaudotCode,
                     public CDecDTMF,
                     public CDetectToneFreqs,
                     public CMonitorTones,
                     public CDecBell202,
                     public CMFDetector,
                     public CZVEIDetector,
                     public CDecSAME,
                     public CSITDetector,
                     public CSample,
                     public CDecFSKData {
public:
    // Channel options: one channel, or the first or second of two interleaved channels.
    static constexpr int kMono = -1;
    static constexpr int kLeft = 0;
    static constexpr int kRight = 1;

    // One registrable detector: the switches that keep it registered and its place in the
    // order in which detectors see each block.
    struct DetectorRow {
        int deliveryOrder;
        std::int32_t flags;
        CSampleEvent& (*consumer)(CBaseDecoder&);
        const char* name;
    };
    static std::span<const DetectorRow> Detectors();

    CBaseDecoder();
    ~CBaseDecoder() override;

    // Where events go from now on: the procedure when set, else the window.
    void SetHandle(DecoderEventProc procedure, MessageWindow* window);

    // Starts a run: empties the texts, configures the stream (blocks of 100 samples,
    // position 0), drops any carried bytes and attaches every detector. Rejects a rate
    // below 1, a sample width outside 8..32 bits and an unknown channel option with
    // E_INVALIDARG, and any call from inside a block delivery with E_FAIL, changing nothing.
    HRESULT SetParameters(std::int32_t sampleRate, int bits, float silenceThresholdDb, int channelOption);

    // Switches the detector behind one DEC_FLAG on or off.
    void EnableXDec(std::int32_t decFlag, int enable);
    std::int32_t EnabledMask() const { return m_enabledMask; }

    // Feeds interleaved PCM. Returns 0; E_FAIL before SetParameters or from inside a
    // block delivery; E_INVALIDARG for a negative count; E_POINTER for null data with a
    // positive count.
    HRESULT InputData2(const unsigned char* data, int byteCount);

    const std::string& DTMFText() const { return m_dtmfText; }
    const std::string& TTYText() const { return m_ttyText; }
    int FrameSize() const { return m_frameSize; }
    int CarryCount() const { return m_carryCount; }

    using CSample::GetSamplePos;
    using CSample::GetSampleRate;
    // DTMF frequency tables and TTY tones: different arguments, both reachable.
    using CDecDTMF::SetFreqs;
    using CDecBaudotCode::SetFreqs;

    // Detector callbacks, each turned into an event message.
    void OnDTMF(char key, std::int32_t position) override;
    void OnCallerID(const char* name, const char* number, const char* dateTime, const char* calledNumber,
                    const std::uint8_t* raw, std::int32_t statusWord) override;
    // Passed on only while DEC_VMWI is on, stamped with the demodulator's own position.
    void OnVMWI(std::int32_t status, std::int32_t data) override;
    // The host's custom tones; passed on only while DEC_MONITORTONES is on.
    void OnTone(monitortone_tag* tone) override;
    void OnMFKey(char key, std::int32_t position) override;
    void OnZVEIKey(char key, std::int32_t position) override;
    void OnSIT(_SIT_TYPE type, std::int32_t position) override;
    // Appends the low 8 bits to the TTY text.
    void OnDetectChar(std::int32_t recvChar, std::int32_t position) override;
    void OnRawSAME(const char* header, std::int32_t position) override;
    void OnSAMEelement(std::int32_t state, const char* text, std::int32_t position) override;
    void OnFSKData(std::int32_t charData, std::uint32_t position) override;
    void OnFrequencyData() override;
    void OnFrequencyDetected(double frequency, double secondFreq, std::int32_t starttime,
                             std::int32_t duration) override;
    void OnSilenceStart(std::int32_t starttime) override;
    void OnSilenceEnd(std::int32_t endtime, std::int32_t duration) override;

    // The end of a run, after the last partial block: the TTY and FSK data decoders that
    // are switched on report a character complete up to its stop bit that no silence
    // followed, the SAME decoder ends a burst still being received, and the spectrum
    // detector converts its last frame and analyses the sound it was collecting.
    void EndOfStream();

private:
    // Frames of at most two 32-bit samples: a carry is at most one byte short of that.
    static constexpr int kMaxFrameSize = 8;
    // Texts are reserved up front so that a run of ordinary length never allocates while
    // decoding.
    static constexpr std::size_t kTextReserve = 4096;

    const DetectorRow* RowOf(std::int32_t decFlag) const;
    void DecodeFrames(const unsigned char* data, int byteCount);
    void Deliver(int msg, std::uint64_t wParam, std::int64_t lParam);

    std::string m_dtmfText;
    std::string m_ttyText;
    std::int32_t m_enabledMask = 0;
    int m_channelOption = kMono;
    std::uint8_t m_carryCount = 0;
    unsigned char m_carry[kMaxFrameSize] = {};
    int m_frameSize = 0;
    DecoderEventProc m_eventProc;
    MessageWindow* m_eventWindow = nullptr;
};
