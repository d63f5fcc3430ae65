#include "RecordingPlot.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "EventLanes.h"
#include "Spectrogram.h"

// cairo's text goes through fontconfig, which keeps its configuration for the life of the
// process and never frees it. A leak-checking build of the program would report that and
// fail every plot, so the checker is told to leave fontconfig's own allocations alone.
// Builds without the checker never call this.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

struct Colour {
    double r, g, b;
};

// A perceptual colour map from black through purple and orange to pale yellow, sixteen
// evenly spaced anchors interpolated: quiet reads dark, loud bright, and equal steps in
// dB look like equal steps in brightness.
constexpr std::array<std::uint32_t, 16> kColourMap = {
    0x000004, 0x0C0826, 0x240C4F, 0x420A68, 0x5D126E, 0x781C6D, 0x932667, 0xAE305C,
    0xC73E4C, 0xDD513A, 0xED6925, 0xF8850F, 0xFCA50A, 0xFAC62D, 0xF2E661, 0xFCFFA4,
};

// Lane colours, one per lane in turn, told apart at a glance on a light background.
constexpr std::array<std::uint32_t, 10> kLaneColours = {
    0x1F77B4, 0xD62728, 0x2CA02C, 0xFF7F0E, 0x9467BD, 0x8C564B, 0xE377C2, 0x17BECF, 0xBCBD22, 0x7F7F7F,
};

constexpr Colour kText = {0.13, 0.13, 0.15};
constexpr Colour kMuted = {0.42, 0.42, 0.46};
constexpr Colour kGrid = {0.90, 0.90, 0.91};
constexpr Colour kQuiet = {0.58, 0.58, 0.60};
const char* const kFont = "DejaVu Sans";

// Labels longer than this are cut, so one line of text does not hide a lane's other marks.
constexpr std::size_t kLabelChars = 40;

Colour FromHex(std::uint32_t rgb) {
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

// t from 0 (floor) to 1 (ceiling).
Colour MapColour(double t) {
    t = std::clamp(t, 0.0, 1.0) * (kColourMap.size() - 1);
    const std::size_t i = std::min(static_cast<std::size_t>(t), kColourMap.size() - 2);
    const double f = t - static_cast<double>(i);
    const Colour a = FromHex(kColourMap[i]), b = FromHex(kColourMap[i + 1]);
    return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f};
}

std::uint32_t Pixel(const Colour& c) {
    auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return 0xFF000000u | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

void SetColour(cairo_t* cr, const Colour& c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void Font(cairo_t* cr, double size, bool bold = false) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double TextWidth(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    return e.x_advance;
}

// Text with its left end (align 0), middle (0.5) or right end (1) at x.
void Text(cairo_t* cr, double x, double baseline, const std::string& text, double align = 0.0) {
    cairo_move_to(cr, x - align * TextWidth(cr, text), baseline);
    cairo_show_text(cr, text.c_str());
}

// At most kLabelChars characters, cut between whole UTF-8 sequences.
std::string Shortened(const std::string& label) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < label.size(); ++i) {
        if ((static_cast<unsigned char>(label[i]) & 0xC0) == 0x80) continue;
        if (++chars > kLabelChars) return label.substr(0, i) + "\u2026";
    }
    return label;
}

// A step of 1, 2 or 5 times a power of ten that cuts range into about count parts.
double NiceStep(double range, double count) {
    const double raw = range / std::max(count, 1.0);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * magnitude >= raw * 0.999) return m * magnitude;
    return 10.0 * magnitude;
}

// Digits after the point that a tick step needs.
int Decimals(double step) {
    return step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
}

// Zero without decimals: "0", not "0.0".
std::string Number(double value, int decimals) {
    if (std::fabs(value) < 1e-12) return "0";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

struct Ticks {
    std::vector<double> seconds;
    int decimals;
};

// Round moments about every 110 pixels across the layout's stretch of time.
Ticks TimeTicks(const PlotLayout& layout) {
    const double from = layout.From(), to = layout.To();
    const double step = NiceStep(to - from, layout.Spectrogram().width / 110.0);
    Ticks ticks{{}, Decimals(step)};
    for (double k = std::ceil(from / step - 1e-9); k * step <= to + step * 1e-9; ++k) ticks.seconds.push_back(k * step);
    return ticks;
}

}  // namespace

RecordingPlot::RecordingPlot(const PlotLayout& layout, const Spectrogram& spectrogram, const EventLanes& lanes)
    : m_layout(layout), m_spectrogram(spectrogram), m_lanes(lanes) {}

