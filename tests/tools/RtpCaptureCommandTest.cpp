// vornix decode on packet captures of telephone calls, and vornix listen --rtp on RTP sent
// to it as it happens. The captures come from tests/tools/rtp_capture.py, which builds
// them with scapy from a description written here; every capture is read back by
// tests/tools/rtp_capture_check.py before the command sees it. The audio comes from
// vornix gen, coded to G.711 by sox; what the command finds in a stream is held against
// what it finds in the WAV sox decodes back from the same G.711 bytes.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
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

using Json = nlohmann::json;
namespace fs = std::filesystem;

const std::string kVornix = CommandRunner::Quote(VORNIX_CLI_PATH);
const std::string kBuilder = VORNIX_SOURCE_DIR "/tests/tools/rtp_capture.py";
const std::string kChecker = VORNIX_SOURCE_DIR "/tests/tools/rtp_capture_check.py";
// Debian's interpreter, which has python3-scapy; another python3 on the path may not.
const std::string kPython = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";

constexpr int kPacket = 160;  // samples in a 20 ms G.711 packet
constexpr const char* kStart = "2026-12-08T22:57:34.120Z";

// Milliseconds since 1970 of an ISO 8601 time with milliseconds and an offset
// ("2026-12-08T22:57:34.120+00:00"), and the offset as written; nothing for other text.
struct Moment {
    std::int64_t ms = 0;
    std::string offset;
};
std::optional<Moment> ParseTime(const std::string& text) {
    static const std::regex form(R"((\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)\.(\d{3})(([+-])(\d\d):(\d\d)))");
    std::smatch m;
    if (!std::regex_match(text, m, form)) return std::nullopt;
    std::tm tm{};
    tm.tm_year = std::stoi(m[1]) - 1900;
    tm.tm_mon = std::stoi(m[2]) - 1;
    tm.tm_mday = std::stoi(m[3]);
    tm.tm_hour = std::stoi(m[4]);
    tm.tm_min = std::stoi(m[5]);
    tm.tm_sec = std::stoi(m[6]);
    const std::int64_t offsetMinutes = (m[9] == "-" ? -1 : 1) * (std::stoi(m[10]) * 60 + std::stoi(m[11]));
    return Moment{(static_cast<std::int64_t>(timegm(&tm)) - offsetMinutes * 60) * 1000 + std::stoi(m[7]), m[8]};
}

std::int64_t StartMs() {
    return ParseTime("2026-12-08T22:57:34.120+00:00")->ms;
}

std::vector<Json> JsonLines(const CommandRunner::Result& r) {
    std::vector<Json> events;
    for (const std::string& line : r.OutLines()) {
        Json j = Json::parse(line, nullptr, false);
        if (!j.is_discarded() && j.contains("event")) events.push_back(j);
    }
    return events;
}

std::string StreamName(const std::string& src, const std::string& dst, std::uint32_t ssrc) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", ssrc);
    return src + " > " + dst + " SSRC " + hex;
}

// One G.711 stream of a capture description, starting at kStart.
Json Stream(const std::string& audio, int payloadType, std::uint32_t ssrc, const std::string& src, const std::string& dst) {
    return {{"audio", audio}, {"payload_type", payloadType}, {"ssrc", ssrc}, {"src", src}, {"dst", dst},
            {"start", kStart}, {"sequence", 1000}, {"timestamp", 160000}};
}

