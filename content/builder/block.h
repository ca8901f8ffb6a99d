// block.h: gathering the show's sources into the content block's pieces,
// and writing the block.
//
// gatherContent reads everything a show carries from the source tree: the
// 13 track files (by their track names, under the tracks folder), the tweak
// file, the shader texts (by the file names below, under the shaders
// folder; the scene joined from its parts in their order) and the
// soundtrack image; it checks each (every refusal is one line, "file:line:
// fault") and packs it. writeContentBlock then writes the pieces, the
// layout header and the block's assembler source into a folder. The
// builder program is only option handling around these two; the tests and
// the studio call them directly.
//
// Shader texts are packed as the show stores them: the shared uniform
// block declarations (render/uniforms.h) go in after the "#version" line of
// every text that reads them; the small pass texts are then minified, the
// noise and scene texts keep their lines and get CR LF line ends. A "#line"
// after the inserted declarations keeps the compiler's line numbers those
// of the source file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sync/shader_texts.h"
#include "sync/tracks.h"

// A small pass shader: its entry, its source file under the shaders folder
// and the file name of its packed piece.
struct SmallShader {
    ShaderText entry;
    const char* source;
    const char* piece;
    bool sharedBlocks;  // reads FD and TrackData
};
inline constexpr SmallShader smallShaders[] = {
    {vertexShaderText, "fullscreen.vert", "vertex.glsl", false},
    {bloomBlurShaderText, "bloom_blur.frag", "bloom-blur.glsl", true},
    {compositeShaderText, "composite.frag", "composite.glsl", true},
    {tonemapShaderText, "tonemap.frag", "tonemap.glsl", true},
    {depthOfFieldShaderText, "depth_of_field.frag", "depth-of-field.glsl", true},
};
inline constexpr const char* noiseShaderSource = "noise.comp";
// The scene text is these parts joined in this order; the pixel entry comes
// last so that it can use the scene's own helpers.
inline constexpr const char* sceneParts[] = {
    "scene/header.glsl", "scene/noise.glsl",  "scene/library.glsl",
    "scene/framework.glsl", "scene/scenes.glsl", "scene/pixel.glsl",
};
inline constexpr int scenePartCount = int(sizeof sceneParts / sizeof sceneParts[0]);

// Where the sources lie.
struct ContentSources {
    std::string tracks;      // folder of NAME.track files
    std::string tweaks;      // the tweak file
    std::string shaders;     // folder of the shader sources
    std::string soundtrack;  // the RIFF/WAVE image
};

// The sources of a source tree laid out as this one: content/tracks,
// content/tweaks.txt, shaders/; the soundtrack is given apart (it is built).
ContentSources sourceTree(const std::string& root, const std::string& soundtrack);

struct ContentPieces {
    std::vector<std::uint8_t> trackKeys[trackCount];  // packed key data, TrackData order
    std::vector<std::uint8_t> tweakBlob;
    std::string shaderTexts[shaderTextCount];  // packed; the reserved entry empty
    std::string noise, scene;                  // packed
    std::string soundtrack;                    // the image's path
    std::size_t soundtrackBytes = 0;
    double soundtrackSeconds = 0.0;
    int keys = 0, tweaks = 0;
    std::vector<std::string> inputs;  // every file read, for the build's dependencies
    // What the build ignores but a person may not mean to: "file:1: fault"
    // lines (a file in the tracks folder that is none of the 13 tracks).
    std::vector<std::string> warnings;
};

// Reads, checks and packs every source: the files' syntax, and what the
// show makes of them (checkShowTrack, checkTweakNames). False with one line
// in *error.
bool gatherContent(const ContentSources& sources, ContentPieces& pieces, std::string* error);

// Writes the pieces, content_layout.h and content.S into dir; a file is
// rewritten only when its bytes change. False with one line in *error.
bool writeContentBlock(const std::string& dir, const ContentPieces& pieces, std::string* error);

// The shared uniform block declarations put after the text's "#version"
// line; with lineDirective, followed by "#line 2" so that later lines keep
// their numbers. A text without a "#version" line gets them in front.
std::string withSharedBlocks(const std::string& text, bool lineDirective);

// A small pass shader's source as it is stored.
std::string packSmallShader(const std::string& source, bool sharedBlocks);

// The noise or the scene text as it is stored (sharedBlocks for the scene).
std::string packLargeShader(const std::string& source, bool sharedBlocks);

// The scene parts' texts joined as the build joins them: each part starts
// on a new line.
std::string joinSceneParts(const std::vector<std::string>& parts);

// Reads a whole file; false when it cannot be read.
bool readFile(const std::string& path, std::string& bytes);
