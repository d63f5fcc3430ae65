// vornix decode and listen on the inputs a user meets: headerless audio described by rate,
// encoding and channels; both channels of a stereo input; a live pipe; every error the
// command prints for a file it cannot decode; the list of stream formats; listen's
// wall-clock times.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandRunner.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

extern char** environ;

namespace {

const std::string kVornix = CommandRunner::Quote(VORNIX_CLI_PATH);

std::vector<nlohmann::json> JsonLines(const CommandRunner::Result& r) {
    std::vector<nlohmann::json> events;
    for (const std::string& line : r.OutLines()) {
        auto j = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(j.is_discarded()) << "not a JSON line: " << line;
        if (!j.is_discarded()) events.push_back(j);
    }
    return events;
}

std::string Keys(const std::vector<nlohmann::json>& events, const std::string& channel = "") {
    std::string keys;
    for (const auto& e : events)
        if (channel.empty() || e.value("Channel", "") == channel) keys += e.value("RecvChar", "?");
    return keys;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

class InputCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox").exitCode != 0) GTEST_SKIP() << "sox is needed";
    }
    // Keys written by vornix gen: lead ms of silence, then 70 ms keys 90 ms apart.
    std::string Gen(const std::string& name, const std::string& keys, int lead = 300) {
        const auto made = run.Shell(kVornix + " gen dtmf " + keys + " -o " + name + " --lead " + std::to_string(lead) +
                                    " --duration 70 --gap 90");
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return name;
    }
    CommandRunner run;
};

// ------------------------------------------------------------- raw formats

TEST_F(InputCommand, EveryRawEncodingOnStdinGivesTheKeysAtTheWavesPositions) {
    Gen("keys.wav", "159D");
    const auto wave = JsonLines(run.Shell(kVornix + " decode --json keys.wav"));
    ASSERT_EQ(Keys(wave), "159D");
    struct Case {
        const char* encoding;
        const char* sox;  // sox's name of the samples
        int rate;
        int channels;
    };
    const Case cases[] = {{"s16le", "-e signed -b 16 -L", 8000, 1},  {"s16be", "-e signed -b 16 -B", 8000, 1},
                          {"u8", "-e unsigned -b 8", 8000, 1},       {"s8", "-e signed -b 8", 8000, 1},
                          {"f32le", "-e floating-point -b 32", 16000, 1}, {"alaw", "-e a-law", 8000, 1},
                          {"ulaw", "-e u-law", 8000, 1},             {"s16be", "-e signed -b 16 -B", 11025, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + " " + std::to_string(c.rate) + " Hz " + std::to_string(c.channels));
        const std::string format = " --rate " + std::to_string(c.rate) + " --encoding " + c.encoding + " --channels " +
                                   std::to_string(c.channels);
        const std::string samples = "sox keys.wav -t raw -r " + std::to_string(c.rate) + " -c " + std::to_string(c.channels) + " " + c.sox;
        const auto r = run.Shell(samples + " - | " + kVornix + " decode --json" + format + " -");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto events = JsonLines(r);
        ASSERT_EQ(Keys(events), "159D");
        for (std::size_t i = 0; i < events.size(); ++i)
            EXPECT_NEAR(events[i]["Seconds"].get<double>(), wave[i]["Seconds"].get<double>(), 0.02) << i;
    }
    // The encodings the command converts itself work from a .raw file too.
    ASSERT_EQ(run.Shell("sox keys.wav -t raw -e signed -b 8 keys8.raw").exitCode, 0);
    const auto r = run.Shell(kVornix + " decode --json --encoding s8 keys8.raw");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Keys(JsonLines(r)), "159D");
}

TEST_F(InputCommand, FormatsListsTheLibrarysTableAndItsRecordsDecode) {
    const auto r = run.Shell(kVornix + " formats");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.OutLines();
    ASSERT_EQ(lines.size(), 67u);  // a heading, then 0 to 65
    EXPECT_EQ(lines[3], "    2  PCM                       8.000 kHz, 16 Bit, Mono");
    EXPECT_NE(lines[38].find("CCITT A-Law"), std::string::npos) << lines[38];
    EXPECT_EQ(lines[66].substr(0, 13), "   65  custom");
    const auto json = JsonLines(run.Shell(kVornix + " formats --json"));
    ASSERT_EQ(json.size(), 66u);
    for (int i = 0; i < 66; ++i) EXPECT_EQ(json[i]["index"], i);
    // Entry 0's record read back as --format-id decodes 8-bit mono.
    Gen("keys.wav", "42");
    const auto decoded = run.Shell("sox keys.wav -t raw -e unsigned -b 8 - | " + kVornix + " decode --json --format-id " +
                                   json[0]["id"].get<std::string>() + " -");
    EXPECT_EQ(Keys(JsonLines(decoded)), "42") << decoded.err;
}

