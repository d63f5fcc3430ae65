// What a user of the command meets first: its version, the defaults in every help page, a
// progress bar that fits the window, --quiet, gen to stdout, the refusals of gen, the bash
// completion and the man page.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "ProgressBar.h"
#include "Verbosity.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

namespace {

const std::string kVornix = VORNIX_CLI_PATH;

// Columns a terminal gives the text, by the C library's own tables.
int DisplayWidth(const std::string& text) {
    std::mbstate_t state{};
    const char* source = text.c_str();
    std::vector<wchar_t> wide(text.size() + 1);
    const std::size_t n = std::mbsrtowcs(wide.data(), &source, wide.size(), &state);
    if (n == static_cast<std::size_t>(-1)) return 1 << 20;
    const int width = wcswidth(wide.data(), n);
    return width < 0 ? 1 << 20 : width;
}

class Courtesies : public ::testing::Test {
protected:
    CommandRunner::Result Vornix(const std::vector<std::string>& args) const { return run.Run(kVornix, args); }
    std::string Q(const std::string& word) const { return CommandRunner::Quote(word); }

    // The commands a help page lists, with the help page of each, down to the gen kinds.
    std::vector<std::pair<std::string, std::string>> HelpPages(const std::vector<std::string>& path = {}) const {
        std::vector<std::string> args = path;
        args.push_back("--help");
        const auto r = Vornix(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::string shown;
        for (const auto& word : path) shown += (shown.empty() ? "" : " ") + word;
        std::vector<std::pair<std::string, std::string>> pages = {{shown, r.out}};
        const auto at = r.out.find("\nSubcommands:\n");
        if (at == std::string::npos) return pages;
        std::istringstream lines(r.out.substr(at + 14));
        const std::regex command("^  ([a-z][a-z0-9-]*) .*");
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (!std::regex_match(line, m, command)) continue;
            std::vector<std::string> deeper = path;
            deeper.push_back(m[1]);
            for (auto& page : HelpPages(deeper)) pages.push_back(std::move(page));
        }
        return pages;
    }

    CommandRunner run;
};

// ------------------------------------------------------------- the progress bar

TEST(ProgressBarLine, FitsEveryWidthWithoutWrappingAndKeepsTheNamesEnd) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    const std::vector<std::string> labels = {
        "", "keys.wav", std::string(200, 'a') + ".wav", "/tmp/\xe9\x95\xb7\xe3\x81\x84\xe5\x90\x8d\xe5\x89\x8d.wav",
        "bad\nname\t\x1b[2J.wav"};
    for (const std::string& label : labels) {
        for (int columns = 1; columns <= 160; ++columns) {
            for (int percent : {0, 45, 100}) {
                const std::string line = ProgressBar::Line(label, percent, columns);
                const std::string where = "'" + label + "' at " + std::to_string(columns) + " columns, " +
                                          std::to_string(percent) + "%: '" + line + "'";
                ASSERT_LE(DisplayWidth(line), columns - 1) << where;
                for (char c : line) ASSERT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << where;
                if (columns >= 6) {
                    const std::string shown = std::to_string(percent) + "%";
                    EXPECT_EQ(line.substr(line.size() - shown.size()), shown) << where;
                }
                // A shortened name keeps its end, which tells files apart.
                if (columns >= 30 && !label.empty()) {
                    EXPECT_NE(line.find(".wav"), std::string::npos) << where;
                }
                const auto open = line.find(" ["), close = line.find("] ");
                if (open != std::string::npos && close != std::string::npos) {
                    const std::string bar = line.substr(open + 2, close - open - 2);
                    const auto filled = static_cast<int>(std::count(bar.begin(), bar.end(), '#'));
                    EXPECT_EQ(filled, percent * static_cast<int>(bar.size()) / 100) << where;
                }
            }
        }
    }
    std::setlocale(LC_CTYPE, "C");
}

