#pragma once

#include <cstdint>
#include <string>

#include "DecodeOptions.h"

namespace CLI {
class App;
}

// vornix listen: decodes live audio from a sound device, or the RTP streams sent to a UDP
// port (one decoder per stream), and prints its events until SIGINT or SIGTERM. The command feeds the recording to the decoder itself, so it knows
// how many samples it has fed (positions past 2^32 samples come out whole) and when each
// was recorded (every event carries its wall-clock time).
class ListenCommand {
public:
    explicit ListenCommand(CLI::App& parent);
    bool Selected() const;
    int Run();

private:
    // --rtp: RTP sent to a UDP port rather than a sound device.
    int RunRtp();

    CLI::App* m_command;
    DecodeOptions m_options{true};
    std::string m_device = "default";
    std::string m_rtp;
    std::uint32_t m_rate = 8000;
    bool m_json = false;
    bool m_debug = false;
};
