#pragma once

#include <string>

namespace CLI {
class App;
}

// How much the command says beyond its output and its errors. With --quiet there is no
// progress bar and no warning, so a script reads events on stdout and errors on stderr
// and nothing else. Errors and the --debug lines are never held back.
//
// One run of the program runs one command, so the setting is process-wide: every part
// of the command reads it here instead of being handed it.
class Verbosity {
public:
    // Adds -q,--quiet to the program and to every subcommand below it, so it may be
    // given anywhere on the command line.
    static void Register(CLI::App& app);

    static bool Quiet();
    static void SetQuiet(bool quiet);

    // Writes one warning line (the caller's whole text, "vornix decode: x.wav: ...") on
    // stderr, after taking a progress bar off its line; nothing with --quiet.
    static void Warning(const std::string& line);
};