// ------------------------------------------------------------- stereo

TEST_F(InputCommand, BothChannelsEachWithTheirOwnKeysAndTheSilentChannelWarning) {
    Gen("left.wav", "123");
    Gen("right.wav", "ABCD", 500);
    ASSERT_EQ(run.Shell("sox -M left.wav right.wav both.wav && sox both.wav -t raw both.raw").exitCode, 0);
    const std::vector<std::string> ways = {kVornix + " decode --json --channel both both.wav",
                                           kVornix + " decode --json --channel both --channels 2 - < both.raw"};
    for (const std::string& way : ways) {
        const auto r = run.Shell(way);
        ASSERT_EQ(r.exitCode, 0) << way << "\n" << r.err;
        EXPECT_EQ(r.err, "") << way;
        const auto events = JsonLines(r);
        EXPECT_EQ(Keys(events, "left"), "123") << way;
        EXPECT_EQ(Keys(events, "right"), "ABCD") << way;
        EXPECT_EQ(Keys(events).size(), 7u) << "every line names its channel: " << way;
    }
    // A mono input has one channel, and says so.
    auto r = run.Shell(kVornix + " decode --json --channel both left.wav");
    ASSERT_EQ(Keys(JsonLines(r), "mono"), "123") << r.out;

    // Keys on the right only: the left channel is silent, and the command says so.
    ASSERT_EQ(run.Shell("sox right.wav -c 2 onlyright.wav remix 0 1 && sox onlyright.wav -t raw onlyright.raw").exitCode, 0);
    for (const std::string& input : {std::string("onlyright.wav"), std::string("--channels 2 - < onlyright.raw")}) {
        r = run.Shell(kVornix + " decode " + input);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "");
        const std::string name = input == "onlyright.wav" ? input : "-";
        EXPECT_EQ(FirstLine(r.err), "vornix: " + name +
                                        ": warning: the left channel is silent and the right channel is not; --channel "
                                        "right decodes that one, --channel both decodes both");
        r = run.Shell(kVornix + " decode --channel right " + input);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.OutLines().size(), 4u);
    }
    EXPECT_EQ(run.Shell(kVornix + " decode --quiet onlyright.wav").err, "") << "--quiet holds warnings back";
    // Neither channel heard: nothing to choose between.
    ASSERT_EQ(run.Shell("sox -n -r 8000 -c 2 quiet.wav trim 0 1").exitCode, 0);
    EXPECT_EQ(run.Shell(kVornix + " decode quiet.wav").err, "");
}

// ------------------------------------------------------------- errors

TEST_F(InputCommand, EveryErrorSaysFirstWhatIsWrongWithTheInput) {
    Gen("keys.wav", "5");
    ASSERT_EQ(run.Shell("mkdir folder && mkfifo pipe && : > empty.wav && echo hello > notes.txt && "
                        "sox keys.wav -t raw keys.bin && head -c 7000 keys.wav > cut.wav")
                  .exitCode,
              0);
    struct Case {
        std::string args;
        int exitCode;
        std::string firstLine;  // exact; ending in '*': this much of it
    };
    const std::string unknown = ": not a format Vornix reads (headerless audio needs a .raw or .pcm name, or standard "
                                "input with --rate, --encoding and --channels): Error descending into file.";
    const std::vector<Case> cases = {
        {"decode missing.wav", 1,
         "vornix: missing.wav: no such file: mmioOpen() failed, error:file not found., file name:'missing.wav'"},
        {"decode folder", 1, "vornix: folder: is a directory"},
        // A named pipe that nobody writes to would block the open for ever.
        {"decode pipe", 1, "vornix: pipe: is a named pipe, not a file: give it as standard input (vornix decode - < pipe)"},
        {"decode empty.wav", 1, "vornix: empty.wav: is empty: *"},
        {"decode notes.txt", 1, "vornix: notes.txt" + unknown},
        {"decode keys.bin", 1, "vornix: keys.bin" + unknown},
        {"decode cut.wav", 1, "vornix: cut.wav: truncated: its header gives *"},
        {"decode ''", 1, "vornix: '': no file name (the argument is empty)"},
        {"frobnicate keys.wav", 2, "vornix: 'frobnicate' is not a command (decode, listen, gen, plot, formats)"},
        {"decode --encoding s24le -", 2, "*--encoding: s24le not in {s16le,s16be,u8,s8,f32le,alaw,ulaw}"},
        {"decode --channels 3 -", 2, "*--channels: 3 not in {1,2}"},
        {"decode --rate 100 -", 2, "*--rate: '100' is outside 1000 to 384000"},
        {"decode --rate 8000 --format-index 2 -", 2, "*--format-index excludes --rate"},
        {"decode --channel middle keys.wav", 2, "*--channel: middle not in {left,right,both}"},
    };
    for (const Case& c : cases) {
        const auto r = run.Shell("timeout 20 " + kVornix + " " + c.args + " < /dev/null");
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.err;
        const std::string first = FirstLine(r.err);
        if (c.firstLine.front() == '*')
            EXPECT_NE(first.find(c.firstLine.substr(1)), std::string::npos) << c.args << ": " << first;
        else if (c.firstLine.back() == '*')
            EXPECT_EQ(first.substr(0, c.firstLine.size() - 1), c.firstLine.substr(0, c.firstLine.size() - 1)) << c.args;
        else
            EXPECT_EQ(first, c.firstLine) << c.args;
    }
    // The cut file's one key is still printed before it fails.
    EXPECT_EQ(run.Shell(kVornix + " decode cut.wav").OutLines().size(), 1u);
}

