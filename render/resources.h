// resources.h: creating the GL objects of the render pipeline and drawing
// one full-screen pass.
//
// Every texture is a single-level GL_RGBA32F 2D texture with linear
// filtering; render-target textures clamp to the edge, the one sampled
// texture (createTexture) repeats. Every pass is one full-screen triangle
// that overwrites what it covers: nothing is cleared, blended, depth-tested
// or culled. A list of TextureBindings handed to a pass is bound to texture
// units 0, 1, ... in list order.
//
// Nothing here is ever released: the show builds its objects once at
// start-up and the process exit ends them.
#pragma once

#include <cstdint>

#include "render/gl.h"

struct TextureBinding {
    GLenum target;   // GL_TEXTURE_2D for every texture of the show
    GLuint texture;
};

struct RenderTarget {
    GLuint framebuffer;
    GLuint count;                    // colour attachments, 1 to 4
    TextureBinding attachments[4];  // entry i: colour attachment i, output location i
};

struct EmbeddedContent;

// The render size as whole pixels: the float truncated toward zero (0 for a
// size that is not positive, the largest int for one too large for an int).
GLint pixelCount(float size);

// A framebuffer with count (1 to 4; more is cut to 4) GL_RGBA32F textures
// of width x height, clamped to the edge, attachment i written by fragment
// output i. Leaves framebuffer 0 bound and unit GL_TEXTURE0 + count - 1
// active.
RenderTarget createRenderTarget(const GlFunctions& gl, GLint width, GLint height, GLenum type,
                                GLuint count);
// The same at the render size of the moment.
RenderTarget createRenderTargetAtRenderSize(const GlFunctions& gl, const EmbeddedContent& content,
                                            GLenum type, GLuint count);
// A repeating GL_RGBA32F texture with the given data (may be null), left
// bound on unit 0.
TextureBinding createTexture(const GlFunctions& gl, GLint width, GLint height, GLenum type,
                             const void* data);
// The same with another internal format and pixel format (GL_R32F and
// GL_RED for a texture of one channel).
TextureBinding createTextureOfFormat(const GlFunctions& gl, GLint width, GLint height,
                                     GLenum internalFormat, GLenum format, GLenum type,
                                     const void* data);
// Creates and compiles one shader of the stage from a zero-terminated text.
GLuint compileShader(const GlFunctions& gl, const char* source, GLenum stage);
// Compiles both stages, attaches them and links. When shaders is not null it
// receives the vertex and the fragment shader names, for the start-up
// checks.
GLuint buildProgram(const GlFunctions& gl, const char* vertexSource, const char* fragmentSource,
                    GLuint* shaders = nullptr);
// The same steps with a single compute stage.
GLuint buildComputeProgram(const GlFunctions& gl, const char* computeSource,
                           GLuint* shader = nullptr);
// Creates the full-screen triangle's vertex array and buffer on first use.
void ensureFullscreenTriangle(const GlFunctions& gl);
// Forgets the triangle, so that the next pass creates it again: for a
// process that replaces its context (tests do). The show never calls it.
void forgetFullscreenTriangle();
// One full-screen pass into framebuffer (0: the window) with program,
// bindings[i] on unit i for i < count (none when bindings is null). The
// viewport is whatever is current.
void drawPass(const GlFunctions& gl, GLuint framebuffer, GLuint program, GLuint count,
              const TextureBinding* bindings);
// The same with the viewport set to width x height for the pass, then to
// the render size (truncated) afterwards.
void drawPassWithViewport(const GlFunctions& gl, const EmbeddedContent& content, GLint width,
                          GLint height, GLuint framebuffer, GLuint program, GLuint count,
                          const TextureBinding* bindings);
