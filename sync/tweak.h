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

bool parseTweakSettings(const std::uint8_t* data, std::uint32_t length, TweakSettings& table);
std::int32_t findTweakSetting(const TweakSettings& table, const char* name);
double getTweakSetting(const TweakSettings& table, const char* name);
void loadTweakSettings(EmbeddedContent& content, FD& fd, FocusData& focus);