TEST(ProgressBarLine, RedrawsInPlaceAndNotAtAllWhenQuiet) {
    std::ostringstream out;
    {
        ProgressBar bar(out, true, 40);
        for (int done = 0; done <= 1000; done += 5) bar.Update(std::string(60, 'x') + ".wav", done, 1000);
        bar.Clear();
    }
    // Each draw starts at the line's start and erases it; none reaches the last column.
    std::string text = out.str();
    std::size_t draws = 0;
    for (std::size_t at = 0; (at = text.find("\r\033[K", at)) != std::string::npos; at += 4) {
        const auto next = text.find('\r', at + 4);
        EXPECT_LE(DisplayWidth(text.substr(at + 4, next == std::string::npos ? std::string::npos : next - at - 4)), 39);
        ++draws;
    }
    EXPECT_EQ(draws, 102u) << "one draw per percent, and one to clear";
    EXPECT_EQ(text.find('\n'), std::string::npos);

    std::ostringstream quiet;
    Verbosity::SetQuiet(true);
    {
        ProgressBar bar(quiet, true, 40);
        bar.Update("keys.wav", 5, 10);
        bar.Clear();
    }
    Verbosity::SetQuiet(false);
    EXPECT_EQ(quiet.str(), "");
}

// ------------------------------------------------------------- version and help

