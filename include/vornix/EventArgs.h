#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vornix/Enums.h"

namespace Orvane::VornixNet {

// The data of one event, read-only. Positions are sample positions of the run;
// PhoneVornix::Sample2Second turns them into seconds. Texts are UTF-8.
class EventArgs {
public:
    virtual ~EventArgs() = default;
};

class KeyArgs : public EventArgs {
public:
    KeyArgs(char16_t recvChar, std::int32_t rawCode, std::int32_t position)
        : m_recvChar(recvChar), m_rawCode(rawCode), m_position(position) {}
    char16_t RecvChar() const { return m_recvChar; }
    std::int32_t RawCode() const { return m_rawCode; }
    std::int32_t Position() const { return m_position; }

private:
    char16_t m_recvChar;
    std::int32_t m_rawCode;
    std::int32_t m_position;
};

class OnSilenceStartArgs : public EventArgs {
public:
    explicit OnSilenceStartArgs(std::int32_t startPos) : m_startPos(startPos) {}
    std::int32_t StartPos() const { return m_startPos; }

private:
    std::int32_t m_startPos;
};

class OnSilenceEndArgs : public EventArgs {
public:
    OnSilenceEndArgs(std::int32_t endPos, std::int32_t duration) : m_endPos(endPos), m_duration(duration) {}
    std::int32_t EndPos() const { return m_endPos; }
    std::int32_t duration() const { return m_duration; }  // ms

private:
    std::int32_t m_endPos;
    std::int32_t m_duration;
};

class OnDebugArgs : public EventArgs {
public:
    OnDebugArgs(std::optional<std::string> infoMsg, std::int32_t refCode)
        : m_infoMsg(std::move(infoMsg)), m_refCode(refCode) {}
    // Empty (no text at all) only for a line the dispatcher raises without one.
    const std::optional<std::string>& InfoMsg() const { return m_infoMsg; }
    std::int32_t RefCode() const { return m_refCode; }

private:
    std::optional<std::string> m_infoMsg;
    std::int32_t m_refCode;
};

class OnToneDetectedArgs : public EventArgs {
public:
    OnToneDetectedArgs(std::int32_t appSpecific, std::int32_t position)
        : m_appSpecific(appSpecific), m_position(position) {}
    std::int32_t AppSpecific() const { return m_appSpecific; }
    std::int32_t Position() const { return m_position; }

private:
    std::int32_t m_appSpecific;
    std::int32_t m_position;
};

class OnSAMEArgs : public EventArgs {
public:
    OnSAMEArgs(std::string rawData, std::int32_t position) : m_rawData(std::move(rawData)), m_position(position) {}
    const std::string& RawData() const { return m_rawData; }
    std::int32_t Position() const { return m_position; }

private:
    std::string m_rawData;
    std::int32_t m_position;
};

class OnProgressArgs : public EventArgs {
public:
    OnProgressArgs(std::int32_t nProgress, std::int32_t nProgressMax)
        : m_nProgress(nProgress), m_nProgressMax(nProgressMax) {}
    std::int32_t nProgress() const { return m_nProgress; }
    std::int32_t nProgressMax() const { return m_nProgressMax; }

private:
    std::int32_t m_nProgress;
    std::int32_t m_nProgressMax;
};

class OnSAMEelementArgs : public EventArgs {
public:
    OnSAMEelementArgs(SAME_STATUS status, std::string context, std::int32_t position)
        : m_status(status), m_context(std::move(context)), m_position(position) {}
    SAME_STATUS Status() const { return m_status; }
    const std::string& Context() const { return m_context; }
    std::int32_t Position() const { return m_position; }

private:
    SAME_STATUS m_status;
    std::string m_context;
    std::int32_t m_position;
};

class OnSITArgs : public EventArgs {
public:
    OnSITArgs(SIT_TYPE sitType, std::string sitName, std::int32_t position)
        : m_sitType(sitType), m_sitName(std::move(sitName)), m_position(position) {}
    SIT_TYPE SITType() const { return m_sitType; }
    const std::string& SITName() const { return m_sitName; }
    std::int32_t Position() const { return m_position; }

private:
    SIT_TYPE m_sitType;
    std::string m_sitName;
    std::int32_t m_position;
};

class OnFrequencyDetectedArgs : public EventArgs {
public:
    OnFrequencyDetectedArgs(double frequency, double secondFreq, std::int32_t duration, std::int32_t startPos)
        : m_frequency(frequency), m_secondFreq(secondFreq), m_duration(duration), m_startPos(startPos) {}
    double Frequency() const { return m_frequency; }
    double secondFreq() const { return m_secondFreq; }  // -1.0 when there is none
    std::int32_t duration() const { return m_duration; }  // ms
    std::int32_t StartPos() const { return m_startPos; }

private:
    double m_frequency;
    double m_secondFreq;
    std::int32_t m_duration;
    std::int32_t m_startPos;
};

class OnCallerIDArgs : public EventArgs {
public:
    OnCallerIDArgs(std::optional<std::string> name, std::optional<std::string> callerNumber,
                   std::optional<std::string> calledNumber, std::optional<std::string> sDateTime,
                   std::optional<std::vector<std::uint8_t>> rawData, CID_STATUS status, std::int32_t position)
        : m_rawData(std::move(rawData)),
          m_name(std::move(name)),
          m_callerNumber(std::move(callerNumber)),
          m_sDateTime(std::move(sDateTime)),
          m_position(position),
          m_calledNumber(std::move(calledNumber)),
          m_status(status) {}
    const std::optional<std::vector<std::uint8_t>>& RawData() const { return m_rawData; }
    const std::optional<std::string>& Name() const { return m_name; }
    const std::optional<std::string>& CallerNumber() const { return m_callerNumber; }
    const std::optional<std::string>& sDateTime() const { return m_sDateTime; }
    std::int32_t Position() const { return m_position; }
    const std::optional<std::string>& CalledNumber() const { return m_calledNumber; }
    CID_STATUS Status() const { return m_status; }

private:
    std::optional<std::vector<std::uint8_t>> m_rawData;
    std::optional<std::string> m_name;
    std::optional<std::string> m_callerNumber;
    std::optional<std::string> m_sDateTime;
    std::int32_t m_position;
    std::optional<std::string> m_calledNumber;
    CID_STATUS m_status;
};

class OnVMWIArgs : public EventArgs {
public:
    OnVMWIArgs(VMWI_STATUS status, std::int32_t paramsData, std::int32_t position)
        : m_status(status), m_paramsData(paramsData), m_position(position) {}
    VMWI_STATUS Status() const { return m_status; }
    std::int32_t ParamsData() const { return m_paramsData; }
    std::int32_t Position() const { return m_position; }

private:
    VMWI_STATUS m_status;
    std::int32_t m_paramsData;
    std::int32_t m_position;
};

}  // namespace Orvane::VornixNet