TEST_F(InputCommand, AFileThatCannotBeOpenedSaysPermissionDenied) {
    // Root reads every file: the command runs as nobody then, from a folder nobody may enter.
    const bool root = geteuid() == 0;
    if (root && run.Shell("command -v setpriv").exitCode != 0) GTEST_SKIP() << "setpriv is needed when run as root";
    Gen("locked.wav", "5");
    std::filesystem::permissions(run.Folder(), std::filesystem::perms(0755));
    std::filesystem::permissions(run.Path("locked.wav"), std::filesystem::perms::none);
    const std::string as = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const auto r = run.Shell(as + kVornix + " decode locked.wav");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(FirstLine(r.err).substr(0, 51), "vornix: locked.wav: cannot be read: permission deni") << r.err;
}

// ------------------------------------------------------------- live

// A child process with its standard input and output on pipes.
struct Child {
    pid_t pid = -1;
    int in = -1;   // the child's stdin
    int out = -1;  // the child's stdout

    static Child Spawn(const std::vector<std::string>& args) {
        int toChild[2], fromChild[2];
        Child c;
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return c;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&c.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) c.pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        c.in = toChild[1];
        c.out = fromChild[0];
        return c;
    }
};

// One key per 300 ms, 100 ms of tone, after 200 ms of silence: 8 kHz 16-bit samples.
std::vector<std::int16_t> LiveKeys(int keys) {
    constexpr int kRate = 8000;
    const double pairs[][2] = {{697, 1209}, {770, 1336}, {852, 1477}, {941, 1633}};
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kRate) * (200 + 300 * keys + 500) / 1000, 0);
    for (int k = 0; k < keys; ++k) {
        const std::size_t start = static_cast<std::size_t>(kRate) * (200 + 300 * k) / 1000;
        for (int i = 0; i < kRate / 10; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double v = 0.3 * (std::sin(2 * M_PI * pairs[k % 4][0] * t) + std::sin(2 * M_PI * pairs[k % 4][1] * t));
            samples[start + static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(v * 32767));
        }
    }
    return samples;
}

// Writes the keys into the command's stdin at real-time pace, 20 ms a block, and reads its
// events as they come. Each event must arrive within 100 ms of the moment the block
// holding its position was written. Returns the latest such delay in ms, or -1 when the
// events are not the keys.
double LatestEventDelayMs() {
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t kBlock = 160;  // 20 ms at 8 kHz
    const std::vector<std::int16_t> samples = LiveKeys(4);
    const std::size_t blocks = samples.size() / kBlock;
    std::vector<Clock::time_point> written(blocks);
    Child child = Child::Spawn({VORNIX_CLI_PATH, "decode", "--json", "-"});
    if (child.pid < 0) return -1;
    std::thread writer([&] {
        const Clock::time_point start = Clock::now();
        for (std::size_t b = 0; b < blocks; ++b) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(20 * b));
            written[b] = Clock::now();
            if (write(child.in, samples.data() + b * kBlock, kBlock * 2) != static_cast<ssize_t>(kBlock * 2)) break;
        }
        close(child.in);
    });
    std::vector<std::pair<std::string, Clock::time_point>> lines;
    std::string pending;
    char buffer[4096];
    while (true) {
        const ssize_t n = read(child.out, buffer, sizeof buffer);
        if (n <= 0) break;
        const Clock::time_point now = Clock::now();
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
            lines.emplace_back(pending.substr(0, end), now);
    }
    writer.join();
    close(child.out);
    int status = 0;
    waitpid(child.pid, &status, 0);
    std::string keys;
    double latest = 0.0;
    for (const auto& [line, arrived] : lines) {
        const auto j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded()) return -1;
        keys += j.value("RecvChar", "?");
        const auto block = static_cast<std::size_t>(j["Position"].get<std::int64_t>()) / kBlock;
        if (block >= blocks) return -1;
        latest = std::max(latest, std::chrono::duration<double, std::milli>(arrived - written[block]).count());
    }
    return keys == "159D" ? latest : -1;
}

