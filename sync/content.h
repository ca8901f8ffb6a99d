// content.h: the content block, everything the show carries apart from code.
//
// The show opens no file. The content builder (content/builder) turns the
// source assets into one block of initialised, writable data, assembled into
// the executable with .incbin: references to the five small shader texts, the
// render size, references to the key data of the 13 sync tracks, the run
// flags, the tweak blob, the noise and scene shader texts, the key data and
// the soundtrack's RIFF/WAVE image. Each build variant links its own copy of
// the block; the copies differ only in the start values of the render size.
//
// This declaration is a module of its own (CMake target ostrel_content):
// the sync device, the tweak parser and the render code know nothing of it;
// the programs that carry a block and the loaders that read one
// (loadShowTracks, loadTweakSettings) do.
//
// The sizes of the variable parts come from content_layout.h, which the
// builder writes together with the assembler source; the checks below hold
// this declaration to the offsets the builder laid out, for 64-bit and for
// 32-bit pointers. Code reaches every field by name, never by offset.
#pragma once

#include <cstddef>
#include <cstdint>

#include "content_layout.h"
#include "sync/shader_texts.h"
#include "sync/tracks.h"

struct EmbeddedContent {
    const char* shaderTexts[shaderTextCount];  // minified, NUL-terminated, read-only
    float renderWidth;                         // rewritten by every size report of the window
    float renderHeight;
    const std::uint8_t* trackKeyData[trackCount];  // key data of track i, in TrackData order
    std::uint8_t advanceTime;                      // show time advances while non-zero
    std::uint8_t dofEnabled;                       // depth-of-field pass runs while non-zero
    std::uint8_t padding[2];
    std::int32_t bloomPasses;  // bloom blur passes; 0 or less: no bloom stage
    float luminance;           // contents of the BloomData uniform block
    // Tweak entries followed by one 0x00 byte that ends the list inside the
    // stored blob; the loader is handed exactly this many bytes.
    std::uint8_t tweakBlob[OSTREL_TWEAK_BLOB_BYTES];
    char noiseShaderText[OSTREL_NOISE_TEXT_BYTES];  // formatted, CR LF, NUL-terminated
    char sceneShaderText[OSTREL_SCENE_TEXT_BYTES];  // formatted, CR LF, NUL-terminated
    std::uint8_t trackKeyBlocks[OSTREL_TRACK_KEY_BYTES];
    std::uint8_t soundtrack[OSTREL_SOUNDTRACK_BYTES];  // a complete RIFF/WAVE image
};

// The block of this executable, defined by the generated assembler source.
extern "C" EmbeddedContent ostrelContent;

#define OSTREL_CHECK_OFFSET(field, offset)                                                         \
    static_assert(offsetof(EmbeddedContent, field) == (offset),                                    \
                  "EmbeddedContent." #field " is not where the content builder put it")

OSTREL_CHECK_OFFSET(shaderTexts, OSTREL_OFFSET_SHADER_TEXTS);
OSTREL_CHECK_OFFSET(renderWidth, OSTREL_OFFSET_RENDER_WIDTH);
OSTREL_CHECK_OFFSET(renderHeight, OSTREL_OFFSET_RENDER_HEIGHT);
OSTREL_CHECK_OFFSET(trackKeyData, OSTREL_OFFSET_TRACK_KEY_DATA);
OSTREL_CHECK_OFFSET(advanceTime, OSTREL_OFFSET_ADVANCE_TIME);
OSTREL_CHECK_OFFSET(dofEnabled, OSTREL_OFFSET_DOF_ENABLED);
OSTREL_CHECK_OFFSET(bloomPasses, OSTREL_OFFSET_BLOOM_PASSES);
OSTREL_CHECK_OFFSET(luminance, OSTREL_OFFSET_LUMINANCE);
OSTREL_CHECK_OFFSET(tweakBlob, OSTREL_OFFSET_TWEAK_BLOB);
OSTREL_CHECK_OFFSET(noiseShaderText, OSTREL_OFFSET_NOISE_TEXT);
OSTREL_CHECK_OFFSET(sceneShaderText, OSTREL_OFFSET_SCENE_TEXT);
OSTREL_CHECK_OFFSET(trackKeyBlocks, OSTREL_OFFSET_TRACK_KEY_BLOCKS);
OSTREL_CHECK_OFFSET(soundtrack, OSTREL_OFFSET_SOUNDTRACK);
static_assert(sizeof(EmbeddedContent) == OSTREL_CONTENT_BYTES,
              "EmbeddedContent is not the size the content builder wrote");

#if __SIZEOF_POINTER__ == 4
// With 4-byte references the fixed head of the block has the classic
// arrangement: the tweak blob starts at 0x60.
static_assert(offsetof(EmbeddedContent, renderWidth) == 0x18, "32-bit layout");
static_assert(offsetof(EmbeddedContent, trackKeyData) == 0x20, "32-bit layout");
static_assert(offsetof(EmbeddedContent, advanceTime) == 0x54, "32-bit layout");
static_assert(offsetof(EmbeddedContent, bloomPasses) == 0x58, "32-bit layout");
static_assert(offsetof(EmbeddedContent, luminance) == 0x5C, "32-bit layout");
static_assert(offsetof(EmbeddedContent, tweakBlob) == 0x60, "32-bit layout");
#endif

#undef OSTREL_CHECK_OFFSET
