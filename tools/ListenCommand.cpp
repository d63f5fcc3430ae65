#include "ListenCommand.h"

#include <signal.h>

#include <chrono>
#include <ctime>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "CaptureDecoder.h"
#include "EventPrinter.h"
#include "ExitCode.h"
#include "RtpListener.h"
#include "Verbosity.h"
#include "StreamFeeder.h"
#include "audio/StreamFormats.h"
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

// A component and what the printer adds to its events.
struct Lane {
    PhoneVornix component;
    EventPrinter::Stream stream;
};

// Takes the recording's messages on the recording thread and feeds every lane's
// component; the first failure is kept for the main thread.
class Receiver {
public:
    explicit Receiver(std::vector<std::unique_ptr<Lane>>& lanes) : m_lanes(lanes) {}
    // Before the recording starts.
    void SetSource(const AlsaCaptureSource& source) { m_source = &source; }

    static void Callback(void* receiver, int msg, std::uint64_t wparam, std::int64_t lparam) {
        auto* self = static_cast<Receiver*>(receiver);
        try {
            self->Take(msg, wparam, lparam);
        } catch (...) {
            if (!self->m_error) self->m_error = std::current_exception();
        }
    }

    // Read once the recording has ended.
    std::exception_ptr Error() const { return m_error; }
    const StreamFeeder* Feeder() const { return m_feeder ? &*m_feeder : nullptr; }

private:
    void Take(int msg, std::uint64_t wparam, std::int64_t lparam) {
        if (msg == AM_RECORD_START) {
            // The device's own format (it may give a near rate): the decoder's stream format.
            const auto* format = static_cast<const WAVEFORMATEX*>(m_source->get_RecordFormatEx());
            std::vector<StreamFeeder::Lane> feeds;
            for (const auto& lane : m_lanes) {
                lane->component.WaveFormatID(WaveFmtToString(format));
                feeds.push_back({&lane->component, &lane->stream.positions});
            }
            m_feeder.emplace(std::move(feeds), *format);
            m_feeder->Start();
        } else if (msg == AM_RECORD_DATA && m_feeder && !m_error) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(wparam));
            if (!m_feeder->Feed(std::span(bytes, static_cast<std::size_t>(lparam))))
                throw VornixException(E_FAIL, "The decoder refused the recording's format.");
        } else if (msg == AM_RECORD_END && m_feeder) {
            m_feeder->End();
        }
    }

    std::vector<std::unique_ptr<Lane>>& m_lanes;
    const AlsaCaptureSource* m_source = nullptr;
    std::optional<StreamFeeder> m_feeder;
    std::exception_ptr m_error;
};

}  // namespace

ListenCommand::ListenCommand(CLI::App& parent) {
    m_command = parent.add_subcommand("listen", "Decode live audio from a sound device until interrupted");
    m_command->add_option("--device", m_device, "ALSA capture device")->capture_default_str();
    m_command->add_option("--rtp", m_rtp,
                          "Decode the RTP streams sent to this UDP address and port instead of a sound device, "
                          "one decoder per stream (127.0.0.1:5004, [::1]:5004, or :5004 for every IPv4 address)")
        ->type_name("ADDRESS:PORT")
        ->default_str("none");
    m_command->add_option("--rate", m_rate, "Sample rate in Hz")->check(Bounded(1000, 192000))->capture_default_str();
    m_options.Register(*m_command);
    m_command->add_flag("--json", m_json, "Print one JSON object per event per line, with its wall-clock \"Time\"");
    m_command->add_flag("--debug", m_debug, "Print the decoder's debug lines on stderr");
}

bool ListenCommand::Selected() const {
    return m_command->parsed();
}

