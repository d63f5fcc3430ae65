#pragma once

#include <cstdint>

// Twenty Goertzel resonators run side by side over the same samples:
//     s0 = c*s1 - s2 + x,  s2 = s1,  s1 = s0
// in double precision, in exactly that order of operations. Lanes are grouped in fours
// so the recurrence vectorises; the same arithmetic runs whatever instruction set the
// machine offers, and every instruction set gives bit-identical results.
class ResonatorBank {
public:
    static constexpr int kLanes = 20;

    enum class InstructionSet { Automatic, Baseline, Avx2 };

    // Zeroes both states and loads the coefficients of all lanes.
    void Restart(const double coefficients[kLanes]);

    // Runs every lane over count samples and adds the samples' squares (in double) to
    // energy, one by one in order.
    void Feed(const float* samples, int count, double& energy);
    // The same, adding the samples' magnitudes |x| (in double) to magnitudeSum instead, and
    // running only the groups of four that hold the first `lanes` lanes (the others keep
    // their state): a bank of six tones costs two groups, not five.
    void FeedMagnitudes(const float* samples, int count, double& magnitudeSum, int lanes = kLanes);

    // The squared magnitude at the end of the samples fed since the restart:
    // s1*s1 + s2*s2 - s1*s2*c.
    double Power(int lane) const;
    void Powers(double power[kLanes]) const;
    // The newer (s1) and older (s2) state of one lane.
    double NewerState(int lane) const { return m_s1[lane]; }
    double OlderState(int lane) const { return m_s2[lane]; }

    // Pins the implementation (for tests that compare them); Automatic picks the best
    // the machine supports. Returns false when the machine lacks the requested set.
    static bool Use(InstructionSet set);
    static InstructionSet InUse();

private:
    alignas(32) double m_s1[kLanes] = {};
    alignas(32) double m_s2[kLanes] = {};
    alignas(32) double m_coefficients[kLanes] = {};
};
