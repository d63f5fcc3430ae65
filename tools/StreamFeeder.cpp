#include "StreamFeeder.h"

#include <exception>

#include "PositionUnwrapper.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

// Formats whose every frame is one sample of each channel.
bool Framed(const WAVEFORMATEX& f) {
    return f.nBlockAlign > 0 && (f.wFormatTag == WAVE_FORMAT_PCM || f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                                 f.wFormatTag == WAVE_FORMAT_ALAW || f.wFormatTag == WAVE_FORMAT_MULAW);
}

}  // namespace

StreamFeeder::StreamFeeder(std::vector<Lane> lanes, const WAVEFORMATEX& format)
    : m_lanes(std::move(lanes)),
      m_format(format),
      m_framed(Framed(format)),
      m_measured(ChannelLevels::Readable(format)),
      m_levels(format.nSamplesPerSec) {}

void StreamFeeder::Start() {
    m_frames = 0;
    for (const Lane& lane : m_lanes) {
        lane.positions->Reset();
        lane.component->WaveStreamStart();
    }
    m_started = true;
}

bool StreamFeeder::Feed(std::span<const std::uint8_t> frames) {
    if (frames.empty()) return true;
    m_fedAt = std::chrono::system_clock::now();
    if (m_framed) m_frames += static_cast<std::int64_t>(frames.size() / m_format.nBlockAlign);
    if (m_measured) m_levels.AddFrames(m_format, frames);
    for (const Lane& lane : m_lanes) {
        if (lane.component->WaveStreamInput(frames) == 0) return false;
        lane.positions->Advance(lane.component->DecodePosition());
    }
    return true;
}

void StreamFeeder::End() {
    if (!m_started) return;
    m_started = false;
    // Every run is ended even when one rethrows a handler's exception; the first goes on.
    std::exception_ptr first;
    for (const Lane& lane : m_lanes) {
        try {
            lane.component->WaveStreamEnd();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

std::optional<std::chrono::system_clock::time_point> StreamFeeder::TimeOf(std::int64_t position) const {
    if (!m_framed || m_format.nSamplesPerSec == 0) return std::nullopt;
    const double behind = static_cast<double>(m_frames - position) / m_format.nSamplesPerSec;
    return m_fedAt - std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(behind));
}
