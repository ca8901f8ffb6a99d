// tweak.h: the tweak settings blob, twelve hand-tuned constants.
//
// The blob is a list of named floats: per entry the tag byte 0x01, a name of
// 0 to 18 characters and its NUL, and the value's 4 bytes (little-endian).
// The list ends at the first entry position whose byte is not 0x01; the
// stored blob ends with a 0x00 byte so the list always ends inside it.
//
// loadTweakSettings parses the content block's blob once at start-up and
// stores each value where the render code reads it: bloomPasses, luminance
// and dofEnabled of the content block, and fields of the FD and FocusData
// records. A blob that does not parse stores nothing.
#pragma once

#include <cstdint>

#include "render/uniforms.h"

struct EmbeddedContent;

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

// Where the twelve values go.
struct TweakTargets {
    std::int32_t* bloomPasses;  // "bloom", rounded to the nearest integer, halves to even
    float* luminance;           // "lum"
    std::uint8_t* dofEnabled;   // "dof": 1 when above 0.0, else 0
    FD* fd;                     // "r" to M0.w; "cpx" "cpy" "cpz" to CP; "crx" "cry" "crz" to CR
    FocusData* focus;           // "fp", "fs"
};

// Parses a blob and stores the twelve values; a name the blob lacks stores
// 0.0. Returns false, storing nothing, when the blob does not parse.
bool loadTweakBlob(const std::uint8_t* blob, std::uint32_t length, TweakTargets targets);

// Start-up: loadTweakBlob over the content block's stored blob, into its
// bloomPasses, luminance and dofEnabled and into the FD and FocusData records.
void loadTweakSettings(EmbeddedContent& content, FD& fd, FocusData& focus);
