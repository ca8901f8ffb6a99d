// The pass shaders and the noise compute on a real GL (headless EGL, llvmpipe
// on a machine without a GPU), against their formulas on small synthetic
// inputs; and the whole pipeline once, start-up and one frame.
//
// The shaders are the minified texts of the content block, the ones the show
// compiles. Results are read back as unclamped floats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/headless.h"
#include "render/frame.h"
#include "render/resources.h"
#include "render/uniforms.h"
#include "sync/content.h"

namespace {

constexpr GLenum GL_NO_ERROR = 0;

typedef void(OSTREL_GLAPI* ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
typedef GLenum(OSTREL_GLAPI* GetError)();

using Image = std::vector<float>;  // RGBA rows, bottom row first

struct Vec4 {
    float v[4];
};

GlFunctions gl;
ReadPixels glReadPixels = nullptr;
GetError glGetError = nullptr;
std::string contextError;
bool haveContext = false;

class ShaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (haveContext || !contextError.empty()) return;
        haveContext = createHeadlessContext(gl, &contextError);
        if (!haveContext) return;
        glReadPixels = reinterpret_cast<ReadPixels>(headlessGlFunction("glReadPixels"));
        glGetError = reinterpret_cast<GetError>(headlessGlFunction("glGetError"));
        forgetFullscreenTriangle();
        const FD fd = {};
        const TrackData tracks = {};
        fdBuffer = createUniformBuffer(gl, 0, &fd, sizeof fd);
        trackBuffer = createUniformBuffer(gl, 1, &tracks, sizeof tracks);
    }

    void SetUp() override {
        ASSERT_TRUE(haveContext) << contextError;
        ASSERT_NE(glReadPixels, nullptr);
    }

    // A program from the content block's vertex text and one of its texts.
    static GLuint program(ShaderText text) {
        GLuint shaders[2];
        GLuint p = buildProgram(gl, ostrelContent.shaderTexts[vertexShaderText],
                                ostrelContent.shaderTexts[text], shaders);
        GLint linked = 0;
        gl.glGetProgramiv(p, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, 1) << "shader text " << text << " does not link";
        return p;
    }

    // A one-attachment target holding the given pixels.
    static RenderTarget input(int width, int height, const Image& pixels) {
        RenderTarget target = createRenderTarget(gl, width, height, GL_FLOAT, 1);
        gl.glActiveTexture(GL_TEXTURE0);
        gl.glBindTexture(GL_TEXTURE_2D, target.attachments[0].texture);
        gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, width, height, 0, GL_RGBA, GL_FLOAT,
                        pixels.data());
        return target;
    }

    static Image read(GLuint framebuffer, int width, int height) {
        Image pixels(static_cast<std::size_t>(width * height * 4), -12345.0f);
        gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, pixels.data());
        return pixels;
    }

    // Draws one pass of program at width x height into a new target and
    // reads it back.
    static Image run(GLuint program, int width, int height, std::vector<TextureBinding> inputs,
                     const float* trackValues = nullptr) {
        FD fd = {};
        fd.F0 = 1.0f;
        uploadFrameData(gl, fdBuffer, fd, static_cast<float>(width), static_cast<float>(height));
        TrackData tracks = {};
        if (trackValues != nullptr) std::memcpy(tracks.value, trackValues, sizeof tracks.value);
        uploadUniformBlock(gl, trackBuffer, &tracks, sizeof tracks);
        RenderTarget out = createRenderTarget(gl, width, height, GL_FLOAT, 1);
        gl.glViewport(0, 0, width, height);
        drawPass(gl, out.framebuffer, program, static_cast<GLuint>(inputs.size()), inputs.data());
        Image result = read(out.framebuffer, width, height);
        EXPECT_EQ(glGetError(), GL_NO_ERROR);
        return result;
    }

    static GLuint fdBuffer, trackBuffer;
};
GLuint ShaderTest::fdBuffer = 0;
GLuint ShaderTest::trackBuffer = 0;

