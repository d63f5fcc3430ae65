#include "CaptureDecoder.h"

#include <chrono>

#include "CaptureStreamLane.h"
#include "DecodeOptions.h"
#include "InputCheck.h"
#include "Verbosity.h"
#include "rtp/PacketCapture.h"
#include "rtp/PacketDissector.h"
#include "rtp/SipMessage.h"
#include "vornix/PhoneVornix.h"

namespace {

// Live text that has waited this long for its line end is printed as it is.
constexpr std::chrono::seconds kTextIdle{2};

}  // namespace

CaptureDecoder::CaptureDecoder(const DecodeOptions& options, std::ostream& events, bool json, bool debug, Report report,
                               const std::atomic<bool>* stop)
    : m_options(options), m_debug(debug), m_report(std::move(report)), m_stop(stop), m_printer(events, json) {}

CaptureDecoder::~CaptureDecoder() = default;

RtpStream::Sink* CaptureDecoder::NewLane(const RtpSession::StreamInfo& info) {
    std::function<void(const std::string&)> debug;
    if (m_debug) debug = m_report;
    m_lanes.push_back(std::make_unique<CaptureStreamLane>(m_options, m_printer, info, debug));
    if (m_debug) m_report("debug: " + m_name + ": RTP stream " + info.Name() + (info.callId.empty() ? "" : ", call " + info.callId));
    return m_lanes.back().get();
}

void CaptureDecoder::Begin(const std::string& name) {
    m_name = name;
    m_lanes.clear();
    m_printer.SetFile(name);
    RtpSession::Settings settings;
    settings.assumedTypes = m_options.RtpPayloads();
    m_session = std::make_unique<RtpSession>([this](const RtpSession::StreamInfo& info) { return NewLane(info); }, settings);
}

void CaptureDecoder::Datagram(const UdpDatagram& datagram, std::int64_t timeNs) {
    m_session->Datagram(datagram, timeNs);
}

void CaptureDecoder::Drain(std::int64_t nowNs, std::int64_t holdNs) {
    m_session->Drain(nowNs, holdNs);
    m_printer.FlushIdle(kTextIdle);
}

void CaptureDecoder::End() {
    Finish(m_name);
}

void CaptureDecoder::Finish(const std::string& name) {
    m_session->End();
    for (const auto& lane : m_lanes) lane->End();
    m_printer.Flush();
    if (!Verbosity::Quiet())
        for (const std::string& skipped : m_session->Skipped()) m_report(InputCheck::Line(name, "RTP stream " + skipped));
}

bool CaptureDecoder::DecodeFile(const std::string& path, const std::string& name) {
    const std::string file = name.empty() ? path : name;
    Begin(file);
    PacketCapture capture;
    if (!capture.Open(path)) {
        m_report(InputCheck::Line(file, "cannot be read as a packet capture", capture.Error()));
        return false;
    }
    // The calls first: an offer may come after its media's first packets.
    while (const std::optional<CapturedFrame> frame = capture.Next())
        if (const std::optional<UdpDatagram> datagram = PacketDissector::Dissect(frame->linkType, frame->bytes))
            if (const std::optional<SipMessage> sip = SipMessage::Parse(datagram->payload)) m_session->Learn(*sip);
    if (!capture.Open(path)) {
        m_report(InputCheck::Line(file, "cannot be read as a packet capture", capture.Error()));
        return false;
    }
    bool interrupted = false;
    while (const std::optional<CapturedFrame> frame = capture.Next()) {
        if (const std::optional<UdpDatagram> datagram = PacketDissector::Dissect(frame->linkType, frame->bytes))
            m_session->Datagram(*datagram, frame->timeNs);
        if (Stopping()) {
            interrupted = true;
            break;
        }
    }
    const std::string readError = capture.Error();
    Finish(file);
    if (interrupted) return false;
    if (!readError.empty()) {
        m_report(InputCheck::Line(file, "the capture is cut short; the events up to its end are printed", readError));
        return false;
    }
    if (StreamsDecoded() == 0) {
        m_report(InputCheck::Line(file, "no RTP stream in it could be decoded"));
        return false;
    }
    return true;
}

double CaptureDecoder::AudioSeconds() const {
    double seconds = 0.0;
    for (const auto& lane : m_lanes) seconds += lane->AudioSeconds();
    return seconds;
}

std::size_t CaptureDecoder::StreamsDecoded() const {
    std::size_t started = 0;
    for (const auto& lane : m_lanes) started += lane->Started() ? 1 : 0;
    return started;
}
