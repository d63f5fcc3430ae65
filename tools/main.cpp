// vornix: decodes telephone-line audio from files or a sound device, and writes test
// recordings. Argument parsing and dispatch only; each subcommand is its own class.
#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "DecodeCommand.h"
#include "ExitCode.h"
#include "FormatsCommand.h"
#include "GenCommand.h"
#include "HelpDefaults.h"
#include "ListenCommand.h"
#include "PlotCommand.h"
#include "Verbosity.h"
#include "vornix/Version.h"

int main(int argc, char** argv) {
    CLI::App app("Decodes telephone-line audio (DTMF and MF keys, paging tones, special information tones, custom tones, caller ID, message waiting, TTY, SAME alerts, FSK data) from files or a sound device, writes test recordings and draws a recording with its events.", "vornix");
    app.require_subcommand(1);
    app.set_version_flag("-V,--version", "vornix " + std::string(VORNIX_VERSION));
    // Every command's help on one page: what the man page is made from.
    app.set_help_all_flag("--help-all", "Print the help of every command and exit");
    DecodeCommand decode(app);
    ListenCommand listen(app);
    GenCommand gen(app);
    PlotCommand plot(app);
    FormatsCommand formats(app);
    Verbosity::Register(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (dynamic_cast<const CLI::CallForHelp*>(&e) != nullptr || dynamic_cast<const CLI::CallForAllHelp*>(&e) != nullptr)
            HelpDefaults::Show(app);
        // A first word that names no command is said as such, not as a missing one.
        if (argc > 1 && argv[1][0] != '-' && app.get_subcommands().empty()) {
            std::cerr << "vornix: '" << argv[1] << "' is not a command (decode, listen, gen, plot, formats)\n"
                      << "Run with --help for more information.\n";
            return kExitUsage;
        }
        // Help and version exit with 0; every other parse error is a usage error.
        return app.exit(e) == 0 ? kExitSuccess : kExitUsage;
    }
    try {
        if (decode.Selected()) return decode.Run();
        if (listen.Selected()) return listen.Run();
        if (gen.Selected()) return gen.Run();
        if (plot.Selected()) return plot.Run();
        if (formats.Selected()) return formats.Run();
    } catch (const std::exception& e) {
        std::cerr << "vornix: " << e.what() << '\n';
        return kExitFailure;
    }
    return kExitUsage;
}
