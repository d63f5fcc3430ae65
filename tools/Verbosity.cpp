#include "Verbosity.h"

#include <iostream>

#include <CLI/CLI.hpp>

#include "ProgressBar.h"

namespace {

bool g_quiet = false;

void AddQuiet(CLI::App& app) {
    app.add_flag("-q,--quiet", g_quiet, "No progress bar and no warnings; errors are still printed");
    for (CLI::App* sub : app.get_subcommands({})) AddQuiet(*sub);
}

}  // namespace

void Verbosity::Register(CLI::App& app) {
    AddQuiet(app);
}

bool Verbosity::Quiet() {
    return g_quiet;
}

void Verbosity::SetQuiet(bool quiet) {
    g_quiet = quiet;
}

void Verbosity::Warning(const std::string& line) {
    if (g_quiet) return;
    ProgressBar::ClearVisible();
    std::cerr << line << '\n';
}
