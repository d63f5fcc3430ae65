#include "rtp/RtpSequencer.h"

#include <algorithm>
#include <cstring>

namespace {

// Extended numbers start one cycle up, so a packet reordered in front of the first one
// seen does not go negative.
constexpr std::int64_t kFirstCycle = 1 << 16;

// Whether nowNs - arrivalNs >= holdNs, without overflow whatever the times.
bool HeldLongEnough(std::int64_t arrivalNs, std::int64_t nowNs, std::int64_t holdNs) {
    std::int64_t waited = 0;
    if (__builtin_sub_overflow(nowNs, arrivalNs, &waited)) return nowNs > arrivalNs;
    return waited >= holdNs;
}

}  // namespace

RtpSequencer::RtpSequencer(Output& output, std::size_t window, std::size_t maxPayload)
    : m_output(output), m_slots(std::max<std::size_t>(window, 1)), m_maxPayload(maxPayload) {
    for (Slot& slot : m_slots) slot.bytes.resize(m_maxPayload);
}

RtpSequencer::Slot& RtpSequencer::SlotFor(std::int64_t index) {
    const auto n = static_cast<std::int64_t>(m_slots.size());
    return m_slots[static_cast<std::size_t>(((index % n) + n) % n)];
}

// The extended number nearest the highest seen: the 16-bit difference read as signed
// carries the count across the wrap in either direction.
std::int64_t RtpSequencer::Extend(std::uint16_t sequence) const {
    const auto delta = static_cast<std::int16_t>(static_cast<std::uint16_t>(sequence - static_cast<std::uint16_t>(m_highest)));
    return m_highest + delta;
}

bool RtpSequencer::WasReleased(std::int64_t index) const {
    const std::int64_t back = m_next - 1 - index;
    return back >= 0 && back < 64 && ((m_releasedBits >> back) & 1) != 0;
}

void RtpSequencer::Start(std::int64_t index) {
    m_started = true;
    m_next = index;
    m_highest = index;
    m_releasedBits = 0;
}

void RtpSequencer::Push(const RtpPacket& packet, std::int64_t arrivalNs) {
    ++m_counts.received;
    if (packet.payload.size() > m_maxPayload) {
        ++m_counts.oversized;
        return;
    }
    if (!m_started) {
        Start(kFirstCycle + packet.sequence);
        m_priming = true;
    }
    std::int64_t index = Extend(packet.sequence);
    if (index - m_next > kMaxJump || m_next - index > kMaxJump) {
        ReleaseAll();
        ++m_counts.restarts;
        Start(kFirstCycle + packet.sequence);
        index = m_next;
    }
    if (index < m_next && !TakeAsNewHead(index)) {
        if (WasReleased(index))
            ++m_counts.duplicates;
        else
            ++m_counts.late;
        return;
    }
    // Beyond the window: the oldest must go, whether or not what they wait for has come.
    const auto window = static_cast<std::int64_t>(m_slots.size());
    while (index - m_next >= window && m_held > 0) Advance();
    if (index - m_next >= window) {
        // Nothing held: jump the head straight there.
        const std::int64_t skipped = index - m_next - (window - 1);
        m_counts.lost += static_cast<std::uint64_t>(skipped);
        m_releasedBits = skipped >= 64 ? 0 : m_releasedBits << skipped;
        m_next += skipped;
    }
    Slot& slot = SlotFor(index);
    if (slot.occupied && slot.index == index) {
        ++m_counts.duplicates;
        return;
    }
    Store(packet, index, arrivalNs);
    m_highest = std::max(m_highest, index);
    ReleaseReady();
}

bool RtpSequencer::TakeAsNewHead(std::int64_t index) {
    if (!m_priming || m_highest - index >= static_cast<std::int64_t>(m_slots.size())) return false;
    m_next = index;
    return true;
}

void RtpSequencer::Store(const RtpPacket& packet, std::int64_t index, std::int64_t arrivalNs) {
    Slot& slot = SlotFor(index);
    slot.occupied = true;
    slot.index = index;
    slot.arrivalNs = arrivalNs;
    slot.header = packet;
    slot.header.payload = {};
    slot.size = packet.payload.size();
    if (slot.size > 0) std::memcpy(slot.bytes.data(), packet.payload.data(), slot.size);
    ++m_held;
}

void RtpSequencer::Advance() {
    m_priming = false;
    Slot& slot = SlotFor(m_next);
    const bool present = slot.occupied && slot.index == m_next;
    m_releasedBits = m_releasedBits << 1 | (present ? 1 : 0);
    ++m_next;
    if (!present) {
        ++m_counts.lost;
        return;
    }
    slot.occupied = false;
    --m_held;
    ++m_counts.released;
    Released released;
    released.packet = slot.header;
    released.packet.payload = std::span<const std::uint8_t>(slot.bytes.data(), slot.size);
    released.index = slot.index;
    released.arrivalNs = slot.arrivalNs;
    m_output.OnPacket(released);
}

void RtpSequencer::ReleaseReady() {
    if (m_priming && m_held < std::min(kPrimingPackets, m_slots.size())) return;
    m_priming = false;
    for (;;) {
        const Slot& slot = SlotFor(m_next);
        if (!slot.occupied || slot.index != m_next) return;
        Advance();
    }
}

void RtpSequencer::ReleaseAll() {
    while (m_held > 0) Advance();
}

void RtpSequencer::Drain(std::int64_t nowNs, std::int64_t holdNs) {
    if (m_held == 0) return;
    // The furthest held packet that has waited long enough; everything before it goes too.
    std::int64_t last = -1;
    for (const Slot& slot : m_slots)
        if (slot.occupied && HeldLongEnough(slot.arrivalNs, nowNs, holdNs)) last = std::max(last, slot.index);
    if (last < 0) return;
    while (m_next <= last) Advance();
    ReleaseReady();
}

void RtpSequencer::End() {
    m_priming = false;
    ReleaseAll();
    m_started = false;
}
