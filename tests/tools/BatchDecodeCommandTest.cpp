// vornix decode on many files at once: the workers print what one decoder prints, in the
// files' order; names from --files-from; --output-dir's mirrored names, each file written
// whole and a failing one not at all; Ctrl-C in the middle of a batch and the run that
// resumes it with --skip-existing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CommandRunner.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kVornix = CommandRunner::Quote(VORNIX_CLI_PATH);

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The numbers of the summary line, the last line on stderr.
struct Summary {
    bool found = false;
    int files = -1, failed = -1, skipped = 0;
    double hours = -1;
    bool interrupted = false;
};
Summary SummaryOf(const std::string& err) {
    static const std::regex line(
        "vornix decode: ([0-9]+) files, ([0-9]+) failed, ([0-9.]+) hours of audio, [0-9.]+ s, [0-9.]+x real "
        "time(, ([0-9]+) skipped \\(output exists\\))?(, interrupted: [0-9]+ not decoded)?\n$");
    Summary s;
    std::smatch m;
    if (!std::regex_search(err, m, line)) return s;
    s.found = true;
    s.files = std::stoi(m[1]);
    s.failed = std::stoi(m[2]);
    s.hours = std::stod(m[3]);
    if (m[5].matched) s.skipped = std::stoi(m[5]);
    s.interrupted = m[6].matched;
    return s;
}

class BatchDecode : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox").exitCode != 0) GTEST_SKIP() << "sox is needed";
    }
    CommandRunner::Result Vornix(const std::string& args) const { return run.Shell(kVornix + " " + args); }
    void Gen(const std::string& args) const {
        const auto made = Vornix("gen " + args);
        ASSERT_EQ(made.exitCode, 0) << args << "\n" << made.err;
    }
    CommandRunner run;
};

// ------------------------------------------------------------- the same output

TEST_F(BatchDecode, TwoWorkersPrintWhatOneDoesAndAFailingFileLeavesTheOthers) {
    // Keys, TTY text left without a line end (held by each worker's printer until its
    // file ends) and a stereo file whose channels are decoded apart.
    Gen("dtmf 0123 -o a.wav");
    Gen("tty 'HELLO WORLD' -o b.wav");
    Gen("dtmf 456 -o c.wav --noise -40 --seed 3");
    Gen("tty 'RYRY 73' -o d.wav --lead 500");
    Gen("dtmf 789D -o e.wav --lead 900");
    ASSERT_EQ(run.Shell("cp a.wav left.wav && sox -M left.wav e.wav f.wav").exitCode, 0);
    ASSERT_EQ(run.Shell("head -c 3000 c.wav > cut.wav && echo noise > bad.wav").exitCode, 0);
    const std::string files = "a.wav b.wav missing.wav c.wav d.wav bad.wav e.wav f.wav cut.wav";
    for (const char* way : {"--detect dtmf,tty", "--json --detect dtmf,tty", "--json --channel both"}) {
        const std::string options = way;
        SCOPED_TRACE(options);
        const auto one = Vornix("decode -j 1 " + options + " " + files);
        const auto two = Vornix("decode -j 2 " + options + " " + files);
        const auto four = Vornix("decode -j 4 " + options + " " + files);
        EXPECT_EQ(one.exitCode, 1);
        EXPECT_EQ(two.exitCode, 1);
        ASSERT_GT(one.OutLines().size(), 10u) << one.err;
        EXPECT_EQ(two.out, one.out);
        EXPECT_EQ(four.out, one.out);
        // The error lines too, in the files' order; the summary counts every file.
        auto errors = [](const std::string& err) { return err.substr(0, err.rfind("vornix decode:")); };
        EXPECT_EQ(errors(two.err), errors(one.err));
        EXPECT_EQ(errors(four.err), errors(one.err));
        const Summary s = SummaryOf(two.err);
        ASSERT_TRUE(s.found) << two.err;
        EXPECT_EQ(s.files, 9);
        EXPECT_EQ(s.failed, 3) << "missing.wav, bad.wav and the cut file";
    }
    // The batch's lines for each file are the file's own, as decoding it alone prints them.
    std::string alone;
    for (const char* f : {"a.wav", "b.wav", "c.wav"}) alone += Vornix(std::string("decode --detect dtmf,tty ") + f).out;
    EXPECT_EQ(Vornix("decode -j 2 --detect dtmf,tty a.wav b.wav c.wav").out, alone);

    // Names from a list, after those on the command line: from a file (an empty line,
    // a Windows line end) and from stdin.
    std::ofstream(run.Path("list.txt")) << "b.wav\n\nc.wav\r\n";
    const std::string expected = Vornix("decode -j 1 --json a.wav b.wav c.wav").out;
    EXPECT_EQ(Vornix("decode -j 2 --json a.wav --files-from list.txt").out, expected);
    const auto piped = run.Shell("printf 'a.wav\\nb.wav\\nc.wav\\n' | " + kVornix + " decode -j 2 --json --files-from -");
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, expected);
    EXPECT_EQ(SummaryOf(piped.err).files, 3);
    // Standard input among files is decoded by itself, in its turn.
    const auto mixed = run.Shell("cat b.wav | " + kVornix + " decode -j 2 --json a.wav - c.wav");
    EXPECT_EQ(mixed.out, std::regex_replace(expected, std::regex("\"file\":\"b.wav\""), "\"file\":\"-\""));

    // What is refused before anything is decoded.
    for (const std::string& bad : {std::string("decode --files-from nothing.txt"), std::string("decode -j 0 a.wav"),
                                   std::string("printf 'a.wav\\n' | ") + kVornix + " decode --files-from - -",
                                   std::string("decode --skip-existing a.wav")}) {
        const auto r = bad.find('|') != std::string::npos ? run.Shell(bad) : Vornix(bad);
        EXPECT_EQ(r.exitCode, 2) << bad << "\n" << r.err;
        EXPECT_EQ(r.out, "") << bad;
    }
}

