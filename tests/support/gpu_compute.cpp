// gpu_compute.cpp: the compute harness of gpu_compute.h.
#include "tests/support/gpu_compute.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "host/headless.h"

namespace gpu {
namespace {

// Beyond the show's table: reading a buffer back and freeing the per-run
// buffers.
constexpr GLenum kShaderStorageBuffer = 0x90D2;
constexpr GLbitfield kBufferUpdateBarrier = 0x00000200;
constexpr GLenum kStaticRead = 0x88E5;

typedef void(OSTREL_GLAPI* GetBufferSubData)(GLenum, GLintptr, GLsizeiptr, void*);
typedef void(OSTREL_GLAPI* DeleteBuffers)(GLsizei, const GLuint*);

const char* const kPrologue =
    "#version 430\n"
    "layout(local_size_x = 64) in;\n";

const char* const kEpilogue = R"(
layout(std430, binding = 0) readonly buffer EvaluatorInputs { vec4 evaluatorIn[]; };
layout(std430, binding = 1) writeonly buffer EvaluatorOutputs { vec4 evaluatorOut[]; };
void main()
{
    uint i = gl_GlobalInvocationID.x;
    if (i >= uint(evaluatorIn.length() / 2)) return;
    vec4 r = vec4(0.0);
    vec4 s = vec4(0.0);
    evaluate(evaluatorIn[2u * i], evaluatorIn[2u * i + 1u], r, s);
    evaluatorOut[2u * i] = r;
    evaluatorOut[2u * i + 1u] = s;
}
)";

std::string shaderLog(const GlFunctions& gl, GLuint shader) {
    char text[16384];
    GLsizei length = 0;
    gl.glGetShaderInfoLog(shader, sizeof text, &length, text);
    return std::string(text, std::size_t(length));
}

}  // namespace

bool context(GlFunctions& gl, std::string* error) { return createHeadlessContext(gl, error); }

std::string source(const std::string& path) {
    std::ifstream in(std::string(OSTREL_SOURCE_DIR) + "/" + path, std::ios::binary);
    if (!in) std::fprintf(stderr, "gpu harness: cannot read %s\n", path.c_str());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string withoutVersionLine(const std::string& text) {
    if (text.compare(0, 8, "#version") != 0) return text;
    std::size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(end + 1);
}

std::string sceneHeader() {
    return sharedBlockDeclarations() + withoutVersionLine(source("shaders/scene/header.glsl"));
}

GLuint buildEvaluator(const GlFunctions& gl, const std::string& text, std::string* log) {
    std::string full = std::string(kPrologue) + text + kEpilogue;
    const char* pointer = full.c_str();
    GLuint shader = gl.glCreateShader(GL_COMPUTE_SHADER);
    gl.glShaderSource(shader, 1, &pointer, nullptr);
    gl.glCompileShader(shader);
    GLint ok = 0;
    gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        if (log) *log = "compile: " + shaderLog(gl, shader);
        return 0;
    }
    GLuint program = gl.glCreateProgram();
    gl.glAttachShader(program, shader);
    gl.glLinkProgram(program);
    gl.glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char text2[16384];
        GLsizei length = 0;
        gl.glGetProgramInfoLog(program, sizeof text2, &length, text2);
        if (log) *log = "link: " + std::string(text2, std::size_t(length));
        return 0;
    }
    return program;
}

std::vector<Result> evaluate(const GlFunctions& gl, GLuint program,
                             const std::vector<Item>& items) {
    static_assert(sizeof(Item) == 32 && sizeof(Result) == 32, "two vec4 per item");
    auto getBufferSubData =
        reinterpret_cast<GetBufferSubData>(headlessGlFunction("glGetBufferSubData"));
    auto deleteBuffers = reinterpret_cast<DeleteBuffers>(headlessGlFunction("glDeleteBuffers"));
    std::vector<Result> results(items.size());
    if (items.empty() || !program || !getBufferSubData || !deleteBuffers) return results;

    GLuint buffers[2];
    gl.glGenBuffers(2, buffers);
    const GLsizeiptr bytes = GLsizeiptr(items.size() * sizeof(Item));
    gl.glBindBuffer(kShaderStorageBuffer, buffers[0]);
    gl.glBufferData(kShaderStorageBuffer, bytes, items.data(), GL_STATIC_DRAW);
    gl.glBindBuffer(kShaderStorageBuffer, buffers[1]);
    gl.glBufferData(kShaderStorageBuffer, bytes, nullptr, kStaticRead);
    gl.glBindBufferBase(kShaderStorageBuffer, 0, buffers[0]);
    gl.glBindBufferBase(kShaderStorageBuffer, 1, buffers[1]);

    gl.glUseProgram(program);
    gl.glDispatchCompute(GLuint((items.size() + 63) / 64), 1, 1);
    gl.glMemoryBarrier(kBufferUpdateBarrier);

    gl.glBindBuffer(kShaderStorageBuffer, buffers[1]);
    getBufferSubData(kShaderStorageBuffer, 0, bytes, results.data());
    gl.glBindBuffer(kShaderStorageBuffer, 0);
    deleteBuffers(2, buffers);
    return results;
}

void setSceneInputs(const GlFunctions& gl, const FD& fd, const TrackData& tracks,
                    float noiseValue) {
    static GLuint blocks[3];
    static GLuint texture;
    if (!blocks[0]) {
        gl.glGenBuffers(3, blocks);
        gl.glGenTextures(1, &texture);
    }
    const GLuint bindings[3] = {0, 1, 3};
    const void* records[3] = {&fd, &tracks, nullptr};
    const GLsizeiptr sizes[3] = {sizeof(FD), sizeof(TrackData), sizeof(BloomData)};
    BloomData bloom{1.0f};
    records[2] = &bloom;
    for (int i = 0; i < 3; ++i) {
        gl.glBindBuffer(GL_UNIFORM_BUFFER, blocks[i]);
        gl.glBufferData(GL_UNIFORM_BUFFER, sizes[i], records[i], GL_DYNAMIC_DRAW);
        gl.glBindBufferBase(GL_UNIFORM_BUFFER, bindings[i], blocks[i]);
    }
    gl.glBindBuffer(GL_UNIFORM_BUFFER, 0);

    std::vector<float> texels(64 * 64 * 4, noiseValue);
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, texture);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, GLint(GL_RGBA32F), 64, 64, 0, GL_RGBA, GL_FLOAT,
                    texels.data());
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GLint(GL_REPEAT));
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GLint(GL_REPEAT));
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(GL_LINEAR));
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(GL_LINEAR));
}

}  // namespace gpu
