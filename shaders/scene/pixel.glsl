// ---------------------------------------------------------------------------
// Pixel entry: the letterbox band, the camera, the shading of the primary
// hit with its one mirror bounce, and the two outputs.
//
// Every sample of the field that a pixel needs (the primary march, the
// normal, the soft shadow, the occlusion, the glow probe, the bounce's march
// and its normal) is taken in one loop around one call of the field, stage
// after stage, with the step functions of SphereTracing, opNormal,
// opSoftShadow, opAO and opSSS: the values are theirs, sample for sample.
// One call means the field is compiled once rather than ten times, and a
// rasteriser that runs a group of pixels in lock step lets each pixel go on
// to its next stage while its neighbours still march, instead of holding
// them all at the end of every loop. Two shortcuts cannot change the
// picture either: a ray that OutOfReach shows can meet no surface any more
// ends as a miss at once, and a surface that faces away from the light
// takes no shadow samples (GetPBRColor multiplies the shadow by
// max(0, n . l), which is 0 there).
// ---------------------------------------------------------------------------

// Attachment 0: colour, with the hit distance / MAX_DIST in alpha.
layout(location = 0) out vec4 colorBuffer;
// Attachment 1: the colour where it is bright enough for the bloom chain,
// zero elsewhere.
layout(location = 1) out vec4 bloomBuffer;

void main()
{
    vec2 uv = gl_FragCoord.xy / R0;
    // Only the middle 80 % of the rows are traced; the bars are opaque black.
    if (abs(2.0 * uv.y - 1.0) < 0.8) {
        float aspect = R0.x / R0.y;
        vec2 c = vec2((2.0 * uv.x - 1.0) * aspect, 2.0 * uv.y - 1.0);
        time = mod(T0 * 0.2, 1000.0);
        PO o = ProcessPixel(c);
        colorBuffer = vec4(o.co.rgb, o.de / MAX_DIST);
        // Twice the Rec. 709 luminance against the threshold track.
        float lum = dot(2.0 * o.co.rgb, vec3(0.2126, 0.7152, 0.0722));
        bloomBuffer = (lum > bloomLuminance) ? o.co : vec4(0.0);
    } else {
        colorBuffer = vec4(0.0, 0.0, 0.0, 1.0);
        bloomBuffer = vec4(0.0);
    }
}

// The stages of a pixel's samples, in their order.
const int kPrimaryMarch = 0;   // up to 200 samples
const int kPrimaryNormal = 1;  // 6
const int kShadow = 2;         // up to 32, none where the surface faces away
const int kOcclusion = 3;      // 3
const int kGlow = 4;           // 1, only for a translucent material
const int kBounceMarch = 5;    // up to 200, only for a reflective material
const int kBounceNormal = 6;   // 6
const int kShaded = 7;
const int kMostSamples = 200 + 6 + 32 + 3 + 1 + 200 + 6;

