// The command's tone detectors (MF, paging, information tones, custom tones) on
// recordings summed from sines here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandRunner.h"

namespace {

// ms of the sum of these frequencies, each at a peak level in dBFS; silence without any.
struct Segment {
    double ms;
    std::vector<double> hz;
    double dbfs = -10.0;
};
using Signal = std::vector<Segment>;

// Raw 16-bit mono PCM at 8 kHz, the format the command reads a .raw file in by default.
void WritePcm(const std::string& path, const Signal& signal) {
    std::vector<std::int16_t> pcm;
    for (const Segment& s : signal)
        for (int i = 0; i < static_cast<int>(s.ms * 8); ++i) {
            double x = 0.0;
            for (double f : s.hz) x += std::pow(10.0, s.dbfs / 20) * std::sin(2 * M_PI * f * pcm.size() / 8000.0);
            pcm.push_back(static_cast<std::int16_t>(std::lround(x * 32767)));
        }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2);
}

// Each key ms long and followed by gapMs of silence, after 200 ms and before 400 ms of it.
Signal Keys(const std::vector<std::vector<double>>& keys, double ms, double gapMs) {
    Signal s = {{200, {}}};
    for (const auto& key : keys) s.insert(s.end(), {{ms, key}, {gapMs, {}}});
    s.push_back({400, {}});
    return s;
}

class TonesCommand : public ::testing::Test {
protected:
    // The JSON events of one decode of signal, which must succeed.
    std::vector<nlohmann::json> Events(const Signal& signal, std::vector<std::string> options) const {
        WritePcm(run.Path("in.raw"), signal);
        options.insert(options.begin(), {"decode", "--json"});
        options.push_back(run.Path("in.raw"));
        const auto r = run.Run(VORNIX_CLI_PATH, options);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<nlohmann::json> events;
        for (const std::string& line : r.OutLines()) events.push_back(nlohmann::json::parse(line));
        return events;
    }

    // One member of every event of this name, joined.
    static std::string Members(const std::vector<nlohmann::json>& events, const char* event, const char* member) {
        std::string joined;
        for (const auto& e : events)
            if (e["event"] == event) joined += e[member].is_string() ? e[member].get<std::string>() : e[member].dump() + " ";
        return joined;
    }

    CommandRunner run;
};

TEST_F(TonesCommand, MalformedOrRepeatedTonesAndPagingSettingsAreUsageErrors) {
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"--tone", "engaged"}, {"--tone", "5:500:500"}, {"--tone", "5:500:500:480:-40"},
             {"--tone", "5.5:500:500:480"}, {"--tone", "5:500:500:1,2,3,4,5"}, {"--tone", "5:5:500:480"},
             {"--tone", "5:500:500:480:-10:-20"}, {"--tone", "1000002:500:500:480"},
             {"--tone", "5:500:500:480", "--tone", "5:900:0:620"}, {"--tone", "busy", "--tone", "busy"},
             {"--paging-type", "POCSAG"}, {"--min-amp-db", "0"}, {"--tone-blocks", "fine"}}) {
        std::vector<std::string> args = {"decode"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("missing.wav");  // status 1 unless refused while parsing
        const auto r = run.Run(VORNIX_CLI_PATH, args);
        EXPECT_EQ(r.exitCode, 2) << options.back();
        EXPECT_NE(r.err.find(options[options.size() - 2]), std::string::npos) << r.err;
    }
}

TEST_F(TonesCommand, EachDetectorByNameAndWithAll) {
    const Signal mf = Keys({{1100, 1700}, {700, 900}, {700, 1100}, {900, 1100}, {1500, 1700}}, 68, 68);
    const Signal ccir = Keys({{1124}, {1197}, {1275}, {1358}, {1446}}, 100, 0);
    const Signal sit = {{200, {}}, {276, {913}, -20}, {276, {1370}, -20}, {380, {1776}, -20}, {600, {}}};
    struct Case {
        std::string detect;
        const Signal& signal;
        std::vector<std::string> options;
        const char* event;
        const char* member;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{
             {"mf", mf, {}, "OnMF", "RecvChar", "*123#"},
             {"paging", ccir, {"--paging-type", "ccir"}, "OnPaging", "RecvChar", "12345"},
             {"paging", ccir, {"--paging-type", "CCIR", "--min-amp-db", "-4"}, "OnPaging", "RecvChar", ""},
             {"sit", sit, {}, "OnSIT", "SITName", "Intercept"}}) {
        for (const std::string& detect : {c.detect, std::string("all")}) {
            std::vector<std::string> options = {"--detect", detect};
            options.insert(options.end(), c.options.begin(), c.options.end());
            const auto events = Events(c.signal, options);
            EXPECT_EQ(Members(events, c.event, c.member), c.expected) << detect << " " << c.event;
            if (detect == "all") continue;
            for (const auto& e : events) EXPECT_EQ(e["event"], c.event) << "only the chosen detector reports";
        }
    }
}

TEST_F(TonesCommand, RingbackOncePerCycleAndNotTakenForTheOtherBuiltIns) {
    // At -10 dBFS ringback's 480 Hz leaks into busy's 620 Hz resonator, and its 440 Hz into
    // dial tone's 350 Hz one, above their minimum level.
    const Signal ringback = {{500, {}}, {2000, {440, 480}}, {4000, {}}, {2000, {440, 480}}, {4000, {}}};
    // "tones" alone watches every built-in; --tone needs no --detect.
    for (const auto& options : {std::vector<std::string>{"--detect", "tones"},
                                std::vector<std::string>{"--tone", "ringback", "--tone", "busy", "--tone", "dial"}}) {
        const auto events = Events(ringback, options);
        EXPECT_EQ(Members(events, "OnToneDetected", "AppSpecific"), "1000002 1000002 ");
        // Each after its cycle's on- and off-time.
        for (std::size_t i = 0; i < events.size(); ++i)
            EXPECT_NEAR(events[i]["Seconds"].get<double>(), 6.0 * i + 6.0, 0.5);
    }
    const auto line = run.Run(VORNIX_CLI_PATH, {"decode", "--tone", "ringback", run.Path("in.raw")});
    EXPECT_NE(line.out.find("  Tone ringback (id 1000002)\n"), std::string::npos) << line.out;
}

TEST_F(TonesCommand, UserTonesCarryTheirIdAbsentFrequenciesAndLevels) {
    // 1 s of 1000 Hz, then 1 s of 1000 + 1500 Hz, at -20 dBFS. A steady tone with off-time 0
    // is reported every on-time while present.
    const Signal s = {{200, {}}, {1000, {1000}, -20}, {1000, {1000, 1500}, -20}, {300, {}}};
    auto ids = [&](const std::string& tone) { return Members(Events(s, {"--tone", tone}), "OnToneDetected", "AppSpecific"); };
    EXPECT_EQ(ids("-7:800:0:1000"), "-7 -7 ");
    EXPECT_EQ(ids("8:800:0:1000,-1500"), "8 ");
    EXPECT_EQ(ids("10:800:0:1000:-50:-30"), "");
    EXPECT_EQ(ids("10:800:0:1000:-30:-10"), "10 10 ");
}

}  // namespace