void RecordingPlot::Title(std::string title, std::string subtitle) {
    m_title = std::move(title);
    m_subtitle = std::move(subtitle);
}

bool RecordingPlot::WritePng(const std::string& path, std::string& error) const {
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, m_layout.Width(), m_layout.Height()), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(cairo_surface_status(surface.get()));
        return false;
    }
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    DrawTitle(cr.get());
    DrawSpectrogram(cr.get());
    DrawFrequencyAxis(cr.get());
    DrawColourBar(cr.get());
    const int lanes = static_cast<int>(m_lanes.Lanes().size());
    for (int i = 0; i < lanes; ++i) DrawLaneBackground(cr.get(), i);
    DrawTimeGrid(cr.get());
    for (int i = 0; i < lanes; ++i) DrawLane(cr.get(), i);
    DrawTimeAxis(cr.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(cairo_status(cr.get()));
        return false;
    }
    cairo_surface_flush(surface.get());
    const cairo_status_t written = cairo_surface_write_to_png(surface.get(), path.c_str());
    if (written != CAIRO_STATUS_SUCCESS) {
        error = std::string("writing the picture failed: ") + cairo_status_to_string(written);
        return false;
    }
    return true;
}

void RecordingPlot::DrawTitle(cairo_t* cr) const {
    const PlotLayout::Rect s = m_layout.Spectrogram();
    SetColour(cr, kText);
    Font(cr, 17, true);
    Text(cr, s.x, 26, m_title);
    SetColour(cr, kMuted);
    Font(cr, 12);
    Text(cr, s.x, 46, m_subtitle);
}

void RecordingPlot::DrawSpectrogram(cairo_t* cr) const {
    const PlotLayout::Rect s = m_layout.Spectrogram();
    const int columns = std::min(s.width, m_spectrogram.Columns());
    if (columns <= 0 || s.height <= 0) return;
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> image(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, columns, s.height), cairo_surface_destroy);
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) return;
    cairo_surface_flush(image.get());
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());

    // Each row shows the loudest bin of its frequency band; where rows are finer than
    // bins, the level between the two nearest bins.
    struct Row {
        int firstBin, lastBin;  // lastBin < firstBin: interpolate
        int below;
        double fraction;
    };
    const double binHz = m_spectrogram.BinHz();
    const int bins = m_spectrogram.Bins();
    std::vector<Row> rows(static_cast<std::size_t>(s.height));
    for (int y = 0; y < s.height; ++y) {
        const double high = m_layout.MaxFrequency() * (s.height - y) / s.height;
        const double low = m_layout.MaxFrequency() * (s.height - y - 1) / s.height;
        Row& row = rows[static_cast<std::size_t>(y)];
        row.firstBin = static_cast<int>(std::ceil(low / binHz));
        row.lastBin = std::min(static_cast<int>(std::ceil(high / binHz)) - 1, bins - 1);
        const double at = std::min((low + high) / 2 / binHz, bins - 1.0);
        row.below = std::min(static_cast<int>(at), bins - 2);
        row.fraction = at - row.below;
    }
    const double range = Spectrogram::kCeilingDb - Spectrogram::kFloorDb;
    for (int x = 0; x < columns; ++x) {
        const std::span<const float> levels = m_spectrogram.Column(x);
        for (int y = 0; y < s.height; ++y) {
            const Row& row = rows[static_cast<std::size_t>(y)];
            double db;
            if (row.lastBin >= row.firstBin) {
                db = levels[static_cast<std::size_t>(row.firstBin)];
                for (int k = row.firstBin + 1; k <= row.lastBin; ++k) db = std::max<double>(db, levels[static_cast<std::size_t>(k)]);
            } else {
                db = levels[static_cast<std::size_t>(row.below)] * (1 - row.fraction) +
                     levels[static_cast<std::size_t>(row.below + 1)] * row.fraction;
            }
            auto* pixel = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride) + x;
            *pixel = Pixel(MapColour((db - Spectrogram::kFloorDb) / range));
        }
    }
    cairo_surface_mark_dirty(image.get());
    cairo_set_source_surface(cr, image.get(), s.x, s.y);
    cairo_paint(cr);
    cairo_set_line_width(cr, 1);
    SetColour(cr, kMuted);
    cairo_rectangle(cr, s.x - 0.5, s.y - 0.5, s.width + 1, s.height + 1);
    cairo_stroke(cr);
}

