#include "DecodeCommand.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

#include <CLI/CLI.hpp>

#include "AtomicFile.h"
#include "ExitCode.h"
#include "FileList.h"
#include "Interruption.h"
#include "OrderedPool.h"
#include "OutputNames.h"
#include "ProgressBar.h"
#include "Verbosity.h"
#include "platform/DebugOutput.h"
#include "vornix/PhoneVornix.h"

using namespace Orvane::VornixNet;

namespace {

// How many finished files, per worker, may wait for one before them to be printed: a
// long recording early in a batch holds back this many others' lines in memory.
constexpr std::size_t kWindowPerWorker = 16;
// The largest -j: far beyond any machine's processors, small enough that a typing
// error does not start a million threads.
constexpr unsigned kMostJobs = 1024;

// A worker's own place for what it writes, emptied after every file.
struct Buffers {
    std::ostringstream events;
    std::ostringstream report;
};

std::string Take(std::ostringstream& stream) {
    std::string text = std::move(stream).str();
    stream.str({});
    stream.clear();
    return text;
}

}  // namespace

unsigned DecodeCommand::Processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

DecodeCommand::DecodeCommand(CLI::App& parent) : m_jobs(std::min(Processors(), kMostJobs)) {
    m_command = parent.add_subcommand("decode", "Decode sound files and print their events");
    m_command->add_option("FILE", m_files,
                          "Sound files (RIFF wave, MP3, FLAC, Ogg, M4A and any container libavformat recognises, "
                          ".raw/.pcm; pcap and pcapng packet captures, each RTP stream decoded on its own); - reads stdin (a wave, "
                          "a container or a capture by its header, else raw PCM)");
    m_command->add_option("--files-from", m_filesFrom,
                          "Also decode the files named in LIST, one name per line as written (empty lines skipped), "
                          "after those on the command line; - reads the names from stdin")
        ->type_name("LIST")
        ->default_str("none");
    m_command->add_option("-j,--jobs", m_jobs,
                          "Files decoded at once, each on a thread of its own (default: the number of processors); "
                          "the output is the same for any number")
        ->check(CLI::Range(1u, kMostJobs))
        ->capture_default_str();
    CLI::Option* outputDir =
        m_command
            ->add_option("--output-dir", m_outputDir,
                         "Write each file's events as JSON lines to DIR/NAME.jsonl instead of stdout, NAME being the "
                         "file's path (an absolute one without its leading /); each is written whole or not at all, "
                         "and not for a file that fails")
            ->type_name("DIR")
            ->default_str("none");
    m_command->add_flag("--skip-existing", m_skipExisting,
                        "With --output-dir: leave the files whose NAME.jsonl exists (resumes an interrupted batch)")
        ->needs(outputDir);
    m_options.Register(*m_command);
    m_options.RegisterRawInput(*m_command);
    m_command->add_flag("--json", m_json, "Print one JSON object per event per line");
    m_command->add_flag("--debug", m_debug, "Print the decoder's debug lines on stderr");
}

DecodeCommand::~DecodeCommand() = default;

bool DecodeCommand::Selected() const {
    return m_command->parsed();
}

bool DecodeCommand::CollectInputs(std::vector<std::string>& inputs) const {
    inputs = m_files;
    if (m_command->count("--files-from") > 0) {
        std::string error;
        std::optional<std::vector<std::string>> listed;
        if (m_filesFrom == "-") {
            listed = FileList::Read(std::cin, error);
        } else {
            std::ifstream list(m_filesFrom, std::ios::binary);
            if (!list) {
                std::cerr << "vornix decode: --files-from " << m_filesFrom << ": cannot be read\n";
                return false;
            }
            listed = FileList::Read(list, error);
        }
        if (!listed) {
            std::cerr << "vornix decode: --files-from " << m_filesFrom << ": " << error << '\n';
            return false;
        }
        inputs.insert(inputs.end(), listed->begin(), listed->end());
    }
    const bool stdinInput = std::find(inputs.begin(), inputs.end(), "-") != inputs.end();
    if (m_filesFrom == "-" && stdinInput) {
        std::cerr << "vornix decode: - cannot be decoded: standard input holds the names (--files-from -)\n";
        return false;
    }
    if (!m_outputDir.empty() && stdinInput) {
        std::cerr << "vornix decode: - cannot be decoded with --output-dir: standard input has no name to write its "
                     "events under\n";
        return false;
    }
    if (inputs.empty() && m_command->count("--files-from") == 0) {
        std::cerr << "vornix decode: no file to decode (give FILE... or --files-from LIST)\n"
                  << "Run with --help for more information.\n";
        return false;
    }
    return true;
}

