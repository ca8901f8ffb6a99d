// uniforms.cpp: creating the uniform buffers and refreshing them.
//
// The indexed bindings (FD 0, TrackData 1, FocusData 2, BloomData 3) are
// set once when a buffer is created and never change; every later upload
// goes through the generic GL_UNIFORM_BUFFER binding point.
#include "render/uniforms.h"

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
