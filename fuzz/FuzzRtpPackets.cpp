#include <cstdint>
#include <cstdlib>
#include <span>

#include "rtp/PacketCapture.h"
#include "rtp/PacketDissector.h"
#include "rtp/RtpPacket.h"
#include "rtp/SipMessage.h"

namespace {

// Every view a parser hands back must lie inside the bytes it was given.
void RequireWithin(std::span<const std::uint8_t> inner, std::span<const std::uint8_t> outer) {
    if (inner.empty()) return;
    if (inner.data() < outer.data() || inner.data() + inner.size() > outer.data() + outer.size()) std::abort();
}

void ParseDatagram(std::span<const std::uint8_t> datagram) {
    if (const auto rtp = RtpPacket::Parse(datagram)) {
        RequireWithin(rtp->payload, datagram);
        if (rtp->payloadType > 127 || (rtp->payloadType >= 72 && rtp->payloadType <= 76)) std::abort();
    }
    if (const auto sip = SipMessage::Parse(datagram)) {
        if (sip->callId.empty() || sip->callId.size() > SipMessage::kMaxCallIdLength) std::abort();
        if (sip->request == sip->method.empty() || sip->request == (sip->status != 0)) std::abort();
        if (sip->media.size() > SessionDescription::kMaxMedia) std::abort();
        for (const MediaOffer& offer : sip->media) {
            if (offer.endpoint.port == 0 || offer.formats.size() > SessionDescription::kMaxFormats) std::abort();
            for (const PayloadFormat& f : offer.formats)
                if (f.payloadType < 0 || f.payloadType > 127 || f.clockRate < 0 || f.channels < 1) std::abort();
        }
    }
}

void DissectFrame(int linkType, std::span<const std::uint8_t> frame) {
    if (const auto udp = PacketDissector::Dissect(linkType, frame)) {
        RequireWithin(udp->payload, frame);
        ParseDatagram(udp->payload);
    }
}

}  // namespace

// Arbitrary bytes as a capture read through libpcap, every frame dissected and every
// datagram parsed as RTP and as SIP; and the same bytes as one frame of each link layer
// and as one datagram, so the parsers are reached without a capture's framing too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    PacketCapture capture;
    if (capture.OpenMemory(bytes)) {
        while (const auto frame = capture.Next()) DissectFrame(frame->linkType, frame->bytes);
    }
    for (const int linkType : {0, 1, 12, 101, 108, 113, 228, 229, 276}) DissectFrame(linkType, bytes);
    ParseDatagram(bytes);
    return 0;
}