class RtpCapture : public ::testing::Test {
protected:
    void SetUp() override {
        if (run.Shell("command -v sox").exitCode != 0) GTEST_SKIP() << "sox is needed";
        if (run.Shell(kPython + " -c 'import scapy.all'").exitCode != 0) GTEST_SKIP() << "python3-scapy is needed";
    }
    CommandRunner::Result Vornix(const std::string& args) const { return run.Shell(kVornix + " " + args); }
    void Gen(const std::string& args) const {
        const auto made = Vornix("gen -q " + args);
        ASSERT_EQ(made.exitCode, 0) << args << "\n" << made.err;
    }
    // NAME.wav coded by sox to NAME.ul and NAME.al, and what sox decodes back from each:
    // NAME-ul.wav, NAME-al.wav.
    void Code(const std::string& name) const {
        const auto r = run.Shell("sox " + name + ".wav -t ul " + name + ".ul && sox " + name + ".wav -t al " + name +
                                 ".al && sox -t ul -r 8000 -c 1 " + name + ".ul " + name + "-ul.wav && sox -t al -r 8000 -c 1 " +
                                 name + ".al " + name + "-al.wav");
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    // Writes the capture the description names and checks it against the description;
    // the builder's report of dropped and swapped packets, one JSON object a stream.
    std::vector<Json> Capture(const Json& description) const {
        const std::string name = description["output"].get<std::string>() + ".json";
        std::ofstream(run.Path(name)) << description.dump(2);
        const auto built = run.Run(kPython, {kBuilder, name, "--report"});
        EXPECT_EQ(built.exitCode, 0) << built.err;
        const auto checked = run.Run(kPython, {kChecker, name});
        EXPECT_EQ(checked.exitCode, 0) << "the capture is not what its description says:\n" << checked.out << checked.err;
        std::vector<Json> report;
        for (const std::string& line : built.OutLines()) report.push_back(Json::parse(line, nullptr, false));
        return report;
    }
    std::vector<Json> Decode(const std::string& file, const std::string& detect, const std::string& tz = "UTC") const {
        const auto r = run.Shell("TZ=" + tz + " " + kVornix + " decode --json --detect " + detect + " " + file);
        EXPECT_EQ(r.exitCode, 0) << file << "\n" << r.err;
        return JsonLines(r);
    }
    // The samples of a WAV sox wrote, through sox as 16-bit numbers.
    std::vector<std::int16_t> Samples(const std::string& wav) const {
        EXPECT_EQ(run.Shell("sox " + wav + " -t s16 samples.raw").exitCode, 0);
        std::ifstream in(run.Path("samples.raw"), std::ios::binary);
        std::vector<std::int16_t> s;
        for (std::int16_t v; in.read(reinterpret_cast<char*>(&v), sizeof v);) s.push_back(v);
        return s;
    }
    CommandRunner run;
};

// Position within one packet of the WAV's, Seconds its own, Time the stream's start plus
// Seconds, the stream's name: the members a capture adds to a file's events.
void ExpectPlacedInStream(const Json& e, std::int64_t wavPosition, const std::string& stream, std::int64_t startMs,
                          const std::string& offset = "+00:00") {
    const std::int64_t position = e.value("Position", std::int64_t{-1});
    EXPECT_NEAR(static_cast<double>(position), static_cast<double>(wavPosition), kPacket) << e.dump();
    EXPECT_NEAR(e.value("Seconds", -1.0), static_cast<double>(position) / 8000.0, 1e-6) << e.dump();
    EXPECT_EQ(e.value("Stream", ""), stream) << e.dump();
    const auto time = ParseTime(e.value("Time", ""));
    ASSERT_TRUE(time.has_value()) << e.dump();
    EXPECT_EQ(time->offset, offset);
    EXPECT_NEAR(static_cast<double>(time->ms), static_cast<double>(startMs) + position / 8.0, 1.0) << e.dump();
}

// The same events as the WAV's, in its order, every member the WAV has alike but where it
// is (which ExpectPlacedInStream checks).
void ExpectSameEvents(const std::vector<Json>& got, const std::vector<Json>& wav, const std::string& stream,
                      const std::string& offset = "+00:00") {
    ASSERT_EQ(got.size(), wav.size()) << "capture:\n" << Json(got).dump(1) << "\nwav:\n" << Json(wav).dump(1);
    for (std::size_t i = 0; i < wav.size(); ++i) {
        SCOPED_TRACE(wav[i].dump());
        for (const auto& [member, value] : wav[i].items()) {
            if (member == "file" || member == "Position" || member == "Seconds") continue;
            EXPECT_EQ(got[i].value(member, Json()), value) << member;
        }
        ExpectPlacedInStream(got[i], wav[i]["Position"].get<std::int64_t>(), stream, StartMs(), offset);
        if (wav[i]["event"] == "OnDTMF") {
            EXPECT_EQ(got[i].value("Source", ""), "audio");
        }
        EXPECT_FALSE(got[i].contains("CallID")) << "a capture without SIP names no call";
    }
}

std::string Keys(const std::vector<Json>& events, const std::string& source = "") {
    std::string keys;
    for (const Json& e : events)
        if (e.value("event", "") == "OnDTMF" && (source.empty() || e.value("Source", "") == source))
            keys += e.value("RecvChar", "");
    return keys;
}

// ------------------------------------------------------------- G.711 streams against their WAV

TEST_F(RtpCapture, MuLawAndALawStreamsGiveTheirWavsEventsAtTheirPlacesDespiteLossAndReordering) {
    // Keys, an on-hook caller ID and an intercept tone, with silence between them.
    Gen("dtmf 159 --lead 300 -o keys.wav");
    Gen("cid --number 6175550123 --name 'JOHN DOE' --lead 600 -o cid.wav");
    Gen("sit IC --lead 300 --announcement 300 -o sit.wav");
    ASSERT_EQ(run.Shell("sox keys.wav cid.wav sit.wav call.wav").exitCode, 0);
    Code("call");
    const std::map<std::string, std::vector<Json>> wav = {{"ul", Decode("call-ul.wav", "dtmf,cid,sit")},
                                                          {"al", Decode("call-al.wav", "dtmf,cid,sit")}};
    ASSERT_EQ(Keys(wav.at("ul")), "159");
    ASSERT_EQ(wav.at("ul").size(), 5u) << "three keys, the caller ID and the tone";

    struct Case {
        const char* codec;
        int payloadType;
        double drop, reorder;
        const char* tz;
        const char* offset;
    };
    // Seed 90 drops only packets of silence in this audio (checked below): a key or a
    // caller ID with a hole in it is not the one sent, which is no fault of the command.
    const Case cases[] = {{"ul", 0, 0, 0, "UTC", "+00:00"},
                          {"al", 8, 0, 0, "IST-5:30", "+05:30"},
                          {"ul", 0, 0.02, 0.05, "UTC", "+00:00"},
                          {"al", 8, 0.02, 0.05, "UTC", "+00:00"}};
    for (const Case& c : cases) {
        const std::string name = std::string("call-") + c.codec + (c.drop > 0 ? "-lossy" : "") + ".pcap";
        SCOPED_TRACE(name);
        Json stream = Stream(std::string("call.") + c.codec, c.payloadType, 0x5EED0001, "192.0.2.1:4000", "192.0.2.2:5004");
        stream["drop"] = c.drop;
        stream["reorder"] = c.reorder;
        stream["seed"] = 90;
        const auto report = Capture({{"output", name}, {"streams", {stream}}});
        ASSERT_EQ(report.size(), 1u);
        if (c.drop > 0) {
            ASSERT_FALSE(report[0]["dropped"].empty());
            ASSERT_FALSE(report[0]["swapped"].empty());
            const auto samples = Samples(std::string("call-") + c.codec + ".wav");
            for (const Json& offset : report[0]["dropped"]) {
                const std::size_t at = offset.get<std::size_t>();
                ASSERT_LE(at + kPacket, samples.size());
                for (std::size_t n = at; n < at + kPacket; ++n) ASSERT_LT(std::abs(samples[n]), 300) << "dropped at " << at;
            }
        }
        const auto got = Decode(name, "dtmf,cid,sit", c.tz);
        ExpectSameEvents(got, wav.at(c.codec), StreamName("192.0.2.1:4000", "192.0.2.2:5004", 0x5EED0001), c.offset);
        for (const Json& e : got) EXPECT_EQ(e.value("file", ""), name);
    }
}

// ------------------------------------------------------------- calls named by their SIP

TEST_F(RtpCapture, TwoCallsGiveEachStreamItsOwnKeysUnderItsCallIdInBandAndOutOfBand) {
    // Keys 4 and 7 in the audio at 400 and 900 ms, 100 ms each.
    Gen("dtmf 47 --lead 400 --duration 100 --gap 400 -o inband.wav");
    Code("inband");
    const auto wav = Decode("inband-ul.wav", "dtmf");
    ASSERT_EQ(Keys(wav), "47");

    // Call one: PCMU as 96 and telephone-event as 97. Call two: PCMA as 8 and
    // telephone-event as 96, so 96 means audio in one call and keys in the other; its SIP
    // in compact header names.
    const std::string a1 = "192.0.2.10:4000", b1 = "192.0.2.20:5004", a2 = "198.51.100.10:7000", b2 = "198.51.100.20:7002";
    auto call = [](const std::string& id, const std::string& caller, const std::string& callee, const std::string& offer,
                   const std::string& answer, int codecPt, const char* codec, int eventPt, bool compact) {
        const Json side = {{"codec_pt", codecPt}, {"codec", codec}, {"event_pt", eventPt}};
        Json offered = side, answered = side;
        offered["rtp"] = offer;
        answered["rtp"] = answer;
        return Json{{"call_id", id}, {"caller", caller}, {"callee", callee}, {"time", "2026-12-08T22:57:33.000Z"},
                    {"compact", compact}, {"offer", offered}, {"answer", answered}};
    };
    const std::string id1 = "a84b4c76e66710@pc33.example.com", id2 = "f81d4fae-7dec-11d0-a765-00a0c91e6bf6@192.0.2.4";
    const Json calls = {call(id1, "192.0.2.10:5060", "192.0.2.20:5060", a1, b1, 96, "PCMU", 97, false),
                        call(id2, "198.51.100.10:5060", "198.51.100.20:5060", a2, b2, 8, "PCMA", 96, true)};

    // One: the keys in the audio and as events at the same moments.
    Json both = Stream("inband.ul", 96, 0xA1, a1, b1);
    both["codec"] = "PCMU";
    both["event_payload_type"] = 97;
    both["events"] = {{{"key", "4"}, {"start_ms", 400}, {"duration_ms", 100}}, {{"key", "7"}, {"start_ms", 900}, {"duration_ms", 100}}};
    // One, the other way: events only, no audio while a key is held (the timestamps jump
    // where the sequence numbers do not); a key shorter than one update interval is sent
    // as its three end packets alone.
    Json events = {{"duration_ms", 1500}, {"payload_type", 96}, {"codec", "PCMU"}, {"ssrc", 0xB1}, {"src", b1}, {"dst", a1},
                   {"start", "2026-12-08T22:57:34.130Z"}, {"sequence", 65530}, {"timestamp", 4294960000u},
                   {"event_payload_type", 97}, {"audio_during_events", "none"},
                   {"events", {{{"key", "#"}, {"start_ms", 300}, {"duration_ms", 160}}, {{"key", "0"}, {"start_ms", 800}, {"duration_ms", 40}}}}};
    // Two: keys as events over silence; the other way the keys in the audio alone.
    Json silent = {{"duration_ms", 1500}, {"payload_type", 8}, {"ssrc", 0xC2}, {"src", a2}, {"dst", b2}, {"start", kStart},
                   {"event_payload_type", 96}, {"audio_during_events", "silence"},
                   {"events", {{{"key", "9"}, {"start_ms", 500}, {"duration_ms", 120}}}}};
    Json inbandOnly = Stream("inband.al", 8, 0xD2, b2, a2);
    Capture({{"output", "calls.pcap"}, {"calls", calls}, {"streams", {both, events, silent, inbandOnly}}});

    const auto got = Decode("calls.pcap", "dtmf");
    std::map<std::string, std::vector<Json>> byStream;
    for (const Json& e : got) byStream[e.value("Stream", "")].push_back(e);
    const std::string sBoth = StreamName(a1, b1, 0xA1), sEvents = StreamName(b1, a1, 0xB1),
                      sSilent = StreamName(a2, b2, 0xC2), sInband = StreamName(b2, a2, 0xD2);
    EXPECT_EQ(byStream.size(), 4u) << Json(got).dump(1);
    const std::map<std::string, std::string> idOf = {{sBoth, id1}, {sEvents, id1}, {sSilent, id2}, {sInband, id2}};
    for (const auto& [stream, list] : byStream) {
        ASSERT_EQ(idOf.count(stream), 1u) << "a stream that was not sent: " << stream;
        for (const Json& e : list) EXPECT_EQ(e.value("CallID", ""), idOf.at(stream)) << e.dump();
    }

    // Each key once from its audio and once from its events, the two alike.
    const auto& b = byStream[sBoth];
    EXPECT_EQ(Keys(b, "audio"), "47");
    EXPECT_EQ(Keys(b, "rfc4733"), "47") << "three end packets are one key";
    EXPECT_EQ(b.size(), 4u);
    for (const Json& e : b) {
        const char key = e.value("RecvChar", "?")[0];
        EXPECT_EQ(e.value("RawCode", 0), key) << e.dump();
        const Json& heard = wav[key == '4' ? 0 : 1];
        if (e.value("Source", "") == "audio") {
            ExpectPlacedInStream(e, heard["Position"].get<std::int64_t>(), sBoth, StartMs());
        } else {
            // An event is where its key starts, or where it ends.
            const std::int64_t start = key == '4' ? 3200 : 7200;
            EXPECT_GE(e.value("Position", -1), start - kPacket) << e.dump();
            EXPECT_LE(e.value("Position", -1), start + 800 + kPacket) << e.dump();
        }
    }

    // Out of band alone, each key once, where its events say, the stream's start moved
    // 10 ms; and the A-law keys of the other call in the audio only.
    struct Sent {
        const std::string& stream;
        std::string keys;
        std::vector<std::pair<std::int64_t, std::int64_t>> spans;  // ms
        std::int64_t startMs;
    };
    for (const Sent& s : {Sent{sEvents, "#0", {{300, 460}, {800, 840}}, StartMs() + 10}, Sent{sSilent, "9", {{500, 620}}, StartMs()}}) {
        SCOPED_TRACE(s.stream);
        const auto& list = byStream[s.stream];
        EXPECT_EQ(Keys(list, "rfc4733"), s.keys);
        ASSERT_EQ(list.size(), s.spans.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::int64_t position = list[i].value("Position", std::int64_t{-1});
            EXPECT_GE(position, s.spans[i].first * 8 - kPacket) << list[i].dump();
            EXPECT_LE(position, s.spans[i].second * 8 + kPacket) << list[i].dump();
            ExpectPlacedInStream(list[i], position, s.stream, s.startMs);
        }
    }
    const auto& heardOnly = byStream[sInband];
    EXPECT_EQ(Keys(heardOnly, "audio"), "47");
    EXPECT_EQ(heardOnly.size(), 2u);
}

// ------------------------------------------------------------- what a capture is made of

TEST_F(RtpCapture, LinkTypesIpv6PcapngAndWrapsGiveTheSameKeysAndNoiseNoStream) {
    // 1.5 s of keys; the sequence numbers wrap after 0.72 s, the timestamps after 0.75 s.
    Gen("dtmf 1590#D --lead 300 -o keys.wav");
    Code("keys");
    const auto wav = Decode("keys-ul.wav", "dtmf");
    ASSERT_EQ(Keys(wav), "1590#D");

    struct Case {
        const char* output;
        const char* link;
        const char* format;
        const char* resolution;
        const char* byteOrder;
        std::string src, dst;
    };
    const std::string v4a = "192.0.2.1:4000", v4b = "192.0.2.2:5004", v6a = "[2001:db8::1]:4000", v6b = "[2001:db8:0:1::2]:5004";
    // The last is found to be pcapng by its content, whatever its name.
    const Case cases[] = {{"eth.pcap", "ethernet", "pcap", "us", "little", v4a, v4b},
                          {"sll.pcap", "sll", "pcap", "ns", "big", v4a, v4b},
                          {"raw6.pcap", "raw", "pcap", "us", "little", v6a, v6b},
                          {"eth6.pcapng", "ethernet", "pcapng", "us", "little", v6a, v6b},
                          {"sll6.pcapng", "sll", "pcapng", "ns", "big", v6a, v6b},
                          {"capture.dat", "raw", "pcapng", "ns", "little", v4a, v4b}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        Json stream = Stream("keys.ul", 0, 0xFFFFFFFF, c.src, c.dst);
        stream["sequence"] = 65500;
        stream["timestamp"] = 4294967296u - 6000;
        Capture({{"output", c.output}, {"link", c.link}, {"format", c.format}, {"resolution", c.resolution},
                 {"byte_order", c.byteOrder}, {"streams", {stream}}});
        ExpectSameEvents(Decode(c.output, "dtmf"), wav, StreamName(c.src, c.dst, 0xFFFFFFFF));
    }

    // Beside a stream that decodes: one of a dynamic type no SDP describes (listed and
    // skipped, though its audio has keys), and DNS from a new port each query, whose
    // identifiers make some datagrams look like RTP version 2.
    Json known = Stream("keys.ul", 0, 0x600D, v4a, v4b);
    Json unknown = Stream("keys.ul", 97, 0xBAD, "192.0.2.7:6000", "192.0.2.8:6002");
    unknown["codec"] = "PCMU";
    const Json noise = {{"client", "192.0.2.30"}, {"server", "192.0.2.53:53"}, {"queries", 40}, {"start", kStart}, {"interval_ms", 40}};
    Capture({{"output", "mixed.pcap"}, {"streams", {known, unknown}}, {"noise", {noise}}});
    const auto r = run.Shell("TZ=UTC " + kVornix + " decode --json --detect dtmf mixed.pcap");
    EXPECT_EQ(r.exitCode, 0) << "one stream decoded is success\n" << r.err;
    ExpectSameEvents(JsonLines(r), wav, StreamName(v4a, v4b, 0x600D));
    EXPECT_NE(r.err.find("192.0.2.7:6000 > 192.0.2.8:6002"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("192.0.2.53"), std::string::npos) << "DNS is no stream\n" << r.err;
    EXPECT_EQ(r.out.find("192.0.2.53"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("192.0.2.7"), std::string::npos) << r.out;

    // Piped in, the same capture gives the same lines under "-"; naming type 97 decodes the
    // stream that was skipped, and nothing is listed any more.
    const auto piped = run.Shell("TZ=UTC " + kVornix + " decode --json --detect dtmf - < mixed.pcap");
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    std::string renamed = r.out;
    for (std::size_t at; (at = renamed.find("\"file\":\"mixed.pcap\"")) != std::string::npos;)
        renamed.replace(at, 19, "\"file\":\"-\"");
    EXPECT_EQ(piped.out, renamed);
    const auto named = run.Shell("TZ=UTC " + kVornix + " decode --json --detect dtmf --rtp-payload 97=PCMU/8000 mixed.pcap");
    EXPECT_EQ(named.exitCode, 0) << named.err;
    // The two streams' keys interleave, as their packets do.
    EXPECT_EQ(Keys(JsonLines(named)), "11559900##DD");
    EXPECT_EQ(named.err, "");
}

// ------------------------------------------------------------- listening live

// A UDP port nobody has now on 127.0.0.1.
int FreeUdpPort() {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = -1;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0) close(s);
    return port;
}

// Whether a UDP socket is bound to this port on IPv4 (/proc/net/udp lists "ADDR:PORT" in hex).
bool UdpPortBound(int port) {
    std::ifstream in("/proc/net/udp");
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X ", port);
    for (std::string line; std::getline(in, line);)
        if (line.find(wanted) != std::string::npos && line.find(wanted) < 20) return true;
    return false;
}

double MonotonicSeconds() {
    // steady_clock is CLOCK_MONOTONIC, the clock of Python's time.monotonic() in the sender's log.
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TEST_F(RtpCapture, ListenPrintsEachKeyOfALiveStreamWithinHalfASecondAndEndsOnInterrupt) {
    // Keys end at 600, 1100, 1600 and 2100 ms of the stream.
    Gen("dtmf 2580 --lead 500 --duration 100 --gap 400 -o live.wav");
    Code("live");
    const std::string keys = "2580";
    const int port = FreeUdpPort();
    ASSERT_GT(port, 0);
    std::ofstream(run.Path("live.json")) << Json{{"streams", {Stream("live.ul", 0, 0x11FE, "127.0.0.1:1", "127.0.0.1:2")}}}.dump();

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    // Started directly, not by a shell: a shell's background job ignores SIGINT.
    const std::string program = VORNIX_CLI_PATH, target = "127.0.0.1:" + std::to_string(port);
    std::vector<std::string> args = {program, "listen", "--rtp", target, "--json"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, run.Path("listen.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    posix_spawnattr_setsigdefault(&attributes, &interrupt);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeEnds[1]);
    ASSERT_EQ(spawned, 0);

    // Every line as it comes, with when it came.
    std::mutex lock;
    std::vector<std::pair<double, std::string>> lines;
    std::thread reader([&, fd = pipeEnds[0]] {
        std::string pending;
        char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
            const double now = MonotonicSeconds();
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                std::lock_guard<std::mutex> hold(lock);
                lines.emplace_back(now, pending.substr(0, end));
            }
        }
        close(fd);
    });
    // SIGINT, then SIGKILL should listen not end within three seconds; its exit code, or
    // -1 when it did not exit by itself.
    int status = 0;
    bool ended = false;
    auto stop = [&] {
        if (!ended) kill(pid, SIGINT);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            ended = waitpid(pid, &status, WNOHANG) == pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const bool byItself = ended;
        if (!ended) {
            kill(pid, SIGKILL);
            ended = waitpid(pid, &status, 0) == pid;
        }
        reader.join();
        return byItself && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!ended && !UdpPortBound(port) && std::chrono::steady_clock::now() < giveUp) {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (ended || !UdpPortBound(port)) {
        const int code = stop();
        FAIL() << "listen did not bind " << target << " (exit " << code << ")\n" << std::ifstream(run.Path("listen.err")).rdbuf();
    }
    const auto sent = run.Run(kPython, {kBuilder, "live.json", "--send", target, "--log", "sent.log"});
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const int exitCode = stop();
    ASSERT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_EQ(exitCode, 0) << "an interrupt is how listen ends\n" << std::ifstream(run.Path("listen.err")).rdbuf();

    // When the packet holding each key's last sample of tone went.
    std::map<std::int64_t, double> sentAt;  // first sample of the packet -> monotonic seconds
    std::ifstream log(run.Path("sent.log"));
    std::string ssrc, kind;
    double at = 0;
    std::int64_t sequence = 0, offset = 0;
    while (log >> at >> ssrc >> sequence >> offset >> kind) sentAt[offset] = at;
    ASSERT_EQ(sentAt.size(), 125u) << "2.5 s in 20 ms packets";

    std::vector<std::pair<double, Json>> events;
    for (const auto& [when, line] : lines) {
        Json j = Json::parse(line, nullptr, false);
        if (!j.is_discarded() && j.value("event", "") == "OnDTMF") events.emplace_back(when, j);
    }
    ASSERT_EQ(events.size(), keys.size()) << Json(lines).dump(1);
    const std::regex name(R"(127\.0\.0\.1:[0-9]+ > 127\.0\.0\.1:)" + std::to_string(port) + " SSRC 0x000011fe");
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const Json& e = events[k].second;
        SCOPED_TRACE(e.dump());
        EXPECT_EQ(e.value("RecvChar", ""), std::string(1, keys[k]));
        EXPECT_EQ(e.value("Source", ""), "audio");
        EXPECT_TRUE(std::regex_match(e.value("Stream", ""), name));
        const std::int64_t toneEnd = (600 + 500 * static_cast<std::int64_t>(k)) * 8 - 1;
        const double keySent = sentAt.at(toneEnd / kPacket * kPacket);
        const double delay = events[k].first - keySent;
        std::printf("key %c printed %.1f ms after its audio was sent\n", keys[k], delay * 1000);
        EXPECT_GE(delay, -0.005) << "printed before its audio was sent";
        EXPECT_LE(delay, 0.5);
    }
}

}  // namespace
