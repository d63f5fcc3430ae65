// Caller ID through the vornix command, as a user runs it: recordings made by minimodem
// (tests/fixtures/caller_id) and by vornix gen cid, stored by sox and ffmpeg in the
// formats a telephone recording comes in, decoded with vornix decode --json.
#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <numeric>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandRunner.h"

#ifndef VORNIX_CLI_PATH
#error "VORNIX_CLI_PATH must name the built vornix program"
#endif

namespace {

using Json = nlohmann::json;
const std::string kVornix = VORNIX_CLI_PATH;
const std::string kFixtures = std::string(VORNIX_SOURCE_DIR) + "/tests/fixtures/caller_id/";

constexpr double kRate = 8000.0;
constexpr double kSamplesPerBit = kRate / 1200.0;
constexpr int kBlock = 100;  // events carry the position of the block they were decided in
// vornix gen cid ends a transmission with ten mark bits and no silence.
constexpr int kGenTrailingBits = 10;
// The minimodem recordings end with its two closing marks and 0.1 s of silence (make.sh).
constexpr double kFixtureTail = 2 * kSamplesPerBit + 0.1 * kRate;

std::vector<int> Bytes(const std::string& text) {
    std::vector<int> bytes;
    for (unsigned char c : text) bytes.push_back(c);
    return bytes;
}

// A whole message as the line carries it: type, length, data, the checksum that makes
// the sum 0 modulo 256.
std::vector<int> Message(int type, const std::vector<int>& data) {
    std::vector<int> m{type, static_cast<int>(data.size())};
    m.insert(m.end(), data.begin(), data.end());
    const int sum = std::accumulate(m.begin(), m.end(), 0);
    m.push_back((256 - sum % 256) % 256);
    return m;
}

std::vector<int> Param(int type, const std::string& value) {
    std::vector<int> p{type, static_cast<int>(value.size())};
    const auto bytes = Bytes(value);
    p.insert(p.end(), bytes.begin(), bytes.end());
    return p;
}

std::vector<int> Join(const std::vector<std::vector<int>>& parts) {
    std::vector<int> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The Bell 202 fixture's message.
const std::vector<int>& Bell202Message() {
    static const auto m = Message(0x80, Join({Param(0x01, "03141559"), Param(0x02, "6175550123"),
                                              Param(0x07, "PINE HILL INN"), Param(0x03, "5550187")}));
    return m;
}

class CallerIdCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox && command -v soxi && command -v ffmpeg").exitCode != 0)
            GTEST_SKIP() << "sox and ffmpeg are needed";
    }

    // Every JSON line of decode --json with these detectors.
    std::vector<Json> Decode(const std::string& detectors, const std::string& file) {
        const auto r = run.Run(kVornix, {"decode", "--detect", detectors, "--json", file});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<Json> events;
        for (const std::string& line : r.OutLines()) {
            auto j = Json::parse(line, nullptr, false);
            EXPECT_FALSE(j.is_discarded()) << "not a JSON line: " << line;
            if (!j.is_discarded()) events.push_back(j);
        }
        return events;
    }

    static std::vector<Json> Only(const std::vector<Json>& events, const std::string& name) {
        std::vector<Json> only;
        for (const auto& e : events)
            if (e["event"] == name) only.push_back(e);
        return only;
    }

    // vornix gen cid with these options into a file of this name; its path.
    std::string Gen(const std::string& name, std::vector<std::string> options) {
        options.insert(options.begin(), {"gen", "cid", "-o", run.Path(name)});
        const auto r = run.Run(kVornix, options);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return run.Path(name);
    }

    // Samples in a recording, as soxi counts them.
    double Length(const std::string& file) {
        const auto r = run.Run("soxi", {"-s", file});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out.empty() ? 0.0 : std::stod(r.out);
    }

    CommandRunner run;
};

// The block in which the decoder saw the last stop bit of a message that ended at sample
// end: never a block before it, at most a character's worth of bits after it (a run of
// marks is decided when it ends or after eight bit periods).
void ExpectPositionAtMessageEnd(const Json& e, double end) {
    const double position = e["Position"];
    EXPECT_GT(position, end - kBlock - kSamplesPerBit) << e.dump();
    EXPECT_LE(position, end + 10 * kSamplesPerBit) << e.dump();
}

