// The FSK demodulator: window sizes, lock-in, run emission and flushing, the stop flag,
// restarts, priming across blocks, and a bit-for-bit comparison with a plain scalar
// transcription of its arithmetic (circular window, four separate tables) on long signals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "fsk/CDecAFSK.h"
#include "support/CallerIdHarness.h"

namespace {

struct Bit {
    std::int32_t level;
    std::uint32_t position;
    bool operator==(const Bit&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Bit& bit) { return out << bit.level << "@" << bit.position; }

class RecordingDemodulator : public CDecAFSK {
public:
    void OnBit(std::int32_t level, std::uint32_t position) override {
        bits.push_back({level, position});
        if (stopAfter > 0 && static_cast<int>(bits.size()) == stopAfter) m_stop = true;
    }
    std::vector<Bit> bits;
    int stopAfter = 0;
};

// The demodulator's arithmetic written out the obvious way, sample by sample, as the
// reference for the vectorised, doubled-window implementation.
class ScalarDemodulator {
public:
    ScalarDemodulator(int rate, float space, float mark, float baud) {
        spb = static_cast<float>(rate) / baud;
        n = static_cast<int>(std::trunc(static_cast<double>(spb) + 0.5));
        window.assign(n, 0.0f);
        const auto build = [&](float f, std::vector<float>& c, std::vector<float>& s) {
            float phase = 0.0f;
            for (int k = 0; k < n; ++k) {
                c.push_back(std::cos(phase));
                s.push_back(std::sin(phase));
                phase = static_cast<float>(static_cast<double>(f) * 6.283185307179586 / static_cast<double>(rate) +
                                           static_cast<double>(phase));
            }
        };
        build(mark, mc, ms);
        build(space, sc, ss);
    }
    void Feed(const std::vector<float>& x) {
        std::size_t i = 0;
        for (; i < x.size() && primed < n - 1; ++i) window[primed++] = x[i];
        if (primed == n - 1 && writeIndex < 0) {
            writeIndex = n - 1;
            position = static_cast<std::uint32_t>(n);
        }
        for (; i < x.size(); ++i) {
            window[writeIndex] = x[i];
            writeIndex = (writeIndex + 1) % n;
            Decide();
            ++position;
        }
    }
    std::vector<Bit> bits;

private:
    float Correlate(const std::vector<float>& t) const {
        float sum = 0.0f;
        for (int k = 0; k < n; ++k) sum += window[(writeIndex + k) % n] * t[k];
        return sum;
    }
    void Emit() {
        const int count = static_cast<int>(std::trunc(static_cast<double>(static_cast<float>(run) / spb) + 0.5));
        for (int i = 0; i < count; ++i) bits.push_back({level, position});
        if (count != 0) run = 0;
    }
    void Decide() {
        const float a = Correlate(mc), b = Correlate(ms), c = Correlate(sc), d = Correlate(ss);
        const float diff = (a * a + b * b) - (c * c + d * d);
        if (level == -1) {
            if (diff > 0.05) ++run;
            else if (diff < -0.05) --run;
            else { run = 0; return; }
            if (run >= n) level = 1;
            else if (run >= -n) return;
            else { level = 0; run = -run; }
        }
        const int bit = diff > 0 ? 1 : 0;
        if (bit != level) {
            float e = 0.0f;
            for (int k = 0; k < n; ++k) e += window[k] * window[k];
            const float r = e > 0 ? diff / (static_cast<float>(n) * e) : 0.0f;
            if (r > 0.08 || r < -0.08) {
                Emit();
                level = 1 - level;
                ++run;
                return;
            }
        }
        ++run;
        if (static_cast<double>(static_cast<float>(run)) > static_cast<double>(spb) * 8.0) Emit();
    }
    float spb;
    int n;
    std::vector<float> window, mc, ms, sc, ss;
    int primed = 0, writeIndex = -1, level = -1, run = 0;
    std::uint32_t position = 0;
};

std::vector<float> Tone(int rate, double hz, double amplitude, std::size_t samples, double phase = 0.0) {
    std::vector<float> x(samples);
    for (std::size_t i = 0; i < samples; ++i)
        x[i] = static_cast<float>(amplitude * std::sin(phase + 6.283185307179586 * hz * static_cast<double>(i) / rate));
    return x;
}

// Tones one after the other with a continuous phase, as a modem sends them.
std::vector<float> Segments(int rate, double amplitude, std::vector<std::pair<double, std::size_t>> parts) {
    std::vector<float> x;
    double phase = 0.0;
    for (const auto& [hz, samples] : parts) {
        for (std::size_t i = 0; i < samples; ++i) {
            x.push_back(static_cast<float>(amplitude * std::sin(phase)));
            phase = std::fmod(phase + 6.283185307179586 * hz / rate, 6.283185307179586);
        }
    }
    return x;
}

void Append(std::vector<float>& to, const std::vector<float>& from) { to.insert(to.end(), from.begin(), from.end()); }

std::vector<Bit> Demodulate(RecordingDemodulator& d, const std::vector<float>& x, std::size_t block) {
    for (std::size_t at = 0; at < x.size(); at += block) {
        const auto n = static_cast<std::int32_t>(std::min(block, x.size() - at));
        EXPECT_EQ(d.Demodulate(x.data() + at, n), 0);
    }
    return d.bits;
}

// Random bits on Bell 202 tones with noise, slightly off the nominal rate.
std::vector<float> RandomTransmission(int rate, double baud, std::uint32_t seed, std::size_t bitCount) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bits(bitCount);
    for (auto& b : bits) b = static_cast<std::uint8_t>(random() & 1);
    std::vector<float> x;
    fsk_reference::AppendBits(x, rate, {1200.0, 2200.0, baud, 0.4}, bits);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    for (float& s : x) s += noise(random);
    return x;
}

TEST(CDecAFSKConfiguration, WindowIsOneBitRoundedToNearest) {
    CDecAFSK d;
    EXPECT_EQ(d.SetParameters(8000, 2200.0f, 1200.0f, 1200.0f), S_OK);
    EXPECT_EQ(d.WindowLength(), 7);
    EXPECT_FLOAT_EQ(d.SamplesPerBit(), 8000.0f / 1200.0f);
    d.SetParameters(8000, 1562.5f, 2083.3f, 520.83f);
    EXPECT_EQ(d.WindowLength(), 15);  // 15.36 samples per bit
    d.SetParameters(48000, 1070.0f, 1270.0f, 300.0f);
    EXPECT_EQ(d.WindowLength(), 160);
    d.SetParameters(44100, 2200.0f, 1200.0f, 1200.0f);
    EXPECT_EQ(d.WindowLength(), 37);  // 36.75
}

TEST(CDecAFSKConfiguration, UnusableBitRatesLeaveItInertInsteadOfSizingArraysFromThem) {
    RecordingDemodulator d;
    EXPECT_EQ(d.SetParameters(8000, 2200.0f, 1200.0f, 0.0f), E_INVALIDARG);  // infinite window
    EXPECT_EQ(d.SetParameters(8000, 2200.0f, 1200.0f, NAN), E_INVALIDARG);
    EXPECT_EQ(d.SetParameters(8000, 2200.0f, 1200.0f, 20000.0f), E_INVALIDARG);  // window rounds to 0
    EXPECT_EQ(d.SetParameters(192000, 2200.0f, 1200.0f, 1.0f), E_INVALIDARG);    // longer than the limit
    const auto mark = Tone(8000, 1200.0, 0.5, 4000);
    EXPECT_EQ(d.Demodulate(mark.data(), 4000), 0);
    EXPECT_TRUE(d.bits.empty());
    // A valid call brings it back.
    EXPECT_EQ(d.SetParameters(8000, 2200.0f, 1200.0f, 1200.0f), S_OK);
    d.Demodulate(mark.data(), 4000);
    EXPECT_FALSE(d.bits.empty());
}

TEST(CDecAFSKRuns, SteadyMarkIsFlushedInGroupsOfEightAfterEightBitPeriods) {
    RecordingDemodulator d;
    d.SetParameters(8000, 2200.0f, 1200.0f, 1200.0f);
    const auto bits = Demodulate(d, Tone(8000, 1200.0, 0.5, 8000 * 3), 100);
    // Locked at the seventh decision (position 13, run 8 after its own count); the run
    // passes 8 x 6.67 = 53.3 samples at 54, every 54 samples from then on.
    ASSERT_GE(bits.size(), 8u * 400);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        EXPECT_EQ(bits[i].level, 1);
        EXPECT_EQ(bits[i].position, 59u + 54u * (i / 8)) << i;
    }
}