// ------------------------------------------------------------- --output-dir

TEST_F(BatchDecode, OutputDirWritesEachFileWholeUnderItsMirroredName) {
    fs::create_directories(run.Path("x/calls"));
    fs::create_directories(run.Path("y/calls"));
    fs::create_directories(run.Path("work"));
    Gen("dtmf 12 -o x/calls/one.wav");
    Gen("dtmf 34 -o y/calls/one.wav");
    Gen("dtmf 56 -o x/calls/one.mp3.wav");
    Gen("dtmf 78 -o top.wav");
    const std::string absolute = run.Path("top.wav");
    // From work/: a relative name, one above, and an absolute one.
    const auto r = run.Shell("cd work && " + kVornix + " decode -j 2 --output-dir ../out ../x/calls/one.wav " +
                             "../y/calls/one.wav ../x/calls/one.mp3.wav ../nothing.wav " + CommandRunner::Quote(absolute));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("nothing.wav: no such file"), std::string::npos) << r.err;
    const Summary s = SummaryOf(r.err);
    EXPECT_EQ(s.files, 5);
    EXPECT_EQ(s.failed, 1);
    // Every name below the folder, mirrored from the absolute path; nothing else there.
    const std::string root = run.Folder().substr(1);
    std::map<std::string, std::string> expected = {{root + "/x/calls/one.wav.jsonl", "x/calls/one.wav"},
                                                   {root + "/y/calls/one.wav.jsonl", "y/calls/one.wav"},
                                                   {root + "/x/calls/one.mp3.wav.jsonl", "x/calls/one.mp3.wav"},
                                                   {root + "/top.wav.jsonl", "top.wav"}};
    std::size_t found = 0;
    for (const auto& entry : fs::recursive_directory_iterator(run.Path("out"))) {
        if (!entry.is_regular_file()) continue;
        ++found;
        const std::string name = fs::relative(entry.path(), run.Path("out")).string();
        ASSERT_EQ(expected.count(name), 1u) << "unexpected " << name;
        // The file's JSON lines as --json prints them, its name as it was given.
        const std::string input = expected[name];
        const std::string given = input == "top.wav" ? absolute : "../" + input;
        const auto alone = run.Shell("cd work && " + kVornix + " decode --json " + CommandRunner::Quote(given));
        ASSERT_NE(alone.out, "");
        EXPECT_EQ(ReadFile(entry.path().string()), alone.out) << name;
    }
    EXPECT_EQ(found, expected.size());

    // Two names of one output, or an output that would be another's folder, are refused.
    for (const std::string& clash : {std::string("top.wav ./top.wav"), std::string("top.wav x/../top.wav"),
                                     std::string("x/calls/one.wav x/calls/one.wav.jsonl/z.wav")}) {
        const auto refused = Vornix("decode --output-dir clash " + clash);
        EXPECT_EQ(refused.exitCode, 2) << clash << "\n" << refused.err;
        EXPECT_FALSE(fs::exists(run.Path("clash"))) << clash;
    }
    EXPECT_EQ(Vornix("decode --output-dir out -").exitCode, 2) << "standard input has no name";
}

// ------------------------------------------------------------- Ctrl-C and resuming

