#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}
class SignalTimeline;

// vornix gen KIND: writes a test recording as a RIFF wave file. Each kind of signal is a
// subcommand with its own options; the output format, noise and file options are common
// to every kind: DTMF keys, caller-ID transmissions, MF keys, paging tones, special
// information tones and cadenced tones.
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
    // False, with a usage message for the kind, when a recording of this many samples
    // would not fit in a wave file.
    bool Fits(const char* kind, double samples) const;
    // The bytes the cid options ask for; false, with the reason in error, for a usage error.
    bool CidMessage(std::vector<std::uint8_t>& message, std::string& error) const;
    bool CidGiven(const char* option) const;
    // Adds the noise, renders in the output format and writes the file.
    int Write(SignalTimeline& signal);

    CLI::App* m_command;
    CLI::App* m_dtmf;
    CLI::App* m_cid;
    CLI::App* m_mf;
    CLI::App* m_paging;
    CLI::App* m_sit;
    CLI::App* m_tone;

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
};