void RecordingPlot::DrawFrequencyAxis(cairo_t* cr) const {
    const PlotLayout::Rect s = m_layout.Spectrogram();
    const double top = m_layout.MaxFrequency();
    const bool kilohertz = top >= 2000;
    const double unit = kilohertz ? 1000.0 : 1.0;
    const double step = NiceStep(top / unit, s.height / 45.0) * unit;
    const int decimals = Decimals(step / unit);
    Font(cr, 11);
    cairo_set_line_width(cr, 1);
    for (int k = 0; k * step <= top * (1 + 1e-9); ++k) {
        const double f = k * step;
        const double y = std::round(m_layout.YOf(f)) - 0.5;
        SetColour(cr, kMuted);
        cairo_move_to(cr, s.x - 5, y);
        cairo_line_to(cr, s.x, y);
        cairo_stroke(cr);
        SetColour(cr, kText);
        Text(cr, s.x - 8, y + 4, Number(f / unit, decimals) + (kilohertz ? " kHz" : " Hz"), 1.0);
    }
}

void RecordingPlot::DrawColourBar(cairo_t* cr) const {
    const PlotLayout::Rect bar = m_layout.ColourBar();
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, bar.Bottom(), 0, bar.y);
    for (int i = 0; i <= 32; ++i) {
        const Colour c = MapColour(i / 32.0);
        cairo_pattern_add_color_stop_rgb(gradient, i / 32.0, c.r, c.g, c.b);
    }
    cairo_rectangle(cr, bar.x, bar.y, bar.width, bar.height);
    cairo_set_source(cr, gradient);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
    SetColour(cr, kMuted);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, bar.x - 0.5, bar.y - 0.5, bar.width + 1, bar.height + 1);
    cairo_stroke(cr);
    Font(cr, 11);
    const double range = Spectrogram::kCeilingDb - Spectrogram::kFloorDb;
    for (double db = Spectrogram::kFloorDb; db <= Spectrogram::kCeilingDb; db += 20) {
        const double y = std::round(bar.Bottom() - (db - Spectrogram::kFloorDb) / range * bar.height) - 0.5;
        SetColour(cr, kMuted);
        cairo_move_to(cr, bar.Right(), y);
        cairo_line_to(cr, bar.Right() + 4, y);
        cairo_stroke(cr);
        SetColour(cr, kText);
        Text(cr, bar.Right() + 7, y + 4, Number(db, 0));
    }
    Font(cr, 11, true);
    Text(cr, bar.x + bar.width / 2.0, bar.y - 8, "dBFS", 0.5);
}

void RecordingPlot::DrawLaneBackground(cairo_t* cr, int index) const {
    const PlotLayout::Rect area = m_layout.Lane(index);
    // Every other lane faintly shaded, so a long lane is easy to follow across.
    const double shade = index % 2 ? 0.965 : 1.0;
    cairo_set_source_rgb(cr, shade, shade, shade + (1 - shade) / 3);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_fill(cr);
    SetColour(cr, kGrid);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, 0, area.Bottom() - 0.5);
    cairo_line_to(cr, m_layout.Width(), area.Bottom() - 0.5);
    cairo_stroke(cr);
}