TEST_F(BatchDecode, InterruptedBatchKeepsOnlyWholeOutputsAndResumesWithoutRedoingAny) {
    // One recording under many names: long enough that the batch is still running when
    // its first output appears. Every detector, so each worker's printers all have work.
    const int seconds = kSanitized ? 12 : 60;
    std::string keys;
    while (keys.size() < static_cast<std::size_t>(seconds * 5)) keys += "0123456789*#ABCD";
    keys.resize(static_cast<std::size_t>(seconds * 5));
    fs::create_directories(run.Path("calls"));
    Gen("dtmf " + keys + " --duration 100 --gap 100 --noise -35 -o calls/c00.wav");
    constexpr int kFiles = 16;
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "calls/c%02d.wav", i);
        names.push_back(name);
        if (i > 0) fs::create_hard_link(run.Path(names[0]), run.Path(name));
    }
    std::ofstream list(run.Path("list.txt"));
    for (const std::string& n : names) list << n << '\n';
    list.close();
    const auto alone = Vornix("decode --json --detect all " + names[0]);
    ASSERT_EQ(alone.exitCode, 0) << alone.err;
    // The events of the first name, under another.
    auto expectedOf = [&](const std::string& name) {
        std::string text = alone.out;
        const std::string from = "\"file\":\"" + names[0] + "\"", to = "\"file\":\"" + name + "\"";
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        return text;
    };
    const std::string out = run.Path("out/calls");

    // Started directly, not by a shell: a shell's background job ignores SIGINT.
    const std::string program = VORNIX_CLI_PATH;
    std::vector<std::string> args = {program, "decode", "-j", "2", "--detect", "all", "--output-dir", "out", "--files-from", "list.txt"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, run.Folder().c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, run.Path("first.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, run.Path("first.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    posix_spawnattr_setsigdefault(&attributes, &interrupt);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    // Ctrl-C once the first file is written.
    int status = 0;
    bool exited = false;
    auto outputs = [&] {
        std::vector<std::string> present;
        if (fs::is_directory(out))
            for (const auto& entry : fs::directory_iterator(out)) present.push_back(entry.path().filename().string());
        return present;
    };
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!exited && std::chrono::steady_clock::now() < giveUp) {
        bool written = false;
        for (const std::string& n : outputs()) written = written || n.ends_with(".jsonl");
        if (written) break;
        exited = waitpid(pid, &status, WNOHANG) == pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(exited) << "the batch ended before it could be interrupted";
    kill(pid, SIGINT);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "a Ctrl-C ends the batch by itself, not the program";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const std::string firstErr = ReadFile(run.Path("first.err"));
    const Summary first = SummaryOf(firstErr);
    ASSERT_TRUE(first.found) << firstErr;
    EXPECT_TRUE(first.interrupted);
    EXPECT_LT(first.files, kFiles);

    // Only whole outputs, under their final names, and no temporary file left.
    struct Kept {
        ino_t inode;
        timespec modified;
    };
    std::map<std::string, Kept> kept;
    for (const std::string& n : outputs()) {
        ASSERT_TRUE(n.ends_with(".wav.jsonl") && n[0] != '.') << "left behind: " << n;
        const std::string input = "calls/" + n.substr(0, n.size() - 6);
        EXPECT_EQ(ReadFile(out + "/" + n), expectedOf(input)) << n;
        struct stat st {};
        ASSERT_EQ(stat((out + "/" + n).c_str(), &st), 0);
        kept[n] = {st.st_ino, st.st_mtim};
    }
    EXPECT_EQ(static_cast<int>(kept.size()), first.files);

    // The resumed run decodes the others only; every output is then whole and the
    // first run's are the very files it wrote.
    const auto resumed = Vornix("decode -j 2 --detect all --output-dir out --skip-existing --files-from list.txt");
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    const Summary second = SummaryOf(resumed.err);
    ASSERT_TRUE(second.found) << resumed.err;
    EXPECT_EQ(second.skipped, static_cast<int>(kept.size()));
    EXPECT_EQ(second.files, kFiles - static_cast<int>(kept.size()));
    EXPECT_EQ(second.failed, 0);
    EXPECT_EQ(outputs().size(), static_cast<std::size_t>(kFiles));
    for (const std::string& input : names) {
        const std::string n = fs::path(input).filename().string() + ".jsonl";
        EXPECT_EQ(ReadFile(out + "/" + n), expectedOf(input)) << n;
        if (const auto k = kept.find(n); k != kept.end()) {
            struct stat st {};
            ASSERT_EQ(stat((out + "/" + n).c_str(), &st), 0);
            EXPECT_EQ(st.st_ino, k->second.inode) << n << " was written again";
            EXPECT_TRUE(st.st_mtim.tv_sec == k->second.modified.tv_sec && st.st_mtim.tv_nsec == k->second.modified.tv_nsec)
                << n << " was written again";
        }
    }
}

}  // namespace
