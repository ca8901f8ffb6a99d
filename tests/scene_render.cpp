// The scene pass drawn by the real pipeline (createRenderResources and
// renderFrame with the content block's scene text and noise texture) at
// 64 x 48, read back from the scene target: attachment 0 holds the colour
// with the hit distance / 100 in alpha, attachment 1 the bloom selection.
// The last test walks through the shipped choreography: the camera must
// stay clear of every surface and every visible moment must show the world.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "host/headless.h"
#include "host/loop.h"
#include "render/frame.h"
#include "render/resources.h"
#include "render/uniforms.h"
#include "sync/content.h"
#include "sync/show_tracks.h"
#include "sync/sync.h"
#include "tests/support/gpu_compute.h"

namespace {

typedef void(OSTREL_GLAPI* ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
typedef void(OSTREL_GLAPI* ReadBuffer)(GLenum);

constexpr int kWidth = 64, kHeight = 48;

struct Frame {
    std::vector<float> colour, bloom, output;  // RGBA rows, bottom row first
    const float* colourAt(int x, int y) const { return &colour[std::size_t(4 * (y * kWidth + x))]; }
    const float* bloomAt(int x, int y) const { return &bloom[std::size_t(4 * (y * kWidth + x))]; }
};

// Rows the scene traces: |2v - 1| < 0.8 at the row's centre, in float as
// the shader computes it.
bool inBand(int y) {
    float v = (float(y) + 0.5f) / float(kHeight);
    return std::fabs(2.0f * v - 1.0f) < 0.8f;
}

struct Shot {
    float scene = 0.0f;
    float camPos[3] = {0.0f, 2.5f, -6.0f};  // above and before the cluster, looking at it
    float camRot[3] = {0.0f, 0.0f, 0.0f};
    float bloomLuminance = 1e9f;
    float blobPos = -2.0f, blobEffect = 0.0f;
    float T0 = 20.0f;
};

class SceneRender : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!createHeadlessContext(gl, &failure)) return;
        readPixels = reinterpret_cast<ReadPixels>(headlessGlFunction("glReadPixels"));
        readBuffer = reinterpret_cast<ReadBuffer>(headlessGlFunction("glReadBuffer"));
        forgetFullscreenTriangle();
        ostrelContent.renderWidth = float(kWidth);
        ostrelContent.renderHeight = float(kHeight);
        if (!createRenderResources(gl, ostrelContent, 1.0f, resources, &failure)) return;
        output = createRenderTarget(gl, kWidth, kHeight, GL_FLOAT, 1);
        resources.outputFramebuffer = output.framebuffer;
        ready = true;
    }

    void SetUp() override { ASSERT_TRUE(ready) << failure; }

    static std::vector<float> read(GLuint framebuffer, int attachment) {
        std::vector<float> pixels(std::size_t(4 * kWidth * kHeight), -1.0f);
        gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        readBuffer(GL_COLOR_ATTACHMENT0 + GLenum(attachment));
        readPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_FLOAT, pixels.data());
        gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return pixels;
    }

    static Frame render(const Shot& shot) {
        TrackData tracks{};
        tracks.value[bloomLuminance] = shot.bloomLuminance;
        tracks.value[camPosX] = shot.camPos[0];
        tracks.value[camPosY] = shot.camPos[1];
        tracks.value[camPosZ] = shot.camPos[2];
        tracks.value[camRotX] = shot.camRot[0];
        tracks.value[camRotY] = shot.camRot[1];
        tracks.value[camRotZ] = shot.camRot[2];
        tracks.value[viggnet] = 2.0f;
        tracks.value[scene] = shot.scene;
        tracks.value[blobPos] = shot.blobPos;
        tracks.value[blobEffect] = shot.blobEffect;
        tracks.value[dofFocusPoint] = 1.0f;
        tracks.value[dofFocusScale] = 1.0f;
        // Other tests of this program bind blocks of their own.
        const GLuint buffers[4] = {resources.fdBuffer, resources.trackBuffer,
                                   resources.focusBuffer, resources.bloomBuffer};
        for (GLuint i = 0; i < 4; ++i) gl.glBindBufferBase(GL_UNIFORM_BUFFER, i, buffers[i]);
        resources.fd.T0 = shot.T0;
        renderFrame(gl, resources, ostrelContent, tracks, 0);
        Frame f;
        f.colour = read(resources.sceneTarget.framebuffer, 0);
        f.bloom = read(resources.sceneTarget.framebuffer, 1);
        f.output = read(output.framebuffer, 0);
        return f;
    }

    static GlFunctions gl;
    static ReadPixels readPixels;
    static ReadBuffer readBuffer;
    static RenderResources resources;
    static RenderTarget output;
    static bool ready;
    static std::string failure;
};

