#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "EventPrinter.h"
#include "rtp/RtpSession.h"
#include "rtp/RtpStream.h"

class DecodeOptions;
class StreamFeeder;
namespace Orvane::VornixNet {
class PhoneVornix;
}

// The decoding of one RTP stream of a capture or of a port listened to: a component of its
// own, fed the stream's samples as 16-bit PCM at the stream's rate from its first packet
// on, so positions count from there; its events carry the stream's name (and call), and
// the time is the stream's first packet's plus the event's seconds. Keys sent as telephone
// events are printed beside the keys the component hears, each saying where it came from.
class CaptureStreamLane : public RtpStream::Sink {
public:
    // Throws VornixException for settings the component refuses. debug: where the
    // component's debug lines go; empty: nowhere.
    CaptureStreamLane(const DecodeOptions& options, EventPrinter& printer, const RtpSession::StreamInfo& info,
                      std::function<void(const std::string&)> debug);
    ~CaptureStreamLane() override;
    CaptureStreamLane(const CaptureStreamLane&) = delete;
    CaptureStreamLane& operator=(const CaptureStreamLane&) = delete;

    void OnStart(int sampleRate) override;
    void OnAudio(std::span<const std::int16_t> samples) override;
    void OnKey(char key, std::int64_t position, std::int64_t timeNs) override;
    // Ends the component's run, so the events of the stream's last audio arrive.
    void End();

    bool Started() const { return m_rate > 0; }
    // Seconds of audio fed so far.
    double AudioSeconds() const;
    // False once the component refused the audio (said on the debug lines, if any).
    bool Refused() const { return m_refused; }

private:
    std::unique_ptr<Orvane::VornixNet::PhoneVornix> m_component;
    EventPrinter& m_printer;
    EventPrinter::Stream m_stream;
    std::unique_ptr<StreamFeeder> m_feeder;
    std::int64_t m_firstTimeNs;
    int m_rate = 0;
    bool m_refused = false;
};
