#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <string>

#include "Measure.h"
#include "synth/SignalTimeline.h"
#include "synth/SitGenerator.h"

namespace {

using Kind = SitGenerator::Kind;

// Each kind's first two tones, written out again as the check against the generator.
const struct { Kind kind; const char* code; const char* name; double firstHz; bool firstLong; double secondHz; bool secondLong; } kKinds[] = {
    {Kind::kRO, "RO", "Reorder - intraLATA", 913, false, 1428, true},
    {Kind::kVC, "VC", "Vacant Code", 985, true, 1370, false},
    {Kind::kNC, "NC", "No Circuit - intraLATA", 985, true, 1428, true},
    {Kind::kIC, "IC", "Intercept", 913, false, 1370, false},
    {Kind::kRO2, "RO2", "Reorder - interLATA", 985, false, 1370, true},
    {Kind::kNC2, "NC2", "No Circuit - interLATA", 913, true, 1370, true},
    {Kind::kIO, "IO", "Ineffective/Other", 913, true, 1428, false},
};

// At 8000 Hz: 276 ms is 2208 samples, 380 ms 3040, the 12.5 ms gaps 100, the 20 ms lead
// 160 and the 250 ms announcement 2000. Each tone is checked against the other of its pair.
TEST(SitGenerator, EachKindsTonesLengthsAndSilences) {
    SitGenerator::Options options;
    options.levelDbfs = -18.0;
    options.gapMs = 12.5;
    options.leadMs = 20.0;
    options.announcementMs = 250.0;
    const double amplitude = std::pow(10.0, -18.0 / 20.0);
    for (const auto& e : kKinds) {
        SignalTimeline t(8000);
        ASSERT_EQ(SitGenerator(options).Append(t, e.kind), S_OK) << e.code;
        const std::size_t first = e.firstLong ? 3040 : 2208;
        const std::size_t second = e.secondLong ? 3040 : 2208;
        ASSERT_EQ(t.Size(), 160 + first + 100 + second + 100 + 3040 + 2000) << e.code;
        const auto s = t.Samples();
        const auto at = [&](std::size_t from, std::size_t count, double hz) {
            return measure::AmplitudeAt(s.subspan(from, count), hz, 8000) / amplitude;
        };
        EXPECT_NEAR(at(160, first, e.firstHz), 1.0, 0.01) << e.code;
        EXPECT_LT(at(160, first, e.firstHz == 913 ? 985 : 913), 0.05) << e.code;
        const std::size_t two = 160 + first + 100;
        EXPECT_NEAR(at(two, second, e.secondHz), 1.0, 0.01) << e.code;
        EXPECT_LT(at(two, second, e.secondHz == 1370 ? 1428 : 1370), 0.05) << e.code;
        EXPECT_NEAR(at(two + second + 100, 3040, 1776), 1.0, 0.01) << e.code;
        for (std::size_t silence : {std::size_t{0}, 160 + first, two + second})
            EXPECT_EQ(measure::Rms(s.subspan(silence, 100)), 0.0) << e.code << ' ' << silence;
        EXPECT_EQ(measure::Rms(s.last(2000)), 0.0);
        EXPECT_GT(measure::Rms(s.subspan(s.size() - 2004, 4)), 0.0);  // the third tone's end
    }
}

TEST(SitGenerator, CodesNamesAndCustomLengths) {
    for (const auto& e : kKinds) {
        EXPECT_STREQ(SitGenerator::Code(e.kind), e.code);
        EXPECT_STREQ(SitGenerator::Name(e.kind), e.name);
        std::string lower = e.code;
        for (char& c : lower) c = static_cast<char>(std::tolower(c));
        Kind parsed = Kind::kIO;
        EXPECT_TRUE(SitGenerator::ParseKind(lower, parsed) && parsed == e.kind) << lower;
    }
    Kind parsed = Kind::kRO;
    EXPECT_FALSE(SitGenerator::ParseKind("RO3", parsed));

    SitGenerator::Options options;
    options.shortMs = 100.0;
    options.longMs = 200.0;
    options.thirdMs = 300.0;
    SignalTimeline t(8000);
    ASSERT_EQ(SitGenerator(options).Append(t, Kind::kVC), S_OK);  // long, short, third
    EXPECT_EQ(t.Size(), 1600u + 800u + 2400u);
}

TEST(SitGenerator, RefusalsAppendNothing) {
    const auto rejects = [](auto change, Kind kind = Kind::kIC, int rate = 8000) {
        SitGenerator::Options o;
        change(o);
        SignalTimeline s(rate);
        return SitGenerator(o).Append(s, kind) == E_INVALIDARG && s.Size() == 0;
    };
    const auto none = [](auto&) {};
    EXPECT_TRUE(rejects(none, static_cast<Kind>(7)));
    EXPECT_TRUE(rejects([](auto& o) { o.thirdMs = -1.0; }));
    EXPECT_TRUE(rejects([](auto& o) { o.announcementMs = std::numeric_limits<double>::infinity(); }));
    EXPECT_TRUE(rejects(none, Kind::kIC, 3552));  // 1776 Hz is half of it
    EXPECT_FALSE(rejects(none, Kind::kIC, 3553));
}

}  // namespace
