// The vornix command, run as a user runs it, on recordings made by tools we did not write:
// sox synthesises the keys and sox and ffmpeg store them in the formats a telephone
// recording comes in.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandRunner.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

namespace {

const std::string kVornix = VORNIX_CLI_PATH;

// The keys of every recording: all four rows and all four columns. Each is a 100 ms tone
// pair and 100 ms of silence, after 200 ms of silence.
const std::string kKeys = "1593#0*D";
constexpr double kLeadSeconds = 0.2;
constexpr double kSlotSeconds = 0.2;

std::string SoxKeyCommands() {
    static const std::map<char, std::pair<int, int>> tones = {
        {'1', {697, 1209}}, {'5', {770, 1336}}, {'9', {852, 1477}}, {'3', {697, 1477}},
        {'#', {941, 1477}}, {'0', {941, 1336}}, {'*', {941, 1209}}, {'D', {941, 1633}}};
    std::string commands = "sox -n -r 8000 -b 16 -c 1 lead.wav trim 0 0.2";
    std::string parts = "lead.wav";
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const auto [row, col] = tones.at(kKeys[i]);
        const std::string part = "key" + std::to_string(i) + ".wav";
        // Two sine generators make two channels; "channels 1" mixes them into one.
        commands += " && sox -n -r 8000 -b 16 -c 1 " + part + " synth 0.1 sine " + std::to_string(row) + " sine " +
                    std::to_string(col) + " channels 1 pad 0 0.1";
        parts += " " + part;
    }
    return commands + " && sox " + parts + " keys16.wav";
}

// How each input is made from the 16-bit recording sox synthesised.
const std::map<std::string, std::string>& Recipes() {
    static const std::map<std::string, std::string> recipes = {
        {"keys8.wav", "sox keys16.wav -b 8 -e unsigned-integer keys8.wav"},
        {"keysfloat.wav", "sox keys16.wav -e floating-point -b 32 keysfloat.wav"},
        {"keysfloatext.wav", "ffmpeg -v error -i keys16.wav -c:a pcm_f32le keysfloatext.wav"},
        {"keys44k.wav", "sox keys16.wav -r 44100 keys44k.wav"},
        {"keysright.wav", "sox keys16.wav -c 2 keysright.wav remix 0 1"},
        {"keysalaw.wav", "sox keys16.wav -e a-law keysalaw.wav"},
        {"keysgsm.wav", "ffmpeg -v error -i keys16.wav -c:a libgsm_ms keysgsm.wav"},
        {"keys.mp3", "ffmpeg -v error -i keys16.wav -c:a libmp3lame -b:a 32k keys.mp3"},
    };
    return recipes;
}

class VornixCommand : public ::testing::Test {
protected:
    // Makes an input on first use: each test process makes only what it decodes.
    std::string Input(const std::string& name) {
        if (!std::filesystem::exists(run.Path("keys16.wav"))) {
            const auto made = run.Shell(SoxKeyCommands());
            EXPECT_EQ(made.exitCode, 0) << made.err;
        }
        if (name != "keys16.wav" && !std::filesystem::exists(run.Path(name))) {
            const auto made = run.Shell(Recipes().at(name));
            EXPECT_EQ(made.exitCode, 0) << made.err;
        }
        return run.Path(name);
    }

    CommandRunner::Result Vornix(const std::vector<std::string>& args) const { return run.Run(kVornix, args); }

    static std::vector<nlohmann::json> JsonLines(const CommandRunner::Result& r) {
        std::vector<nlohmann::json> events;
        for (const std::string& line : r.OutLines()) {
            auto j = nlohmann::json::parse(line, nullptr, false);
            EXPECT_FALSE(j.is_discarded()) << "not a JSON line: " << line;
            if (!j.is_discarded()) events.push_back(j);
        }
        return events;
    }

    static std::string Keys(const std::vector<nlohmann::json>& events) {
        std::string keys;
        for (const auto& e : events) keys += e.value("RecvChar", "?");
        return keys;
    }

    CommandRunner run;
};

// ------------------------------------------------------------- formats

