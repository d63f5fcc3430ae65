#pragma once

namespace CLI {
class App;
}

// Every --help shows each option's default. The decoding options leave the library's
// settings alone unless given, so their defaults are the library's own: read here from a
// new component when help is asked for, they cannot drift from what the library does.
// Only options that show no default yet are filled in; those of the command's own keep
// theirs.
class HelpDefaults {
public:
    // Fills the defaults of app and of every subcommand below it.
    static void Show(CLI::App& app);
};
