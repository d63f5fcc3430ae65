#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Endpoint.h"
#include "PayloadFormat.h"
#include "RtpPacket.h"
#include "RtpStream.h"

struct SipMessage;
struct UdpDatagram;

// Every RTP stream of a capture or of a port listened to: the datagrams in the order they
// were captured, sorted into streams (one SSRC of one flow), each decoded by its own
// RtpStream into a sink the caller makes for it.
//
// A flow becomes a stream only once a few of its packets follow one another in sequence,
// so other UDP traffic that happens to look like an RTP header (a DNS query's first byte
// often does) never becomes one; the packets before that are kept and given to the stream
// first. SIP messages with SDP say which dynamic payload types a stream uses, and the call
// it belongs to: a stream is matched to the media offer whose address and port it is sent
// to (or, failing that, sent from). Learn them all first (a capture read twice) so offers
// that come after the first media packets still count.
class RtpSession {
public:
    struct StreamInfo {
        Endpoint source, destination;
        std::uint32_t ssrc = 0;
        std::string callId;        // empty when no SIP message names the stream's endpoints
        std::int64_t firstTimeNs = 0;  // arrival of the stream's first packet
        // "192.0.2.1:4000 > 192.0.2.2:5004 SSRC 0x1a2b3c4d"
        std::string Name() const;
    };
    // The sink of a new stream; null leaves the stream undecoded.
    using SinkFactory = std::function<RtpStream::Sink*(const StreamInfo& info)>;

    struct Settings {
        std::size_t reorderWindow = 16;  // packets
        // Packets of a flow in sequence before it counts as a stream.
        std::size_t packetsToConfirm = 3;
        // Streams decoded at once; more are listed as skipped.
        std::size_t mostStreams = 256;
        // What payload types stand for where no SDP names them (before the static table).
        std::vector<PayloadFormat> assumedTypes;
    };

    RtpSession(SinkFactory factory, Settings settings);
    explicit RtpSession(SinkFactory factory) : RtpSession(std::move(factory), Settings{}) {}
    ~RtpSession();

    // The SDP of a SIP message: its offers name calls and dynamic payload types.
    void Learn(const SipMessage& message);
    // One UDP datagram as it was captured or received. SIP is learnt, RTP is decoded,
    // anything else is passed over.
    void Datagram(const UdpDatagram& datagram, std::int64_t timeNs);
    // Live: releases what has waited in the reorder windows longer than holdNs.
    void Drain(std::int64_t nowNs, std::int64_t holdNs);
    // The end of the capture: every stream's held packets are decoded.
    void End();

    // What was passed over, a line each: the streams that gave no audio and no key, with
    // why; the packets of types nobody named in streams that decoded; the streams beyond
    // mostStreams.
    std::vector<std::string> Skipped() const;

private:
    struct Key {
        Endpoint source, destination;
        std::uint32_t ssrc;
        auto operator<=>(const Key&) const = default;
    };
    struct Offer {
        std::string callId;
        std::vector<PayloadFormat> formats;
    };
    struct Candidate;
    struct Stream;

    void Rtp(const Key& key, const RtpPacket& packet, std::int64_t timeNs);
    Candidate* CandidateFor(const Key& key, std::int64_t timeNs);
    void Confirm(const Key& key, Candidate& candidate);
    const Offer* OfferFor(const Key& key) const;

    SinkFactory m_factory;
    Settings m_settings;
    std::map<Endpoint, Offer> m_offers;
    std::map<Key, std::unique_ptr<Candidate>> m_candidates;
    std::map<Key, std::unique_ptr<Stream>> m_streams;
    std::vector<std::string> m_overflow;
    std::size_t m_overflowCount = 0;
};