void RecordingPlot::DrawLane(cairo_t* cr, int index) const {
    const EventLanes::Lane& lane = m_lanes.Lanes()[static_cast<std::size_t>(index)];
    const PlotLayout::Rect area = m_layout.Lane(index);
    const PlotLayout::Rect band = m_layout.MarkBand(index);
    const Colour colour = FromHex(kLaneColours[static_cast<std::size_t>(index) % kLaneColours.size()]);

    // The lane's name and how many events it holds, left of the lane.
    std::size_t events = lane.marks.size() + static_cast<std::size_t>(lane.untimed);
    SetColour(cr, colour);
    cairo_rectangle(cr, 10, area.y + 10, 4, area.height - 20);
    cairo_fill(cr);
    SetColour(cr, kText);
    Font(cr, 13, true);
    Text(cr, 20, area.y + area.height / 2.0 - 1, lane.name);
    SetColour(cr, kMuted);
    Font(cr, 10);
    Text(cr, 20, area.y + area.height / 2.0 + 13, std::to_string(events) + (events == 1 ? " event" : " events"));

    cairo_save(cr);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_clip(cr);
    Font(cr, 11);
    const double from = m_layout.From(), to = m_layout.To();
    if (lane.style == EventLanes::Style::kDensity) {
        // Reports per pixel column, the busiest column fully coloured.
        std::vector<int> counts(static_cast<std::size_t>(area.width), 0);
        for (const EventLanes::Mark& m : lane.marks) {
            const int x = static_cast<int>(std::floor(m_layout.XOf(m.seconds))) - area.x;
            if (x >= 0 && x < area.width) ++counts[static_cast<std::size_t>(x)];
        }
        const int most = *std::max_element(counts.begin(), counts.end());
        for (int x = 0; x < area.width; ++x) {
            const int n = counts[static_cast<std::size_t>(x)];
            if (n == 0) continue;
            SetColour(cr, colour, 0.5 + 0.5 * n / most);
            cairo_rectangle(cr, area.x + x, band.y, 1, band.height);
            cairo_fill(cr);
        }
    }
    // Labels take the first text row where they clear the one before them.
    std::array<double, PlotLayout::kLabelRows> rowEnd;
    rowEnd.fill(-1e9);
    auto place = [&](double x, const std::string& label) {
        if (label.empty()) return;
        const std::string text = Shortened(label);
        const double width = TextWidth(cr, text);
        // Near the right edge a label goes left of its mark.
        const double start = x + 3 + width > area.Right() - 2 ? x - 3 - width : x + 3;
        for (int row = 0; row < PlotLayout::kLabelRows; ++row) {
            if (start < rowEnd[static_cast<std::size_t>(row)] + 6) continue;
            SetColour(cr, kText);
            Text(cr, start, m_layout.LabelBaseline(index, row), text);
            rowEnd[static_cast<std::size_t>(row)] = start + width;
            return;
        }
    };
    if (lane.style == EventLanes::Style::kPoints) {
        // Silences first, so the tones found in the same lane are drawn over them.
        for (bool quiet : {true, false})
            for (const EventLanes::Mark& m : lane.marks) {
                if (m.quiet != quiet || m.endSeconds < from || m.seconds > to) continue;
                const double x0 = m_layout.XOf(m.seconds);
                if (m.endSeconds > m.seconds) {
                    const double x1 = std::max(m_layout.XOf(m.endSeconds), x0 + 2);
                    SetColour(cr, quiet ? kQuiet : colour, quiet ? 0.8 : 0.85);
                    cairo_rectangle(cr, x0, band.y + (quiet ? 3 : 0), x1 - x0, band.height - (quiet ? 6 : 0));
                    cairo_fill(cr);
                    if (!quiet) place(std::max(x0, static_cast<double>(area.x)), m.label);
                    continue;
                }
                const double x = std::floor(x0) + 0.5;
                SetColour(cr, colour, 0.45);
                cairo_set_line_width(cr, 1);
                cairo_move_to(cr, x, area.y + 2);
                cairo_line_to(cr, x, band.y);
                cairo_stroke(cr);
                SetColour(cr, colour);
                cairo_rectangle(cr, x - 1.5, band.y, 3, band.height);
                cairo_fill(cr);
                place(x, m.label);
            }
    }
    if (lane.untimed > 0) {
        SetColour(cr, kMuted);
        Text(cr, area.x + 4, m_layout.LabelBaseline(index, 0), std::to_string(lane.untimed) + " without a time");
    }
    cairo_restore(cr);
}

void RecordingPlot::DrawTimeGrid(cairo_t* cr) const {
    cairo_set_line_width(cr, 1);
    SetColour(cr, kGrid);
    const int lanesTop = m_layout.Lane(0).y;
    for (double t : TimeTicks(m_layout).seconds) {
        const double x = std::round(m_layout.XOf(t)) + 0.5;
        cairo_move_to(cr, x, lanesTop);
        cairo_line_to(cr, x, m_layout.TimeAxisY());
    }
    cairo_stroke(cr);
}

void RecordingPlot::DrawTimeAxis(cairo_t* cr) const {
    const PlotLayout::Rect s = m_layout.Spectrogram();
    const int axis = m_layout.TimeAxisY();
    const Ticks ticks = TimeTicks(m_layout);
    Font(cr, 11);
    cairo_set_line_width(cr, 1);
    for (double t : ticks.seconds) {
        const double x = std::round(m_layout.XOf(t)) + 0.5;
        // Ticks under the spectrogram and on the axis.
        SetColour(cr, kMuted);
        cairo_move_to(cr, x, s.Bottom());
        cairo_line_to(cr, x, s.Bottom() + 5);
        cairo_move_to(cr, x, axis);
        cairo_line_to(cr, x, axis + 5);
        cairo_stroke(cr);
        SetColour(cr, kText);
        Text(cr, x, axis + 18, Number(t, ticks.decimals), 0.5);
    }
    SetColour(cr, kMuted);
    cairo_move_to(cr, s.x, axis + 0.5);
    cairo_line_to(cr, s.Right(), axis + 0.5);
    cairo_stroke(cr);
    Font(cr, 11, true);
    SetColour(cr, kText);
    Text(cr, s.x + s.width / 2.0, axis + 38, "time (s)", 0.5);
}
