// recording_gl.cpp: the recording fakes and the replaying state model.
#include "tests/support/recording_gl.h"

#include <cstring>

namespace {

GlRecorder recorder;

GlCall& record(const char* name, std::initializer_list<long long> args) {
    recorder.calls.push_back(GlCall{name, std::vector<long long>(args), {}, {}});
    return recorder.calls.back();
}

void generate(const char* name, GLsizei n, GLuint* names) {
    GlCall& call = record(name, {n});
    for (GLsizei i = 0; i < n; ++i) {
        names[i] = recorder.nextName++;
        call.args.push_back(names[i]);
    }
}

GLuint OSTREL_GLAPI fakeCreateShader(GLenum type) {
    GLuint name = recorder.nextName++;
    record("glCreateShader", {type, name});
    return name;
}
void OSTREL_GLAPI fakeShaderSource(GLuint shader, GLsizei count, const GLchar* const* string,
                                   const GLint* length) {
    GlCall& call = record("glShaderSource", {shader, count, length == nullptr ? 0 : 1});
    if (count == 1 && string != nullptr && string[0] != nullptr) call.text = string[0];
}
void OSTREL_GLAPI fakeCompileShader(GLuint shader) { record("glCompileShader", {shader}); }
GLuint OSTREL_GLAPI fakeCreateProgram() {
    GLuint name = recorder.nextName++;
    record("glCreateProgram", {name});
    return name;
}
void OSTREL_GLAPI fakeAttachShader(GLuint program, GLuint shader) {
    record("glAttachShader", {program, shader});
}
void OSTREL_GLAPI fakeDeleteProgram(GLuint program) { record("glDeleteProgram", {program}); }
void OSTREL_GLAPI fakeLinkProgram(GLuint program) { record("glLinkProgram", {program}); }
void OSTREL_GLAPI fakeUseProgram(GLuint program) { record("glUseProgram", {program}); }
void OSTREL_GLAPI fakeGenBuffers(GLsizei n, GLuint* buffers) {
    generate("glGenBuffers", n, buffers);
}
void OSTREL_GLAPI fakeBindBuffer(GLenum target, GLuint buffer) {
    record("glBindBuffer", {target, buffer});
}
void OSTREL_GLAPI fakeBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage) {
    GlCall& call = record("glBufferData", {target, size, usage});
    if (data != nullptr) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        call.bytes.assign(p, p + size);
    }
}
void OSTREL_GLAPI fakeBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size,
                                    const void* data) {
    GlCall& call = record("glBufferSubData", {target, offset, size});
    const auto* p = static_cast<const std::uint8_t*>(data);
    call.bytes.assign(p, p + size);
}
void OSTREL_GLAPI fakeBindBufferBase(GLenum target, GLuint index, GLuint buffer) {
    record("glBindBufferBase", {target, index, buffer});
}
void OSTREL_GLAPI fakeGenVertexArrays(GLsizei n, GLuint* arrays) {
    generate("glGenVertexArrays", n, arrays);
}
void OSTREL_GLAPI fakeBindVertexArray(GLuint array) { record("glBindVertexArray", {array}); }
void OSTREL_GLAPI fakeEnableVertexAttribArray(GLuint index) {
    record("glEnableVertexAttribArray", {index});
}
void OSTREL_GLAPI fakeVertexAttribPointer(GLuint index, GLint size, GLenum type,
                                          GLboolean normalized, GLsizei stride,
                                          const void* pointer) {
    record("glVertexAttribPointer", {index, size, type, normalized, stride,
                                     static_cast<long long>(reinterpret_cast<std::uintptr_t>(pointer))});
}
void OSTREL_GLAPI fakeDrawArrays(GLenum mode, GLint first, GLsizei count) {
    record("glDrawArrays", {mode, first, count});
}
void OSTREL_GLAPI fakeUniform1i(GLint location, GLint v0) { record("glUniform1i", {location, v0}); }
void OSTREL_GLAPI fakeTexImage3D(GLenum, GLint, GLint, GLsizei, GLsizei, GLsizei, GLint, GLenum,
                                 GLenum, const void*) {
    record("glTexImage3D", {});
}
void OSTREL_GLAPI fakeDispatchCompute(GLuint x, GLuint y, GLuint z) {
    record("glDispatchCompute", {x, y, z});
}
void OSTREL_GLAPI fakeBindImageTexture(GLuint unit, GLuint texture, GLint level,
                                       GLboolean layered, GLint layer, GLenum access,
                                       GLenum format) {
    record("glBindImageTexture", {unit, texture, level, layered, layer, access, format});
}
void OSTREL_GLAPI fakeMemoryBarrier(GLbitfield barriers) { record("glMemoryBarrier", {barriers}); }
void OSTREL_GLAPI fakeGenTextures(GLsizei n, GLuint* textures) {
    generate("glGenTextures", n, textures);
}
void OSTREL_GLAPI fakeActiveTexture(GLenum texture) { record("glActiveTexture", {texture}); }
void OSTREL_GLAPI fakeBindTexture(GLenum target, GLuint texture) {
    record("glBindTexture", {target, texture});
}
void OSTREL_GLAPI fakeTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width,
                                 GLsizei height, GLint border, GLenum format, GLenum type,
                                 const void* pixels) {
    record("glTexImage2D", {target, level, internalformat, width, height, border, format, type,
                            pixels == nullptr ? 0 : 1});
}
void OSTREL_GLAPI fakeTexParameteri(GLenum target, GLenum pname, GLint param) {
    record("glTexParameteri", {target, pname, param});
}
void OSTREL_GLAPI fakeGenFramebuffers(GLsizei n, GLuint* framebuffers) {
    generate("glGenFramebuffers", n, framebuffers);
}
void OSTREL_GLAPI fakeBindFramebuffer(GLenum target, GLuint framebuffer) {
    record("glBindFramebuffer", {target, framebuffer});
}
void OSTREL_GLAPI fakeFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget,
                                           GLuint texture, GLint level) {
    record("glFramebufferTexture2D", {target, attachment, textarget, texture, level});
}
void OSTREL_GLAPI fakeViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    record("glViewport", {x, y, width, height});
}
void OSTREL_GLAPI fakeDrawBuffers(GLsizei n, const GLenum* bufs) {
    GlCall& call = record("glDrawBuffers", {n});
    for (GLsizei i = 0; i < n; ++i) call.args.push_back(bufs[i]);
}
const GLubyte* OSTREL_GLAPI fakeGetString(GLenum name) {
    record("glGetString", {name});
    return reinterpret_cast<const GLubyte*>("fake");
}
void OSTREL_GLAPI fakeGetIntegerv(GLenum pname, GLint* data) {
    record("glGetIntegerv", {pname});
    *data = 0;
}
void OSTREL_GLAPI fakeGetShaderiv(GLuint shader, GLenum pname, GLint* params) {
    record("glGetShaderiv", {shader, pname});
    bool failing = recorder.failingShader == 0 || recorder.failingShader == shader;
    if (pname == GL_COMPILE_STATUS)
        *params = failing ? recorder.compileStatus : 1;
    else if (pname == GL_INFO_LOG_LENGTH)
        *params = static_cast<GLint>(recorder.infoLog.size() + 1);
    else
        *params = 0;
}
void copyLog(GLsizei bufSize, GLsizei* length, GLchar* infoLog) {
    GLsizei n = static_cast<GLsizei>(recorder.infoLog.size());
    if (n > bufSize - 1) n = bufSize - 1;
    std::memcpy(infoLog, recorder.infoLog.data(), static_cast<std::size_t>(n));
    infoLog[n] = '\0';
    if (length != nullptr) *length = n;
}
void OSTREL_GLAPI fakeGetShaderInfoLog(GLuint shader, GLsizei bufSize, GLsizei* length,
                                       GLchar* infoLog) {
    record("glGetShaderInfoLog", {shader, bufSize});
    copyLog(bufSize, length, infoLog);
}
void OSTREL_GLAPI fakeGetProgramiv(GLuint program, GLenum pname, GLint* params) {
    record("glGetProgramiv", {program, pname});
    if (pname == GL_LINK_STATUS)
        *params = recorder.linkStatus;
    else if (pname == GL_INFO_LOG_LENGTH)
        *params = static_cast<GLint>(recorder.infoLog.size() + 1);
    else
        *params = 0;
}
void OSTREL_GLAPI fakeGetProgramInfoLog(GLuint program, GLsizei bufSize, GLsizei* length,
                                        GLchar* infoLog) {
    record("glGetProgramInfoLog", {program, bufSize});
    copyLog(bufSize, length, infoLog);
}
GLenum OSTREL_GLAPI fakeCheckFramebufferStatus(GLenum target) {
    record("glCheckFramebufferStatus", {target});
    return recorder.framebufferStatus;
}

}  // namespace

