// tweak.cpp: parsing the tweak blob and storing its twelve values.
//
// Positions in the blob are unsigned and every read is checked against the
// length handed in, so the parser never reads past the stored blob. The
// table holds 16 entries: the list ends after the 16th, whatever follows (a
// 17th entry is never written anywhere). The content builder refuses more
// than 16 entries, so only a hand-made blob reaches that limit.
//
// The table and the name buffer live on the stack of the call; nothing is
// allocated.
#include "sync/tweak.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::uint8_t floatEntryTag = 0x01;
constexpr std::int32_t tableCapacity = tweakCapacity;
constexpr int nameBytes = int(sizeof(TweakEntry::name));

// Round to the nearest integer, halves to even. NaN gives 0 and values
// beyond the i32 range saturate, so the conversion is always defined.
std::int32_t roundHalfEven(float value) {
    if (std::isnan(value)) return 0;
    double r = std::nearbyint(double(value));  // default rounding: to nearest, ties to even
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return std::int32_t(r);
}

}  // namespace

bool parseTweakSettings(const std::uint8_t* data, std::uint32_t length, TweakSettings& table) {
    table.count = 0;
    if (data == nullptr) length = 0;
    std::int32_t n = 0;
    std::uint32_t pos = 0;
    for (;;) {
        // The list ends at a byte other than the tag, where fewer than two
        // bytes remain, or when the table is full.
        if (pos >= length || pos + 1 > length - 1 || data[pos] != floatEntryTag ||
            n == tableCapacity) {
            table.count = n;
            return true;
        }
        // The name: at most 18 characters and its NUL.
        char name[nameBytes];
        int k = 0;
        char c;
        do {
            ++pos;
            if (pos > length - 1) return false;
            c = char(data[pos]);
            name[k] = c;
            ++k;
            if (k > nameBytes - 1) return false;
        } while (c != 0);
        name[k] = 0;
        std::memcpy(table.entries[n].name, name, std::size_t(k) + 1);

        // The value: four bytes, little-endian, copied bit for bit.
        std::uint32_t bits = 0;
        for (int j = 0; j < 4; ++j) {
            ++pos;
            if (pos > length - 1) return false;
            bits |= std::uint32_t(data[pos]) << (8 * j);
        }
        std::memcpy(&table.entries[n].value, &bits, 4);
        ++n;
        ++pos;
    }
}

std::int32_t findTweakSetting(const TweakSettings& table, const char* name) {
    if (name == nullptr) return -1;
    std::int32_t count = table.count < tableCapacity ? table.count : tableCapacity;
    for (std::int32_t i = 0; i < count; ++i) {
        const char* stored = table.entries[i].name;
        for (int j = 0; j < nameBytes; ++j) {
            if (name[j] != stored[j]) break;
            if (name[j] == 0) return i;
        }
    }
    return -1;
}

double getTweakSetting(const TweakSettings& table, const char* name) {
    std::int32_t i = findTweakSetting(table, name);
    return i < 0 ? 0.0 : double(table.entries[i].value);
}

bool loadTweakBlob(const std::uint8_t* blob, std::uint32_t length, TweakValues& values) {
    TweakSettings table;
    if (!parseTweakSettings(blob, length, table)) return false;
    auto get = [&](const char* name) { return float(getTweakSetting(table, name)); };
    values.bloomPasses = roundHalfEven(get("bloom"));
    values.luminance = get("lum");
    values.dofEnabled = get("dof") > 0.0f ? 1 : 0;  // NaN: off
    values.focusPoint = get("fp");
    values.focusScale = get("fs");
    values.radius = get("r");
    values.cameraPosition[0] = get("cpx");
    values.cameraPosition[1] = get("cpy");
    values.cameraPosition[2] = get("cpz");
    values.cameraRotation[0] = get("crx");
    values.cameraRotation[1] = get("cry");
    values.cameraRotation[2] = get("crz");
    return true;
}
