// gl.h: the show's own view of OpenGL 4.3 core.
//
// Every GL call of the show goes through one table, GlFunctions, that the
// host fills at start-up. The show includes no system GL header: the few
// types and enumerants it uses are declared here, so the core compiles the
// same for every host (SDL on Linux, WGL on Windows, headless EGL in tests)
// and tests can fill the table with recording fakes.
//
// The table lists the entry points in the order the Windows host looks them
// up: group A (shaders, buffers, vertex arrays, compute), group B (textures,
// framebuffers, viewport), then group C, the start-up checks (version string,
// compile, link and framebuffer status) with which the show refuses to run
// blind. glDeleteProgram and glTexImage3D are looked up but never called.
//
// Platform note: on 32-bit Windows the GL entry points use the stdcall
// convention; OSTREL_GLAPI carries it.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define OSTREL_GLAPI __stdcall
#else
#define OSTREL_GLAPI
#endif

typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef int GLint;
typedef int GLsizei;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef char GLchar;
typedef unsigned char GLubyte;
typedef float GLfloat;
typedef std::ptrdiff_t GLsizeiptr;
typedef std::ptrdiff_t GLintptr;

// Enumerants the show uses.
enum : GLenum {
    GL_TRIANGLES = 0x0004,
    GL_TEXTURE_2D = 0x0DE1,
    GL_FLOAT = 0x1406,
    GL_RED = 0x1903,
    GL_RGBA = 0x1908,
    GL_VENDOR = 0x1F00,
    GL_RENDERER = 0x1F01,
    GL_VERSION = 0x1F02,
    GL_LINEAR = 0x2601,
    GL_TEXTURE_MAG_FILTER = 0x2800,
    GL_TEXTURE_MIN_FILTER = 0x2801,
    GL_TEXTURE_WRAP_S = 0x2802,
    GL_TEXTURE_WRAP_T = 0x2803,
    GL_REPEAT = 0x2901,
    GL_CLAMP_TO_EDGE = 0x812F,
    GL_MAJOR_VERSION = 0x821B,
    GL_MINOR_VERSION = 0x821C,
    GL_R32F = 0x822E,
    GL_TEXTURE0 = 0x84C0,
    GL_RGBA32F = 0x8814,
    GL_ARRAY_BUFFER = 0x8892,
    GL_WRITE_ONLY = 0x88B9,
    GL_STATIC_DRAW = 0x88E4,
    GL_DYNAMIC_DRAW = 0x88E8,
    GL_UNIFORM_BUFFER = 0x8A11,
    GL_FRAGMENT_SHADER = 0x8B30,
    GL_VERTEX_SHADER = 0x8B31,
    GL_COMPILE_STATUS = 0x8B81,
    GL_LINK_STATUS = 0x8B82,
    GL_INFO_LOG_LENGTH = 0x8B84,
    GL_FRAMEBUFFER_COMPLETE = 0x8CD5,
    GL_COLOR_ATTACHMENT0 = 0x8CE0,
    GL_FRAMEBUFFER = 0x8D40,
    GL_COMPUTE_SHADER = 0x91B9,
};
enum : GLbitfield { GL_TEXTURE_FETCH_BARRIER_BIT = 0x00000008 };

