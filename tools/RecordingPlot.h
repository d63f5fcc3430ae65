#pragma once

#include <string>

#include "PlotLayout.h"

class EventLanes;
class Spectrogram;
struct _cairo;

// Draws the picture of a recording (vornix plot) with cairo and writes it as PNG: the
// title, the spectrogram in a perceptual colour map with its frequency axis and dB colour
// bar, a lane per detector with each event marked at its time and labelled, and the time
// axis. Labels that would run into the one before them in every text row of their lane
// are left out; the mark stays.
class RecordingPlot {
public:
    // The spectrogram has one column per pixel of the layout's spectrogram width; the
    // lanes are as many as the layout's.
    RecordingPlot(const PlotLayout& layout, const Spectrogram& spectrogram, const EventLanes& lanes);

    void Title(std::string title, std::string subtitle);
    // False, with the reason in error, when cairo cannot draw or write the file.
    bool WritePng(const std::string& path, std::string& error) const;

private:
    void DrawTitle(_cairo* cr) const;
    void DrawSpectrogram(_cairo* cr) const;
    void DrawFrequencyAxis(_cairo* cr) const;
    void DrawColourBar(_cairo* cr) const;
    void DrawLaneBackground(_cairo* cr, int index) const;
    // Faint lines through the lanes at the time axis's ticks, under the marks.
    void DrawTimeGrid(_cairo* cr) const;
    void DrawLane(_cairo* cr, int index) const;
    void DrawTimeAxis(_cairo* cr) const;

    const PlotLayout& m_layout;
    const Spectrogram& m_spectrogram;
    const EventLanes& m_lanes;
    std::string m_title;
    std::string m_subtitle;
};
