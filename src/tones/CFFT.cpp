#include "tones/CFFT.h"

#include <bit>
#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Below this a magnitude has no level worth a logarithm.
constexpr double kSmallestMagnitude = 1e-30;
constexpr float kNoLevelDb = -600.0f;

// Products written out, so that no library routine for infinities and NaNs runs inside
// the butterflies.
inline std::complex<double> Multiply(std::complex<double> a, std::complex<double> b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

}  // namespace

int CFFT::PowerOfTwo(std::int32_t n) {
    if (n < 2 * kMinSize) return kMinSize;
    if (n >= kMaxSize) return kMaxSize;
    return static_cast<int>(std::bit_floor(static_cast<std::uint32_t>(n)));
}

void CFFT::Reserve(int maxSize) {
    if (maxSize < 2 || maxSize > kMaxSize || !std::has_single_bit(static_cast<unsigned>(maxSize))) return;
    if (maxSize <= m_reservedSize) return;
    m_reservedSize = maxSize;
    m_reservedLog2 = std::countr_zero(static_cast<unsigned>(maxSize));
    const int half = maxSize / 2;
    m_twiddles.resize(static_cast<std::size_t>(half));
    for (int t = 0; t < half; ++t) {
        const double angle = kTwoPi * t / maxSize;
        m_twiddles[static_cast<std::size_t>(t)] = {std::cos(angle), -std::sin(angle)};
    }
    // Bit reversal over log2(half) bits.
    const int bits = m_reservedLog2 - 1;
    m_bitReversed.resize(static_cast<std::size_t>(half));
    for (int i = 0; i < half; ++i) {
        std::uint32_t r = 0;
        for (int b = 0; b < bits; ++b) r |= ((static_cast<std::uint32_t>(i) >> b) & 1u) << (bits - 1 - b);
        m_bitReversed[static_cast<std::size_t>(i)] = r;
    }
    m_weights.assign(static_cast<std::size_t>(half), 0.0);
    m_weightsType = -1;
}

void CFFT::SetSize(int n) {
    if (n >= 2 && n <= m_reservedSize && std::has_single_bit(static_cast<unsigned>(n))) m_size = n;
}

double CFFT::WindowWeight(int windowType, int n, int size) {
    const double phase = kTwoPi * n / size;
    switch (windowType) {
        case kRectangle: return 1.0;
        case kHamming: return 0.54 - 0.46 * std::cos(phase);
        case kBlackman: return 0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2.0 * phase);
        case kTriangle: return 2.0 * n / size;
        case kHanning: return 0.5 - 0.5 * std::cos(phase);
        default: return 1.0;
    }
}

void CFFT::ApplyWindow(std::complex<double>* data, int windowType) {
    if (windowType == kNoWindow || !IsWindowType(windowType) || m_size < 2) return;
    const int half = m_size / 2;
    // The weights are kept for the reserved size: w(n) at size N is the reserved size's
    // w(n x reserved/N), the same phase 2 pi n/N to the last bit, so frames of every size
    // share one table and it is computed once per window type.
    if (windowType != m_weightsType) {
        for (int n = 0; n < m_reservedSize / 2; ++n)
            m_weights[static_cast<std::size_t>(n)] = WindowWeight(windowType, n, m_reservedSize);
        m_weightsType = windowType;
    }
    const std::size_t stride = static_cast<std::size_t>(m_reservedSize / m_size);
    for (int n = 0; n < half; ++n) {
        const double w = m_weights[static_cast<std::size_t>(n) * stride];
        data[n] *= w;
        data[m_size - 1 - n] *= w;
    }
}

void CFFT::ComplexTransform(std::complex<double>* data, int m) const {
    if (m < 2) return;
    const int log2m = std::countr_zero(static_cast<unsigned>(m));
    const int shift = (m_reservedLog2 - 1) - log2m;
    for (int i = 0; i < m; ++i) {
        const int j = static_cast<int>(m_bitReversed[static_cast<std::size_t>(i)] >> shift);
        if (i < j) std::swap(data[i], data[j]);
    }
    // Stage of length len uses e^(-2 pi i j / len) = twiddle[j x reserved / len].
    for (int len = 2; len <= m; len <<= 1) {
        const int half = len / 2;
        const std::size_t stride = static_cast<std::size_t>(m_reservedSize / len);
        for (int start = 0; start < m; start += len) {
            std::complex<double>* a = data + start;
            std::complex<double>* b = a + half;
            for (int j = 0; j < half; ++j) {
                const std::complex<double> v = Multiply(b[j], m_twiddles[static_cast<std::size_t>(j) * stride]);
                const std::complex<double> u = a[j];
                a[j] = {u.real() + v.real(), u.imag() + v.imag()};
                b[j] = {u.real() - v.real(), u.imag() - v.imag()};
            }
        }
    }
}

