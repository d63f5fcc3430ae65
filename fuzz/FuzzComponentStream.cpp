#include <cstdint>
#include <cstdlib>

#include "ComponentHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzharness::RunComponentStream(data, size)) std::abort();
    return 0;
}
