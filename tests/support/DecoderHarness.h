#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "decoder/CBaseDecoder.h"

// A decoder aggregate set up the way the control object starts a stream run, with the
// DTMF detector switched on and configured with the control object's defaults, and an
// event procedure that records every message it receives.
class DecoderHarness {
public:
    struct Event {
        int msg;
        std::uint64_t wParam;
        std::int64_t lParam;
        bool operator==(const Event&) const = default;
    };

    // A DM_DTMF message decoded: the key and the position it was stamped with.
    struct Key {
        char key;
        std::int64_t position;
        bool operator==(const Key&) const = default;
    };

    // The control object's DTMF defaults.
    static constexpr float kSilenceThresholdDb = -45.0f;
    static constexpr float kSensitivityDb = -65.0f;
    static constexpr float kEnergyThreshold = 12.0f;
    static constexpr std::int32_t kMinDurationMs = 40;
    static constexpr std::int32_t kMinIntervalMs = 40;
    static constexpr float kColHarmonicFactor = 15.1f;
    static constexpr float kRowHarmonicFactor = 1.2f;
    static constexpr std::int32_t kRelativePeakTest = -1;

    DecoderHarness(int sampleRate, int bits, int channelOption = CBaseDecoder::kMono);
    DecoderHarness(const DecoderHarness&) = delete;
    DecoderHarness& operator=(const DecoderHarness&) = delete;

    CBaseDecoder& Decoder() { return m_decoder; }

    // One InputData2 call.
    HRESULT Feed(std::span<const unsigned char> bytes);
    // The bytes in consecutive buffers whose sizes nextSize chooses (each at least 1).
    void FeedInPieces(std::span<const unsigned char> bytes,
                      const std::function<std::size_t()>& nextSize);
    // The end of a run: the last partial block goes through every detector.
    void Flush();

    const std::vector<Event>& Events() const { return m_events; }
    // Called with every message as it arrives, while the records it points to are valid.
    std::function<void(const Event&)> onEvent;
    std::vector<Key> Keys() const;
    std::string KeyText() const;

private:
    static void Record(void* context, int msg, std::uint64_t wParam, std::int64_t lParam);

    float m_rowFreqs[4] = {};
    float m_colFreqs[4] = {};
    CBaseDecoder m_decoder;
    std::vector<Event> m_events;
};

// Readable failure messages.
std::ostream& operator<<(std::ostream& out, const DecoderHarness::Key& key);
std::ostream& operator<<(std::ostream& out, const DecoderHarness::Event& event);
