// The scene's noise and distance-field library, run on the GPU and compared
// with the C++ formulas of tests/support/scene_reference.h.
//
// One compute program holds the library text as the show joins it (noise,
// then the library) and a dispatcher: item (a, b) calls the function chosen
// by b.w with arguments taken from a and b.xyz.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/support/gpu_compute.h"
#include "tests/support/scene_reference.h"

namespace {

using gpu::Item;
using gpu::Result;
using gpu::Vec4;
using ref::V2;
using ref::V3;

enum Function {
    kSphere, kPlane, kBoxCheap, kBox, kBox2Cheap, kBox2, kCorner, kBlob, kCylinder, kCapsule,
    kLineSegment, kCapsuleSegment, kTorus, kCircle, kDisc, kHexCircum, kHexIn, kCone,
    kPolyExponent, kPolyFlat, kGdfVector, kRotate, kRotate45, kMod1, kModMirror1, kModSingle1,
    kModInterval1, kModPolar, kMod2, kModMirror2, kModGrid2, kMod3, kMirror, kMirrorOctant,
    kReflect, kSgn, kChamfer, kRound, kColumns, kStairs, kOthers, kHelpers, kConstants, kHash,
    kNoised, kFbmd,
};

const char* const kDispatcher = R"(
const vec3 kPlaneNormal = normalize(vec3(1.0, 2.0, -1.0));
const vec3 kSegmentStart = vec3(0.3, -0.2, 0.1);

void evaluate(vec4 a, vec4 b, out vec4 r, out vec4 s)
{
    r = vec4(0.0);
    s = vec4(0.0);
    vec3 p = a.xyz;
    vec2 q = a.xy;
    float x = a.x;
    switch (int(b.w)) {
    case 0: r.x = fSphere(p, b.x); break;
    case 1: r.x = fPlane(p, kPlaneNormal, a.w); break;
    case 2: r.x = fBoxCheap(p, b.xyz); break;
    case 3: r.x = fBox(p, b.xyz); break;
    case 4: r.x = fBox2Cheap(q, b.xy); break;
    case 5: r.x = fBox2(q, b.xy); break;
    case 6: r.x = fCorner(q); break;
    case 7: r.x = fBlob(p); break;
    case 8: r.x = fCylinder(p, b.x, b.y); break;
    case 9: r.x = fCapsule(p, b.x, b.y); break;
    case 10: r.x = fLineSegment(p, kSegmentStart, b.xyz); break;
    case 11: r.x = fCapsule(p, kSegmentStart, b.xyz, a.w); break;
    case 12: r.x = fTorus(p, b.x, b.y); break;
    case 13: r.x = fCircle(p, b.x); break;
    case 14: r.x = fDisc(p, b.x); break;
    case 15: r.x = fHexagonCircumcircle(p, b.xy); break;
    case 16: r.x = fHexagonIncircle(p, b.xy); break;
    case 17: r.x = fCone(p, b.x, b.y); break;
    case 18:
        r = vec4(fOctahedron(p, b.x, b.y), fDodecahedron(p, b.x, b.y), fIcosahedron(p, b.x, b.y),
                 fTruncatedOctahedron(p, b.x, b.y));
        s.x = fTruncatedIcosahedron(p, b.x, b.y);
        break;
    case 19:
        r = vec4(fOctahedron(p, b.x), fDodecahedron(p, b.x), fIcosahedron(p, b.x),
                 fTruncatedOctahedron(p, b.x));
        s.x = fTruncatedIcosahedron(p, b.x);
        break;
    case 20: r.xyz = GDFVectors[int(a.x)]; break;
    case 21: pR(q, b.x); r.xy = q; break;
    case 22: pR45(q); r.xy = q; break;
    case 23: r.y = pMod1(x, b.x); r.x = x; break;
    case 24: r.y = pModMirror1(x, b.x); r.x = x; break;
    case 25: r.y = pModSingle1(x, b.x); r.x = x; break;
    case 26: r.y = pModInterval1(x, b.x, b.y, b.z); r.x = x; break;
    case 27: r.z = pModPolar(q, b.x); r.xy = q; break;
    case 28: r.zw = pMod2(q, b.xy); r.xy = q; break;
    case 29: r.zw = pModMirror2(q, b.xy); r.xy = q; break;
    case 30: r.zw = pModGrid2(q, b.xy); r.xy = q; break;
    case 31: s.xyz = pMod3(p, b.xyz); r.xyz = p; break;
    case 32: r.y = pMirror(x, b.x); r.x = x; break;
    case 33: r.zw = pMirrorOctant(q, b.xy); r.xy = q; break;
    case 34: r.w = pReflect(p, kPlaneNormal, b.x); r.xyz = p; break;
    case 35: r.x = sgn(a.x); r.yz = sgn(a.yz); break;
    case 36:
        r.xyz = vec3(fOpUnionChamfer(a.x, a.y, a.z), fOpIntersectionChamfer(a.x, a.y, a.z),
                     fOpDifferenceChamfer(a.x, a.y, a.z));
        break;
    case 37:
        r.xyz = vec3(fOpUnionRound(a.x, a.y, a.z), fOpIntersectionRound(a.x, a.y, a.z),
                     fOpDifferenceRound(a.x, a.y, a.z));
        break;
    case 38:
        r.xyz = vec3(fOpUnionColumns(a.x, a.y, a.z, a.w), fOpDifferenceColumns(a.x, a.y, a.z, a.w),
                     fOpIntersectionColumns(a.x, a.y, a.z, a.w));
        break;
    case 39:
        r.xyz = vec3(fOpUnionStairs(a.x, a.y, a.z, a.w), fOpIntersectionStairs(a.x, a.y, a.z, a.w),
                     fOpDifferenceStairs(a.x, a.y, a.z, a.w));
        break;
    case 40:
        r = vec4(fOpUnionSoft(a.x, a.y, a.z), fOpPipe(a.x, a.y, a.z), fOpEngrave(a.x, a.y, a.z),
                 fOpGroove(a.x, a.y, a.z, a.w));
        s.x = fOpTongue(a.x, a.y, a.z, a.w);
        break;
    case 41:
        r = vec4(square(a.x), lengthSqr(a.xyz), vmax(a), vmin(a));
        s = vec4(vmax(a.xyz), vmin(a.xyz), vmax(a.xy), vmin(a.xy));
        break;
    case 42:
        r = vec4(PI, TAU, PHI, saturate(a.x));
        s = vec4(square(a.xy), square(a.xyz).z, 0.0);
        break;
    case 43: r.x = hash(a.x); break;
    case 44: r = noised(p); break;
    case 45: r = fbmd(p); break;
    }
}
)";

class SceneLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        if (!gpu::context(gl, &error)) {
            failure = error;
            return;
        }
        std::string text = gpu::source("shaders/scene/noise.glsl") +
                           gpu::source("shaders/scene/library.glsl") + kDispatcher;
        program = gpu::buildEvaluator(gl, text, &error);
        if (!program) failure = "the library does not build: " + error;
    }

    void SetUp() override {
        if (!failure.empty()) FAIL() << failure;
    }

    // Runs function f over the argument pairs.
    static std::vector<Result> run(Function f, std::vector<Item> items) {
        for (Item& item : items) item.b.w = float(f);
        return gpu::evaluate(gl, program, items);
    }

    static GlFunctions gl;
    static GLuint program;
    static std::string failure;
};

GlFunctions SceneLibrary::gl{};
GLuint SceneLibrary::program = 0;
std::string SceneLibrary::failure;

std::mt19937 randomSource(unsigned seed) { return std::mt19937(seed); }

float uniform(std::mt19937& g, float lo, float hi) {
    return std::uniform_real_distribution<float>(lo, hi)(g);
}

V3 v3(const Vec4& v) { return {v.x, v.y, v.z}; }
V2 v2(const Vec4& v) { return {v.x, v.y}; }

// |gpu - expected| within abs + rel x |expected|; both infinite of one sign
// also agree.
::testing::AssertionResult close(float gpuValue, float expected, float abs, float rel,
                                 const std::string& what) {
    if (std::isinf(expected) || std::isinf(gpuValue)) {
        if (gpuValue == expected) return ::testing::AssertionSuccess();
    } else if (std::fabs(gpuValue - expected) <= abs + rel * std::fabs(expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << what << ": GPU " << gpuValue << ", expected " << expected;
}

std::string at(const Item& item) {
    return "a = (" + std::to_string(item.a.x) + ", " + std::to_string(item.a.y) + ", " +
           std::to_string(item.a.z) + ", " + std::to_string(item.a.w) + "), b = (" +
           std::to_string(item.b.x) + ", " + std::to_string(item.b.y) + ", " +
           std::to_string(item.b.z) + ")";
}

// Random points in a cube, with b's first three components in [lo, hi].
std::vector<Item> randomItems(unsigned seed, int count, float extent, float lo, float hi) {
    auto g = randomSource(seed);
    std::vector<Item> items(static_cast<std::size_t>(count));
    for (Item& it : items) {
        it.a = {uniform(g, -extent, extent), uniform(g, -extent, extent),
                uniform(g, -extent, extent), uniform(g, -extent, extent)};
        it.b = {uniform(g, lo, hi), uniform(g, lo, hi), uniform(g, lo, hi), 0.0f};
    }
    return items;
}

TEST_F(SceneLibrary, PrimitivesMatchTheirFormulas) {
    const V3 segmentStart{0.3f, -0.2f, 0.1f};
    const V3 planeNormal = ref::normalize(V3{1.0f, 2.0f, -1.0f});
    struct Case {
        Function f;
        std::function<float(const Item&)> expected;
    };
    const std::vector<Case> cases = {
        {kSphere, [](const Item& i) { return ref::fSphere(v3(i.a), i.b.x); }},
        {kPlane, [&](const Item& i) { return ref::fPlane(v3(i.a), planeNormal, i.a.w); }},
        {kBoxCheap, [](const Item& i) { return ref::fBoxCheap(v3(i.a), v3(i.b)); }},
        {kBox, [](const Item& i) { return ref::fBox(v3(i.a), v3(i.b)); }},
        {kBox2Cheap, [](const Item& i) { return ref::fBox2Cheap(v2(i.a), v2(i.b)); }},
        {kBox2, [](const Item& i) { return ref::fBox2(v2(i.a), v2(i.b)); }},
        {kCorner, [](const Item& i) { return ref::fCorner(v2(i.a)); }},
        {kBlob, [](const Item& i) { return ref::fBlob(v3(i.a)); }},
        {kCylinder, [](const Item& i) { return ref::fCylinder(v3(i.a), i.b.x, i.b.y); }},
        {kCapsule, [](const Item& i) { return ref::fCapsule(v3(i.a), i.b.x, i.b.y); }},
        {kLineSegment,
         [&](const Item& i) { return ref::fLineSegment(v3(i.a), segmentStart, v3(i.b)); }},
        {kCapsuleSegment,
         [&](const Item& i) { return ref::fCapsule(v3(i.a), segmentStart, v3(i.b), i.a.w); }},
        {kTorus, [](const Item& i) { return ref::fTorus(v3(i.a), i.b.x, i.b.y); }},
        {kCircle, [](const Item& i) { return ref::fCircle(v3(i.a), i.b.x); }},
        {kDisc, [](const Item& i) { return ref::fDisc(v3(i.a), i.b.x); }},
        {kHexCircum, [](const Item& i) { return ref::fHexagonCircumcircle(v3(i.a), v2(i.b)); }},
        {kHexIn, [](const Item& i) { return ref::fHexagonIncircle(v3(i.a), v2(i.b)); }},
        {kCone, [](const Item& i) { return ref::fCone(v3(i.a), i.b.x, i.b.y); }},
    };
    for (const Case& c : cases) {
        std::vector<Item> items = randomItems(100 + unsigned(c.f), 400, 3.0f, 0.2f, 2.0f);
        std::vector<Result> got = run(c.f, items);
        for (std::size_t i = 0; i < items.size(); ++i)
            ASSERT_TRUE(close(got[i].r.x, c.expected(items[i]), 2e-5f, 2e-5f,
                              "function " + std::to_string(c.f) + " at " + at(items[i])));
    }
}

TEST_F(SceneLibrary, PolyhedraInBothFormsWithOverflowToInfinity) {
    // The plane normals: 19 unit vectors as tabled.
    std::vector<Item> indices(19);
    for (int i = 0; i < 19; ++i) indices[std::size_t(i)].a.x = float(i);
    std::vector<Result> normals = run(kGdfVector, indices);
    for (int i = 0; i < 19; ++i) {
        V3 e = ref::gdfVector(i);
        const Vec4& g = normals[std::size_t(i)].r;
        EXPECT_TRUE(close(g.x, e.x, 1e-6f, 0, "GDFVectors[" + std::to_string(i) + "].x"));
        EXPECT_TRUE(close(g.y, e.y, 1e-6f, 0, "GDFVectors[" + std::to_string(i) + "].y"));
        EXPECT_TRUE(close(g.z, e.z, 1e-6f, 0, "GDFVectors[" + std::to_string(i) + "].z"));
    }

    // Random points near the bodies; radius in b.x, exponent in b.y.
    auto g = randomSource(7);
    std::vector<Item> items;
    const float exponents[] = {8.0f, 40.0f, 90.0f};
    for (float e : exponents)
        for (int i = 0; i < 300; ++i)
            items.push_back({{uniform(g, -1.5f, 1.5f), uniform(g, -1.5f, 1.5f),
                              uniform(g, -1.5f, 1.5f), 0.0f},
                             {uniform(g, 0.2f, 1.0f), e, 0.0f, 0.0f}});
    // Beyond the float range: projections of 9.1 / 9.3 along a cube diagonal
    // (exponent 40) and 2.6 / 2.8 along a dodecahedron normal (exponent 90).
    const V3 diagonal = ref::gdfVector(3), face = ref::gdfVector(13);
    for (float t : {9.1f, 9.3f})
        items.push_back({{diagonal.x * t, diagonal.y * t, diagonal.z * t, 0}, {0.5f, 40.0f, 0, 0}});
    for (float t : {2.6f, 2.8f})
        items.push_back({{face.x * t, face.y * t, face.z * t, 0}, {0.5f, 90.0f, 0, 0}});

    std::vector<Result> exponent = run(kPolyExponent, items);
    std::vector<Result> flat = run(kPolyFlat, items);
    for (std::size_t i = 0; i < items.size(); ++i) {
        V3 p = v3(items[i].a);
        float r = items[i].b.x, e = items[i].b.y;
        const float gotExp[5] = {exponent[i].r.x, exponent[i].r.y, exponent[i].r.z,
                                 exponent[i].r.w, exponent[i].s.x};
        const float gotFlat[5] = {flat[i].r.x, flat[i].r.y, flat[i].r.z, flat[i].r.w,
                                  flat[i].s.x};
        const int range[5][2] = {{3, 6}, {13, 18}, {3, 12}, {0, 6}, {3, 18}};
        for (int body = 0; body < 5; ++body) {
            auto b = ref::Polyhedron(body);
            // Where the sum of powers sits at the edge of the normal floats,
            // flushing may or may not happen; such points tell nothing.
            float sum = ref::gdfSum(p, e, range[body][0], range[body][1]);
            if (sum > FLT_MIN / 16 && sum < FLT_MIN * 16) continue;
            ASSERT_TRUE(close(gotExp[body], ref::polyhedron(b, p, r, e), 1e-5f, 2e-5f,
                              "exponent body " + std::to_string(body) + " at " + at(items[i])));
            ASSERT_TRUE(close(gotFlat[body], ref::polyhedron(b, p, r), 1e-6f, 1e-6f,
                              "flat body " + std::to_string(body) + " at " + at(items[i])));
        }
    }
    // The overflow cases, spelled out: finite just below, +infinity above.
    const std::size_t n = items.size();
    EXPECT_TRUE(std::isfinite(exponent[n - 4].r.x));  // octahedron, 9.1
    EXPECT_EQ(exponent[n - 3].r.x, std::numeric_limits<float>::infinity());  // 9.3
    EXPECT_TRUE(std::isfinite(exponent[n - 2].r.y));  // dodecahedron, 2.6
    EXPECT_EQ(exponent[n - 1].r.y, std::numeric_limits<float>::infinity());  // 2.8
    EXPECT_NEAR(flat[n - 3].r.x, 9.3f - 0.5f, 1e-5f);
}

// Angles (from +first toward +second) no closer than 1e-3 rad to a seam of
// n sectors, so a rounding difference cannot change the cell.
bool awayFromSeams(float angle, float n) {
    const double sector = 2.0 * M_PI / n;
    double a = angle + sector / 2.0;
    double cells = a / sector;
    double nearest = std::round(cells);
    return std::fabs(cells - nearest) * sector > 1e-3 && std::fabs(std::fabs(angle) - M_PI) > 1e-3;
}

TEST_F(SceneLibrary, PolarRepetitionWithWholeAndBrokenCounts) {
    // Five sectors at angle 0: cell 0, the point unchanged.
    std::vector<Result> origin = run(kModPolar, {{{2.0f, 0.0f, 0, 0}, {5.0f, 0, 0, 0}},
                                                 {{0.0f, 0.0f, 0, 0}, {5.0f, 0, 0, 0}}});
    EXPECT_EQ(origin[0].r.z, 0.0f);
    EXPECT_FLOAT_EQ(origin[0].r.x, 2.0f);
    EXPECT_NEAR(origin[0].r.y, 0.0f, 1e-6f);
    // The centre has no angle: it stays at the centre, in cell 0, finite.
    EXPECT_EQ(origin[1].r.x, 0.0f);
    EXPECT_EQ(origin[1].r.y, 0.0f);
    EXPECT_EQ(origin[1].r.z, 0.0f);

    // A sweep around the circle for whole and broken counts.
    std::vector<Item> items;
    for (float n : {5.0f, 6.0f, 5.5f, 3.3f, 6.9f})
        for (int k = 0; k < 720; ++k) {
            float angle = float(-M_PI + (k + 0.5) * M_PI / 360.0);
            if (!awayFromSeams(angle, n)) continue;
            float radius = 0.5f + 0.003f * float(k);
            items.push_back({{radius * std::cos(angle), radius * std::sin(angle), 0, 0},
                             {n, 0, 0, 0}});
        }
    std::vector<Result> got = run(kModPolar, items);
    for (std::size_t i = 0; i < items.size(); ++i) {
        V2 p = v2(items[i].a);
        float cell = ref::pModPolar(p, items[i].b.x);
        ASSERT_EQ(got[i].r.z, cell) << at(items[i]);
        ASSERT_TRUE(close(got[i].r.x, p.x, 1e-5f, 1e-5f, "x at " + at(items[i])));
        ASSERT_TRUE(close(got[i].r.y, p.y, 1e-5f, 1e-5f, "y at " + at(items[i])));
    }

    // With 5.5 sectors both sides of the seam facing -first are cell 3, and
    // the point jumps from one side of the sector to the other there.
    std::vector<Result> seam = run(kModPolar, {{{std::cos(3.0f), std::sin(3.0f), 0, 0}, {5.5f, 0, 0, 0}},
                                               {{std::cos(-3.0f), std::sin(-3.0f), 0, 0}, {5.5f, 0, 0, 0}}});
    EXPECT_EQ(seam[0].r.z, 3.0f);
    EXPECT_EQ(seam[1].r.z, 3.0f);
    EXPECT_LT(seam[0].r.y, -0.3f);
    EXPECT_GT(seam[1].r.y, 0.3f);
}

TEST_F(SceneLibrary, RepetitionMirrorAndReflectionOperators) {
    // Half a cell above a centre belongs to the next cell, at -size / 2.
    std::vector<Result> edge = run(kMod1, {{{0.5f, 0, 0, 0}, {1.0f, 0, 0, 0}},
                                           {{1.5f, 0, 0, 0}, {1.0f, 0, 0, 0}},
                                           {{-0.25f, 0, 0, 0}, {0.5f, 0, 0, 0}}});
    EXPECT_EQ(edge[0].r.y, 1.0f);
    EXPECT_EQ(edge[0].r.x, -0.5f);
    EXPECT_EQ(edge[1].r.y, 2.0f);
    EXPECT_EQ(edge[1].r.x, -0.5f);
    EXPECT_EQ(edge[2].r.y, 0.0f);
    EXPECT_EQ(edge[2].r.x, -0.25f);

    // Random points away from the cell borders.
    auto g = randomSource(11);
    std::vector<Item> items;
    for (int i = 0; i < 500; ++i) {
        Item it{{uniform(g, -6, 6), uniform(g, -6, 6), uniform(g, -6, 6), 0},
                {uniform(g, 0.3f, 2.0f), uniform(g, 0.3f, 2.0f), uniform(g, 0.3f, 2.0f), 0}};
        auto nearBorder = [](float p, float size) {
            float cells = (p + size / 2) / size;
            return std::fabs(cells - std::round(cells)) < 1e-3f;
        };
        if (nearBorder(it.a.x, it.b.x) || nearBorder(it.a.y, it.b.y) ||
            nearBorder(it.a.z, it.b.z) || nearBorder(it.a.y, it.b.x) || nearBorder(it.a.x, it.b.y))
            continue;
        items.push_back(it);
    }
    auto check1 = [&](Function f, const std::vector<Item>& cases, auto reference) {
        std::vector<Result> got = run(f, cases);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            float p = cases[i].a.x;
            float c = reference(p, cases[i].b);
            ASSERT_EQ(got[i].r.y, c) << "function " << f << " at " << at(cases[i]);
            ASSERT_TRUE(close(got[i].r.x, p, 1e-5f, 1e-5f, "function " + std::to_string(f)));
        }
    };
    check1(kMod1, items, [](float& p, Vec4 b) { return ref::pMod1(p, b.x); });
    check1(kModMirror1, items, [](float& p, Vec4 b) { return ref::pModMirror1(p, b.x); });
    check1(kModSingle1, items, [](float& p, Vec4 b) { return ref::pModSingle1(p, b.x); });
    check1(kMirror, items, [](float& p, Vec4 b) { return ref::pMirror(p, b.x); });
    // Cells -1 to 2 only; the end cells stretch on.
    std::vector<Item> interval = items;
    for (Item& it : interval) {
        it.b.y = -1.0f;
        it.b.z = 2.0f;
    }
    check1(kModInterval1, interval,
           [](float& p, Vec4 b) { return ref::pModInterval1(p, b.x, -1.0f, 2.0f); });

    auto check2 = [&](Function f, auto reference) {
        std::vector<Result> got = run(f, items);
        for (std::size_t i = 0; i < items.size(); ++i) {
            V2 p = v2(items[i].a);
            V2 c = reference(p, V2{items[i].b.x, items[i].b.y});
            const std::string what = "function " + std::to_string(f) + " at " + at(items[i]);
            ASSERT_EQ(got[i].r.z, c.x) << what;
            ASSERT_EQ(got[i].r.w, c.y) << what;
            ASSERT_TRUE(close(got[i].r.x, p.x, 1e-5f, 1e-5f, what));
            ASSERT_TRUE(close(got[i].r.y, p.y, 1e-5f, 1e-5f, what));
        }
    };
    check2(kMod2, [](V2& p, V2 s) { return ref::pMod2(p, s); });
    check2(kModMirror2, [](V2& p, V2 s) { return ref::pModMirror2(p, s); });
    check2(kModGrid2, [](V2& p, V2 s) { return ref::pModGrid2(p, s); });
    check2(kMirrorOctant, [](V2& p, V2 s) { return ref::pMirrorOctant(p, s); });

    std::vector<Result> mod3 = run(kMod3, items);
    std::vector<Result> reflect = run(kReflect, items);
    std::vector<Result> rotate = run(kRotate, items);
    std::vector<Result> rotate45 = run(kRotate45, items);
    const V3 planeNormal = ref::normalize(V3{1.0f, 2.0f, -1.0f});
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string what = at(items[i]);
        V3 p = v3(items[i].a);
        V3 c = ref::pMod3(p, v3(items[i].b));
        EXPECT_EQ(mod3[i].s.x, c.x) << what;
        EXPECT_EQ(mod3[i].s.y, c.y) << what;
        EXPECT_EQ(mod3[i].s.z, c.z) << what;
        EXPECT_TRUE(close(mod3[i].r.z, p.z, 1e-5f, 1e-5f, "pMod3 at " + what));

        V3 q = v3(items[i].a);
        float side = ref::pReflect(q, planeNormal, items[i].b.x);
        EXPECT_EQ(reflect[i].r.w, side) << what;
        EXPECT_TRUE(close(reflect[i].r.x, q.x, 1e-5f, 1e-5f, "pReflect at " + what));
        EXPECT_TRUE(close(reflect[i].r.y, q.y, 1e-5f, 1e-5f, "pReflect at " + what));

        // pR maps (a, b) to (a cos + b sin, -a sin + b cos).
        float a = items[i].a.x, b = items[i].a.y, t = items[i].b.x;
        EXPECT_TRUE(close(rotate[i].r.x, a * std::cos(t) + b * std::sin(t), 1e-5f, 1e-5f, "pR.x"));
        EXPECT_TRUE(close(rotate[i].r.y, -a * std::sin(t) + b * std::cos(t), 1e-5f, 1e-5f, "pR.y"));
        V2 r45 = v2(items[i].a);
        ref::pR45(r45);
        EXPECT_TRUE(close(rotate45[i].r.x, r45.x, 1e-5f, 1e-5f, "pR45.x"));
        EXPECT_TRUE(close(rotate45[i].r.y, r45.y, 1e-5f, 1e-5f, "pR45.y"));
    }
}

