// The vornix command's tone detectors (MF, paging, special information tones, custom
// tones) run as a user runs them, on recordings summed from sines here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandRunner.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

namespace {

const std::string kVornix = VORNIX_CLI_PATH;
constexpr int kRate = 8000;

// A stretch of the recording: the sum of these frequencies, each at this level (peak,
// dBFS), or silence when there are none.
struct Segment {
    double ms;
    std::vector<double> hz;
    double dbfs = -10.0;
};

// 16-bit mono at 8 kHz. Phases run on across segments, as a generator's would.
void WriteWave(const std::string& path, const std::vector<Segment>& segments) {
    std::vector<std::int16_t> pcm;
    for (const Segment& s : segments) {
        const double amplitude = std::pow(10.0, s.dbfs / 20.0);
        const auto n = static_cast<std::size_t>(s.ms * kRate / 1000.0);
        for (std::size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(pcm.size()) / kRate;
            double x = 0.0;
            for (double f : s.hz) x += amplitude * std::sin(2.0 * M_PI * f * t);
            pcm.push_back(static_cast<std::int16_t>(std::lround(std::clamp(x, -1.0, 1.0) * 32767.0)));
        }
    }
    std::ofstream out(path, std::ios::binary);
    auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    const auto data = static_cast<std::uint32_t>(pcm.size() * 2);
    out.write("RIFF", 4);
    put(36 + data, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4), put(1, 2), put(1, 2), put(kRate, 4), put(kRate * 2, 4), put(2, 2), put(16, 2);
    out.write("data", 4);
    put(data, 4);
    for (std::int16_t v : pcm) put(static_cast<std::uint16_t>(v), 2);
}

std::vector<Segment> Mf() {
    const std::vector<std::vector<double>> keys = {{1100, 1700}, {700, 900}, {700, 1100}, {900, 1100}, {1500, 1700}};
    std::vector<Segment> s = {{200, {}}};
    for (const auto& key : keys) s.insert(s.end(), {{68, key}, {68, {}}});
    s.push_back({300, {}});
    return s;
}

std::vector<Segment> CcirPaging() {
    std::vector<Segment> s = {{200, {}}};
    for (double f : {1124.0, 1197.0, 1275.0, 1358.0, 1446.0}) s.push_back({100, {f}});
    s.push_back({400, {}});
    return s;
}

std::vector<Segment> SitIntercept() {
    return {{200, {}}, {276, {913}, -20}, {276, {1370}, -20}, {380, {1776}, -20}, {600, {}}};
}

// Two cycles of loud ringback: 2 s of 440 + 480 Hz, 4 s off. At -10 dBFS its 480 Hz leaks
// into busy's 620 Hz resonator and its 440 Hz into dial tone's 350 Hz one above their
// minimum level.
std::vector<Segment> Ringback() {
    return {{500, {}}, {2000, {440, 480}}, {4000, {}}, {2000, {440, 480}}, {4000, {}}};
}

class TonesCommand : public ::testing::Test {
protected:
    std::string Wave(const std::string& name, const std::vector<Segment>& segments) const {
        WriteWave(run.Path(name), segments);
        return run.Path(name);
    }

    CommandRunner::Result Vornix(const std::vector<std::string>& args) const { return run.Run(kVornix, args); }

