#pragma once

// The codec libraries complain about damaged input on stderr by default; a decoder of
// arbitrary audio says such things on its debug output, where hosts choose to look.
// Only for sources built with libavcodec.

#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

#include "platform/DebugOutput.h"

namespace codeclog {

inline void Forward(void*, int level, const char* format, va_list args) {
    if (level > av_log_get_level()) return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    DebugOutput(line);
}

inline void RouteOnce() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(&Forward); });
}

}  // namespace codeclog
