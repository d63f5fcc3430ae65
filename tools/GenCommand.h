#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}
class SignalTimeline;
struct WAVEFORMATEX;

// vornix gen KIND: writes a test recording as a RIFF wave file (to stdout with -o -). Each
// kind of signal is a subcommand with its own options; the output format, noise and file
// options are common to every kind: DTMF keys, caller-ID transmissions, MF keys, paging
// tones, special information tones, cadenced tones, TTY text, SAME headers and generic FSK
// data.
class GenCommand {
public:
    explicit GenCommand(CLI::App& parent);
    bool Selected() const;
    int Run();

private:
    void AddCommonOptions(CLI::App& kind);
    int RunDtmf();
    int RunCid();
    int RunMf();
    int RunPaging();
    int RunSit();
    int RunTone();
    int RunTty();
    int RunSame();
    int RunFsk();
    // False, with a usage message for the kind, when a recording of this many samples
    // would not fit in a wave file.
    bool Fits(const char* kind, double samples) const;
    // False, with a usage message naming the tone and the rate, when a tone of hz would
    // lie at or above half the sample rate: it would fold onto another frequency and the
    // file would hold a signal other than the one asked for.
    bool BelowHalfRate(const char* kind, const std::string& tone, double hz) const;
    // False, with a usage message, when the keys, digits or text to send are empty: the
    // recording would hold no signal.
    static bool NotEmpty(const char* kind, const char* what, const std::string& text);
    // The bytes the cid options ask for; false, with the reason in error, for a usage error.
    bool CidMessage(std::vector<std::uint8_t>& message, std::string& error) const;
    bool CidGiven(const char* option) const;
    // Adds the noise, renders in the output format and writes the file.
    int Write(SignalTimeline& signal);
    // The rendered recording to stdout: written to a temporary file by the same writer as
    // any file (the RIFF sizes are filled in at the end, which a pipe cannot seek back
    // to), then copied.
    int WriteToStdout(const WAVEFORMATEX& wave, const std::vector<unsigned char>& pcm);

    CLI::App* m_command;
    CLI::App* m_dtmf;
    CLI::App* m_cid;
    CLI::App* m_mf;
    CLI::App* m_paging;
    CLI::App* m_sit;
    CLI::App* m_tone;
    CLI::App* m_tty;
    CLI::App* m_same;
    CLI::App* m_fsk;

    // Common to every kind.
    std::string m_output;
    double m_noiseDbfs = 0.0;
    bool m_noise = false;
    std::uint64_t m_seed = 1;
    int m_rate = 8000;
    int m_bits = 16;
    int m_channels = 1;
    std::string m_channel = "left";

    // dtmf
    std::string m_digits;
    double m_levelDbfs = -10.0;
    double m_twistDb = 0.0;
    double m_durationMs = 100.0;
    double m_gapMs = 100.0;
    double m_leadMs = 0.0;

    // cid
    std::string m_number;
    std::string m_name;
    std::string m_called;
    std::string m_numberAbsence;  // "private" or "out-of-area"
    std::string m_nameAbsence;
    std::string m_date = "01011200";  // fixed, so that the same options write the same file
    std::string m_format = "mdmf";
    std::string m_standard = "bell202";
    std::string m_vmwi;  // "on" or "off": a message-waiting message instead of caller ID
    std::string m_vmwiFormat = "sdmf";
    int m_messages = 0;
    bool m_callWaiting = false;
    bool m_badChecksum = false;
    double m_cidLevelDbfs = -13.0;
    double m_cidLeadMs = 0.0;
    double m_frequencyOffsetPercent = 0.0;
    double m_bitRateErrorPercent = 0.0;
    int m_seizureBits = 300;
    int m_markBits = 0;  // only when given; else the sequence's own length

    // mf
    struct {
        std::string keys;
        double levelDbfs = -10.0;
        double durationMs = 68.0;
        double kpDurationMs = 100.0;
        double gapMs = 68.0;
        double leadMs = 0.0;
        double frequencyOffsetPercent = 0.0;
    } m_mfArgs;

    // paging
    struct {
        std::string digits;
        std::string type = "CCIR";
        double levelDbfs = -10.0;
        double durationMs = 0.0;  // only when given; else the type's own
        double gapMs = 0.0;
        double leadMs = 0.0;
        double frequencyOffsetPercent = 0.0;
        bool noRepeat = false;
    } m_pagingArgs;

    // sit
    struct {
        std::string kind;
        double levelDbfs = -10.0;
        double shortMs = 276.0;
        double longMs = 380.0;
        double thirdMs = 380.0;
        double gapMs = 0.0;
        double announcementMs = 0.0;
        double leadMs = 0.0;
        double frequencyOffsetPercent = 0.0;
    } m_sitArgs;

    // tone
    struct {
        std::vector<double> frequenciesHz;
        std::vector<double> levelsDbfs;
        double levelDbfs = -10.0;
        double onMs = 1000.0;
        double offMs = 0.0;
        int count = 1;
        double leadMs = 0.0;
        double frequencyOffsetPercent = 0.0;
    } m_toneArgs;

    // tty
    struct {
        std::string text;
        std::string baud = "45.45";
        std::string mode = "baudot";
        std::string stopBits = "1.5";
        double markHz = 1400.0;
        double spaceHz = 1800.0;
        double levelDbfs = -10.0;
        double leadMs = 0.0;
        double idleBeforeMs = 300.0;
        double idleAfterMs = 300.0;
        double frequencyOffsetPercent = 0.0;
        double bitRateErrorPercent = 0.0;
        bool skipUnknown = false;
    } m_ttyArgs;

    // same
    struct {
        std::string header;
        std::string originator;
        std::string event;
        std::vector<std::string> locations;
        std::string duration;
        std::string issued;
        std::string sender;
        bool noEndOfMessage = false;
        double levelDbfs = -10.0;
        double leadMs = 0.0;
        double gapMs = 1000.0;
        double messageGapMs = 1000.0;
        double frequencyOffsetPercent = 0.0;
        double bitRateErrorPercent = 0.0;
    } m_sameArgs;

    // fsk
    struct {
        std::string data;
        bool hex = false;
        double baud = 1200.0;
        double markHz = 1200.0;
        double spaceHz = 2200.0;
        std::string framing;
        int dataBits = 8;
        std::string parity = "none";
        std::string stopBits = "1";
        std::string startTone = "space";
        std::string stopTone = "mark";
        double idleMs = 0.0;
        double idleBeforeMs = 100.0;
        double idleAfterMs = 100.0;
        double levelDbfs = -10.0;
        double leadMs = 0.0;
        double frequencyOffsetPercent = 0.0;
        double bitRateErrorPercent = 0.0;
    } m_fskArgs;
};
