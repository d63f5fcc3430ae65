#include <cstdint>
#include <cstdlib>

#include "AudioHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzharness::RunSoundFile(data, size)) std::abort();
    return 0;
}