TEST_F(Courtesies, VersionByEitherFlagAndDefaultsInEveryHelpPage) {
    for (const char* flag : {"-V", "--version"}) {
        const auto r = Vornix({flag});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(std::regex_match(r.out, std::regex("vornix [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.out;
    }
    // An option entry: its names, then its type when it takes a value. A description that
    // does not fit beside the names continues on the lines below, further indented.
    const std::regex entry("^  +(-[-A-Za-z0-9]+,)*-[-A-Za-z0-9]+ [A-Z]+([ :=].*)?$");
    std::size_t checked = 0;
    for (const auto& [command, help] : HelpPages()) {
        std::istringstream lines(help);
        std::vector<std::string> all;
        for (std::string line; std::getline(lines, line);) all.push_back(line);
        for (std::size_t i = 0; i < all.size(); ++i) {
            std::smatch m;
            if (!std::regex_match(all[i], m, entry)) continue;
            std::string text = all[i];
            for (std::size_t j = i + 1; j < all.size() && all[j].rfind("                    ", 0) == 0; ++j) text += all[j];
            const bool shown = text.find('=') != std::string::npos || text.find("REQUIRED") != std::string::npos ||
                               text.find("default") != std::string::npos;
            EXPECT_TRUE(shown) << "vornix " << command << ": no default shown for\n" << text;
            ++checked;
        }
    }
    EXPECT_GT(checked, 150u);
}

TEST_F(Courtesies, EveryDefaultDecodeShowsIsOneItTakesAndChangesNothing) {
    ASSERT_EQ(Vornix({"gen", "dtmf", "159D", "-o", run.Path("keys.wav"), "--noise", "-40"}).exitCode, 0);
    const auto plain = Vornix({"decode", "--json", run.Path("keys.wav")});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    ASSERT_NE(plain.out, "");
    const auto help = Vornix({"decode", "--help"});
    const std::regex withDefault("^  +(-[-A-Za-z0-9]+,)*(--[-a-z0-9]+) [A-Z]+(:[^=]*)?=([^ ]+)( .*)?$");
    // Every default given at once, in as few runs as the options that exclude each other
    // allow: each goes into the first run holding none of those it excludes.
    struct Run {
        std::vector<std::string> args;
        std::set<std::string> names;
    };
    std::vector<Run> runs;
    std::istringstream lines(help.out);
    std::size_t tried = 0;
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, withDefault) || m[4] == "none") continue;
        std::set<std::string> excluded;
        const auto at = line.find("Excludes:");
        if (at != std::string::npos) {
            std::istringstream names(line.substr(at + 9));
            for (std::string name; names >> name;) excluded.insert(name);
        }
        auto fits = [&](const Run& r) {
            return std::none_of(excluded.begin(), excluded.end(), [&](const std::string& n) { return r.names.count(n) > 0; });
        };
        auto target = std::find_if(runs.begin(), runs.end(), fits);
        if (target == runs.end()) target = runs.insert(runs.end(), Run{});
        target->args.insert(target->args.end(), {m[2], m[4]});
        target->names.insert(m[2]);
        ++tried;
    }
    for (const Run& r : runs) {
        std::vector<std::string> args = {"decode", "--json"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        args.push_back(run.Path("keys.wav"));
        std::string shown;
        for (const auto& a : r.args) shown += a + " ";
        const auto result = Vornix(args);
        EXPECT_EQ(result.exitCode, 0) << shown << ": " << result.err;
        EXPECT_EQ(result.out, plain.out) << shown;
    }
    EXPECT_GT(tried, 30u);
}

// ------------------------------------------------------------- gen

TEST_F(Courtesies, GenRefusesWhatWouldWriteNoSignalOrAnotherOne) {
    const std::string out = run.Path("g.wav");
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> said;  // in the first line of stderr
    };
    const std::vector<Case> cases = {
        {{"dtmf", ""}, {"DIGITS is empty"}},
        {{"mf", ""}, {"KEYS is empty"}},
        {{"paging", ""}, {"DIGITS is empty"}},
        {{"dtmf", "1", "--duration", "0", "--gap", "0"}, {"no samples"}},
        {{"dtmf", "15D", "--rate", "3266"}, {"key 'D'", "1633 Hz", "3266 Hz", "--rate"}},
        {{"dtmf", "15", "--rate", "2600"}, {"key '5'", "1336 Hz", "2600 Hz"}},
        {{"tone", "440,3000", "--rate", "5000"}, {"3000 Hz", "6000 Hz", "5000 Hz"}},
        {{"tone", "2000", "--frequency-offset", "5", "--rate", "4000"}, {"2100 Hz"}},
        {{"mf", "KP1ST", "--rate", "3000"}, {"1700 Hz", "3000 Hz"}},
        {{"sit", "RO", "--rate", "3000"}, {"1776 Hz"}},
        {{"paging", "123", "--rate", "4000"}, {"CCIR", "4000 Hz"}},
        {{"tty", "HELLO", "--rate", "3000"}, {"space tone", "1800 Hz"}},
        {{"fsk", "hi", "--mark", "5000", "--rate", "8000"}, {"mark tone", "5000 Hz"}},
        {{"same", "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-", "--rate", "4000"}, {"2083.3 Hz"}},
        {{"dtmf", "1", "--noise", "-30", "--seed", "-1"}, {"not a seed"}},
        {{"dtmf", "1", "--noise", "-30", "--seed", "1.5"}, {"not a seed"}},
        {{"dtmf", "1", "--noise", "-30", "--seed", "18446744073709551616"}, {"not a seed"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"gen"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"-o", out});
        const auto r = Vornix(args);
        std::string shown;
        for (const auto& a : c.args) shown += a + " ";
        EXPECT_EQ(r.exitCode, 2) << shown << r.err;
        const std::string first = r.err.substr(0, r.err.find('\n'));
        for (const std::string& text : c.said) EXPECT_NE(first.find(text), std::string::npos) << shown << ": " << first;
        EXPECT_FALSE(std::filesystem::exists(out)) << shown;
    }
    // The edges: just above twice the highest tone, and the largest seed.
    EXPECT_EQ(Vornix({"gen", "dtmf", "15D", "--rate", "3267", "-o", out}).exitCode, 0);
    EXPECT_EQ(Vornix({"gen", "dtmf", "1", "--noise", "-30", "--seed", "18446744073709551615", "-o", out}).exitCode, 0);
}