Image fill(int width, int height, const std::function<Vec4(int, int)>& f) {
    Image image(static_cast<std::size_t>(width * height * 4));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Vec4 p = f(x, y);
            std::memcpy(&image[static_cast<std::size_t>((y * width + x) * 4)], p.v, 16);
        }
    return image;
}

const float* pixel(const Image& image, int width, int x, int y) {
    return &image[static_cast<std::size_t>((y * width + x) * 4)];
}

bool inBand(int y, int height) {
    float v = (static_cast<float>(y) + 0.5f) / static_cast<float>(height);
    return std::fabs(2.0f * v - 1.0f) < 0.8f;
}

// Bilinear, clamp-to-edge sampling as the GL does it, for references.
struct Sampler {
    const Image& image;
    int width, height;
    double at(double u, double v, int channel) const {
        double x = u * width - 0.5, y = v * height - 0.5;
        double x0 = std::floor(x), y0 = std::floor(y);
        double fx = x - x0, fy = y - y0;
        auto texel = [&](double tx, double ty) {
            int ix = std::clamp(static_cast<int>(tx), 0, width - 1);
            int iy = std::clamp(static_cast<int>(ty), 0, height - 1);
            return static_cast<double>(image[static_cast<std::size_t>((iy * width + ix) * 4 + channel)]);
        };
        return (texel(x0, y0) * (1 - fx) + texel(x0 + 1, y0) * fx) * (1 - fy) +
               (texel(x0, y0 + 1) * (1 - fx) + texel(x0 + 1, y0 + 1) * fx) * fy;
    }
};

// --- Bloom blur -------------------------------------------------------------

TEST_F(ShaderTest, BloomBlurAveragesACircleAndBrightensInsideTheBandOnly) {
    const int w = 48, h = 40;
    GLuint bloom = program(bloomBlurShaderText);

    // A uniform 1 gives 64 / 60.85 in every channel inside the band, 0
    // outside.
    RenderTarget ones = input(w, h, fill(w, h, [](int, int) { return Vec4{{1, 1, 1, 1}}; }));
    Image out = run(bloom, w, h, {ones.attachments[0]});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_NEAR(pixel(out, w, x, y)[c], inBand(y, h) ? 64.0 / 60.85 : 0.0, 1e-5)
                    << x << "," << y;

    // A smooth pattern against the formula: 63 angles of 0.1, radius 13.5
    // pixels, the centre weighted 1 and the ring 0.95.
    Image pattern = fill(w, h, [](int x, int y) {
        float a = std::sin(x * 0.3f) + 0.02f * static_cast<float>(y * y);
        return Vec4{{a, 2.0f * a, static_cast<float>(x), 1.0f + 0.1f * static_cast<float>(y)}};
    });
    RenderTarget source = input(w, h, pattern);
    out = run(bloom, w, h, {source.attachments[0]});
    Sampler s{pattern, w, h};
    for (int y = 0; y < h; ++y) {
        if (!inBand(y, h)) continue;
        for (int x = 0; x < w; ++x) {
            double u = (x + 0.5) / w, v = (y + 0.5) / h;
            for (int c = 0; c < 4; ++c) {
                double sum = s.at(u, v, c), weight = 1.0;
                for (float a = 0.0f; a < 6.28f; a += 0.1f) {
                    sum += s.at(u + std::cos(a) * 9.0 / w * 1.5, v + std::sin(a) * 9.0 / h * 1.5, c);
                    weight += 0.95;
                }
                ASSERT_NEAR(pixel(out, w, x, y)[c], sum / weight, 2e-3 * (1.0 + std::fabs(sum / weight)))
                    << x << "," << y << " channel " << c;
            }
        }
    }
}

// --- Composite -----------------------------------------------------------------

