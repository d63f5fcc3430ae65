#include <cstdint>

#include "CallerIdFuzzHarness.h"

// The caller-ID framer and parsers on arbitrary bits and characters; a broken property
// aborts inside the delivery that broke it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzharness::RunCallerIdFormat(data, size, true);
    return 0;
}
