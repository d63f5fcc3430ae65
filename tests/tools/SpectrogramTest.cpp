// The plot's spectrogram on sines summed here: levels in dBFS with the window's gain
// divided out, tones in the columns of their time, and the same columns for any cut of
// the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "Spectrogram.h"

namespace {

constexpr int kRate = 8000;

// A sine of this peak level in dBFS from start to end seconds, silence elsewhere.
std::vector<float> Burst(double seconds, double hz, double dbfs, double start, double end) {
    std::vector<float> x(static_cast<std::size_t>(seconds * kRate), 0.0f);
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / kRate;
        if (t >= start && t < end) x[n] = static_cast<float>(std::pow(10.0, dbfs / 20) * std::sin(2 * M_PI * hz * t));
    }
    return x;
}

std::vector<float> Levels(const std::vector<float>& x, std::int64_t first, std::int64_t count, int columns, std::size_t piece) {
    Spectrogram s(kRate, first, count, columns);
    for (std::size_t i = 0; i < x.size(); i += piece)
        s.Feed(std::span(x).subspan(i, std::min(piece, x.size() - i)));
    s.Finish();
    std::vector<float> all;
    for (int c = 0; c < s.Columns(); ++c) all.insert(all.end(), s.Column(c).begin(), s.Column(c).end());
    return all;
}

TEST(Spectrogram, ReadsASineAtItsLevelInTheColumnsOfItsTime) {
    // 1000 Hz is bin 32 of 256 samples at 8 kHz: its level is the sine's, the window's gain
    // divided out.
    for (double dbfs : {0.0, -20.0, -60.0}) {
        const std::vector<float> x = Burst(3.0, 1000, dbfs, 1.0, 1.5);
        Spectrogram s(kRate, 0, static_cast<std::int64_t>(x.size()), 300);
        s.Feed(x);
        s.Finish();
        ASSERT_EQ(s.FrameSize(), 256);
        ASSERT_DOUBLE_EQ(s.BinHz() * 32, 1000.0);
        // 10 ms a column; a frame is 32 ms, so its edges reach about two columns out.
        for (int c : {102, 125, 147}) EXPECT_NEAR(s.Column(c)[32], dbfs, 0.05) << c;
        for (int c : {0, 96, 154, 299}) EXPECT_EQ(s.Column(c)[32], Spectrogram::kFloorDb) << c;
        // Far from the tone, the Hann window's side lobes are 60 dB down or at the floor.
        EXPECT_LE(s.Column(125)[100], std::max(dbfs - 60, static_cast<double>(Spectrogram::kFloorDb))) << dbfs;
    }
}

TEST(Spectrogram, GivesTheSameColumnsForAnyCutOfTheInputAndFillsColumnsShorterThanAHop) {
    const std::vector<float> x = Burst(2.0, 700, -10, 0.5, 1.2);
    // The whole recording, a stretch starting inside it, and a stretch so short that
    // frames are fewer than columns.
    for (auto [first, count, columns] : {std::tuple<std::int64_t, std::int64_t, int>{0, 16000, 500},
                                         {5000, 6000, 700}, {4000, 200, 800}}) {
        const std::vector<float> whole = Levels(x, first, count, columns, x.size());
        for (std::size_t piece : {1u, 7u, 255u, 1000u}) EXPECT_EQ(Levels(x, first, count, columns, piece), whole) << piece;
        // Every column of a stretch inside the tone shows it.
        if (first == 4000) {
            Spectrogram s(kRate, first, count, columns);
            s.Feed(x);
            s.Finish();
            const int bin = static_cast<int>(std::lround(700 / s.BinHz()));
            for (int c = 0; c < columns; ++c) ASSERT_GT(s.Column(c)[static_cast<std::size_t>(bin)], -20.0f) << c;
        }
    }
}

}  // namespace
