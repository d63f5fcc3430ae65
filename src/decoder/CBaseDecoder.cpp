#include "decoder/CBaseDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "decoder/DecoderMessages.h"

namespace {

// Blocks are 100 samples at every rate: 12.5 ms at 8 kHz.
constexpr int kBlockLength = 100;

// Stereo input is split into one channel a slice at a time through the stack, so feeding
// never allocates.
constexpr int kChannelSlice = 4096;

template <typename Base>
CSampleEvent& As(CBaseDecoder& decoder) {
    return static_cast<Base&>(decoder);
}

// Every detector, in the order in which it sees each block: caller ID, TTY, DTMF,
// spectrum, custom tone monitor, MF, paging, SAME, SIT, FSK data. The numbers leave room
// for detectors still to come at their places.
constexpr CBaseDecoder::DetectorRow kDetectorTable[] = {
    {1, DEC_CALLERID | DEC_CIDCW | DEC_VMWI, &As<CDecCIDEx>, "caller ID"},
    {2, DEC_TTY, &As<CDecBaudotCode>, "TTY"},
    {3, DEC_DTMF, &As<CDecDTMF>, "DTMF"},
    {4, DEC_CUSTOMTONE | DEC_SPECTRUM, &As<CDetectToneFreqs>, "spectrum, frequency and silence"},
    {5, DEC_MONITORTONES, &As<CMonitorTones>, "custom tones"},
    {7, DEC_MF, &As<CMFDetector>, "MF"},
    {8, DEC_TONEPAGING, &As<CZVEIDetector>, "paging"},
    {9, DEC_SAME, &As<CDecSAME>, "SAME"},
    {10, DEC_SIT, &As<CSITDetector>, "special information tones"},
    {12, DEC_FSK, &As<CDecFSKData>, "FSK data"},
};

constexpr bool DeliveryOrderAscends() {
    for (std::size_t i = 1; i < std::size(kDetectorTable); ++i)
        if (kDetectorTable[i - 1].deliveryOrder >= kDetectorTable[i].deliveryOrder) return false;
    return true;
}
static_assert(DeliveryOrderAscends(), "detector rows must be listed in delivery order");

}  // namespace

std::span<const CBaseDecoder::DetectorRow> CBaseDecoder::Detectors() { return kDetectorTable; }

CBaseDecoder::CBaseDecoder() {
    for (const DetectorRow& row : kDetectorTable) row.consumer(*this).SetDeliveryOrder(row.deliveryOrder);
}

CBaseDecoder::~CBaseDecoder() = default;

void CBaseDecoder::SetHandle(DecoderEventProc procedure, MessageWindow* window) {
    m_eventProc = procedure;
    m_eventWindow = window;
}

HRESULT CBaseDecoder::SetParameters(std::int32_t sampleRate, int bits, float silenceThresholdDb,
                                    int channelOption) {
    if (sampleRate < 1 || bits < 8 || bits > 32) return E_INVALIDARG;
    if (channelOption != kMono && channelOption != kLeft && channelOption != kRight)
        return E_INVALIDARG;
    if (IsDelivering()) return E_FAIL;  // not from inside an event of this stream

    m_ttyText.clear();
    m_dtmfText.clear();
    m_ttyText.reserve(kTextReserve);
    m_dtmfText.reserve(kTextReserve);
    SetAudioParameters(bits, sampleRate, silenceThresholdDb, kBlockLength);
    m_frameSize = GetBytesPerSample();
    m_channelOption = channelOption;
    m_carryCount = 0;
    if (channelOption != kMono) m_frameSize *= 2;
    for (const DetectorRow& row : kDetectorTable) row.consumer(*this).SetSample(this);
    return S_OK;
}

const CBaseDecoder::DetectorRow* CBaseDecoder::RowOf(std::int32_t decFlag) const {
    for (const DetectorRow& row : kDetectorTable)
        if ((row.flags & decFlag) == decFlag && decFlag != 0) return &row;
    return nullptr;
}

