// The render pipeline against a recording GlFunctions: the helpers' call
// orders, start-up (order, sizes, checks and their messages) and the passes
// of a frame (programs, destinations, texture units, viewports, uploads).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "render/frame.h"
#include "render/resources.h"
#include "render/uniforms.h"
#include "sync/content.h"
#include "tests/support/recording_gl.h"

namespace {

using Names = std::vector<std::string>;

// Each test works on the content block of this executable and puts back
// what it changes.
class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = {ostrelContent.renderWidth, ostrelContent.renderHeight,
                 ostrelContent.bloomPasses, ostrelContent.dofEnabled, ostrelContent.luminance};
        std::memcpy(savedTexts, ostrelContent.shaderTexts, sizeof savedTexts);
        resetGlRecorder();
        forgetFullscreenTriangle();
        gl = recordingGlFunctions();
    }
    void TearDown() override {
        ostrelContent.renderWidth = saved.width;
        ostrelContent.renderHeight = saved.height;
        ostrelContent.bloomPasses = saved.passes;
        ostrelContent.dofEnabled = saved.dof;
        ostrelContent.luminance = saved.luminance;
        std::memcpy(ostrelContent.shaderTexts, savedTexts, sizeof savedTexts);
    }
    std::vector<GlCall>& calls() { return glRecorder().calls; }

    struct Saved {
        float width, height;
        std::int32_t passes;
        std::uint8_t dof;
        float luminance;
    } saved;
    const char* savedTexts[shaderTextCount];
    GlFunctions gl;
};

// --- Helpers ----------------------------------------------------------------

TEST_F(RenderTest, RenderTargetAttachesEachTextureAndSetsDrawBuffers) {
    RenderTarget target = createRenderTarget(gl, 64, 32, GL_FLOAT, 2);

    EXPECT_EQ(callNames(calls()),
              (Names{"glGenFramebuffers", "glBindFramebuffer",
                     "glGenTextures", "glActiveTexture", "glBindTexture", "glTexImage2D",
                     "glTexParameteri", "glTexParameteri", "glTexParameteri", "glTexParameteri",
                     "glFramebufferTexture2D",
                     "glGenTextures", "glActiveTexture", "glBindTexture", "glTexImage2D",
                     "glTexParameteri", "glTexParameteri", "glTexParameteri", "glTexParameteri",
                     "glFramebufferTexture2D", "glDrawBuffers", "glBindFramebuffer"}));
    EXPECT_EQ(target.count, 2u);
    EXPECT_EQ(target.attachments[1].target, GL_TEXTURE_2D);
    EXPECT_EQ(target.attachments[2].target, 0u);
    EXPECT_EQ(target.attachments[2].texture, 0u);
    EXPECT_EQ(target.attachments[3].texture, 0u);

    auto images = callsNamed(calls(), "glTexImage2D");
    EXPECT_EQ(images[1].args, (std::vector<long long>{GL_TEXTURE_2D, 0, GL_RGBA32F, 64, 32, 0,
                                                      GL_RGBA, GL_FLOAT, 0}));
    auto params = callsNamed(calls(), "glTexParameteri");
    EXPECT_EQ(params[0].args[1], GL_TEXTURE_MIN_FILTER);
    EXPECT_EQ(params[1].args[1], GL_TEXTURE_MAG_FILTER);
    EXPECT_EQ(params[2].args, (std::vector<long long>{GL_TEXTURE_2D, GL_TEXTURE_WRAP_S,
                                                      GL_CLAMP_TO_EDGE}));
    EXPECT_EQ(params[3].args[2], GL_CLAMP_TO_EDGE);
    auto attach = callsNamed(calls(), "glFramebufferTexture2D");
    EXPECT_EQ(attach[1].args, (std::vector<long long>{GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + 1,
                                                      GL_TEXTURE_2D,
                                                      target.attachments[1].texture, 0}));
    EXPECT_EQ(callsNamed(calls(), "glActiveTexture")[1].args[0], GL_TEXTURE0 + 1);
    EXPECT_EQ(callsNamed(calls(), "glDrawBuffers")[0].args,
              (std::vector<long long>{2, GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT0 + 1}));
    EXPECT_EQ(calls().back().args[1], 0);  // framebuffer 0 bound again

    // One attachment leaves entries 1 to 3 empty; more than four is cut to
    // four rather than written past the list.
    resetGlRecorder();
    RenderTarget one = createRenderTarget(gl, 8, 8, GL_FLOAT, 1);
    EXPECT_EQ(one.attachments[1].texture, 0u);
    EXPECT_EQ(one.attachments[3].target, 0u);
    resetGlRecorder();
    RenderTarget many = createRenderTarget(gl, 8, 8, GL_FLOAT, 7);
    EXPECT_EQ(many.count, 4u);
    EXPECT_EQ(callsNamed(calls(), "glGenTextures").size(), 4u);
    EXPECT_EQ(callsNamed(calls(), "glDrawBuffers")[0].args[0], 4);
}