void CFFT::RealTransform(std::complex<double>* data) const {
    const int n = m_size;
    const int m = n / 2;
    // Even samples into the real parts, odd ones into the imaginary parts; ascending, so
    // every element is read before it is overwritten.
    for (int k = 0; k < m; ++k) data[k] = {data[2 * k].real(), data[2 * k + 1].real()};
    ComplexTransform(data, m);

    // X[k] = (Z[k] + conj Z[m-k]) / 2 - i/2 e^(-2 pi i k / n) (Z[k] - conj Z[m-k]), taken
    // for k and m-k together so the split runs in place.
    const std::size_t stride = static_cast<std::size_t>(m_reservedSize / n);
    const std::complex<double> z0 = data[0];
    data[0] = {z0.real() + z0.imag(), 0.0};
    data[m] = {z0.real() - z0.imag(), 0.0};
    for (int k = 1; k <= m / 2; ++k) {
        const std::complex<double> zk = data[k];
        const std::complex<double> zmk = data[m - k];
        const auto split = [&](std::complex<double> a, std::complex<double> b, int index) {
            // even = (a + conj b) / 2, odd = (a - conj b) / 2; X = even - i w odd
            const std::complex<double> even{(a.real() + b.real()) * 0.5, (a.imag() - b.imag()) * 0.5};
            const std::complex<double> odd{(a.real() - b.real()) * 0.5, (a.imag() + b.imag()) * 0.5};
            const std::complex<double> wOdd = Multiply(odd, m_twiddles[static_cast<std::size_t>(index) * stride]);
            return std::complex<double>{even.real() + wOdd.imag(), even.imag() - wOdd.real()};
        };
        const std::complex<double> xk = split(zk, zmk, k);
        const std::complex<double> xmk = split(zmk, zk, m - k);
        data[k] = xk;
        data[m - k] = xmk;
    }
}

void CFFT::Magnitudes(const std::complex<double>* x, float* spectrum) const {
    const int n = m_size;
    const int m = n / 2;
    spectrum[0] = static_cast<float>(x[0].real() / n);
    for (int k = 1; k < m; ++k) {
        const double re = x[k].real();
        const double im = x[k].imag();
        spectrum[k] = static_cast<float>(2.0 * std::sqrt(re * re + im * im) / n);
    }
    spectrum[m] = static_cast<float>(x[m].real() / n);
}

void CFFT::ToDecibels(float* spectrum) const {
    const int bins = m_size / 2 + 1;
    for (int k = 0; k < bins; ++k) {
        const double magnitude = spectrum[k];
        spectrum[k] = magnitude >= kSmallestMagnitude ? static_cast<float>(std::log(magnitude) * kDbFactor)
                                                      : kNoLevelDb;
    }
}

double CFFT::InterpolatedDB(const float* spectrum, float frequency) const {
    const int top = m_size / 2;
    if (!(frequency >= 0.0f) || static_cast<double>(frequency) > 0.5 * m_sampleRate) return -1.0;
    const float x = frequency / BinWidth();
    if (!(x >= 0.0f) || x >= static_cast<float>(top + 1)) return -1.0;
    const int i = static_cast<int>(x);
    if (i <= 1 || i >= top - 1) return spectrum[i];
    // Cubic Lagrange interpolation through bins i-1 .. i+2, in double precision.
    const double d = static_cast<double>(x) - i;  // x - i
    const double a = d + 1.0;                      // x - (i-1)
    const double b = d - 1.0;                      // x - (i+1)
    const double c = d - 2.0;                      // x - (i+2)
    return spectrum[i - 1] * (-(d * b * c) / 6.0) + spectrum[i] * ((a * b * c) / 2.0) +
           spectrum[i + 1] * (-(a * d * c) / 2.0) + spectrum[i + 2] * ((a * d * b) / 6.0);
}
