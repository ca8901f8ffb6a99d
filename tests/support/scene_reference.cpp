// scene_reference.cpp: the formulas of scene_reference.h.
#include "tests/support/scene_reference.h"

#include <algorithm>
#include <cfloat>
#include <utility>

namespace ref {
namespace {

float clamp01(float x) { return std::min(std::max(x, 0.0f), 1.0f); }
V2 absv(V2 a) { return {std::fabs(a.x), std::fabs(a.y)}; }
V3 absv(V3 a) { return {std::fabs(a.x), std::fabs(a.y), std::fabs(a.z)}; }
V2 maxv(V2 a, float s) { return {std::max(a.x, s), std::max(a.y, s)}; }
V3 maxv(V3 a, float s) { return {std::max(a.x, s), std::max(a.y, s), std::max(a.z, s)}; }
V2 minv(V2 a, float s) { return {std::min(a.x, s), std::min(a.y, s)}; }
V3 minv(V3 a, float s) { return {std::min(a.x, s), std::min(a.y, s), std::min(a.z, s)}; }
float mix(float a, float b, float t) { return a * (1.0f - t) + b * t; }
float step(float edge, float x) { return x < edge ? 0.0f : 1.0f; }

const int kRange[5][2] = {{3, 6}, {13, 18}, {3, 12}, {0, 6}, {3, 18}};

}  // namespace

float mod(float x, float y) { return x - y * std::floor(x / y); }
float fract(float x) { return x - std::floor(x); }

float hash(float n) { return fract(std::sin(n) * 753.5453123f); }

Noise noised(V3 x) {
    V3 i{std::floor(x.x), std::floor(x.y), std::floor(x.z)};
    V3 w{fract(x.x), fract(x.y), fract(x.z)};
    auto smooth = [](float t) { return t * t * (3.0f - 2.0f * t); };
    auto slope = [](float t) { return 6.0f * t * (1.0f - t); };
    V3 u{smooth(w.x), smooth(w.y), smooth(w.z)};
    V3 du{slope(w.x), slope(w.y), slope(w.z)};
    float n = i.x + 157.0f * i.y + 113.0f * i.z;
    float a = hash(n), b = hash(n + 1.0f), c = hash(n + 157.0f), d = hash(n + 158.0f);
    float e = hash(n + 113.0f), f = hash(n + 114.0f), g = hash(n + 270.0f),
          h = hash(n + 271.0f);
    float k0 = a, k1 = b - a, k2 = c - a, k3 = e - a, k4 = a - b - c + d, k5 = a - c - e + g,
          k6 = a - b - e + f, k7 = -a + b + c - d + e - f - g + h;
    Noise r;
    r.value = k0 + k1 * u.x + k2 * u.y + k3 * u.z + k4 * u.x * u.y + k5 * u.y * u.z +
              k6 * u.z * u.x + k7 * u.x * u.y * u.z;
    r.dx = du.x * (k1 + k4 * u.y + k6 * u.z + k7 * u.y * u.z);
    r.dy = du.y * (k2 + k5 * u.z + k4 * u.x + k7 * u.z * u.x);
    r.dz = du.z * (k3 + k6 * u.x + k5 * u.y + k7 * u.x * u.y);
    return r;
}

Noise fbmd(V3 x) {
    Noise sum{0, 0, 0, 0};
    float amplitude = 0.5f, frequency = 1.0f;
    for (int i = 0; i < 4; ++i) {
        Noise s = noised((x * frequency) * 1.5f);
        sum.value += amplitude * s.value;
        sum.dx += amplitude * s.dx * frequency * 1.5f;
        sum.dy += amplitude * s.dy * frequency * 1.5f;
        sum.dz += amplitude * s.dz * frequency * 1.5f;
        amplitude *= 0.5f;
        frequency *= 1.8f;
    }
    return sum;
}

float sgn(float x) { return x < 0.0f ? -1.0f : 1.0f; }
float vmax(V2 v) { return std::max(v.x, v.y); }
float vmax(V3 v) { return std::max(std::max(v.x, v.y), v.z); }
float vmin(V2 v) { return std::min(v.x, v.y); }
float vmin(V3 v) { return std::min(std::min(v.x, v.y), v.z); }

float fSphere(V3 p, float r) { return length(p) - r; }
float fPlane(V3 p, V3 n, float distanceFromOrigin) { return dot(p, n) + distanceFromOrigin; }
float fBoxCheap(V3 p, V3 b) { return vmax(absv(p) - b); }
float fBox(V3 p, V3 b) {
    V3 d = absv(p) - b;
    return length(maxv(d, 0.0f)) + vmax(minv(d, 0.0f));
}
float fBox2Cheap(V2 p, V2 b) { return vmax(absv(p) - b); }
float fBox2(V2 p, V2 b) {
    V2 d = absv(p) - b;
    return length(maxv(d, 0.0f)) + vmax(minv(d, 0.0f));
}
float fCorner(V2 p) { return length(maxv(p, 0.0f)) + vmax(minv(p, 0.0f)); }

float fBlob(V3 p) {
    p = absv(p);
    for (int i = 0; i < 2; ++i)
        if (p.x < std::max(p.y, p.z)) p = {p.y, p.z, p.x};
    float m = std::max(
        std::max(std::max(dot(p, normalize(V3{1, 1, 1})), dot(V2{p.x, p.z}, normalize(V2{PHI + 1, 1}))),
                 dot(V2{p.y, p.x}, normalize(V2{1, PHI}))),
        dot(V2{p.x, p.z}, normalize(V2{1, PHI})));
    float l = length(p);
    return l - 1.5f - 0.2f * 0.75f * std::cos(std::min(std::sqrt(1.01f - m / l) * PI / 0.25f, PI));
}

float fCylinder(V3 p, float r, float height) {
    return std::max(length(V2{p.x, p.z}) - r, std::fabs(p.y) - height);
}
float fCapsule(V3 p, float r, float c) {
    return mix(length(V2{p.x, p.z}) - r, length(V3{p.x, std::fabs(p.y) - c, p.z}) - r,
               step(c, std::fabs(p.y)));
}
float fLineSegment(V3 p, V3 a, V3 b) {
    V3 ab = b - a;
    float t = clamp01(dot(p - a, ab) / dot(ab, ab));
    return length(ab * t + a - p);
}
float fCapsule(V3 p, V3 a, V3 b, float r) { return fLineSegment(p, a, b) - r; }
float fTorus(V3 p, float smallRadius, float largeRadius) {
    return length(V2{length(V2{p.x, p.z}) - largeRadius, p.y}) - smallRadius;
}
float fCircle(V3 p, float r) { return length(V2{p.y, length(V2{p.x, p.z}) - r}); }
float fDisc(V3 p, float r) {
    float l = length(V2{p.x, p.z}) - r;
    return l < 0.0f ? std::fabs(p.y) : length(V2{p.y, l});
}
float fHexagonCircumcircle(V3 p, V2 h) {
    V3 q = absv(p);
    return std::max(q.y - h.y, std::max(q.x * std::sqrt(3.0f) * 0.5f + q.z * 0.5f, q.z) - h.x);
}
float fHexagonIncircle(V3 p, V2 h) {
    return fHexagonCircumcircle(p, V2{h.x * std::sqrt(3.0f) * 0.5f, h.y});
}
float fCone(V3 p, float radius, float height) {
    V2 q{length(V2{p.x, p.z}), p.y};
    V2 tip = q - V2{0.0f, height};
    V2 dir = normalize(V2{height, radius});
    float d = std::max(dot(tip, dir), -q.y);
    float proj = dot(tip, V2{dir.y, -dir.x});
    if (q.y > height && proj < 0.0f) d = std::max(d, length(tip));
    if (q.x > radius && proj > length(V2{height, radius}))
        d = std::max(d, length(q - V2{radius, 0.0f}));
    return d;
}

V3 gdfVector(int i) {
    const float P = PHI;
    const V3 v[19] = {{1, 0, 0},       {0, 1, 0},        {0, 0, 1},        {1, 1, 1},
                      {-1, 1, 1},      {1, -1, 1},       {1, 1, -1},       {0, 1, P + 1},
                      {0, -1, P + 1},  {P + 1, 0, 1},    {-P - 1, 0, 1},   {1, P + 1, 0},
                      {-1, P + 1, 0},  {0, P, 1},        {0, -P, 1},       {1, 0, P},
                      {-1, 0, P},      {P, 1, 0},        {-P, 1, 0}};
    return normalize(v[i]);
}

float flushSubnormal(float x) { return std::fabs(x) < FLT_MIN ? 0.0f : x; }

float gdfSum(V3 p, float e, int begin, int end) {
    float d = 0.0f;
    for (int i = begin; i <= end; ++i)
        d = flushSubnormal(d + flushSubnormal(std::pow(std::fabs(dot(p, gdfVector(i))), e)));
    return d;
}

float fGDF(V3 p, float r, float e, int begin, int end) {
    return std::pow(gdfSum(p, e, begin, end), 1.0f / e) - r;
}
float fGDF(V3 p, float r, int begin, int end) {
    float d = 0.0f;
    for (int i = begin; i <= end; ++i) d = std::max(d, std::fabs(dot(p, gdfVector(i))));
    return d - r;
}
float polyhedron(Polyhedron body, V3 p, float r, float e) {
    return fGDF(p, r, e, kRange[body][0], kRange[body][1]);
}
float polyhedron(Polyhedron body, V3 p, float r) {
    return fGDF(p, r, kRange[body][0], kRange[body][1]);
}

void pR(V2& p, float a) {
    p = p * std::cos(a) + V2{p.y, -p.x} * std::sin(a);
}
void pR45(V2& p) { p = (p + V2{p.y, -p.x}) * std::sqrt(0.5f); }
float pMod1(float& p, float size) {
    float h = size * 0.5f;
    float c = std::floor((p + h) / size);
    p = mod(p + h, size) - h;
    return c;
}
float pModMirror1(float& p, float size) {
    float c = pMod1(p, size);
    p *= mod(c, 2.0f) * 2.0f - 1.0f;
    return c;
}
float pModSingle1(float& p, float size) {
    float h = size * 0.5f;
    float c = std::floor((p + h) / size);
    if (p >= 0.0f) p = mod(p + h, size) - h;
    return c;
}
float pModInterval1(float& p, float size, float start, float stop) {
    float c = pMod1(p, size);
    if (c > stop) {
        p += size * (c - stop);
        c = stop;
    }
    if (c < start) {
        p += size * (c - start);
        c = start;
    }
    return c;
}
float pModPolar(V2& p, float repetitions) {
    float angle = 2.0f * PI / repetitions;
    float a = std::atan2(p.y, p.x) + angle / 2.0f;
    float r = length(p);
    float c = std::floor(a / angle);
    a = mod(a, angle) - angle / 2.0f;
    p = V2{std::cos(a), std::sin(a)} * r;
    if (std::fabs(c) >= repetitions / 2.0f) c = std::fabs(c);
    return c;
}
V2 pMod2(V2& p, V2 size) {
    V2 c{std::floor((p.x + size.x * 0.5f) / size.x), std::floor((p.y + size.y * 0.5f) / size.y)};
    p = {mod(p.x + size.x * 0.5f, size.x) - size.x * 0.5f,
         mod(p.y + size.y * 0.5f, size.y) - size.y * 0.5f};
    return c;
}
V2 pModMirror2(V2& p, V2 size) {
    V2 c = pMod2(p, size);
    p = {p.x * (mod(c.x, 2.0f) * 2.0f - 1.0f), p.y * (mod(c.y, 2.0f) * 2.0f - 1.0f)};
    return c;
}
V2 pModGrid2(V2& p, V2 size) {
    V2 c = pModMirror2(p, size);
    p = p - size * 0.5f;
    if (p.x > p.y) std::swap(p.x, p.y);
    return {std::floor(c.x / 2.0f), std::floor(c.y / 2.0f)};
}
V3 pMod3(V3& p, V3 size) {
    V3 c{std::floor((p.x + size.x * 0.5f) / size.x), std::floor((p.y + size.y * 0.5f) / size.y),
         std::floor((p.z + size.z * 0.5f) / size.z)};
    p = {mod(p.x + size.x * 0.5f, size.x) - size.x * 0.5f,
         mod(p.y + size.y * 0.5f, size.y) - size.y * 0.5f,
         mod(p.z + size.z * 0.5f, size.z) - size.z * 0.5f};
    return c;
}
float pMirror(float& p, float dist) {
    float s = sgn(p);
    p = std::fabs(p) - dist;
    return s;
}
V2 pMirrorOctant(V2& p, V2 dist) {
    V2 s{sgn(p.x), sgn(p.y)};
    pMirror(p.x, dist.x);
    pMirror(p.y, dist.y);
    if (p.y > p.x) std::swap(p.x, p.y);
    return s;
}
float pReflect(V3& p, V3 planeNormal, float offset) {
    float t = dot(p, planeNormal) + offset;
    if (t < 0.0f) p = p - planeNormal * (2.0f * t);
    return sgn(t);
}

float fOpUnionChamfer(float a, float b, float r) {
    return std::min(std::min(a, b), (a - r + b) * std::sqrt(0.5f));
}
float fOpIntersectionChamfer(float a, float b, float r) {
    return std::max(std::max(a, b), (a + r + b) * std::sqrt(0.5f));
}
float fOpDifferenceChamfer(float a, float b, float r) { return fOpIntersectionChamfer(a, -b, r); }
float fOpUnionRound(float a, float b, float r) {
    V2 u = maxv(V2{r - a, r - b}, 0.0f);
    return std::max(r, std::min(a, b)) - length(u);
}
float fOpIntersectionRound(float a, float b, float r) {
    V2 u = maxv(V2{r + a, r + b}, 0.0f);
    return std::min(-r, std::max(a, b)) + length(u);
}
float fOpDifferenceRound(float a, float b, float r) { return fOpIntersectionRound(a, -b, r); }

float fOpUnionColumns(float a, float b, float r, float n) {
    if (!(a < r && b < r)) return std::min(a, b);
    const float s2 = std::sqrt(2.0f);
    V2 q{a, b};
    float cr = r * s2 / ((n - 1.0f) * 2.0f + s2);
    pR45(q);
    q.x -= s2 / 2.0f * r;
    q.x += cr * s2;
    if (mod(n, 2.0f) == 1.0f) q.y += cr;
    pMod1(q.y, cr * 2.0f);
    return std::min(std::min(std::min(length(q) - cr, q.x), a), b);
}
float fOpDifferenceColumns(float a, float b, float r, float n) {
    a = -a;
    if (!(a < r && b < r)) return -std::min(a, b);
    const float s2 = std::sqrt(2.0f);
    V2 q{a, b};
    float cr = r * s2 / ((n - 1.0f) * 2.0f + s2);
    pR45(q);
    q.y += cr;
    q.x -= s2 / 2.0f * r;
    q.x -= cr * s2 / 2.0f;
    if (mod(n, 2.0f) == 1.0f) q.y += cr;
    pMod1(q.y, cr * 2.0f);
    return -std::min(std::min(std::max(cr - length(q), q.x), a), b);
}
float fOpIntersectionColumns(float a, float b, float r, float n) {
    return fOpDifferenceColumns(a, -b, r, n);
}
float fOpUnionStairs(float a, float b, float r, float n) {
    float s = r / n;
    float u = b - r;
    return std::min(std::min(a, b), 0.5f * (u + a + std::fabs(mod(u - a + s, 2.0f * s) - s)));
}
float fOpIntersectionStairs(float a, float b, float r, float n) {
    return -fOpUnionStairs(-a, -b, r, n);
}
float fOpDifferenceStairs(float a, float b, float r, float n) {
    return -fOpUnionStairs(-a, b, r, n);
}
float fOpUnionSoft(float a, float b, float r) {
    float e = std::max(r - std::fabs(a - b), 0.0f);
    return std::min(a, b) - e * e * 0.25f / r;
}
float fOpPipe(float a, float b, float r) { return length(V2{a, b}) - r; }
float fOpEngrave(float a, float b, float r) {
    return std::max(a, (a + r - std::fabs(b)) * std::sqrt(0.5f));
}
float fOpGroove(float a, float b, float ra, float rb) {
    return std::max(a, std::min(a + ra, rb - std::fabs(b)));
}
float fOpTongue(float a, float b, float ra, float rb) {
    return std::min(a, std::max(a - ra, std::fabs(b) - rb));
}

float smin(float a, float b, float k) {
    float h = clamp01(0.5f + 0.5f * (b - a) / k);
    return mix(b, a, h) - k * h * (1.0f - h);
}

}  // namespace ref
