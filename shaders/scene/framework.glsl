
// ---------------------------------------------------------------------------
// Shading framework: the sphere tracer and the lighting of one hit (normal,
// soft shadow, physically based specular and diffuse terms, ambient
// occlusion, translucency glow). The scene definitions (GetScene) follow,
// and the pixel entry ends the text.
// ---------------------------------------------------------------------------

// What one pixel yields: the shaded colour (alpha always 0) and the distance
// along the primary ray to the hit (0 for a miss).
struct PO {
    vec4 co;
    float de;
};

const MA kInvalidMaterial = MA(vec3(0.0), 0.0, 0.0, 0.0, 0.0);
// A missed ray, and an empty slot in the scene's unions.
const SD kInvalidSceneData = SD(0, 100.0, kInvalidMaterial);

// The hit distance is written to attachment 0 divided by this.
const float MAX_DIST = 100.0;
// Every marching step is this fraction of the distance bound: the polyhedra
// and the noise-shaped ground are not exact distances.
const float kStepFix = 0.5;
// The marcher gives up beyond this distance along the ray.
const float kFarLimit = 200.0;

// The scene clock, mod(T0 x 0.2, 1000), set by main for every pixel.
float time;

SD GetScene(vec3 p);
PO ProcessPixel(vec2 c);

// Rotation of a row vector: v * opRotate(r) maps (a, b) to
// (a cos r + b sin r, -a sin r + b cos r).
mat2 opRotate(float r)
{
    return mat2(cos(r), sin(r), -sin(r), cos(r));
}

// The nearer of two samples; equal distances give b.
SD opUnion(SD a, SD b)
{
    return (a.di < b.di) ? a : b;
}

// v normalised; where v has no direction (zero or not finite) the fallback,
// so that no NaN reaches a colour.
vec3 opSafeNormalize(vec3 v, vec3 fallback)
{
    float l = length(v);
    return (l > 0.0 && l < 3.0e38) ? v / l : fallback;
}

// What one step of the sphere tracer found.
const int kMarchOn = 0;    // nothing yet: t has moved on
const int kMarchHit = 1;   // a surface closer than 0.001 (or the point is inside one)
const int kMarchMiss = 2;  // t has passed the far limit

// One step of the sphere tracer at distance t along the ray, where the
// field reads d: a hit leaves t as the distance to the hit; otherwise t
// moves on by half the distance bound.
int opMarchStep(float d, inout float t)
{
    if (d < 0.001) return kMarchHit;
    t += d * kStepFix;
    return (t > kFarLimit) ? kMarchMiss : kMarchOn;
}

// Sphere tracing along the unit direction rd: up to 200 steps of half the
// distance bound. A sample closer than 0.001 (or inside) is the hit, with di
// set to the distance along the ray; beyond the far limit or after the last
// step the ray has missed.
SD SphereTracing(vec3 ro, vec3 rd)
{
    float t = 0.0;
    for (int i = 0; i < 200; ++i) {
        SD s = GetScene(ro + rd * t);
        int step = opMarchStep(s.di, t);
        if (step == kMarchHit) {
            s.di = t;
            return s;
        }
        if (step == kMarchMiss) return kInvalidSceneData;
    }
    return kInvalidSceneData;
}

#define RayMarch SphereTracing

// The six points the normal samples around p: k = 0 and 1 are p moved by
// +0.001 and -0.001 along x, 2 and 3 along y, 4 and 5 along z.
vec3 opNormalProbe(vec3 p, int k)
{
    vec3 e = vec3(0.0);
    e[k / 2] = 0.001;
    return ((k & 1) == 0) ? p + e : p - e;
}

// Surface normal by central differences (offset 0.001 along x, y, z). Where
// the field has no gradient the normal points up.
vec3 opNormal(vec3 p)
{
    vec3 n = vec3(0.0);
    for (int axis = 0; axis < 3; ++axis)
        n[axis] = GetScene(opNormalProbe(p, 2 * axis)).di - GetScene(opNormalProbe(p, 2 * axis + 1)).di;
    return opSafeNormalize(n, vec3(0.0, 1.0, 0.0));
}

