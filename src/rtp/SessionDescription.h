#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "rtp/Endpoint.h"
#include "rtp/PayloadFormat.h"

// One audio stream an SDP body offers or answers: where it wants to receive RTP and the
// payload types it may carry.
struct MediaOffer {
    // The address from the c= line (the media's own over the session's), the port from m=.
    Endpoint endpoint;
    // Every type on the m= line in its order: static ones from the audio profile unless an
    // rtpmap says otherwise, dynamic ones from a=rtpmap. A type with neither keeps an
    // empty encoding and a zero clock rate.
    std::vector<PayloadFormat> formats;
};

// The audio streams of an SDP body (RTP/AVP, RTP/SAVP, RTP/AVPF, RTP/SAVPF). Streams with
// port zero (refused), of other media or transports, or without a usable c= address are
// left out. Counts are bounded: kMaxMedia streams, kMaxFormats types each, lines of at
// most kMaxLineLength characters (longer ones are skipped).
class SessionDescription {
public:
    static constexpr std::size_t kMaxMedia = 16;
    static constexpr std::size_t kMaxFormats = 32;
    static constexpr std::size_t kMaxLineLength = 4096;
    static constexpr std::size_t kMaxEncodingLength = 64;

    // Nothing when the body does not start with a v= line.
    static std::optional<std::vector<MediaOffer>> ParseAudio(std::string_view body);

private:
    struct PendingMedia;
    static std::optional<PendingMedia> ParseMediaLine(std::string_view value);
    static std::optional<Endpoint> ParseConnection(std::string_view value);
    static void ApplyRtpmap(std::string_view value, PendingMedia& media);
    static void Finish(PendingMedia& media, const std::optional<Endpoint>& sessionAddress,
                       std::vector<MediaOffer>& offers);
};
