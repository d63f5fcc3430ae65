// vornix plot on a recording of DTMF keys, a caller ID and a SIT written by vornix gen:
// the picture read back with cairo has its marks where decode --json reports the events,
// and nothing else in the lanes' mark bands.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
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

    // Seconds of every event decode reports, by the lane it belongs in.
    std::map<std::string, std::vector<double>> DecodedEvents() const {
        const auto r = run.Run(VORNIX_CLI_PATH, {"decode", "--json", "--detect", "dtmf,cid,sit", "in.wav"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::map<std::string, std::string> lanes = {{"OnDTMF", "dtmf"}, {"OnCallerID", "cid"}, {"OnSIT", "sit"}};
        std::map<std::string, std::vector<double>> events;
        for (const std::string& line : r.OutLines()) {
            const auto e = nlohmann::json::parse(line);
            events[lanes.at(e["event"].get<std::string>())].push_back(e["Seconds"].get<double>());
        }
        return events;
    }

    // Every event inside the layout's stretch has a mark within two pixels in its lane's
    // mark band; every column further than four pixels from the lane's events is the
    // band's background.
    static void ExpectMarks(const Picture& p, const PlotLayout& layout, int lane, const std::vector<double>& seconds) {
        const PlotLayout::Rect band = layout.MarkBand(lane);
        const int y = band.y + band.height / 2;
        std::map<std::uint32_t, int> counts;
        for (int x = band.x; x < band.Right(); ++x) ++counts[p.At(x, y)];
        std::uint32_t background = 0;
        int most = 0;
        for (const auto& [colour, n] : counts)
            if (n > most) background = colour, most = n;
        std::vector<double> shown;
        for (double s : seconds)
            if (s >= layout.From() && s <= layout.To()) shown.push_back(layout.XOf(s));
        for (double x : shown) {
            bool marked = false;
            for (int dx = -2; dx <= 2; ++dx) marked = marked || Differs(p.At(static_cast<int>(x) + dx, y), background);
            EXPECT_TRUE(marked) << "lane " << lane << ": no mark at x " << x;
        }
        for (int x = band.x; x < band.Right(); ++x) {
            bool near = false;
            for (double m : shown) near = near || std::fabs(x - m) <= 4;
            if (!near) {
                EXPECT_FALSE(Differs(p.At(x, y), background)) << "lane " << lane << ": a mark at x " << x;
            }
        }
    }

    CommandRunner run;
    double duration = 0.0;
};

TEST_F(PlotCommand, MarksEachLaneWhereDecodeReportsItsEventsAndTheSpectrogramShowsTheTones) {
    const auto events = DecodedEvents();
    for (const char* lane : {"dtmf", "cid", "sit"}) ASSERT_FALSE(events.count(lane) == 0) << lane;

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
        std::vector<std::string> args = {"plot", "in.wav", "-o", "out.png", "--detect", "dtmf,cid,sit"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = run.Run(VORNIX_CLI_PATH, args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Picture p = ReadPng(run.Path("out.png"));
        const double top = c.from == 0.0 ? 4000.0 : 2000.0;
        const PlotLayout layout(c.width, c.spectrogramHeight, 3, c.from, c.to, top);
        ASSERT_EQ(p.width, layout.Width());
        ASSERT_EQ(p.height, layout.Height());
        ExpectMarks(p, layout, 0, events.at("dtmf"));
        ExpectMarks(p, layout, 1, events.at("cid"));
        ExpectMarks(p, layout, 2, events.at("sit"));

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
