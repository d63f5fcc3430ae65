#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ChannelLevels.h"
#include "audio/WaveFormat.h"

class PositionUnwrapper;
namespace Orvane::VornixNet {
class PhoneVornix;
}

// Feeds a stream of audio (standard input, a raw file the command converts, a sound
// device) to the component of each decoded channel: one, or one per channel when both
// channels of a stereo input are decoded. It counts the frames it has fed in 64 bits, tells
// each component's position unwrapper where the decoder is after every piece, knows the
// wall-clock time of the audio it fed last, and measures each channel's level.
class StreamFeeder {
public:
    struct Lane {
        Orvane::VornixNet::PhoneVornix* component;
        PositionUnwrapper* positions;
    };

    // format: the record of the bytes fed (the components' stream format).
    StreamFeeder(std::vector<Lane> lanes, const WAVEFORMATEX& format);

    // Starts a run on every component, in its stream format.
    void Start();
    // Feeds whole frames to every component; false when one took nothing (it refused the
    // format). Events are raised inside, on this thread.
    bool Feed(std::span<const std::uint8_t> frames);
    // Ends the run of every component that was started, so the events of what was taken
    // still arrive; also after a failure.
    void End();

    std::int64_t FramesFed() const { return m_frames; }
    // The wall-clock time of a position: the time the latest piece was fed, less the
    // audio between the position and that piece's end. None when the format has no fixed
    // frame size (compressed blocks).
    std::optional<std::chrono::system_clock::time_point> TimeOf(std::int64_t position) const;
    // The channels' levels; null when the format is not one ChannelLevels reads.
    const ChannelLevels* Levels() const { return m_measured ? &m_levels : nullptr; }

private:
    std::vector<Lane> m_lanes;
    WAVEFORMATEX m_format;
    bool m_framed;
    bool m_measured;
    ChannelLevels m_levels;
    std::int64_t m_frames = 0;
    std::chrono::system_clock::time_point m_fedAt{};
    bool m_started = false;
};