TEST_F(RenderTest, RenderSizeIsTruncatedForTargetsAndRestoredViewport) {
    ostrelContent.renderWidth = 511.9f;
    ostrelContent.renderHeight = 383.2f;
    createRenderTargetAtRenderSize(gl, ostrelContent, GL_FLOAT, 1);
    auto image = callsNamed(calls(), "glTexImage2D")[0];
    EXPECT_EQ(image.args[3], 511);
    EXPECT_EQ(image.args[4], 383);

    resetGlRecorder();
    const TextureBinding noise = {GL_TEXTURE_2D, 77};
    drawPassWithViewport(gl, ostrelContent, 100, 50, 9, 3, 1, &noise);
    auto viewports = callsNamed(calls(), "glViewport");
    ASSERT_EQ(viewports.size(), 2u);
    EXPECT_EQ(viewports[0].args, (std::vector<long long>{0, 0, 100, 50}));
    EXPECT_EQ(viewports[1].args, (std::vector<long long>{0, 0, 511, 383}));
    // The pass viewport is set before the pass draws, the render size after.
    Names names = callNames(calls());
    auto first = std::find(names.begin(), names.end(), "glViewport");
    auto draw = std::find(names.begin(), names.end(), "glDrawArrays");
    EXPECT_LT(first, draw);
    EXPECT_EQ(names.back(), "glViewport");

    EXPECT_EQ(pixelCount(-3.0f), 0);
    EXPECT_EQ(pixelCount(0.0f / 0.0f), 0);
    EXPECT_EQ(pixelCount(1e20f), 2147483647);
}

TEST_F(RenderTest, PassBindsUnitsInListOrderAndAVertexArrayBeforeDrawing) {
    const TextureBinding inputs[2] = {{GL_TEXTURE_2D, 41}, {GL_TEXTURE_2D, 42}};
    drawPass(gl, 7, 5, 2, inputs);
    ASSERT_EQ(callsNamed(calls(), "glGenVertexArrays").size(), 1u);
    const long long vertexArray = callsNamed(calls(), "glGenVertexArrays")[0].args[1];
    const long long vertexBuffer = callsNamed(calls(), "glGenBuffers")[0].args[1];

    // Triangle creation, then the pass.
    const Names all = callNames(calls());
    const Names pass(all.begin() + 4, all.end());
    EXPECT_EQ(pass, (Names{"glUseProgram", "glActiveTexture", "glBindTexture", "glActiveTexture",
                           "glBindTexture", "glBindVertexArray", "glBindBuffer",
                           "glEnableVertexAttribArray", "glVertexAttribPointer",
                           "glBindFramebuffer", "glDrawArrays"}));
    GlState state;
    state.replay(calls());
    ASSERT_EQ(state.passes.size(), 1u);
    EXPECT_EQ(state.passes[0].units[0], 41u);
    EXPECT_EQ(state.passes[0].units[1], 42u);
    EXPECT_EQ(state.activeUnit, 1u);  // the last unit stays active
    EXPECT_EQ(state.passes[0].framebuffer, 7u);
    EXPECT_EQ(state.passes[0].program, 5u);
    EXPECT_EQ(callsNamed(calls(), "glBindVertexArray")[0].args[0], vertexArray);
    EXPECT_EQ(callsNamed(calls(), "glBindBuffer").back().args,
              (std::vector<long long>{GL_ARRAY_BUFFER, vertexBuffer}));
    EXPECT_EQ(callsNamed(calls(), "glVertexAttribPointer")[0].args,
              (std::vector<long long>{0, 3, GL_FLOAT, 0, 0, 0}));
    EXPECT_EQ(callsNamed(calls(), "glDrawArrays")[0].args,
              (std::vector<long long>{GL_TRIANGLES, 0, 3}));

    // No bindings: no unit is touched.
    resetGlRecorder();
    drawPass(gl, 0, 5, 3, nullptr);
    EXPECT_TRUE(callsNamed(calls(), "glActiveTexture").empty());
    EXPECT_TRUE(callsNamed(calls(), "glGenVertexArrays").empty());  // created once only
}

