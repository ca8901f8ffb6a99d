// The shading framework and the scene definitions, evaluated function by
// function in compute programs built from the scene text's own parts.
//
// Framework tests replace the scene with small test fields (a wall, a
// steep ramp, a constant) so that the marcher's limits and the guards
// against undefined values can be reached on purpose; scene tests use the
// real GetScene with a noise texture of one constant value.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/gpu_compute.h"
#include "tests/support/scene_reference.h"

namespace {

using gpu::Item;
using gpu::Result;

// The scene text up to the framework, without the pixel entry (a compute
// program has no colour outputs).
std::string framework() {
    return gpu::sceneHeader() +
           gpu::source("shaders/scene/noise.glsl") + gpu::source("shaders/scene/library.glsl") +
           gpu::source("shaders/scene/framework.glsl");
}

// Test fields, chosen per item by fieldKind:
//   0  a wall at x = fieldA, seen from x < fieldA
//   1  the same wall, with the distance bound capped at 0.6
//   2  a ramp fieldA * x + fieldB, steeper than a true distance when fieldA > 1
//   3  the constant fieldA: no gradient anywhere
//   4  a ball of radius fieldA at (1, fieldB, 0)
const char* const kTestFields = R"(
int fieldKind;
float fieldA;
float fieldB;

SD GetScene(vec3 p)
{
    MA m = MA(vec3(0.5), 0.5, 0.0, 0.0, 0.0);
    float d = fieldA;
    if (fieldKind == 0) d = fieldA - p.x;
    if (fieldKind == 1) d = min(fieldA - p.x, 0.6);
    if (fieldKind == 2) d = fieldA * p.x + fieldB;
    if (fieldKind == 4) d = length(p - vec3(1.0, fieldB, 0.0)) - fieldA;
    return SD(1, d, m);
}

MA testMaterial(int i)
{
    if (i == 0) return MA(vec3(0.6), 0.7, 0.4, 0.8, 0.5);
    if (i == 1) return MA(vec3(0.24, 0.0, 0.0), 0.0, 0.8, 0.0, 0.9);
    return MA(vec3(0.0), 0.2, 0.9, 0.0, 0.8);
}

void evaluate(vec4 a, vec4 b, out vec4 r, out vec4 s)
{
    r = vec4(0.0);
    s = vec4(0.0);
    int op = int(b.w);
    if (op == 1) {  // march from a.xyz along b.xyz; wall or capped wall at a.w
        fieldKind = (length(b.xyz) > 1.5) ? 1 : 0;
        fieldA = a.w;
        SD hit = RayMarch(a.xyz, normalize(b.xyz));
        r = vec4(float(hit.va), hit.di, hit.ma.ro, 0.0);
    } else if (op == 2) {  // soft shadow over the ramp a.x * x + a.y
        fieldKind = 2;
        fieldA = a.x;
        fieldB = a.y;
        r.x = opSoftShadow(vec3(0.0), vec3(1.0, 0.0, 0.0), a.z, a.w);
    } else if (op == 7) {  // soft shadow past a ball of radius a.x at height a.y
        fieldKind = 4;
        fieldA = a.x;
        fieldB = a.y;
        r.x = opSoftShadow(vec3(0.0), vec3(1.0, 0.0, 0.0), a.z, a.w);
    } else if (op == 3) {  // normal in the constant field
        fieldKind = 3;
        fieldA = a.w;
        r.xyz = opNormal(a.xyz);
    } else if (op == 4) {  // distribution term
        r.x = NormalDistributionFunctionGGXTR(normalize(a.xyz), normalize(b.xyz), a.w);
    } else if (op == 5) {  // colour of material a.w, normal a.xyz, eye b.xyz
        vec3 l = normalize(vec3(0.2, 0.1, -0.2));
        r.xyz = GetPBRColor(normalize(a.xyz), normalize(b.xyz), l, vec3(0.6, 1.0, 1.0), b.x > 0.0 ? 1.0 : 0.25,
                            testMaterial(int(a.w)));
    } else if (op == 6) {  // rotation map and union tie rule
        r.xy = a.xy * opRotate(a.z);
        SD first = SD(1, a.w, MA(vec3(0.0), 0.1, 0.0, 0.0, 0.0));
        SD second = SD(1, b.x, MA(vec3(0.0), 0.2, 0.0, 0.0, 0.0));
        r.z = opUnion(first, second).ma.ro;
    }
}
)";

