// assets.h: reading and packing the show's source assets.
//
// The content builder turns what a person edits into the bytes of the
// content block:
//   - a track file (content/tracks/NAME.track) holds one key per line:
//     row, value, interpolation (step, linear, smooth or ramp);
//   - the tweak file (content/tweaks.txt) holds one setting per line: name
//     and value;
//   - shader texts are packed either minified (the five small pass shaders)
//     or as formatted text with CR LF line ends (noise and scene).
// In both text formats '#' starts a comment and blank lines are ignored.
//
// Every refusal names the file, the line and the fault in one message,
// "file:line: fault", so that a bad asset stops the build with a pointer to
// the line to fix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sync/sync.h"
#include "sync/tweak.h"

// The limits the show's loaders set: at most maxTrackKeys keys a track
// (sync/sync.h), at most tweakCapacity tweak entries with names of at most
// tweakNameLength characters (sync/tweak.h).

struct SourceKey {
    std::int32_t row = 0;
    float value = 0.0f;
    std::int32_t type = Step;  // InterpolationType
    int line = 0;              // the line it was read from (1 is the first); 0 for a new key
};

struct SourceTweak {
    std::string name;
    float value = 0.0f;
    int line = 0;  // as for SourceKey
};

// Parse a track file's text. On failure returns false and sets error.
bool parseTrackText(const std::string& text, const std::string& fileName,
                    std::vector<SourceKey>& keys, std::string& error);

// Parse the tweak file's text. On failure returns false and sets error.
bool parseTweakText(const std::string& text, const std::string& fileName,
                    std::vector<SourceTweak>& tweaks, std::string& error);

// What the show makes of the content, beyond the files' syntax:
//   - checkShowTrack: the scene track must end the show, that is go below
//     -2.0 somewhere at or after row 0 (the show ends at the first frame
//     whose scene value is below -2.0; within a segment a track's value
//     lies between its two keys' values, so its lowest values are the
//     value at row 0 and those of the keys after it);
//   - checkTweakNames: every name must be one the show reads (tweakNames);
//     a misspelt one would leave its setting at 0.0.
// False with "file:line: fault" in error.
bool checkShowTrack(int track, const std::vector<SourceKey>& keys, const std::string& fileName,
                    std::string& error);
bool checkTweakNames(const std::vector<SourceTweak>& tweaks, const std::string& fileName,
                     std::string& error);

// A track or tweak value as text: the shortest plain decimal that reads
// back as the same float ("180", "4.25", "0.1", "-10.021938"; never an
// exponent). Everything that prints a track or tweak value uses it.
std::string formatValue(float value);

// One track's key data: a 4-byte little-endian count, then 9 bytes a key
// (row i32, value f32, type i8), packed.
std::vector<std::uint8_t> packTrackKeys(const std::vector<SourceKey>& keys);

// The tweak blob: per entry the tag 0x01, the name, a NUL and the value as
// 4 little-endian bytes; then one 0x00 byte that ends the list.
std::vector<std::uint8_t> packTweaks(const std::vector<SourceTweak>& tweaks);

// A small shader text as it is stored: comments dropped, every run of
// blanks and line ends folded to one space (none where no identifier or
// number would run together), a line end kept only after preprocessor lines.
std::string minifyShader(const std::string& text);

// A large shader text as it is stored: line ends turned to CR LF.
std::string toCrLf(const std::string& text);

// The interpolation name of a type ("step", "linear", "smooth", "ramp"), or
// null for a type that is none of InterpolationType's.
const char* interpolationName(std::int32_t type);
// The type of an interpolation name, or -1.
std::int32_t interpolationType(const std::string& word);
