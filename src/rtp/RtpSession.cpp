#include "RtpSession.h"

#include <algorithm>
#include <cstdio>

#include "PacketDissector.h"
#include "SipMessage.h"

namespace {

// Flows that look like RTP but have not yet shown packets in sequence: more than this are
// not followed (a capture of random traffic cannot make the session grow without end).
constexpr std::size_t kMostCandidates = 4096;
// A candidate's next packet is in step when its sequence number is this close ahead.
constexpr std::uint16_t kMostStepAhead = 16;
// Names of streams beyond the limit that are kept for the listing; the rest are counted.
constexpr std::size_t kMostOverflowNames = 32;

}  // namespace

// The first packets of a flow, copied, until it shows packets in sequence.
struct RtpSession::Candidate {
    struct Held {
        RtpPacket packet;
        std::vector<std::uint8_t> payload;
        std::int64_t timeNs = 0;
    };
    std::vector<Held> held;
    std::int64_t lastTimeNs = 0;
};

struct RtpSession::Stream {
    StreamInfo info;
    std::vector<PayloadFormat> offered;
    RtpStream::Sink* sink = nullptr;
    std::unique_ptr<RtpStream> rtp;  // null: no sink was made for it
};

std::string RtpSession::StreamInfo::Name() const {
    char ssrcText[16];
    std::snprintf(ssrcText, sizeof ssrcText, "0x%08x", ssrc);
    return source.ToString() + " > " + destination.ToString() + " SSRC " + ssrcText;
}

RtpSession::RtpSession(SinkFactory factory, Settings settings) : m_factory(std::move(factory)), m_settings(settings) {
    m_settings.packetsToConfirm = std::max<std::size_t>(1, m_settings.packetsToConfirm);
}

RtpSession::~RtpSession() = default;

void RtpSession::Learn(const SipMessage& message) {
    for (const MediaOffer& media : message.media) {
        Offer& offer = m_offers[media.endpoint];
        offer.callId = message.callId;
        offer.formats = media.formats;
    }
}

void RtpSession::Datagram(const UdpDatagram& datagram, std::int64_t timeNs) {
    if (const std::optional<SipMessage> sip = SipMessage::Parse(datagram.payload)) {
        Learn(*sip);
        return;
    }
    const std::optional<RtpPacket> packet = RtpPacket::Parse(datagram.payload);
    if (!packet) return;
    Rtp(Key{datagram.source, datagram.destination, packet->ssrc}, *packet, timeNs);
}

void RtpSession::Rtp(const Key& key, const RtpPacket& packet, std::int64_t timeNs) {
    if (const auto found = m_streams.find(key); found != m_streams.end()) {
        if (found->second->rtp) found->second->rtp->Push(packet, timeNs);
        return;
    }
    Candidate* candidate = CandidateFor(key, timeNs);
    if (candidate == nullptr) return;
    // A packet out of step starts the count again from itself.
    if (!candidate->held.empty()) {
        const std::uint16_t step = static_cast<std::uint16_t>(packet.sequence - candidate->held.back().packet.sequence);
        if (step == 0 || step > kMostStepAhead) candidate->held.clear();
    }
    Candidate::Held& held = candidate->held.emplace_back();
    held.packet = packet;
    held.payload.assign(packet.payload.begin(), packet.payload.end());
    held.timeNs = timeNs;
    candidate->lastTimeNs = timeNs;
    if (candidate->held.size() >= m_settings.packetsToConfirm) {
        const std::unique_ptr<Candidate> confirmed = std::move(m_candidates[key]);
        m_candidates.erase(key);
        Confirm(key, *confirmed);
    }
}

RtpSession::Candidate* RtpSession::CandidateFor(const Key& key, std::int64_t timeNs) {
    if (const auto found = m_candidates.find(key); found != m_candidates.end()) return found->second.get();
    if (m_candidates.size() >= kMostCandidates) {
        // The flow heard from longest ago makes room: a real stream keeps coming.
        const auto oldest = std::min_element(m_candidates.begin(), m_candidates.end(), [](const auto& a, const auto& b) {
            return a.second->lastTimeNs < b.second->lastTimeNs;
        });
        if (oldest->second->lastTimeNs > timeNs) return nullptr;
        m_candidates.erase(oldest);
    }
    return m_candidates.emplace(key, std::make_unique<Candidate>()).first->second.get();
}

