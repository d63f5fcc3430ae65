#include "rtp/RtpStream.h"

#include <algorithm>
#include <limits>
#include <sstream>

#include "rtp/TelephoneEvent.h"

namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// A jump forward may run this far beyond the time between arrivals before it is taken
// for a discontinuity (a sender's clock and the capture's drift, and packets come in
// bursts).
constexpr std::int64_t kJumpSlackNs = kNsPerSecond;
// Without arrival times to go by, the most a single step may move the timeline.
constexpr std::int64_t kUntimedLimitNs = 60 * kNsPerSecond;
// Arrival gaps are bounded before they become ticks (the setting is bounded by this): a
// day is more than any step of a 32-bit timestamp at a telephone clock.
constexpr std::int64_t kMaxGapNs = 86'400 * kNsPerSecond;
// How far back of the timeline an event may start (it began while audio went on).
constexpr std::int64_t kEventBackLimitNs = 60 * kNsPerSecond;
constexpr int kDefaultEventClock = 8000;

// Room for the samples of most payloads (120 ms at 48 kHz), so the buffer seldom grows.
constexpr std::size_t kDecodedReserve = 8192;

constexpr std::size_t kSilenceChunk = 1024;
constexpr std::array<std::int16_t, kSilenceChunk> kZeros{};

// later - earlier, saturated: arrival times come from files and callers.
std::int64_t GapNs(std::int64_t later, std::int64_t earlier) {
    std::int64_t gap = 0;
    if (__builtin_sub_overflow(later, earlier, &gap)) return later > earlier ? std::numeric_limits<std::int64_t>::max() : 0;
    return gap;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool IsComfortNoise(const PayloadFormat& format) {
    return format.encoding.size() == 2 && (format.encoding[0] | 0x20) == 'c' && (format.encoding[1] | 0x20) == 'n';
}

std::string Describe(int payloadType, const PayloadFormat& format) {
    std::ostringstream text;
    text << "payload type " << payloadType << " (" << format.encoding << '/' << format.clockRate << ')';
    return text.str();
}

}  // namespace

RtpStream::RtpStream(FormatLookup lookup, Sink& sink) : RtpStream(std::move(lookup), sink, Settings{}) {}

RtpStream::RtpStream(FormatLookup lookup, Sink& sink, Settings settings)
    : m_lookup(std::move(lookup)), m_sink(sink), m_maxGapNs(std::clamp<std::int64_t>(settings.maxGapNs, 0, kMaxGapNs)),
      m_sequencer(*this, settings.reorderWindow, settings.maxPayload) {
    m_decoded.reserve(kDecodedReserve);
}

RtpStream::~RtpStream() = default;

void RtpStream::Push(const RtpPacket& packet, std::int64_t arrivalNs) {
    ++m_stats.packets;
    if (!m_ssrcSet) {
        m_ssrcSet = true;
        m_ssrc = packet.ssrc;
    } else if (packet.ssrc != m_ssrc) {
        ++m_stats.otherSsrc;
        return;
    }
    if (!m_arrivalSeen) {
        m_arrivalSeen = true;
        m_firstArrivalNs = arrivalNs;
    } else if (arrivalNs != m_firstArrivalNs) {
        m_timingKnown = true;
    }
    m_sequencer.Push(packet, arrivalNs);
}

void RtpStream::Drain(std::int64_t nowNs, std::int64_t holdNs) { m_sequencer.Drain(nowNs, holdNs); }

void RtpStream::End() {
    m_sequencer.End();
    if (!m_started && m_pendingCount > 0) {
        const int rate = m_eventClockRate > 0 ? m_eventClockRate : kDefaultEventClock;
        Start(rate, rate);
        FlushPendingKeys();
    }
}

RtpStream::TypeEntry& RtpStream::Classify(int payloadType) {
    TypeEntry& entry = m_types[static_cast<std::size_t>(payloadType)];
    if (entry.use != Use::Unseen) return entry;
    std::optional<PayloadFormat> format = m_lookup ? m_lookup(payloadType) : std::nullopt;
    if (!format) {
        entry.use = Use::Unknown;
        return entry;
    }
    entry.format = *format;
    if (format->IsTelephoneEvent()) {
        entry.use = Use::Event;
    } else if (IsComfortNoise(*format)) {
        entry.use = Use::ComfortNoise;
    } else {
        entry.decoder = std::make_unique<PayloadDecoder>(*format);
        entry.use = entry.decoder->Known() ? Use::Audio : Use::Undecodable;
        if (entry.use == Use::Undecodable) entry.decoder.reset();
    }
    return entry;
}

