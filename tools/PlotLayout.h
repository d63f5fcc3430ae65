#pragma once

// Where each part of a recording's picture (vornix plot) goes, in pixels from the top
// left: the title, the spectrogram with its frequency axis and dB colour bar, one lane per
// detector below it, and the time axis under the lanes. Time runs across the spectrogram
// and the lanes alike, so a mark sits under the sound it reports. The drawing places
// everything by it and the command's tests find the marks by it.
class PlotLayout {
public:
    struct Rect {
        int x = 0, y = 0, width = 0, height = 0;
        int Right() const { return x + width; }
        int Bottom() const { return y + height; }
    };

    static constexpr int kLaneHeight = 48;
    // Text rows of a lane's labels, above its mark band.
    static constexpr int kLabelRows = 2;

    // fromSeconds < toSeconds; maxFrequency > 0 is the top of the spectrogram.
    PlotLayout(int width, int spectrogramHeight, int lanes, double fromSeconds, double toSeconds, double maxFrequency);

    int Width() const { return m_width; }
    int Height() const;
    double From() const { return m_from; }
    double To() const { return m_to; }
    double MaxFrequency() const { return m_maxFrequency; }

    Rect Spectrogram() const;
    Rect ColourBar() const;
    Rect Lane(int lane) const;
    // The lane's strip below its labels where marks, spans and densities are drawn and
    // nothing else.
    Rect MarkBand(int lane) const;
    // Baseline of a lane's label row (0 at the top).
    int LabelBaseline(int lane, int row) const;
    // The line the time axis hangs its ticks from.
    int TimeAxisY() const;

    // The column of a moment (not rounded; outside the plot for moments outside it).
    double XOf(double seconds) const;
    double SecondsAt(double x) const;
    // The row of a frequency, 0 Hz at the spectrogram's bottom edge.
    double YOf(double hz) const;

private:
    int m_width;
    int m_spectrogramHeight;
    int m_lanes;
    double m_from;
    double m_to;
    double m_maxFrequency;
};