TEST_F(Courtesies, GenToStdoutWritesTheSameFileAndQuietSilencesItsWarning) {
    const auto file = Vornix({"gen", "dtmf", "123", "-o", run.Path("file.wav"), "--noise", "-50"});
    ASSERT_EQ(file.exitCode, 0) << file.err;
    auto r = run.Shell(Q(kVornix) + " gen dtmf 123 -o - --noise -50 > piped.wav");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(run.Shell("cmp file.wav piped.wav").exitCode, 0) << "-o - must write the file -o FILE writes";
    r = run.Shell(Q(kVornix) + " gen dtmf 123 -o - | " + Q(kVornix) + " decode -");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.OutLines().size(), 3u) << r.out;

    // Both tones at full scale clip; the warning says so unless told to be quiet.
    const std::vector<std::string> loud = {"gen", "dtmf", "5", "--level", "0", "--twist", "6", "-o", run.Path("loud.wav")};
    r = Vornix(loud);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
    for (const char* quiet : {"-q", "--quiet"}) {
        std::vector<std::string> args = loud;
        args.push_back(quiet);
        r = Vornix(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "") << quiet;
    }
    r = Vornix({"--quiet", "gen", "dtmf", "5", "--level", "0", "--twist", "6", "-o", run.Path("loud.wav")});
    EXPECT_EQ(r.err, "") << "--quiet before the command";
}

// ------------------------------------------------------------- completion and man page

TEST_F(Courtesies, BashCompletionOffersCommandsOptionsTheirValuesAndFiles) {
    if (run.Shell("command -v bash").exitCode != 0) GTEST_SKIP() << "bash is needed";
    ASSERT_EQ(run.Shell("touch keys.wav kept.raw").exitCode, 0);
    const std::string script = std::string(VORNIX_SOURCE_DIR) + "/tools/completion/vornix.bash";
    auto complete = [&](const std::vector<std::string>& words) {
        std::string line = "source " + Q(script) + " && COMP_WORDS=(" + Q(kVornix);
        for (const auto& w : words) line += " " + Q(w);
        line += ") && COMP_CWORD=" + std::to_string(words.size()) + " && _vornix && printf '%s\\n' \"${COMPREPLY[@]}\"";
        const auto r = run.Shell("bash -c " + Q(line));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::set<std::string> offered;
        for (const std::string& word : r.OutLines())
            if (!word.empty()) offered.insert(word);
        return offered;
    };
    using Words = std::set<std::string>;
    const Words commands = complete({""});
    for (const char* c : {"decode", "listen", "gen", "plot"}) EXPECT_EQ(commands.count(c), 1u) << c;
    EXPECT_EQ(complete({"ge"}), Words{"gen"});
    EXPECT_EQ(complete({"gen", "t"}), (Words{"tone", "tty"}));
    EXPECT_EQ(complete({"gen", "dtmf", "--bi"}), Words{"--bits"});
    EXPECT_EQ(complete({"gen", "dtmf", "--bits", ""}), (Words{"8", "16", "32"}));
    EXPECT_EQ(complete({"-q", "decode", "--channel", ""}).count("right"), 1u);
    EXPECT_EQ(complete({"decode", "--json", "key"}), Words{"keys.wav"});
    EXPECT_EQ(complete({"gen", "dtmf", "1", "-o", "ke"}), (Words{"keys.wav", "kept.raw"}));
    EXPECT_EQ(complete({"gen", "dtmf", "--seed", ""}), Words{}) << "a number: nothing to offer";
}

TEST_F(Courtesies, TheManPageHoldsEveryCommandsHelp) {
    const auto page = std::filesystem::path(kVornix).parent_path().parent_path() / "man" / "vornix.1";
    if (!std::filesystem::exists(page)) GTEST_SKIP() << "built without the man page";
    const auto r = run.Shell("cat " + Q(page.string()));
    EXPECT_NE(r.out.find(".SH NAME"), std::string::npos);
    std::size_t sections = 0;
    for (const auto& [command, help] : HelpPages()) {
        if (command.empty()) continue;
        EXPECT_NE(r.out.find("vornix " + command + ":"), std::string::npos) << command;
        ++sections;
    }
    EXPECT_GE(sections, 13u);
    EXPECT_NE(r.out.find("\\-\\-seed"), std::string::npos);
}

}  // namespace
