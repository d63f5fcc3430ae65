#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "rtp/RtpPacket.h"

// Puts one stream's packets back in sequence order. Sequence numbers are extended past
// the 16-bit wrap; packets are held in a window of preallocated slots (their payloads
// copied, so nothing is allocated per packet) until the ones before them have come or
// the window must move on. Once the stream is under way, a packet in order goes straight
// through.
//
// Dropped: duplicates, packets behind the last one released (late), and payloads longer
// than a slot. A jump of more than kMaxJump sequence numbers either way is taken as a
// sender that restarted: what is held is released and the count starts again there.
//
// The first few packets are held until kPrimingPackets have come (or the window moves,
// or a drain or the end comes), so a packet reordered in front of the very first one seen
// is still put in its place rather than dropped as late.
class RtpSequencer {
public:
    static constexpr std::size_t kDefaultWindow = 16;
    static constexpr std::size_t kDefaultMaxPayload = 1500;
    static constexpr std::int64_t kMaxJump = 3000;
    static constexpr std::size_t kPrimingPackets = 3;

    // A packet released in order. Its payload lies in the sequencer's slot and stays valid
    // only during the call that hands it over.
    struct Released {
        RtpPacket packet;
        std::int64_t index = 0;  // extended sequence number
        std::int64_t arrivalNs = 0;
    };

    class Output {
    public:
        virtual ~Output() = default;
        virtual void OnPacket(const Released& released) = 0;
    };

    struct Counts {
        std::uint64_t received = 0;
        std::uint64_t released = 0;
        std::uint64_t lost = 0;  // sequence numbers skipped over and never seen
        std::uint64_t late = 0;
        std::uint64_t duplicates = 0;
        std::uint64_t oversized = 0;
        std::uint64_t restarts = 0;
    };

    // window: slots held (at least 1); maxPayload: the largest payload a slot keeps.
    explicit RtpSequencer(Output& output, std::size_t window = kDefaultWindow,
                          std::size_t maxPayload = kDefaultMaxPayload);

    // In arrival order.
    void Push(const RtpPacket& packet, std::int64_t arrivalNs);
    // Releases every held packet that arrived holdNs or more before nowNs, and whatever
    // lies before it in sequence, giving up on the packets still missing there.
    void Drain(std::int64_t nowNs, std::int64_t holdNs);
    // Releases everything held. A later packet starts a new count.
    void End();

    std::size_t Held() const { return m_held; }
    const Counts& Stats() const { return m_counts; }

private:
    struct Slot {
        bool occupied = false;
        std::int64_t index = 0;
        std::int64_t arrivalNs = 0;
        RtpPacket header;  // its payload view is re-pointed at the copy on release
        std::size_t size = 0;
        std::vector<std::uint8_t> bytes;
    };

    Slot& SlotFor(std::int64_t index);
    std::int64_t Extend(std::uint16_t sequence) const;
    bool WasReleased(std::int64_t index) const;
    void Start(std::int64_t index);
    // Before the first release: a packet behind the head may become the head while the
    // window still spans everything held.
    bool TakeAsNewHead(std::int64_t index);
    void Store(const RtpPacket& packet, std::int64_t index, std::int64_t arrivalNs);
    // Moves the head one sequence number on, releasing its packet or counting it lost.
    void Advance();
    void ReleaseReady();
    void ReleaseAll();

    Output& m_output;
    std::vector<Slot> m_slots;
    std::size_t m_maxPayload;
    bool m_started = false;
    bool m_priming = false;
    std::int64_t m_next = 0;     // the next index to release
    std::int64_t m_highest = 0;  // the highest index seen since the start
    // Bit i: index m_next - 1 - i was released (rather than skipped as lost).
    std::uint64_t m_releasedBits = 0;
    std::size_t m_held = 0;
    Counts m_counts;
};