int ListenCommand::Run() {
    if (!m_rtp.empty()) return RunRtp();
    const bool both = m_options.BothChannels();
    std::vector<std::unique_ptr<Lane>> lanes;
    try {
        for (int i = 0; i < (both ? 2 : 1); ++i) {
            lanes.push_back(std::make_unique<Lane>());
            m_options.Apply(lanes.back()->component);
            if (i == 1) lanes.back()->component.DecodeChannel(RIGHT_CHANNEL);
        }
    } catch (const VornixException& e) {
        std::cerr << "vornix listen: " << e.what() << '\n';
        return kExitUsage;
    }
    if (both) {
        lanes[0]->stream.channel = "left";
        lanes[1]->stream.channel = "right";
    }

    EventPrinter printer(std::cout, m_json);
    printer.SetSpectrumBins(m_options.SpectrumBins());
    printer.SetFile(m_device);
    Receiver receiver(lanes);
    for (const auto& lane : lanes) {
        // Events are raised while the recording thread feeds, so the feeder's clock is
        // read on that thread only.
        lane->stream.clock = [&receiver](std::int64_t position) -> std::optional<std::chrono::system_clock::time_point> {
            const StreamFeeder* feeder = receiver.Feeder();
            return feeder ? feeder->TimeOf(position) : std::nullopt;
        };
        printer.Attach(lane->component, lane->stream);
        if (m_debug)
            lane->component.OnDebug += [](PhoneVornix&, const OnDebugArgs& e) {
                std::cerr << "debug: " << e.InfoMsg().value_or("") << '\n';
            };
    }

    AlsaCaptureSource::Settings settings;
    settings.device = m_device;
    settings.sampleRate = m_rate;
    // The right channel needs a stereo recording; the left one is a mono device's only one.
    settings.channels = both || m_options.RightChannel() ? 2 : 1;
    // Declared after the lanes, the printer and the receiver, so it stops recording
    // before they go.
    AlsaCaptureSource source(settings);
    receiver.SetSource(source);

    // Blocked before the recording thread starts, so that thread inherits the mask and
    // the signals are left for WaitForStop.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    source.set_EventHandle(&receiver, &Receiver::Callback);
    if (!source.Start()) {
        std::cerr << "vornix listen: " << source.ErrorText() << '\n';
        return kExitFailure;
    }
    WaitForStop(signals, source, printer);
    source.Stop();
    source.set_EventHandle(nullptr, nullptr);
    printer.Flush();
    if (const std::exception_ptr error = receiver.Error()) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::cerr << "vornix listen: " << e.what() << '\n';
        }
        return kExitFailure;
    }
    if (!source.ErrorText().empty()) {
        std::cerr << "vornix listen: " << source.ErrorText() << '\n';
        return kExitFailure;
    }
    return kExitSuccess;
}

int ListenCommand::RunRtp() {
    const std::optional<Endpoint> local = RtpListener::ParseAddress(m_rtp);
    if (!local) {
        std::cerr << "vornix listen: --rtp " << m_rtp << ": not an address and port (127.0.0.1:5004, [::1]:5004, :5004)\n";
        return kExitUsage;
    }
    try {
        // Settings the component refuses are a usage error, said before anything is bound.
        PhoneVornix check;
        m_options.Apply(check);
    } catch (const VornixException& e) {
        std::cerr << "vornix listen: " << e.what() << '\n';
        return kExitUsage;
    }
    // Taken by the listener from a signal descriptor; blocked first so no handler runs.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    RtpListener listener(*local);
    if (!listener.Open()) {
        std::cerr << "vornix listen: " << listener.Error() << '\n';
        return kExitFailure;
    }
    if (!Verbosity::Quiet()) std::cerr << "vornix listen: receiving RTP on " << listener.Local().ToString() << '\n';
    CaptureDecoder decoder(m_options, std::cout, m_json, m_debug, [](const std::string& line) { std::cerr << line << '\n'; },
                           nullptr);
    decoder.Begin(listener.Local().ToString());
    bool ok = false;
    try {
        ok = listener.Run(decoder, signals);
    } catch (const std::exception& e) {
        std::cerr << "vornix listen: " << e.what() << '\n';
    }
    decoder.End();
    if (!ok && !listener.Error().empty()) std::cerr << "vornix listen: " << listener.Error() << '\n';
    return ok ? kExitSuccess : kExitFailure;
}
