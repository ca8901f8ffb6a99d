
// ---------------------------------------------------------------------------
// The show's world: a noise-shaped ground, a rippled water plane at y = -1
// and one foreground chosen by the scene track:
//   scene < 2          the cluster (GetShape)
//   2 < scene < 3      the blob, melted into the water (GetShape2)
//   otherwise          the effect cluster (GetShape3); exactly 2 and
//                      exactly 3 draw it too, without the camera turns
// The clusters sit at (0, 1, 0) in a slowly tumbling frame and are mirrored
// into its eight octants.
//
// A scene program may be built for one foreground alone: with SCENE_FOREGROUND
// defined as 1, 2 or 3 the text holds only GetShape, GetShape2 or GetShape3
// in GetScene, and 4 is the effect cluster while blobEffect is 0, when its
// bumps are multiplied by 0: that build leaves out their texture sample.
// The render code draws a build only where the frame's values choose it. A
// software rasteriser runs both sides of every branch for a group of
// pixels, so in the one build with all three each sample of the field paid
// for every foreground. Without the definition (as in the tests) GetScene
// holds all three.
// ---------------------------------------------------------------------------

#ifndef SCENE_FOREGROUND
#define SCENE_FOREGROUND 0
#endif

// The noise texture at a 2D coordinate, on its one level: sampled inside the
// marching loops, so it must not depend on screen-space derivatives.
vec4 NT(vec2 x)
{
    return textureLod(NoiseTex, x, 0.0);
}

// Polynomial smooth minimum of a and b with smoothing radius k.
float smin(float a, float b, float k)
{
    float h = clamp(0.5 + 0.5 * (b - a) / k, 0.0, 1.0);
    return mix(b, a, h) - k * h * (1.0 - h);
}

// The turns and the count that depend on the clock alone, the same for
// every point of a frame: the pixel entry works them out once and hands
// them to every sample of the field (GetSceneAt), instead of each sample
// taking a dozen sines and cosines of its own.
struct SceneClock {
    mat2 frame;             // the clusters' tumbling frame
    mat2 ringTurn;          // the dodecahedron rings, both clusters
    mat2 ringTilt;
    mat2 clusterTurn;       // the cluster's octahedron
    float clusterCount;     // the cluster's dodecahedra per ring, 3 to 7
    mat2 effectTurn;        // the effect cluster's octahedron
    mat2 blobTurn;
};

SceneClock GetSceneClock()
{
    SceneClock k;
    k.frame = opRotate(sin(0.1 * time) + 0.1 * time);
    k.ringTurn = opRotate(sin(time) + 0.1 * time);
    k.ringTilt = opRotate(2.0 * sin(0.4 * time));
    k.clusterTurn = opRotate(-0.4 * time);
    k.clusterCount = 5.0 + 2.0 * sin(sin(time) + 0.5 * time);
    k.effectTurn = opRotate(-time * 0.5 * (1.0 - blobEffect));
    k.blobTurn = opRotate(0.2 * T0);
    return k;
}

// The dodecahedron ring shared by both clusters: dodecahedra of radius 0.5
// standing 1.5 from the frame's vertical axis, count of them per ring given.
SD opDodecahedronRing(vec3 q, float count, SceneClock k)
{
    q.xz *= k.ringTurn;
    q.yz *= k.ringTilt;
    pModPolar(q.xz, count);
    float d = fDodecahedron(q - vec3(1.5, 0.0, 0.0), 0.5, 90.0);
    return SD(1, d, MA(vec3(0.0), 0.2, 0.9, 0.0, 0.8));
}

// The cluster: a turning octahedron inside a ring of dodecahedra whose count
// sweeps between 3 and 7 (in general not a whole number). q is the point in
// the mirrored cluster frame.
SD GetShapeAt(vec3 q, SceneClock k)
{
    vec3 qa = q;
    qa.xz *= k.clusterTurn;
    SD octahedron = SD(1, fOctahedron(qa, 0.5, 40.0), MA(vec3(0.6), 0.7, 0.4, 0.8, 0.5));
    SD ring = opDodecahedronRing(q, k.clusterCount, k);
    return opUnion(octahedron, ring);
}

SD GetShape(vec3 q)
{
    return GetShapeAt(q, GetSceneClock());
}

// The blob: a sphere of radius 1 at height blobPos on the vertical axis, its
// surface pushed by scrolling noise as blobEffect grows. p is the world
// point.
SD GetShape2At(vec3 p, SceneClock k)
{
    p.xz *= k.blobTurn;
    vec4 dn = fbmd(p + vec3(0.0, 0.5 * T0, 0.0)) * blobEffect * 0.5;
    float d = length(p - vec3(0.0, blobPos, 0.0)) - 1.0 - dn.x;
    float e = blobEffect;
    MA blob = MA(0.8 * mix(vec3(0.3, 0.0, 0.0), vec3(0.4, 0.4, 0.5), e), 0.3, 0.6, 0.8 * e,
                 0.1 + 0.9 * (1.0 - e));
    return SD(1, d, blob);
}

SD GetShape2(vec3 p)
{
    return GetShape2At(p, GetSceneClock());
}