TEST_F(ShaderTest, CompositeAddsEightTenthsOfTheBloomToTheOpaqueScene) {
    const int w = 8, h = 6;
    GLuint composite = program(compositeShaderText);
    RenderTarget scene = input(w, h, fill(w, h, [](int x, int) {
        return Vec4{{0.5f, 0.5f, 0.5f, 7.0f + static_cast<float>(x)}};
    }));
    RenderTarget bloom = input(w, h, fill(w, h, [](int, int y) {
        return Vec4{{1.0f, 1.0f, 1.0f, y == 0 ? 1.0f : 2.0f}};
    }));
    Image out = run(composite, w, h, {scene.attachments[0], bloom.attachments[0]});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float* p = pixel(out, w, x, y);
            EXPECT_NEAR(p[0], 1.3f, 1e-6);
            EXPECT_NEAR(p[2], 1.3f, 1e-6);
            EXPECT_NEAR(p[3], y == 0 ? 1.8f : 2.6f, 1e-6);  // the scene's alpha is dropped
        }
}

// --- Tonemap and vignette -----------------------------------------------------

float toneCurve(float c) { return std::pow(std::exp(-1.0f / (2.72f * c + 0.15f)), 1.0f / 2.2f); }

TEST_F(ShaderTest, TonemapFollowsTheCurveAndTheVignetteDarkensTowardTheCorners) {
    GLuint tonemap = program(tonemapShaderText);
    float tracks[trackCount] = {};

    // Black through a steep vignette: about 0.0483 in the middle.
    const int w = 40, h = 30;
    RenderTarget black = input(w, h, fill(w, h, [](int, int) { return Vec4{{0, 0, 0, 0}}; }));
    tracks[viggnet] = 60.0f;
    Image out = run(tonemap, w, h, {black.attachments[0]}, tracks);
    EXPECT_NEAR(pixel(out, w, 20, 15)[0], 0.0483, 2e-4);
    EXPECT_NEAR(toneCurve(0.0f), 0.0483, 1e-4);

    // A gradient with viggnet 2 at 4:3, every pixel against the formula;
    // a corner keeps about 72 %.
    Image gradient = fill(w, h, [](int x, int y) {
        float c = 0.05f * static_cast<float>(x + y);
        return Vec4{{c, 0.5f * c, 2.0f * c, 0.3f}};
    });
    RenderTarget source = input(w, h, gradient);
    tracks[viggnet] = 2.0f;
    out = run(tonemap, w, h, {source.attachments[0]}, tracks);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float u = (x + 0.5f) / w, v = (y + 0.5f) / h, aspect = 40.0f / 30.0f;
            float d = std::hypot((u - 0.5f) / aspect, (v - 0.5f) / aspect);
            float keep = 1.0f - d * d;
            const float* in = pixel(gradient, w, x, y);
            const float* p = pixel(out, w, x, y);
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(p[c], toneCurve(in[c]) * keep, 1e-4) << x << "," << y;
            ASSERT_EQ(p[3], 1.0f);
        }
    EXPECT_NEAR(pixel(out, w, 0, 0)[0] / toneCurve(0.0f), 0.735, 0.01);
}

TEST_F(ShaderTest, VignetteZeroIsBlackEverywhereIncludingTheExactCentre) {
    // An odd size has a pixel whose centre is exactly uv (0.5, 0.5), where
    // the distance is 0 and 0^0 is undefined.
    const int w = 41, h = 31;
    GLuint tonemap = program(tonemapShaderText);
    RenderTarget source = input(w, h, fill(w, h, [](int, int) { return Vec4{{0.7f, 2.0f, 0.1f, 1}}; }));
    float tracks[trackCount] = {};
    tracks[viggnet] = 0.0f;
    Image out = run(tonemap, w, h, {source.attachments[0]}, tracks);
    for (std::size_t i = 0; i < out.size(); i += 4) {
        ASSERT_EQ(out[i], 0.0f) << "pixel " << i / 4;
        ASSERT_EQ(out[i + 1], 0.0f) << "pixel " << i / 4;
        ASSERT_EQ(out[i + 2], 0.0f) << "pixel " << i / 4;
    }
    // Below 0 as well, without an infinity from a tiny distance raised to a
    // large negative power.
    tracks[viggnet] = -40.0f;
    out = run(tonemap, w, h, {source.attachments[0]}, tracks);
    for (std::size_t i = 0; i < out.size(); i += 4)
        ASSERT_EQ(out[i], 0.0f) << "pixel " << i / 4;
    // With a positive exponent the centre keeps its whole colour.
    tracks[viggnet] = 2.0f;
    out = run(tonemap, w, h, {source.attachments[0]}, tracks);
    EXPECT_NEAR(pixel(out, w, 20, 15)[1], toneCurve(2.0f), 1e-5);
}

