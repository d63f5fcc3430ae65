#pragma once

#include <cstdint>
#include <string>

namespace Orvane::VornixNet {

// Receiver of a capture source's messages: the component's data entry.
using AudioDataCallback = void (*)(void* receiver, int uMsg, std::uint64_t wparam, std::int64_t lparam);

// Messages a capture source sends through its callback.
inline constexpr int AM_RECORD_START = 958;  // recording started
inline constexpr int AM_RECORD_END = 959;    // recording stopped
inline constexpr int AM_RECORD_DATA = 960;   // wparam: address of the recorded bytes, lparam: their count


// An audio source the component can be attached to (PhoneVornix::Source): it announces
// the start of recording, hands over each recorded buffer and announces the end, through
// the callback it was given, on a thread of its own.
class CAudioDataSource {
public:
    virtual ~CAudioDataSource() = default;

    // The type name the component checks before it attaches.
    virtual std::string TypeName() const = 0;
    // The component (a PhoneVornix*) that attached this source, or null once it let go.
    // A source destroyed while it has an owner must tell it with
    // PhoneVornix::ForgetSource, so the component never calls a destroyed source.
    virtual bool set_Owner(void* owner) = 0;
    // Where the messages go; 0 on success.
    virtual std::int32_t set_EventHandle(void* receiver, AudioDataCallback callback) = 0;
    // The format of the recorded bytes: a wave format record (tag, channels, rate,
    // bytes per second, block align, bits, extra size, extra bytes).
    virtual const void* get_RecordFormatEx() const = 0;
};

// The type name of every capture source the component accepts.
inline constexpr const char* kCaptureSourceTypeName = "Orvane.BrisolNet.BrisolControl";

}  // namespace Orvane::VornixNet