// ------------------------------------------------------------- recordings of another modem

TEST_F(CallerIdCommand, MinimodemRecordingsGiveEveryMember) {
    const std::string bell = kFixtures + "bell202_mdmf.wav";
    auto events = Decode("cid,cidcw,vmwi", bell);
    ASSERT_EQ(events.size(), 1u);
    const Json& e = events[0];
    EXPECT_EQ(e["file"], bell);
    EXPECT_EQ(e["event"], "OnCallerID");
    EXPECT_EQ(e["Status"], 1);
    EXPECT_EQ(e["Name"], "PINE HILL INN");
    EXPECT_EQ(e["CallerNumber"], "6175550123");
    EXPECT_EQ(e["CalledNumber"], "5550187");
    EXPECT_EQ(e["sDateTime"], "03-14 15:59");
    EXPECT_EQ(e["RawData"].get<std::vector<int>>(), Bell202Message());
    ExpectPositionAtMessageEnd(e, Length(bell) - kFixtureTail);

    const std::string v23 = kFixtures + "v23_mdmf.wav";
    events = Decode("cid", v23);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["Status"], 1);
    EXPECT_EQ(events[0]["Name"], "CAF\xC3\x89 DU PONT") << "the line's Latin-1 name comes out as UTF-8";
    EXPECT_EQ(events[0]["CallerNumber"], "0155501234");
    EXPECT_TRUE(events[0]["CalledNumber"].is_null());
    EXPECT_EQ(events[0]["sDateTime"], "11-05 09:45");
    const auto raw = events[0]["RawData"].get<std::vector<int>>();
    EXPECT_EQ(raw, Message(0x80, Join({Param(0x01, "11050945"), Param(0x02, "0155501234"),
                                       Param(0x07, "CAF\xC9 DU PONT")})))
        << "raw bytes are the line's, not the converted text";
    ExpectPositionAtMessageEnd(events[0], Length(v23) - kFixtureTail);

    const std::string vmwi = kFixtures + "bell202_vmwi.wav";
    events = Decode("cid,vmwi", vmwi);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["event"], "OnVMWI");
    EXPECT_EQ(events[0]["Status"], 1);
    EXPECT_EQ(events[0]["ParamsData"], 0x424242) << "the data bytes BBB";
    EXPECT_TRUE(Decode("cid", vmwi).empty());
}

// ------------------------------------------------------------- telephone codecs

struct CodecCase {
    const char* name;
    const char* recipe;    // makes out.wav from in.wav
    const char* encoding;  // as soxi -e names it
    bool keepsFsk;         // whether 1200 baud FSK survives the codec
};

void PrintTo(const CodecCase& c, std::ostream* out) { *out << c.recipe; }

class CallerIdThroughCodec : public CallerIdCommand, public ::testing::WithParamInterface<CodecCase> {};