TEST_F(RenderTest, FullscreenTriangleIsMadeOnceWithItsNineFloats) {
    ensureFullscreenTriangle(gl);
    ensureFullscreenTriangle(gl);
    EXPECT_EQ(callNames(calls()),
              (Names{"glGenVertexArrays", "glGenBuffers", "glBindBuffer", "glBufferData"}));
    const GlCall data = callsNamed(calls(), "glBufferData")[0];
    EXPECT_EQ(data.args[0], GL_ARRAY_BUFFER);
    EXPECT_EQ(data.args[2], GL_STATIC_DRAW);
    ASSERT_EQ(data.bytes.size(), 36u);
    float v[9];
    std::memcpy(v, data.bytes.data(), 36);
    const float expected[9] = {-1, 1, 0, 3, 1, 0, -1, -3, 0};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(v[i], expected[i]) << i;
}

TEST_F(RenderTest, TextureAndProgramHelpersKeepTheirOrder) {
    const float texel[4] = {1, 2, 3, 4};
    TextureBinding texture = createTexture(gl, 2, 1, GL_FLOAT, texel);
    EXPECT_EQ(texture.target, GL_TEXTURE_2D);
    auto params = callsNamed(calls(), "glTexParameteri");
    ASSERT_EQ(params.size(), 4u);
    EXPECT_EQ(params[0].args[1], GL_TEXTURE_WRAP_S);
    EXPECT_EQ(params[0].args[2], GL_REPEAT);
    EXPECT_EQ(params[1].args[1], GL_TEXTURE_WRAP_T);
    EXPECT_EQ(params[2].args[1], GL_TEXTURE_MAG_FILTER);
    EXPECT_EQ(params[3].args[1], GL_TEXTURE_MIN_FILTER);
    EXPECT_EQ(calls().back().name, "glTexImage2D");
    EXPECT_EQ(calls().back().args[8], 1);  // the data is handed over
    EXPECT_EQ(callsNamed(calls(), "glActiveTexture")[0].args[0], GL_TEXTURE0);

    resetGlRecorder();
    GLuint shaders[2] = {0, 0};
    GLuint program = buildProgram(gl, "vertex text", "fragment text", shaders);
    EXPECT_EQ(callNames(calls()),
              (Names{"glCreateProgram", "glCreateShader", "glShaderSource", "glCompileShader",
                     "glAttachShader", "glCreateShader", "glShaderSource", "glCompileShader",
                     "glAttachShader", "glLinkProgram"}));
    auto sources = callsNamed(calls(), "glShaderSource");
    EXPECT_EQ(sources[0].text, "vertex text");
    EXPECT_EQ(sources[0].args[1], 1);
    EXPECT_EQ(sources[0].args[2], 0);  // no length array: the text is zero-terminated
    EXPECT_EQ(sources[1].text, "fragment text");
    EXPECT_EQ(callsNamed(calls(), "glCreateShader")[1].args[0], GL_FRAGMENT_SHADER);
    EXPECT_EQ(callsNamed(calls(), "glAttachShader")[1].args,
              (std::vector<long long>{program, shaders[1]}));
}

// --- Start-up -------------------------------------------------------------

