// scene_reference.h: the scene text's noise and distance-field formulas,
// written again in C++ single precision for the GPU tests to compare with.
//
// Every function follows the GLSL semantics it stands for: mod is the
// floored modulo x - y floor(x / y), fract is x - floor(x), step(edge, x) is
// 0 below the edge, and atan2 takes (y, x). In-out points are references.
// Values built on the sine hash depend on the platform's sine; compare those
// with a tolerance of about 1e-2.
#pragma once

#include <cmath>

namespace ref {

struct V2 {
    float x, y;
};
struct V3 {
    float x, y, z;
};

inline V2 operator+(V2 a, V2 b) { return {a.x + b.x, a.y + b.y}; }
inline V2 operator-(V2 a, V2 b) { return {a.x - b.x, a.y - b.y}; }
inline V2 operator*(V2 a, float s) { return {a.x * s, a.y * s}; }
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float dot(V2 a, V2 b) { return a.x * b.x + a.y * b.y; }
inline float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float length(V2 a) { return std::sqrt(dot(a, a)); }
inline float length(V3 a) { return std::sqrt(dot(a, a)); }
inline V3 normalize(V3 a) { return a * (1.0f / length(a)); }
inline V2 normalize(V2 a) { return a * (1.0f / length(a)); }

float mod(float x, float y);
float fract(float x);

constexpr float PI = 3.14159265f;
const float PHI = std::sqrt(5.0f) * 0.5f + 0.5f;

// Noise.
float hash(float n);
struct Noise {
    float value, dx, dy, dz;
};
Noise noised(V3 x);
Noise fbmd(V3 x);

// Helpers.
float sgn(float x);
float vmax(V2 v);
float vmax(V3 v);
float vmin(V2 v);
float vmin(V3 v);

// Primitives.
float fSphere(V3 p, float r);
float fPlane(V3 p, V3 n, float distanceFromOrigin);
float fBoxCheap(V3 p, V3 b);
float fBox(V3 p, V3 b);
float fBox2Cheap(V2 p, V2 b);
float fBox2(V2 p, V2 b);
float fCorner(V2 p);
float fBlob(V3 p);
float fCylinder(V3 p, float r, float height);
float fCapsule(V3 p, float r, float c);
float fLineSegment(V3 p, V3 a, V3 b);
float fCapsule(V3 p, V3 a, V3 b, float r);
float fTorus(V3 p, float smallRadius, float largeRadius);
float fCircle(V3 p, float r);
float fDisc(V3 p, float r);
float fHexagonCircumcircle(V3 p, V2 h);
float fHexagonIncircle(V3 p, V2 h);
float fCone(V3 p, float radius, float height);

// Polyhedra: the table of plane normals and both forms.
V3 gdfVector(int i);
// The GPU flushes subnormal floats to zero (GLSL allows it), so deep inside
// a body with a large exponent every power and the sum become 0 and the
// exponent form gives -r. The reference does the same; gdfSum is the sum of
// powers, for tests that avoid its edge at FLT_MIN.
float flushSubnormal(float x);
float gdfSum(V3 p, float e, int begin, int end);
float fGDF(V3 p, float r, float e, int begin, int end);
float fGDF(V3 p, float r, int begin, int end);
enum Polyhedron { octahedron, dodecahedron, icosahedron, truncatedOctahedron, truncatedIcosahedron };
float polyhedron(Polyhedron body, V3 p, float r, float e);  // exponent form
float polyhedron(Polyhedron body, V3 p, float r);           // flat form

// Domain operators.
void pR(V2& p, float a);
void pR45(V2& p);
float pMod1(float& p, float size);
float pModMirror1(float& p, float size);
float pModSingle1(float& p, float size);
float pModInterval1(float& p, float size, float start, float stop);
float pModPolar(V2& p, float repetitions);
V2 pMod2(V2& p, V2 size);
V2 pModMirror2(V2& p, V2 size);
V2 pModGrid2(V2& p, V2 size);
V3 pMod3(V3& p, V3 size);
float pMirror(float& p, float dist);
V2 pMirrorOctant(V2& p, V2 dist);
float pReflect(V3& p, V3 planeNormal, float offset);

// Combination operators.
float fOpUnionChamfer(float a, float b, float r);
float fOpIntersectionChamfer(float a, float b, float r);
float fOpDifferenceChamfer(float a, float b, float r);
float fOpUnionRound(float a, float b, float r);
float fOpIntersectionRound(float a, float b, float r);
float fOpDifferenceRound(float a, float b, float r);
float fOpUnionColumns(float a, float b, float r, float n);
float fOpDifferenceColumns(float a, float b, float r, float n);
float fOpIntersectionColumns(float a, float b, float r, float n);
float fOpUnionStairs(float a, float b, float r, float n);
float fOpIntersectionStairs(float a, float b, float r, float n);
float fOpDifferenceStairs(float a, float b, float r, float n);
float fOpUnionSoft(float a, float b, float r);
float fOpPipe(float a, float b, float r);
float fOpEngrave(float a, float b, float r);
float fOpGroove(float a, float b, float ra, float rb);
float fOpTongue(float a, float b, float ra, float rb);

// The scenes' smooth minimum.
float smin(float a, float b, float k);

}  // namespace ref
