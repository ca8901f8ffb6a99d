// frame.cpp: building the render pipeline's objects and drawing one frame.
//
// Start-up order: the noise compute program, then the tonemap program, the
// scene program's four builds (cluster, blob, effect cluster, still effect
// cluster), the bloom, composite and depth-of-field programs; the scene
// target at the scene size, then the bloom-swap, bloom and depth-of-field
// targets at the render size; the noise texture and its dispatch; the four
// uniform buffers and the first FD upload. Each program's shaders and link,
// and each target's framebuffer, are checked as soon as they exist, and
// start-up stops at the first failure with a line that names it.
//
// One frame: TrackData upload, the scene pass at the scene size (the scene
// build for the frame's values), then at the render size the first blur
// pass, the bloom chain (the passes whose output is read), the composite,
// the optional depth-of-field pass and the tonemap pass into the output
// framebuffer; last, T0 for the next frame.
#include "render/frame.h"

#include <cstdio>
#include <string>

#include "sync/content.h"
#include "sync/tweak.h"

namespace {

// The float nearest 1/960: show-time milliseconds to the shaders' clock.
const float clockScale = 0.0010416667f;

std::string trimmedLog(std::string log) {
    while (!log.empty() && (log.back() == '\0' || log.back() == '\n' || log.back() == '\r' ||
                            log.back() == ' '))
        log.pop_back();
    return log;
}

std::string shaderLog(const GlFunctions& gl, GLuint shader) {
    GLint length = 0;
    gl.glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) return std::string();
    std::string log(static_cast<std::size_t>(length), '\0');
    GLsizei written = 0;
    gl.glGetShaderInfoLog(shader, length, &written, &log[0]);
    if (written >= 0 && written < length) log.resize(static_cast<std::size_t>(written));
    return trimmedLog(log);
}

std::string programLog(const GlFunctions& gl, GLuint program) {
    GLint length = 0;
    gl.glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) return std::string();
    std::string log(static_cast<std::size_t>(length), '\0');
    GLsizei written = 0;
    gl.glGetProgramInfoLog(program, length, &written, &log[0]);
    if (written >= 0 && written < length) log.resize(static_cast<std::size_t>(written));
    return trimmedLog(log);
}

void fail(std::string* error, const std::string& line, const std::string& log) {
    if (error == nullptr) return;
    *error = line;
    if (!log.empty()) *error += "\n" + log;
}

struct Stage {
    GLuint shader;
    const char* name;  // "vertex shader", ...
};

// Compile status of each stage, then link status of the program.
bool checkProgram(const GlFunctions& gl, const char* what, GLuint program, const Stage* stages,
                  int stageCount, std::string* error) {
    for (int i = 0; i < stageCount; ++i) {
        GLint compiled = 0;
        gl.glGetShaderiv(stages[i].shader, GL_COMPILE_STATUS, &compiled);
        if (compiled == 0) {
            fail(error,
                 std::string("render: ") + what + " program: " + stages[i].name +
                     " does not compile",
                 shaderLog(gl, stages[i].shader));
            return false;
        }
    }
    GLint linked = 0;
    gl.glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked == 0) {
        fail(error, std::string("render: ") + what + " program does not link",
             programLog(gl, program));
        return false;
    }
    return true;
}

bool checkTarget(const GlFunctions& gl, const char* what, const RenderTarget& target,
                 GLint width, GLint height, std::string* error) {
    gl.glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    GLenum status = gl.glCheckFramebufferStatus(GL_FRAMEBUFFER);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        char detail[96];
        std::snprintf(detail, sizeof detail, " (%d x %d): framebuffer incomplete, status 0x%04X",
                      width, height, status);
        fail(error, std::string("render: ") + what + detail, std::string());
        return false;
    }
    return true;
}

// The bloom chain alternates between two targets in groups of four: pass i
// blurs bloomTarget into bloomSwapTarget when i is a multiple of 4, and
// bloomSwapTarget into bloomTarget otherwise.
bool chainPassReadsBloomTarget(std::int32_t i) { return (i & 3) == 0; }

// Whether chain pass i of `passes` is drawn: only if something reads what
// it draws. The last pass's output is always overwritten by the composite
// unread (the composite reads that pass's source and draws into its
// destination), and passes 1, 2 and 3 of a group of four all blur the same
// bloomSwapTarget into bloomTarget, where only the last of them is read: by
// pass 0 of the next group, and only if that pass is drawn. So the frame
// draws pass 0 and pass 3 of each group, never the last pass, and shows the
// same picture.

// The scene text with SCENE_FOREGROUND defined after its version line; the
// #line directive keeps the compiler's line numbers those of the text.
std::string sceneBuild(const char* text, int foreground) {
    std::string build(text);
    const std::size_t firstLine = build.find('\n');
    const std::size_t at = firstLine == std::string::npos ? 0 : firstLine + 1;
    build.insert(at, "#define SCENE_FOREGROUND " + std::to_string(foreground) + "\n#line 2\n");
    return build;
}

