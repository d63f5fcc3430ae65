#pragma once

#include <optional>
#include <string>

// What an RTP payload type stands for: an encoding name as SDP writes it ("PCMU",
// "telephone-event", "opus"; compared without regard to case), its RTP clock rate and
// channel count. The static types are fixed by the RTP audio profile; dynamic ones
// (96..127) are learnt from an SDP rtpmap line.
struct PayloadFormat {
    int payloadType = -1;
    std::string encoding;
    int clockRate = 0;
    int channels = 1;

    // The audio profile's static assignment of types 0..34; nothing for an unassigned or
    // dynamic type, and for video types.
    static std::optional<PayloadFormat> Static(int payloadType);
    // Whether this is the out-of-band key encoding (telephone-event).
    bool IsTelephoneEvent() const;
};