    // The JSON events of one decode, which must succeed.
    std::vector<nlohmann::json> Events(std::vector<std::string> args, const std::string& file) const {
        args.insert(args.begin(), {"decode", "--json"});
        args.push_back(file);
        const auto r = Vornix(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<nlohmann::json> events;
        for (const std::string& line : r.OutLines()) events.push_back(nlohmann::json::parse(line));
        return events;
    }

    static std::string Keys(const std::vector<nlohmann::json>& events, const std::string& event) {
        std::string keys;
        for (const auto& e : events)
            if (e["event"] == event) keys += e["RecvChar"].get<std::string>();
        return keys;
    }

    CommandRunner run;
};

// ------------------------------------------------------------- usage

TEST_F(TonesCommand, MalformedOrRepeatedTonesAndPagingSettingsAreUsageErrors) {
    // Each must be refused while parsing: a missing file would otherwise give status 1.
    const std::vector<std::vector<std::string>> refused = {
        {"--tone", "engaged"},
        {"--tone", "5:500:500"},
        {"--tone", "5:500:500:480:-40"},
        {"--tone", "5.5:500:500:480"},
        {"--tone", "5:500:500:1,2,3,4,5"},
        {"--tone", "5:500:500:480,0"},
        {"--tone", "5:5:500:480"},
        {"--tone", "5:500:-1:480"},
        {"--tone", "5:500:500:480:-10:-20"},
        {"--tone", "5:500:500:480:-40:3"},
        {"--tone", "1000002:500:500:480"},  // a built-in's ID
        {"--tone", "5:500:500:480", "--tone", "5:900:0:620"},
        {"--tone", "busy", "--tone", "busy"},
        {"--detect", "tones,sits"},
        {"--paging-type", "POCSAG"},
        {"--min-amp-db", "0"},
        {"--min-gap-duration", "-1"},
    };
    for (const auto& options : refused) {
        std::vector<std::string> args = {"decode"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(run.Path("missing.wav"));
        const auto r = Vornix(args);
        EXPECT_EQ(r.exitCode, 2) << options.back() << "\n" << r.err;
        EXPECT_NE(r.err.find(options[options.size() - 2]), std::string::npos) << r.err;
    }
}

// ------------------------------------------------------------- detectors

struct DetectorCase {
    const char* name;
    std::vector<Segment> (*signal)();
    std::vector<std::string> options;
    const char* event;
    std::string keys;
};

class TonesCommandDecodes : public TonesCommand, public ::testing::WithParamInterface<DetectorCase> {};

// Every detector decodes its signal by its own name and as part of "all".
TEST_P(TonesCommandDecodes, ItsSignalByNameAndWithAll) {
    const DetectorCase& c = GetParam();
    const std::string file = Wave("in.wav", c.signal());
    for (const char* name : {c.name, "all"}) {
        const std::string detect = name;
        SCOPED_TRACE("--detect " + detect);
        std::vector<std::string> args = {"--detect", detect};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto events = Events(args, file);
        EXPECT_EQ(Keys(events, c.event), c.keys);
        for (const auto& e : events) {
            if (e["event"] == c.event) {
                EXPECT_NEAR(e["Seconds"].get<double>(), e["Position"].get<double>() / kRate, 1e-9);
            }
        }
        if (detect != "all") {
            EXPECT_EQ(events.size(), c.keys.size()) << "only the chosen detector reports";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, TonesCommandDecodes,
                         ::testing::Values(DetectorCase{"mf", Mf, {}, "OnMF", "*123#"},
                                           DetectorCase{"paging", CcirPaging, {"--paging-type", "ccir"}, "OnPaging", "12345"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TonesCommand, PagingSettingsReachTheDetector) {
    const std::string file = Wave("ccir.wav", CcirPaging());
    EXPECT_EQ(Keys(Events({"--detect", "paging", "--paging-type", "CCIR", "--min-amp-db", "-30"}, file), "OnPaging"),
              "12345");
    // The tones are at -10 dBFS: a minimum above that, or another tone set, loses them.
    EXPECT_EQ(Keys(Events({"--detect", "paging", "--paging-type", "CCIR", "--min-amp-db", "-4"}, file), "OnPaging"), "");
    EXPECT_NE(Keys(Events({"--detect", "paging", "--paging-type", "EIA"}, file), "OnPaging"), "12345");
}

TEST_F(TonesCommand, SitIsReportedByNameInBothForms) {
    const std::string file = Wave("sit.wav", SitIntercept());
    for (const char* detect : {"sit", "all"}) {
        const auto events = Events({"--detect", detect}, file);
        int sits = 0;
        for (const auto& e : events) {
            if (e["event"] != "OnSIT") continue;
            ++sits;
            EXPECT_EQ(e["SITName"], "Intercept");
            EXPECT_EQ(e["SITType"], 3);
        }
        EXPECT_EQ(sits, 1) << "--detect " << detect;
    }
    const auto line = Vornix({"decode", "--detect", "sit", file});
    EXPECT_NE(line.out.find("SIT Intercept"), std::string::npos) << line.out;
}

// ------------------------------------------------------------- custom tones

TEST_F(TonesCommand, RingbackIsFoundOncePerCycleAndNotTakenForTheOtherBuiltIns) {
    const std::string file = Wave("ringback.wav", Ringback());
    // "tones" alone watches every built-in; --tone watches only what it names, and
    // switches the monitor on without --detect.
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--detect", "tones"}, {"--tone", "ringback", "--tone", "busy", "--tone", "dial"}}) {
        const auto events = Events(options, file);
        ASSERT_EQ(events.size(), 2u) << options.back();
        for (std::size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i]["event"], "OnToneDetected");
            EXPECT_EQ(events[i]["AppSpecific"], 1000002);
            // Reported after the on-time and the off-time of its own cycle.
            const double start = 0.5 + 6.0 * static_cast<double>(i);
            EXPECT_GT(events[i]["Seconds"].get<double>(), start + 5.0);
            EXPECT_LT(events[i]["Seconds"].get<double>(), start + 6.0);
        }
    }
    const auto r = Vornix({"decode", "--tone", "ringback", file});
    EXPECT_NE(r.out.find("Tone ringback (id 1000002)"), std::string::npos) << r.out;
}

TEST_F(TonesCommand, UserTonesCarryTheirIdAbsentFrequenciesAndLevels) {
    // 1 s of 1000 Hz alone, then 1 s of 1000 + 1500 Hz, both at -20 dBFS.
    const std::string file = Wave("user.wav", {{200, {}}, {1000, {1000}, -20}, {1000, {1000, 1500}, -20}, {300, {}}});
    auto ids = [&](const std::vector<std::string>& options) {
        std::vector<int> found;
        for (const auto& e : Events(options, file)) found.push_back(e["AppSpecific"].get<int>());
        return found;
    };
    // Steady tones with off-time 0 report every on-time while present.
    EXPECT_EQ(ids({"--tone", "-7:800:0:1000", "--detect", "tones"}), (std::vector<int>{-7, -7}));
    EXPECT_EQ(ids({"--tone", "8:800:0:1000,-1500"}), (std::vector<int>{8}));
    EXPECT_EQ(ids({"--tone", "9:800:0:1500,1000"}), (std::vector<int>{9}));
    // Levels: -20 dBFS lies outside -50:-30 and inside -30:-10.
    EXPECT_EQ(ids({"--tone", "10:800:0:1000:-50:-30"}).size(), 0u);
    EXPECT_EQ(ids({"--tone", "10:800:0:1000:-30:-10"}).size(), 2u);
    const auto r = Vornix({"decode", "--tone", "8:800:0:1000,-1500", file});
    EXPECT_NE(r.out.find("Tone 8\n"), std::string::npos) << r.out;
}

}  // namespace