int DecodeCommand::Run() {
    const auto began = std::chrono::steady_clock::now();
    std::vector<std::string> inputs;
    if (!CollectInputs(inputs)) return kExitUsage;
    const bool toFiles = !m_outputDir.empty();
    std::vector<std::string> outputs;
    if (toFiles) {
        std::string error;
        std::optional<std::vector<std::string>> named = OutputNames::ForAll(m_outputDir, inputs, error);
        if (!named) {
            std::cerr << "vornix decode: --output-dir: " << error << '\n';
            return kExitUsage;
        }
        outputs = std::move(*named);
    }
    // A batch says what it did in a last line; one file decoded as ever says nothing more.
    const bool batch = inputs.size() > 1 || m_command->count("--files-from") > 0 || toFiles;

    const std::size_t files = static_cast<std::size_t>(std::count_if(inputs.begin(), inputs.end(), [](const std::string& f) { return f != "-"; }));
    // One file, or one job, is decoded by the main thread with the terminal to itself:
    // its events are printed as they come, with the file's own progress bar.
    const std::size_t workers = m_jobs <= 1 || files <= 1 ? 0 : std::min<std::size_t>(m_jobs, files);

    ProgressBar bar(std::cerr, ProgressBar::IsTerminal(STDERR_FILENO));
    // stderr is written by the main thread and, with --debug, the decoder's own lines by
    // any worker; the bar goes first.
    std::mutex errMutex;
    const std::atomic<bool>& stop = Interruption::Requested();
    Interruption interruption;

    // The main thread's decoder: standard input, or every file when there are no workers.
    Buffers mainBuffers;
    std::unique_ptr<FileDecoder> mainDecoder;
    try {
        FileDecoder::Output output{toFiles ? static_cast<std::ostream*>(&mainBuffers.events) : &std::cout, &std::cerr,
                                   workers == 0 ? &bar : nullptr};
        mainDecoder = std::make_unique<FileDecoder>(m_options, m_json || toFiles, m_debug, output, &stop);
    } catch (const VornixException& e) {
        std::cerr << "vornix decode: " << e.what() << '\n';
        return kExitUsage;
    }
    // The workers' decoders are made on their own threads, when first needed.
    std::vector<Buffers> buffers(workers);
    std::vector<std::unique_ptr<FileDecoder>> decoders(workers);
    std::vector<Done> done(inputs.size());

    if (m_debug)
        SetDebugOutputHook([&bar, &errMutex](const char* text) {
            std::lock_guard lock(errMutex);
            bar.Clear();
            std::cerr << "debug: " << text << '\n';
        });

    auto work = [&](std::size_t worker, std::size_t item) {
        Done& d = done[item];
        const std::string& input = inputs[item];
        std::error_code unknown;  // an output that cannot be looked at is written again
        if (m_skipExisting && std::filesystem::exists(outputs[item], unknown)) {
            d.skipped = true;
            return;
        }
        const bool own = worker == workers;
        if (!own && !decoders[worker])
            decoders[worker] = std::make_unique<FileDecoder>(
                m_options, m_json || toFiles, m_debug,
                FileDecoder::Output{&buffers[worker].events, &buffers[worker].report, nullptr}, &stop);
        if (own && workers > 0) {
            // Standard input in a batch: printed as it arrives, so the files' bar goes.
            std::lock_guard lock(errMutex);
            bar.Clear();
        }
        FileDecoder& decoder = own ? *mainDecoder : *decoders[worker];
        Buffers& buffer = own ? mainBuffers : buffers[worker];
        const FileDecoder::Result result = decoder.Decode(input);
        d.outcome = result.outcome;
        d.audioSeconds = result.audioSeconds;
        std::string events = Take(buffer.events);
        if (toFiles && d.outcome == FileDecoder::Outcome::kDecoded)
            if (const std::optional<std::string> error = AtomicFile::Write(outputs[item], events)) {
                d.outcome = FileDecoder::Outcome::kFailed;
                buffer.report << "vornix: " << input << ": " << *error << '\n';
            }
        if (!toFiles) d.events = std::move(events);
        d.report = Take(buffer.report);
    };

    Totals totals;
    std::size_t handedBack = 0;
    auto emit = [&](std::size_t item) {
        Done& d = done[item];
        {
            std::lock_guard lock(errMutex);
            bar.Clear();
            if (!d.events.empty()) std::cout << d.events << std::flush;
            if (!d.report.empty()) std::cerr << d.report << std::flush;
            ++handedBack;
            if (workers > 0)
                bar.Update(std::to_string(handedBack) + "/" + std::to_string(inputs.size()) + " files",
                           static_cast<std::int64_t>(handedBack), static_cast<std::int64_t>(inputs.size()));
        }
        d.events = {};
        d.report = {};
        if (d.skipped) {
            ++totals.skipped;
            return;
        }
        totals.audioSeconds += d.audioSeconds;
        if (d.outcome == FileDecoder::Outcome::kInterrupted) return;
        ++totals.files;
        if (d.outcome == FileDecoder::Outcome::kFailed) ++totals.failed;
    };

    OrderedPool pool(workers, std::max<std::size_t>(1, workers * kWindowPerWorker));
    pool.Run(
        inputs.size(), [&inputs](std::size_t item) { return inputs[item] == "-"; }, work, emit, stop);
    {
        std::lock_guard lock(errMutex);
        bar.Clear();
    }
    SetDebugOutputHook({});

    totals.interrupted = stop.load();
    totals.notDecoded = inputs.size() - totals.files - totals.skipped;
    totals.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if ((batch || totals.interrupted) && !Verbosity::Quiet()) std::cerr << Summary(totals) << '\n';
    if (totals.interrupted) return Interruption::ExitStatus();
    return totals.failed > 0 ? kExitFailure : kExitSuccess;
}

std::string DecodeCommand::Summary(const Totals& t) {
    char text[256];
    const double factor = t.wallSeconds > 0.0 ? t.audioSeconds / t.wallSeconds : 0.0;
    std::snprintf(text, sizeof text, "vornix decode: %zu files, %zu failed, %.4f hours of audio, %.3f s, %.1fx real time",
                  t.files, t.failed, t.audioSeconds / 3600.0, t.wallSeconds, factor);
    std::string line = text;
    if (t.skipped > 0) line += ", " + std::to_string(t.skipped) + " skipped (output exists)";
    if (t.interrupted) line += ", interrupted: " + std::to_string(t.notDecoded) + " not decoded";
    return line;
}