void RtpStream::OnPacket(const RtpSequencer::Released& released) {
    const RtpPacket& packet = released.packet;
    const int type = packet.payloadType & 0x7F;
    TypeEntry& entry = Classify(type);
    switch (entry.use) {
    case Use::Unseen:
    case Use::Unknown: ++m_stats.unknownType[static_cast<std::size_t>(type)]; break;
    case Use::Undecodable: ++m_stats.undecodable[static_cast<std::size_t>(type)]; break;
    // Its time is filled with silence when the next audio packet's timestamp says how long.
    case Use::ComfortNoise: ++m_stats.comfortNoisePackets; break;
    case Use::Event: HandleEvent(packet, released.arrivalNs, entry.format); break;
    case Use::Audio: HandleAudio(packet, released.arrivalNs, *entry.decoder); break;
    }
}

void RtpStream::Start(int audioRate, int clockRate) {
    m_started = true;
    m_audioRate = audioRate;
    m_clockRate = clockRate;
    m_sink.OnStart(audioRate);
}

void RtpStream::HandleAudio(const RtpPacket& packet, std::int64_t arrivalNs, PayloadDecoder& decoder) {
    if (m_started && (decoder.AudioRate() != m_audioRate || decoder.ClockRate() != m_clockRate)) {
        ++m_stats.otherRate[packet.payloadType & 0x7F];
        return;
    }
    if (!m_anchor.set) m_anchor = Anchor{true, packet.timestamp, 0, arrivalNs};
    if (!m_started) {
        // Keys that came first are placed on the timeline they started, now that it has a rate.
        Start(decoder.AudioRate(), decoder.ClockRate());
        FlushPendingKeys();
    }
    const std::int64_t ticks = AudioTicks(packet.timestamp, arrivalNs);
    m_decoded.clear();
    decoder.Decode(packet.payload, m_decoded);
    ++m_stats.audioPackets;
    const std::int64_t target = Position(ticks);
    if (target > m_delivered) EmitSilence(target - m_delivered);
    EmitAudio(m_decoded);
    m_anchor = Anchor{true, packet.timestamp, ticks, arrivalNs};
}

void RtpStream::HandleEvent(const RtpPacket& packet, std::int64_t arrivalNs, const PayloadFormat& format) {
    const std::optional<TelephoneEvent> event = TelephoneEvent::Parse(packet.payload);
    if (!event) {
        ++m_stats.malformedEvents;
        return;
    }
    ++m_stats.eventPackets;
    if (!m_anchor.set) {
        m_anchor = Anchor{true, packet.timestamp, 0, arrivalNs};
        m_eventClockRate = format.clockRate;
    }
    const std::optional<char> key = m_events.Push(packet.timestamp, *event);
    if (!key) return;
    if (m_started) {
        ReportKey(*key, packet.timestamp, arrivalNs);
    } else if (m_pendingCount < m_pending.size()) {
        m_pending[m_pendingCount++] = PendingKey{*key, packet.timestamp, arrivalNs};
    } else {
        ++m_stats.keysDropped;
    }
}

void RtpStream::FlushPendingKeys() {
    for (std::size_t i = 0; i < m_pendingCount; ++i)
        ReportKey(m_pending[i].key, m_pending[i].timestamp, m_pending[i].arrivalNs);
    m_pendingCount = 0;
}

void RtpStream::ReportKey(char key, std::uint32_t timestamp, std::int64_t arrivalNs) {
    ++m_stats.keys;
    const std::int64_t position = std::max<std::int64_t>(0, Position(EventTicks(timestamp, arrivalNs)));
    m_sink.OnKey(key, position, arrivalNs);
}

// The timeline's ticks at an audio packet: the anchor's moved by the timestamp step when
// the arrival times allow it, by what they justify when not; a step back starts where
// the audio delivered so far ends, so nothing is filled and positions stay monotonic.
std::int64_t RtpStream::AudioTicks(std::uint32_t timestamp, std::int64_t arrivalNs) {
    const auto step = static_cast<std::int64_t>(static_cast<std::int32_t>(timestamp - m_anchor.timestamp));
    if (step < 0) {
        ++m_stats.backSteps;
        return std::max(m_anchor.ticks, m_delivered * m_clockRate / m_audioRate);
    }
    if (step > ForwardLimitTicks(arrivalNs)) {
        ++m_stats.jumps;
        return m_anchor.ticks + JustifiedTicks(arrivalNs);
    }
    return m_anchor.ticks + step;
}

