#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rtp/SessionDescription.h"

// A SIP request or response carried in one UDP datagram, reduced to what pairs a call's
// RTP streams with it: the call it belongs to and the audio streams its SDP body offers.
//
// Header names are compared without case and in compact form too (i, l, c); lines may
// end in CRLF or LF; folded header lines are passed over. The body is what follows the
// blank line, cut to Content-Length when that is shorter (a longer one keeps what the
// datagram holds). A message without a Call-ID is not taken for SIP.
struct SipMessage {
    static constexpr std::size_t kMaxLineLength = 4096;
    static constexpr std::size_t kMaxHeaders = 256;
    static constexpr std::size_t kMaxCallIdLength = 256;
    static constexpr std::size_t kMaxMethodLength = 32;

    bool request = false;
    std::string method;  // empty for a response
    int status = 0;      // 0 for a request
    std::string callId;
    std::vector<MediaOffer> media;  // audio m= lines only, port != 0

    // Nothing unless the first line is "METHOD uri SIP/2.0" or "SIP/2.0 CODE reason" and
    // the headers end with a blank line. Rejected before any allocation when the first
    // line is not SIP, which most datagrams are not.
    static std::optional<SipMessage> Parse(std::span<const std::uint8_t> datagram);

private:
    static bool ParseStartLine(std::string_view line, SipMessage& message);
};