// G.711 is a companding of each sample and keeps FSK intact. GSM 6.10 models speech and
// does not: minimodem's own receiver cannot read its own recording back through it either
// (the seizure survives, the data bits do not). There the promise is that a damaged
// message is never passed off as a good one.
TEST_P(CallerIdThroughCodec, MessageComesOutOrNeverAWrongOne) {
    const CodecCase& c = GetParam();
    struct Source {
        std::string file;
        std::string number, name, date;
    };
    const std::vector<Source> sources = {
        {kFixtures + "bell202_mdmf.wav", "6175550123", "PINE HILL INN", "03-14 15:59"},
        {kFixtures + "v23_mdmf.wav", "0155501234", "CAF\xC3\x89 DU PONT", "11-05 09:45"},
        {Gen("gen.wav", {"--number", "5551234567", "--name", "DOE JOHN", "--date", "12251430"}), "5551234567",
         "DOE JOHN", "12-25 14:30"},
    };
    std::string outcome;
    for (const Source& s : sources) {
        ASSERT_EQ(run.Shell("cp " + CommandRunner::Quote(s.file) + " in.wav && " + c.recipe).exitCode, 0) << c.recipe;
        const auto encoding = run.Shell("soxi -e out.wav");
        ASSERT_EQ(encoding.OutLines(), std::vector<std::string>{c.encoding}) << c.recipe;
        const auto original = Only(Decode("cid", s.file), "OnCallerID");
        const auto coded = Only(Decode("cid", run.Path("out.wav")), "OnCallerID");
        ASSERT_EQ(original.size(), 1u) << s.file;
        for (const Json& e : coded) {
            outcome += " status " + std::to_string(e["Status"].get<int>());
            if (e["Status"] == 1) {
                EXPECT_EQ(e["CallerNumber"], s.number) << s.file;
                EXPECT_EQ(e["Name"], s.name) << s.file;
                EXPECT_EQ(e["sDateTime"], s.date) << s.file;
            } else {
                EXPECT_EQ(e["Status"], 2) << s.file;
                for (const char* member : {"Name", "CallerNumber", "CalledNumber", "sDateTime"})
                    EXPECT_TRUE(e[member].is_null()) << s.file << " " << member;
            }
        }
        if (coded.empty()) outcome += " nothing";
        if (c.keepsFsk) {
            ASSERT_EQ(coded.size(), 1u) << s.file;
            EXPECT_EQ(coded[0]["Status"], 1) << s.file;
            EXPECT_EQ(coded[0]["RawData"], original[0]["RawData"]) << s.file;
            EXPECT_EQ(coded[0]["Position"], original[0]["Position"]) << s.file << ": G.711 adds no delay";
        }
    }
    RecordProperty("outcome", outcome);
    std::cout << "[ " << c.name << " ]" << outcome << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    SoxAndFfmpeg, CallerIdThroughCodec,
    ::testing::Values(CodecCase{"sox_alaw", "sox in.wav -e a-law out.wav", "A-law", true},
                      CodecCase{"sox_ulaw", "sox in.wav -e u-law out.wav", "u-law", true},
                      CodecCase{"ffmpeg_alaw", "ffmpeg -v error -y -i in.wav -c:a pcm_alaw out.wav", "A-law", true},
                      CodecCase{"ffmpeg_ulaw", "ffmpeg -v error -y -i in.wav -c:a pcm_mulaw out.wav", "u-law", true},
                      CodecCase{"sox_gsm", "sox in.wav -e gsm-full-rate out.wav", "GSM", false},
                      CodecCase{"ffmpeg_gsm", "ffmpeg -v error -y -i in.wav -c:a libgsm_ms out.wav", "GSM", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------- what each detector receives

TEST_F(CallerIdCommand, DetectAllReceivesCallerIdMessageWaitingAndTheCallWaitingAnswer) {
    auto events = Decode("all", kFixtures + "bell202_mdmf.wav");
    ASSERT_EQ(Only(events, "OnCallerID").size(), 1u);
    EXPECT_EQ(Only(events, "OnCallerID")[0]["CallerNumber"], "6175550123");
    events = Decode("all", kFixtures + "bell202_vmwi.wav");
    ASSERT_EQ(Only(events, "OnVMWI").size(), 1u);
    EXPECT_EQ(Only(events, "OnVMWI")[0]["Status"], 1);

    events = Decode("all", Gen("cw.wav", {"--call-waiting", "--number", "5550100"}));
    const auto ids = Only(events, "OnCallerID");
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0]["CallerNumber"], "5550100");
    // The handset's D answer is on the recording; with DTMF on it is a key of its own.
    const auto keys = Only(events, "OnDTMF");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0]["RecvChar"], "D");
    EXPECT_LT(keys[0]["Position"].get<int>(), ids[0]["Position"].get<int>());
}

TEST_F(CallerIdCommand, V23NeedsNoOption) {
    const std::string file = Gen("v23.wav", {"--standard", "v23", "--number", "0155509876", "--name", "QUAY",
                                             "--date", "07041200"});
    const auto events = Decode("cid", file);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["Status"], 1);
    EXPECT_EQ(events[0]["CallerNumber"], "0155509876");
    EXPECT_EQ(events[0]["Name"], "QUAY");
    EXPECT_EQ(events[0]["sDateTime"], "07-04 12:00");
    ExpectPositionAtMessageEnd(events[0], Length(file) - kGenTrailingBits * kSamplesPerBit);
}

