#include "support/CallerIdHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "decoder/DecoderMessages.h"

namespace {

std::optional<std::string> Text(const char* text) {
    if (text == nullptr) return std::nullopt;
    return std::string(text);
}

}  // namespace

CallerIdHarness::CallerIdHarness(int sampleRate, int bits, const Options& options) {
    m_decoder.SetHandle(DecoderEventProc{&CallerIdHarness::Record, this}, nullptr);
    EXPECT_EQ(m_decoder.SetParameters(sampleRate, bits, options.silenceThresholdDb, options.channelOption), S_OK);
    m_decoder.EnableXDec(DEC_CALLERID, 1);
    if (options.vmwi) m_decoder.EnableXDec(DEC_VMWI, 1);
    if (options.callWaiting) m_decoder.EnableXDec(DEC_CIDCW, 1);
    m_decoder.SetCallWaiting(options.callWaiting);
    m_decoder.SetParameters2(options.baud, options.markHz, options.spaceHz);
    m_decoder.SetSampleRate(sampleRate);
    if (options.dtmf) {
        m_decoder.EnableXDec(DEC_DTMF, 1);
        CDecDTMF::GetDefaultFreqs(m_rowFreqs, m_colFreqs);
        m_decoder.SetFreqs(m_rowFreqs, m_colFreqs);
        m_decoder.CDecDTMF::SetParameters(-65.0f, 12.0f, 40, 40, 15.1f, 1.2f, -1);
    }
}

void CallerIdHarness::Record(void* context, int msg, std::uint64_t wParam, std::int64_t lParam) {
    auto& self = *static_cast<CallerIdHarness*>(context);
    self.m_ids.push_back(msg);
    if (msg == DM_CALLERID) {
        const auto& strings = *reinterpret_cast<const CallerIDStrings*>(wParam);
        const auto& status = *reinterpret_cast<const CallerIDStatus*>(lParam);
        CallerId id{status.iflag & 0xFFFF,
                    static_cast<std::int32_t>(static_cast<std::uint32_t>(status.iflag) >> 16),
                    Text(strings.szName),
                    Text(strings.szNumber),
                    Text(strings.szDataTime),
                    Text(strings.CalledIDNumber),
                    {},
                    status.position};
        if (strings.szRaw != nullptr) id.raw.assign(strings.szRaw, strings.szRaw + id.rawCount);
        self.m_callerIds.push_back(std::move(id));
    } else if (msg == DM_VMWI) {
        const auto& info = *reinterpret_cast<const VMWIInfo*>(wParam);
        self.m_vmwis.push_back({info.iFlag, info.position, lParam});
    }
}

HRESULT CallerIdHarness::Feed(std::span<const unsigned char> bytes) {
    return m_decoder.InputData2(bytes.data(), static_cast<int>(bytes.size()));
}

void CallerIdHarness::FeedSamples(std::span<const float> samples) {
    std::vector<unsigned char> bytes(samples.size() * sizeof(float));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    EXPECT_EQ(Feed(bytes), S_OK);
}

void CallerIdHarness::FeedInPieces(std::span<const unsigned char> bytes, std::size_t maxPiece, std::uint32_t seed) {
    std::uint32_t state = seed;
    while (!bytes.empty()) {
        state = state * 1664525u + 1013904223u;
        const std::size_t n = std::min<std::size_t>(1 + (state >> 8) % maxPiece, bytes.size());
        ASSERT_EQ(Feed(bytes.first(n)), S_OK);
        bytes = bytes.subspan(n);
    }
}

void CallerIdHarness::Flush() { m_decoder.putSamples(nullptr, 0, 1); }

std::vector<CallerIdHarness::CallerId> CallerIdHarness::Messages() const {
    std::vector<CallerId> messages;
    for (const CallerId& id : m_callerIds)
        if (id.status == 0 || id.status == 1) messages.push_back(id);
    return messages;
}

namespace fsk_reference {

void AppendCharacter(std::vector<std::uint8_t>& bits, std::uint8_t byte) {
    bits.push_back(0);
    for (int i = 0; i < 8; ++i) bits.push_back((byte >> i) & 1);
    bits.push_back(1);
}

std::vector<std::uint8_t> Message(std::uint8_t type, std::span<const std::uint8_t> data, int checksumError) {
    std::vector<std::uint8_t> message{type, static_cast<std::uint8_t>(data.size())};
    message.insert(message.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : message) sum += b;
    message.push_back(static_cast<std::uint8_t>(256 - (sum & 0xFF) + checksumError));
    return message;
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void AppendBits(std::vector<float>& out, int sampleRate, const Line& line, std::span<const std::uint8_t> bits) {
    constexpr double kTwoPi = 6.283185307179586476925;
    double phase = 0.0;
    const double samplesPerBit = sampleRate / line.baud;
    for (std::size_t k = 0; k < bits.size(); ++k) {
        const auto begin = static_cast<std::size_t>(std::llround(static_cast<double>(k) * samplesPerBit));
        const auto end = static_cast<std::size_t>(std::llround(static_cast<double>(k + 1) * samplesPerBit));
        const double step = kTwoPi * (bits[k] ? line.markHz : line.spaceHz) / sampleRate;
        for (std::size_t n = begin; n < end; ++n) {
            out.push_back(static_cast<float>(line.amplitude * std::sin(phase)));
            phase = std::fmod(phase + step, kTwoPi);
        }
    }
}

std::vector<std::uint8_t> OnHookBits(std::span<const std::uint8_t> message, int seizureBits, int markBits,
                                     int trailingMarks) {
    std::vector<std::uint8_t> bits;
    for (int i = 0; i < seizureBits; ++i) bits.push_back(i & 1);
    bits.insert(bits.end(), static_cast<std::size_t>(markBits), 1);
    for (std::uint8_t b : message) AppendCharacter(bits, b);
    bits.insert(bits.end(), static_cast<std::size_t>(trailingMarks), 1);
    return bits;
}

}  // namespace fsk_reference
