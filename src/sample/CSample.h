#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/HResult.h"

class CSampleEvent;

// The sample stream: converts one channel of PCM bytes to floats, removes a slowly
// estimated DC offset, cuts the stream into blocks and hands each block, with its mean
// absolute first difference and mean square, to every registered consumer. It keeps the
// sample position that every detector stamps its events with.
class CSample {
public:
    // The system registers at most one consumer per detector; the set is fixed-size so
    // that delivering a block never allocates.
    static constexpr int kMaxConsumers = 32;

    CSample();
    CSample(const CSample&) = delete;
    CSample& operator=(const CSample&) = delete;
    ~CSample();

    // Starts a new stream: sample width, rate, silence threshold (dB) and block length.
    // The position restarts at 0; a pending partial block, the previous sample and the
    // DC offset carry over. Returns E_INVALIDARG (changing nothing) for a block length
    // below 1, E_FAIL while a block is being delivered, else 0.
    long SetAudioParameters(int bits, int sampleRate, float silenceThresholdDb, int blockLength);

    // Converts byteCount bytes of one channel and feeds the samples to the blocks; with
    // flush non-zero, a non-empty partial block is delivered at the end. Returns -1 when
    // the sample width is not 8, 16 or 32 (float) bits, E_INVALIDARG for a negative count,
    // E_POINTER for null data with a positive count, E_FAIL when called from inside a
    // block delivery (a consumer or an event handler feeding the stream it listens to),
    // else 0. Bytes after the last whole sample are ignored.
    int putSamples(const void* data, int byteCount, int flush);

    // Registers a consumer (once; registering again changes nothing). E_OUTOFMEMORY when
    // the set is full, E_POINTER for null, else 0.
    int AddEvent(CSampleEvent* consumer);
    // Unregisters a consumer: 0, or E_INVALIDARG when it is not registered.
    int RemoveEvent(CSampleEvent* consumer);
    bool IsRegistered(const CSampleEvent* consumer) const;

    std::int32_t GetSampleRate() const { return m_sampleRate; }
    std::uint32_t GetSamplePos() const { return m_samplePos; }
    std::int32_t GetBlockLength() const { return m_blockLength; }
    std::int32_t GetBytesPerSample() const { return m_bytesPerSample; }
    float GetSilenceThreshold() const { return m_silenceThreshold; }
    float GetSilenceLevel() const { return m_silenceLevel; }
    float GetDCOffset() const { return m_dcOffset; }
    int GetFillCount() const { return m_fillCount; }
    // True while the consumers are being handed a block.
    bool IsDelivering() const { return m_delivering; }

protected:
    // For reports a detector makes outside a block (at the end of a run): feeding from
    // inside them is refused as it is from inside a block.
    void MarkDelivering(bool delivering) { m_delivering = delivering; }

private:
    template <typename Converter>
    void TakeSamples(const unsigned char* data, int count);
    void Accumulate(const float* samples, int count);
    void CompleteBlock();
    // Mean of the current block's samples before DC removal.
    float BlockMean() const;
    void NotifyEvents();
    void ResetBlock();

    float m_silenceLevel = 0.0f;
    float m_silenceThreshold = 0.0f;
    float m_dcOffset = 0.0f;
    std::unique_ptr<float[]> m_block;
    int m_blockCapacity = 0;
    float m_previousSample = 0.0f;
    double m_absDiffSum = 0.0;
    double m_squareSum = 0.0;
    int m_fillCount = 0;
    std::array<CSampleEvent*, kMaxConsumers> m_consumers{};
    int m_consumerCount = 0;
    std::int32_t m_blockLength = 0;
    std::int32_t m_bytesPerSample = 0;
    std::int32_t m_sampleRate = 0;
    std::uint32_t m_samplePos = 0;
    bool m_delivering = false;
};
