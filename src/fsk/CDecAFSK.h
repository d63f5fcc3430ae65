#pragma once

#include <cstdint>
#include <memory>

#include "platform/HResult.h"

// Two-tone FSK demodulator: a sliding window of one bit period is correlated, for every
// new sample, with a cosine and a sine at the mark and at the space frequency; the sign of
// the energy difference is the line level. Bits are decided only at accepted level
// transitions and every eight bit periods inside a steady run: the length of a run, in
// bit periods rounded to nearest, is the number of bits it carries.
//
// It knows nothing of characters: each decided bit goes to OnBit, which the decoders
// built on it override with their own framing. A decoder may set the stop flag from
// OnBit to make Demodulate return early.
class CDecAFSK {
public:
    // Windows longer than this (a second at 65 kHz) are refused: no line code this
    // system decodes comes near it, and the five arrays stay small.
    static constexpr std::int32_t kMaxWindow = 65536;

    CDecAFSK();
    CDecAFSK(const CDecAFSK&) = delete;
    CDecAFSK& operator=(const CDecAFSK&) = delete;
    virtual ~CDecAFSK();

    // Restarts reception for the given rate, tones (space first) and bit rate: unlocked,
    // window empty, sample position 0, stop flag clear, reference tables rebuilt. Returns
    // 0; E_INVALIDARG when the window length (samples per bit rounded) is below 1, above
    // kMaxWindow or not a number, and the demodulator then ignores its input until a
    // valid call. Memory is only taken when the window outgrows what an earlier call
    // or Reserve left.
    HRESULT SetParameters(std::int32_t sampleRate, float spaceFreq, float markFreq, float baudRate);

    // Makes room for a window of this many samples ahead of time, so that restarting
    // reception mid-stream never allocates. false when it is out of range.
    bool Reserve(std::int32_t windowLength);

    // Feeds samples at full scale ±1.0. Returns 0 when all were consumed, or, when the
    // stop flag was set during a sample, the number of samples after that one (not
    // consumed). The first samples after SetParameters fill the window, across as many
    // calls as it takes, and decide nothing.
    std::int32_t Demodulate(const float* samples, std::int32_t count);

    // One decided bit: level 1 mark, 0 space; position is the 1-based count of samples
    // consumed since SetParameters, the deciding sample included. Does nothing here.
    virtual void OnBit(std::int32_t level, std::uint32_t position);

    // At the end of the input, emits the bits of the run in progress with the count rule
    // of a transition. Every transition is accepted some way into the next tone (the
    // window must hold more of the new tone than of the old), so a run that is cut off
    // by the end of the input is short by that lag; half a window is added for it before
    // counting. Runs left shorter than half a bit still emit nothing. Does nothing before
    // lock-in.
    void FlushRun();

    std::int32_t WindowLength() const { return m_windowLength; }
    float SamplesPerBit() const { return m_samplesPerBit; }
    std::int32_t CurrentLevel() const { return m_level; }
    std::int32_t RunLength() const { return m_runLength; }
    bool Primed() const { return m_writeIndex >= 0; }

protected:
    // Derived decoders advance or restart the position and force the level at the start
    // of a reception they recognised themselves.
    std::uint32_t m_samplePos = 0;
    bool m_stop = false;
    std::int32_t m_level = -1;

private:
    void Prime(const float*& samples, std::int32_t& count);
    bool Decide();
    bool Emit();
    float Difference() const;
    float WindowEnergy() const;
    void Store(float sample);

    std::int32_t m_sampleRate = 0;
    // The window is kept twice over (slot i and slot i + N hold the same sample), so the
    // N samples from the oldest on are always contiguous.
    std::unique_ptr<float[]> m_window;
    // The four reference tables interleaved per tap, {mark cos, mark sin, space cos,
    // space sin}, so the four correlations run side by side in one vector, each lane
    // summing in its own order, oldest sample first.
    std::unique_ptr<float[]> m_tables;
    std::int32_t m_capacity = 0;
    std::int32_t m_writeIndex = -1;
    std::int32_t m_primedCount = 0;
    std::int32_t m_windowLength = 0;
    float m_samplesPerBit = 0.0f;
    std::int32_t m_runLength = 0;
    bool m_configured = false;
};
