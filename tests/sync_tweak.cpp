// Tweak settings: parsing the blob, looking names up, and where the loader
// stores each value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "sync/tweak.h"

namespace {

using Blob = std::vector<std::uint8_t>;

void addEntry(Blob& blob, const std::string& name, float value) {
    blob.push_back(0x01);
    blob.insert(blob.end(), name.begin(), name.end());
    blob.push_back(0x00);
    std::uint8_t bytes[4];
    std::memcpy(bytes, &value, 4);
    blob.insert(blob.end(), bytes, bytes + 4);
}

// The shipped entries, in the shipped order: 106 bytes.
Blob shippedEntries() {
    Blob b;
    addEntry(b, "bloom", 5.0f);
    addEntry(b, "lum", 0.53f);
    addEntry(b, "dof", 10.0f);
    addEntry(b, "fp", 41.2f);
    addEntry(b, "fs", 122.8f);
    addEntry(b, "r", 1.3207935f);
    addEntry(b, "cpx", -4.34f);
    addEntry(b, "cpy", 1.83f);
    addEntry(b, "cpz", -1.63f);
    addEntry(b, "crx", 1.17f);
    addEntry(b, "cry", -0.606f);
    addEntry(b, "crz", 0.0f);
    return b;
}

bool parse(const Blob& blob, TweakSettings& table) {
    // Parse from an exactly sized copy so that any read past the length is a
    // read past the allocation (caught under AddressSanitizer).
    std::vector<std::uint8_t> exact(blob);
    return parseTweakSettings(exact.empty() ? nullptr : exact.data(),
                              std::uint32_t(exact.size()), table);
}

// Values holding recognisable start values.
struct Targets {
    TweakValues v{5, 1.0f, 1, 0.0f, 1.0f, -99.0f, {-99.0f, -99.0f, -99.0f}, {-99.0f, -99.0f, -99.0f}};
    bool load(const Blob& blob) {
        std::vector<std::uint8_t> exact(blob);
        return loadTweakBlob(exact.data(), std::uint32_t(exact.size()), v);
    }
};

}  // namespace

TEST(TweakParse, TheShippedEntriesEndTheListWhereverTheLengthEnds) {
    Blob entries = shippedEntries();
    ASSERT_EQ(entries.size(), 106u);
    TweakSettings table;
    EXPECT_TRUE(parse(entries, table));  // no bytes remain after the twelfth
    EXPECT_EQ(table.count, 12);
    EXPECT_EQ(std::string(table.entries[11].name), "crz");

    Blob stored = entries;
    stored.push_back(0x00);  // the end byte the content block stores
    EXPECT_TRUE(parse(stored, table));
    EXPECT_EQ(table.count, 12);

    Blob oneTag = entries;
    oneTag.push_back(0x01);  // fewer than two bytes remain: the list ends
    EXPECT_TRUE(parse(oneTag, table));
    EXPECT_EQ(table.count, 12);

    // A length shorter than the data bounds the parse: cut inside the third
    // entry's value, the parse fails.
    std::vector<std::uint8_t> longer(entries);
    TweakSettings cut;
    EXPECT_FALSE(parseTweakSettings(longer.data(), 11 + 9 + 5 + 2, cut));
    EXPECT_EQ(cut.count, 0);
    // Cut right after the second entry: two entries.
    EXPECT_TRUE(parseTweakSettings(longer.data(), 11 + 9, cut));
    EXPECT_EQ(cut.count, 2);
}

TEST(TweakParse, EmptyAndOddListsParse) {
    TweakSettings table;
    EXPECT_TRUE(parse({}, table));
    EXPECT_EQ(table.count, 0);
    EXPECT_TRUE(parse({0x02, 'b', 0, 0, 0, 0, 0}, table));  // first byte not the tag
    EXPECT_EQ(table.count, 0);
    EXPECT_TRUE(parseTweakSettings(nullptr, 100, table));
    EXPECT_EQ(table.count, 0);

    // An empty name is an entry, found only under the empty name.
    Blob blob;
    addEntry(blob, "", 3.0f);
    addEntry(blob, "x", 4.0f);
    EXPECT_TRUE(parse(blob, table));
    EXPECT_EQ(table.count, 2);
    EXPECT_EQ(findTweakSetting(table, ""), 0);
    EXPECT_EQ(getTweakSetting(table, ""), 3.0);
    EXPECT_EQ(findTweakSetting(table, "x"), 1);
}