TEST_F(SceneLibrary, SgnIsNeverZero) {
    std::vector<Result> got = run(kSgn, {{{0.0f, -0.0f, 0.0f, 0}, {}},
                                         {{-1e-30f, 2.0f, -3.0f, 0}, {}}});
    EXPECT_EQ(got[0].r.x, 1.0f);
    EXPECT_EQ(got[0].r.y, 1.0f);  // -0 is not below 0
    EXPECT_EQ(got[0].r.z, 1.0f);
    EXPECT_EQ(got[1].r.x, -1.0f);
    EXPECT_EQ(got[1].r.y, 1.0f);
    EXPECT_EQ(got[1].r.z, -1.0f);
}

TEST_F(SceneLibrary, CombinationOperators) {
    // a, b in [-1, 1], r in [0.05, 0.5], n in {2, ..., 6}.
    auto g = randomSource(23);
    std::vector<Item> items;
    for (int i = 0; i < 800; ++i)
        items.push_back({{uniform(g, -1, 1), uniform(g, -1, 1), uniform(g, 0.05f, 0.5f),
                          float(2 + i % 5)},
                         {}});
    std::vector<Result> chamfer = run(kChamfer, items), round = run(kRound, items),
                        columns = run(kColumns, items), stairs = run(kStairs, items),
                        others = run(kOthers, items);
    for (std::size_t i = 0; i < items.size(); ++i) {
        float a = items[i].a.x, b = items[i].a.y, r = items[i].a.z, n = items[i].a.w;
        const std::string w = " at " + at(items[i]);
        EXPECT_TRUE(close(chamfer[i].r.x, ref::fOpUnionChamfer(a, b, r), 1e-6f, 1e-5f, "union chamfer" + w));
        EXPECT_TRUE(close(chamfer[i].r.y, ref::fOpIntersectionChamfer(a, b, r), 1e-6f, 1e-5f, "intersection chamfer" + w));
        EXPECT_TRUE(close(chamfer[i].r.z, ref::fOpDifferenceChamfer(a, b, r), 1e-6f, 1e-5f, "difference chamfer" + w));
        EXPECT_TRUE(close(round[i].r.x, ref::fOpUnionRound(a, b, r), 1e-6f, 1e-5f, "union round" + w));
        EXPECT_TRUE(close(round[i].r.y, ref::fOpIntersectionRound(a, b, r), 1e-6f, 1e-5f, "intersection round" + w));
        EXPECT_TRUE(close(round[i].r.z, ref::fOpDifferenceRound(a, b, r), 1e-6f, 1e-5f, "difference round" + w));
        EXPECT_TRUE(close(columns[i].r.x, ref::fOpUnionColumns(a, b, r, n), 1e-5f, 1e-5f, "union columns" + w));
        EXPECT_TRUE(close(columns[i].r.y, ref::fOpDifferenceColumns(a, b, r, n), 1e-5f, 1e-5f, "difference columns" + w));
        EXPECT_TRUE(close(columns[i].r.z, ref::fOpIntersectionColumns(a, b, r, n), 1e-5f, 1e-5f, "intersection columns" + w));
        EXPECT_TRUE(close(stairs[i].r.x, ref::fOpUnionStairs(a, b, r, n), 1e-5f, 1e-5f, "union stairs" + w));
        EXPECT_TRUE(close(stairs[i].r.y, ref::fOpIntersectionStairs(a, b, r, n), 1e-5f, 1e-5f, "intersection stairs" + w));
        EXPECT_TRUE(close(stairs[i].r.z, ref::fOpDifferenceStairs(a, b, r, n), 1e-5f, 1e-5f, "difference stairs" + w));
        EXPECT_TRUE(close(others[i].r.x, ref::fOpUnionSoft(a, b, r), 1e-6f, 1e-5f, "union soft" + w));
        EXPECT_TRUE(close(others[i].r.y, ref::fOpPipe(a, b, r), 1e-6f, 1e-5f, "pipe" + w));
        EXPECT_TRUE(close(others[i].r.z, ref::fOpEngrave(a, b, r), 1e-6f, 1e-5f, "engrave" + w));
        EXPECT_TRUE(close(others[i].r.w, ref::fOpGroove(a, b, r, n), 1e-6f, 1e-5f, "groove" + w));
        EXPECT_TRUE(close(others[i].s.x, ref::fOpTongue(a, b, r, n), 1e-6f, 1e-5f, "tongue" + w));
    }

    // The round union leaves distances of at least r alone, and joins two
    // surfaces meeting at the line itself with a quarter circle of radius r.
    std::vector<Result> edge = run(kRound, {{{0.3f, 0.5f, 0.25f, 0}, {}},
                                            {{0.0f, 0.0f, 0.25f, 0}, {}},
                                            {{0.25f, 0.25f, 0.25f, 0}, {}}});
    EXPECT_FLOAT_EQ(edge[0].r.x, 0.3f);
    EXPECT_NEAR(edge[1].r.x, 0.25f - 0.25f * std::sqrt(2.0f), 1e-6f);
    EXPECT_FLOAT_EQ(edge[2].r.x, 0.25f);
}