// The real scene: time is set from T0 as the pixel entry sets it.
const char* const kSceneProbe = R"(
void evaluate(vec4 a, vec4 b, out vec4 r, out vec4 s)
{
    time = mod(T0 * 0.2, 1000.0);
    vec3 p = a.xyz;
    vec3 p1 = p - vec3(0.0, 1.0, 0.0);
    p1.yz *= opRotate(sin(0.1 * time) + 0.1 * time);
    SD scene = GetScene(p);
    r = vec4(scene.di, GetShape(abs(p1)).di, GetShape3(abs(p1)).di, scene.ma.ro);
    s = vec4(GetShape2(p).di, smin(a.w, b.x, b.y), scene.ma.re, float(scene.va));
}
)";

GlFunctions gl{};
std::string contextError;

bool haveContext() {
    static bool tried = false, ok = false;
    if (!tried) {
        tried = true;
        ok = gpu::context(gl, &contextError);
    }
    return ok;
}

GLuint testFieldProgram(std::string* log) {
    static GLuint program = 0;
    static std::string error;
    if (!program && error.empty()) program = gpu::buildEvaluator(gl, framework() + kTestFields, &error);
    *log = error;
    return program;
}

GLuint sceneProgram(std::string* log) {
    static GLuint program = 0;
    static std::string error;
    if (!program && error.empty())
        program = gpu::buildEvaluator(
            gl, framework() + gpu::source("shaders/scene/scenes.glsl") + kSceneProbe, &error);
    *log = error;
    return program;
}

#define REQUIRE_PROGRAM(name, builder)                         \
    ASSERT_TRUE(haveContext()) << contextError;                \
    std::string buildLog;                                      \
    GLuint name = builder(&buildLog);                          \
    ASSERT_NE(name, 0u) << buildLog

// The soft shadow as the framework computes it, over a field along +x.
float softShadow(const std::function<float(float)>& field, float mint, float tmax) {
    float res = 1.0f, t = mint, ph = 1e10f;
    for (int i = 0; i < 32; ++i) {
        float h = field(t);
        float y = h * h / (2.0f * ph);
        float dd = h * h - y * y, ahead = t - y;
        if (dd >= 0.0f && ahead > 0.0f) res = std::min(res, 10.0f * std::sqrt(dd) / ahead);
        ph = h;
        t += h;
        if (res < 0.0001f || t > tmax) break;
    }
    return std::min(std::max(res, 0.0f), 1.0f);
}

TEST(SceneFramework, MarcherHitsMissesAndLimits) {
    REQUIRE_PROGRAM(program, testFieldProgram);
    // a = origin and wall position, b = direction (length > 1.5: capped field).
    std::vector<Item> items = {
        {{0, 0, 0, 5.0f}, {1, 0, 0, 1}},      // wall ahead at 5
        {{0, 0, 0, 5.0f}, {-1, 0, 0, 1}},     // wall behind: the ray runs away
        {{0, 0, 0, 150.0f}, {1, 0, 0, 1}},    // beyond MAX_DIST, within the far limit
        {{0, 0, 0, 199.0f}, {1, 0, 0, 1}},    // just inside the far limit
        {{0, 0, 0, 201.0f}, {1, 0, 0, 1}},    // beyond it
        {{0, 0, 0, 50.0f}, {2, 0, 0, 1}},     // steps of at most 0.3: reached in 200
        {{0, 0, 0, 70.0f}, {2, 0, 0, 1}},     // not reached in 200 steps
        {{0, 0, 0, 0.0005f}, {1, 0, 0, 1}},   // the start is already a hit
    };
    std::vector<Result> got = gpu::evaluate(gl, program, items);
    EXPECT_EQ(got[0].r.x, 1.0f);
    EXPECT_NEAR(got[0].r.y, 5.0f, 0.002f);
    EXPECT_EQ(got[0].r.z, 0.5f);  // the material of the hit sample
    for (int miss : {1, 4, 6}) {
        EXPECT_EQ(got[miss].r.x, 0.0f) << "case " << miss;
        EXPECT_EQ(got[miss].r.y, 100.0f) << "case " << miss;  // the invalid sample
        EXPECT_EQ(got[miss].r.z, 0.0f) << "case " << miss;
    }
    EXPECT_EQ(got[2].r.x, 1.0f);
    EXPECT_NEAR(got[2].r.y, 150.0f, 0.002f);
    EXPECT_EQ(got[3].r.x, 1.0f);
    EXPECT_NEAR(got[3].r.y, 199.0f, 0.002f);
    EXPECT_EQ(got[5].r.x, 1.0f);
    EXPECT_NEAR(got[5].r.y, 50.0f, 0.002f);
    EXPECT_EQ(got[7].r.x, 1.0f);
    EXPECT_EQ(got[7].r.y, 0.0f);
}