struct FormatCase {
    const char* file;
    std::vector<std::string> options;
    double rate;
    double maxDelaySeconds;  // codec delay before the audio: MP3 encoders and decoders add one
};

class VornixDecodesFormat : public VornixCommand, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(VornixDecodesFormat, JsonLinesCarryEveryKeyWithItsPositionAndSeconds) {
    const FormatCase& c = GetParam();
    const std::string file = Input(c.file);
    std::vector<std::string> args = {"decode", "--json"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(file);
    const auto r = Vornix(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const auto events = JsonLines(r);
    EXPECT_EQ(Keys(events), kKeys);
    for (std::size_t i = 0; i < events.size(); ++i) {
        const auto& e = events[i];
        EXPECT_EQ(e["file"], file);
        EXPECT_EQ(e["event"], "OnDTMF");
        const std::string key = e["RecvChar"];
        ASSERT_EQ(key.size(), 1u);
        EXPECT_EQ(e["RawCode"], static_cast<int>(key[0]));
        // Seconds are the position at the recording's own rate, and fall in the key's slot.
        const double seconds = e["Seconds"];
        EXPECT_NEAR(seconds, e["Position"].get<double>() / c.rate, 1e-9);
        const double slot = kLeadSeconds + kSlotSeconds * static_cast<double>(i);
        EXPECT_GE(seconds, slot) << "key " << key;
        EXPECT_LE(seconds, slot + kSlotSeconds + c.maxDelaySeconds) << "key " << key;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SoxAndFfmpegRecordings, VornixDecodesFormat,
    ::testing::Values(FormatCase{"keys16.wav", {}, 8000, 0}, FormatCase{"keys8.wav", {}, 8000, 0},
                      FormatCase{"keysfloat.wav", {}, 8000, 0}, FormatCase{"keysfloatext.wav", {}, 8000, 0},
                      FormatCase{"keys44k.wav", {}, 44100, 0},
                      FormatCase{"keysright.wav", {"--channel", "right"}, 8000, 0},
                      FormatCase{"keysalaw.wav", {}, 8000, 0}, FormatCase{"keysgsm.wav", {}, 8000, 0},
                      FormatCase{"keys.mp3", {}, 8000, 0.3}),
    [](const auto& info) {
        std::string name = info.param.file;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST_F(VornixCommand, TheLeftChannelOfARecordingWithKeysOnTheRightHasNone) {
    const auto r = Vornix({"decode", "--json", Input("keysright.wav")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST_F(VornixCommand, RawPcmOnStdinIsDecodedInTheChosenFormat) {
    Input("keys16.wav");
    auto r = run.Shell("sox keys16.wav -t raw - | " + CommandRunner::Quote(kVornix) + " decode --json -");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto events = JsonLines(r);
    EXPECT_EQ(Keys(events), kKeys);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0]["file"], "-");

    // The same audio as unsigned 8-bit bytes reads as keys only in the 8-bit format.
    const std::string bytes8 = "sox keys16.wav -t raw -e unsigned-integer -b 8 - | " + CommandRunner::Quote(kVornix);
    r = run.Shell(bytes8 + " decode --json --format-index 0 -");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Keys(JsonLines(r)), kKeys);
    r = run.Shell(bytes8 + " decode --json --format-id 01000100401f0000401f0000010008000000 -");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Keys(JsonLines(r)), kKeys);
}

TEST_F(VornixCommand, RobustDtmfIsTheCommandsDefaultAndExactCanBeAsked) {
    // A key whose column tone is 3.5 % high (1336 -> 1382.8 Hz): a receiver should reject
    // it; the detector as designed takes it.
    const auto made = run.Shell("sox -n -r 8000 -b 16 -c 1 off.wav synth 0.1 sine 770 sine 1382.8 channels 1 pad 0.2 0.3");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    auto r = Vornix({"decode", "--json", run.Path("off.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Keys(JsonLines(r)), "");
    r = Vornix({"decode", "--json", "--dtmf-profile", "exact", run.Path("off.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Keys(JsonLines(r)), "5");
    EXPECT_EQ(Vornix({"decode", "--dtmf-profile", "loose", run.Path("off.wav")}).exitCode, 2);
}

// ------------------------------------------------------------- output and options

TEST_F(VornixCommand, WithoutJsonEachKeyIsOneReadableLineAndStderrStaysQuiet) {
    const std::string file = Input("keys16.wav");
    const auto r = Vornix({"decode", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Not a terminal: no progress bar, no other chatter.
    EXPECT_EQ(r.err, "");
    const auto lines = r.OutLines();
    ASSERT_EQ(lines.size(), kKeys.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string prefix = file + "  ";
        const std::string suffix = std::string(" s  DTMF ") + kKeys[i];
        ASSERT_EQ(lines[i].rfind(prefix, 0), 0u) << lines[i];
        ASSERT_GE(lines[i].size(), prefix.size() + suffix.size());
        EXPECT_EQ(lines[i].substr(lines[i].size() - suffix.size()), suffix) << lines[i];
        const std::string seconds = lines[i].substr(prefix.size(), lines[i].size() - prefix.size() - suffix.size());
        EXPECT_NEAR(std::stod(seconds), kLeadSeconds + kSlotSeconds * static_cast<double>(i) + 0.1, 0.1) << lines[i];
        EXPECT_EQ(seconds.size() - seconds.find('.'), 4u) << "three decimals: " << lines[i];
    }
}

TEST_F(VornixCommand, DebugLinesGoToStderrOnlyWhenAskedFor) {
    const auto r = Vornix({"decode", "--json", "--debug", Input("keys16.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Keys(JsonLines(r)), kKeys);
    EXPECT_NE(r.err.find("debug: End of decoding."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("debug: DTMF tone detected"), std::string::npos) << r.err;
}

TEST_F(VornixCommand, TuningOptionsReachTheDetector) {
    const std::string file = Input("keys16.wav");
    // The keys are about 9 dB below full scale: a sensitivity of -3 dB refuses them all,
    // and switching the only detector off leaves nothing to report.
    auto r = Vornix({"decode", "--sensitive", "-3", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    r = Vornix({"decode", "--sensitive", "-30", "--relative-peak-test", "off", "--min-interval", "40", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.OutLines().size(), kKeys.size());
}

// ------------------------------------------------------------- exit codes

TEST_F(VornixCommand, AMissingFileFailsAloneAndTheOthersAreStillDecoded) {
    const std::string good = Input("keys16.wav"), other = Input("keysalaw.wav");
    const auto r = Vornix({"decode", "--json", good, run.Path("missing.wav"), other});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos) << r.err;
    const auto events = JsonLines(r);
    std::string fromGood, fromOther;
    for (const auto& e : events) (e["file"] == good ? fromGood : fromOther) += e.value("RecvChar", "?");
    EXPECT_EQ(fromGood, kKeys);
    EXPECT_EQ(fromOther, kKeys);
}

TEST_F(VornixCommand, BadUsageExitsWithTwoAndDecodesNothing) {
    const std::string file = Input("keys16.wav");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"decode"},
        {"frobnicate"},
        {"decode", "--no-such-option", file},
        {"decode", "--detect", "dtmf,caller-id-of-the-future", file},
        {"decode", "--channel", "middle", file},
        {"decode", "--relative-peak-test", "maybe", file},
        {"decode", "--min-duration", "nan", file},
        {"decode", "--sensitive", "3", file},
        {"decode", "--format-index", "66", file},
        {"decode", "--format-id", "0100", file},
        {"decode", "--format-index", "2", "--format-id", "01000100401f0000803e0000020010000000", file},
        {"gen", "dtmf", "12x", "-o", run.Path("g.wav")},
        {"gen", "dtmf", "123"},
        {"gen", "dtmf", "123", "-o", run.Path("g.wav"), "--bits", "24"},
        {"gen", "dtmf", "123", "-o", run.Path("g.wav"), "--duration", "-5"},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        const auto r = Vornix(args);
        EXPECT_EQ(r.exitCode, 2) << shown << "\n" << r.err;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_FALSE(r.err.empty()) << shown << ": a usage error must say what is wrong";
    }
    EXPECT_FALSE(std::filesystem::exists(run.Path("g.wav")));
}

TEST_F(VornixCommand, ListenWithoutASoundDeviceFailsWithATextNamingIt) {
    const auto r = Vornix({"listen", "--device", "vornix_no_such_device"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("vornix_no_such_device"), std::string::npos) << r.err;
}

// ------------------------------------------------------------- gen

TEST_F(VornixCommand, GenWritesTheFormatAskedForWithTheKeysWhereAskedFor) {
    const std::string file = run.Path("gen.wav");
    auto r = Vornix({"gen", "dtmf", "2468", "-o", file, "--rate", "16000", "--bits", "32", "--channels", "2", "--channel",
                     "right", "--noise", "-40", "--seed", "7", "--duration", "80", "--gap", "70", "--lead", "150"});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    // The header as sox reads it.
    r = run.Shell("soxi -c " + CommandRunner::Quote(file) + " && soxi -r " + CommandRunner::Quote(file) +
                  " && soxi -e " + CommandRunner::Quote(file));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"2", "16000", "Floating Point PCM"}));

    r = Vornix({"decode", "--json", "--channel", "right", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto events = JsonLines(r);
    EXPECT_EQ(Keys(events), "2468");
    // Lead-in, tone and gap lengths: each key is recognised within its own 150 ms slot.
    for (std::size_t i = 0; i < events.size(); ++i) {
        const double seconds = events[i]["Seconds"];
        EXPECT_GE(seconds, 0.150 + 0.150 * static_cast<double>(i));
        EXPECT_LE(seconds, 0.150 + 0.150 * static_cast<double>(i + 1));
    }
    r = Vornix({"decode", "--channel", "left", file});
    EXPECT_EQ(r.out, "");
}

TEST_F(VornixCommand, GenLevelsAndNoiseAreWhatTheOptionsSay) {
    // One long key without noise: two sines of peak a and b have an RMS of
    // sqrt((a^2 + b^2) / 2), which sox measures independently of us.
    auto rms = [&](const std::vector<std::string>& options) {
        std::vector<std::string> args = {"gen", "dtmf", "5", "-o", run.Path("level.wav"), "--duration", "1000", "--gap", "0"};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(Vornix(args).exitCode, 0);
        const auto r = run.Shell("sox level.wav -n stat 2>&1 | sed -n 's/^RMS *amplitude: *//p'");
        return std::stod(r.out.empty() ? "nan" : r.out);
    };
    const double low = std::pow(10.0, -12.0 / 20.0);
    const double high = std::pow(10.0, -6.0 / 20.0);
    EXPECT_NEAR(rms({"--level", "-12"}), low, 0.002);
    EXPECT_NEAR(rms({"--level", "-12", "--twist", "6"}), std::sqrt((low * low + high * high) / 2), 0.002);

    // Noise alone (a key of zero length): its power is that of a sine at the level asked.
    auto noise = [&](const std::string& seed, const std::string& name) {
        EXPECT_EQ(Vornix({"gen", "dtmf", "5", "-o", run.Path(name), "--duration", "0", "--gap", "1000", "--noise", "-20",
                          "--seed", seed})
                      .exitCode,
                  0);
        return run.Path(name);
    };
    const std::string a = noise("3", "a.wav"), b = noise("3", "b.wav"), c = noise("4", "c.wav");
    EXPECT_EQ(run.Shell("cmp -s a.wav b.wav").exitCode, 0) << "the same seed must give the same noise";
    EXPECT_NE(run.Shell("cmp -s a.wav c.wav").exitCode, 0) << "another seed must give other noise";
    const auto r = run.Shell("sox a.wav -n stat 2>&1 | sed -n 's/^RMS *amplitude: *//p'");
    EXPECT_NEAR(std::stod(r.out), std::pow(10.0, -20.0 / 20.0) / std::sqrt(2.0), 0.005);
}

}  // namespace
