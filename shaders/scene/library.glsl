
// ---------------------------------------------------------------------------
// Distance-field library.
//
// Distance functions fSomething take the point first and return a distance
// bound (never more than the true distance, gradient no longer than 1) unless
// marked otherwise; objects with an up side have +y up and are centred at the
// origin. Domain operators pSomething change the point in place (an operator
// on fewer dimensions is handed the chosen components) and return the cell
// index where they cut space into cells; cell 0 leaves the point unchanged.
// Combination operators fOpSomething join two distances a and b, treating
// them as a local 2D frame around the intersection line.
//
// The scenes call fOctahedron and fDodecahedron (exponent form) and
// pModPolar; the rest is here for building new objects.
// ---------------------------------------------------------------------------

#define PI 3.14159265
#define TAU (2.0 * PI)
#define PHI (sqrt(5.0) * 0.5 + 0.5)

#define saturate(x) clamp(x, 0.0, 1.0)

// -1 for negative values, else 1 (never 0).
float sgn(float x)
{
    return (x < 0.0) ? -1.0 : 1.0;
}

vec2 sgn(vec2 v)
{
    return vec2((v.x < 0.0) ? -1.0 : 1.0, (v.y < 0.0) ? -1.0 : 1.0);
}

float square(float x)
{
    return x * x;
}

vec2 square(vec2 x)
{
    return x * x;
}

vec3 square(vec3 x)
{
    return x * x;
}

float lengthSqr(vec3 x)
{
    return dot(x, x);
}

// Largest and smallest component.
float vmax(vec2 v)
{
    return max(v.x, v.y);
}

float vmax(vec3 v)
{
    return max(max(v.x, v.y), v.z);
}

float vmax(vec4 v)
{
    return max(max(v.x, v.y), max(v.z, v.w));
}

float vmin(vec2 v)
{
    return min(v.x, v.y);
}

float vmin(vec3 v)
{
    return min(min(v.x, v.y), v.z);
}

float vmin(vec4 v)
{
    return min(min(v.x, v.y), min(v.z, v.w));
}

// ---------------------------------------------------------------------------
// Primitives
// ---------------------------------------------------------------------------

float fSphere(vec3 p, float r)
{
    return length(p) - r;
}

// Plane with unit normal n, moved by distanceFromOrigin against n.
float fPlane(vec3 p, vec3 n, float distanceFromOrigin)
{
    return dot(p, n) + distanceFromOrigin;
}

// Box with half sizes b; overestimates near the corners (not a bound there).
float fBoxCheap(vec3 p, vec3 b)
{
    return vmax(abs(p) - b);
}

// Box with half sizes b.
float fBox(vec3 p, vec3 b)
{
    vec3 d = abs(p) - b;
    return length(max(d, vec3(0.0))) + vmax(min(d, vec3(0.0)));
}

// Endless box (a rectangle in the plane of p, extruded along the third axis).
float fBox2Cheap(vec2 p, vec2 b)
{
    return vmax(abs(p) - b);
}

float fBox2(vec2 p, vec2 b)
{
    vec2 d = abs(p) - b;
    return length(max(d, vec2(0.0))) + vmax(min(d, vec2(0.0)));
}

// Endless corner: the quadrant x < 0 or y < 0 is inside.
float fCorner(vec2 p)
{
    return length(max(p, vec2(0.0))) + vmax(min(p, vec2(0.0)));
}

// A blobby ball with bumps along the polyhedral directions; not a bound.
float fBlob(vec3 p)
{
    p = abs(p);
    if (p.x < max(p.y, p.z)) p = p.yzx;
    if (p.x < max(p.y, p.z)) p = p.yzx;
    float b = max(max(max(dot(p, normalize(vec3(1.0, 1.0, 1.0))),
                          dot(p.xz, normalize(vec2(PHI + 1.0, 1.0)))),
                      dot(p.yx, normalize(vec2(1.0, PHI)))),
                  dot(p.xz, normalize(vec2(1.0, PHI))));
    float l = length(p);
    return l - 1.5 - 0.2 * (1.5 / 2.0) * cos(min(sqrt(1.01 - b / l) * (PI / 0.25), PI));
}

