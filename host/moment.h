// moment.h: the show at a moment, drawn without the show's window.
//
// Everything beside the show that draws it (the benchmark, the contact
// sheet, the capture, the studio) and the tests draw through this one
// piece, so they see exactly what the show sees: the show's render
// resources and frame graph, its tweak settings, its 13 tracks loaded by
// loadShowTracks, a frame's values from frameValuesAt (the tracks at the
// row and the end-of-show rule) and the shaders' clock from showClock.
//
// openMoment makes the headless context (EGL, once per process) and then
// does what prepareMoment does on a context the caller already has: sets
// the render size, builds the render resources, points the last pass at an
// output target of its own (RGBA32F, render size), places the tweak
// settings (with the overrides asked for) and loads the tracks.
//
// The clock: in the show, the shaders of a frame see T0 of the frame
// before (the clock lags one frame). renderMoment takes both times: the
// frame's show time, and the show time whose T0 its shaders see. A contact
// sheet passes the same time twice; a capture at a steady frame rate
// passes the previous frame's time.
//
// Limits: one render size per ShowMoment, fixed when it is prepared (the
// show's render resources are built once); the content block's render size
// and tweak-driven fields are rewritten, as the show's start-up does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/loop.h"
#include "render/frame.h"
#include "sync/show_tracks.h"

struct EmbeddedContent;

struct MomentOptions {
    int width = 512, height = 384;  // render size
    float sceneScale = 1.0f;        // 1.0, or 0.25 as in the quarter build
    std::int32_t bloomPasses = -1;  // with overrideBloom: instead of the tweak setting
    bool overrideBloom = false;
    int dof = -1;                   // -1: as the tweak settings say; 0 off; 1 on
};

typedef void(OSTREL_GLAPI* ReadPixelsFunction)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum,
                                                void*);
typedef void(OSTREL_GLAPI* ReadBufferFunction)(GLenum);
typedef void*(OSTREL_GLAPI* MapBufferRangeFunction)(GLenum, GLintptr, GLsizeiptr, GLbitfield);
typedef GLboolean(OSTREL_GLAPI* UnmapBufferFunction)(GLenum);
typedef void(OSTREL_GLAPI* FinishFunction)();

struct ShowMoment {
    GlFunctions gl;            // every render call goes through this table
    EmbeddedContent* content;  // the block drawn from
    RenderResources resources;
    ShowTracks tracks;
    RenderTarget output;  // where the last pass draws
    int width, height;
    ReadPixelsFunction readPixels;  // beyond the show's table: reading back
    ReadBufferFunction readBuffer;
    MapBufferRangeFunction mapBufferRange;  // reading back through pixel-pack buffers
    UnmapBufferFunction unmapBuffer;
    FinishFunction finish;
};

// Headless: the EGL context, then prepareMoment. One line in *error on
// failure.
bool openMoment(ShowMoment& moment, EmbeddedContent& content, const MomentOptions& options,
                std::string* error);

// On the context of `gl`, current on this thread; `lookup` gives the entry
// points for reading pixels back.
bool prepareMoment(ShowMoment& moment, const GlFunctions& gl, GlLookup lookup,
                   void* lookupContext, EmbeddedContent& content, const MomentOptions& options,
                   std::string* error);

// Draws the frame of `showTime` into the output target, its shaders seeing
// the clock of `clockTime`; returns the frame's values. The moment's uniform
// buffers are bound first, so several moments can share a context.
FrameValues renderMoment(ShowMoment& moment, std::int32_t showTime, std::int32_t clockTime);

// The same with the frame's track values given: for a program that changes
// some of them before drawing (the studio's free camera).
void drawMoment(ShowMoment& moment, const TrackData& tracks, std::int32_t showTime,
                std::int32_t clockTime);

// Whether the show ends with the frame at `showTime` (the end-of-show rule
// on the frame's values).
bool showEndsAt(const ShowTracks& tracks, std::int32_t showTime);

// The output target's pixels: RGBA floats, bottom row first.
void readMoment(const ShowMoment& moment, std::vector<float>& rgba);

// RGBA float pixels (bottom row first) as 8-bit RGB, top row first: each
// channel clamped to [0, 1] and rounded from x 255; a pixel with a channel
// that is not a finite number shows as magenta, so a fault cannot hide.
void momentToRgb(const float* rgba, int width, int height, std::uint8_t* rgb);

// Reading frames back while the next one renders, for a steady stream of
// frames (the capture): queueRead copies the output target into one of two
// pixel-pack buffers, which a GPU does without stalling the caller, and
// mapRead maps the buffer queued before, which is ready by the time the
// next frame has been queued. Reads are taken in the order they were queued.
struct MomentReadback {
    GLuint buffers[2];
    std::int64_t queued, taken;
};

void openReadback(ShowMoment& moment, MomentReadback& readback);
// The frame just drawn, into the next buffer.
void queueRead(ShowMoment& moment, MomentReadback& readback);
// The oldest queued frame's pixels (RGBA floats, bottom row first), valid
// until unmapRead; null if no read is queued.
const float* mapRead(ShowMoment& moment, MomentReadback& readback);
// False when the pixels mapped were lost meanwhile (GL's unmap refused).
bool unmapRead(ShowMoment& moment, MomentReadback& readback);

// Waits until every frame drawn so far is complete (timing rendering alone).
void finishMoment(const ShowMoment& moment);