TEST_F(ShaderTest, TonemapTurnsNegativeAndUndefinedInputIntoBlackNotIntoInfinity) {
    const int w = 4, h = 4;
    GLuint tonemap = program(tonemapShaderText);
    // -0.06 lies just past the tone curve's pole at -0.055, where the curve
    // runs to infinity.
    const float nan = std::nanf("");
    RenderTarget source = input(w, h, fill(w, h, [&](int x, int) {
        float c = x == 0 ? -0.06f : x == 1 ? nan : x == 2 ? -1e30f : 0.0f;
        return Vec4{{c, c, c, 1}};
    }));
    float tracks[trackCount] = {};
    tracks[viggnet] = 40.0f;
    Image out = run(tonemap, w, h, {source.attachments[0]}, tracks);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                float value = pixel(out, w, x, y)[c];
                ASSERT_TRUE(std::isfinite(value)) << x << "," << y;
                ASSERT_NEAR(value, pixel(out, w, 3, y)[c], 1e-6) << x << "," << y;
            }
}

// --- Depth of field --------------------------------------------------------------

// The formula for one pixel, in single precision like the shader.
float coc(float depth, float focus, float scale) {
    return std::fabs(std::clamp((1.0f / focus - 1.0f / depth) * scale, -1.0f, 1.0f)) * 20.0f;
}

void depthOfFieldReference(const Image& depthImage, const Image& colourImage, int w, int h,
                           float focus, float scale, int x, int y, double out[3]) {
    Sampler depth{depthImage, w, h}, colour{colourImage, w, h};
    double u = (x + 0.5) / w, v = (y + 0.5) / h;
    float centreDepth = static_cast<float>(depth.at(u, v, 3) * 1000.0);
    float centreSize = coc(centreDepth, focus, scale);
    double sum[3] = {colour.at(u, v, 0), colour.at(u, v, 1), colour.at(u, v, 2)};
    double count = 1.0;
    float r = 1.0f, a = 0.0f;
    while (r < 20.0f) {
        double qu = u + std::cos(a) / w * r, qv = v + std::sin(a) / h * r;
        float sampleDepth = static_cast<float>(depth.at(qu, qv, 3) * 1000.0);
        float size = coc(sampleDepth, focus, scale);
        if (sampleDepth > centreDepth) size = std::clamp(size, 0.0f, 2.0f * centreSize);
        double t = std::clamp((size - (r - 0.5)) / 1.0, 0.0, 1.0);
        double weight = t * t * (3.0 - 2.0 * t);
        for (int c = 0; c < 3; ++c)
            sum[c] += sum[c] / count * (1.0 - weight) + colour.at(qu, qv, c) * weight;
        count += 1.0;
        r += 1.0f / r;
        a += 2.39996f;
    }
    for (int c = 0; c < 3; ++c) out[c] = sum[c] / count;
}