// Upright cylinder of radius r; height is the half height.
float fCylinder(vec3 p, float r, float height)
{
    return max(length(p.xz) - r, abs(p.y) - height);
}

// Upright cylinder of radius r and half length c with round caps.
float fCapsule(vec3 p, float r, float c)
{
    return mix(length(p.xz) - r, length(vec3(p.x, abs(p.y) - c, p.z)) - r, step(c, abs(p.y)));
}

// Distance to the segment from a to b.
float fLineSegment(vec3 p, vec3 a, vec3 b)
{
    vec3 ab = b - a;
    float t = saturate(dot(p - a, ab) / dot(ab, ab));
    return length(ab * t + a - p);
}

// Capsule around the segment from a to b.
float fCapsule(vec3 p, vec3 a, vec3 b, float r)
{
    return fLineSegment(p, a, b) - r;
}

// Torus in the xz plane.
float fTorus(vec3 p, float smallRadius, float largeRadius)
{
    return length(vec2(length(p.xz) - largeRadius, p.y)) - smallRadius;
}

// A circle line in the xz plane.
float fCircle(vec3 p, float r)
{
    float l = length(p.xz) - r;
    return length(vec2(p.y, l));
}

// A disc without thickness in the xz plane.
float fDisc(vec3 p, float r)
{
    float l = length(p.xz) - r;
    return l < 0.0 ? abs(p.y) : length(vec2(p.y, l));
}

// Hexagonal prism along y: h.x is the circumradius, h.y the half height.
float fHexagonCircumcircle(vec3 p, vec2 h)
{
    vec3 q = abs(p);
    return max(q.y - h.y, max(q.x * sqrt(3.0) * 0.5 + q.z * 0.5, q.z) - h.x);
}

// Hexagonal prism along y: h.x is the inradius, h.y the half height.
float fHexagonIncircle(vec3 p, vec2 h)
{
    return fHexagonCircumcircle(p, vec2(h.x * sqrt(3.0) * 0.5, h.y));
}

// Cone with its base circle at y = 0 and its tip at y = height.
float fCone(vec3 p, float radius, float height)
{
    vec2 q = vec2(length(p.xz), p.y);
    vec2 tip = q - vec2(0.0, height);
    vec2 mantleDir = normalize(vec2(height, radius));
    float mantle = dot(tip, mantleDir);
    float d = max(mantle, -q.y);
    float projected = dot(tip, vec2(mantleDir.y, -mantleDir.x));

    // Above the tip: distance to the tip.
    if ((q.y > height) && (projected < 0.0)) d = max(d, length(tip));

    // Outside the base: distance to the base ring.
    if ((q.x > radius) && (projected > length(vec2(height, radius))))
        d = max(d, length(q - vec2(radius, 0.0)));
    return d;
}

// ---------------------------------------------------------------------------
// Polyhedra from the generalised distance function: the planes of a body
// are given by unit normals from GDFVectors, and a body uses an index range.
// The exponent form sums |dot(p, n)|^e and rounds the edges (not exact); a
// large exponent approaches the flat form. In 32-bit floats the sum
// overflows to +infinity once a projection exceeds about 9.19 (e = 40) or
// 2.68 (e = 90); the distance is then +infinity, which a union treats as
// farther than anything.
// ---------------------------------------------------------------------------

