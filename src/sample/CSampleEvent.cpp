#include "sample/CSampleEvent.h"

#include "sample/CSample.h"

std::int32_t CSampleEvent::GetSampleRate() const {
    return m_sample ? m_sample->GetSampleRate() : 8000;
}

std::uint32_t CSampleEvent::GetSamplePos() const {
    return m_sample ? m_sample->GetSamplePos() : 0;
}

std::int32_t CSampleEvent::GetBlockSize() const {
    return m_sample ? m_sample->GetBlockLength() : 0;
}

float CSampleEvent::GetSilenceThreshold() const {
    return m_sample ? m_sample->GetSilenceThreshold() : -45.0f;
}

float CSampleEvent::GetSilenceLevel() const {
    return m_sample ? m_sample->GetSilenceLevel() : -40.0f;
}
