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

RenderTarget createRenderTarget(const GlFunctions& gl, GLint width, GLint height, GLenum type,
                                GLuint count);
RenderTarget createRenderTargetAtRenderSize(const GlFunctions& gl, const EmbeddedContent& content,
                                            GLenum type, GLuint count);
TextureBinding createTexture(const GlFunctions& gl, GLint width, GLint height, GLenum type,
                             const void* data);
GLuint compileShader(const GlFunctions& gl, const char* source, GLenum stage);
GLuint buildProgram(const GlFunctions& gl, const char* vertexSource, const char* fragmentSource);
void ensureFullscreenTriangle(const GlFunctions& gl);
void drawPass(const GlFunctions& gl, GLuint framebuffer, GLuint program, GLuint count,
              const TextureBinding* bindings);
void drawPassWithViewport(const GlFunctions& gl, const EmbeddedContent& content, GLint width,
                          GLint height, GLuint framebuffer, GLuint program, GLuint count,
                          const TextureBinding* bindings);