TEST(TweakParse, NamesOfNineteenCharactersAndTruncatedEntriesFail) {
    TweakSettings table;
    Blob eighteen;
    addEntry(eighteen, std::string(18, 'n'), 2.0f);
    EXPECT_TRUE(parse(eighteen, table));
    EXPECT_EQ(table.count, 1);
    EXPECT_EQ(getTweakSetting(table, std::string(18, 'n').c_str()), 2.0);

    // A good entry first: a failure leaves count 0, so it is never found.
    Blob nineteen;
    addEntry(nineteen, "bloom", 3.0f);
    addEntry(nineteen, std::string(19, 'n'), 2.0f);
    EXPECT_FALSE(parse(nineteen, table));
    EXPECT_EQ(table.count, 0);
    EXPECT_EQ(findTweakSetting(table, "bloom"), -1);

    Blob threeValueBytes;
    addEntry(threeValueBytes, "lum", 1.0f);
    threeValueBytes.pop_back();
    EXPECT_FALSE(parse(threeValueBytes, table));

    Blob endsInName = {0x01, 'l', 'u', 'm'};
    EXPECT_FALSE(parse(endsInName, table));
    Blob endsAtNul = {0x01, 'l', 'u', 'm', 0x00};
    EXPECT_FALSE(parse(endsAtNul, table));
}

TEST(TweakParse, TheListEndsWhenTheTableIsFull) {
    Blob blob;
    for (int i = 0; i < 17; ++i) addEntry(blob, "e" + std::to_string(i), float(i));
    struct Guarded {
        TweakSettings table;
        std::uint8_t after[64];
    } g;
    std::memset(g.after, 0x5A, sizeof g.after);
    EXPECT_TRUE(parse(blob, g.table));
    EXPECT_EQ(g.table.count, 16);
    EXPECT_EQ(getTweakSetting(g.table, "e15"), 15.0);
    EXPECT_EQ(findTweakSetting(g.table, "e16"), -1);
    for (std::uint8_t b : g.after) ASSERT_EQ(b, 0x5A) << "the parser wrote past the table";
}

TEST(TweakLookup, NamesCompareExactlyForAtMostTwentyBytes) {
    Blob blob;
    addEntry(blob, "bloom", 5.0f);
    addEntry(blob, "Bloom", 6.0f);
    addEntry(blob, "bloom", 7.0f);  // a second "bloom": never found
    TweakSettings table;
    ASSERT_TRUE(parse(blob, table));
    EXPECT_EQ(findTweakSetting(table, "bloom"), 0);
    EXPECT_EQ(findTweakSetting(table, "Bloom"), 1);
    EXPECT_EQ(findTweakSetting(table, "BLOOM"), -1);
    EXPECT_EQ(findTweakSetting(table, "bloo"), -1);
    EXPECT_EQ(findTweakSetting(table, "blooms"), -1);
    EXPECT_EQ(findTweakSetting(table, nullptr), -1);
    EXPECT_EQ(getTweakSetting(table, "missing"), 0.0);
    EXPECT_EQ(getTweakSetting(table, "bloom"), 5.0);

    // Twenty equal bytes without a NUL are no match.
    TweakSettings full{};
    std::memset(full.entries[0].name, 'a', 20);
    full.entries[0].value = 1.0f;
    full.count = 1;
    EXPECT_EQ(findTweakSetting(full, std::string(25, 'a').c_str()), -1);
    // A count beyond the table is not followed past it.
    full.count = 1000;
    EXPECT_EQ(findTweakSetting(full, "zz"), -1);
}

