#pragma once

#include <optional>
#include <string>

#include "DecodeOptions.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

// vornix plot FILE -o PICTURE.png: decodes one recording with decode's detectors and
// options and draws it: its spectrogram above, a lane per detector below with every event
// marked at its time. A build without cairo keeps the command, which then says so and
// fails.
class PlotCommand {
public:
    explicit PlotCommand(CLI::App& parent);
    bool Selected() const;
    int Run();

private:
    CLI::App* m_command;
    CLI::Option* m_detectOption = nullptr;
    DecodeOptions m_options;
    std::string m_file;
    std::string m_output;
    int m_width = 1600;
    int m_spectrogramHeight = 420;
    std::optional<double> m_maxFrequency;
    std::optional<double> m_from;
    std::optional<double> m_to;
    int m_formatIndex = 2;
};