TEST_F(SceneLibrary, ConstantsAndSmallHelpers) {
    std::vector<Result> got = run(kHelpers, {{{1.5f, -2.0f, 0.5f, 3.0f}, {}},
                                             {{-4.0f, 7.0f, -1.0f, -9.0f}, {}}});
    EXPECT_FLOAT_EQ(got[0].r.x, 2.25f);
    EXPECT_FLOAT_EQ(got[0].r.y, 1.5f * 1.5f + 4.0f + 0.25f);
    EXPECT_EQ(got[0].r.z, 3.0f);
    EXPECT_EQ(got[0].r.w, -2.0f);
    EXPECT_EQ(got[1].s.x, 7.0f);
    EXPECT_EQ(got[1].s.y, -4.0f);
    EXPECT_EQ(got[1].s.z, 7.0f);
    EXPECT_EQ(got[1].s.w, -4.0f);

    std::vector<Result> c = run(kConstants,
                                {{{1.7f, 2.0f, 3.0f, 0}, {}}, {{-0.2f, 0, 0, 0}, {}},
                                 {{0.4f, 0, 0, 0}, {}}});
    EXPECT_FLOAT_EQ(c[0].r.x, 3.14159265f);
    EXPECT_FLOAT_EQ(c[0].r.y, 2.0f * 3.14159265f);
    EXPECT_NEAR(c[0].r.z, 1.618034f, 1e-6f);
    EXPECT_EQ(c[0].r.w, 1.0f);  // saturate
    EXPECT_EQ(c[1].r.w, 0.0f);
    EXPECT_FLOAT_EQ(c[2].r.w, 0.4f);
    EXPECT_FLOAT_EQ(c[0].s.x, 1.7f * 1.7f);
    EXPECT_FLOAT_EQ(c[0].s.y, 4.0f);
    EXPECT_FLOAT_EQ(c[0].s.z, 9.0f);
}

