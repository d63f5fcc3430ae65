#pragma once

// Base of every sound source: a source is destroyed through this base by whoever owns
// it, whatever kind of source it is.
class CSoundBase {
public:
    CSoundBase() = default;
    CSoundBase(const CSoundBase&) = delete;
    CSoundBase& operator=(const CSoundBase&) = delete;
    virtual ~CSoundBase() = default;
};
