#pragma once

#include <cstdint>
#include <string>

#include "DecodeOptions.h"

namespace CLI {
class App;
}

// vornix listen: decodes live audio from a sound device and prints its events until
// SIGINT or SIGTERM.
class ListenCommand {
public:
    explicit ListenCommand(CLI::App& parent);
    bool Selected() const;
    int Run();

private:
    CLI::App* m_command;
    DecodeOptions m_options;
    std::string m_device = "default";
    std::uint32_t m_rate = 8000;
    bool m_json = false;
    bool m_debug = false;
};