// The table, as an X-macro: (group, result, name, parameters). The order is
// the look-up order.
#define OSTREL_GL_FUNCTIONS(X)                                                                     \
    X(A, GLuint, glCreateShader, (GLenum type))                                                    \
    X(A, void, glShaderSource,                                                                     \
      (GLuint shader, GLsizei count, const GLchar* const* string, const GLint* length))             \
    X(A, void, glCompileShader, (GLuint shader))                                                   \
    X(A, GLuint, glCreateProgram, (void))                                                          \
    X(A, void, glAttachShader, (GLuint program, GLuint shader))                                    \
    X(A, void, glDeleteProgram, (GLuint program))                                                  \
    X(A, void, glLinkProgram, (GLuint program))                                                    \
    X(A, void, glUseProgram, (GLuint program))                                                     \
    X(A, void, glGenBuffers, (GLsizei n, GLuint * buffers))                                        \
    X(A, void, glBindBuffer, (GLenum target, GLuint buffer))                                       \
    X(A, void, glBufferData, (GLenum target, GLsizeiptr size, const void* data, GLenum usage))     \
    X(A, void, glBufferSubData,                                                                    \
      (GLenum target, GLintptr offset, GLsizeiptr size, const void* data))                         \
    X(A, void, glBindBufferBase, (GLenum target, GLuint index, GLuint buffer))                     \
    X(A, void, glGenVertexArrays, (GLsizei n, GLuint * arrays))                                    \
    X(A, void, glBindVertexArray, (GLuint array))                                                  \
    X(A, void, glEnableVertexAttribArray, (GLuint index))                                          \
    X(A, void, glVertexAttribPointer,                                                              \
      (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,                \
       const void* pointer))                                                                       \
    X(A, void, glDrawArrays, (GLenum mode, GLint first, GLsizei count))                            \
    X(A, void, glUniform1i, (GLint location, GLint v0))                                            \
    X(A, void, glTexImage3D,                                                                       \
      (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,            \
       GLsizei depth, GLint border, GLenum format, GLenum type, const void* pixels))               \
    X(A, void, glDispatchCompute, (GLuint x, GLuint y, GLuint z))                                  \
    X(A, void, glBindImageTexture,                                                                 \
      (GLuint unit, GLuint texture, GLint level, GLboolean layered, GLint layer, GLenum access,    \
       GLenum format))                                                                             \
    X(A, void, glMemoryBarrier, (GLbitfield barriers))                                             \
    X(B, void, glGenTextures, (GLsizei n, GLuint * textures))                                      \
    X(B, void, glActiveTexture, (GLenum texture))                                                  \
    X(B, void, glBindTexture, (GLenum target, GLuint texture))                                     \
    X(B, void, glTexImage2D,                                                                       \
      (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,            \
       GLint border, GLenum format, GLenum type, const void* pixels))                              \
    X(B, void, glTexParameteri, (GLenum target, GLenum pname, GLint param))                        \
    X(B, void, glGenFramebuffers, (GLsizei n, GLuint * framebuffers))                              \
    X(B, void, glBindFramebuffer, (GLenum target, GLuint framebuffer))                             \
    X(B, void, glFramebufferTexture2D,                                                             \
      (GLenum target, GLenum attachment, GLenum textarget, GLuint texture, GLint level))           \
    X(B, void, glViewport, (GLint x, GLint y, GLsizei width, GLsizei height))                      \
    X(B, void, glDrawBuffers, (GLsizei n, const GLenum* bufs))                                     \
    X(C, const GLubyte*, glGetString, (GLenum name))                                               \
    X(C, void, glGetIntegerv, (GLenum pname, GLint * data))                                        \
    X(C, void, glGetShaderiv, (GLuint shader, GLenum pname, GLint * params))                       \
    X(C, void, glGetShaderInfoLog,                                                                 \
      (GLuint shader, GLsizei bufSize, GLsizei * length, GLchar * infoLog))                        \
    X(C, void, glGetProgramiv, (GLuint program, GLenum pname, GLint * params))                     \
    X(C, void, glGetProgramInfoLog,                                                                \
      (GLuint program, GLsizei bufSize, GLsizei * length, GLchar * infoLog))                       \
    X(C, GLenum, glCheckFramebufferStatus, (GLenum target))

struct GlFunctions {
#define OSTREL_GL_MEMBER(group, result, name, params) result(OSTREL_GLAPI* name) params;
    OSTREL_GL_FUNCTIONS(OSTREL_GL_MEMBER)
#undef OSTREL_GL_MEMBER
};

// Number of entries of each group; groups A and B are the 33 of the show's
// rendering, group C the start-up checks.
enum : int { glGroupACount = 23, glGroupBCount = 10, glGroupCCount = 7 };
enum : int { glFunctionCount = glGroupACount + glGroupBCount + glGroupCCount };

// Entry-point names in look-up order.
extern const char* const glFunctionNames[glFunctionCount];

// Fills the table in look-up order: lookup(name, context) gives each entry
// point, a null result leaving the slot null.
typedef void* (*GlLookup)(const char* name, void* context);
void loadGlFunctions(GlFunctions& gl, GlLookup lookup, void* context);

// The name of the first entry that the show calls but the table lacks, or
// null when every called entry is present (glDeleteProgram and glTexImage3D
// are never called and may be missing).
const char* missingGlFunction(const GlFunctions& gl);
