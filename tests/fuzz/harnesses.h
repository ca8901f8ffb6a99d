// harnesses.h: the fuzz harnesses, one per parser of bytes from outside.
//
// Each takes one input and returns 0; a broken promise of the code under
// test (beyond what the sanitizers catch) aborts with a line saying which.
// libFuzzer drives each through tests/fuzz/libfuzzer_entry.cpp (built with
// clang, tools/fuzz.sh); the ordinary test program runs every seed and every
// saved finding through the same functions (tests/fuzz_cases.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzWave(const std::uint8_t* data, std::size_t size);
int fuzzTrackKeys(const std::uint8_t* data, std::size_t size);
int fuzzTweakBlob(const std::uint8_t* data, std::size_t size);
int fuzzTrackText(const std::uint8_t* data, std::size_t size);
int fuzzTweakText(const std::uint8_t* data, std::size_t size);
int fuzzScore(const std::uint8_t* data, std::size_t size);
int fuzzOptions(const std::uint8_t* data, std::size_t size);
int fuzzTrackEdits(const std::uint8_t* data, std::size_t size);

struct FuzzHarness {
    const char* name;  // its folder under tests/fuzz/corpus and tests/fuzz/findings
    int (*run)(const std::uint8_t* data, std::size_t size);
};

inline constexpr FuzzHarness fuzzHarnesses[] = {
    {"wave", fuzzWave},           {"track-keys", fuzzTrackKeys}, {"tweak-blob", fuzzTweakBlob},
    {"track-text", fuzzTrackText}, {"tweak-text", fuzzTweakText}, {"score", fuzzScore},
    {"options", fuzzOptions},     {"track-edits", fuzzTrackEdits},
};

// Aborts with `what` when `condition` is false.
void fuzzCheck(bool condition, const char* what);