TEST_F(ShaderTest, DepthOfFieldGathersTheSpiralByCircleOfConfusion) {
    const int w = 48, h = 40;
    GLuint dof = program(depthOfFieldShaderText);
    Image colour = fill(w, h, [](int x, int y) {
        return Vec4{{(x / 3 + y / 3) % 2 ? 1.0f : 0.0f, 0.02f * static_cast<float>(x),
                     0.5f, 9.0f}};
    });
    // Left part near (depth 2), right part far (depth 9): a sharp
    // foreground edge over a blurred background.
    Image depth = fill(w, h, [](int x, int) {
        return Vec4{{0, 0, 0, x < 20 ? 0.002f : 0.009f}};
    });
    RenderTarget colourTarget = input(w, h, colour);
    RenderTarget depthTarget = input(w, h, depth);
    float tracks[trackCount] = {};

    // Everything at the focus point: no sample reaches its ring, the output
    // is the centre colour, opaque; outside the band zero.
    Image flat = fill(w, h, [](int, int) { return Vec4{{0, 0, 0, 0.005f}}; });
    RenderTarget flatDepth = input(w, h, flat);
    tracks[dofFocusPoint] = 5.0f;
    tracks[dofFocusScale] = 3.0f;
    Image out = run(dof, w, h, {flatDepth.attachments[0], colourTarget.attachments[0]}, tracks);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float* p = pixel(out, w, x, y);
            const float* c = pixel(colour, w, x, y);
            if (!inBand(y, h)) {
                ASSERT_EQ(p[0], 0.0f);
                ASSERT_EQ(p[3], 0.0f);
                continue;
            }
            for (int k = 0; k < 3; ++k) ASSERT_NEAR(p[k], c[k], 1e-4) << x << "," << y;
            ASSERT_EQ(p[3], 1.0f);
        }

    // Focus near, a strong scale: against the formula, pixel by pixel.
    tracks[dofFocusPoint] = 2.0f;
    tracks[dofFocusScale] = 8.0f;
    out = run(dof, w, h, {depthTarget.attachments[0], colourTarget.attachments[0]}, tracks);
    int blurred = 0;
    for (int y = 0; y < h; ++y) {
        if (!inBand(y, h)) continue;
        for (int x = 0; x < w; ++x) {
            double want[3];
            depthOfFieldReference(depth, colour, w, h, 2.0f, 8.0f, x, y, want);
            const float* p = pixel(out, w, x, y);
            for (int k = 0; k < 3; ++k)
                ASSERT_NEAR(p[k], want[k], 3e-3) << x << "," << y << " channel " << k;
            if (std::fabs(p[0] - pixel(colour, w, x, y)[0]) > 0.1f) ++blurred;
        }
    }
    EXPECT_GT(blurred, 100);  // the far part is visibly blurred
}

TEST_F(ShaderTest, DepthOfFieldStaysFiniteWhereFocusAndDepthAreZero) {
    const int w = 24, h = 20;
    GLuint dof = program(depthOfFieldShaderText);
    Image colour = fill(w, h, [](int x, int y) {
        return Vec4{{0.25f, 0.5f, (x + y) % 2 ? 1.0f : 0.0f, 0}};
    });
    RenderTarget colourTarget = input(w, h, colour);
    // Rays that hit nothing (alpha 0) beside a few that hit something.
    Image depth = fill(w, h, [](int x, int) { return Vec4{{0, 0, 0, x < 4 ? 0.003f : 0.0f}}; });
    RenderTarget depthTarget = input(w, h, depth);
    float tracks[trackCount] = {};
    for (float scale : {1.0f, 0.0f}) {
        tracks[dofFocusPoint] = 0.0f;
        tracks[dofFocusScale] = scale;
        Image out = run(dof, w, h, {depthTarget.attachments[0], colourTarget.attachments[0]},
                        tracks);
        for (int y = 0; y < h; ++y) {
            if (!inBand(y, h)) continue;
            for (int x = 0; x < w; ++x) {
                const float* p = pixel(out, w, x, y);
                for (int k = 0; k < 4; ++k)
                    ASSERT_TRUE(std::isfinite(p[k])) << x << "," << y << " scale " << scale;
                // Constant channels stay what they are, blurred or not.
                ASSERT_NEAR(p[0], 0.25f, 1e-5);
                ASSERT_NEAR(p[1], 0.5f, 1e-5);
                if (scale == 0.0f) {
                    // Nothing blurs without a scale.
                    ASSERT_NEAR(p[2], pixel(colour, w, x, y)[2], 1e-5) << x << "," << y;
                } else {
                    // Focus 0 blurs every pixel the most, a miss included:
                    // the limit of a focus point just above 0.
                    double want[3];
                    depthOfFieldReference(depth, colour, w, h, 1e-6f, 1.0f, x, y, want);
                    ASSERT_NEAR(p[2], want[2], 3e-3) << x << "," << y;
                }
            }
        }
    }
}

