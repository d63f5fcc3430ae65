#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "DecodeOptions.h"
#include "FileDecoder.h"

namespace CLI {
class App;
}

// vornix decode FILE...: decodes each file and prints its events. A file that fails is
// reported on stderr and the others are still decoded.
//
// Many files are decoded at once, one per worker thread (-j, the number of processors
// unless told), each worker with components of its own. Each file's lines are printed
// together and the files in the order given, so the output is the same for any number of
// workers. Standard input ("-") is decoded by the main thread when its turn comes, as it
// arrives. With --output-dir each file's JSON lines go to a file of their own instead
// (see OutputNames), written whole or not at all (AtomicFile), and --skip-existing
// leaves the files whose output exists, so an interrupted batch resumes where it was.
class DecodeCommand {
public:
    explicit DecodeCommand(CLI::App& parent);
    ~DecodeCommand();
    bool Selected() const;
    int Run();

    // The number of processors this process may run on: the default of -j.
    static unsigned Processors();

private:
    // What became of one input, kept until it is printed in its turn.
    struct Done {
        bool skipped = false;  // --skip-existing found its output
        FileDecoder::Outcome outcome = FileDecoder::Outcome::kFailed;
        double audioSeconds = 0.0;
        std::string events;  // printed in its turn (workers only)
        std::string report;  // its lines for stderr (workers only)
    };
    // What a run did, for its last line.
    struct Totals {
        std::size_t files = 0;  // decoded or failed
        std::size_t failed = 0;
        std::size_t skipped = 0;
        std::size_t notDecoded = 0;  // never started, or cut short by Ctrl-C
        double audioSeconds = 0.0;
        double wallSeconds = 0.0;
        bool interrupted = false;
    };

    // The inputs: those on the command line, then the list's. False (said) when the
    // list cannot be read or the inputs do not go together.
    bool CollectInputs(std::vector<std::string>& inputs) const;
    static std::string Summary(const Totals& totals);

    CLI::App* m_command;
    DecodeOptions m_options{true};
    std::vector<std::string> m_files;
    std::string m_filesFrom;
    std::string m_outputDir;
    bool m_skipExisting = false;
    unsigned m_jobs;
    bool m_json = false;
    bool m_debug = false;
};
