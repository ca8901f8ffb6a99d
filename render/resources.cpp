// resources.cpp: the GL resource helpers and the two pass functions.
//
// The call order inside each helper is fixed (tests hold it): which texture
// unit is active when a helper returns and which framebuffer is bound are
// part of what later code relies on. Nothing is checked here; the start-up
// checks of compile, link and framebuffer status live in frame.cpp, on the
// names these helpers return.
#include "render/resources.h"

#include <cmath>
#include <limits>

#include "sync/content.h"

namespace {

// The full-screen triangle: one vertex array, one vertex buffer, and whether
// they exist yet. Process-wide, because the show has one context.
struct FullscreenTriangle {
    GLuint vertexArray;
    GLuint vertexBuffer;
    bool created;
};
FullscreenTriangle triangle = {0, 0, false};

// Three vertices that cover the clip square from -1 to 1 with one triangle.
const float triangleVertices[9] = {-1.0f, 1.0f, 0.0f, 3.0f, 1.0f, 0.0f, -1.0f, -3.0f, 0.0f};

// Steps 2 to 6 of a pass: program, texture units, vertex array and
// attribute, framebuffer, draw.
void runPass(const GlFunctions& gl, GLuint framebuffer, GLuint program, GLuint count,
             const TextureBinding* bindings) {
    gl.glUseProgram(program);
    if (bindings != nullptr) {
        for (GLuint i = 0; i < count; ++i) {
            gl.glActiveTexture(GL_TEXTURE0 + i);
            gl.glBindTexture(bindings[i].target, bindings[i].texture);
        }
    }
    // A core profile draws nothing without a bound vertex array, so every
    // pass binds and configures it.
    gl.glBindVertexArray(triangle.vertexArray);
    gl.glBindBuffer(GL_ARRAY_BUFFER, triangle.vertexBuffer);
    gl.glEnableVertexAttribArray(0);
    gl.glVertexAttribPointer(0, 3, GL_FLOAT, 0, 0, nullptr);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.glDrawArrays(GL_TRIANGLES, 0, 3);
}

}  // namespace

GLint pixelCount(float size) {
    // Truncation toward zero; a size that is not a number, negative or too
    // large for an int is no size a window can have, and must not reach an
    // undefined conversion.
    if (!(size > 0.0f)) return 0;
    if (size >= 2147483520.0f) return std::numeric_limits<GLint>::max();
    return static_cast<GLint>(size);
}

RenderTarget createRenderTarget(const GlFunctions& gl, GLint width, GLint height, GLenum type,
                                GLuint count) {
    RenderTarget target = {};
    // The draw-buffer list has four places: four attachments at most.
    if (count > 4) count = 4;
    GLenum drawBuffers[4] = {0, 0, 0, 0};
    gl.glGenFramebuffers(1, &target.framebuffer);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    target.count = count;
    for (GLuint i = 0; i < count; ++i) {
        TextureBinding& attachment = target.attachments[i];
        attachment.target = GL_TEXTURE_2D;
        gl.glGenTextures(1, &attachment.texture);
        gl.glActiveTexture(GL_TEXTURE0 + i);
        gl.glBindTexture(GL_TEXTURE_2D, attachment.texture);
        gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, width, height, 0, GL_RGBA, type, nullptr);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D,
                                  attachment.texture, 0);
        drawBuffers[i] = GL_COLOR_ATTACHMENT0 + i;
    }
    gl.glDrawBuffers(static_cast<GLsizei>(count), drawBuffers);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return target;
}

RenderTarget createRenderTargetAtRenderSize(const GlFunctions& gl, const EmbeddedContent& content,
                                            GLenum type, GLuint count) {
    return createRenderTarget(gl, pixelCount(content.renderWidth),
                              pixelCount(content.renderHeight), type, count);
}

TextureBinding createTexture(const GlFunctions& gl, GLint width, GLint height, GLenum type,
                             const void* data) {
    return createTextureOfFormat(gl, width, height, GL_RGBA32F, GL_RGBA, type, data);
}

TextureBinding createTextureOfFormat(const GlFunctions& gl, GLint width, GLint height,
                                     GLenum internalFormat, GLenum format, GLenum type,
                                     const void* data) {
    TextureBinding binding = {GL_TEXTURE_2D, 0};
    gl.glGenTextures(1, &binding.texture);
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, binding.texture);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // A non-mipmap minification filter makes the one-level texture complete.
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, GLint(internalFormat), width, height, 0, format, type, data);
    return binding;
}

GLuint compileShader(const GlFunctions& gl, const char* source, GLenum stage) {
    GLuint shader = gl.glCreateShader(stage);
    gl.glShaderSource(shader, 1, &source, nullptr);
    gl.glCompileShader(shader);
    return shader;
}

GLuint buildProgram(const GlFunctions& gl, const char* vertexSource, const char* fragmentSource,
                    GLuint* shaders) {
    GLuint program = gl.glCreateProgram();
    GLuint vertex = compileShader(gl, vertexSource, GL_VERTEX_SHADER);
    gl.glAttachShader(program, vertex);
    GLuint fragment = compileShader(gl, fragmentSource, GL_FRAGMENT_SHADER);
    gl.glAttachShader(program, fragment);
    gl.glLinkProgram(program);
    if (shaders != nullptr) {
        shaders[0] = vertex;
        shaders[1] = fragment;
    }
    return program;
}

GLuint buildComputeProgram(const GlFunctions& gl, const char* computeSource, GLuint* shader) {
    GLuint program = gl.glCreateProgram();
    GLuint compute = compileShader(gl, computeSource, GL_COMPUTE_SHADER);
    gl.glAttachShader(program, compute);
    gl.glLinkProgram(program);
    if (shader != nullptr) *shader = compute;
    return program;
}

void ensureFullscreenTriangle(const GlFunctions& gl) {
    if (triangle.created) return;
    gl.glGenVertexArrays(1, &triangle.vertexArray);
    gl.glGenBuffers(1, &triangle.vertexBuffer);
    gl.glBindBuffer(GL_ARRAY_BUFFER, triangle.vertexBuffer);
    gl.glBufferData(GL_ARRAY_BUFFER, sizeof triangleVertices, triangleVertices, GL_STATIC_DRAW);
    triangle.created = true;
}

void forgetFullscreenTriangle() { triangle = {0, 0, false}; }

void drawPass(const GlFunctions& gl, GLuint framebuffer, GLuint program, GLuint count,
              const TextureBinding* bindings) {
    ensureFullscreenTriangle(gl);
    runPass(gl, framebuffer, program, count, bindings);
}

void drawPassWithViewport(const GlFunctions& gl, const EmbeddedContent& content, GLint width,
                          GLint height, GLuint framebuffer, GLuint program, GLuint count,
                          const TextureBinding* bindings) {
    ensureFullscreenTriangle(gl);
    gl.glViewport(0, 0, width, height);
    runPass(gl, framebuffer, program, count, bindings);
    // Back to the render size (not to whatever was current before): every
    // later pass of the frame draws at the render size.
    gl.glViewport(0, 0, pixelCount(content.renderWidth), pixelCount(content.renderHeight));
}