// --- Noise and the whole pipeline ------------------------------------------------

float fractf(float x) { return x - std::floor(x); }

float smoothstepf(float e0, float e1, float x) {
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// The noise formula on the CPU, in single precision.
float noiseReference(int ix, int iy) {
    float x = static_cast<float>(ix) / 10.0f, y = static_cast<float>(iy) / 10.0f;
    float px = std::floor(x), py = std::floor(y), fx = fractf(x), fy = fractf(y);
    float va = 0.0f, wt = 0.0f;
    for (int j = -2; j <= 2; ++j)
        for (int i = -2; i <= 2; ++i) {
            float cx = px + i, cy = py + j;
            float q[3] = {cx * 127.1f + cy * 311.7f, cx * 269.5f + cy * 183.3f,
                          cx * 419.2f + cy * 371.9f};
            float o[3];
            for (int k = 0; k < 3; ++k) o[k] = fractf(std::sin(q[k]) * 43758.5453f);
            float rx = i - fx + o[0] * 0.1f, ry = j - fy + o[1] * 0.1f;
            float ww = 1.0f - smoothstepf(0.0f, 1.414f, std::sqrt(rx * rx + ry * ry));
            va += o[2] * ww;
            wt += ww;
        }
    return va / wt * 2.0f - 0.5f;
}

class PipelineTest : public ShaderTest {
protected:
    static void SetUpTestSuite() {
        ShaderTest::SetUpTestSuite();
        if (!haveContext) return;
        saved[0] = ostrelContent.renderWidth;
        saved[1] = ostrelContent.renderHeight;
        ostrelContent.renderWidth = 64.0f;
        ostrelContent.renderHeight = 48.0f;
        started = createRenderResources(gl, ostrelContent, 0.5f, resources, &startError);
    }
    static void TearDownTestSuite() {
        ostrelContent.renderWidth = saved[0];
        ostrelContent.renderHeight = saved[1];
    }
    static RenderResources resources;
    static bool started;
    static std::string startError;
    static float saved[2];
};
RenderResources PipelineTest::resources;
bool PipelineTest::started = false;
std::string PipelineTest::startError;
float PipelineTest::saved[2];

TEST_F(PipelineTest, NoiseTextureHoldsTheCellNoise) {
    ASSERT_TRUE(started) << startError;
    const int size = 2048;
    RenderTarget view = {};
    gl.glGenFramebuffers(1, &view.framebuffer);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, view.framebuffer);
    gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                              resources.noiseTexture.texture, 0);
    Image noise = read(view.framebuffer, size, size);
    ASSERT_EQ(glGetError(), GL_NO_ERROR);

    // One channel: read as RGBA, green and blue are 0 and alpha 1.
    float low = 10.0f, high = -10.0f;
    for (std::size_t i = 0; i < noise.size(); i += 4) {
        ASSERT_EQ(noise[i + 1], 0.0f) << "texel " << i / 4;
        ASSERT_EQ(noise[i + 2], 0.0f) << "texel " << i / 4;
        ASSERT_EQ(noise[i + 3], 1.0f) << "texel " << i / 4;
        low = std::min(low, noise[i]);
        high = std::max(high, noise[i]);
    }
    EXPECT_GE(low, -0.5f);
    EXPECT_LE(high, 1.5f);
    EXPECT_LT(low, 0.3f);  // a pattern, not a constant
    EXPECT_GT(high, 0.7f);

    // Texels against the formula. Near the origin the hash's sine
    // arguments are small and the GPU's sine differs from the CPU's only in
    // the last bits, which the hash magnifies to a few 1e-3. Farther out
    // the arguments reach 1e5, where the two sines' range reductions
    // sometimes differ enough to pick another random value: a few texels in
    // a thousand there, against nearly all of them for a wrong formula.
    for (int iy = 0; iy < 256; iy += 5)
        for (int ix = 0; ix < 256; ix += 3)
            ASSERT_NEAR(pixel(noise, size, ix, iy)[0], noiseReference(ix, iy), 1e-2)
                << ix << "," << iy;
    int compared = 0, different = 0;
    for (int iy = 0; iy < size; iy += 13)
        for (int ix = 0; ix < size; ix += 11) {
            ++compared;
            if (std::fabs(pixel(noise, size, ix, iy)[0] - noiseReference(ix, iy)) > 2e-2)
                ++different;
        }
    EXPECT_LT(different, compared / 100) << different << " of " << compared;
}

