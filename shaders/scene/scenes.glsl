
// ---------------------------------------------------------------------------
// The show's world: a noise-shaped ground, a rippled water plane at y = -1
// and one foreground chosen by the scene track:
//   scene < 2          the cluster (GetShape)
//   2 < scene < 3      the blob, melted into the water (GetShape2)
//   otherwise          the effect cluster (GetShape3); exactly 2 and
//                      exactly 3 draw it too, without the camera turns
// The clusters sit at (0, 1, 0) in a slowly tumbling frame and are mirrored
// into its eight octants.
// ---------------------------------------------------------------------------

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

// The dodecahedron ring shared by both clusters: dodecahedra of radius 0.5
// standing 1.5 from the frame's vertical axis, count of them per ring given.
SD opDodecahedronRing(vec3 q, float count)
{
    q.xz *= opRotate(sin(time) + 0.1 * time);
    q.yz *= opRotate(2.0 * sin(0.4 * time));
    pModPolar(q.xz, count);
    float d = fDodecahedron(q - vec3(1.5, 0.0, 0.0), 0.5, 90.0);
    return SD(1, d, MA(vec3(0.0), 0.2, 0.9, 0.0, 0.8));
}

// The cluster: a turning octahedron inside a ring of dodecahedra whose count
// sweeps between 3 and 7 (in general not a whole number). q is the point in
// the mirrored cluster frame.
SD GetShape(vec3 q)
{
    vec3 qa = q;
    qa.xz *= opRotate(-0.4 * time);
    SD octahedron = SD(1, fOctahedron(qa, 0.5, 40.0), MA(vec3(0.6), 0.7, 0.4, 0.8, 0.5));
    SD ring = opDodecahedronRing(q, 5.0 + 2.0 * sin(sin(time) + 0.5 * time));
    return opUnion(octahedron, ring);
}

// The blob: a sphere of radius 1 at height blobPos on the vertical axis, its
// surface pushed by scrolling noise as blobEffect grows. p is the world
// point.
SD GetShape2(vec3 p)
{
    p.xz *= opRotate(0.2 * T0);
    vec4 dn = fbmd(p + vec3(0.0, 0.5 * T0, 0.0)) * blobEffect * 0.5;
    float d = length(p - vec3(0.0, blobPos, 0.0)) - 1.0 - dn.x;
    float e = blobEffect;
    MA blob = MA(0.8 * mix(vec3(0.3, 0.0, 0.0), vec3(0.4, 0.4, 0.5), e), 0.3, 0.6, 0.8 * e,
                 0.1 + 0.9 * (1.0 - e));
    return SD(1, d, blob);
}

// The effect cluster: as the cluster with five dodecahedra per ring; as
// blobEffect grows the octahedron reddens, turns smooth and opaque, takes on
// bumps from the noise texture and stops turning.
SD GetShape3(vec3 q)
{
    float e = blobEffect;
    vec4 b = NT(abs(0.01 * T0 + 0.5 + q.xz / 10.0)) * e;
    vec3 qa = q;
    qa.xz *= opRotate(-time * 0.5 * (1.0 - e));
    MA red = MA(mix(vec3(0.6), vec3(0.3, 0.0, 0.0), e), 0.7 - 0.7 * e, 0.4, 0.8 * (1.0 - e), 0.5);
    SD octahedron = SD(1, fOctahedron(qa, 0.5 + 0.05 * b.x, 40.0), red);
    SD ring = opDodecahedronRing(q, 5.0);
    return opUnion(octahedron, ring);
}

SD GetScene(vec3 p)
{
    // Ground relief: four scales of the noise texture, mirrored at 0.
    vec4 n = NT(abs(0.5 + p.xz / 200.0)) + 0.1 * NT(abs(0.5 + p.xz / 60.0)) +
             0.01 * NT(abs(0.5 + p.xz / 4.0)) + 0.02 * NT(abs(0.5 + p.xz / 10.0));
    float N = n.x;

    // The clusters' tumbling frame.
    vec3 p1 = p - vec3(0.0, 1.0, 0.0);
    p1.yz *= opRotate(sin(0.1 * time) + 0.1 * time);

    SD shape = kInvalidSceneData;

    // Ripples of height 0.01 running outward from (-1.4, 0, 0).
    MA waterMaterial = MA(vec3(0.3, 0.0, 0.0) * 0.8, 0.0, 0.8, 0.0, 0.9);
    float ripple = 0.01 * sin(4.1 * length(1.4 * (p + vec3(1.4, 0.0, 0.0))) - 3.0 * time);
    SD water = SD(1, p.y + 1.0 - ripple, waterMaterial);

    if (scene < 2.0) {
        shape = GetShape(abs(p1));
    } else if (scene > 2.0 && scene < 3.0) {
        // The blob melts into the water and wears its own material wherever
        // it alone is nearer.
        SD blob = GetShape2(p);
        if (blob.di < water.di) water.ma = blob.ma;
        water.di = smin(blob.di, water.di, 1.0);
    } else {
        shape = GetShape3(abs(p1));
    }

    // Concentric swells about the vertical axis, roughened by the noise;
    // where they rise above -1 they break through the water.
    float r = length(p.xz);
    MA groundMaterial = MA(vec3(0.2, 0.18, 0.18) * 1.21, 0.6 - 0.1 * N, 0.1 + 0.5 * N, 0.5, 0.0);
    SD ground = SD(1, p.y + 1.4 - N + 0.32 * sin(1.0 + 0.4 * r + sin(5.0 * r)), groundMaterial);

    return opUnion(shape, opUnion(ground, water));
}