// Distance of two hash values on the circle [0, 1): a sine that differs in
// the last bits may carry a value just below 1 over to just above 0.
float hashDistance(float a, float b) {
    float d = std::fabs(a - b);
    return std::min(d, 1.0f - d);
}

// True when every corner hash of the noise octaves at x lies at least
// margin away from the wrap at 0 / 1, so the GPU's sine cannot wrap it.
bool hashesClearOfWrap(V3 x, int octaves, float margin) {
    float frequency = 1.0f;
    for (int o = 0; o < octaves; ++o) {
        V3 y = octaves == 1 ? x : (x * frequency) * 1.5f;
        float n = std::floor(y.x) + 157.0f * std::floor(y.y) + 113.0f * std::floor(y.z);
        for (float k : {0.0f, 1.0f, 157.0f, 158.0f, 113.0f, 114.0f, 270.0f, 271.0f}) {
            float h = ref::hash(n + k);
            if (h < margin || h > 1.0f - margin) return false;
        }
        frequency *= 1.8f;
    }
    return true;
}

TEST_F(SceneLibrary, NoiseAgreesAndStaysInRange) {
    // The hash, on the circle.
    auto g = randomSource(31);
    std::vector<Item> seeds;
    for (int i = 0; i < 500; ++i) seeds.push_back({{std::floor(uniform(g, -5000, 5000)), 0, 0, 0}, {}});
    std::vector<Result> hashes = run(kHash, seeds);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        EXPECT_GE(hashes[i].r.x, 0.0f);
        EXPECT_LT(hashes[i].r.x, 1.0f);
        EXPECT_LT(hashDistance(hashes[i].r.x, ref::hash(seeds[i].a.x)), 1e-2f) << at(seeds[i]);
    }

    // At a lattice point the value is that corner's hash and the slope is 0.
    std::vector<Item> lattice;
    for (int i = 0; i < 100; ++i)
        lattice.push_back({{std::floor(uniform(g, -20, 20)), std::floor(uniform(g, -20, 20)),
                            std::floor(uniform(g, -20, 20)), 0},
                           {}});
    std::vector<Item> cornerSeeds;
    for (const Item& it : lattice)
        cornerSeeds.push_back({{it.a.x + 157.0f * it.a.y + 113.0f * it.a.z, 0, 0, 0}, {}});
    std::vector<Result> corner = run(kNoised, lattice);
    std::vector<Result> cornerHash = run(kHash, cornerSeeds);
    for (std::size_t i = 0; i < lattice.size(); ++i) {
        EXPECT_EQ(corner[i].r.x, cornerHash[i].r.x) << at(lattice[i]);
        EXPECT_EQ(corner[i].r.y, 0.0f);
        EXPECT_EQ(corner[i].r.z, 0.0f);
        EXPECT_EQ(corner[i].r.w, 0.0f);
    }

    // Between lattice points: value and slopes as the formulas give them.
    std::vector<Item> points, fbmPoints;
    while (points.size() < 300 || fbmPoints.size() < 300) {
        V3 x{uniform(g, -8, 8), uniform(g, -8, 8), uniform(g, -8, 8)};
        Item it{{x.x, x.y, x.z, 0}, {}};
        if (points.size() < 300 && hashesClearOfWrap(x, 1, 0.02f)) points.push_back(it);
        if (fbmPoints.size() < 300 && hashesClearOfWrap(x, 4, 0.02f)) fbmPoints.push_back(it);
    }
    std::vector<Result> noise = run(kNoised, points);
    for (std::size_t i = 0; i < points.size(); ++i) {
        ref::Noise e = ref::noised(v3(points[i].a));
        const std::string w = " at " + at(points[i]);
        EXPECT_TRUE(close(noise[i].r.x, e.value, 1e-2f, 0, "noised value" + w));
        EXPECT_TRUE(close(noise[i].r.y, e.dx, 3e-2f, 0, "noised d/dx" + w));
        EXPECT_TRUE(close(noise[i].r.z, e.dy, 3e-2f, 0, "noised d/dy" + w));
        EXPECT_TRUE(close(noise[i].r.w, e.dz, 3e-2f, 0, "noised d/dz" + w));
    }
    std::vector<Result> fbm = run(kFbmd, fbmPoints);
    for (std::size_t i = 0; i < fbmPoints.size(); ++i) {
        ref::Noise e = ref::fbmd(v3(fbmPoints[i].a));
        const std::string w = " at " + at(fbmPoints[i]);
        EXPECT_TRUE(close(fbm[i].r.x, e.value, 1e-2f, 0, "fbmd value" + w));
        EXPECT_TRUE(close(fbm[i].r.y, e.dx, 1e-1f, 0, "fbmd d/dx" + w));
        EXPECT_TRUE(close(fbm[i].r.w, e.dz, 1e-1f, 0, "fbmd d/dz" + w));
    }

    // The four octaves sum to a value in [0, 0.9375] everywhere.
    std::vector<Item> wide = randomItems(37, 4000, 50.0f, 0, 0);
    std::vector<Result> range = run(kFbmd, wide);
    float lo = 1, hi = 0;
    for (const Result& r : range) {
        lo = std::min(lo, r.r.x);
        hi = std::max(hi, r.r.x);
    }
    EXPECT_GE(lo, 0.0f);
    EXPECT_LE(hi, 0.9375f);
    EXPECT_LT(lo, 0.3f);  // the range is used, not a constant
    EXPECT_GT(hi, 0.6f);
}

}  // namespace
