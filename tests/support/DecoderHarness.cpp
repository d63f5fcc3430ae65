#include "support/DecoderHarness.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "decoder/DecoderMessages.h"

DecoderHarness::DecoderHarness(int sampleRate, int bits, int channelOption) {
    m_events.reserve(1024);
    m_decoder.SetHandle(DecoderEventProc{&DecoderHarness::Record, this}, nullptr);
    EXPECT_EQ(m_decoder.SetParameters(sampleRate, bits, kSilenceThresholdDb, channelOption), S_OK);
    m_decoder.EnableXDec(DEC_DTMF, 1);

    CDecDTMF::GetDefaultFreqs(m_rowFreqs, m_colFreqs);
    m_decoder.SetFreqs(m_rowFreqs, m_colFreqs);
    m_decoder.SetTwist(0.0f, 0.0f);
    EXPECT_EQ(m_decoder.CDecDTMF::SetParameters(kSensitivityDb, kEnergyThreshold, kMinDurationMs,
                                                kMinIntervalMs, kColHarmonicFactor,
                                                kRowHarmonicFactor, kRelativePeakTest),
              S_OK);
}

void DecoderHarness::Record(void* context, int msg, std::uint64_t wParam, std::int64_t lParam) {
    auto* harness = static_cast<DecoderHarness*>(context);
    harness->m_events.push_back({msg, wParam, lParam});
    if (harness->onEvent) harness->onEvent(harness->m_events.back());
}

HRESULT DecoderHarness::Feed(std::span<const unsigned char> bytes) {
    return m_decoder.InputData2(bytes.data(), static_cast<int>(bytes.size()));
}

void DecoderHarness::FeedInPieces(std::span<const unsigned char> bytes,
                                  const std::function<std::size_t()>& nextSize) {
    while (!bytes.empty()) {
        const std::size_t n = std::min(std::max<std::size_t>(nextSize(), 1), bytes.size());
        ASSERT_EQ(Feed(bytes.first(n)), S_OK);
        bytes = bytes.subspan(n);
    }
}

void DecoderHarness::Flush() {
    m_decoder.putSamples(nullptr, 0, 1);
}

std::vector<DecoderHarness::Key> DecoderHarness::Keys() const {
    std::vector<Key> keys;
    for (const Event& event : m_events)
        if (event.msg == DM_DTMF)
            keys.push_back({static_cast<char>(event.wParam & 0xFF), event.lParam});
    return keys;
}

std::string DecoderHarness::KeyText() const {
    std::string text;
    for (const Key& key : Keys()) text.push_back(key.key);
    return text;
}

std::ostream& operator<<(std::ostream& out, const DecoderHarness::Key& key) {
    return out << "'" << key.key << "'@" << key.position;
}

std::ostream& operator<<(std::ostream& out, const DecoderHarness::Event& event) {
    return out << "{" << event.msg << ", " << event.wParam << ", " << event.lParam << "}";
}
