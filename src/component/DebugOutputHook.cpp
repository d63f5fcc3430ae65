#include "vornix/DebugOutput.h"

#include "platform/DebugOutput.h"

namespace Orvane::VornixNet {

void SetDebugOutput(std::function<void(const char* text)> hook) { SetDebugOutputHook(std::move(hook)); }

}  // namespace Orvane::VornixNet