TEST(TweakLoad, EachValueReachesItsTarget) {
    Blob blob;
    const char* names[] = {"bloom", "lum", "dof", "fp",  "fs",  "r",
                           "cpx",   "cpy", "cpz", "crx", "cry", "crz"};
    for (int i = 0; i < 12; ++i) addEntry(blob, names[i], 2.0f + float(i) * 0.5f);
    Targets t;
    ASSERT_TRUE(t.load(blob));
    EXPECT_EQ(t.v.bloomPasses, 2);
    EXPECT_EQ(t.v.luminance, 2.5f);
    EXPECT_EQ(t.v.dofEnabled, 1);
    EXPECT_EQ(t.v.focusPoint, 3.5f);
    EXPECT_EQ(t.v.focusScale, 4.0f);
    EXPECT_EQ(t.v.radius, 4.5f);
    EXPECT_EQ(t.v.cameraPosition[0], 5.0f);
    EXPECT_EQ(t.v.cameraPosition[1], 5.5f);
    EXPECT_EQ(t.v.cameraPosition[2], 6.0f);
    EXPECT_EQ(t.v.cameraRotation[0], 6.5f);
    EXPECT_EQ(t.v.cameraRotation[1], 7.0f);
    EXPECT_EQ(t.v.cameraRotation[2], 7.5f);
}

TEST(TweakLoad, FailedParsesStoreNothingAndMissingNamesStoreZero) {
    Blob bad;
    addEntry(bad, "bloom", 3.0f);
    addEntry(bad, std::string(19, 'x'), 1.0f);
    Targets kept;
    EXPECT_FALSE(kept.load(bad));
    EXPECT_EQ(kept.v.bloomPasses, 5);
    EXPECT_EQ(kept.v.luminance, 1.0f);
    EXPECT_EQ(kept.v.dofEnabled, 1);
    EXPECT_EQ(kept.v.focusScale, 1.0f);
    EXPECT_EQ(kept.v.cameraPosition[0], -99.0f);

    // A list with no entries parses: every target becomes 0.
    Targets zero;
    EXPECT_TRUE(zero.load({0x00}));
    EXPECT_EQ(zero.v.bloomPasses, 0);
    EXPECT_EQ(zero.v.luminance, 0.0f);
    EXPECT_EQ(zero.v.dofEnabled, 0);
    EXPECT_EQ(zero.v.focusPoint, 0.0f);
    EXPECT_EQ(zero.v.focusScale, 0.0f);
    EXPECT_EQ(zero.v.radius, 0.0f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(zero.v.cameraPosition[i], 0.0f);
        EXPECT_EQ(zero.v.cameraRotation[i], 0.0f);
    }
}

TEST(TweakLoad, BloomRoundsHalvesToEvenAndDofIsOnOnlyAboveZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float value;
        std::int32_t passes;
    } bloomCases[] = {{2.5f, 2},  {3.5f, 4},  {4.6f, 5},   {-1.0f, -1}, {-2.5f, -2},
                      {0.5f, 0},  {5.0f, 5},  {nan, 0},    {1e10f, INT32_MAX},
                      {-1e10f, INT32_MIN}};
    for (const Case& c : bloomCases) {
        Blob blob;
        addEntry(blob, "bloom", c.value);
        Targets t;
        ASSERT_TRUE(t.load(blob));
        EXPECT_EQ(t.v.bloomPasses, c.passes) << "bloom " << c.value;
    }
    struct DofCase {
        float value;
        std::uint8_t enabled;
    } dofCases[] = {{10.0f, 1}, {1e-30f, 1}, {0.0f, 0}, {-0.0f, 0}, {-3.0f, 0}, {nan, 0}};
    for (const DofCase& c : dofCases) {
        Blob blob;
        addEntry(blob, "dof", c.value);
        Targets t;
        ASSERT_TRUE(t.load(blob));
        EXPECT_EQ(t.v.dofEnabled, c.enabled) << "dof " << c.value;
    }
}
