#version 430
// The noise texture: one smooth random value per texel, in all four
// channels. Each value is a cell noise averaged over the 5 x 5 cells around
// the texel, one cell spanning 10 texels; each cell's feature point sits
// near the cell's corner (jitter 0.1) and carries one random value, weighted
// by how close the point is. The stored value is 2 x noise - 0.5, in
// [-0.5, 1.5], in the one channel of the texture.

layout(local_size_x = 8, local_size_y = 8, local_size_z = 1) in;

layout(r32f, binding = 0, location = 0) uniform writeonly image2D noiseTexture;

// Three random-looking numbers in [0, 1) for a cell position.
vec3 hash3(vec2 p)
{
    vec3 q = vec3(dot(p, vec2(127.1, 311.7)),
                  dot(p, vec2(269.5, 183.3)),
                  dot(p, vec2(419.2, 371.9)));
    return fract(sin(q) * 43758.5453);
}

// Cell noise at x with jitter u and smoothness v (v = 1: smooth weights,
// exponent 1; v = 0: exponent 64, nearly the nearest point alone).
float zunoise(vec2 x, float u, float v)
{
    vec2 p = floor(x);
    vec2 f = fract(x);
    float k = 1.0 + 63.0 * pow(1.0 - v, 4.0);

    float va = 0.0;
    float wt = 0.0;
    // A feature point lies within u of its cell's corner, so with u below
    // 0.58 the cells two to the left and two below lie 2 - u or more away
    // along one axis, beyond the weight's reach of 1.414: their weight is
    // exactly 0 and they add nothing to either sum.
    int first = (u < 0.58) ? -1 : -2;
    for (int j = first; j <= 2; j++) {
        for (int i = first; i <= 2; i++) {
            vec2 g = vec2(float(i), float(j));
            vec3 o = hash3(p + g) * vec3(u, u, 1.0);
            vec2 r = g - f + o.xy;
            float d = dot(r, r);
            float ww = pow(1.0 - smoothstep(0.0, 1.414, sqrt(d)), k);
            va += o.z * ww;
            wt += ww;
        }
    }
    // The nearest feature point lies within about 0.85 of x, inside the
    // weight's reach of 1.414, so wt is never 0.
    return va / wt;
}

void main()
{
    uvec2 id = gl_GlobalInvocationID.xy;
    vec2 pos = vec2(id) / 10.0;
    float n = zunoise(pos, 0.1, 1.0) * 2.0 - 1.0 + 1.0 - 0.5;
    imageStore(noiseTexture, ivec2(id), vec4(n));
}