GlFunctions SceneRender::gl{};
ReadPixels SceneRender::readPixels = nullptr;
ReadBuffer SceneRender::readBuffer = nullptr;
RenderResources SceneRender::resources{};
RenderTarget SceneRender::output{};
bool SceneRender::ready = false;
std::string SceneRender::failure;

// Share of pixels whose colour differs by more than 0.02 in some channel.
double differingShare(const Frame& a, const Frame& b) {
    int differing = 0;
    for (std::size_t i = 0; i < a.colour.size(); i += 4)
        for (std::size_t c = 0; c < 3; ++c)
            if (std::fabs(a.colour[i + c] - b.colour[i + c]) > 0.02f) {
                ++differing;
                break;
            }
    return double(differing) / double(kWidth * kHeight);
}

float doubledLuminance(const float* rgb) {
    return 2.0f * rgb[0] * 0.2126f + 2.0f * rgb[1] * 0.7152f + 2.0f * rgb[2] * 0.0722f;
}

TEST_F(SceneRender, BarsAreOpaqueBlackAndTheBandIsTraced) {
    Frame f = render(Shot{});
    int hits = 0, misses = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const float* c = f.colourAt(x, y);
            const float* b = f.bloomAt(x, y);
            if (!inBand(y)) {
                ASSERT_EQ(c[0], 0.0f) << x << ", " << y;
                ASSERT_EQ(c[1], 0.0f);
                ASSERT_EQ(c[2], 0.0f);
                ASSERT_EQ(c[3], 1.0f);
                for (int k = 0; k < 4; ++k) ASSERT_EQ(b[k], 0.0f) << x << ", " << y;
                continue;
            }
            for (int k = 0; k < 4; ++k) ASSERT_TRUE(std::isfinite(c[k])) << x << ", " << y;
            ASSERT_GE(c[3], 0.0f);
            ASSERT_LE(c[3], 2.0f);  // the far limit is 200
            if (c[3] > 0.0f) ++hits;
            else ++misses;
        }
    // Rows 5 to 42 of 48 are traced; the cluster, water and ground fill most.
    EXPECT_TRUE(inBand(5) && inBand(42) && !inBand(4) && !inBand(43));
    EXPECT_GT(hits, 64 * 38 / 2);
}

TEST_F(SceneRender, ARayThatMissesIsDarkGreyAtDistanceZero) {
    Shot sky;
    sky.camPos[1] = 5.0f;
    sky.camRot[1] = 1.2f;  // tilted up: every ray climbs away from the world
    sky.bloomLuminance = 0.0f;
    Frame f = render(sky);
    sky.bloomLuminance = 0.03f;
    Frame dim = render(sky);
    for (int y = 0; y < kHeight; ++y) {
        if (!inBand(y)) continue;
        for (int x = 0; x < kWidth; ++x) {
            const float* c = f.colourAt(x, y);
            ASSERT_FLOAT_EQ(c[0], 0.01f) << x << ", " << y;
            ASSERT_FLOAT_EQ(c[1], 0.01f);
            ASSERT_FLOAT_EQ(c[2], 0.01f);
            ASSERT_EQ(c[3], 0.0f);
            // Doubled luminance 0.02: above a threshold of 0, below 0.03.
            const float* b = f.bloomAt(x, y);
            ASSERT_FLOAT_EQ(b[0], 0.01f);
            ASSERT_EQ(b[3], 0.0f);
            ASSERT_EQ(dim.bloomAt(x, y)[0], 0.0f);
        }
    }
}