// A call-waiting transmission has no seizure: only a decoder listening for the D answer
// opens a reception for it.
TEST_F(CallerIdCommand, CallWaitingIsReceivedOnlyWhenMonitored) {
    const std::string file =
        Gen("cw.wav", {"--call-waiting", "--number", "5550100", "--name", "CW TEST", "--date", "02290001"});
    EXPECT_TRUE(Decode("cid", file).empty());
    EXPECT_TRUE(Decode("cid,vmwi", file).empty());
    for (const char* detectors : {"cidcw", "cid,cidcw"}) {
        const auto events = Decode(detectors, file);
        ASSERT_EQ(events.size(), 1u) << detectors;
        EXPECT_EQ(events[0]["Status"], 1);
        EXPECT_EQ(events[0]["CallerNumber"], "5550100");
        EXPECT_EQ(events[0]["Name"], "CW TEST");
        EXPECT_EQ(events[0]["sDateTime"], "02-29 00:01");
        ExpectPositionAtMessageEnd(events[0], Length(file) - kGenTrailingBits * kSamplesPerBit);
    }
}

TEST_F(CallerIdCommand, MessageWaitingIsReportedOnlyWhenMonitored) {
    struct Case {
        std::vector<std::string> options;
        int status;
        int data;
    };
    const std::vector<Case> cases = {
        {{"--vmwi", "on"}, 1, 0x424242},
        {{"--vmwi", "off"}, 0, 0x6F6F6F},
        {{"--vmwi", "on", "--vmwi-format", "mdmf", "--messages", "3"}, 1, 3},
        {{"--vmwi", "off", "--vmwi-format", "mdmf"}, 0, 0},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& o : c.options) shown += o + " ";
        const std::string file = Gen("vmwi.wav", c.options);
        const auto events = Decode("cid,vmwi", file);
        ASSERT_EQ(events.size(), 1u) << shown;
        EXPECT_EQ(events[0]["event"], "OnVMWI") << shown;
        EXPECT_EQ(events[0]["Status"], c.status) << shown;
        EXPECT_EQ(events[0]["ParamsData"], c.data) << shown;
        EXPECT_TRUE(Decode("cid", file).empty()) << shown;
        EXPECT_TRUE(Decode("cidcw", file).empty()) << shown;
    }
}

TEST_F(CallerIdCommand, BadChecksumIsStatusTwoWithNoStrings) {
    for (const char* format : {"sdmf", "mdmf"}) {
        const std::string file =
            Gen("bad.wav", {"--format", format, "--number", "5550100", "--date", "12251830", "--bad-checksum"});
        const auto events = Decode("cid", file);
        ASSERT_EQ(events.size(), 1u) << format;
        const Json& e = events[0];
        EXPECT_EQ(e["Status"], 2) << format;
        for (const char* member : {"Name", "CallerNumber", "CalledNumber", "sDateTime"})
            EXPECT_TRUE(e[member].is_null()) << format << " " << member;
        // The bytes that failed the check are handed on as received.
        const auto raw = e["RawData"].get<std::vector<int>>();
        ASSERT_GT(raw.size(), 2u);
        EXPECT_EQ(raw[0], std::string(format) == "sdmf" ? 0x04 : 0x80);
        EXPECT_EQ(raw.size(), static_cast<std::size_t>(raw[1]) + 3);
        EXPECT_NE(std::accumulate(raw.begin(), raw.end(), 0) % 256, 0);
        ExpectPositionAtMessageEnd(e, Length(file) - kGenTrailingBits * kSamplesPerBit);
    }
}

// The Japanese transmission has no seizure either: the ring before it is what opens the
// reception, so the same FSK without its ring is not received.
TEST_F(CallerIdCommand, JapaneseIsReceivedOnlyAfterItsRing) {
    const std::string file = Gen("jp.wav", {"--standard", "japanese", "--number", "0312345678"});
    const auto events = Decode("cid", file);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["Status"], 1);
    EXPECT_EQ(events[0]["CallerNumber"], "0312345678");
    EXPECT_TRUE(events[0]["Name"].is_null());
    EXPECT_TRUE(events[0]["sDateTime"].is_null());
    ExpectPositionAtMessageEnd(events[0], Length(file) - kGenTrailingBits * kSamplesPerBit);

    // Ring 1 s, quiet 1 s: cutting 1.5 s leaves the quiet end of the gap and the FSK.
    ASSERT_EQ(run.Shell("sox jp.wav noring.wav trim 1.5").exitCode, 0);
    EXPECT_TRUE(Decode("cid", run.Path("noring.wav")).empty());
}

}  // namespace