TEST(CDecAFSKRuns, RunLengthsRoundToWholeBits) {
    // 40 samples per bit. The run of a space is counted from the sample that accepted
    // the transition into it to the one that accepted the transition out of it; its bit
    // count is that length in bit periods rounded to nearest (1.4 gives 1, 1.6 gives 2).
    bool sawJustBelowHalf = false, sawJustAboveHalf = false;
    for (std::size_t spaceSamples = 40; spaceSamples <= 120; ++spaceSamples) {
        RecordingDemodulator d;
        d.SetParameters(48000, 2200.0f, 1200.0f, 1200.0f);
        Demodulate(d, Segments(48000, 0.5, {{1200.0, 400}, {2200.0, spaceSamples}, {1200.0, 400}}), 100);
        std::uint32_t markEnd = 0, spaceEnd = 0;
        int spaces = 0;
        for (const Bit& b : d.bits) {
            if (b.level == 0) {
                ++spaces;
                spaceEnd = b.position;
            } else if (spaceEnd == 0) {
                markEnd = b.position;
            }
        }
        ASSERT_GT(spaceEnd, markEnd) << spaceSamples;
        const double bits = (spaceEnd - markEnd) / 40.0;
        EXPECT_EQ(spaces, static_cast<int>(bits + 0.5)) << spaceSamples << " samples of space, run " << bits << " bits";
        sawJustBelowHalf |= bits >= 1.4 && bits < 1.5 && spaces == 1;
        sawJustAboveHalf |= bits > 1.5 && bits <= 1.7 && spaces == 2;
        if (bits == 2.5) {
            EXPECT_EQ(spaces, 3);  // halves round up
        }
    }
    EXPECT_TRUE(sawJustBelowHalf);
    EXPECT_TRUE(sawJustAboveHalf);
}

