#include "tones/ResonatorBank.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

// The vector helpers below are internal to this file and always inlined, so the note that
// passing AVX-sized vectors changes the calling convention does not concern us.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// Four lanes per vector. GCC lowers the type to the registers the target has (two SSE2
// registers, or one AVX register); each lane is an ordinary IEEE double operation and
// the build forbids contraction into fused multiply-adds, so rounding never depends on
// the instruction set.
using Lane4 = double __attribute__((vector_size(32)));
constexpr int kGroups = ResonatorBank::kLanes / 4;

// One recurrence step of four lanes, writing the newest output over the oldest state.
[[gnu::always_inline]] inline void Step(const Lane4& c, const Lane4& s1, Lane4& s2, double x) {
    s2 = c * s1 - s2 + x;
}

[[gnu::always_inline]] inline Lane4 Load(const double* p) {
    Lane4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void Store(double* p, const Lane4& v) { std::memcpy(p, &v, sizeof v); }

// What the feeding adds up besides the resonators, one sample at a time in order: the
// squares (the block energy of the key detectors) or the magnitudes (the block level of
// the tone monitor).
enum class Sum { kSquares, kMagnitudes };

template <Sum kSum>
[[gnu::always_inline]] inline double Term(double x) {
    if constexpr (kSum == Sum::kSquares) {
        return x * x;
    } else {
        return x < 0.0 ? -x : x;
    }
}

// Two samples per turn, with the roles of the two state sets swapped in the second half,
// so the state never moves between registers. The five groups are spelled out as
// separate variables: kept in an array, the compiler would keep them in memory.
template <Sum kSum>
[[gnu::always_inline]] inline double FeedBody(double* s1p, double* s2p, const double* cp,
                                               const float* x, int n, double energy) {
    static_assert(kGroups == 5, "the kernel below is written out for five groups");
    Lane4 a0 = Load(s1p), a1 = Load(s1p + 4), a2 = Load(s1p + 8), a3 = Load(s1p + 12),
          a4 = Load(s1p + 16);
    Lane4 b0 = Load(s2p), b1 = Load(s2p + 4), b2 = Load(s2p + 8), b3 = Load(s2p + 12),
          b4 = Load(s2p + 16);
    const Lane4 c0 = Load(cp), c1 = Load(cp + 4), c2 = Load(cp + 8), c3 = Load(cp + 12),
                c4 = Load(cp + 16);
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const double x0 = x[i];
        const double x1 = x[i + 1];
        energy += Term<kSum>(x0);
        energy += Term<kSum>(x1);
        // b becomes the newest output, a the one before it ...
        Step(c0, a0, b0, x0), Step(c1, a1, b1, x0), Step(c2, a2, b2, x0);
        Step(c3, a3, b3, x0), Step(c4, a4, b4, x0);
        // ... and back again.
        Step(c0, b0, a0, x1), Step(c1, b1, a1, x1), Step(c2, b2, a2, x1);
        Step(c3, b3, a3, x1), Step(c4, b4, a4, x1);
    }
    if (i < n) {
        const double x0 = x[i];
        energy += Term<kSum>(x0);
        Step(c0, a0, b0, x0), Step(c1, a1, b1, x0), Step(c2, a2, b2, x0);
        Step(c3, a3, b3, x0), Step(c4, a4, b4, x0);
        std::swap(a0, b0), std::swap(a1, b1), std::swap(a2, b2);
        std::swap(a3, b3), std::swap(a4, b4);
    }
    Store(s1p, a0), Store(s1p + 4, a1), Store(s1p + 8, a2), Store(s1p + 12, a3), Store(s1p + 16, a4);
    Store(s2p, b0), Store(s2p + 4, b1), Store(s2p + 8, b2), Store(s2p + 12, b3), Store(s2p + 16, b4);
    return energy;
}

// The same recurrence for the first G groups only, for banks that use fewer lanes. With G
// fixed at compile time and the loops unrolled, the groups stay in registers.
template <int G, Sum kSum>
[[gnu::always_inline]] inline double FeedGroups(double* s1p, double* s2p, const double* cp, const float* x, int n,
                                                double sum) {
    Lane4 a[G], b[G], c[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) a[g] = Load(s1p + 4 * g), b[g] = Load(s2p + 4 * g), c[g] = Load(cp + 4 * g);
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const double x0 = x[i];
        const double x1 = x[i + 1];
        sum += Term<kSum>(x0);
        sum += Term<kSum>(x1);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) Step(c[g], a[g], b[g], x0);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) Step(c[g], b[g], a[g], x1);
    }
    if (i < n) {
        const double x0 = x[i];
        sum += Term<kSum>(x0);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) Step(c[g], a[g], b[g], x0), std::swap(a[g], b[g]);
    }
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) Store(s1p + 4 * g, a[g]), Store(s2p + 4 * g, b[g]);
    return sum;
}

// Magnitude feeding of 1 to 5 groups.
template <Sum kSum>
[[gnu::always_inline]] inline double FeedSomeGroups(int groups, double* s1, double* s2, const double* c,
                                                    const float* x, int n, double sum) {
    switch (groups) {
        case 1: return FeedGroups<1, kSum>(s1, s2, c, x, n, sum);
        case 2: return FeedGroups<2, kSum>(s1, s2, c, x, n, sum);
        case 3: return FeedGroups<3, kSum>(s1, s2, c, x, n, sum);
        case 4: return FeedGroups<4, kSum>(s1, s2, c, x, n, sum);
        default: return FeedBody<kSum>(s1, s2, c, x, n, sum);
    }
}

