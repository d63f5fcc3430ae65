#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <signal.h>

#include "rtp/Endpoint.h"

class CaptureDecoder;

// Receives RTP sent to a UDP port (a PBX forking a call's media to us) and hands every
// datagram to a capture decoder as it arrives, stamped with the wall-clock time, until
// SIGINT or SIGTERM. Packets held for reordering are let go after a short wait, so a key
// is printed soon after its audio arrives even when a packet before it was lost.
class RtpListener {
public:
    // "192.0.2.1:5004", "[2001:db8::1]:5004", or ":5004" / "5004" for every IPv4 address.
    static std::optional<Endpoint> ParseAddress(const std::string& text);

    explicit RtpListener(const Endpoint& local) : m_local(local) {}
    ~RtpListener();
    RtpListener(const RtpListener&) = delete;
    RtpListener& operator=(const RtpListener&) = delete;

    // Binds the port; false with Error() saying why.
    bool Open();
    // Feeds the decoder until one of the signals (blocked by the caller in every thread)
    // arrives. False with Error() when receiving fails.
    bool Run(CaptureDecoder& decoder, const sigset_t& stopSignals);
    const std::string& Error() const { return m_error; }
    // The address and port bound (the port the system chose when 0 was asked).
    const Endpoint& Local() const { return m_local; }

private:
    Endpoint m_local;
    int m_socket = -1;
    std::string m_error;
};