TEST(CDecAFSKRuns, GlitchShorterThanHalfABitEmitsNothingAndLengthensTheNextRun) {
    RecordingDemodulator clean, glitched;
    clean.SetParameters(48000, 2200.0f, 1200.0f, 1200.0f);
    glitched.SetParameters(48000, 2200.0f, 1200.0f, 1200.0f);
    // Mark, then 0.6 bit of space (seen as a space run of about 0.2 bit: the window is a
    // bit long), then mark, then a long space that ends the mark run.
    std::vector<float> x = Tone(48000, 1200.0, 0.5, 200);
    Append(x, Tone(48000, 2200.0, 0.5, 24));
    Append(x, Tone(48000, 1200.0, 0.5, 200));
    Append(x, Tone(48000, 2200.0, 0.5, 200));
    Demodulate(glitched, x, 100);
    std::vector<int> levels;
    for (const Bit& b : glitched.bits) levels.push_back(b.level);
    // The first mark run ends at the glitch; the glitch itself adds no space bit; the
    // mark run after it carries the glitch's samples.
    ASSERT_GE(levels.size(), 2u);
    int marks = 0;
    std::size_t i = 0;
    for (; i < levels.size() && levels[i] == 1; ++i) ++marks;
    for (; i < levels.size(); ++i) EXPECT_EQ(levels[i], 0);
    EXPECT_EQ(marks, 11);  // 424 samples of mark and glitch = 10.6 bits, plus the window's lag
}

TEST(CDecAFSKLockIn, WeakSignalNeverLocksAndEmitsNothing) {
    RecordingDemodulator weak, strong;
    weak.SetParameters(8000, 2200.0f, 1200.0f, 1200.0f);
    strong.SetParameters(8000, 2200.0f, 1200.0f, 1200.0f);
    // The energy difference of a tone of amplitude A is about (A N / 2)^2: 0.03 at 0.05,
    // under the 0.05 lock threshold; 0.12 at 0.1.
    Demodulate(weak, Tone(8000, 1200.0, 0.05, 8000), 100);
    Demodulate(strong, Tone(8000, 1200.0, 0.1, 8000), 100);
    EXPECT_TRUE(weak.bits.empty());
    EXPECT_EQ(weak.CurrentLevel(), -1);
    EXPECT_FALSE(strong.bits.empty());
    EXPECT_EQ(strong.CurrentLevel(), 1);
}

TEST(CDecAFSKLockIn, SpaceLocksAsSpace) {
    RecordingDemodulator d;
    d.SetParameters(8000, 2200.0f, 1200.0f, 1200.0f);
    Demodulate(d, Tone(8000, 2200.0, 0.5, 2000), 100);
    ASSERT_FALSE(d.bits.empty());
    for (const Bit& b : d.bits) EXPECT_EQ(b.level, 0);
}