const vec3 GDFVectors[19] = vec3[](
    normalize(vec3(1.0, 0.0, 0.0)),
    normalize(vec3(0.0, 1.0, 0.0)),
    normalize(vec3(0.0, 0.0, 1.0)),

    normalize(vec3(1.0, 1.0, 1.0)),
    normalize(vec3(-1.0, 1.0, 1.0)),
    normalize(vec3(1.0, -1.0, 1.0)),
    normalize(vec3(1.0, 1.0, -1.0)),

    normalize(vec3(0.0, 1.0, PHI + 1.0)),
    normalize(vec3(0.0, -1.0, PHI + 1.0)),
    normalize(vec3(PHI + 1.0, 0.0, 1.0)),
    normalize(vec3(-PHI - 1.0, 0.0, 1.0)),
    normalize(vec3(1.0, PHI + 1.0, 0.0)),
    normalize(vec3(-1.0, PHI + 1.0, 0.0)),

    normalize(vec3(0.0, PHI, 1.0)),
    normalize(vec3(0.0, -PHI, 1.0)),
    normalize(vec3(1.0, 0.0, PHI)),
    normalize(vec3(-1.0, 0.0, PHI)),
    normalize(vec3(PHI, 1.0, 0.0)),
    normalize(vec3(-PHI, 1.0, 0.0)));

// Exponent form over GDFVectors[begin..end] (both inclusive).
float fGDF(vec3 p, float r, float e, int begin, int end)
{
    float d = 0.0;
    for (int i = begin; i <= end; ++i) d += pow(abs(dot(p, GDFVectors[i])), e);
    return pow(d, 1.0 / e) - r;
}

// Flat form: flat faces and sharp edges.
float fGDF(vec3 p, float r, int begin, int end)
{
    float d = 0.0;
    for (int i = begin; i <= end; ++i) d = max(d, abs(dot(p, GDFVectors[i])));
    return d - r;
}

float fOctahedron(vec3 p, float r, float e)
{
    return fGDF(p, r, e, 3, 6);
}

float fDodecahedron(vec3 p, float r, float e)
{
    return fGDF(p, r, e, 13, 18);
}

float fIcosahedron(vec3 p, float r, float e)
{
    return fGDF(p, r, e, 3, 12);
}

float fTruncatedOctahedron(vec3 p, float r, float e)
{
    return fGDF(p, r, e, 0, 6);
}

float fTruncatedIcosahedron(vec3 p, float r, float e)
{
    return fGDF(p, r, e, 3, 18);
}

float fOctahedron(vec3 p, float r)
{
    return fGDF(p, r, 3, 6);
}

float fDodecahedron(vec3 p, float r)
{
    return fGDF(p, r, 13, 18);
}

float fIcosahedron(vec3 p, float r)
{
    return fGDF(p, r, 3, 12);
}

float fTruncatedOctahedron(vec3 p, float r)
{
    return fGDF(p, r, 0, 6);
}

float fTruncatedIcosahedron(vec3 p, float r)
{
    return fGDF(p, r, 3, 18);
}

// ---------------------------------------------------------------------------
// Domain operators
// ---------------------------------------------------------------------------

// Rotation of a pair by a: (a, b) -> (a cos + b sin, -a sin + b cos).
void pR(inout vec2 p, float a)
{
    p = cos(a) * p + sin(a) * vec2(p.y, -p.x);
}

// Rotation by 45 degrees.
void pR45(inout vec2 p)
{
    p = (p + vec2(p.y, -p.x)) * sqrt(0.5);
}

// Repetition along one axis with cells of the given size, centred on the
// origin. A point exactly half a cell above a centre belongs to the next
// cell.
float pMod1(inout float p, float size)
{
    float halfsize = size * 0.5;
    float c = floor((p + halfsize) / size);
    p = mod(p + halfsize, size) - halfsize;
    return c;
}

// As pMod1, mirrored in every even cell (cell 0 included).
float pModMirror1(inout float p, float size)
{
    float halfsize = size * 0.5;
    float c = floor((p + halfsize) / size);
    p = mod(p + halfsize, size) - halfsize;
    p *= mod(c, 2.0) * 2.0 - 1.0;
    return c;
}