TEST_F(SceneRender, BloomHoldsExactlyThePixelsAboveTheThreshold) {
    Frame first = render(Shot{});
    std::vector<float> lums;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (inBand(y)) lums.push_back(doubledLuminance(first.colourAt(x, y)));
    std::nth_element(lums.begin(), lums.begin() + long(lums.size() / 2), lums.end());
    Shot shot;
    shot.bloomLuminance = lums[lums.size() / 2];  // about half above, half below
    Frame f = render(shot);
    int above = 0, below = 0;
    for (int y = 0; y < kHeight; ++y) {
        if (!inBand(y)) continue;
        for (int x = 0; x < kWidth; ++x) {
            const float* c = f.colourAt(x, y);
            const float* b = f.bloomAt(x, y);
            float lum = doubledLuminance(c);
            if (std::fabs(lum - shot.bloomLuminance) < 1e-5f) continue;  // rounding decides
            if (lum > shot.bloomLuminance) {
                ++above;
                ASSERT_EQ(b[0], c[0]) << x << ", " << y;
                ASSERT_EQ(b[1], c[1]);
                ASSERT_EQ(b[2], c[2]);
                ASSERT_EQ(b[3], 0.0f);
            } else {
                ++below;
                for (int k = 0; k < 4; ++k) ASSERT_EQ(b[k], 0.0f) << x << ", " << y;
            }
        }
    }
    EXPECT_GT(above, 300);
    EXPECT_GT(below, 300);
}

TEST_F(SceneRender, SceneTwoAndThreeDrawTheEffectClusterWithoutATurn) {
    Shot shot;
    shot.blobEffect = 0.5f;
    shot.scene = 2.0f;
    Frame two = render(shot);
    shot.scene = 3.0f;
    Frame three = render(shot);
    shot.scene = 3.5f;
    Frame turned = render(shot);
    shot.scene = 1.99f;
    Frame cluster = render(shot);

    // The 3.14 turn above 3, made by hand: the camera moved round the
    // vertical axis and turned by the same angle.
    Shot byHand;
    byHand.blobEffect = 0.5f;
    byHand.scene = 3.0f;
    byHand.camPos[0] = -6.0f * std::sin(3.14f);
    byHand.camPos[2] = -6.0f * std::cos(3.14f);
    byHand.camRot[0] = 3.14f;
    Frame turnedByHand = render(byHand);

    EXPECT_EQ(two.colour, three.colour);           // 2.0 and 3.0: one picture
    EXPECT_LT(differingShare(turned, turnedByHand), 0.03);
    EXPECT_GT(differingShare(three, turned), 0.2);  // the turn shows
    EXPECT_GT(differingShare(two, cluster), 0.05);  // not the cluster scene
}

TEST_F(SceneRender, DegenerateViewsWriteNoUndefinedValues) {
    std::vector<Shot> shots(6);
    // Inside the octahedron, at the exact centre of the cluster frame.
    shots[0].camPos[0] = 0.0f;
    shots[0].camPos[1] = 1.0f;
    shots[0].camPos[2] = 0.0f;
    shots[0].T0 = 0.0f;
    // Inside the ground, and on the water plane itself.
    shots[1].camPos[0] = 3.0f;
    shots[1].camPos[1] = -1.6f;
    shots[1].camPos[2] = 2.0f;
    shots[2].camPos[1] = -1.0f;
    shots[2].camPos[2] = -3.0f;
    shots[2].T0 = 0.0f;
    // Perfect mirrors: the effect cluster at full effect (roughness 0),
    // the water close up, the blob at full effect above the water.
    shots[3].scene = 3.5f;
    shots[3].blobEffect = 1.0f;
    shots[3].camPos[2] = -4.0f;
    shots[4].scene = 2.5f;
    shots[4].blobEffect = 1.0f;
    shots[4].blobPos = 1.0f;
    shots[5].scene = -3.0f;
    shots[5].camPos[1] = -0.8f;
    shots[5].camRot[1] = 0.2f;
    for (std::size_t s = 0; s < shots.size(); ++s) {
        shots[s].bloomLuminance = 0.0f;
        Frame f = render(shots[s]);
        for (std::size_t i = 0; i < f.colour.size(); ++i) {
            ASSERT_TRUE(std::isfinite(f.colour[i])) << "shot " << s << " value " << i;
            ASSERT_TRUE(std::isfinite(f.bloom[i])) << "shot " << s << " value " << i;
            ASSERT_TRUE(std::isfinite(f.output[i])) << "shot " << s << " output " << i;
        }
    }
}

