// uniforms.cpp: creating the uniform buffers and refreshing them.
//
// The indexed bindings (FD 0, TrackData 1, FocusData 2, BloomData 3) are
// set once when a buffer is created and never change; every later upload
// goes through the generic GL_UNIFORM_BUFFER binding point.
#include "render/uniforms.h"

namespace {

// FD as GLSL: the members of the record, in order.
const char frameDataDeclaration[] =
    "layout(std140, binding = 0) uniform FD\n"
    "{\n"
    "    float T0;\n"
    "    float F0;\n"
    "    vec2 R0;\n"
    "    vec4 M0;\n"
    "    vec4 CP;\n"
    "    vec4 CR;\n"
    "};\n";

}  // namespace

std::string sharedBlockDeclarations() {
    std::string text = frameDataDeclaration;
    text += "layout(std140, binding = 1) uniform TrackData\n{\n";
    for (int t = 0; t < trackCount; ++t) text += std::string("    float ") + trackNames[t] + ";\n";
    text += "};\n";
    return text;
}

GLuint createUniformBuffer(const GlFunctions& gl, GLuint binding, const void* data,
                           GLsizeiptr size) {
    GLuint buffer = 0;
    gl.glGenBuffers(1, &buffer);
    gl.glBindBuffer(GL_UNIFORM_BUFFER, buffer);
    gl.glBufferData(GL_UNIFORM_BUFFER, size, data, GL_DYNAMIC_DRAW);
    gl.glBindBuffer(GL_UNIFORM_BUFFER, 0);
    gl.glBindBufferBase(GL_UNIFORM_BUFFER, binding, buffer);
    return buffer;
}

void uploadUniformBlock(const GlFunctions& gl, GLuint buffer, const void* data, GLsizeiptr size) {
    gl.glBindBuffer(GL_UNIFORM_BUFFER, buffer);
    gl.glBufferSubData(GL_UNIFORM_BUFFER, 0, size, data);
}

void uploadFrameData(const GlFunctions& gl, GLuint buffer, FD& fd, float width, float height) {
    fd.R0[0] = width;
    fd.R0[1] = height;
    uploadUniformBlock(gl, buffer, &fd, sizeof fd);
}
