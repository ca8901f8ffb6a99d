// libfuzzer_entry.cpp: libFuzzer's entry for one harness, chosen at build
// time (OSTREL_FUZZ_ENTRY names the function of harnesses.h).
#include "tests/fuzz/harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return OSTREL_FUZZ_ENTRY(data, size);
}