TEST(SceneFramework, SoftShadowSkipsSamplesItCannotJudge) {
    REQUIRE_PROGRAM(program, testFieldProgram);
    // Ramps a * x + b from the origin toward +x, from 0.01 to 3. A slope
    // above 2 makes h^2 < y^2 from the second sample on (the square root of
    // a negative number); a slope of 1 puts t - y at 0.
    struct Case {
        float slope, offset;
    };
    const Case cases[] = {{3.0f, 0.01f}, {6.0f, 0.0f}, {1.0f, 0.0f}, {0.5f, 0.02f},
                          {0.9f, 0.001f}, {1.5f, 0.003f}};
    std::vector<Item> items;
    for (const Case& c : cases) items.push_back({{c.slope, c.offset, 0.01f, 3.0f}, {0, 0, 0, 2}});
    std::vector<Result> got = gpu::evaluate(gl, program, items);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Case& c = cases[i];
        float expected = softShadow([&](float x) { return c.slope * x + c.offset; }, 0.01f, 3.0f);
        ASSERT_TRUE(std::isfinite(got[i].r.x)) << "slope " << c.slope;
        EXPECT_GE(got[i].r.x, 0.0f);
        EXPECT_LE(got[i].r.x, 1.0f);
        if (c.slope != 1.0f) {  // at t - y = 0 exactly, rounding decides
            EXPECT_NEAR(got[i].r.x, expected, 1e-4f) << "slope " << c.slope;
        }
    }
    // The steep ramps tell nothing after the first sample: fully lit.
    EXPECT_EQ(got[0].r.x, 1.0f);
    EXPECT_EQ(got[1].r.x, 1.0f);

    // A ball just below the ray casts a penumbra that deepens as the ray
    // passes nearer; a ball the ray runs through blocks the light.
    std::vector<Item> balls;
    for (float gap : {0.3f, 0.1f, 0.03f, 0.01f, -0.05f})
        balls.push_back({{0.25f, 0.25f + gap, 0.01f, 3.0f}, {0, 0, 0, 7}});
    got = gpu::evaluate(gl, program, balls);
    for (std::size_t i = 0; i < balls.size(); ++i) {
        const float radius = balls[i].a.x, height = balls[i].a.y;
        float expected = softShadow(
            [&](float x) { return std::sqrt((x - 1) * (x - 1) + height * height) - radius; },
            0.01f, 3.0f);
        EXPECT_NEAR(got[i].r.x, expected, 1e-4f) << "ball " << i;
        if (i > 0) {
            EXPECT_LT(got[i].r.x, got[i - 1].r.x) << "ball " << i;
        }
    }
    EXPECT_LT(got[2].r.x, 0.9f);
    EXPECT_LT(got[4].r.x, 1e-4f);
}

