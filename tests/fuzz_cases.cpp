// Every fuzz harness over its seeds (tests/fuzz/corpus/NAME) and over the
// inputs that once broke something (tests/fuzz/findings/NAME), in the
// ordinary test program: a fault found by fuzzing stays fixed, also under
// the sanitizers of the sanitize preset.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/harnesses.h"

namespace {

TEST(FuzzCases, EveryHarnessTakesItsSeedsAndFormerFindings) {
    const std::filesystem::path root = std::filesystem::path(OSTREL_SOURCE_DIR) / "tests/fuzz";
    for (const FuzzHarness& harness : fuzzHarnesses) {
        SCOPED_TRACE(harness.name);
        int seeds = 0;
        for (const char* folder : {"corpus", "findings"}) {
            const std::filesystem::path dir = root / folder / harness.name;
            if (!std::filesystem::exists(dir)) continue;
            for (const auto& entry : std::filesystem::directory_iterator(dir)) {
                std::ifstream in(entry.path(), std::ios::binary);
                const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
                EXPECT_EQ(harness.run(bytes.data(), bytes.size()), 0) << entry.path();
                seeds += folder == std::string("corpus");
            }
        }
        EXPECT_GE(seeds, 2) << "seeds of " << harness.name;
    }
}

}  // namespace
