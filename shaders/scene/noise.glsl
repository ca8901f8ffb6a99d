
// ---------------------------------------------------------------------------
// Noise: a sine hash, value noise on the integer lattice with its analytic
// derivatives, and four octaves of it. The hash takes the sine of large
// arguments, so the exact pattern depends on the GPU's sine.
// ---------------------------------------------------------------------------

// A random-looking number in [0, 1) for a float seed.
float hash(float n)
{
    return fract(sin(n) * 753.5453123);
}

// Value noise at x: (value in [0, 1], d/dx, d/dy, d/dz). The eight corners
// of the lattice cell are hashed from one seed, n = i.x + 157 i.y + 113 i.z,
// and blended with the smooth step w^2 (3 - 2w), whose derivative 6w(1 - w)
// vanishes at the corners.
vec4 noised(vec3 x)
{
    vec3 i = floor(x);
    vec3 w = fract(x);
    vec3 u = w * w * (3.0 - 2.0 * w);
    vec3 du = 6.0 * w * (1.0 - w);

    float n = i.x + 157.0 * i.y + 113.0 * i.z;
    float a = hash(n + 0.0);
    float b = hash(n + 1.0);
    float c = hash(n + 157.0);
    float d = hash(n + 158.0);
    float e = hash(n + 113.0);
    float f = hash(n + 114.0);
    float g = hash(n + 270.0);
    float h = hash(n + 271.0);

    float k0 = a;
    float k1 = b - a;
    float k2 = c - a;
    float k3 = e - a;
    float k4 = a - b - c + d;
    float k5 = a - c - e + g;
    float k6 = a - b - e + f;
    float k7 = -a + b + c - d + e - f - g + h;

    float value = k0 + k1 * u.x + k2 * u.y + k3 * u.z + k4 * u.x * u.y + k5 * u.y * u.z +
                  k6 * u.z * u.x + k7 * u.x * u.y * u.z;
    vec3 derivative = du * vec3(k1 + k4 * u.y + k6 * u.z + k7 * u.y * u.z,
                                k2 + k5 * u.z + k4 * u.x + k7 * u.z * u.x,
                                k3 + k6 * u.x + k5 * u.y + k7 * u.x * u.y);
    return vec4(value, derivative);
}

// Four octaves of noised: amplitudes 0.5, 0.25, 0.125, 0.0625 (so the value
// lies in [0, 0.9375]), frequencies growing by 1.8, all scaled by 1.5.
// Returns (value, derivatives).
vec4 fbmd(vec3 x)
{
    const float scale = 1.5;
    float sum = 0.0;
    float amplitude = 0.5;
    float frequency = 1.0;
    vec3 derivative = vec3(0.0);
    for (int i = 0; i < 4; ++i) {
        vec4 s = noised(frequency * x * scale);
        sum += amplitude * s.x;
        derivative += amplitude * s.yzw * frequency * scale;
        amplitude *= 0.5;
        frequency *= 1.8;
    }
    return vec4(sum, derivative);
}