const RtpSession::Offer* RtpSession::OfferFor(const Key& key) const {
    // Media is sent to the address its receiver offered; with symmetric RTP it also comes
    // from the address its sender offered.
    for (const Endpoint* end : {&key.destination, &key.source})
        if (const auto found = m_offers.find(*end); found != m_offers.end()) return &found->second;
    return nullptr;
}

void RtpSession::Confirm(const Key& key, Candidate& candidate) {
    StreamInfo info;
    info.source = key.source;
    info.destination = key.destination;
    info.ssrc = key.ssrc;
    info.firstTimeNs = candidate.held.front().timeNs;
    if (m_streams.size() >= m_settings.mostStreams) {
        // Remembered as decoded-by-nobody, so its later packets are passed over at once.
        auto& stream = m_streams.emplace(key, std::make_unique<Stream>()).first->second;
        stream->info = info;
        if (m_overflow.size() < kMostOverflowNames) m_overflow.push_back(info.Name());
        ++m_overflowCount;
        return;
    }
    auto& stream = m_streams.emplace(key, std::make_unique<Stream>()).first->second;
    if (const Offer* offer = OfferFor(key)) {
        info.callId = offer->callId;
        stream->offered = offer->formats;
    }
    stream->info = info;
    stream->sink = m_factory(stream->info);
    if (stream->sink == nullptr) return;
    Stream* s = stream.get();
    const std::vector<PayloadFormat>* assumed = &m_settings.assumedTypes;
    auto lookup = [s, assumed](int payloadType) -> std::optional<PayloadFormat> {
        for (const std::vector<PayloadFormat>* list : {static_cast<const std::vector<PayloadFormat>*>(&s->offered), assumed})
            for (const PayloadFormat& f : *list)
                if (f.payloadType == payloadType && f.clockRate > 0) return f;
        return PayloadFormat::Static(payloadType);
    };
    RtpStream::Settings settings;
    settings.reorderWindow = m_settings.reorderWindow;
    stream->rtp = std::make_unique<RtpStream>(lookup, *stream->sink, settings);
    for (const Candidate::Held& held : candidate.held) {
        RtpPacket packet = held.packet;
        packet.payload = held.payload;
        stream->rtp->Push(packet, held.timeNs);
    }
}

void RtpSession::Drain(std::int64_t nowNs, std::int64_t holdNs) {
    for (auto& [key, stream] : m_streams)
        if (stream->rtp) stream->rtp->Drain(nowNs, holdNs);
}

void RtpSession::End() {
    for (auto& [key, stream] : m_streams)
        if (stream->rtp) stream->rtp->End();
    m_candidates.clear();
}

std::vector<std::string> RtpSession::Skipped() const {
    std::vector<std::string> lines;
    for (const auto& [key, stream] : m_streams) {
        if (!stream->rtp) continue;
        const std::string problem = stream->rtp->Problem();
        if (!problem.empty()) {
            lines.push_back(stream->info.Name() + " skipped: " + problem);
            continue;
        }
        // A stream that decoded may still have carried a type nobody named (telephone
        // events on a dynamic type, with no SDP to say so): its packets were passed over.
        const RtpStream::Statistics stats = stream->rtp->Stats();
        for (int type = 0; type < RtpStream::kPayloadTypes; ++type)
            if (stats.unknownType[type] > 0)
                lines.push_back(stream->info.Name() + ": " + std::to_string(stats.unknownType[type]) +
                                " packets of payload type " + std::to_string(type) + " skipped: the type is unknown" +
                                (type >= 96 ? " (no SDP in the capture names it)" : ""));
    }
    for (const std::string& name : m_overflow)
        lines.push_back(name + " skipped: more than " + std::to_string(m_settings.mostStreams) + " streams at once");
    if (m_overflowCount > m_overflow.size())
        lines.push_back(std::to_string(m_overflowCount - m_overflow.size()) + " more streams skipped beyond " +
                        std::to_string(m_settings.mostStreams));
    return lines;
}
