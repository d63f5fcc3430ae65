#include "ListenCommand.h"

#include <signal.h>

#include <chrono>
#include <ctime>
#include <iostream>

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "EventPrinter.h"
#include "ExitCode.h"
#include "component/AlsaCaptureSource.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

// How often the main thread looks whether the device is still recording while it waits
// for a signal.
constexpr long kPollNs = 200'000'000;

// Text that has waited this long for its line end is printed as it is.
constexpr std::chrono::seconds kTextIdle{2};

// Waits for SIGINT or SIGTERM, or for the recording to end on its own (a device failure).
// The signals are blocked in every thread and taken here synchronously, so no handler
// runs in the middle of a decode. Meanwhile TTY text and FSK data that stopped without a
// line end are printed.
void WaitForStop(const sigset_t& signals, const AlsaCaptureSource& source, EventPrinter& printer) {
    const timespec poll{0, kPollNs};
    while (source.IsRunning()) {
        if (sigtimedwait(&signals, nullptr, &poll) > 0) return;
        printer.FlushIdle(kTextIdle);
    }
}

}  // namespace

ListenCommand::ListenCommand(CLI::App& parent) {
    m_command = parent.add_subcommand("listen", "Decode live audio from a sound device until interrupted");
    m_command->add_option("--device", m_device, "ALSA capture device")->capture_default_str();
    m_command->add_option("--rate", m_rate, "Sample rate in Hz")->check(Bounded(1000, 192000))->capture_default_str();
    m_options.Register(*m_command);
    m_command->add_flag("--json", m_json, "Print one JSON object per event per line");
    m_command->add_flag("--debug", m_debug, "Print the decoder's debug lines on stderr");
}

bool ListenCommand::Selected() const {
    return m_command->parsed();
}

int ListenCommand::Run() {
    PhoneVornix component;
    try {
        m_options.Apply(component);
    } catch (const VornixException& e) {
        std::cerr << "vornix listen: " << e.what() << '\n';
        return kExitUsage;
    }
    EventPrinter printer(std::cout, m_json);
    printer.SetSpectrumBins(m_options.SpectrumBins());
    printer.SetFile(m_device);
    printer.Attach(component);
    if (m_debug)
        component.OnDebug += [](PhoneVornix&, const OnDebugArgs& e) {
            std::cerr << "debug: " << e.InfoMsg().value_or("") << '\n';
        };

    // Blocked before the recording thread starts, so that thread inherits the mask and
    // the signals are left for WaitForStop.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    AlsaCaptureSource::Settings settings;
    settings.device = m_device;
    settings.sampleRate = m_rate;
    // Declared after the component, so it stops recording before the component goes.
    AlsaCaptureSource source(settings);
    component.Source(source);
    if (!source.Start()) {
        std::cerr << "vornix listen: " << source.ErrorText() << '\n';
        return kExitFailure;
    }
    WaitForStop(signals, source, printer);
    source.Stop();
    printer.Flush();
    if (!source.ErrorText().empty()) {
        std::cerr << "vornix listen: " << source.ErrorText() << '\n';
        return kExitFailure;
    }
    return kExitSuccess;
}