GlRecorder& glRecorder() { return recorder; }

void resetGlRecorder() { recorder = GlRecorder(); }

GlFunctions recordingGlFunctions() {
    GlFunctions gl;
    gl.glCreateShader = fakeCreateShader;
    gl.glShaderSource = fakeShaderSource;
    gl.glCompileShader = fakeCompileShader;
    gl.glCreateProgram = fakeCreateProgram;
    gl.glAttachShader = fakeAttachShader;
    gl.glDeleteProgram = fakeDeleteProgram;
    gl.glLinkProgram = fakeLinkProgram;
    gl.glUseProgram = fakeUseProgram;
    gl.glGenBuffers = fakeGenBuffers;
    gl.glBindBuffer = fakeBindBuffer;
    gl.glBufferData = fakeBufferData;
    gl.glBufferSubData = fakeBufferSubData;
    gl.glBindBufferBase = fakeBindBufferBase;
    gl.glGenVertexArrays = fakeGenVertexArrays;
    gl.glBindVertexArray = fakeBindVertexArray;
    gl.glEnableVertexAttribArray = fakeEnableVertexAttribArray;
    gl.glVertexAttribPointer = fakeVertexAttribPointer;
    gl.glDrawArrays = fakeDrawArrays;
    gl.glUniform1i = fakeUniform1i;
    gl.glTexImage3D = fakeTexImage3D;
    gl.glDispatchCompute = fakeDispatchCompute;
    gl.glBindImageTexture = fakeBindImageTexture;
    gl.glMemoryBarrier = fakeMemoryBarrier;
    gl.glGenTextures = fakeGenTextures;
    gl.glActiveTexture = fakeActiveTexture;
    gl.glBindTexture = fakeBindTexture;
    gl.glTexImage2D = fakeTexImage2D;
    gl.glTexParameteri = fakeTexParameteri;
    gl.glGenFramebuffers = fakeGenFramebuffers;
    gl.glBindFramebuffer = fakeBindFramebuffer;
    gl.glFramebufferTexture2D = fakeFramebufferTexture2D;
    gl.glViewport = fakeViewport;
    gl.glDrawBuffers = fakeDrawBuffers;
    gl.glGetString = fakeGetString;
    gl.glGetIntegerv = fakeGetIntegerv;
    gl.glGetShaderiv = fakeGetShaderiv;
    gl.glGetShaderInfoLog = fakeGetShaderInfoLog;
    gl.glGetProgramiv = fakeGetProgramiv;
    gl.glGetProgramInfoLog = fakeGetProgramInfoLog;
    gl.glCheckFramebufferStatus = fakeCheckFramebufferStatus;
    return gl;
}