TEST_F(RenderTest, StartUpBuildsProgramsTargetsNoiseAndBuffersInOrder) {
    ostrelContent.renderWidth = 1920.0f;
    ostrelContent.renderHeight = 1080.0f;
    ostrelContent.luminance = 0.75f;
    RenderResources r;
    std::string error;
    ASSERT_TRUE(createRenderResources(gl, ostrelContent, 0.25f, r, &error)) << error;
    EXPECT_EQ(r.outputFramebuffer, 0u);

    // Programs: noise (compute) first, then tonemap, the scene's four
    // builds, bloom, composite, depth of field.
    auto sources = callsNamed(calls(), "glShaderSource");
    ASSERT_EQ(sources.size(), 17u);
    EXPECT_EQ(sources[0].text, ostrelContent.noiseShaderText);
    EXPECT_EQ(callsNamed(calls(), "glCreateShader")[0].args[0], GL_COMPUTE_SHADER);
    const char* fragments[8] = {ostrelContent.shaderTexts[tonemapShaderText], nullptr, nullptr,
                                nullptr, nullptr, ostrelContent.shaderTexts[bloomBlurShaderText],
                                ostrelContent.shaderTexts[compositeShaderText],
                                ostrelContent.shaderTexts[depthOfFieldShaderText]};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(sources[1 + 2 * i].text, ostrelContent.shaderTexts[vertexShaderText]);
        if (fragments[i]) {
            EXPECT_EQ(sources[2 + 2 * i].text, fragments[i]) << i;
        }
    }
    // Each scene build is the scene text with its foreground defined right
    // after the version line, and the text's own line numbers kept.
    const std::string scene = ostrelContent.sceneShaderText;
    const std::size_t secondLine = scene.find('\n') + 1;
    ASSERT_EQ(scene.compare(0, 8, "#version"), 0);
    for (int f = 1; f <= 4; ++f) {
        const std::string& build = sources[2 + 2 * f].text;
        const std::string inserted = "#define SCENE_FOREGROUND " + std::to_string(f) + "\n#line 2\n";
        EXPECT_EQ(build.substr(0, secondLine), scene.substr(0, secondLine)) << f;
        EXPECT_EQ(build.substr(secondLine, inserted.size()), inserted) << f;
        EXPECT_EQ(build.substr(secondLine + inserted.size()), scene.substr(secondLine)) << f;
    }
    auto programs = callsNamed(calls(), "glCreateProgram");
    ASSERT_EQ(programs.size(), 9u);
    const GLuint built[9] = {r.noiseProgram, r.tonemapProgram,
                             r.scenePrograms[clusterBuild], r.scenePrograms[blobBuild],
                             r.scenePrograms[effectBuild], r.scenePrograms[stillEffectBuild],
                             r.bloomProgram, r.compositeProgram, r.dofProgram};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(programs[i].args[0], built[i]);
    // Every shader's compile status and every program's link status is read.
    EXPECT_EQ(callsNamed(calls(), "glGetShaderiv").size(), 17u);
    EXPECT_EQ(callsNamed(calls(), "glGetProgramiv").size(), 9u);

    // Targets: the quarter scene size with two attachments, then three at
    // the render size, each checked for completeness.
    EXPECT_EQ(r.sceneWidth, 480);
    EXPECT_EQ(r.sceneHeight, 270);
    auto images = callsNamed(calls(), "glTexImage2D");
    ASSERT_EQ(images.size(), 6u);
    EXPECT_EQ(images[0].args[3], 480);
    EXPECT_EQ(images[1].args[4], 270);
    for (int i = 2; i < 5; ++i) EXPECT_EQ(images[i].args[3], 1920);
    // The noise texture: one channel, repeating, filtered linearly.
    EXPECT_EQ(images[5].args, (std::vector<long long>{GL_TEXTURE_2D, 0, GL_R32F, 2048, 2048, 0,
                                                      GL_RED, GL_FLOAT, 0}));
    auto params = callsNamed(calls(), "glTexParameteri");
    ASSERT_GE(params.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(params[params.size() - 4 + i].args[2], i < 2 ? GL_REPEAT : GL_LINEAR) << i;
    auto framebuffers = callsNamed(calls(), "glGenFramebuffers");
    ASSERT_EQ(framebuffers.size(), 4u);
    EXPECT_EQ(framebuffers[0].args[1], r.sceneTarget.framebuffer);
    EXPECT_EQ(framebuffers[1].args[1], r.bloomSwapTarget.framebuffer);
    EXPECT_EQ(framebuffers[2].args[1], r.bloomTarget.framebuffer);
    EXPECT_EQ(framebuffers[3].args[1], r.dofTarget.framebuffer);
    EXPECT_EQ(r.sceneTarget.count, 2u);
    EXPECT_EQ(callsNamed(calls(), "glCheckFramebufferStatus").size(), 4u);

    // The noise dispatch, in its order, after the targets.
    Names names = callNames(calls());
    auto dispatch = std::find(names.begin(), names.end(), "glDispatchCompute");
    ASSERT_NE(dispatch, names.end());
    EXPECT_EQ(Names(dispatch - 3, dispatch + 2),
              (Names{"glUseProgram", "glUniform1i", "glBindImageTexture", "glDispatchCompute",
                     "glMemoryBarrier"}));
    EXPECT_EQ(callsNamed(calls(), "glUseProgram")[0].args[0], r.noiseProgram);
    EXPECT_EQ(callsNamed(calls(), "glUniform1i")[0].args, (std::vector<long long>{0, 0}));
    EXPECT_EQ(callsNamed(calls(), "glBindImageTexture")[0].args,
              (std::vector<long long>{0, r.noiseTexture.texture, 0, 0, 0, GL_WRITE_ONLY,
                                      GL_R32F}));
    EXPECT_EQ(callsNamed(calls(), "glDispatchCompute")[0].args,
              (std::vector<long long>{256, 256, 1}));
    EXPECT_EQ(callsNamed(calls(), "glMemoryBarrier")[0].args[0], GL_TEXTURE_FETCH_BARRIER_BIT);

    // Uniform buffers: FD, TrackData, FocusData, BloomData on bindings 0 to
    // 3, with their start contents, then the first FD upload.
    auto data = callsNamed(calls(), "glBufferData");
    ASSERT_EQ(data.size(), 4u);
    const long long sizes[4] = {64, 52, 8, 4};
    auto bases = callsNamed(calls(), "glBindBufferBase");
    const GLuint buffers[4] = {r.fdBuffer, r.trackBuffer, r.focusBuffer, r.bloomBuffer};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(data[i].args[1], sizes[i]);
        EXPECT_EQ(data[i].args[2], GL_DYNAMIC_DRAW);
        EXPECT_EQ(bases[i].args, (std::vector<long long>{GL_UNIFORM_BUFFER, i, buffers[i]}));
    }
    FD fd;
    std::memcpy(&fd, data[0].bytes.data(), 64);
    EXPECT_EQ(fd.T0, 0.0f);
    EXPECT_EQ(fd.F0, 1.0f);
    FocusData focus;
    std::memcpy(&focus, data[2].bytes.data(), 8);
    EXPECT_EQ(focus.fp, 0.0f);
    EXPECT_EQ(focus.fs, 1.0f);
    float luminance;
    std::memcpy(&luminance, data[3].bytes.data(), 4);
    EXPECT_EQ(luminance, 0.75f);
    GlState state;
    state.replay(calls());
    float w, h;
    frameDataR0(state.buffers[r.fdBuffer], w, h);
    EXPECT_EQ(w, 1920.0f);
    EXPECT_EQ(h, 1080.0f);
    EXPECT_EQ(calls().back().name, "glBufferSubData");
}