TEST(CDecAFSKTransitions, SmallNormalisedDifferenceIsNoTransition) {
    RecordingDemodulator d;
    d.SetParameters(48000, 2200.0f, 1200.0f, 300.0f);
    std::vector<float> x = Tone(48000, 1200.0, 0.5, 800);
    // Then strong noise with a faint space tone: the space side wins the energy
    // difference about half the time, but over a 160-sample window by far less than 8 %
    // of the window's energy.
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.5f);
    auto faint = Tone(48000, 2200.0, 0.02, 24000);
    for (float& s : faint) s += noise(random);
    Append(x, faint);
    Demodulate(d, x, 100);
    std::size_t spaces = 0;
    for (const Bit& b : d.bits) spaces += b.level == 0;
    EXPECT_LT(spaces, d.bits.size() / 20) << "noise taken for transitions";
    EXPECT_GE(d.bits.size(), 24800u / 160 * 8 / 9);  // the held level is still flushed
}

TEST(CDecAFSKStop, StopInsideADecisionDropsItsRemainingBitsAndReturnsTheRestOfTheBlock) {
    RecordingDemodulator d;
    d.SetParameters(8000, 2200.0f, 1200.0f, 1200.0f);
    d.stopAfter = 3;
    const auto mark = Tone(8000, 1200.0, 0.5, 100);
    // The first group of eight is decided at position 59, sample 58 of the block.
    EXPECT_EQ(d.Demodulate(mark.data(), 100), 100 - 59);
    EXPECT_EQ(d.bits.size(), 3u);
    EXPECT_EQ(d.bits.back().position, 59u);
}

TEST(CDecAFSKRestart, SetParametersMidStreamStartsAFreshLockInAndPosition) {
    RecordingDemodulator d;
    d.SetParameters(8000, 2200.0f, 1200.0f, 1200.0f);
    const auto mark = Tone(8000, 1200.0, 0.5, 1000);
    d.Demodulate(mark.data(), 1000);
    d.bits.clear();
    d.SetParameters(8000, 2200.0f, 1200.0f, 1200.0f);
    EXPECT_FALSE(d.Primed());
    EXPECT_EQ(d.CurrentLevel(), -1);
    d.Demodulate(mark.data() + 3, 100);
    ASSERT_EQ(d.bits.size(), 8u);
    EXPECT_EQ(d.bits[0].position, 59u);
}

TEST(CDecAFSKPriming, WindowLongerThanABlockFillsAcrossBlocks) {
    // 300 baud at 48 kHz: a 160-sample window, primed over two 100-sample blocks.
    const auto x = RandomTransmission(48000, 300.0, 11, 200);
    RecordingDemodulator whole, blocks, single;
    for (auto* d : {&whole, &blocks, &single}) d->SetParameters(48000, 2200.0f, 1200.0f, 300.0f);
    Demodulate(whole, x, x.size());
    Demodulate(blocks, x, 100);
    Demodulate(single, x, 1);
    ASSERT_GT(whole.bits.size(), 150u);
    EXPECT_EQ(blocks.bits, whole.bits);
    EXPECT_EQ(single.bits, whole.bits);
}

TEST(CDecAFSKExactness, SameBitsAndPositionsAsThePlainScalarArithmetic) {
    struct Case {
        int rate;
        double baud;
        float space, mark, configuredBaud;
    };
    for (const Case& c : {Case{8000, 1200.0, 2200.0f, 1200.0f, 1200.0f}, Case{8000, 1212.0, 2200.0f, 1200.0f, 1200.0f},
                          Case{11025, 1200.0, 2200.0f, 1200.0f, 1200.0f}, Case{44100, 1188.0, 2200.0f, 1200.0f, 1200.0f},
                          Case{8000, 520.83, 1562.5f, 2083.3f, 520.83f}, Case{48000, 300.0, 2200.0f, 1200.0f, 300.0f}}) {
        const auto x = RandomTransmission(c.rate, c.baud, static_cast<std::uint32_t>(c.rate), 3000);
        ScalarDemodulator reference(c.rate, c.space, c.mark, c.configuredBaud);
        reference.Feed(x);
        RecordingDemodulator d;
        d.SetParameters(c.rate, c.space, c.mark, c.configuredBaud);
        Demodulate(d, x, 100);
        ASSERT_GT(reference.bits.size(), 1000u) << c.rate;
        EXPECT_EQ(d.bits, reference.bits) << c.rate << " Hz, " << c.baud << " baud";
    }
}

}  // namespace
