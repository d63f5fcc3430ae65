#pragma once

#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

// The spectrum engine: windowing, a radix-2 real FFT in double precision, magnitudes and
// their conversion to dB, and the interpolated level at any frequency. One object serves
// every power-of-two size up to the size it was prepared for, so a detector that
// transforms frames of several sizes allocates only when it is configured.
//
// The real transform packs N real samples as N/2 complex values (even samples in the real
// parts, odd samples in the imaginary parts), runs one decimation-in-time complex FFT of
// N/2 points and splits the result into the spectrum X[0..N/2] of the real signal.
// Twiddle factors and the bit-reversal order come from tables computed once for the
// largest size; a size N reads every (max/N)-th entry, whose values are exactly those
// computed for N itself, so a result never depends on the size the tables were made for.
class CFFT {
public:
    static constexpr int kMinSize = 128;
    static constexpr int kMaxSize = 16384;

    // Window types (FFT_WINDOW_TYPE).
    static constexpr int kRectangle = 0;
    static constexpr int kHamming = 1;
    static constexpr int kBlackman = 2;
    static constexpr int kTriangle = 3;
    static constexpr int kHanning = 4;
    static constexpr int kNoWindow = 5;
    static bool IsWindowType(std::int32_t type) { return type >= kRectangle && type <= kNoWindow; }

    // The largest power of two not above n, but at least 128 and at most 16384.
    static int PowerOfTwo(std::int32_t n);

    // Prepares the tables for every size up to maxSize (a power of two, 2 to 16384).
    void Reserve(int maxSize);

    // Size of the transforms from now on: a power of two, at least 2, at most the reserved size.
    void SetSize(int n);
    int Size() const { return m_size; }
    void SetSampleRate(float sampleRate) { m_sampleRate = sampleRate; }
    float SampleRate() const { return m_sampleRate; }
    // fs/N, in single precision.
    float BinWidth() const { return m_sampleRate / static_cast<float>(m_size); }
    // Bin k as a frequency in Hz: k x fs/N, in single precision.
    double BinFrequency(int bin) const { return static_cast<double>(static_cast<float>(bin) * BinWidth()); }

    // Multiplies elements n and N-1-n (real and imaginary parts) of data[0..N) by the
    // weight w(n) of the window type, for n = 0 .. N/2-1; NO_WINDOW and unknown types
    // leave the data alone. The weights are computed once per type.
    void ApplyWindow(std::complex<double>* data, int windowType);
    // The weight w(n) of a window type at size N, 0 <= n < N/2.
    static double WindowWeight(int windowType, int n, int size);

    // In: the real parts of data[0..N) (imaginary parts ignored). Out: X[0..N/2] of that
    // real signal in data[0..N/2]; the rest of data is left undefined.
    void RealTransform(std::complex<double>* data) const;
    // The forward complex FFT of data[0..m) in place, m a power of two at most half the
    // reserved size.
    void ComplexTransform(std::complex<double>* data, int m) const;

    // Magnitudes of X[0..N/2] into spectrum[0..N/2]: bins 0 and N/2 as the signed real
    // part over N, the others 2|X|/N.
    void Magnitudes(const std::complex<double>* x, float* spectrum) const;
    // Every bin 0..N/2 to 20 log10 (computed as ln x 20/ln 10), or -600 below 1e-30.
    void ToDecibels(float* spectrum) const;

    // The level in dB at a frequency, from a spectrum of this size and rate: the bin below
    // it near either end, else the cubic Lagrange interpolation through the four bins
    // around it. -1.0 outside 0 to fs/2.
    double InterpolatedDB(const float* spectrum, float frequency) const;

    static constexpr double kDbFactor = 20.0 / std::numbers::ln10;

private:
    int m_size = 0;
    float m_sampleRate = 0.0f;
    int m_reservedSize = 0;
    int m_reservedLog2 = 0;
    // e^(-2 pi i t / reserved) for t < reserved/2.
    std::vector<std::complex<double>> m_twiddles;
    // Bit-reversed order of reserved/2 points.
    std::vector<std::uint32_t> m_bitReversed;
    // Weights of the last window type used, at the reserved size.
    std::vector<double> m_weights;
    int m_weightsType = -1;
};