// The distance from a point to the nearest surface, by the scene's own
// GetScene with the frame's uniform blocks and the show's noise texture.
const char* const kDistanceProbe = R"(
void evaluate(vec4 a, vec4 b, out vec4 r, out vec4 s)
{
    time = mod(T0 * 0.2, 1000.0);
    r = vec4(GetScene(a.xyz).di, 0.0, 0.0, 0.0);
    s = vec4(0.0);
}
)";

TEST_F(SceneRender, ChoreographyKeepsTheCameraOutsideAndTheWorldInView) {
    std::string log;
    const std::string text =
        gpu::sceneHeader() +
        gpu::source("shaders/scene/noise.glsl") + gpu::source("shaders/scene/library.glsl") +
        gpu::source("shaders/scene/framework.glsl") + gpu::source("shaders/scene/scenes.glsl") +
        kDistanceProbe;
    GLuint probe = gpu::buildEvaluator(gl, text, &log);
    ASSERT_NE(probe, 0u) << log;

    ShowTracks tracks;
    std::string error;
    ASSERT_TRUE(loadShowTracks(ostrelContent, tracks, &error)) << error;
    auto valuesAt = [&](int ms) { return frameValuesAt(tracks.tracks, ms).tracks; };

    // Every 50 ms while the picture is not blacked out by the vignette
    // (viggnet 0): the camera at least 0.15 from the nearest surface.
    int checked = 0;
    for (int ms = 0; ms <= 101400; ms += 50) {
        TrackData v = valuesAt(ms);
        if (v.value[viggnet] <= 0.0f) continue;
        const float T0 = showClock(ms);
        float x = v.value[camPosX], y = v.value[camPosY], z = v.value[camPosZ];
        const float s = v.value[scene];
        const float turn = (s > 2.0f && s < 3.0f) ? T0 * 0.1f + 2.7f : (s > 3.0f ? 3.14f : 0.0f);
        const float tx = x * std::cos(turn) + z * std::sin(turn);
        z = -x * std::sin(turn) + z * std::cos(turn);
        x = tx;

        FD fd = resources.fd;
        fd.T0 = T0;
        const GLuint buffers[4] = {resources.fdBuffer, resources.trackBuffer,
                                   resources.focusBuffer, resources.bloomBuffer};
        for (GLuint i = 0; i < 4; ++i) gl.glBindBufferBase(GL_UNIFORM_BUFFER, i, buffers[i]);
        uploadUniformBlock(gl, resources.fdBuffer, &fd, sizeof fd);
        uploadUniformBlock(gl, resources.trackBuffer, &v, sizeof v);
        gl.glActiveTexture(GL_TEXTURE0);
        gl.glBindTexture(GL_TEXTURE_2D, resources.noiseTexture.texture);
        std::vector<gpu::Result> d = gpu::evaluate(gl, probe, {{{x, y, z, 0}, {}}});
        ASSERT_GT(d[0].r.x, 0.15f) << "camera at (" << x << ", " << y << ", " << z << ") at "
                                   << ms << " ms";
        ++checked;
    }
    EXPECT_GT(checked, 1800);

    // Every 2 s while the picture shows: most traced pixels hit the world.
    for (int ms = 0; ms <= 101400; ms += 2000) {
        TrackData v = valuesAt(ms);
        if (v.value[viggnet] < 1.0f) continue;
        Shot shot;
        shot.scene = v.value[scene];
        for (int i = 0; i < 3; ++i) {
            shot.camPos[i] = v.value[camPosX + i];
            shot.camRot[i] = v.value[camRotX + i];
        }
        shot.blobPos = v.value[blobPos];
        shot.blobEffect = v.value[blobEffect];
        shot.T0 = showClock(ms);
        Frame f = render(shot);
        int hits = 0, traced = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth && inBand(y); ++x, ++traced)
                if (f.colourAt(x, y)[3] > 0.0f) ++hits;
        EXPECT_GT(hits, traced * 6 / 10) << "at " << ms << " ms";
    }
}

}  // namespace
