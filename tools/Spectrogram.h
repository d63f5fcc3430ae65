#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

#include "tones/CFFT.h"

// Levels of a stretch of a recording over time and frequency, gathered into a fixed number
// of columns for a picture. Frames of 256 samples at 8 kHz (the same duration at other
// rates, to the power of two below) overlap by three quarters, or more when the stretch is
// too short to give every column a frame of its own. Each frame is Hann-windowed and its
// spectrum taken in dB relative to full scale: the window's gain is divided out, so a
// full-scale sine reads 0 dBFS. A column keeps the loudest level of each bin over the
// frames centred in it, so a tone shorter than a column still shows.
class Spectrogram {
public:
    // The range of levels kept: quieter bins read as the floor.
    static constexpr float kFloorDb = -100.0f;
    static constexpr float kCeilingDb = 0.0f;

    // The stretch is samples [first, first + count) of the recording (count > 0), drawn in
    // columns (> 0) of equal duration.
    Spectrogram(int sampleRate, std::int64_t first, std::int64_t count, int columns);

    // The recording's samples in order from its start; those far from the stretch are
    // skipped.
    void Feed(std::span<const float> samples);
    // The recording has ended (silence follows it); a column that no frame is centred in
    // takes the levels of the column before it (or after it, at the start).
    void Finish();

    int Columns() const { return m_columns; }
    int Bins() const { return m_bins; }
    int FrameSize() const { return m_fft.Size(); }
    // The frequency of bin k is k times this.
    double BinHz() const { return static_cast<double>(m_sampleRate) / m_fft.Size(); }
    // Bins() levels in dBFS, kFloorDb to kCeilingDb, lowest frequency first.
    std::span<const float> Column(int column) const;

private:
    // Frames whose samples have all come, up to centre m_end when the recording ended.
    void Transform(bool ended);
    void TransformFrame(std::int64_t centre);

    int m_sampleRate;
    std::int64_t m_first;
    std::int64_t m_count;
    int m_columns;
    int m_bins;
    int m_hop = 1;
    double m_windowGain = 1.0;
    CFFT m_fft;
    std::vector<std::complex<double>> m_frame;
    std::vector<float> m_spectrum;
    // Samples from m_heldFrom on that a frame still needs.
    std::vector<float> m_held;
    std::int64_t m_heldFrom = 0;
    // The recording's samples seen so far.
    std::int64_t m_seen = 0;
    std::int64_t m_nextCentre = 0;
    std::vector<float> m_levels;
    std::vector<bool> m_filled;
};