void CBaseDecoder::EnableXDec(std::int32_t decFlag, int enable) {
    const bool on = (m_enabledMask & decFlag) == decFlag;
    const bool off = (m_enabledMask & decFlag) == 0;
    if ((enable != 0 && on) || (enable == 0 && off)) return;

    if (enable != 0) {
        m_enabledMask |= decFlag;
    } else {
        m_enabledMask &= ~decFlag;
    }
    const DetectorRow* row = RowOf(decFlag);
    if (row == nullptr) return;  // not a detector switch: only the mask changes
    CSampleEvent& consumer = row->consumer(*this);
    if (enable != 0) {
        AddEvent(&consumer);
    } else if ((m_enabledMask & row->flags) == 0) {
        RemoveEvent(&consumer);  // the last switch of its group went off
    }
}

HRESULT CBaseDecoder::InputData2(const unsigned char* data, int byteCount) {
    if (m_frameSize == 0) return E_FAIL;
    if (byteCount < 0) return E_INVALIDARG;
    if (byteCount > 0 && data == nullptr) return E_POINTER;
    // Feeding from inside an event of this stream would nest a block inside the one
    // being delivered; refuse it before a carried byte is touched.
    if (IsDelivering()) return E_FAIL;

    if (m_carryCount > 0) {
        // Complete the frame begun in an earlier buffer.
        const int take = std::min(m_frameSize - m_carryCount, byteCount);
        std::memcpy(m_carry + m_carryCount, data, static_cast<std::size_t>(take));
        m_carryCount = static_cast<std::uint8_t>(m_carryCount + take);
        data += take;
        byteCount -= take;
        if (m_carryCount < m_frameSize) return S_OK;
        m_carryCount = 0;
        DecodeFrames(m_carry, m_frameSize);
    }
    const int rest = byteCount % m_frameSize;
    const int whole = byteCount - rest;
    if (whole > 0) DecodeFrames(data, whole);
    if (rest > 0) std::memcpy(m_carry, data + whole, static_cast<std::size_t>(rest));
    m_carryCount = static_cast<std::uint8_t>(rest);
    return S_OK;
}

void CBaseDecoder::DecodeFrames(const unsigned char* data, int byteCount) {
    const int width = GetBytesPerSample();
    if (m_channelOption == kMono) {
        putSamples(data, byteCount, 0);
        return;
    }
    if (width != 1 && width != 2 && width != 4) return;  // the stream decodes no such width

    unsigned char slice[kChannelSlice];
    const int framesPerSlice = kChannelSlice / width;
    const unsigned char* frame = data + m_channelOption * width;
    int frames = byteCount / m_frameSize;
    while (frames > 0) {
        const int n = std::min(frames, framesPerSlice);
        for (int i = 0; i < n; ++i) std::memcpy(slice + i * width, frame + i * m_frameSize, width);
        putSamples(slice, n * width, 0);
        frame += n * m_frameSize;
        frames -= n;
    }
}

void CBaseDecoder::Deliver(int msg, std::uint64_t wParam, std::int64_t lParam) {
    if (m_eventProc) {
        m_eventProc(msg, wParam, lParam);
    } else if (m_eventWindow != nullptr) {
        if (TravelOf(msg) == MessageTravel::Send) {
            m_eventWindow->Send(msg, wParam, lParam);
        } else {
            m_eventWindow->Post(msg, wParam, lParam);
        }
    }
}

void CBaseDecoder::OnDTMF(char key, std::int32_t position) {
    m_dtmfText.push_back(key);
    Deliver(DM_DTMF, SignExtendedChar(key), static_cast<std::int64_t>(position));
}

