#version 430
// Depth of field: inside the letterbox band, each pixel gathers 198 samples
// along a golden-angle spiral out to 20 pixels. A sample joins the average
// as far as its own circle of confusion reaches the ring it lies on;
// otherwise the running mean counts again. A sample behind the centre may
// not be blurred more than twice the centre, so a sharp foreground edge
// keeps the blurred background out. Outside the band the result is zero.
//
// Depth is the scene's alpha (hit distance / 100) times 1000; 0 is a ray
// that hit nothing and stands for infinitely far away.
//
// The build puts the FD and TrackData blocks in front of this text.

layout(binding = 0) uniform sampler2D depthSource;
layout(binding = 1) uniform sampler2D colorSource;

layout(location = 0) out vec4 color;

const float kDepthScale = 1000.0;
const float kGoldenAngle = 2.39996;
const float kMaxRadius = 20.0;
const float kRadiusScale = 1.0;

float depthAt(vec2 uv)
{
    return texture(depthSource, uv).a * kDepthScale;
}

// Blur radius in pixels, 0 to 20: |clamp((1/P - 1/D) * S, -1, 1)| * 20.
// A focus point or a depth of 0 makes its reciprocal infinite, so the
// radius is the largest, 20, unless the scale is 0, when nothing blurs.
// These cases are decided here rather than left to 1/0, inf - inf and
// inf * 0, which give NaN (and GLSL leaves division by zero unspecified).
float circleOfConfusion(float depth)
{
    if (dofFocusScale == 0.0)
        return 0.0;
    if (depth == 0.0 || dofFocusPoint == 0.0)
        return kMaxRadius;
    float c = clamp((1.0 / dofFocusPoint - 1.0 / depth) * dofFocusScale, -1.0, 1.0);
    return abs(c) * kMaxRadius;
}

void main()
{
    vec2 uv = gl_FragCoord.xy / R0;
    if (!(abs(2.0 * uv.y - 1.0) < 0.8)) {
        color = vec4(0.0);
        return;
    }

    vec2 pixel = 1.0 / R0;
    float centerDepth = depthAt(uv);
    float centerSize = circleOfConfusion(centerDepth);

    vec3 sum = texture(colorSource, uv).rgb;
    float count = 1.0;
    float radius = kRadiusScale;
    // (cos a, sin a) of the spiral's angle a, turned on by the golden angle
    // at each sample: the same directions for every pixel, without a sine
    // and a cosine per sample (they drift from the summed angle's by a few
    // parts in a million over the 198 samples).
    vec2 direction = vec2(1.0, 0.0);
    const vec2 turn = vec2(cos(kGoldenAngle), sin(kGoldenAngle));
    while (radius < kMaxRadius) {
        vec2 q = uv + direction * pixel * radius;
        vec3 sampleColor = texture(colorSource, q).rgb;
        float sampleDepth = depthAt(q);
        float sampleSize = circleOfConfusion(sampleDepth);
        if (sampleDepth > centerDepth)
            sampleSize = clamp(sampleSize, 0.0, centerSize * 2.0);
        float w = smoothstep(radius - 0.5, radius + 0.5, sampleSize);
        sum += mix(sum / count, sampleColor, w);
        count += 1.0;
        radius += kRadiusScale / radius;
        direction = vec2(direction.x * turn.x - direction.y * turn.y,
                         direction.y * turn.x + direction.x * turn.y);
    }
    color = vec4(sum / count, 1.0);
}
