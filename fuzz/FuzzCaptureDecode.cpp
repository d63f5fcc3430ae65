// The whole road of a packet capture: arbitrary bytes as a capture file, decoded the way
// vornix decode does it, with every detector on. Properties: no crash, and every event
// line the decoder prints is whole JSON carrying its stream.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "CaptureDecoder.h"
#include "DecodeOptions.h"

namespace {

const DecodeOptions& EveryDetector() {
    static DecodeOptions options;
    static const bool parsed = [] {
        static CLI::App app;
        options.Register(app);
        app.parse("--detect all", false);
        return true;
    }();
    (void)parsed;
    return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A file of its own in memory: the capture is read by name, twice, as a file is.
    const int fd = memfd_create("capture", MFD_CLOEXEC);
    if (fd < 0) return 0;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    std::ostringstream events;
    std::string report;
    {
        CaptureDecoder decoder(EveryDetector(), events, true, false, [&report](const std::string& line) { report += line; },
                               nullptr);
        decoder.DecodeFile(path);
    }
    close(fd);

    std::istringstream lines(events.str());
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (event.is_discarded() || !event.contains("Stream") || !event.contains("event")) std::abort();
        if (event.contains("Position") && event["Position"].get<std::int64_t>() < 0) std::abort();
    }
    return 0;
}
