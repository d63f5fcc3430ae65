#pragma once

#include <string>
#include <vector>

#include "DecodeOptions.h"

namespace CLI {
class App;
}
namespace Orvane::VornixNet {
class PhoneVornix;
}
class EventPrinter;

// vornix decode FILE...: decodes each file in turn (or raw PCM from stdin for "-") and
// prints its events. A file that fails is reported on stderr and the others are still
// decoded.
class DecodeCommand {
public:
    explicit DecodeCommand(CLI::App& parent);
    bool Selected() const;
    int Run();

private:
    // Raw PCM from stdin in the stream format; throws VornixException when the format is
    // refused or the decoder takes no input.
    static void DecodeStdin(Orvane::VornixNet::PhoneVornix& component);

    CLI::App* m_command;
    DecodeOptions m_options;
    std::vector<std::string> m_files;
    int m_formatIndex = 2;
    std::string m_formatId;
    bool m_json = false;
    bool m_debug = false;
};
