#include <cstdint>

#include "CallerIdFuzzHarness.h"

// The whole decoder with caller ID, call waiting and message waiting on, on arbitrary PCM
// fed in arbitrary pieces; a broken property aborts inside the delivery that broke it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzharness::RunCallerIdAudio(data, size, true);
    return 0;
}
