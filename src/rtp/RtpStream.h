#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rtp/PayloadDecoder.h"
#include "rtp/PayloadFormat.h"
#include "rtp/RtpPacket.h"
#include "rtp/RtpSequencer.h"
#include "rtp/TelephoneEventTracker.h"

// One RTP stream (one SSRC of one flow) as a stream of mono 16-bit samples and the keys
// its telephone events carry. Packets are put back in order, decoded by payload type,
// and every gap in the RTP timeline (loss, silence suppression, comfort noise, time spent
// sending only events) is filled with silence, so that the samples delivered always
// reach the position of the next one: position 0 is the first packet's timestamp, and
// positions count samples at the audio rate (the first audio packet's decoder's).
//
// The timeline is bounded by the arrival times: a forward jump of the RTP timestamp far
// beyond the time that passed between arrivals is a discontinuity and fills only what the
// arrival times justify; a step back feeds its audio without fill.
class RtpStream : private RtpSequencer::Output {
public:
    static constexpr int kPayloadTypes = 128;
    static constexpr std::size_t kMaxPendingKeys = 64;

    using FormatLookup = std::function<std::optional<PayloadFormat>(int payloadType)>;

    struct Sink {
        virtual ~Sink() = default;
        // Once, before any audio or key.
        virtual void OnStart(int sampleRate) = 0;
        // Decoded audio and silence for the gaps, in order.
        virtual void OnAudio(std::span<const std::int16_t> samples) = 0;
        // An out-of-band key, once: the position of its event's start and the time its
        // first packet arrived.
        virtual void OnKey(char key, std::int64_t position, std::int64_t timeNs) = 0;
    };

    struct Settings {
        std::size_t reorderWindow = RtpSequencer::kDefaultWindow;
        std::size_t maxPayload = RtpSequencer::kDefaultMaxPayload;
        // The most silence one gap is filled with, however long the arrival times say it
        // was: a longer gap is a discontinuity, and the positions after it run that much
        // behind the capture's clock rather than the sink receiving hours of silence.
        std::int64_t maxGapNs = 600'000'000'000;
    };

    struct Statistics {
        std::uint64_t packets = 0;  // pushed
        std::uint64_t lost = 0;
        std::uint64_t late = 0;
        std::uint64_t duplicates = 0;
        std::uint64_t oversized = 0;
        std::uint64_t restarts = 0;       // sequence numbers that jumped: the sender started again
        std::uint64_t otherSsrc = 0;      // packets of another source, skipped
        std::uint64_t audioPackets = 0;   // decoded
        std::uint64_t eventPackets = 0;
        std::uint64_t malformedEvents = 0;
        std::uint64_t comfortNoisePackets = 0;
        std::uint64_t keys = 0;           // reported
        std::uint64_t otherEvents = 0;    // events that are not keys
        std::uint64_t keysDropped = 0;    // too many waiting for the first audio
        std::uint64_t samples = 0;        // delivered, silence included
        std::uint64_t silenceSamples = 0;
        std::uint64_t jumps = 0;          // timestamp discontinuities
        std::uint64_t backSteps = 0;      // timestamps that went back
        // Packets skipped, by payload type: not known to the lookup; known but not
        // decodable; decodable but at another audio rate than the stream's.
        std::array<std::uint64_t, kPayloadTypes> unknownType{};
        std::array<std::uint64_t, kPayloadTypes> undecodable{};
        std::array<std::uint64_t, kPayloadTypes> otherRate{};
    };

    RtpStream(FormatLookup lookup, Sink& sink);
    RtpStream(FormatLookup lookup, Sink& sink, Settings settings);
    ~RtpStream() override;
    RtpStream(const RtpStream&) = delete;
    RtpStream& operator=(const RtpStream&) = delete;

    // In arrival order.
    void Push(const RtpPacket& packet, std::int64_t arrivalNs);
    // Live use: releases packets held longer than holdNs for a packet that has not come.
    void Drain(std::int64_t nowNs, std::int64_t holdNs);
    // Releases what is held; a stream of events only starts here, at the events' clock.
    void End();

    // The sample rate given to OnStart; 0 before.
    int SampleRate() const { return m_started ? m_audioRate : 0; }
    Statistics Stats() const;
    // Why the stream gave neither audio nor keys, in words; empty when it gave some.
    std::string Problem() const;

private:
    enum class Use { Unseen, Unknown, Undecodable, Audio, Event, ComfortNoise };

    struct TypeEntry {
        Use use = Use::Unseen;
        PayloadFormat format;
        std::unique_ptr<PayloadDecoder> decoder;
    };

    // Where the timeline stands: the last audio packet's (the first packet's until
    // there is audio), in ticks of the stream's clock from position 0.
    struct Anchor {
        bool set = false;
        std::uint32_t timestamp = 0;
        std::int64_t ticks = 0;
        std::int64_t arrivalNs = 0;
    };

    struct PendingKey {
        char key = 0;
        std::uint32_t timestamp = 0;
        std::int64_t arrivalNs = 0;
    };

    void OnPacket(const RtpSequencer::Released& released) override;
    TypeEntry& Classify(int payloadType);
    void HandleAudio(const RtpPacket& packet, std::int64_t arrivalNs, PayloadDecoder& decoder);
    void HandleEvent(const RtpPacket& packet, std::int64_t arrivalNs, const PayloadFormat& format);
    void Start(int audioRate, int clockRate);
    void FlushPendingKeys();
    void ReportKey(char key, std::uint32_t timestamp, std::int64_t arrivalNs);

    std::int64_t AudioTicks(std::uint32_t timestamp, std::int64_t arrivalNs);
    std::int64_t EventTicks(std::uint32_t timestamp, std::int64_t arrivalNs) const;
    std::int64_t ForwardLimitTicks(std::int64_t arrivalNs) const;
    std::int64_t JustifiedTicks(std::int64_t arrivalNs) const;
    std::int64_t NsToTicks(std::int64_t ns) const;
    std::int64_t Position(std::int64_t ticks) const;
    void EmitSilence(std::int64_t samples);
    void EmitAudio(std::span<const std::int16_t> samples);

    FormatLookup m_lookup;
    Sink& m_sink;
    std::int64_t m_maxGapNs;
    RtpSequencer m_sequencer;
    std::array<TypeEntry, kPayloadTypes> m_types;
    TelephoneEventTracker m_events;

    bool m_ssrcSet = false;
    std::uint32_t m_ssrc = 0;
    bool m_arrivalSeen = false;
    std::int64_t m_firstArrivalNs = 0;
    bool m_timingKnown = false;  // arrival times differ: they measure time

    bool m_started = false;
    int m_audioRate = 0;
    int m_clockRate = 0;
    int m_eventClockRate = 0;
    Anchor m_anchor;
    std::int64_t m_delivered = 0;
    std::vector<std::int16_t> m_decoded;  // reused for every payload

    std::array<PendingKey, kMaxPendingKeys> m_pending{};
    std::size_t m_pendingCount = 0;

    Statistics m_stats;
};
