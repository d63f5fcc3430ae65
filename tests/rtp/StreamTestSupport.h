#pragma once

// RTP packets, telephone-event payloads and a recording sink for the stream layer's tests,
// written out field by field; and libavcodec's encoders to make codec payloads from PCM.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rtp/RtpPacket.h"
#include "rtp/RtpStream.h"

namespace stream_test {

using Bytes = std::vector<std::uint8_t>;

// A packet that owns its payload; View() is valid while this object lives unchanged.
struct TestPacket {
    std::uint8_t payloadType = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0x11223344;
    bool marker = false;
    Bytes payload;

    RtpPacket View() const {
        RtpPacket p;
        p.marker = marker;
        p.payloadType = payloadType;
        p.sequence = sequence;
        p.timestamp = timestamp;
        p.ssrc = ssrc;
        p.payload = std::span<const std::uint8_t>(payload.data(), payload.size());
        return p;
    }
};

inline TestPacket Packet(std::uint8_t type, std::uint16_t sequence, std::uint32_t timestamp, Bytes payload) {
    TestPacket p;
    p.payloadType = type;
    p.sequence = sequence;
    p.timestamp = timestamp;
    p.payload = std::move(payload);
    return p;
}

// One event block: event, E bit and volume in one byte, duration in network order.
inline Bytes EventPayload(int event, bool end, int volume, std::uint16_t duration) {
    return {static_cast<std::uint8_t>(event), static_cast<std::uint8_t>((end ? 0x80 : 0) | (volume & 0x3F)),
            static_cast<std::uint8_t>(duration >> 8), static_cast<std::uint8_t>(duration)};
}

struct Key {
    char key;
    std::int64_t position;
    std::int64_t timeNs;
    std::size_t deliveredBefore;  // samples the sink had when the key came
};

class RecordingSink : public RtpStream::Sink {
public:
    void OnStart(int sampleRate) override {
        ++starts;
        rate = sampleRate;
        audioBeforeStart = audioBeforeStart || !samples.empty();
    }
    void OnAudio(std::span<const std::int16_t> s) override {
        if (starts == 0) audioBeforeStart = true;
        samples.insert(samples.end(), s.begin(), s.end());
    }
    void OnKey(char key, std::int64_t position, std::int64_t timeNs) override {
        if (starts == 0) keyBeforeStart = true;
        keys.push_back({key, position, timeNs, samples.size()});
    }
    std::string KeyText() const {
        std::string text;
        for (const Key& k : keys) text += k.key;
        return text;
    }

    int starts = 0;
    int rate = 0;
    bool audioBeforeStart = false;
    bool keyBeforeStart = false;
    std::vector<std::int16_t> samples;
    std::vector<Key> keys;
};

// A sine of the given frequency and amplitude.
std::vector<std::int16_t> Tone(double hz, int rate, std::size_t samples, double amplitude = 8000);

// Each packet libavcodec's encoder (by name) gives for the PCM, mono at the rate; empty
// when this build has no such encoder. bitRate 0 leaves the encoder's default.
std::vector<Bytes> EncodePackets(const char* encoder, int rate, const std::vector<std::int16_t>& pcm,
                                 std::int64_t bitRate = 0);

// Root mean square of a - b over their common length, skipping the first `skip` samples.
double RmsDifference(std::span<const std::int16_t> a, std::span<const std::int16_t> b, std::size_t skip = 0);
double Rms(std::span<const std::int16_t> a);

}  // namespace stream_test
