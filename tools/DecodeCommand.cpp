#include "DecodeCommand.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>

#include <CLI/CLI.hpp>

#include "Bounded.h"
#include "EventPrinter.h"
#include "ExitCode.h"
#include "ProgressBar.h"
#include "platform/DebugOutput.h"
#include "platform/HResult.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

// Bytes read from stdin per WaveStreamInput.
constexpr std::size_t kStdinChunk = 64 * 1024;

}  // namespace

DecodeCommand::DecodeCommand(CLI::App& parent) {
    m_command = parent.add_subcommand("decode", "Decode sound files and print their events");
    m_command->add_option("FILE", m_files, "Sound files (RIFF wave, MP3, .raw/.pcm); - reads raw PCM from stdin")
        ->required();
    m_options.Register(*m_command);
    auto* index = m_command->add_option("--format-index", m_formatIndex,
                                        "Format of raw PCM (stdin, .raw, .pcm) by number (WaveFormatIndex, 0-65)")
                      ->check(Bounded(0, 65))
                      ->group("Raw input");
    m_command->add_option("--format-id", m_formatId, "Format of raw PCM as the hexadecimal wave format record (WaveFormatID)")
        ->excludes(index)
        ->group("Raw input");
    m_command->add_flag("--json", m_json, "Print one JSON object per event per line");
    m_command->add_flag("--debug", m_debug, "Print the decoder's debug lines on stderr");
}

bool DecodeCommand::Selected() const {
    return m_command->parsed();
}

int DecodeCommand::Run() {
    PhoneVornix component;
    try {
        m_options.Apply(component);
        if (!m_formatId.empty()) {
            component.WaveFormatID(m_formatId);
            // The component ignores a text too short or too long to be a format record;
            // for the command that is a mistake to report, not to decode past.
            std::string lower = m_formatId;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (component.WaveFormatID() != lower)
                throw ArgumentException(E_INVALIDARG, "--format-id: '" + m_formatId +
                                                          "' is not a wave format record (36 or more hexadecimal digits)");
        } else
            component.WaveFormatIndex(static_cast<WAVE_FORMAT_INDEX>(m_formatIndex));
    } catch (const VornixException& e) {
        std::cerr << "vornix decode: " << e.what() << '\n';
        return kExitUsage;
    }

    ProgressBar bar(std::cerr, ProgressBar::IsTerminal(STDERR_FILENO));
    EventPrinter printer(std::cout, m_json);
    printer.SetSpectrumBins(m_options.SpectrumBins());
    printer.BeforeWrite([&bar] { bar.Clear(); });
    printer.Attach(component);
    std::string current;
    component.OnProgress += [&](PhoneVornix&, const OnProgressArgs& e) {
        bar.Update(current, e.nProgress(), e.nProgressMax());
    };
    if (m_debug) {
        component.OnDebug += [&bar](PhoneVornix&, const OnDebugArgs& e) {
            bar.Clear();
            std::cerr << "debug: " << e.InfoMsg().value_or("") << '\n';
        };
        SetDebugOutputHook([&bar](const char* text) {
            bar.Clear();
            std::cerr << "debug: " << text << '\n';
        });
    }

    int status = kExitSuccess;
    for (const std::string& file : m_files) {
        current = file;
        printer.SetFile(file);
        try {
            if (file == "-")
                DecodeStdin(component);
            else
                component.Source(file);
        } catch (const std::exception& e) {
            bar.Clear();
            std::cerr << "vornix: " << file << ": " << e.what() << '\n';
            status = kExitFailure;
        }
        // Text still waiting for its line end ends with its file.
        printer.Flush();
        bar.Clear();
    }
    SetDebugOutputHook({});
    return status;
}

void DecodeCommand::DecodeStdin(PhoneVornix& component) {
    component.WaveStreamStart();
    std::vector<std::uint8_t> buffer(kStdinChunk);
    bool refused = false;
    while (true) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), stdin);
        if (n == 0) break;
        if (component.WaveStreamInput(std::span(buffer.data(), n)) == 0) {
            refused = true;
            break;
        }
    }
    // The run is ended in every case, so the events of what was taken still arrive.
    component.WaveStreamEnd();
    if (std::ferror(stdin)) throw VornixException(E_FAIL, "Reading standard input failed.");
    if (refused) throw VornixException(E_FAIL, "The decoder refused the input.");
}
