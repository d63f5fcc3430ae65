#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decoder/CBaseDecoder.h"

// A decoder aggregate with the caller-ID decoder switched on and tuned the way the
// control object tunes it at a run start. Every caller-ID and message-waiting message is
// copied out while it is delivered, since its records live only during the call.
class CallerIdHarness {
public:
    struct CallerId {
        std::int32_t status;  // low 16 bits of the status word
        std::int32_t rawCount;
        std::optional<std::string> name, number, dateTime, calledNumber;
        std::vector<std::uint8_t> raw;
        std::int32_t position;
    };
    struct Vmwi {
        std::int32_t status;
        std::int32_t position;
        std::int64_t data;
    };
    struct Options {
        bool callWaiting = false;
        bool vmwi = true;
        bool dtmf = false;
        int channelOption = CBaseDecoder::kMono;
        float silenceThresholdDb = -45.0f;
        float markHz = 1200.0f;
        float spaceHz = 2200.0f;
        std::int32_t baud = 1200;
    };

    CallerIdHarness(int sampleRate, int bits) : CallerIdHarness(sampleRate, bits, Options{}) {}
    CallerIdHarness(int sampleRate, int bits, const Options& options);
    CallerIdHarness(const CallerIdHarness&) = delete;
    CallerIdHarness& operator=(const CallerIdHarness&) = delete;

    CBaseDecoder& Decoder() { return m_decoder; }

    HRESULT Feed(std::span<const unsigned char> bytes);
    // Mono float samples as 32-bit float PCM (the harness must have been made with 32 bits).
    void FeedSamples(std::span<const float> samples);
    // Consecutive buffers of pseudo-random sizes from 1 to maxPiece bytes.
    void FeedInPieces(std::span<const unsigned char> bytes, std::size_t maxPiece, std::uint32_t seed);
    void Flush();

    // Caller-ID messages with a decoded message (status 0) or a bad checksum (1); the
    // format notices (4, 128) and the others are in AllCallerIds.
    std::vector<CallerId> Messages() const;
    const std::vector<CallerId>& AllCallerIds() const { return m_callerIds; }
    const std::vector<Vmwi>& Vmwis() const { return m_vmwis; }
    // Every message id in order, for comparing whole runs.
    const std::vector<int>& MessageIds() const { return m_ids; }

private:
    static void Record(void* context, int msg, std::uint64_t wParam, std::int64_t lParam);

    float m_rowFreqs[4] = {};
    float m_colFreqs[4] = {};
    CBaseDecoder m_decoder;
    std::vector<CallerId> m_callerIds;
    std::vector<Vmwi> m_vmwis;
    std::vector<int> m_ids;
};

// Signals built in the tests from the published framing, independently of the library's
// own generators: phase-continuous two-tone FSK with exact bit timing.
namespace fsk_reference {

// One character on the line: start bit 0, eight data bits least significant first,
// stop bit 1.
void AppendCharacter(std::vector<std::uint8_t>& bits, std::uint8_t byte);
// Type, length, data and a checksum that makes the sum of all bytes 0 modulo 256 (plus
// checksumError, to spoil it on purpose).
std::vector<std::uint8_t> Message(std::uint8_t type, std::span<const std::uint8_t> data, int checksumError = 0);
std::vector<std::uint8_t> Bytes(const std::string& text);

struct Line {
    double markHz = 1200.0;
    double spaceHz = 2200.0;
    double baud = 1200.0;
    double amplitude = 0.3;
};

// Bits as sine tones, the phase running on across bits; bit k spans samples
// [round(k·fs/baud), round((k+1)·fs/baud)) from the start of the call.
void AppendBits(std::vector<float>& out, int sampleRate, const Line& line, std::span<const std::uint8_t> bits);

// An on-hook transmission: seizureBits alternating bits (0 first), markBits mark bits,
// the message's characters, trailingMarks mark bits.
std::vector<std::uint8_t> OnHookBits(std::span<const std::uint8_t> message, int seizureBits = 300,
                                     int markBits = 180, int trailingMarks = 8);

}  // namespace fsk_reference
