#include "HelpDefaults.h"

#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include <CLI/CLI.hpp>

#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

using Reader = std::function<std::string(PhoneVornix&)>;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The names the options take for the library's enumerations.
std::string PagingName(PAGING_TYPE t) {
    static const char* const kNames[] = {"EIA", "CCIR", "ZVEI1", "ZVEI2", "ZVEI3", "PZVEI", "EEA"};
    return t >= 0 && t < 7 ? kNames[t] : Number(t);
}
std::string TtyRateName(TTY_RATE r) {
    static const char* const kNames[] = {"45.45", "50", "56.92", "74.2", "100", "110"};
    return r >= 0 && r < 6 ? kNames[r] : Number(r);
}
std::string TtyModeName(TTY_MODE m) {
    static const char* const kNames[] = {"baudot", "ascii7", "ascii8", "baudot-3", "baudot-4"};
    return m >= 0 && m < 5 ? kNames[m] : Number(m);
}
std::string StopBitsName(STOPBITS_TYPE s) {
    static const char* const kNames[] = {"0", "1", "1.5", "2"};
    return s >= 0 && s < 4 ? kNames[s] : Number(s);
}
std::string ParityName(PARITY_TYPE p) {
    static const char* const kNames[] = {"none", "odd", "even", "mark", "space"};
    return p >= 0 && p < 5 ? kNames[p] : Number(p);
}
std::string LevelName(FSK_LEVEL l) {
    return l == FSK_MARK ? "mark" : "space";
}
std::string WindowName(FFT_WINDOW_TYPE w) {
    static const char* const kNames[] = {"rectangle", "hamming", "blackman", "triangle", "hanning", "none"};
    return w >= 0 && w < 6 ? kNames[w] : Number(w);
}

const std::map<std::string, Reader>& Readers() {
    static const std::map<std::string, Reader> readers = {
        {"channel", [](PhoneVornix& c) { return std::string(c.DecodeChannel() == RIGHT_CHANNEL ? "right" : "left"); }},
        {"silence-threshold", [](PhoneVornix& c) { return Number(c.SilenceThreshold()); }},
        {"min-duration", [](PhoneVornix& c) { return Number(c.DTMFParams().minDuration()); }},
        {"min-interval", [](PhoneVornix& c) { return Number(c.DTMFParams().minIntervalDuration()); }},
        {"sensitive", [](PhoneVornix& c) { return Number(c.DTMFParams().Sensitive()); }},
        {"energy-threshold", [](PhoneVornix& c) { return Number(c.DTMFParams().EnergyThreshold()); }},
        {"normal-twist", [](PhoneVornix& c) { return Number(c.DTMFParams().Normal_twist()); }},
        {"reverse-twist", [](PhoneVornix& c) { return Number(c.DTMFParams().Reverse_twist()); }},
        {"harmonic-row", [](PhoneVornix& c) { return Number(c.DTMFParams().Harmonic2nd_row()); }},
        {"harmonic-col", [](PhoneVornix& c) { return Number(c.DTMFParams().Harmonic2nd_col()); }},
        {"relative-peak-test", [](PhoneVornix& c) { return std::string(c.DTMFParams().RelativePeakTest() ? "on" : "off"); }},
        {"mark-freq", [](PhoneVornix& c) { return Number(c.FSKParams().MarkFreq()); }},
        {"space-freq", [](PhoneVornix& c) { return Number(c.FSKParams().SpaceFreq()); }},
        {"baud-rate", [](PhoneVornix& c) { return Number(c.FSKParams().BaudRate()); }},
        {"fsk-mark", [](PhoneVornix& c) { return Number(c.FSKParams().MarkFreq()); }},
        {"fsk-space", [](PhoneVornix& c) { return Number(c.FSKParams().SpaceFreq()); }},
        {"fsk-baud", [](PhoneVornix& c) { return Number(c.FSKParams().BaudRate()); }},
        {"fsk-data-bits", [](PhoneVornix& c) { return Number(c.FSKParams().DataBits()); }},
        {"fsk-parity", [](PhoneVornix& c) { return ParityName(c.FSKParams().Parity()); }},
        {"fsk-stop-bits", [](PhoneVornix& c) { return StopBitsName(c.FSKParams().StopBits()); }},
        {"fsk-start-tone", [](PhoneVornix& c) { return LevelName(c.FSKParams().StartBitTone()); }},
        {"fsk-stop-tone", [](PhoneVornix& c) { return LevelName(c.FSKParams().StopBitTone()); }},
        {"fsk-framing",
         [](PhoneVornix& c) {
             const CFSKParams& f = c.FSKParams();
             return Number(f.DataBits()) + static_cast<char>(std::toupper(ParityName(f.Parity())[0])) +
                    StopBitsName(f.StopBits());
         }},
        {"paging-type", [](PhoneVornix& c) { return PagingName(c.TonePagingParams().PagingType()); }},
        {"min-amp-db", [](PhoneVornix& c) { return Number(c.TonePagingParams().MinAmpdB()); }},
        {"min-gap-duration", [](PhoneVornix& c) { return Number(c.TonePagingParams().minGapDuration()); }},
        {"tty-rate", [](PhoneVornix& c) { return TtyRateName(c.TTYParams().Rate()); }},
        {"tty-mode", [](PhoneVornix& c) { return TtyModeName(c.TTYParams().Mode()); }},
        {"tty-mark", [](PhoneVornix& c) { return Number(c.TTYParams().MarkFreq()); }},
        {"tty-space", [](PhoneVornix& c) { return Number(c.TTYParams().SpaceFreq()); }},
        {"fft-size", [](PhoneVornix& c) { return Number(c.CustomToneParams().FFT_Size()); }},
        {"fft-window", [](PhoneVornix& c) { return WindowName(c.CustomToneParams().FFT_Window()); }},
        {"amplitude-threshold", [](PhoneVornix& c) { return Number(c.CustomToneParams().AmplitudeThreshold()); }},
        {"max-tones-duration", [](PhoneVornix& c) { return Number(c.CustomToneParams().MaxTonesDuration()); }},
        {"min-silence-duration", [](PhoneVornix& c) { return Number(c.CustomToneParams().minSilenceDuration()); }},
        {"format-index", [](PhoneVornix& c) { return Number(c.WaveFormatIndex()); }},
        // Options whose absence means "nothing of the kind".
        {"tone", [](PhoneVornix&) { return std::string("none"); }},
        {"format-id", [](PhoneVornix&) { return std::string("none"); }},
    };
    return readers;
}

void Fill(CLI::App& app, PhoneVornix& component) {
    for (CLI::Option* option : app.get_options([](const CLI::Option*) { return true; })) {
        if (option->get_type_size() == 0 || option->get_required() || !option->get_default_str().empty()) continue;
        for (const std::string& name : option->get_lnames()) {
            const auto found = Readers().find(name);
            if (found == Readers().end()) continue;
            option->default_str(found->second(component));
            break;
        }
    }
    for (CLI::App* sub : app.get_subcommands({})) Fill(*sub, component);
}

}  // namespace

void HelpDefaults::Show(CLI::App& app) {
    PhoneVornix component;
    Fill(app, component);
}
