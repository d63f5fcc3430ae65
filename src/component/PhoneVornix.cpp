#include "vornix/PhoneVornix.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/WaveFormatSelection.h"
#include "component/ThrowForResult.h"
#include "control/CPhoneVornix.h"
#include "platform/TextConversion.h"
#include "decoder/DecoderMessages.h"
#include "tones/monitortone_tag.h"

namespace Orvane::VornixNet {

namespace {

// The debug line of a recognised custom tone: its identifier, on-time and position, then
// its frequencies (an absent one negated), or "[Silence]" for a silence tone.
std::string ToneDebugLine(const monitortone_tag& tone) {
    char text[128];
    std::snprintf(text, sizeof text, "OnToneDetected, AppSpecific=%u, Duration=%u(ms), pos=%u", tone.AppSpecific,
                  tone.MinPeriodOn, tone.sampleCounter);
    std::string line = text;
    if (tone.frequencyCount == 0) line += "[Silence]";
    for (int i = 0; i < tone.frequencyCount; ++i) {
        const ToneFrequency& f = tone.frequencies[i];
        std::snprintf(text, sizeof text, ", Freq%d=%ddHz ", i + 1, f.absent ? -f.frequency : f.frequency);
        line += text;
    }
    return line;
}

const char* const kSITNames[7] = {"Reorder - intraLATA", "Vacant Code",  "No Circuit - intraLATA",
                                  "Intercept",           "Reorder - interLATA", "No Circuit - interLATA",
                                  "Ineffective/Other"};
const char* const kSAMEStateNames[9] = {"SAME_UNKNOWN",    "SAME_TEXT1",     "SAME_TEXT2",
                                        "SAME_TEXT3",      "SAME_WARN_ALARM", "SAME_VOICE_MSG",
                                        "SAME_NNNN_1",     "SAME_NNNN_2",    "SAME_NNNN_3"};

constexpr const char* kStartFirst = "Please use WaveStreamStart() method to initialize the decoding first.";

std::int32_t Low32(std::uint64_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }
std::int32_t Low32(std::int64_t value) { return Low32(static_cast<std::uint64_t>(value)); }

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[1024];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// A key character of a decoder message, as text.
std::string KeyText(std::uint64_t wparam) {
    const char key = static_cast<char>(wparam & 0xFF);
    return Latin1ToUtf8(&key, 1);
}

template <typename T>
const T* Record(std::uint64_t address) {
    return reinterpret_cast<const T*>(static_cast<std::uintptr_t>(address));
}
template <typename T>
const T* Record(std::int64_t address) {
    return Record<T>(static_cast<std::uint64_t>(address));
}

std::optional<std::string> OptionalText(const char* text) {
    if (text == nullptr) return std::nullopt;
    return Latin1ToUtf8(text);
}

}  // namespace

PhoneVornix::PhoneVornix()
    : m_pTDecoder(std::make_unique<CPhoneVornix>(DecoderEventProc{&PhoneVornix::NativeCallback, this})),
      m_formatSelection(std::make_unique<WaveFormatSelection>(m_pTDecoder->RawFormat())),
      m_FSKParams(m_pTDecoder.get()),
      m_DTMFParams(m_pTDecoder.get()),
      m_MonitorTonesParams(m_pTDecoder.get()),
      m_CustomToneParams(m_pTDecoder.get()),
      m_TTYParams(m_pTDecoder.get()),
      m_TonePagingParams(m_pTDecoder.get()) {
    m_pTDecoder->put_SynchronizeEvents(VARIANT_FALSE);
}

PhoneVornix::~PhoneVornix() {
    if (m_BrisolCtrl != nullptr) {
        m_BrisolCtrl->set_EventHandle(nullptr, nullptr);
        m_BrisolCtrl->set_Owner(nullptr);
    }
}

void PhoneVornix::Check(std::int32_t hresult) const { ThrowForResult(hresult, m_pTDecoder->ErrorText()); }

void PhoneVornix::RethrowHandlerException() {
    std::exception_ptr pending;
    {
        std::lock_guard lock(m_handlerExceptionMutex);
        pending = std::exchange(m_handlerException, nullptr);
    }
    if (pending) std::rethrow_exception(pending);
}

void PhoneVornix::KeepHandlerException(std::exception_ptr exception) {
    // The first one wins: it is the one that explains what followed.
    std::lock_guard lock(m_handlerExceptionMutex);
    if (!m_handlerException) m_handlerException = std::move(exception);
}

// ---------------------------------------------------------------- properties

namespace {
template <typename T, typename Getter>
T Read(const CPhoneVornix& decoder, Getter getter) {
    T value{};
    (decoder.*getter)(&value);
    return value;
}
}  // namespace

#define VORNIX_SWITCH(Name)                                                                           \
    bool PhoneVornix::Name() const { return Read<VARIANT_BOOL>(*m_pTDecoder, &CPhoneVornix::get_##Name) != 0; } \
    void PhoneVornix::Name(bool value) { Check(m_pTDecoder->put_##Name(value ? 1 : 0)); }

VORNIX_SWITCH(MonitorDTMF)
VORNIX_SWITCH(MonitorCallerID)
VORNIX_SWITCH(EnableSpectrumConversion)
VORNIX_SWITCH(MonitorCustomTone)
VORNIX_SWITCH(MonitorTTY)
VORNIX_SWITCH(MonitorTonePaging)
VORNIX_SWITCH(MonitorMF)
VORNIX_SWITCH(MonitorSAME)
VORNIX_SWITCH(MonitorVMWI)
VORNIX_SWITCH(MonitorSIT)
VORNIX_SWITCH(MonitorCIDCW)
VORNIX_SWITCH(MonitorFSK)
VORNIX_SWITCH(SynchronizeEvents)
#undef VORNIX_SWITCH

float PhoneVornix::SilenceThreshold() const { return Read<float>(*m_pTDecoder, &CPhoneVornix::get_SilenceThreshold); }
void PhoneVornix::SilenceThreshold(float value) { Check(m_pTDecoder->put_SilenceThreshold(value)); }
std::int32_t PhoneVornix::SampleProcessed() const {
    return Read<std::int32_t>(*m_pTDecoder, &CPhoneVornix::get_SampleProcessed);
}
void PhoneVornix::SampleProcessed(std::int32_t value) { Check(m_pTDecoder->put_SampleProcessed(value)); }
CHANNEL_OPT PhoneVornix::DecodeChannel() const {
    return static_cast<CHANNEL_OPT>(Read<std::int32_t>(*m_pTDecoder, &CPhoneVornix::get_DecodeChannel));
}
void PhoneVornix::DecodeChannel(CHANNEL_OPT value) { Check(m_pTDecoder->put_DecodeChannel(value)); }
DTMF_PROFILE PhoneVornix::DTMFProfile() const {
    return static_cast<DTMF_PROFILE>(Read<std::int32_t>(*m_pTDecoder, &CPhoneVornix::get_DTMFProfile));
}
void PhoneVornix::DTMFProfile(DTMF_PROFILE value) { Check(m_pTDecoder->put_DTMFProfile(value)); }
std::string PhoneVornix::AboutVersion() const {
    std::string version;
    m_pTDecoder->get_AboutVersion(&version);
    return version;
}

WAVE_FORMAT_INDEX PhoneVornix::WaveFormatIndex() const {
    return static_cast<WAVE_FORMAT_INDEX>(m_formatSelection->WaveFormatIndex());
}
void PhoneVornix::WaveFormatIndex(WAVE_FORMAT_INDEX value) {
    if (FAILED(m_formatSelection->WaveFormatIndex(value)))
        throw ArgumentException(E_INVALIDARG, "WaveFormatIndex must lie between 0 and 65.");
}
std::string PhoneVornix::WaveFormatID() const { return m_formatSelection->WaveFormatID(); }
void PhoneVornix::WaveFormatID(const std::string& value) {
    if (m_formatSelection->WaveFormatID(value.c_str()) == WaveFormatSelection::IdResult::NotHexadecimal)
        throw ArgumentException(E_INVALIDARG, "WaveFormatID must be hexadecimal text: two digits per byte.");
}
std::string PhoneVornix::WaveFormatCodecDesc() const { return m_formatSelection->WaveFormatCodecDesc(); }

// ---------------------------------------------------------------- sources and runs

void PhoneVornix::Source(const std::string& fileName) {
    const HRESULT hr = m_pTDecoder->DecodeWaveFile(fileName.c_str());
    RethrowHandlerException();
    Check(hr);
}

void PhoneVornix::Source(CAudioDataSource& captureSource) {
    if (captureSource.TypeName() != kCaptureSourceTypeName)
        throw ArgumentException(E_INVALIDARG, "The source is not a capture source.");
    if (m_BrisolCtrl != nullptr && m_BrisolCtrl != &captureSource) {
        m_BrisolCtrl->set_EventHandle(nullptr, nullptr);  // the new source replaces the old one
        m_BrisolCtrl->set_Owner(nullptr);
    }
    m_BrisolCtrl = &captureSource;
    captureSource.set_Owner(this);
    if (captureSource.set_EventHandle(this, &PhoneVornix::CaptureCallback) != 0)
        throw ArgumentException(E_INVALIDARG, "The capture source refused the event handler.");
    Log_Debug(0, "Associated with Brisol Control.");
}

void PhoneVornix::ForgetSource(CAudioDataSource& captureSource) {
    if (m_BrisolCtrl == &captureSource) m_BrisolCtrl = nullptr;
}

void PhoneVornix::Source(const std::any& value) {
    if (!value.has_value()) throw ArgumentException(E_INVALIDARG, "The source is null.");
    if (const auto* text = std::any_cast<std::string>(&value)) return Source(*text);
    if (const auto* text = std::any_cast<const char*>(&value)) return Source(*text);
    if (const auto* source = std::any_cast<CAudioDataSource*>(&value)) {
        if (*source == nullptr) throw ArgumentException(E_INVALIDARG, "The source is null.");
        return Source(**source);
    }
    // Anything else (a number, say) is not a source and is ignored.
}

void PhoneVornix::WaveStreamStart() {
    const HRESULT hr = m_pTDecoder->WaveStreamStart();
    RethrowHandlerException();
    Check(hr);
}

std::int32_t PhoneVornix::WaveStreamInput(std::span<const std::uint8_t> streamBuffer) {
    if (streamBuffer.empty()) throw ArgumentException(E_INVALIDARG, kStartFirst);
    // The decoder counts bytes in 32 bits: larger arrays go in pieces.
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    std::int64_t taken = 0;
    bool failed = false;
    for (std::size_t at = 0; at < streamBuffer.size() && !failed; at += kPiece) {
        const auto n = static_cast<std::int32_t>(std::min(kPiece, streamBuffer.size() - at));
        std::int32_t piece = 0;
        failed = FAILED(m_pTDecoder->_WaveStreamInputEx(streamBuffer.data() + at, 0, n, &piece));
        taken += piece;
    }
    RethrowHandlerException();
    return failed ? 0 : static_cast<std::int32_t>(std::min<std::int64_t>(taken, INT32_MAX));
}

void PhoneVornix::WaveStreamEnd() {
    m_pTDecoder->WaveStreamEnd();
    RethrowHandlerException();
}

void PhoneVornix::MonitorTones_Add(std::int32_t appSpecific, std::int32_t minPeriodOn, std::int32_t minPeriodOff,
                                   std::int32_t frequency1, std::int32_t frequency2, std::int32_t frequency3,
                                   std::int32_t frequency4, float minAmpdB, float maxAmpdB) {
    m_pTDecoder->MonitorTones_Add(appSpecific, minPeriodOn, minPeriodOff, frequency1, frequency2, frequency3,
                                  frequency4, minAmpdB, maxAmpdB);
}

void PhoneVornix::MonitorTones_Clear() { m_pTDecoder->MonitorTones_Clear(); }

double PhoneVornix::Sample2Second(std::int32_t nSample) const {
    double seconds = 0.0;
    m_pTDecoder->Sample2Second(nSample, &seconds);
    return seconds;
}

bool PhoneVornix::GetCenterFreqs(double& frequency, double& secondFreq) const {
    return m_pTDecoder->GetCenterFreqs(&frequency, &secondFreq) == S_OK;
}

double PhoneVornix::GetfrequencyDB(double frequency) const {
    double level = -1.0;
    m_pTDecoder->GetfrequencyDB(frequency, &level);
    return level;
}

std::uint32_t PhoneVornix::DecodePosition() const { return m_pTDecoder->DecodePosition(); }

std::vector<float> PhoneVornix::SpectrumDB() const {
    const std::span<const float> bins = m_pTDecoder->SpectrumDB();
    return {bins.begin(), bins.end()};
}

void PhoneVornix::AboutBox() {
    m_pTDecoder->AboutBox();
    RethrowHandlerException();
}

int PhoneVornix::DispatchEvents() {
    const int count = m_pTDecoder->DispatchEvents();
    RethrowHandlerException();
    return count;
}

int PhoneVornix::WaitEvents(std::chrono::milliseconds timeout) {
    const int count = m_pTDecoder->WaitEvents(static_cast<int>(std::min<std::int64_t>(timeout.count(), INT32_MAX)));
    RethrowHandlerException();
    return count;
}

// ---------------------------------------------------------------- dispatch

void PhoneVornix::NativeCallback(void* context, int msg, std::uint64_t wParam, std::int64_t lParam) {
    auto* self = static_cast<PhoneVornix*>(context);
    try {
        self->InternalMessage(msg, wParam, lParam);
    } catch (...) {
        self->KeepHandlerException(std::current_exception());
    }
}

void PhoneVornix::CaptureCallback(void* receiver, int uMsg, std::uint64_t wparam, std::int64_t lparam) {
    auto* self = static_cast<PhoneVornix*>(receiver);
    try {
        self->OnData(receiver, uMsg, wparam, lparam);
    } catch (...) {
        // The capture thread has no caller to hand the exception to; the next public
        // call on the component rethrows it.
        self->KeepHandlerException(std::current_exception());
    }
}

void PhoneVornix::OnData(void*, std::int32_t uMsg, std::uint64_t wparam, std::int64_t lparam) {
    InternalMessage(uMsg, wparam, lparam);
}

void PhoneVornix::Log_Debug(std::int32_t refCode, std::string message) {
    OnDebug.Raise(*this, OnDebugArgs(std::move(message), refCode));
}

void PhoneVornix::InternalMessage(std::int32_t uMsg, std::uint64_t wparam, std::int64_t lparam) {
    switch (uMsg) {
        case AM_RECORD_START:
            // Nobody waits for this call's result on the capture thread; a refusal is said
            // on the debug road so a listening host can report it.
            if (m_BrisolCtrl != nullptr &&
                FAILED(m_pTDecoder->WaveStreamStart2(static_cast<const WAVEFORMATEX*>(m_BrisolCtrl->get_RecordFormatEx()))))
                Log_Debug(CPhoneVornix::kFileOpenFailed,
                          "Unable to start decoding the capture: " + Latin1ToUtf8(m_pTDecoder->ErrorText().c_str()));
            break;
        case AM_RECORD_END:
            m_pTDecoder->WaveStreamEnd();
            break;
        case AM_RECORD_DATA:
            if (m_BrisolCtrl != nullptr) {
                std::int32_t taken = 0;
                m_pTDecoder->_WaveStreamInputEx(Record<std::uint8_t>(wparam), 0, Low32(lparam), &taken);
            }
            break;
        case DM_DTMF:
            Log_Debug(0, Format("DTMF tone detected, Key='%s', position=%d", KeyText(wparam).c_str(), Low32(lparam)));
            OnDTMF.Raise(*this, KeyArgs(static_cast<char16_t>(static_cast<unsigned char>(wparam & 0xFF)),
                                        Low32(wparam), Low32(lparam)));
            break;
        case DM_TTY_CHAR: {
            const auto character = static_cast<std::int32_t>(wparam & 0xFF);
            const auto rawCode = static_cast<std::int32_t>(static_cast<std::uint32_t>(wparam) >> 16);
            if (rawCode == 31) {
                Log_Debug(0, "OnTTY(), Receive letters shift");
            } else if (rawCode == 27) {
                Log_Debug(0, "OnTTY(), Receive figures shift");
            } else if (character != 0) {
                Log_Debug(0, Format("OnTTY(), Receive char='%s' (%d), raw code=%d position=%d",
                                    KeyText(wparam).c_str(), character, rawCode, Low32(lparam)));
            } else {
                Log_Debug(0, Format("OnTTY(), Receive char=null, raw code=%d position=%d", rawCode, Low32(lparam)));
            }
            OnTTY.Raise(*this, KeyArgs(static_cast<char16_t>(character), rawCode, Low32(lparam)));
            break;
        }
        case DM_CALLERID:
            DispatchCallerID(wparam, lparam);
            break;
        case DM_TONE: {
            const auto* tone = Record<monitortone_tag>(wparam);
            Log_Debug(0, ToneDebugLine(*tone));
            OnToneDetected.Raise(*this, OnToneDetectedArgs(static_cast<std::int32_t>(tone->AppSpecific),
                                                           static_cast<std::int32_t>(tone->sampleCounter)));
            break;
        }
        case DM_FREQUENCY_DATA:
            OnSpectrumData.Raise(*this, EventArgs());
            break;
        case DM_FREQUENCY_DETECTED: {
            const auto* pair = Record<FrequencyPair>(wparam);
            const auto* timing = Record<ToneTiming>(lparam);
            if (pair->secondFreq == -1.0) {
                Log_Debug(0, Format("Frequency detected, %.15gHz, start position=%d, duration=%d(ms)", pair->Frequency,
                                    timing->starttime, timing->Duration));
            } else {
                Log_Debug(0, Format("Multi-Frequency detected, %.15gHz, second frequency=%.15gHz, duration=%d(ms), "
                                    "start position=%d",
                                    pair->Frequency, pair->secondFreq, timing->Duration, timing->starttime));
            }
            OnFrequencyDetected.Raise(
                *this, OnFrequencyDetectedArgs(pair->Frequency, pair->secondFreq, timing->Duration, timing->starttime));
            break;
        }
        case DM_SILENCE_START:
            Log_Debug(0, Format("Start of silence detected, start position=%d", Low32(wparam)));
            OnSilenceStart.Raise(*this, OnSilenceStartArgs(Low32(wparam)));
            break;
        case DM_SILENCE_END:
            Log_Debug(0, Format("End of silence detected, end postion=%d,  duration=%d(ms)", Low32(wparam), Low32(lparam)));
            OnSilenceEnd.Raise(*this, OnSilenceEndArgs(Low32(wparam), Low32(lparam)));
            break;
        case DM_ZVEI_KEY:
            Log_Debug(0, Format("Paging signal detected, Key='%s', position=%d", KeyText(wparam).c_str(), Low32(lparam)));
            OnPaging.Raise(*this, KeyArgs(static_cast<char16_t>(static_cast<unsigned char>(wparam & 0xFF)),
                                          Low32(wparam), Low32(lparam)));
            break;
        case DM_MF_KEY:
            Log_Debug(0, Format("MF signal detected, Key='%s', position=%d", KeyText(wparam).c_str(), Low32(lparam)));
            OnMF.Raise(*this, KeyArgs(static_cast<char16_t>(static_cast<unsigned char>(wparam & 0xFF)), Low32(wparam),
                                      Low32(lparam)));
            break;
        case DM_RAW_SAME: {
            const std::string raw = Latin1ToUtf8(Record<char>(wparam));
            Log_Debug(0, Format("SAME detected (confirmed), raw data='%s', position=%d", raw.c_str(), Low32(lparam)));
            OnSAME.Raise(*this, OnSAMEArgs(raw, Low32(lparam)));
            break;
        }
        case DM_VMWI:
            DispatchVMWI(wparam, lparam);
            break;
        case DM_DECODE_END:
            Log_Debug(0, "End of decoding.");
            break;
        case DM_DEBUG_TEXT:
            Log_Debug(Low32(lparam), Latin1ToUtf8(Record<char>(wparam)));
            break;
        case DM_SAME_ELEMENT: {
            const auto* info = Record<SAMEElementInfo>(wparam);
            const std::string context = Latin1ToUtf8(Record<char>(lparam));
            const char* name = info->iState >= 0 && info->iState <= 8 ? kSAMEStateNames[info->iState] : "";
            Log_Debug(0, Format("SAME element detected, state=%s, context='%s', position=%d", name, context.c_str(),
                                info->pos));
            OnSAMEelement.Raise(*this, OnSAMEelementArgs(static_cast<SAME_STATUS>(info->iState), context, info->pos));
            break;
        }
        case DM_SIT: {
            const auto type = static_cast<std::uint32_t>(wparam);
            if (wparam > 6) break;
            Log_Debug(0, Format("SIT ('%s') tone detected, position=%d.", kSITNames[type], Low32(lparam)));
            OnSIT.Raise(*this, OnSITArgs(static_cast<SIT_TYPE>(type), kSITNames[type], Low32(lparam)));
            break;
        }
        case DM_PROGRESS:
            OnProgress.Raise(*this, OnProgressArgs(Low32(wparam), Low32(lparam)));
            break;
        case DM_FSK_DATA: {
            const auto byte = static_cast<std::int32_t>(wparam & 0xFF);
            OnFSK.Raise(*this, KeyArgs(static_cast<char16_t>(byte), byte, Low32(lparam)));
            break;
        }
        default:
            break;  // not a message of ours
    }
}

void PhoneVornix::DispatchCallerID(std::uint64_t wparam, std::int64_t lparam) {
    const auto* strings = Record<CallerIDStrings>(wparam);
    const auto* status = Record<CallerIDStatus>(lparam);
    const std::int32_t code = status->iflag & 0xFFFF;
    const auto rawCount = static_cast<std::int16_t>(static_cast<std::uint32_t>(status->iflag) >> 16);
    std::optional<std::vector<std::uint8_t>> raw;
    if (rawCount > 0 && strings->szRaw != nullptr) raw.emplace(strings->szRaw, strings->szRaw + rawCount);

    switch (code) {
        case 1:
            Log_Debug(0, "CID Bad checksum.");
            OnCallerID.Raise(*this, OnCallerIDArgs(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::move(raw),
                                                   CID_STATUS_BAD_CHECKSUM, status->position));
            return;
        case 3: Log_Debug(0, "Bad parity of Japanese CID detected"); return;
        case 4: Log_Debug(0, "CID SDMF format detected."); return;
        case 40: Log_Debug(0, "Bad header of Japanese CID detected"); return;
        case 128: Log_Debug(0, "CID MDMF format detected."); return;
        default: break;
    }
    auto name = OptionalText(strings->szName);
    auto number = OptionalText(strings->szNumber);
    auto date = OptionalText(strings->szDataTime);
    Log_Debug(0, Format("OnCallerID(), number=%s, name=%s, date=%s, position=%d", number.value_or("").c_str(),
                        name.value_or("").c_str(), date.value_or("").c_str(), status->position));
    OnCallerID.Raise(*this, OnCallerIDArgs(std::move(name), std::move(number), OptionalText(strings->CalledIDNumber),
                                           std::move(date), std::move(raw), CID_STATUS_OK, status->position));
}

void PhoneVornix::DispatchVMWI(std::uint64_t wparam, std::int64_t lparam) {
    const auto* info = Record<VMWIInfo>(wparam);
    switch (info->iFlag) {
        case 0: Log_Debug(0, Format("VMWI detected, status: OFF, position=%d.", info->position)); break;
        case 1: Log_Debug(0, Format("VMWI detected, status: ON, position=%d.", info->position)); break;
        case 2: Log_Debug(0, "VMWI unknown (bad checksum)."); break;
        case 4: Log_Debug(0, "VMWI signal detected."); break;
        default: OnDebug.Raise(*this, OnDebugArgs(std::nullopt, 0)); break;
    }
    if (info->iFlag <= 2)
        OnVMWI.Raise(*this, OnVMWIArgs(static_cast<VMWI_STATUS>(info->iFlag), Low32(lparam), info->position));
}

}  // namespace Orvane::VornixNet
