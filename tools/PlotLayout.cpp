#include "PlotLayout.h"

namespace {

// Room for the frequency labels and the lanes' names on the left, the colour bar and its
// labels on the right, the title above and the time axis below.
constexpr int kLeft = 120;
constexpr int kRight = 100;
constexpr int kTop = 64;
constexpr int kLanesGap = 14;
constexpr int kBottom = 52;
constexpr int kColourBarGap = 22;
constexpr int kColourBarWidth = 16;
constexpr int kLabelRowHeight = 14;
constexpr int kMarkBandHeight = 12;

}  // namespace

PlotLayout::PlotLayout(int width, int spectrogramHeight, int lanes, double fromSeconds, double toSeconds, double maxFrequency)
    : m_width(width), m_spectrogramHeight(spectrogramHeight), m_lanes(lanes), m_from(fromSeconds), m_to(toSeconds),
      m_maxFrequency(maxFrequency) {}

int PlotLayout::Height() const {
    return TimeAxisY() + kBottom;
}

PlotLayout::Rect PlotLayout::Spectrogram() const {
    return {kLeft, kTop, m_width - kLeft - kRight, m_spectrogramHeight};
}

PlotLayout::Rect PlotLayout::ColourBar() const {
    const Rect s = Spectrogram();
    return {s.Right() + kColourBarGap, s.y, kColourBarWidth, s.height};
}

PlotLayout::Rect PlotLayout::Lane(int lane) const {
    const Rect s = Spectrogram();
    return {s.x, s.Bottom() + kLanesGap + lane * kLaneHeight, s.width, kLaneHeight};
}

PlotLayout::Rect PlotLayout::MarkBand(int lane) const {
    const Rect l = Lane(lane);
    return {l.x, l.Bottom() - kMarkBandHeight - 4, l.width, kMarkBandHeight};
}

int PlotLayout::LabelBaseline(int lane, int row) const {
    return Lane(lane).y + (row + 1) * kLabelRowHeight;
}

int PlotLayout::TimeAxisY() const {
    return Lane(m_lanes).y;
}

double PlotLayout::XOf(double seconds) const {
    const Rect s = Spectrogram();
    return s.x + (seconds - m_from) / (m_to - m_from) * s.width;
}

double PlotLayout::SecondsAt(double x) const {
    const Rect s = Spectrogram();
    return m_from + (x - s.x) / s.width * (m_to - m_from);
}

double PlotLayout::YOf(double hz) const {
    const Rect s = Spectrogram();
    return s.Bottom() - hz / m_maxFrequency * s.height;
}