// Restart and power are done with the same vector width as the feeding, so the state
// moves between them whole instead of through mismatched partial stores.
[[gnu::always_inline]] inline void RestartBody(double* s1, double* s2, double* c,
                                                const double* coefficients) {
    const Lane4 zero = {0.0, 0.0, 0.0, 0.0};
    for (int g = 0; g < kGroups; ++g) {
        Store(s1 + 4 * g, zero);
        Store(s2 + 4 * g, zero);
        Store(c + 4 * g, Load(coefficients + 4 * g));
    }
}

[[gnu::always_inline]] inline void PowersBody(const double* s1p, const double* s2p,
                                               const double* cp, double* power) {
    for (int g = 0; g < kGroups; ++g) {
        const Lane4 s1 = Load(s1p + 4 * g);
        const Lane4 s2 = Load(s2p + 4 * g);
        Store(power + 4 * g, s1 * s1 + s2 * s2 - s1 * s2 * Load(cp + 4 * g));
    }
}

struct Kernels {
    double (*feed)(double* s1, double* s2, const double* c, const float* x, int n, double energy);
    double (*feedMagnitudes)(int groups, double* s1, double* s2, const double* c, const float* x, int n, double sum);
    void (*restart)(double* s1, double* s2, double* c, const double* coefficients);
    void (*powers)(const double* s1, const double* s2, const double* c, double* power);
};

double FeedBaseline(double* s1, double* s2, const double* c, const float* x, int n, double energy) {
    return FeedBody<Sum::kSquares>(s1, s2, c, x, n, energy);
}
double FeedMagnitudesBaseline(int groups, double* s1, double* s2, const double* c, const float* x, int n,
                              double sum) {
    return FeedSomeGroups<Sum::kMagnitudes>(groups, s1, s2, c, x, n, sum);
}
void RestartBaseline(double* s1, double* s2, double* c, const double* coefficients) {
    RestartBody(s1, s2, c, coefficients);
}
void PowersBaseline(const double* s1, const double* s2, const double* c, double* power) {
    PowersBody(s1, s2, c, power);
}

[[gnu::target("avx2")]] double FeedAvx2(double* s1, double* s2, const double* c, const float* x,
                                         int n, double energy) {
    return FeedBody<Sum::kSquares>(s1, s2, c, x, n, energy);
}
[[gnu::target("avx2")]] double FeedMagnitudesAvx2(int groups, double* s1, double* s2, const double* c,
                                                   const float* x, int n, double sum) {
    return FeedSomeGroups<Sum::kMagnitudes>(groups, s1, s2, c, x, n, sum);
}
[[gnu::target("avx2")]] void RestartAvx2(double* s1, double* s2, double* c,
                                          const double* coefficients) {
    RestartBody(s1, s2, c, coefficients);
}
[[gnu::target("avx2")]] void PowersAvx2(const double* s1, const double* s2, const double* c,
                                         double* power) {
    PowersBody(s1, s2, c, power);
}

constexpr Kernels kBaseline = {&FeedBaseline, &FeedMagnitudesBaseline, &RestartBaseline, &PowersBaseline};
constexpr Kernels kAvx2 = {&FeedAvx2, &FeedMagnitudesAvx2, &RestartAvx2, &PowersAvx2};

bool MachineHasAvx2() { return __builtin_cpu_supports("avx2"); }

ResonatorBank::InstructionSet Best() {
    return MachineHasAvx2() ? ResonatorBank::InstructionSet::Avx2
                            : ResonatorBank::InstructionSet::Baseline;
}

std::atomic<ResonatorBank::InstructionSet> g_inUse{Best()};

const Kernels& KernelsInUse() {
    return g_inUse.load(std::memory_order_relaxed) == ResonatorBank::InstructionSet::Avx2 ? kAvx2
                                                                                      : kBaseline;
}

}  // namespace

void ResonatorBank::Restart(const double coefficients[kLanes]) {
    KernelsInUse().restart(m_s1, m_s2, m_coefficients, coefficients);
}

void ResonatorBank::Feed(const float* samples, int count, double& energy) {
    energy = KernelsInUse().feed(m_s1, m_s2, m_coefficients, samples, count, energy);
}

void ResonatorBank::FeedMagnitudes(const float* samples, int count, double& magnitudeSum, int lanes) {
    const int groups = std::clamp((lanes + 3) / 4, 1, kGroups);
    magnitudeSum = KernelsInUse().feedMagnitudes(groups, m_s1, m_s2, m_coefficients, samples, count, magnitudeSum);
}

double ResonatorBank::Power(int lane) const {
    const double s1 = m_s1[lane];
    const double s2 = m_s2[lane];
    return s1 * s1 + s2 * s2 - s1 * s2 * m_coefficients[lane];
}

void ResonatorBank::Powers(double power[kLanes]) const {
    KernelsInUse().powers(m_s1, m_s2, m_coefficients, power);
}

bool ResonatorBank::Use(InstructionSet set) {
    if (set == InstructionSet::Automatic) set = Best();
    if (set == InstructionSet::Avx2 && !MachineHasAvx2()) return false;
    g_inUse.store(set, std::memory_order_relaxed);
    return true;
}

ResonatorBank::InstructionSet ResonatorBank::InUse() { return g_inUse.load(std::memory_order_relaxed); }