// An event's start on the timeline: it may lie a little behind the last audio packet (the
// event began while audio went on), never before position 0, and a start far ahead of
// what the arrival times allow is placed where they say.
std::int64_t RtpStream::EventTicks(std::uint32_t timestamp, std::int64_t arrivalNs) const {
    std::int64_t step = static_cast<std::int32_t>(timestamp - m_anchor.timestamp);
    if (step > ForwardLimitTicks(arrivalNs))
        step = JustifiedTicks(arrivalNs);
    else if (step < -NsToTicks(kEventBackLimitNs))
        step = 0;
    return std::max<std::int64_t>(0, m_anchor.ticks + step);
}

std::int64_t RtpStream::ForwardLimitTicks(std::int64_t arrivalNs) const {
    if (!m_timingKnown) return NsToTicks(kUntimedLimitNs);
    const std::int64_t gap = std::clamp<std::int64_t>(GapNs(arrivalNs, m_anchor.arrivalNs), 0, m_maxGapNs);
    return NsToTicks(gap + kJumpSlackNs);
}

std::int64_t RtpStream::JustifiedTicks(std::int64_t arrivalNs) const {
    if (!m_timingKnown) return 0;
    return NsToTicks(std::clamp<std::int64_t>(GapNs(arrivalNs, m_anchor.arrivalNs), 0, m_maxGapNs));
}

// ns is at most about a day: whole seconds and the rest apart keep the product in range.
std::int64_t RtpStream::NsToTicks(std::int64_t ns) const {
    const std::int64_t clock = m_clockRate > 0 ? m_clockRate : (m_eventClockRate > 0 ? m_eventClockRate : kDefaultEventClock);
    return ns / kNsPerSecond * clock + ns % kNsPerSecond * clock / kNsPerSecond;
}

std::int64_t RtpStream::Position(std::int64_t ticks) const {
    if (m_clockRate <= 0) return 0;
    return FloorDiv(ticks * m_audioRate, m_clockRate);
}

void RtpStream::EmitSilence(std::int64_t samples) {
    m_stats.silenceSamples += static_cast<std::uint64_t>(samples);
    while (samples > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(samples, kSilenceChunk));
        EmitAudio(std::span<const std::int16_t>(kZeros.data(), n));
        samples -= static_cast<std::int64_t>(n);
    }
}

void RtpStream::EmitAudio(std::span<const std::int16_t> samples) {
    if (samples.empty()) return;
    m_delivered += static_cast<std::int64_t>(samples.size());
    m_stats.samples += samples.size();
    m_sink.OnAudio(samples);
}

RtpStream::Statistics RtpStream::Stats() const {
    Statistics s = m_stats;
    const RtpSequencer::Counts& c = m_sequencer.Stats();
    s.lost = c.lost;
    s.late = c.late;
    s.duplicates = c.duplicates;
    s.oversized = c.oversized;
    s.restarts = c.restarts;
    s.otherEvents = m_events.Stats().otherEvents;
    return s;
}

std::string RtpStream::Problem() const {
    if (m_stats.samples > 0 || m_stats.keys > 0) return {};
    if (m_stats.packets == 0) return "no packets";
    std::vector<std::string> reasons;
    for (int type = 0; type < kPayloadTypes; ++type) {
        const auto t = static_cast<std::size_t>(type);
        std::ostringstream text;
        if (m_stats.unknownType[t] > 0) {
            text << "payload type " << type << " unknown";
            if (type >= 96) text << " (no SDP in the capture)";
            text << " in " << m_stats.unknownType[t] << " packets";
        } else if (m_stats.undecodable[t] > 0) {
            text << Describe(type, m_types[t].format) << " cannot be decoded by this build in "
                 << m_stats.undecodable[t] << " packets";
        } else if (m_stats.otherRate[t] > 0) {
            text << Describe(type, m_types[t].format) << " at another rate than the stream's audio in "
                 << m_stats.otherRate[t] << " packets";
        } else {
            continue;
        }
        reasons.push_back(text.str());
    }
    if (m_stats.comfortNoisePackets > 0) reasons.push_back("only comfort noise, no audio");
    if (m_events.Stats().otherEvents > 0)
        reasons.push_back("telephone events that are not keys only");
    if (m_sequencer.Stats().oversized > 0) reasons.push_back("payloads too long to keep");
    if (m_stats.malformedEvents > 0) reasons.push_back("telephone-event payloads too short");
    if (m_stats.otherSsrc > 0 && reasons.empty()) reasons.push_back("packets of another source only");
    if (reasons.empty()) return "no packet gave audio or a key";
    std::string joined;
    for (const std::string& r : reasons) {
        if (!joined.empty()) joined += "; ";
        joined += r;
    }
    return joined;
}