// The effect cluster: as the cluster with five dodecahedra per ring; as
// blobEffect grows the octahedron reddens, turns smooth and opaque, takes on
// bumps from the noise texture and stops turning.
SD GetShape3At(vec3 q, SceneClock k)
{
    float e = blobEffect;
#if SCENE_FOREGROUND == 4
    vec4 b = vec4(0.0);
#else
    vec4 b = NT(abs(0.01 * T0 + 0.5 + q.xz / 10.0)) * e;
#endif
    vec3 qa = q;
    qa.xz *= k.effectTurn;
    MA red = MA(mix(vec3(0.6), vec3(0.3, 0.0, 0.0), e), 0.7 - 0.7 * e, 0.4, 0.8 * (1.0 - e), 0.5);
    SD octahedron = SD(1, fOctahedron(qa, 0.5 + 0.05 * b.x, 40.0), red);
    SD ring = opDodecahedronRing(q, 5.0, k);
    return opUnion(octahedron, ring);
}

SD GetShape3(vec3 q)
{
    return GetShape3At(q, GetSceneClock());
}

// The field at p with the clock's turns worked out beforehand.
SD GetSceneAt(vec3 p, SceneClock k)
{
    // Ground relief: four scales of the noise texture, mirrored at 0.
    vec4 n = NT(abs(0.5 + p.xz / 200.0)) + 0.1 * NT(abs(0.5 + p.xz / 60.0)) +
             0.01 * NT(abs(0.5 + p.xz / 4.0)) + 0.02 * NT(abs(0.5 + p.xz / 10.0));
    float N = n.x;

    // The clusters' tumbling frame.
    vec3 p1 = p - vec3(0.0, 1.0, 0.0);
    p1.yz *= k.frame;

    SD shape = kInvalidSceneData;

    // Ripples of height 0.01 running outward from (-1.4, 0, 0).
    MA waterMaterial = MA(vec3(0.3, 0.0, 0.0) * 0.8, 0.0, 0.8, 0.0, 0.9);
    float ripple = 0.01 * sin(4.1 * length(1.4 * (p + vec3(1.4, 0.0, 0.0))) - 3.0 * time);
    SD water = SD(1, p.y + 1.0 - ripple, waterMaterial);

    if (scene < 2.0) {
#if SCENE_FOREGROUND == 0 || SCENE_FOREGROUND == 1
        shape = GetShapeAt(abs(p1), k);
#endif
    } else if (scene > 2.0 && scene < 3.0) {
#if SCENE_FOREGROUND == 0 || SCENE_FOREGROUND == 2
        // The blob melts into the water and wears its own material wherever
        // it alone is nearer.
        SD blob = GetShape2At(p, k);
        if (blob.di < water.di) water.ma = blob.ma;
        water.di = smin(blob.di, water.di, 1.0);
#endif
    } else {
#if SCENE_FOREGROUND == 0 || SCENE_FOREGROUND >= 3
        shape = GetShape3At(abs(p1), k);
#endif
    }

    // Concentric swells about the vertical axis, roughened by the noise;
    // where they rise above -1 they break through the water.
    float r = length(p.xz);
    MA groundMaterial = MA(vec3(0.2, 0.18, 0.18) * 1.21, 0.6 - 0.1 * N, 0.1 + 0.5 * N, 0.5, 0.0);
    SD ground = SD(1, p.y + 1.4 - N + 0.32 * sin(1.0 + 0.4 * r + sin(5.0 * r)), groundMaterial);

    return opUnion(shape, opUnion(ground, water));
}

SD GetScene(vec3 p)
{
    return GetSceneAt(p, GetSceneClock());
}

// Whether a ray at q going along dir is past every surface: no later
// sample of it can come within 0.001 of one. That holds once it climbs
// above the highest ground (the noise is at most 1.5 x 1.13, the swells
// 0.32: below y = 0.62) while moving away from the foreground's bounding
// sphere:
//   clusters  about (0, 1, 0): the octahedron's sum of powers is at least
//             its largest, and that projection at least |q| / sqrt(3); a
//             dodecahedron's at least 0.7946 times the distance to its
//             centre, 1.5 from the axis; so nothing beyond 2.2 (more for an
//             effect cluster whose bumps grow past 0.6)
//   blob      about (0, blobPos, 0): at most 1 + 0.47 |blobEffect| from it
//             (the noise is at most 0.9375 x 0.5), and the smooth union
//             with the water reaches at most 0.25 below either surface
bool OutOfReach(vec3 q, vec3 dir)
{
    if (!(dir.y >= 0.0 && q.y > 0.7)) return false;
    vec3 centre = vec3(0.0, 1.0, 0.0);
    float radius = max(2.2, 1.75 * (0.51 + 0.075 * abs(blobEffect)));
    if (scene > 2.0 && scene < 3.0) {
        centre = vec3(0.0, blobPos, 0.0);
        radius = 1.3 + 0.47 * abs(blobEffect);
    }
    vec3 away = q - centre;
    return dot(away, dir) >= 0.0 && dot(away, away) > radius * radius;
}