TEST(SceneFramework, NoUndefinedValuesFromDegenerateGeometry) {
    REQUIRE_PROGRAM(program, testFieldProgram);
    std::vector<Item> items = {
        {{0.3f, -2.0f, 1.0f, 0.7f}, {0, 0, 0, 3}},  // normal of a constant field
        {{0, 1, 0, 0.0f}, {0, 1, 0, 4}},            // mirror (alpha 0) at its own direction
        {{0, 1, 0, 0.0f}, {0.3f, 1, 0, 4}},         // ... and beside it
        {{0, 1, 0, 0.5f}, {0, 1, 0, 4}},            // rough: alpha^2 / (3.14 alpha^4)
    };
    std::vector<Result> got = gpu::evaluate(gl, program, items);
    EXPECT_EQ(got[0].r.x, 0.0f);
    EXPECT_EQ(got[0].r.y, 1.0f);
    EXPECT_EQ(got[0].r.z, 0.0f);
    EXPECT_EQ(got[1].r.x, 0.0f);
    EXPECT_EQ(got[2].r.x, 0.0f);
    EXPECT_NEAR(got[3].r.x, 1.0f / (3.14f * 0.25f), 1e-4f);
}

// The colour model, as written out: ambient 0.08 albedo, GGX distribution
// with 3.14, Schlick's Fresnel, Smith's shadowing, diffuse / 3.14.
ref::V3 pbrColor(ref::V3 n, ref::V3 v, ref::V3 l, ref::V3 L, float s, ref::V3 al, float ro,
                 float me) {
    using ref::dot;
    ref::V3 h = ref::normalize(v + l);
    float alpha = ro * ro, a2 = alpha * alpha;
    float NdotL = std::max(0.0f, dot(n, l)), NdotV = std::max(0.0f, dot(n, v));
    float c = std::max(0.0f, dot(n, h));
    float q = c * c * (a2 - 1.0f) + 1.0f;
    float D = 3.14f * q * q > 0.0f ? a2 / (3.14f * q * q) : 0.0f;
    float k = (alpha + 1.0f) * (alpha + 1.0f) / 8.0f;
    auto g1 = [&](float x) { return x / (x * (1.0f - k) + k); };
    float G = g1(NdotL) * g1(NdotV);
    float fresnel = std::pow(1.0f - std::max(0.0f, dot(v, h)), 5.0f);
    float alb[3] = {al.x, al.y, al.z}, Ls[3] = {L.x, L.y, L.z}, out[3];
    for (int i = 0; i < 3; ++i) {
        float F0 = 0.04f * (1.0f - me) + alb[i] * me;
        float F = F0 + (1.0f - F0) * fresnel;
        float Kd = (1.0f - F) * (1.0f - me);
        float specular = D * F * G / std::max(4.0f * NdotL * NdotV, 0.01f);
        out[i] = 0.08f * alb[i] + (Kd * alb[i] / 3.14f + specular) * Ls[i] * (NdotL * s);
    }
    return {out[0], out[1], out[2]};
}

TEST(SceneFramework, ColourModelRotationAndUnion) {
    REQUIRE_PROGRAM(program, testFieldProgram);
    struct Material {
        ref::V3 al;
        float ro, me;
    };
    const Material materials[3] = {{{0.6f, 0.6f, 0.6f}, 0.7f, 0.4f},
                                   {{0.24f, 0.0f, 0.0f}, 0.0f, 0.8f},
                                   {{0.0f, 0.0f, 0.0f}, 0.2f, 0.9f}};
    std::vector<Item> items;
    for (int m = 0; m < 3; ++m)
        for (int i = 0; i < 40; ++i) {
            float t = float(i) * 0.37f;
            items.push_back({{std::sin(t), 1.0f, std::cos(t * 1.3f), float(m)},
                             {std::cos(t * 0.7f) * (i % 2 ? 1.0f : -1.0f), 0.8f, -0.5f, 5}});
        }
    std::vector<Result> got = gpu::evaluate(gl, program, items);
    const ref::V3 l = ref::normalize(ref::V3{0.2f, 0.1f, -0.2f}), L{0.6f, 1.0f, 1.0f};
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Material& m = materials[int(items[i].a.w)];
        ref::V3 n = ref::normalize(ref::V3{items[i].a.x, items[i].a.y, items[i].a.z});
        ref::V3 v = ref::normalize(ref::V3{items[i].b.x, items[i].b.y, items[i].b.z});
        ref::V3 e = pbrColor(n, v, l, L, items[i].b.x > 0 ? 1.0f : 0.25f, m.al, m.ro, m.me);
        EXPECT_NEAR(got[i].r.x, e.x, 1e-4f + 1e-4f * std::fabs(e.x)) << "item " << i;
        EXPECT_NEAR(got[i].r.y, e.y, 1e-4f + 1e-4f * std::fabs(e.y)) << "item " << i;
        EXPECT_NEAR(got[i].r.z, e.z, 1e-4f + 1e-4f * std::fabs(e.z)) << "item " << i;
    }

    // (a, b) * opRotate(r) = (a cos r + b sin r, -a sin r + b cos r); a
    // union of equal distances takes the second sample.
    std::vector<Result> rot = gpu::evaluate(gl, program, {{{1.0f, 2.0f, 0.5f, 1.0f}, {1.0f, 0, 0, 6}},
                                                          {{1.0f, 2.0f, -1.0f, 0.5f}, {2.0f, 0, 0, 6}}});
    EXPECT_NEAR(rot[0].r.x, std::cos(0.5f) + 2.0f * std::sin(0.5f), 1e-6f);
    EXPECT_NEAR(rot[0].r.y, -std::sin(0.5f) + 2.0f * std::cos(0.5f), 1e-6f);
    EXPECT_EQ(rot[0].r.z, 0.2f);  // tie: the second
    EXPECT_EQ(rot[1].r.z, 0.1f);  // the first is nearer
}