// Repetition on the positive side only.
float pModSingle1(inout float p, float size)
{
    float halfsize = size * 0.5;
    float c = floor((p + halfsize) / size);
    if (p >= 0.0) p = mod(p + halfsize, size) - halfsize;
    return c;
}

// Repetition limited to the cells start to stop; outside them the end cells
// stretch on.
float pModInterval1(inout float p, float size, float start, float stop)
{
    float halfsize = size * 0.5;
    float c = floor((p + halfsize) / size);
    p = mod(p + halfsize, size) - halfsize;
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

// Polar repetition of the pair p (angle measured from the first component
// toward the second) into the given number of sectors; cell 0 is the
// sector centred on the first axis. A non-whole count leaves the last sector
// narrower. At the very centre the angle is undefined; the point there stays
// at the centre whatever the angle, so the angle 0 is taken.
float pModPolar(inout vec2 p, float repetitions)
{
    float angle = 2.0 * PI / repetitions;
    float a = ((p.x == 0.0) && (p.y == 0.0)) ? 0.0 : atan(p.y, p.x);
    a += angle / 2.0;
    float r = length(p);
    float c = floor(a / angle);
    a = mod(a, angle) - angle / 2.0;
    p = vec2(cos(a), sin(a)) * r;
    // For an odd count the cell facing the negative first axis would
    // otherwise carry two indices.
    if (abs(c) >= (repetitions / 2.0)) c = abs(c);
    return c;
}

vec2 pMod2(inout vec2 p, vec2 size)
{
    vec2 c = floor((p + size * 0.5) / size);
    p = mod(p + size * 0.5, size) - size * 0.5;
    return c;
}

vec2 pModMirror2(inout vec2 p, vec2 size)
{
    vec2 halfsize = size * 0.5;
    vec2 c = floor((p + halfsize) / size);
    p = mod(p + halfsize, size) - halfsize;
    p *= mod(c, vec2(2.0)) * 2.0 - vec2(1.0);
    return c;
}

// Mirrored repetition whose cells are then folded along their diagonal.
vec2 pModGrid2(inout vec2 p, vec2 size)
{
    vec2 c = floor((p + size * 0.5) / size);
    p = mod(p + size * 0.5, size) - size * 0.5;
    p *= mod(c, vec2(2.0)) * 2.0 - vec2(1.0);
    p -= size / 2.0;
    if (p.x > p.y) p.xy = p.yx;
    return floor(c / 2.0);
}

vec3 pMod3(inout vec3 p, vec3 size)
{
    vec3 c = floor((p + size * 0.5) / size);
    p = mod(p + size * 0.5, size) - size * 0.5;
    return c;
}

// Mirror at the origin, then move dist away from the mirror plane; returns
// the side the point was on.
float pMirror(inout float p, float dist)
{
    float s = sgn(p);
    p = abs(p) - dist;
    return s;
}

// Mirror both components, then fold along the diagonal.
vec2 pMirrorOctant(inout vec2 p, vec2 dist)
{
    vec2 s = sgn(p);
    pMirror(p.x, dist.x);
    pMirror(p.y, dist.y);
    if (p.y > p.x) p.xy = p.yx;
    return s;
}

// Reflect the point across the plane with the given unit normal and offset
// when it lies behind it; returns the side.
float pReflect(inout vec3 p, vec3 planeNormal, float offset)
{
    float t = dot(p, planeNormal) + offset;
    if (t < 0.0) p = p - (2.0 * t) * planeNormal;
    return sgn(t);
}

// ---------------------------------------------------------------------------
// Combination operators
// ---------------------------------------------------------------------------

// Chamfered edges: a 45-degree cut of width r.
float fOpUnionChamfer(float a, float b, float r)
{
    return min(min(a, b), (a - r + b) * sqrt(0.5));
}

float fOpIntersectionChamfer(float a, float b, float r)
{
    return max(max(a, b), (a + r + b) * sqrt(0.5));
}

float fOpDifferenceChamfer(float a, float b, float r)
{
    return fOpIntersectionChamfer(a, -b, r);
}

// Rounded edges: a quarter circle of radius r.
float fOpUnionRound(float a, float b, float r)
{
    vec2 u = max(vec2(r - a, r - b), vec2(0.0));
    return max(r, min(a, b)) - length(u);
}

float fOpIntersectionRound(float a, float b, float r)
{
    vec2 u = max(vec2(r + a, r + b), vec2(0.0));
    return min(-r, max(a, b)) + length(u);
}

float fOpDifferenceRound(float a, float b, float r)
{
    return fOpIntersectionRound(a, -b, r);
}

// n - 1 round columns at 45 degrees along the edge.
float fOpUnionColumns(float a, float b, float r, float n)
{
    if ((a < r) && (b < r)) {
        vec2 p = vec2(a, b);
        float columnradius = r * sqrt(2.0) / ((n - 1.0) * 2.0 + sqrt(2.0));
        pR45(p);
        p.x -= sqrt(2.0) / 2.0 * r;
        p.x += columnradius * sqrt(2.0);
        if (mod(n, 2.0) == 1.0) p.y += columnradius;
        // At this point p points to the centre of a column.
        pMod1(p.y, columnradius * 2.0);
        float result = length(p) - columnradius;
        result = min(result, p.x);
        result = min(result, a);
        return min(result, b);
    }
    return min(a, b);
}

float fOpDifferenceColumns(float a, float b, float r, float n)
{
    a = -a;
    float m = min(a, b);
    if ((a < r) && (b < r)) {
        vec2 p = vec2(a, b);
        float columnradius = r * sqrt(2.0) / ((n - 1.0) * 2.0 + sqrt(2.0));
        pR45(p);
        p.y += columnradius;
        p.x -= sqrt(2.0) / 2.0 * r;
        p.x -= columnradius * sqrt(2.0) / 2.0;
        if (mod(n, 2.0) == 1.0) p.y += columnradius;
        pMod1(p.y, columnradius * 2.0);
        float result = -length(p) + columnradius;
        result = max(result, p.x);
        result = min(result, a);
        return -min(result, b);
    }
    return -m;
}

float fOpIntersectionColumns(float a, float b, float r, float n)
{
    return fOpDifferenceColumns(a, -b, r, n);
}

// n - 1 steps along the edge.
float fOpUnionStairs(float a, float b, float r, float n)
{
    float s = r / n;
    float u = b - r;
    return min(min(a, b), 0.5 * (u + a + abs(mod(u - a + s, 2.0 * s) - s)));
}

float fOpIntersectionStairs(float a, float b, float r, float n)
{
    return -fOpUnionStairs(-a, -b, r, n);
}

float fOpDifferenceStairs(float a, float b, float r, float n)
{
    return -fOpUnionStairs(-a, b, r, n);
}

// Smooth union with a quadratic blend of width r.
float fOpUnionSoft(float a, float b, float r)
{
    float e = max(r - abs(a - b), 0.0);
    return min(a, b) - e * e * 0.25 / r;
}

// A pipe of radius r along the intersection line only.
float fOpPipe(float a, float b, float r)
{
    return length(vec2(a, b)) - r;
}

// A V-shaped groove in a along b.
float fOpEngrave(float a, float b, float r)
{
    return max(a, (a + r - abs(b)) * sqrt(0.5));
}

// A square groove of depth ra and half width rb in a along b.
float fOpGroove(float a, float b, float ra, float rb)
{
    return max(a, min(a + ra, rb - abs(b)));
}

// A square tongue of height ra and half width rb on a along b.
float fOpTongue(float a, float b, float ra, float rb)
{
    return min(a, max(a - ra, abs(b) - rb));
}
