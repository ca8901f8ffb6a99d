// recording_gl.h: a GlFunctions table that records every call instead of
// drawing, and a small model of the GL state those calls would leave.
//
// Tests of the render code fill the table with these fakes, run the code
// and look at the calls: their order, their arguments and the bytes of
// every buffer upload. GlState replays a call list and reports each draw
// as a Pass: program, framebuffer, viewport, the texture on every unit and
// the uniform buffers' contents at the time of the draw.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "render/gl.h"

struct GlCall {
    std::string name;
    std::vector<long long> args;        // integer and enum arguments in order
    std::vector<std::uint8_t> bytes;    // data of glBufferData / glBufferSubData / glDrawBuffers
    std::string text;                   // source of glShaderSource
};

struct GlRecorder {
    std::vector<GlCall> calls;
    GLuint nextName = 1;            // names handed out by every glGen* / glCreate*
    GLint compileStatus = 1;        // what glGetShaderiv reports for GL_COMPILE_STATUS
    GLuint failingShader = 0;       // when set, only this shader reports compileStatus
    GLint linkStatus = 1;
    GLenum framebufferStatus = GL_FRAMEBUFFER_COMPLETE;
    std::string infoLog = "0:1(1): error: something is wrong\n";
};

// The one recorder behind the fakes; reset clears calls and settings.
GlRecorder& glRecorder();
void resetGlRecorder();
GlFunctions recordingGlFunctions();

// Calls with this name, in order.
std::vector<GlCall> callsNamed(const std::vector<GlCall>& calls, const std::string& name);
// The names of the calls, in order.
std::vector<std::string> callNames(const std::vector<GlCall>& calls);

struct Pass {
    GLuint program;
    GLuint framebuffer;
    GLint viewport[4];
    std::map<GLuint, GLuint> units;        // texture unit -> texture bound to GL_TEXTURE_2D
    std::vector<GLuint> writes;            // textures attached to the framebuffer
    std::map<GLuint, std::vector<std::uint8_t>> buffers;  // uniform buffer -> content
};

// Replays the calls through a model of the state they touch.
struct GlState {
    GLuint program = 0;
    GLuint framebuffer = 0;
    GLuint activeUnit = 0;
    GLuint uniformBuffer = 0;
    GLint viewport[4] = {0, 0, 0, 0};
    std::map<GLuint, GLuint> units;
    std::map<GLuint, std::vector<GLuint>> attachments;  // framebuffer -> textures
    std::map<GLuint, std::vector<std::uint8_t>> buffers;
    std::map<GLuint, GLuint> bufferBindings;  // uniform binding point -> buffer
    std::vector<Pass> passes;

    void replay(const std::vector<GlCall>& calls);
};

// R0 of an FD buffer's content.
void frameDataR0(const std::vector<std::uint8_t>& fd, float& width, float& height);
