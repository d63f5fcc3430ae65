#include "tones/ResonatorBank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// The recurrence written the plain way, one lane and one sample at a time.
struct ScalarBank {
    double s1[ResonatorBank::kLanes] = {};
    double s2[ResonatorBank::kLanes] = {};
    void Feed(const double* c, const float* x, int n, double& energy) {
        for (int i = 0; i < n; ++i) {
            const double v = x[i];
            energy += v * v;
            for (int lane = 0; lane < ResonatorBank::kLanes; ++lane) {
                const double s0 = c[lane] * s1[lane] - s2[lane] + v;
                s2[lane] = s1[lane];
                s1[lane] = s0;
            }
        }
    }
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class ResonatorBankTest : public ::testing::TestWithParam<ResonatorBank::InstructionSet> {
protected:
    void TearDown() override { ResonatorBank::Use(ResonatorBank::InstructionSet::Automatic); }
};

TEST_P(ResonatorBankTest, MatchesThePlainRecurrenceBitForBit) {
    if (!ResonatorBank::Use(GetParam())) GTEST_SKIP() << "instruction set not available here";
    std::mt19937 random(11);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::uniform_real_distribution<double> coefficient(-2.0, 2.0);
    double c[ResonatorBank::kLanes];
    for (double& v : c) v = coefficient(random);

    // Pieces of every small length, odd and even, continue one another exactly.
    for (int pieces : {1, 3, 40}) {
        ResonatorBank bank;
        bank.Restart(c);
        ScalarBank reference;
        double energy = 0.0, referenceEnergy = 0.0;
        for (int p = 0; p < pieces; ++p) {
            std::vector<float> x(static_cast<std::size_t>(p % 7 + 1));
            for (float& v : x) v = sample(random);
            bank.Feed(x.data(), static_cast<int>(x.size()), energy);
            reference.Feed(c, x.data(), static_cast<int>(x.size()), referenceEnergy);
        }
        ASSERT_TRUE(SameBits(energy, referenceEnergy));
        double power[ResonatorBank::kLanes];
        bank.Powers(power);
        for (int lane = 0; lane < ResonatorBank::kLanes; ++lane) {
            const double s1 = reference.s1[lane], s2 = reference.s2[lane];
            const double expected = s1 * s1 + s2 * s2 - s1 * s2 * c[lane];
            ASSERT_TRUE(SameBits(power[lane], expected)) << "lane " << lane << ", " << pieces << " pieces";
            ASSERT_TRUE(SameBits(bank.Power(lane), expected));
        }
    }
}

TEST_P(ResonatorBankTest, MagnitudeFeedingOfTheFirstLanesMatchesThePlainRecurrence) {
    if (!ResonatorBank::Use(GetParam())) GTEST_SKIP() << "instruction set not available here";
    std::mt19937 random(5);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    double c[ResonatorBank::kLanes];
    for (double& v : c) v = std::uniform_real_distribution<double>(-2.0, 2.0)(random);
    for (int lanes : {1, 4, 5, 9, 16, 20}) {
        ResonatorBank bank;
        bank.Restart(c);
        double sum = 0.0, referenceSum = 0.0;
        double s1[ResonatorBank::kLanes] = {}, s2[ResonatorBank::kLanes] = {};
        for (int p = 0; p < 9; ++p) {
            std::vector<float> x(static_cast<std::size_t>(p % 4 + 1));
            for (float& v : x) v = sample(random);
            bank.FeedMagnitudes(x.data(), static_cast<int>(x.size()), sum, lanes);
            for (float v : x) {
                referenceSum += std::fabs(static_cast<double>(v));
                for (int lane = 0; lane < (lanes + 3) / 4 * 4; ++lane) {
                    const double s0 = c[lane] * s1[lane] - s2[lane] + v;
                    s2[lane] = s1[lane];
                    s1[lane] = s0;
                }
            }
        }
        ASSERT_TRUE(SameBits(sum, referenceSum)) << lanes;
        for (int lane = 0; lane < ResonatorBank::kLanes; ++lane) {  // lanes past the groups fed stay at rest
            ASSERT_TRUE(SameBits(bank.NewerState(lane), s1[lane])) << lanes << " lane " << lane;
            ASSERT_TRUE(SameBits(bank.OlderState(lane), s2[lane])) << lanes << " lane " << lane;
        }
    }
}

TEST_P(ResonatorBankTest, PowerOfAPureToneIsItsGoertzelMagnitude) {
    if (!ResonatorBank::Use(GetParam())) GTEST_SKIP() << "instruction set not available here";
    // A sine of amplitude A exactly on a bin of an N-sample block gives (A N / 2)^2.
    const int n = 100;
    const double freq = 10.0 / n;  // cycles per sample
    double c[ResonatorBank::kLanes] = {};
    c[3] = 2.0 * std::cos(2.0 * M_PI * freq);
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * freq * i));
    ResonatorBank bank;
    bank.Restart(c);
    double energy = 0.0;
    bank.Feed(x.data(), n, energy);
    EXPECT_NEAR(bank.Power(3), std::pow(0.5 * n / 2.0, 2), 1e-3);
    EXPECT_NEAR(energy, 0.25 * n / 2.0, 1e-5);
    bank.Restart(c);
    EXPECT_EQ(bank.Power(3), 0.0);
}

INSTANTIATE_TEST_SUITE_P(InstructionSets, ResonatorBankTest,
                         ::testing::Values(ResonatorBank::InstructionSet::Baseline,
                                           ResonatorBank::InstructionSet::Avx2));

}  // namespace