TEST(LivePipe, EachEventArrivesWithinOneHundredMillisecondsOfItsAudio) {
    // A busy machine may hold the command back once; buffering would hold every event
    // back until the end of the stream, whatever the load, so three tries tell the two apart.
    double delay = -1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        delay = LatestEventDelayMs();
        std::printf("latest event %.1f ms after its audio\n", delay);
        ASSERT_GE(delay, 0) << "the events were not the keys written";
        if (delay <= 100.0) break;
    }
    EXPECT_LE(delay, 100.0);
}

TEST_F(InputCommand, ListenStampsEachEventWithItsWallClockTime) {
    // ALSA's file plugin records from a file, so listen runs without a sound card.
    if (!std::filesystem::exists("/usr/share/alsa/alsa.conf")) GTEST_SKIP() << "ALSA's configuration is needed";
    Gen("keys.wav", "73");
    ASSERT_EQ(run.Shell("sox keys.wav -t raw keys.raw pad 0 1").exitCode, 0);
    std::ofstream(run.Path("asound.conf")) << "</usr/share/alsa/alsa.conf>\npcm.keys {\n type file\n slave.pcm \"null\"\n"
                                              " file \"/dev/null\"\n infile \"" << run.Path("keys.raw") << "\"\n format \"raw\"\n}\n";
    const auto before = std::chrono::system_clock::now();
    const auto r = run.Shell("ALSA_CONFIG_PATH=asound.conf timeout -s INT 2 " + kVornix + " listen --device keys --json");
    const auto after = std::chrono::system_clock::now();
    if (r.err.find("without ALSA") != std::string::npos) GTEST_SKIP() << r.err;
    const auto events = JsonLines(r);
    ASSERT_EQ(Keys(events), "73") << r.err;
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
    for (const auto& e : events) {
        const std::string time = e.value("Time", "");
        ASSERT_TRUE(std::regex_match(time, iso)) << time;
        EXPECT_TRUE(e.contains("Seconds"));
        // The time is that of the audio, which was recorded while the command ran.
        std::tm tm{};
        strptime(time.substr(0, 19).c_str(), "%Y-%m-%dT%H:%M:%S", &tm);
        tm.tm_isdst = -1;
        const auto at = std::chrono::system_clock::from_time_t(std::mktime(&tm));
        EXPECT_GE(at, std::chrono::time_point_cast<std::chrono::seconds>(before) - std::chrono::seconds(1)) << time;
        EXPECT_LE(at, after) << time;
    }
    // decode keeps its lines without a time.
    EXPECT_FALSE(JsonLines(run.Shell(kVornix + " decode --json keys.wav"))[0].contains("Time"));
}

// ------------------------------------------------------------- 64-bit positions

// More than 2^32 samples through the decoder: about half a minute in an optimised build,
// many minutes under the sanitizers, where it is skipped (the unwrapping itself is checked
// at every seam of the counter in InputPiecesTest).
TEST_F(InputCommand, KeysAfterMoreThanTwoToTheThirtyTwoSamplesHaveTheirWholePositions) {
#if VORNIX_SANITIZED
    GTEST_SKIP() << "too long under the sanitizers";
#endif
    Gen("keys.wav", "9");
    ASSERT_EQ(run.Shell("sox keys.wav -t raw -e signed -b 8 key.raw").exitCode, 0);
    constexpr std::int64_t kZeros = (std::int64_t{1} << 32) + 1'000'000;
    const auto r = run.Shell("{ head -c " + std::to_string(kZeros) + " /dev/zero; cat key.raw; } | " + kVornix +
                             " decode --json --encoding s8 -");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto events = JsonLines(r);
    ASSERT_EQ(Keys(events), "9");
    const auto wave = JsonLines(run.Shell(kVornix + " decode --json keys.wav"));
    // Where the key is in its own file, moved by the zeros; within one DTMF block (102
    // samples), since the blocks fall differently after the zeros.
    const std::int64_t expected = kZeros + wave[0]["Position"].get<std::int64_t>();
    EXPECT_NEAR(static_cast<double>(events[0]["Position"].get<std::int64_t>()), static_cast<double>(expected), 102);
    EXPECT_NEAR(events[0]["Seconds"].get<double>(), static_cast<double>(events[0]["Position"].get<std::int64_t>()) / 8000, 1e-6);
}

}  // namespace