// Scene tests: T0 = 10 (time 2), noise 0.25 everywhere.
struct SceneSetup {
    float scene = 0, blobPos = 0, blobEffect = 0, T0 = 10.0f;
};

std::vector<Result> probeScene(GLuint program, const SceneSetup& s, const std::vector<Item>& items) {
    FD fd{};
    fd.T0 = s.T0;
    fd.F0 = 1.0f;
    TrackData tracks{};
    tracks.value[scene] = s.scene;
    tracks.value[blobPos] = s.blobPos;
    tracks.value[blobEffect] = s.blobEffect;
    gpu::setSceneInputs(gl, fd, tracks, 0.25f);
    return gpu::evaluate(gl, program, items);
}

TEST(SceneDefinitions, SceneValueChoosesTheForeground) {
    REQUIRE_PROGRAM(program, sceneProgram);
    // Points around the cluster, well above the water and the ground.
    std::vector<Item> items;
    for (int i = 0; i < 200; ++i) {
        float t = float(i) * 0.618f;
        items.push_back({{1.8f * std::sin(t * 2.1f), 1.0f + 0.9f * std::cos(t * 1.7f),
                          1.8f * std::sin(t * 0.9f + 1.0f), 0},
                         {}});
    }
    struct Expect {
        float scene;
        int shape;  // 1: cluster, 2: effect cluster, 0: no foreground
    };
    const Expect table[] = {{-3.0f, 1}, {0.0f, 1}, {1.99f, 1}, {2.0f, 2},
                            {2.5f, 0},  {3.0f, 2}, {3.5f, 2}};
    for (const Expect& e : table) {
        std::vector<Result> got = probeScene(program, {e.scene, -2.0f, 0.0f}, items);
        int differsFromOther = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Result& r = got[i];
            float cluster = r.r.y, effect = r.r.z;
            float foreground = e.shape == 1 ? cluster : effect;
            // Near the foreground the scene's distance is the foreground's;
            // with no foreground it is the ground's or water's (over 1 away).
            if (e.shape == 0) {
                ASSERT_GT(r.r.x, 0.9f) << "scene " << e.scene << " point " << i;
            } else if (foreground < 0.5f) {
                ASSERT_EQ(r.r.x, foreground) << "scene " << e.scene << " point " << i;
            }
            if (std::fabs(cluster - effect) > 1e-3f) ++differsFromOther;
        }
        // The two clusters differ at this time, so the check above can tell them apart.
        EXPECT_GT(differsFromOther, 50) << "scene " << e.scene;
    }
}

