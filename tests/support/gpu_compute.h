// gpu_compute.h: evaluating shader functions on the headless GL context.
//
// Tests of the scene text compile parts of it into a compute program whose
// text ends with a function
//     void evaluate(vec4 a, vec4 b, out vec4 r, out vec4 s)
// and run it once per item: item i reads (a, b) from a storage buffer and
// writes (r, s) to another. The harness adds the version line, the work-group
// size, the two buffers and main; the texts handed to it carry no version
// line (withoutVersionLine strips the scene header's; sceneHeader gives the
// header with the uniform block declarations the build puts in front of it).
//
// Scene parts that read the uniform blocks and the noise texture get them
// from setSceneInputs: the blocks at their bindings 0, 1 and 3 and a 64 x 64
// texture on unit 0 that holds one value everywhere, so that the ground's
// relief is a known constant.
#pragma once

#include <string>
#include <vector>

#include "render/gl.h"
#include "render/uniforms.h"

namespace gpu {

struct Vec4 {
    float x, y, z, w;
};

struct Item {
    Vec4 a, b;
};

struct Result {
    Vec4 r, s;
};

// The headless context (made once per process). False with a message when
// there is none.
bool context(GlFunctions& gl, std::string* error);

// A file of the source tree, by its path from the top ("shaders/scene/x.glsl").
std::string source(const std::string& path);

// The text without its first line when that is a #version line.
std::string withoutVersionLine(const std::string& text);

// The scene's header part as the build puts it in the scene text, without
// its version line: the shared uniform block declarations in front.
std::string sceneHeader();

// Compiles and links text (see above) as a compute program; 0 with the
// compiler's log in *log on failure.
GLuint buildEvaluator(const GlFunctions& gl, const std::string& text, std::string* log);

// Runs the program over the items and returns one result per item.
std::vector<Result> evaluate(const GlFunctions& gl, GLuint program, const std::vector<Item>& items);

// Uploads the three uniform blocks the scene declares and binds a uniform
// noise texture of the given value on unit 0.
void setSceneInputs(const GlFunctions& gl, const FD& fd, const TrackData& tracks,
                    float noiseValue);

}  // namespace gpu
