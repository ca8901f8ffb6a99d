
// ---------------------------------------------------------------------------
// Pixel entry: the letterbox band, the camera, the shading of the primary
// hit with its one mirror bounce, and the two outputs.
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

    SD hit = RayMarch(ro, rd);
    if (hit.va == 1) {
        vec3 p = ro + rd * hit.di;
        vec3 n = opNormal(p);
        // A camera inside a surface hits at distance 0: look back along the ray.
        vec3 v = opSafeNormalize(ro - p, -rd);

        // One directional light, fixed in the world.
        vec3 l = normalize(vec3(0.2, 0.1, -0.2));
        vec3 L = vec3(1.2, 2.0, 2.0) * 0.5;

        float s = opSoftShadow(p, l, 0.01, 3.0);
        vec3 colour = GetPBRColor(n, v, l, L, s, hit.ma);
        colour *= opAO(p, n);
        colour += opSSS(p, l, L, hit.ma);

        // One mirror bounce, lit without shadow, occlusion or glow.
        if (hit.ma.re > 0.0) {
            vec3 r = opSafeNormalize(reflect(rd, n), n);
            vec3 origin = p + 0.1 * r;
            SD bounce = RayMarch(origin, r);
            if (bounce.va > 0) {
                vec3 pr = origin + r * bounce.di;
                vec3 nr = opNormal(pr);
                vec3 vr = opSafeNormalize(origin - pr, -r);
                colour += GetPBRColor(nr, vr, l, L, 1.0, bounce.ma) * hit.ma.re;
            }
        }

        o.co.rgb = colour;
        o.de = hit.di;
    }
    return o;
}