TEST(SceneDefinitions, BlobMeltsIntoTheWater) {
    REQUIRE_PROGRAM(program, sceneProgram);
    // blobPos -2 and blobEffect 0: a sphere of radius 1 whose top is the
    // water level y = -1, whatever the clock turns.
    std::vector<Item> items = {{{0, -1.0f, 0, 0.3f}, {0.5f, 1.0f, 0, 0}},
                               {{0, -0.9f, 0, -0.2f}, {-0.2f, 1.0f, 0, 0}},
                               {{0.6f, -2.0f, 0.8f, 2.0f}, {-1.0f, 1.0f, 0, 0}}};
    for (float T0 : {0.0f, 37.5f}) {
        std::vector<Result> got = probeScene(program, {2.5f, -2.0f, 0.0f, T0}, items);
        EXPECT_NEAR(got[0].s.x, 0.0f, 1e-6f) << "T0 " << T0;  // the top touches the water
        EXPECT_NEAR(got[1].s.x, 0.1f, 1e-6f);
        EXPECT_NEAR(got[2].s.x, 0.0f, 1e-6f);  // |(0.6, 0, 0.8)| = 1
    }
    // smin of the table's pairs (a.w, b.x) with k = b.y.
    std::vector<Result> got = probeScene(program, {2.5f, -2.0f, 0.0f, 0.0f}, items);
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_NEAR(got[i].s.y, ref::smin(items[i].a.w, items[i].b.x, items[i].b.y), 1e-6f);
    EXPECT_NEAR(got[1].s.y, -0.2f - 0.25f, 1e-6f);  // equal: 0.25 below both

    // Just above the top the blob is nearer than the water: the merged
    // surface wears the blob's material (roughness 0.3, mirror 1.0) and its
    // distance is the smooth minimum of the two, below both.
    const float y = -0.9f, time = 0.0f;
    float ripple = 0.01f * std::sin(4.1f * 1.4f * std::sqrt(1.4f * 1.4f + y * y) - 3.0f * time);
    float water = y + 1.0f - ripple, blob = 0.1f;
    ASSERT_LT(blob, water);
    EXPECT_NEAR(got[1].r.x, ref::smin(blob, water, 1.0f), 1e-5f);
    EXPECT_EQ(got[1].r.w, 0.3f);
    EXPECT_EQ(got[1].s.z, 1.0f);

    // With blobEffect 1 the noise pushes the surface and the colour turns.
    got = probeScene(program, {2.5f, -2.0f, 1.0f, 0.0f}, items);
    EXPECT_GT(std::fabs(got[0].s.x), 1e-3f);
    EXPECT_NEAR(got[1].s.z, 0.1f, 1e-6f);
}

TEST(SceneDefinitions, GroundAndWaterWhereNothingElseIs) {
    REQUIRE_PROGRAM(program, sceneProgram);
    // Far from the foreground: the water (mirror 0.9) over the ground, and
    // the ground (mirror 0) where it breaks through. The polyhedra there are
    // beyond the float range (+infinity), which the unions pass over.
    std::vector<Item> items;
    for (int i = 0; i < 64; ++i) {
        float x = -30.0f + float(i) * 0.93f;
        items.push_back({{x, -0.95f, 17.0f, 0}, {}});
    }
    std::vector<Result> got = probeScene(program, {0.0f, 0, 0, 10.0f}, items);
    int water = 0, ground = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        ASSERT_TRUE(std::isfinite(got[i].r.x)) << i;
        EXPECT_EQ(got[i].r.y, INFINITY) << i;  // the cluster's own distance
        EXPECT_EQ(got[i].s.w, 1.0f);
        const float r = std::sqrt(items[i].a.x * items[i].a.x + 17.0f * 17.0f);
        const float N = 0.25f * 1.13f;
        const float groundDistance =
            -0.95f + 1.4f - N + 0.32f * std::sin(1.0f + 0.4f * r + std::sin(5.0f * r));
        if (got[i].s.z == 0.9f) {
            ++water;
            EXPECT_LE(std::fabs(got[i].r.x - 0.05f), 0.0101f) << i;  // 0.05 above, ripples 0.01
        } else {
            ++ground;
            EXPECT_EQ(got[i].s.z, 0.0f);
            EXPECT_NEAR(got[i].r.x, groundDistance, 1e-4f) << i;
            EXPECT_NEAR(got[i].r.w, 0.6f - 0.1f * N, 1e-6f);  // roughness from the noise
        }
    }
    EXPECT_GT(water, 0);
    EXPECT_GT(ground, 0);
}

}  // namespace