// Where the composite draws, the one place that decides it. Normally the
// composite writes bloomTarget, adding the image the last chain pass read
// from bloomSwapTarget. When the last chain pass has an index that is a
// multiple of 4 (N = 1, 5, 9, ...) it read bloomTarget itself, and drawing
// the composite there would sample the texture being written (undefined in
// GL). Then the composite draws into bloomSwapTarget instead: its content,
// the last chain pass's output, is never read, and the composite still adds
// the bloom image that the last chain pass read. Later passes take the
// composite from wherever this says it is.
const RenderTarget& compositeTarget(const RenderResources& r, std::int32_t passes) {
    return chainPassReadsBloomTarget(passes - 1) ? r.bloomSwapTarget : r.bloomTarget;
}

}  // namespace

bool chainPassIsRead(std::int32_t i, std::int32_t passes) {
    return i < passes - 1 && ((i & 3) == 0 || (i & 3) == 3);
}

void placeTweaks(const TweakValues& v, EmbeddedContent& content, FD& fd, FocusData& focus) {
    content.bloomPasses = v.bloomPasses;
    content.luminance = v.luminance;
    content.dofEnabled = v.dofEnabled;
    focus.fp = v.focusPoint;
    focus.fs = v.focusScale;
    fd.M0[3] = v.radius;
    for (int i = 0; i < 3; ++i) {
        fd.CP[i] = v.cameraPosition[i];
        fd.CR[i] = v.cameraRotation[i];
    }
}

void loadTweakSettings(EmbeddedContent& content, FD& fd, FocusData& focus) {
    TweakValues values;
    if (loadTweakBlob(content.tweakBlob, std::uint32_t(sizeof content.tweakBlob), values))
        placeTweaks(values, content, fd, focus);
}

bool buildPassProgram(const GlFunctions& gl, const char* what, const char* vertexText,
                      const char* fragmentText, GLuint& program, std::string* error) {
    if (vertexText == nullptr || fragmentText == nullptr) {
        fail(error, std::string("render: ") + what + " program: the content block has no text",
             std::string());
        return false;
    }
    GLuint shaders[2] = {0, 0};
    program = buildProgram(gl, vertexText, fragmentText, shaders);
    const Stage stages[2] = {{shaders[0], "vertex shader"}, {shaders[1], "fragment shader"}};
    return checkProgram(gl, what, program, stages, 2, error);
}

bool buildScenePrograms(const GlFunctions& gl, const char* vertexText, const char* sceneText,
                        GLuint programs[sceneBuildCount], std::string* error) {
    const char* const names[sceneBuildCount] = {"scene (cluster)", "scene (blob)",
                                                "scene (effect cluster)",
                                                "scene (still effect cluster)"};
    for (int b = 0; b < sceneBuildCount; ++b) {
        const std::string text = sceneText != nullptr ? sceneBuild(sceneText, b + 1) : std::string();
        if (!buildPassProgram(gl, names[b], vertexText, sceneText != nullptr ? text.c_str() : nullptr,
                              programs[b], error))
            return false;
    }
    return true;
}

bool buildNoiseProgram(const GlFunctions& gl, const char* computeText, GLuint& program,
                       std::string* error) {
    GLuint computeShader = 0;
    program = buildComputeProgram(gl, computeText, &computeShader);
    const Stage computeStage = {computeShader, "compute shader"};
    return checkProgram(gl, "noise", program, &computeStage, 1, error);
}

float showClock(std::int32_t showTime) { return static_cast<float>(showTime) * clockScale; }

SceneBuild sceneBuildFor(const TrackData& tracks) {
    const float s = tracks.value[scene];
    if (s < 2.0f) return clusterBuild;
    if (s > 2.0f && s < 3.0f) return blobBuild;
    return tracks.value[blobEffect] == 0.0f ? stillEffectBuild : effectBuild;
}

bool createRenderTargets(const GlFunctions& gl, const EmbeddedContent& content, float sceneScale,
                         RenderResources& r, std::string* error) {
    // The scene size: the render size times the scene scale, a
    // single-precision product, truncated; the show makes its targets once,
    // so it is fixed for the life of the show.
    r.sceneWidth = pixelCount(content.renderWidth * sceneScale);
    r.sceneHeight = pixelCount(content.renderHeight * sceneScale);
    const GLint width = pixelCount(content.renderWidth);
    const GLint height = pixelCount(content.renderHeight);
    r.sceneTarget = createRenderTarget(gl, r.sceneWidth, r.sceneHeight, GL_FLOAT, 2);
    if (!checkTarget(gl, "scene target", r.sceneTarget, r.sceneWidth, r.sceneHeight, error))
        return false;
    r.bloomSwapTarget = createRenderTargetAtRenderSize(gl, content, GL_FLOAT, 1);
    if (!checkTarget(gl, "bloom swap target", r.bloomSwapTarget, width, height, error))
        return false;
    r.bloomTarget = createRenderTargetAtRenderSize(gl, content, GL_FLOAT, 1);
    if (!checkTarget(gl, "bloom target", r.bloomTarget, width, height, error)) return false;
    r.dofTarget = createRenderTargetAtRenderSize(gl, content, GL_FLOAT, 1);
    return checkTarget(gl, "depth-of-field target", r.dofTarget, width, height, error);
}