std::vector<GlCall> callsNamed(const std::vector<GlCall>& calls, const std::string& name) {
    std::vector<GlCall> found;
    for (const GlCall& call : calls)
        if (call.name == name) found.push_back(call);
    return found;
}

std::vector<std::string> callNames(const std::vector<GlCall>& calls) {
    std::vector<std::string> names;
    for (const GlCall& call : calls) names.push_back(call.name);
    return names;
}

void GlState::replay(const std::vector<GlCall>& calls) {
    for (const GlCall& c : calls) {
        const auto& a = c.args;
        if (c.name == "glUseProgram") {
            program = static_cast<GLuint>(a[0]);
        } else if (c.name == "glBindFramebuffer") {
            framebuffer = static_cast<GLuint>(a[1]);
        } else if (c.name == "glActiveTexture") {
            activeUnit = static_cast<GLuint>(a[0] - GL_TEXTURE0);
        } else if (c.name == "glBindTexture") {
            if (a[0] == GL_TEXTURE_2D) units[activeUnit] = static_cast<GLuint>(a[1]);
        } else if (c.name == "glViewport") {
            for (int i = 0; i < 4; ++i) viewport[i] = static_cast<GLint>(a[i]);
        } else if (c.name == "glFramebufferTexture2D") {
            std::vector<GLuint>& list = attachments[framebuffer];
            std::size_t index = static_cast<std::size_t>(a[1] - GL_COLOR_ATTACHMENT0);
            if (list.size() <= index) list.resize(index + 1, 0);
            list[index] = static_cast<GLuint>(a[3]);
        } else if (c.name == "glBindBuffer") {
            if (a[0] == GL_UNIFORM_BUFFER) uniformBuffer = static_cast<GLuint>(a[1]);
        } else if (c.name == "glBufferData") {
            if (a[0] == GL_UNIFORM_BUFFER) buffers[uniformBuffer] = c.bytes;
        } else if (c.name == "glBufferSubData") {
            if (a[0] == GL_UNIFORM_BUFFER) {
                std::vector<std::uint8_t>& data = buffers[uniformBuffer];
                std::size_t offset = static_cast<std::size_t>(a[1]);
                if (data.size() < offset + c.bytes.size()) data.resize(offset + c.bytes.size());
                std::memcpy(data.data() + offset, c.bytes.data(), c.bytes.size());
            }
        } else if (c.name == "glBindBufferBase") {
            bufferBindings[static_cast<GLuint>(a[1])] = static_cast<GLuint>(a[2]);
        } else if (c.name == "glDrawArrays") {
            Pass pass;
            pass.program = program;
            pass.framebuffer = framebuffer;
            for (int i = 0; i < 4; ++i) pass.viewport[i] = viewport[i];
            pass.units = units;
            pass.writes = attachments[framebuffer];
            pass.buffers = buffers;
            passes.push_back(pass);
        }
    }
}

void frameDataR0(const std::vector<std::uint8_t>& fd, float& width, float& height) {
    width = height = -1.0f;
    if (fd.size() < 16) return;
    std::memcpy(&width, fd.data() + 8, 4);
    std::memcpy(&height, fd.data() + 12, 4);
}