TEST_F(RenderTest, StartUpStopsAtTheFirstFailureAndNamesIt) {
    RenderResources r;
    std::string error;

    // Every shader fails: start-up stops at the first program, before any
    // target exists (and a null error pointer is fine).
    glRecorder().compileStatus = 0;
    EXPECT_FALSE(createRenderResources(gl, ostrelContent, 1.0f, r, nullptr));
    EXPECT_EQ(callsNamed(calls(), "glCreateProgram").size(), 1u);
    EXPECT_TRUE(callsNamed(calls(), "glGenFramebuffers").empty());

    // Learn the shader names of a good start-up, then fail one of them.
    resetGlRecorder();
    ASSERT_TRUE(createRenderResources(gl, ostrelContent, 1.0f, r, &error)) << error;
    auto created = callsNamed(calls(), "glCreateShader");
    const GLuint sceneFragment = static_cast<GLuint>(created[4].args[1]);
    const GLuint stillFragment = static_cast<GLuint>(created[10].args[1]);
    const GLuint computeShader = static_cast<GLuint>(created[0].args[1]);

    // One shader fails: start-up names it (the first and the last scene
    // build by their foreground) and builds no later program.
    const struct {
        GLuint shader;
        const char* line;
        std::size_t programs;
    } failures[] = {
        {sceneFragment, "render: scene (cluster) program: fragment shader does not compile", 3},
        {stillFragment,
         "render: scene (still effect cluster) program: fragment shader does not compile", 6},
        {computeShader, "render: noise program: compute shader does not compile", 1}};
    for (const auto& f : failures) {
        resetGlRecorder();
        glRecorder().compileStatus = 0;
        glRecorder().failingShader = f.shader;
        EXPECT_FALSE(createRenderResources(gl, ostrelContent, 1.0f, r, &error));
        EXPECT_EQ(error, std::string(f.line) + "\n0:1(1): error: something is wrong");
        EXPECT_EQ(callsNamed(calls(), "glCreateProgram").size(), f.programs) << f.line;
    }

    resetGlRecorder();
    glRecorder().linkStatus = 0;
    glRecorder().infoLog = "error: linking failed";
    EXPECT_FALSE(createRenderResources(gl, ostrelContent, 1.0f, r, &error));
    EXPECT_EQ(error, "render: noise program does not link\nerror: linking failed");

    resetGlRecorder();
    glRecorder().framebufferStatus = 0x8CD6;  // incomplete attachment
    ostrelContent.renderWidth = 640.0f;
    ostrelContent.renderHeight = 480.0f;
    EXPECT_FALSE(createRenderResources(gl, ostrelContent, 0.25f, r, &error));
    EXPECT_EQ(error, "render: scene target (160 x 120): framebuffer incomplete, status 0x8CD6");
    EXPECT_EQ(callsNamed(calls(), "glGenFramebuffers").size(), 1u);
    EXPECT_TRUE(callsNamed(calls(), "glDispatchCompute").empty());

    // A missing text is named, not handed to the compiler.
    resetGlRecorder();
    ostrelContent.shaderTexts[compositeShaderText] = nullptr;
    EXPECT_FALSE(createRenderResources(gl, ostrelContent, 1.0f, r, &error));
    EXPECT_EQ(error, "render: composite program: the content block has no text");
}

// --- One frame -------------------------------------------------------------