bool createRenderResources(const GlFunctions& gl, const EmbeddedContent& content,
                           float sceneScale, RenderResources& r, std::string* error) {
    r = RenderResources{};
    const char* const* texts = content.shaderTexts;
    const char* vertex = texts[vertexShaderText];

    if (!buildNoiseProgram(gl, content.noiseShaderText, r.noiseProgram, error) ||
        !buildPassProgram(gl, "tonemap", vertex, texts[tonemapShaderText], r.tonemapProgram,
                          error) ||
        !buildScenePrograms(gl, vertex, content.sceneShaderText, r.scenePrograms, error) ||
        !buildPassProgram(gl, "bloom", vertex, texts[bloomBlurShaderText], r.bloomProgram,
                          error) ||
        !buildPassProgram(gl, "composite", vertex, texts[compositeShaderText],
                          r.compositeProgram, error) ||
        !buildPassProgram(gl, "depth-of-field", vertex, texts[depthOfFieldShaderText],
                          r.dofProgram, error))
        return false;

    if (!createRenderTargets(gl, content, sceneScale, r, error)) return false;

    r.noiseTexture = createNoiseTexture(gl, r.noiseProgram);

    // The records as they stand before the tweak settings are applied.
    r.fd.T0 = 0.0f;
    r.fd.M0[0] = 0.0f;
    r.fd.M0[1] = 0.0f;
    r.focus.fp = 0.0f;
    r.fd.F0 = 1.0f;
    r.focus.fs = 1.0f;
    r.bloom.luminance = content.luminance;
    const TrackData noTracks = {};
    r.fdBuffer = createUniformBuffer(gl, 0, &r.fd, sizeof r.fd);
    r.trackBuffer = createUniformBuffer(gl, 1, &noTracks, sizeof noTracks);
    r.focusBuffer = createUniformBuffer(gl, 2, &r.focus, sizeof r.focus);
    r.bloomBuffer = createUniformBuffer(gl, 3, &r.bloom, sizeof r.bloom);
    uploadFrameData(gl, r.fdBuffer, r.fd, content.renderWidth, content.renderHeight);
    return true;
}

void renderFrame(const GlFunctions& gl, RenderResources& r, const EmbeddedContent& content,
                 const TrackData& tracks, std::int32_t showTime) {
    uploadUniformBlock(gl, r.trackBuffer, &tracks, sizeof tracks);

    uploadFrameData(gl, r.fdBuffer, r.fd, static_cast<float>(r.sceneWidth),
                    static_cast<float>(r.sceneHeight));
    drawPassWithViewport(gl, content, r.sceneWidth, r.sceneHeight, r.sceneTarget.framebuffer,
                         r.scenePrograms[sceneBuildFor(tracks)], 1, &r.noiseTexture);
    uploadFrameData(gl, r.fdBuffer, r.fd, content.renderWidth, content.renderHeight);

    // The colour that the next stage reads: the scene, then the composite,
    // then the depth-of-field result.
    TextureBinding colour = r.sceneTarget.attachments[0];
    const std::int32_t passes = content.bloomPasses;
    if (passes > 0) {
        r.bloom.luminance = content.luminance;
        uploadUniformBlock(gl, r.bloomBuffer, &r.bloom, sizeof r.bloom);
        drawPass(gl, r.bloomTarget.framebuffer, r.bloomProgram, 1, &r.sceneTarget.attachments[1]);
        for (std::int32_t i = 0; i < passes; ++i) {
            if (!chainPassIsRead(i, passes)) continue;
            const bool readsBloom = chainPassReadsBloomTarget(i);
            const RenderTarget& source = readsBloom ? r.bloomTarget : r.bloomSwapTarget;
            const RenderTarget& destination = readsBloom ? r.bloomSwapTarget : r.bloomTarget;
            drawPass(gl, destination.framebuffer, r.bloomProgram, 1, &source.attachments[0]);
        }
        // The bloom image the last chain pass read is the one added.
        const RenderTarget& lastSource =
            chainPassReadsBloomTarget(passes - 1) ? r.bloomTarget : r.bloomSwapTarget;
        const RenderTarget& composite = compositeTarget(r, passes);
        const TextureBinding inputs[2] = {r.sceneTarget.attachments[0], lastSource.attachments[0]};
        drawPass(gl, composite.framebuffer, r.compositeProgram, 2, inputs);
        colour = composite.attachments[0];
    }
    if (content.dofEnabled != 0) {
        uploadUniformBlock(gl, r.focusBuffer, &r.focus, sizeof r.focus);
        // Unit 0 is read for its alpha (the hit distance), unit 1 is blurred.
        const TextureBinding inputs[2] = {r.sceneTarget.attachments[0], colour};
        drawPass(gl, r.dofTarget.framebuffer, r.dofProgram, 2, inputs);
        colour = r.dofTarget.attachments[0];
    }
    drawPass(gl, r.outputFramebuffer, r.tonemapProgram, 1, &colour);

    // Seen by the shaders of the next frame.
    r.fd.T0 = showClock(showTime);
}
