// uniforms.h: the four uniform blocks that every shader of the show shares.
//
// Each record has exactly the std140 arrangement of its block, so an upload
// copies it byte for byte; the checks below hold the offsets.
//   FD         binding 0  frame data: show clock T0, pixel size R0, tweak values
//   TrackData  binding 1  the 13 sync-track values of the frame
//   FocusData  binding 2  two tweak values (no shipped shader reads them)
//   BloomData  binding 3  one tweak value (declared by the scene, not read)
//
// The GLSL side of FD and TrackData is written once, here
// (sharedBlockDeclarations): the content builder puts it in front of every
// shader text that reads the blocks, so a shader never declares them itself.
#pragma once

#include <cstddef>
#include <string>

#include "render/gl.h"
#include "sync/tracks.h"

// Frame data, binding 0. Member by member (GLSL type, std140 offset):
struct FD {
    float T0;     // float, 0: show time in ms x 0.0010416667 of the previous frame
                  // (showClock); the scene's clock
    float F0;     // float, 4: 1.0; read by no shader
    float R0[2];  // vec2, 8: pixel size of the pass being drawn; every pass turns
                  // gl_FragCoord into texture coordinates with it
    float M0[4];  // vec4, 16: (0, 0, 0, tweak "r"); read by no shader
    float CP[4];  // vec4, 32: (tweak "cpx", "cpy", "cpz", 0); read by no shader
    float CR[4];  // vec4, 48: (tweak "crx", "cry", "crz", 0); read by no shader
};

// The frame's track values, binding 1: value[t] is track t at the frame's
// row, at offset 4 t; in GLSL one float member per track, named as
// trackNames[t] (dofFocusPoint, ..., viggnet, scene, blobPos, blobEffect).
struct TrackData {
    float value[trackCount];
};

// Binding 2, tweak "fp" and "fs"; declared by no shipped shader.
struct FocusData {
    float fp;  // float, 0
    float fs;  // float, 4
};

// Binding 3, the content block's luminance; declared by the scene, not read.
struct BloomData {
    float luminance;  // float, 0
};

static_assert(sizeof(FD) == 64 && offsetof(FD, F0) == 4 && offsetof(FD, R0) == 8 &&
                  offsetof(FD, M0) == 16 && offsetof(FD, CP) == 32 && offsetof(FD, CR) == 48,
              "FD must have its std140 arrangement");
static_assert(sizeof(TrackData) == 52, "TrackData is 13 floats");
static_assert(sizeof(FocusData) == 8 && offsetof(FocusData, fs) == 4, "FocusData is 8 bytes");
static_assert(sizeof(BloomData) == 4, "BloomData is 4 bytes");

// The GLSL declarations of the FD and TrackData blocks, one member a line,
// as the content builder puts them in front of the shader texts.
std::string sharedBlockDeclarations();

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