// One sample of the soft shadow: the field reads h at distance t along the
// shadow ray, ph is the previous sample's reading. The sample estimates how
// near the ray passes to the surface between the two and lowers res to
// match (penumbra sharpness 10); where that estimate is undefined (h^2 <
// y^2, which happens where the field is not an exact distance, or t - y not
// positive) it tells nothing and is skipped. Then t moves on by h. Returns
// true once the shadow is decided: res below 0.0001, or t past tmax.
bool opShadowStep(float h, inout float t, inout float ph, inout float res, float tmax)
{
    float y = h * h / (2.0 * ph);
    float dd = h * h - y * y;
    float ahead = t - y;
    if (dd >= 0.0 && ahead > 0.0) res = min(res, 10.0 * sqrt(dd) / ahead);
    ph = h;
    t += h;
    return res < 0.0001 || t > tmax;
}

// Soft shadow toward the light along l, from mint to tmax: up to 32
// samples, the first with no previous reading (ph huge, so y is 0).
float opSoftShadow(vec3 o, vec3 l, float mint, float tmax)
{
    float res = 1.0;
    float t = mint;
    float ph = 1e10;
    for (int i = 0; i < 32; ++i)
        if (opShadowStep(GetScene(o + l * t).di, t, ph, res, tmax)) break;
    return clamp(res, 0.0, 1.0);
}

// GGX (Trowbridge-Reitz) normal distribution. With alpha 0 (a perfect
// mirror) the distribution is 0 everywhere but in the exact mirror
// direction, where the formula is 0 / 0; it is taken as 0 there too.
float NormalDistributionFunctionGGXTR(vec3 n, vec3 m, float alpha)
{
    float a2 = alpha * alpha;
    float c = max(0.0, dot(n, m));
    float q = c * c * (a2 - 1.0) + 1.0;
    float denominator = 3.14 * q * q;
    return (denominator > 0.0) ? a2 / denominator : 0.0;
}

// Smith's shadowing term for one direction.
float GeometryGGX(float x, float alpha)
{
    float k = (alpha + 1.0) * (alpha + 1.0) / 8.0;
    return x / (x * (1.0 - k) + k);
}

float GeometrySmith(float NdotV, float NdotL, float alpha)
{
    return GeometryGGX(NdotL, alpha) * GeometryGGX(NdotV, alpha);
}

vec3 FresnelSchlick(vec3 v, vec3 h, vec3 F0)
{
    return F0 + (vec3(1.0) - F0) * pow(1.0 - max(0.0, dot(v, h)), 5.0);
}

// Colour of a surface with normal n seen along v, lit from l with radiance
// L and shadow s: an ambient 0.08 x albedo (not shadowed) plus the diffuse
// and specular terms.
vec3 GetPBRColor(vec3 n, vec3 v, vec3 l, vec3 L, float s, MA m)
{
    vec3 F0 = mix(vec3(0.04), m.al, m.me);
    vec3 h = opSafeNormalize(v + l, n);
    float alpha = m.ro * m.ro;
    float NdotL = max(0.0, dot(n, l));
    float NdotV = max(0.0, dot(n, v));

    float D = NormalDistributionFunctionGGXTR(n, h, alpha);
    vec3 F = FresnelSchlick(v, h, F0);
    float G = GeometrySmith(NdotV, NdotL, alpha);

    vec3 Kd = (vec3(1.0) - F) * (1.0 - m.me);
    vec3 specular = D * F * G / max(4.0 * NdotL * NdotV, 0.01);
    return 0.08 * m.al + (Kd * m.al / 3.14 + specular) * L * (NdotL * s);
}

// Height above the surface of the occlusion's sample i (0, 1, 2); its
// weight is 0.95^i.
float opAOHeight(int i)
{
    return 0.01 + 0.11 * float(i) / 4.0;
}

// Ambient occlusion from three samples along the normal.
float opAO(vec3 p, vec3 n)
{
    float value = 0.0;
    float weight = 1.0;
    for (int i = 0; i < 3; ++i) {
        float h = opAOHeight(i);
        value += (h - GetScene(p + n * h).di) * weight;
        weight *= 0.95;
    }
    return clamp(1.0 - 2.0 * value, 0.0, 1.0);
}

// The glow of a translucent material m lit with radiance L when the probe
// toward the light reads d: the farther the probe is from any surface, the
// more light passes through; a probe inside a surface adds nothing.
vec3 opSSSGlow(float d, vec3 L, MA m)
{
    if (d < 0.0) return vec3(0.0);
    return 16.0 * 0.01 * d * (m.al + 0.1 * d * L);
}

// Translucency glow: one probe toward the light, tr + 0.1 away.
vec3 opSSS(vec3 p, vec3 l, vec3 L, MA m)
{
    if (m.tr < 0.1) return vec3(0.0);
    return opSSSGlow(GetScene(p + l * (0.1 + m.tr)).di, L, m);
}
