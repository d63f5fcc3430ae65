// vornix plot on a recording of DTMF keys, a caller ID and a SIT written by vornix gen:
// the picture read back with cairo has its marks, spans and spectrum strip where decode
// --json reports the events, and nothing else in the lanes' mark bands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandRunner.h"
#include "PlotLayout.h"

#if VORNIX_WITH_CAIRO
#include <cairo.h>
#endif

namespace {

#if VORNIX_WITH_CAIRO

// A PNG as 0xRRGGBB pixels.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
};

Picture ReadPng(const std::string& path) {
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> s(cairo_image_surface_create_from_png(path.c_str()),
                                                                         cairo_surface_destroy);
    Picture p;
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) return p;
    p.width = cairo_image_surface_get_width(s.get());
    p.height = cairo_image_surface_get_height(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    const unsigned char* data = cairo_image_surface_get_data(s.get());
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) p.pixels.push_back(reinterpret_cast<const std::uint32_t*>(data + y * stride)[x]);
    return p;
}

int Channel(std::uint32_t c, int shift) {
    return static_cast<int>((c >> shift) & 0xFF);
}

// Faint grid lines and lane shading are background; a mark stands out.
bool Differs(std::uint32_t a, std::uint32_t b) {
    for (int shift : {0, 8, 16})
        if (std::abs(Channel(a, shift) - Channel(b, shift)) > 60) return true;
    return false;
}

int Brightness(std::uint32_t c) {
    return Channel(c, 0) + Channel(c, 8) + Channel(c, 16);
}

class PlotCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox && command -v soxi").exitCode != 0) GTEST_SKIP() << "sox is not installed";
        // Key 1 (697 + 1209 Hz) is at 0.3-0.4 s.
        for (const std::vector<std::string>& gen : std::vector<std::vector<std::string>>{
                 {"dtmf", "159", "--lead", "300", "-o", "a.wav"},
                 {"cid", "--number", "5551234567", "--lead", "300", "-o", "b.wav"},
                 {"sit", "RO", "--lead", "300", "-o", "c.wav"}}) {
            std::vector<std::string> args = {"gen"};
            args.insert(args.end(), gen.begin(), gen.end());
            ASSERT_EQ(run.Run(VORNIX_CLI_PATH, args).exitCode, 0);
        }
        ASSERT_EQ(run.Shell("sox a.wav b.wav c.wav in.wav").exitCode, 0);
        const auto samples = run.Shell("soxi -s in.wav");
        ASSERT_EQ(samples.exitCode, 0);
        duration = std::stod(samples.out) / 8000.0;
    }

    // Where each event decode reports lies in time, by the lane it belongs in: a point
    // (start and end the same) or a span (a detected frequency for its duration, a silence
    // from its start to its end).
    using Spans = std::vector<std::pair<double, double>>;
    std::map<std::string, Spans> DecodedEvents() const {
        const auto r = run.Run(VORNIX_CLI_PATH, {"decode", "--json", "--detect", kDetectors, "in.wav"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::map<std::string, std::string> lanes = {
            {"OnDTMF", "dtmf"},          {"OnCallerID", "cid"},         {"OnSIT", "sit"},
            {"OnSpectrumData", "spectrum"}, {"OnSilenceStart", "frequency"}, {"OnSilenceEnd", "frequency"},
            {"OnFrequencyDetected", "frequency"}};
        std::map<std::string, Spans> events;
        double silenceStart = 0.0;
        for (const std::string& line : r.OutLines()) {
            const auto e = nlohmann::json::parse(line);
            const std::string name = e["event"].get<std::string>();
            const double s = e["Seconds"].get<double>();
            if (name == "OnSilenceStart")
                silenceStart = s;
            else if (name == "OnSilenceEnd")
                events["frequency"].push_back({silenceStart, s});
            else if (name == "OnFrequencyDetected")
                events["frequency"].push_back({s, s + e["duration"].get<double>() / 1000});
            else
                events[lanes.at(name)].push_back({s, s});
        }
        return events;
    }

    // Every event inside the layout's stretch has a mark within two pixels (or over the
    // middle of its span) in its lane's mark band; every column further than four pixels
    // from the lane's events shows the lane's background there.
    static void ExpectMarks(const Picture& p, const PlotLayout& layout, int lane, const Spans& events) {
        const PlotLayout::Rect band = layout.MarkBand(lane);
        const int y = band.y + band.height / 2;
        // Below the band the lane holds nothing but its shading and the time grid.
        const auto marked = [&](int x) { return Differs(p.At(x, y), p.At(x, band.Bottom() + 1)); };
        Spans shown;
        for (const auto& [from, to] : events)
            if (to >= layout.From() && from <= layout.To()) shown.push_back({layout.XOf(from), layout.XOf(to)});
        for (const auto& [x0, x1] : shown) {
            const double x = std::clamp((x0 + x1) / 2, static_cast<double>(band.x), band.Right() - 1.0);
            bool found = false;
            for (int dx = -2; dx <= 2; ++dx) found = found || marked(static_cast<int>(x) + dx);
            EXPECT_TRUE(found) << "lane " << lane << ": no mark at x " << x;
        }
        for (int x = band.x; x < band.Right(); ++x) {
            bool near = false;
            for (const auto& [x0, x1] : shown) near = near || (x >= x0 - 4 && x <= x1 + 4);
            if (!near) {
                EXPECT_FALSE(marked(x)) << "lane " << lane << ": a mark at x " << x;
            }
        }
    }

    // The lanes come in the detector table's order.
    static constexpr const char* kDetectors = "dtmf,cid,sit,spectrum,frequency";
    static constexpr const char* kLanes[] = {"dtmf", "cid", "sit", "spectrum", "frequency"};

    CommandRunner run;
    double duration = 0.0;
};

TEST_F(PlotCommand, MarksEachLaneWhereDecodeReportsItsEventsAndTheSpectrogramShowsTheTones) {
    const auto events = DecodedEvents();
    for (const char* lane : kLanes) ASSERT_FALSE(events.count(lane) == 0) << lane;

    // The whole recording, and a stretch that leaves the caller ID and the SIT out.
    struct Case {
        std::vector<std::string> options;
        int width, spectrogramHeight;
        double from, to;
    };
    for (const Case& c : {Case{{}, 1600, 420, 0.0, duration},
                          Case{{"--width", "900", "--height-spectrogram", "200", "--from", "0.25", "--to", "0.9",
                                "--max-frequency", "2000"},
                               900, 200, 0.25, 0.9}}) {
        std::vector<std::string> args = {"plot", "in.wav", "-o", "out.png", "--detect", kDetectors};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = run.Run(VORNIX_CLI_PATH, args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Picture p = ReadPng(run.Path("out.png"));
        const double top = c.from == 0.0 ? 4000.0 : 2000.0;
        const PlotLayout layout(c.width, c.spectrogramHeight, std::size(kLanes), c.from, c.to, top);
        ASSERT_EQ(p.width, layout.Width());
        ASSERT_EQ(p.height, layout.Height());
        for (int lane = 0; lane < static_cast<int>(std::size(kLanes)); ++lane) ExpectMarks(p, layout, lane, events.at(kLanes[lane]));

        // Key 1 is loud at 697 Hz, not at 1900 Hz nor before it began; low notes at the bottom.
        const int key = static_cast<int>(layout.XOf(0.35)), before = static_cast<int>(layout.XOf(0.27));
        const int row697 = static_cast<int>(layout.YOf(697)), row1900 = static_cast<int>(layout.YOf(1900));
        EXPECT_GT(Brightness(p.At(key, row697)), 300);
        EXPECT_LT(Brightness(p.At(key, row1900)), 150);
        EXPECT_LT(Brightness(p.At(before, row697)), 150);
    }
}

TEST_F(PlotCommand, RefusesBadOptionsAndUnreadableFiles) {
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"in.wav"}, {"in.wav", "-o", "x.png", "--width", "10"}, {"in.wav", "-o", "x.png", "--from", "1", "--to", "0.5"},
             {"in.wav", "-o", "x.png", "--to", "0"}, {"in.wav", "-o", "x.png", "--detect", "nothing"},
             {"in.wav", "-o", "x.png", "--from", "nan"}}) {
        std::vector<std::string> args = {"plot"};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(run.Run(VORNIX_CLI_PATH, args).exitCode, 2) << options.back();
    }
    EXPECT_EQ(run.Run(VORNIX_CLI_PATH, {"plot", "missing.wav", "-o", "x.png"}).exitCode, 1);
    EXPECT_EQ(run.Run(VORNIX_CLI_PATH, {"plot", "in.wav", "-o", "x.png", "--from", "60"}).exitCode, 1);
    EXPECT_EQ(run.Run(VORNIX_CLI_PATH, {"plot", "in.wav", "-o", "no-folder/x.png"}).exitCode, 1);
}

#else

TEST(PlotCommand, SaysTheBuildHasNoPlotting) {
    CommandRunner run;
    const auto r = run.Run(VORNIX_CLI_PATH, {"plot", "in.wav", "-o", "x.png"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("built without cairo"), std::string::npos) << r.err;
}

#endif

}  // namespace