TEST_F(PipelineTest, AFrameRendersEveryPassWithoutErrorOrNonFiniteValues) {
    ASSERT_TRUE(started) << startError;
    RenderTarget output = createRenderTarget(gl, 64, 48, GL_FLOAT, 1);
    resources.outputFramebuffer = output.framebuffer;
    const std::int32_t passes = ostrelContent.bloomPasses;
    const std::uint8_t dof = ostrelContent.dofEnabled;
    TrackData tracks = {};
    tracks.value[dofFocusPoint] = 0.0f;  // with misses: the 0/0 case
    tracks.value[dofFocusScale] = 20.0f;
    tracks.value[viggnet] = 2.0f;
    tracks.value[camPosY] = 1.0f;
    for (std::int32_t n : {5, 2, 0}) {
        ostrelContent.bloomPasses = n;
        ostrelContent.dofEnabled = 1;
        renderFrame(gl, resources, ostrelContent, tracks, 1000);
        Image out = read(output.framebuffer, 64, 48);
        ASSERT_EQ(glGetError(), GL_NO_ERROR) << "bloom passes " << n;
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_TRUE(std::isfinite(out[i])) << "bloom passes " << n << ", value " << i;
        // The bars: no scene, no bloom, no depth of field; the tone curve
        // of black, darkened by the vignette.
        const float d = std::hypot(32.5f / 64.0f - 0.5f, 0.5f / 48.0f - 0.5f) / (64.0f / 48.0f);
        EXPECT_NEAR(pixel(out, 64, 32, 0)[0], toneCurve(0.0f) * (1.0f - d * d), 1e-4);
        EXPECT_EQ(pixel(out, 64, 32, 0)[3], 1.0f);
    }
    ostrelContent.bloomPasses = passes;
    ostrelContent.dofEnabled = dof;
    EXPECT_NEAR(resources.fd.T0, 1000.0f * 0.0010416667f, 1e-6f);
}

TEST_F(PipelineTest, AShaderThatDoesNotCompileStopsStartUpWithTheCompilerLog) {
    const char* saved = ostrelContent.shaderTexts[bloomBlurShaderText];
    ostrelContent.shaderTexts[bloomBlurShaderText] =
        "#version 430\nout vec4 color;\nvoid main() { color = undeclared; }\n";
    RenderResources broken;
    std::string error;
    bool ok = createRenderResources(gl, ostrelContent, 1.0f, broken, &error);
    ostrelContent.shaderTexts[bloomBlurShaderText] = saved;
    EXPECT_FALSE(ok);
    EXPECT_EQ(error.substr(0, error.find('\n')),
              "render: bloom program: fragment shader does not compile");
    EXPECT_NE(error.find("undeclared"), std::string::npos) << error;
}

}  // namespace