void CBaseDecoder::OnCallerID(const char* name, const char* number, const char* dateTime, const char* calledNumber,
                              const std::uint8_t* raw, std::int32_t statusWord) {
    const CallerIDStrings strings{name, number, dateTime, calledNumber, raw};
    const CallerIDStatus status{statusWord, static_cast<std::int32_t>(GetSamplePos())};
    Deliver(DM_CALLERID, AddressOf(&strings), static_cast<std::int64_t>(AddressOf(&status)));
}

void CBaseDecoder::OnVMWI(std::int32_t status, std::int32_t data) {
    if ((EnabledMask() & DEC_VMWI) == 0) return;
    const VMWIInfo info{status, static_cast<std::int32_t>(CDecCIDEx::DemodulatorPosition())};
    Deliver(DM_VMWI, AddressOf(&info), static_cast<std::int64_t>(data));
}

void CBaseDecoder::OnTone(monitortone_tag* tone) {
    if ((EnabledMask() & DEC_MONITORTONES) == 0) return;
    Deliver(DM_TONE, AddressOf(tone), 0);
}

void CBaseDecoder::OnMFKey(char key, std::int32_t position) {
    Deliver(DM_MF_KEY, SignExtendedChar(key), static_cast<std::int64_t>(position));
}

void CBaseDecoder::OnZVEIKey(char key, std::int32_t position) {
    Deliver(DM_ZVEI_KEY, SignExtendedChar(key), static_cast<std::int64_t>(position));
}

void CBaseDecoder::OnSIT(_SIT_TYPE type, std::int32_t position) {
    Deliver(DM_SIT, SignExtended(type), static_cast<std::int64_t>(position));
}

void CBaseDecoder::OnDetectChar(std::int32_t recvChar, std::int32_t position) {
    m_ttyText.push_back(static_cast<char>(recvChar & 0xFF));
    Deliver(DM_TTY_CHAR, SignExtended(recvChar), static_cast<std::int64_t>(position));
}

void CBaseDecoder::OnRawSAME(const char* header, std::int32_t position) {
    Deliver(DM_RAW_SAME, AddressOf(header), static_cast<std::int64_t>(position));
}

void CBaseDecoder::OnSAMEelement(std::int32_t state, const char* text, std::int32_t position) {
    const SAMEElementInfo info{state, position};
    Deliver(DM_SAME_ELEMENT, AddressOf(&info), static_cast<std::int64_t>(AddressOf(text)));
}

void CBaseDecoder::OnFSKData(std::int32_t charData, std::uint32_t position) {
    Deliver(DM_FSK_DATA, SignExtended(charData), static_cast<std::int64_t>(position));
}

void CBaseDecoder::OnFrequencyData() { Deliver(DM_FREQUENCY_DATA, 0, 0); }

void CBaseDecoder::OnFrequencyDetected(double frequency, double secondFreq, std::int32_t starttime,
                                       std::int32_t duration) {
    const FrequencyPair pair{frequency, secondFreq};
    const ToneTiming timing{starttime, duration};
    Deliver(DM_FREQUENCY_DETECTED, AddressOf(&pair), static_cast<std::int64_t>(AddressOf(&timing)));
}

void CBaseDecoder::OnSilenceStart(std::int32_t starttime) {
    Deliver(DM_SILENCE_START, SignExtended(starttime), 0);
}

void CBaseDecoder::OnSilenceEnd(std::int32_t endtime, std::int32_t duration) {
    Deliver(DM_SILENCE_END, SignExtended(endtime), static_cast<std::int64_t>(duration));
}

void CBaseDecoder::EndOfStream() {
    MarkDelivering(true);
    if (m_enabledMask & DEC_TTY) CDecBaudotCode::EndOfStream();
    if (m_enabledMask & DEC_SAME) CDecSAME::EndOfStream();
    if (m_enabledMask & DEC_FSK) CDecFSKData::EndOfStream();
    if (m_enabledMask & (DEC_SPECTRUM | DEC_CUSTOMTONE)) CDetectToneFreqs::EndOfStream();
    MarkDelivering(false);
}
