// frame.h: the render pipeline's objects and the passes of one frame.
//
// createRenderResources builds, once at start-up: the noise compute program
// and the graphics programs (the scene program in four builds, see
// below), the scene target (at the scene size: the render size times
// the build's scene scale) and the bloom, bloom-swap and depth-of-field
// targets (at the render size), the 2048 x 2048 noise texture (one
// channel) with its one compute dispatch, and the four uniform buffers.
//
// renderFrame draws one frame into the window's back buffer: the scene pass,
// the bloom blur chain, the composite, the optional depth-of-field pass and
// the tonemap-and-vignette pass; then it stores T0 for the next frame. Chain
// passes whose output no later pass reads are left out (see renderFrame).
//
// The scene text is built four times, with SCENE_FOREGROUND 1 to 4: each
// build holds the code of one foreground only (the cluster, the blob, the
// effect cluster, and the effect cluster while blobEffect is 0, without its
// bumps), and the scene pass draws the one that GetScene would choose for
// the frame's values. A software rasteriser runs both sides of every branch
// for a group of pixels, so the one build with all three paid for every
// foreground at every sample of the field.
//
// Unlike a show that runs blind, start-up checks what it built: a shader
// that does not compile, a program that does not link or an incomplete
// framebuffer stops start-up with a message that names it.
#pragma once

#include <cstdint>
#include <string>

#include "render/gl.h"
#include "render/resources.h"
#include "render/uniforms.h"

struct EmbeddedContent;
struct TweakValues;

// The scene program's builds, by what they draw.
enum SceneBuild { clusterBuild, blobBuild, effectBuild, stillEffectBuild, sceneBuildCount };

// The build that draws what GetScene chooses for a frame's values: the
// cluster for a scene value below 2, the blob strictly between 2 and 3, the
// effect cluster otherwise (not a number included), the still one while
// blobEffect is exactly 0.
SceneBuild sceneBuildFor(const TrackData& tracks);

struct RenderResources {
    GLuint noiseProgram, tonemapProgram, bloomProgram, compositeProgram, dofProgram;
    GLuint scenePrograms[sceneBuildCount];
    GLint sceneWidth, sceneHeight;  // fixed at start-up
    RenderTarget sceneTarget, bloomTarget, bloomSwapTarget, dofTarget;
    TextureBinding noiseTexture;  // one channel (GL_R32F)
    GLuint fdBuffer, trackBuffer, focusBuffer, bloomBuffer;
    // Where the final pass draws: 0, the window, for the show; headless
    // tools point it at a framebuffer of their own.
    GLuint outputFramebuffer;
    // The records behind the uniform buffers (TrackData is the caller's).
    FD fd;
    FocusData focus;
    BloomData bloom;
};

// Builds everything in start-up order; resources is reset first, so a
// headless tool sets outputFramebuffer afterwards. On failure returns false
// and puts one line naming what failed, followed by the compiler's or
// linker's log when there is one, into *error.
bool createRenderResources(const GlFunctions& gl, const EmbeddedContent& content,
                           float sceneScale, RenderResources& resources, std::string* error);

// Places the tweak values where the render code reads them: the pass count,
// luminance and depth-of-field switch into the content block, "r" into
// FD.M0.w, the camera position and rotation into FD.CP.xyz and FD.CR.xyz,
// the focus values into FocusData.
void placeTweaks(const TweakValues& values, EmbeddedContent& content, FD& fd, FocusData& focus);

// Start-up: the content block's tweak blob, parsed and placed. A blob that
// does not parse places nothing: every target keeps its start-up value.
void loadTweakSettings(EmbeddedContent& content, FD& fd, FocusData& focus);

// The four render targets alone, as createRenderResources makes them: the
// scene target at the render size times `sceneScale` (which also sets the
// scene size), the others at the render size. For a program whose window
// changes size after start-up (the studio); the show never calls it. The
// targets it replaces are the caller's to release. False with one line in
// *error for an incomplete framebuffer.
bool createRenderTargets(const GlFunctions& gl, const EmbeddedContent& content, float sceneScale,
                         RenderResources& resources, std::string* error);

// One program built and checked as start-up builds each: a pass program
// from its vertex and fragment texts, or the noise compute program. On
// failure, false with one line naming what failed ("render: scene program:
// fragment shader does not compile") followed by the compiler's or linker's
// log in *error. For programs that rebuild a program from edited texts.
bool buildPassProgram(const GlFunctions& gl, const char* what, const char* vertexText,
                      const char* fragmentText, GLuint& program, std::string* error);
bool buildNoiseProgram(const GlFunctions& gl, const char* computeText, GLuint& program,
                       std::string* error);

// The scene program's builds (scenePrograms), made and checked as start-up
// makes them: the scene text with SCENE_FOREGROUND 1 to 4 defined after its
// version line. On failure, false with one line naming the build that
// failed ("render: scene (blob) program: ...") and the log, as
// buildPassProgram.
bool buildScenePrograms(const GlFunctions& gl, const char* vertexText, const char* sceneText,
                        GLuint programs[sceneBuildCount], std::string* error);

// The noise texture, 2048 x 2048 of one channel (GL_R32F): creates it and
// fills it with one dispatch of the (already built) noise compute program.
TextureBinding createNoiseTexture(const GlFunctions& gl, GLuint noiseProgram);

// The show clock T0 of a show time in milliseconds: show time x 1/960 in
// single precision (0.0010416667, the float nearest 1/960).
float showClock(std::int32_t showTime);

// Runs the passes of one frame with the frame's track values. With a bloom
// pass count of 1, 5, 9, ... the composite lands in bloomSwapTarget instead
// of bloomTarget, so that no pass samples the texture it draws into.
void renderFrame(const GlFunctions& gl, RenderResources& resources,
                 const EmbeddedContent& content, const TrackData& tracks,
                 std::int32_t showTime);

// Whether chain pass i (0 to passes - 1) of the bloom chain is drawn: only
// when something reads what it draws (pass 0 and pass 3 of each group of
// four, never the last). A frame draws the first blur and these.
bool chainPassIsRead(std::int32_t i, std::int32_t passes);