// What one pass is expected to do, in terms of the resources.
struct ExpectedPass {
    const char* what;
    GLuint program;
    GLuint framebuffer;
    std::vector<GLuint> units;  // textures on units 0, 1, ...
    float r0[2];
};

class FrameTest : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        ostrelContent.renderWidth = 640.0f;
        ostrelContent.renderHeight = 480.0f;
        std::string error;
        ASSERT_TRUE(createRenderResources(gl, ostrelContent, 0.25f, r, &error)) << error;
        r.outputFramebuffer = 99;
        startup = calls();
        for (int i = 0; i < trackCount; ++i) tracks.value[i] = 0.5f + static_cast<float>(i);
        resetGlRecorder();
    }

    GLuint tex(const RenderTarget& target, int i = 0) const {
        return target.attachments[i].texture;
    }

    std::vector<ExpectedPass> expected(std::int32_t passes, bool dof) const {
        const float scene[2] = {160, 120}, full[2] = {640, 480};
        auto pass = [&](const char* what, GLuint program, GLuint fb, std::vector<GLuint> units,
                        const float* r0) {
            return ExpectedPass{what, program, fb, units, {r0[0], r0[1]}};
        };
        std::vector<ExpectedPass> list;
        // The frame's scene value, 10.5, draws the effect cluster.
        list.push_back(pass("scene", r.scenePrograms[effectBuild], r.sceneTarget.framebuffer,
                            {r.noiseTexture.texture}, scene));
        GLuint colour = tex(r.sceneTarget, 0);
        const GLuint bloom = tex(r.bloomTarget), swap = tex(r.bloomSwapTarget);
        const GLuint bloomFb = r.bloomTarget.framebuffer, swapFb = r.bloomSwapTarget.framebuffer;
        if (passes > 0)
            list.push_back(pass("first blur", r.bloomProgram, bloomFb, {tex(r.sceneTarget, 1)},
                                full));
        // Chain passes whose output nothing reads are not drawn: the last
        // one, and passes 1 and 2 of a group of four, whose blur pass 3
        // draws again into the same target.
        if (passes == 2 || passes == 4) {
            list.push_back(pass("chain 0", r.bloomProgram, swapFb, {bloom}, full));
            list.push_back(pass("composite", r.compositeProgram, bloomFb,
                                {tex(r.sceneTarget), swap}, full));
            colour = bloom;
        } else if (passes == 5) {
            list.push_back(pass("chain 0", r.bloomProgram, swapFb, {bloom}, full));
            list.push_back(pass("chain 3", r.bloomProgram, bloomFb, {swap}, full));
            // The last chain pass would read bloomTarget: the composite adds
            // that image and lands in bloomSwapTarget.
            list.push_back(pass("composite", r.compositeProgram, swapFb,
                                {tex(r.sceneTarget), bloom}, full));
            colour = swap;
        }
        if (dof) {
            list.push_back(pass("depth of field", r.dofProgram, r.dofTarget.framebuffer,
                                {tex(r.sceneTarget), colour}, full));
            colour = tex(r.dofTarget);
        }
        list.push_back(pass("final", r.tonemapProgram, 99, {colour}, full));
        return list;
    }

    std::vector<Pass> frame(std::int32_t passes, bool dof, std::int32_t showTime = 0) {
        ostrelContent.bloomPasses = passes;
        ostrelContent.dofEnabled = dof ? 1 : 0;
        resetGlRecorder();
        renderFrame(gl, r, ostrelContent, tracks, showTime);
        // The state model learns the targets' attachments from start-up.
        GlState state;
        state.replay(startup);
        state.passes.clear();
        state.replay(calls());
        return state.passes;
    }

    RenderResources r;
    TrackData tracks;
    std::vector<GlCall> startup;
};

