#pragma once

#include <cstdint>

#include "sample/CSampleEvent.h"

// A Bell 202 character consumer that decodes nothing: its block operation ignores the
// samples, so OnCharDetected is never raised. The aggregate holds one for the callback's
// sake and never registers it with a stream; Bell 202 caller ID is decoded by the
// caller-ID decoder and Bell 202 data by the FSK data decoder.
class CDecBell202 : public CSampleEvent {
public:
    CDecBell202();
    ~CDecBell202() override;

    // Does nothing and returns 0.
    std::int32_t OnSampleData(const float* samples, int count, double meanAbsDiff, double meanSquare) override;

    // One character and its position. Does nothing here.
    virtual void OnCharDetected(std::int32_t iValue, std::int32_t lPos);
};
