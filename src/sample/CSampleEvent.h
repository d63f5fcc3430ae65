#pragma once

#include <cstdint>

class CSample;

// A consumer of the sample stream: every detector is one. It is attached to one CSample,
// receives that stream's blocks through OnSampleData and reads the stream's rate,
// position, block length and silence threshold back from it.
class CSampleEvent {
public:
    CSampleEvent() = default;
    CSampleEvent(const CSampleEvent&) = delete;
    CSampleEvent& operator=(const CSampleEvent&) = delete;
    virtual ~CSampleEvent() = default;

    // Attach to a sample stream (or detach with nullptr).
    virtual void SetSample(CSample* sample) { m_sample = sample; }

    // One block: the samples with the DC offset removed, how many there are, the mean
    // absolute first difference and the mean square of the block before DC removal.
    // The samples belong to the stream and are valid only during the call.
    virtual std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff,
                                      double meanSquare) = 0;

    // Stream properties, with fixed answers while no stream is attached.
    std::int32_t GetSampleRate() const;
    std::uint32_t GetSamplePos() const;
    std::int32_t GetBlockSize() const;
    float GetSilenceThreshold() const;
    float GetSilenceLevel() const;

    // Consumers of one stream are called in ascending delivery order (ties by address).
    // The decoder aggregate numbers its detectors so that the order is a stated property
    // of the aggregate rather than a consequence of where each sub-object lies in memory.
    int DeliveryOrder() const { return m_deliveryOrder; }
    void SetDeliveryOrder(int order) { m_deliveryOrder = order; }

    CSample* Sample() const { return m_sample; }

private:
    CSample* m_sample = nullptr;
    int m_deliveryOrder = 0;
};
