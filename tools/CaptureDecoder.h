#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "EventPrinter.h"
#include "rtp/RtpSession.h"

class CaptureStreamLane;
class DecodeOptions;
struct UdpDatagram;

// The RTP streams of a packet capture, or of RTP sent to a port, each decoded by a lane of
// its own (CaptureStreamLane) and printed as it decodes. Lines about the input (streams
// skipped, read errors, --debug lines) go to report.
class CaptureDecoder {
public:
    using Report = std::function<void(const std::string& line)>;

    CaptureDecoder(const DecodeOptions& options, std::ostream& events, bool json, bool debug, Report report,
                   const std::atomic<bool>* stop);
    ~CaptureDecoder();
    CaptureDecoder(const CaptureDecoder&) = delete;
    CaptureDecoder& operator=(const CaptureDecoder&) = delete;

    // A pcap or pcapng file, read twice: once for the calls its SIP messages describe, once
    // for its media. False (said on the report) when it cannot be read, is cut short, or
    // holds no stream that could be decoded.
    // name: what the events and lines call it (the file's own name when empty).
    bool DecodeFile(const std::string& file, const std::string& name = {});

    // Live: the name printed as "file", then datagrams as they arrive, Drain now and then,
    // and End when listening stops.
    void Begin(const std::string& name);
    void Datagram(const UdpDatagram& datagram, std::int64_t timeNs);
    void Drain(std::int64_t nowNs, std::int64_t holdNs);
    void End();

    // Seconds of audio of every stream decoded.
    double AudioSeconds() const;
    // Streams that gave audio or keys.
    std::size_t StreamsDecoded() const;

private:
    RtpStream::Sink* NewLane(const RtpSession::StreamInfo& info);
    // Ends every lane's run and lists the streams that gave nothing.
    void Finish(const std::string& name);
    bool Stopping() const { return m_stop != nullptr && m_stop->load(std::memory_order_relaxed); }

    const DecodeOptions& m_options;
    bool m_debug;
    Report m_report;
    const std::atomic<bool>* m_stop;
    EventPrinter m_printer;
    std::vector<std::unique_ptr<CaptureStreamLane>> m_lanes;
    std::unique_ptr<RtpSession> m_session;
    std::string m_name;
};
