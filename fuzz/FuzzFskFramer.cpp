#include <cstdint>

#include "FskFramerFuzzHarness.h"

// The FSK data framer on arbitrary bit streams under arbitrary framings, changed in the
// middle of characters; every character and parity error must be the reference's, within
// its data bits. A broken property aborts at the bit that broke it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzharness::RunFskFramer(data, size, true);
    return 0;
}