TEST_F(FrameTest, PassesFollowTheGraphForEachBloomCountWithAndWithoutDepthOfField) {
    for (std::int32_t passes : {0, 2, 4, 5}) {
        for (bool dof : {true, false}) {
            SCOPED_TRACE("bloom passes " + std::to_string(passes) + (dof ? ", dof" : ", no dof"));
            std::vector<Pass> got = frame(passes, dof);
            std::vector<ExpectedPass> want = expected(passes, dof);
            ASSERT_EQ(got.size(), want.size());
            for (std::size_t i = 0; i < want.size(); ++i) {
                SCOPED_TRACE(want[i].what);
                EXPECT_EQ(got[i].program, want[i].program);
                EXPECT_EQ(got[i].framebuffer, want[i].framebuffer);
                for (std::size_t u = 0; u < want[i].units.size(); ++u)
                    EXPECT_EQ(got[i].units[static_cast<GLuint>(u)], want[i].units[u]) << "unit " << u;
                float w, h;
                frameDataR0(got[i].buffers[r.fdBuffer], w, h);
                EXPECT_EQ(w, want[i].r0[0]);
                EXPECT_EQ(h, want[i].r0[1]);
                EXPECT_EQ(got[i].viewport[2], static_cast<GLint>(want[i].r0[0]));
                EXPECT_EQ(got[i].viewport[3], static_cast<GLint>(want[i].r0[1]));
            }
            // BloomData only with a bloom stage, FocusData only with depth
            // of field.
            bool bloomUploaded = false, focusUploaded = false;
            GLuint bound = 0;
            for (const GlCall& c : calls()) {
                if (c.name == "glBindBuffer" && c.args[0] == GL_UNIFORM_BUFFER)
                    bound = static_cast<GLuint>(c.args[1]);
                if (c.name == "glBufferSubData") {
                    bloomUploaded |= bound == r.bloomBuffer;
                    focusUploaded |= bound == r.focusBuffer;
                }
            }
            EXPECT_EQ(bloomUploaded, passes > 0);
            EXPECT_EQ(focusUploaded, dof);
        }
    }
}

TEST_F(FrameTest, NoPassSamplesTheTextureItDrawsInto) {
    // Units each program samples.
    const std::map<GLuint, GLuint> sampled = {{r.scenePrograms[effectBuild], 1},
                                              {r.bloomProgram, 1}, {r.compositeProgram, 2},
                                              {r.dofProgram, 2}, {r.tonemapProgram, 1}};
    for (std::int32_t passes = 0; passes <= 9; ++passes) {
        for (bool dof : {true, false}) {
            std::vector<Pass> got = frame(passes, dof);
            for (std::size_t i = 0; i < got.size(); ++i) {
                const Pass& pass = got[i];
                ASSERT_EQ(sampled.count(pass.program), 1u);
                // Every pass but the final one draws into a target of ours.
                EXPECT_EQ(pass.writes.empty(), pass.framebuffer == 99);
                for (GLuint unit = 0; unit < sampled.at(pass.program); ++unit) {
                    GLuint texture = pass.units.at(unit);
                    for (GLuint written : pass.writes)
                        EXPECT_NE(texture, written) << "bloom passes " << passes << ", pass "
                                                    << i << ", unit " << unit;
                }
            }
        }
    }
}

// What the picture of a frame is made of, as an expression: replays the
// drawn passes over symbolic texture contents.
std::string pictureOf(const std::vector<Pass>& passes, const RenderResources& r) {
    std::map<GLuint, std::string> content;
    auto in = [&](const Pass& p, GLuint unit) {
        auto found = content.find(p.units.at(unit));
        return found == content.end() ? std::string("?") : found->second;
    };
    std::string shown;
    for (const Pass& p : passes) {
        std::vector<std::string> out;
        if (p.program == r.bloomProgram) out = {"blur(" + in(p, 0) + ")"};
        else if (p.program == r.compositeProgram) out = {in(p, 0) + "+" + in(p, 1)};
        else if (p.program == r.dofProgram) out = {"dof(" + in(p, 0) + "," + in(p, 1) + ")"};
        else if (p.program == r.tonemapProgram) shown = "tonemap(" + in(p, 0) + ")";
        else out = {"scene", "bright"};
        for (std::size_t i = 0; i < out.size() && i < p.writes.size(); ++i)
            content[p.writes[i]] = out[i];
    }
    return shown;
}

// The same expression for the graph as the frame order lays it out, every
// chain pass drawn: the first blur into bloomTarget, then pass i blurs
// bloomTarget into bloomSwapTarget when i is a multiple of 4 and back
// otherwise, and the composite adds what the last pass read.
std::string pictureOfTheWholeGraph(std::int32_t passes, bool dof) {
    std::string colour = "scene";
    if (passes > 0) {
        std::string bloom = "blur(bright)", swap = "?";
        for (std::int32_t i = 0; i < passes; ++i) {
            if (i % 4 == 0) swap = "blur(" + bloom + ")";
            else bloom = "blur(" + swap + ")";
        }
        colour = "scene+" + ((passes - 1) % 4 == 0 ? bloom : swap);
    }
    if (dof) colour = "dof(scene," + colour + ")";
    return "tonemap(" + colour + ")";
}

