// tweak.h: the tweak settings blob, twelve hand-tuned constants.
//
// The blob is a list of named floats: per entry the tag byte 0x01, a name of
// 0 to 18 characters and its NUL, and the value's 4 bytes (little-endian).
// The list ends at the first entry position whose byte is not 0x01; the
// stored blob ends with a 0x00 byte so the list always ends inside it.
//
// loadTweakBlob parses a blob and hands back the twelve values as plain
// numbers; the render side places them where its code reads them (the
// content block's run settings and the FD and FocusData records: see
// loadTweakSettings in render/frame.h). A blob that does not parse hands
// back nothing.
#pragma once

#include <cstdint>

struct TweakEntry {
    char name[20];
    float value;
};

struct TweakSettings {
    TweakEntry entries[16];
    std::int32_t count;
};

// Reads the entries of `data` (at most `length` bytes) into the table.
// True when the list was read to its end (a byte other than 0x01 at an entry
// position, fewer than two bytes left, or the table's 16 entries filled);
// false, with count 0, when the data ends inside an entry or a name has 19
// characters or more.
bool parseTweakSettings(const std::uint8_t* data, std::uint32_t length, TweakSettings& table);

// The index of the first entry named exactly `name` (compared for at most 20
// bytes), or -1.
std::int32_t findTweakSetting(const TweakSettings& table, const char* name);

// The value of the first entry named `name`, or 0.0 when there is none.
double getTweakSetting(const TweakSettings& table, const char* name);

// The most entries the table holds, and the longest name (a name and its
// NUL fit in 19 bytes of the parser's 20-byte buffer). The content builder
// refuses tweak files beyond either.
inline constexpr int tweakCapacity = int(sizeof(TweakSettings::entries) / sizeof(TweakEntry));
inline constexpr int tweakNameLength = int(sizeof(TweakEntry::name)) - 2;

// The twelve values, each converted as the show uses it.
struct TweakValues {
    std::int32_t bloomPasses;  // "bloom", rounded to the nearest integer, halves to even
    float luminance;           // "lum"
    std::uint8_t dofEnabled;   // "dof": 1 when above 0.0, else 0 (NaN: 0)
    float focusPoint;          // "fp"
    float focusScale;          // "fs"
    float radius;              // "r"
    float cameraPosition[3];   // "cpx", "cpy", "cpz"
    float cameraRotation[3];   // "crx", "cry", "crz"
};

// The names of the twelve settings, in the order of TweakValues.
inline constexpr int tweakNameCount = 12;
inline constexpr const char* tweakNames[tweakNameCount] = {
    "bloom", "lum", "dof", "fp", "fs", "r", "cpx", "cpy", "cpz", "crx", "cry", "crz"};

// Parses a blob and fills `values`; a name the blob lacks gives 0.0. Returns
// false, leaving `values` as it was, when the blob does not parse.
bool loadTweakBlob(const std::uint8_t* blob, std::uint32_t length, TweakValues& values);
