#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <string>

class EventRecord;
namespace Orvane::VornixNet {
class PhoneVornix;
}

// Prints every detection event of a component, one line each: a JSON object per line or
// a readable line. Events may arrive on a capture thread while the main thread sets the
// next file's name, so printing is serialised.
class EventPrinter {
public:
    EventPrinter(std::ostream& out, bool json) : m_out(out), m_json(json) {}

    // Subscribes to every detection event (not OnDebug and OnProgress, which are not
    // detections). The printer must outlive the component's runs.
    void Attach(Orvane::VornixNet::PhoneVornix& component);

    // The name printed as "file" from now on.
    void SetFile(std::string file);
    // Called before each line, to take a progress bar off the terminal first.
    void BeforeWrite(std::function<void()> hook) { m_beforeWrite = std::move(hook); }

    void Print(Orvane::VornixNet::PhoneVornix& component, const EventRecord& record);

private:
    std::ostream& m_out;
    bool m_json;
    std::mutex m_mutex;
    std::string m_file;
    std::function<void()> m_beforeWrite;
};
