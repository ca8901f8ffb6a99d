#version 430
// Bloom blur: inside the letterbox band, the average of the source at the
// pixel and at 63 points on a circle of radius 13.5 pixels. The weights sum
// to 1 + 63 x 0.95 = 60.85 rather than 64, so every pass also brightens by
// 64 / 60.85; the chain's repeated passes spread and lift the bloom
// together. Outside the band the result is zero.
//
// The build puts the FD and TrackData blocks in front of this text.

layout(binding = 0) uniform sampler2D source;

layout(location = 0) out vec4 color;

void main()
{
    vec2 uv = gl_FragCoord.xy / R0;
    if (!(abs(2.0 * uv.y - 1.0) < 0.8)) {
        color = vec4(0.0);
        return;
    }

    vec2 stride = 9.0 / R0;
    vec4 sum = texture(source, uv);
    float weight = 1.0;
    // 63 directions, at the angles 0 to about 6.2 in steps of 0.1: each
    // turned from the one before by 0.1, the same for every pixel, without a
    // sine and a cosine per sample.
    vec2 direction = vec2(1.0, 0.0);
    const vec2 turn = vec2(cos(0.1), sin(0.1));
    for (int i = 0; i < 63; ++i) {
        sum += texture(source, uv + direction * stride * 1.5);
        weight += 0.95;
        direction = vec2(direction.x * turn.x - direction.y * turn.y,
                         direction.y * turn.x + direction.x * turn.y);
    }
    color = sum / weight;
}