// One primary ray for the centred, aspect-corrected screen position c.
PO ProcessPixel(vec2 c)
{
    PO o = PO(vec4(0.01, 0.01, 0.01, 0.0), 0.0);  // the miss colour

    // Before the camera turns it looks along +z, y up, the image centre
    // 14 degrees below the horizon.
    vec3 ro = vec3(0.0);
    vec3 rd = normalize(vec3(c.x, c.y - 1.0, 4.0));

    // Roll, then tilt, then turn about the vertical axis.
    mat2 roll = opRotate(camRotZ);
    ro.xy *= roll;
    rd.xy *= roll;
    mat2 tilt = opRotate(camRotY);
    ro.yz *= tilt;
    rd.yz *= tilt;
    mat2 turn = opRotate(camRotX);
    ro.xz *= turn;
    rd.xz *= turn;
    ro += vec3(camPosX, camPosY, camPosZ);

    // The blob scene orbits the camera about the world's vertical axis; the
    // effect cluster above 3 looks from the other side.
    if (scene > 2.0 && scene < 3.0) {
        mat2 orbit = opRotate(T0 * 0.1 + 2.7);
        ro.xz *= orbit;
        rd.xz *= orbit;
    } else if (scene > 3.0) {
        mat2 orbit = opRotate(3.14);
        ro.xz *= orbit;
        rd.xz *= orbit;
    }

    // One directional light, fixed in the world.
    vec3 l = normalize(vec3(0.2, 0.1, -0.2));
    vec3 L = vec3(1.2, 2.0, 2.0) * 0.5;

    SceneClock clock = GetSceneClock();
    int stage = kPrimaryMarch;
    int taken = 0;           // samples taken in this stage
    vec3 origin = ro;        // the ray being marched (or the shadow ray)
    vec3 dir = rd;
    float t = 0.0;           // distance along it
    SD hit = kInvalidSceneData;
    SD bounce = kInvalidSceneData;
    vec3 p = ro;             // the hit, then the bounce's hit
    vec3 n = vec3(0.0);      // the hit's normal, then the bounce's
    vec3 nr = vec3(0.0);
    vec3 difference = vec3(0.0);
    float plus = 0.0;        // the +0.001 sample of the axis being differenced
    float shadow = 1.0;
    float previous = 1e10;   // the shadow's previous reading
    float occlusion = 0.0;
    float weight = 1.0;
    vec3 glow = vec3(0.0);
    for (int i = 0; i < kMostSamples && stage != kShaded; ++i) {
        vec3 q = origin + dir * t;
        if (stage == kPrimaryNormal || stage == kBounceNormal) q = opNormalProbe(p, taken);
        else if (stage == kOcclusion) q = p + n * opAOHeight(taken);
        else if (stage == kGlow) q = p + l * (0.1 + hit.ma.tr);
        SD s = GetSceneAt(q, clock);
        ++taken;

        int next = stage;
        if (stage == kPrimaryMarch || stage == kBounceMarch) {
            int step = opMarchStep(s.di, t);
            if (step == kMarchHit) {
                s.di = t;
                p = q;
                if (stage == kPrimaryMarch) {
                    hit = s;
                    next = (hit.va == 1) ? kPrimaryNormal : kShaded;
                } else {
                    bounce = s;
                    next = (bounce.va > 0) ? kBounceNormal : kShaded;
                }
            } else if (step == kMarchMiss || taken == 200 || OutOfReach(origin + dir * t, dir)) {
                next = kShaded;
            }
        } else if (stage == kPrimaryNormal || stage == kBounceNormal) {
            if ((taken & 1) == 1) plus = s.di;
            else difference[taken / 2 - 1] = plus - s.di;
            if (taken == 6) {
                vec3 normal = opSafeNormalize(difference, vec3(0.0, 1.0, 0.0));
                if (stage == kPrimaryNormal) {
                    n = normal;
                    next = (dot(n, l) > 0.0) ? kShadow : kOcclusion;
                    origin = p;
                    dir = l;
                    t = 0.01;
                } else {
                    nr = normal;
                    next = kShaded;
                }
            }
        } else if (stage == kShadow) {
            if (opShadowStep(s.di, t, previous, shadow, 3.0) || taken == 32) next = kOcclusion;
        } else if (stage == kOcclusion) {
            occlusion += (opAOHeight(taken - 1) - s.di) * weight;
            weight *= 0.95;
            if (taken == 3) next = (hit.ma.tr < 0.1) ? kBounceMarch : kGlow;
        } else {
            glow = opSSSGlow(s.di, L, hit.ma);
            next = kBounceMarch;
        }

        if (next == kBounceMarch && stage != kBounceMarch) {
            if (hit.ma.re > 0.0) {
                dir = opSafeNormalize(reflect(rd, n), n);
                origin = p + 0.1 * dir;
                t = 0.0;
            } else {
                next = kShaded;
            }
        }
        if (next != stage) {
            stage = next;
            taken = 0;
        }
    }

    if (hit.va == 1) {
        vec3 at = ro + rd * hit.di;
        // A camera inside a surface hits at distance 0: look back along the ray.
        vec3 v = opSafeNormalize(ro - at, -rd);
        vec3 colour = GetPBRColor(n, v, l, L, clamp(shadow, 0.0, 1.0), hit.ma);
        colour *= clamp(1.0 - 2.0 * occlusion, 0.0, 1.0);
        colour += glow;

        // One mirror bounce, lit without shadow, occlusion or glow.
        if (bounce.va > 0) {
            vec3 pr = origin + dir * bounce.di;
            vec3 vr = opSafeNormalize(origin - pr, -dir);
            colour += GetPBRColor(nr, vr, l, L, 1.0, bounce.ma) * hit.ma.re;
        }

        o.co.rgb = colour;
        o.de = hit.di;
    }
    return o;
}
