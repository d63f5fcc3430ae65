#include <cstdint>
#include <cstdlib>

#include "AudioHarness.h"

#if VORNIX_WITH_FFMPEG
extern "C" {
#include <libavutil/log.h>
}
#endif

extern "C" int LLVMFuzzerInitialize(int*, char***) {
#if VORNIX_WITH_FFMPEG
    av_log_set_level(AV_LOG_QUIET);  // damaged streams are the point; their complaints are noise
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzharness::RunConverter(data, size)) std::abort();
    return 0;
}
