// uniforms.h: the four uniform blocks that every shader of the show shares.
//
// Each record has exactly the std140 arrangement of its block, so an upload
// copies it byte for byte; the checks below hold the offsets.
//   FD         binding 0  frame data: show clock T0, pixel size R0, tweak values
//   TrackData  binding 1  the 13 sync-track values of the frame
//   FocusData  binding 2  two tweak values (no shipped shader reads them)
//   BloomData  binding 3  one tweak value (declared by the scene, not read)
#pragma once

#include <cstddef>

#include "render/gl.h"
#include "sync/tracks.h"

struct FD {
    float T0;     // show time in ms x 0.0010416667, of the previous frame
    float F0;     // 1.0
    float R0[2];  // pixel size of the pass being drawn
    float M0[4];  // (0, 0, 0, tweak r)
    float CP[4];  // (tweak cpx, cpy, cpz, 0)
    float CR[4];  // (tweak crx, cry, crz, 0)
};

struct TrackData {
    float value[trackCount];  // value[t] is track t at the frame's row
};

struct FocusData {
    float fp;
    float fs;
};

struct BloomData {
    float luminance;
};

static_assert(sizeof(FD) == 64 && offsetof(FD, F0) == 4 && offsetof(FD, R0) == 8 &&
                  offsetof(FD, M0) == 16 && offsetof(FD, CP) == 32 && offsetof(FD, CR) == 48,
              "FD must have its std140 arrangement");
static_assert(sizeof(TrackData) == 52, "TrackData is 13 floats");
static_assert(sizeof(FocusData) == 8 && offsetof(FocusData, fs) == 4, "FocusData is 8 bytes");
static_assert(sizeof(BloomData) == 4, "BloomData is 4 bytes");

// Creates one uniform buffer with size bytes of data as its start content
// (GL_DYNAMIC_DRAW) and binds it to the indexed binding point for good;
// leaves GL_UNIFORM_BUFFER unbound.
GLuint createUniformBuffer(const GlFunctions& gl, GLuint binding, const void* data,
                           GLsizeiptr size);
// Replaces the whole content of a uniform buffer with size bytes of data,
// through the generic GL_UNIFORM_BUFFER binding, which stays bound.
void uploadUniformBlock(const GlFunctions& gl, GLuint buffer, const void* data, GLsizeiptr size);
// Sets R0 to (width, height) and uploads the 64 bytes of fd.
void uploadFrameData(const GlFunctions& gl, GLuint buffer, FD& fd, float width, float height);