TEST_F(FrameTest, LeftOutChainPassesChangeNothingThatIsShown) {
    for (std::int32_t passes = 0; passes <= 13; ++passes) {
        for (bool dof : {true, false}) {
            SCOPED_TRACE("bloom passes " + std::to_string(passes) + (dof ? ", dof" : ", no dof"));
            std::vector<Pass> got = frame(passes, dof);
            EXPECT_EQ(pictureOf(got, r), pictureOfTheWholeGraph(passes, dof));
            int blurs = 0;
            for (const Pass& p : got) blurs += p.program == r.bloomProgram;
            // The first blur and passes 0 and 3 of every group of four but
            // the last pass: 5 passes give 3 blurs, 9 give 5, 13 give 7.
            if (passes == 5 || passes == 9 || passes == 13) {
                EXPECT_EQ(blurs, 1 + passes / 2);
            }
            if (passes == 1) {
                EXPECT_EQ(blurs, 1);
            }
        }
    }
}

TEST_F(FrameTest, TheSceneAndBlobEffectValuesChooseTheSceneBuild) {
    const struct {
        float scene, blobEffect;
        SceneBuild build;
    } table[] = {{-3.0f, 0.0f, clusterBuild},    {0.0f, 0.5f, clusterBuild},
                 {1.99f, 0.0f, clusterBuild},    {2.0f, 0.5f, effectBuild},
                 {2.0f, 0.0f, stillEffectBuild}, {2.5f, 0.0f, blobBuild},
                 {2.999f, 1.0f, blobBuild},      {3.0f, 1.0f, effectBuild},
                 {3.5f, 0.0f, stillEffectBuild}, {3.5f, 1e-30f, effectBuild},
                 {3.5f, -0.0f, stillEffectBuild}, {NAN, 0.5f, effectBuild}};
    for (const auto& row : table) {
        tracks.value[scene] = row.scene;
        tracks.value[blobEffect] = row.blobEffect;
        std::vector<Pass> got = frame(5, true);
        EXPECT_EQ(got[0].program, r.scenePrograms[row.build]) << row.scene << ", " << row.blobEffect;
        EXPECT_EQ(sceneBuildFor(tracks), row.build) << row.scene << ", " << row.blobEffect;
    }
}

TEST_F(FrameTest, UploadsTracksFirstAndTheClockOfThePreviousFrame) {
    std::vector<Pass> first = frame(5, true, 960);
    // TrackData is the first upload, all 52 bytes.
    ASSERT_GE(calls().size(), 2u);
    EXPECT_EQ(calls()[0].name, "glBindBuffer");
    EXPECT_EQ(calls()[0].args[1], r.trackBuffer);
    EXPECT_EQ(calls()[1].name, "glBufferSubData");
    EXPECT_EQ(calls()[1].args[2], 52);
    EXPECT_EQ(std::memcmp(calls()[1].bytes.data(), &tracks, 52), 0);
    // The first frame's shaders see T0 = 0; the next frame sees this
    // frame's show time x 1/960.
    FD fd;
    std::memcpy(&fd, first[0].buffers[r.fdBuffer].data(), 64);
    EXPECT_EQ(fd.T0, 0.0f);
    EXPECT_EQ(fd.F0, 1.0f);
    EXPECT_NEAR(r.fd.T0, 1.0f, 1e-6f);

    std::vector<Pass> second = frame(5, true, 96000);
    std::memcpy(&fd, second.back().buffers[r.fdBuffer].data(), 64);
    EXPECT_NEAR(fd.T0, 1.0f, 1e-6f);
    EXPECT_NEAR(r.fd.T0, 100.0f, 1e-4f);

    // BloomData carries the content's luminance of the moment; FocusData
    // the record's values.
    ostrelContent.luminance = 0.53f;
    r.focus = {41.2f, 122.8f};
    std::vector<Pass> third = frame(5, true, 0);
    float luminance;
    std::memcpy(&luminance, third.back().buffers[r.bloomBuffer].data(), 4);
    EXPECT_EQ(luminance, 0.53f);
    FocusData focus;
    std::memcpy(&focus, third.back().buffers[r.focusBuffer].data(), 8);
    EXPECT_EQ(focus.fp, 41.2f);
    EXPECT_EQ(focus.fs, 122.8f);
}

TEST_F(FrameTest, ALaterRenderSizeChangesThePostPassesButNotTheScenePass) {
    ostrelContent.renderWidth = 800.5f;
    ostrelContent.renderHeight = 600.0f;
    std::vector<Pass> got = frame(2, true);
    float w, h;
    frameDataR0(got[0].buffers[r.fdBuffer], w, h);
    EXPECT_EQ(w, 160.0f);
    EXPECT_EQ(got[0].viewport[2], 160);
    for (std::size_t i = 1; i < got.size(); ++i) {
        frameDataR0(got[i].buffers[r.fdBuffer], w, h);
        EXPECT_EQ(w, 800.5f);  // R0 takes the float unchanged
        EXPECT_EQ(h, 600.0f);
        EXPECT_EQ(got[i].viewport[2], 800);  // the viewport its truncation
    }
}

}  // namespace
