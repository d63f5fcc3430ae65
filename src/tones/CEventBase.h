#pragma once

struct monitortone_tag;

// What a detector that decodes the levels of an embedded tone monitor implements: one call
// per analysis block of the monitor, with the tone (every frequency's smoothed level) and
// whether the block was quiet.
class CEventBase {
public:
    virtual void OnToneBlock(monitortone_tag* tone, bool quiet) = 0;
    virtual ~CEventBase() = default;
};
