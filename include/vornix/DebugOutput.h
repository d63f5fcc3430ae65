#pragma once

#include <functional>

namespace Orvane::VornixNet {

// Diagnostics that belong to no decoder (a file reader's complaint, a codec library's
// warning about damaged audio) go to one process-wide hook. Nothing is written until a
// host installs one; an empty function discards them again. The hook may be called from
// any thread that decodes.
void SetDebugOutput(std::function<void(const char* text)> hook);

}  // namespace Orvane::VornixNet
