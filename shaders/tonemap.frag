#version 420
// Tonemap and vignette, the last pass, into the window: the tone curve
// exp(-1 / (2.72 c + 0.15)), gamma 1 / 2.2, then a blend to black by
// d^viggnet, d being the distance from the centre divided by the aspect
// ratio. viggnet 0 blacks out the whole picture; larger values clear it
// from the centre outward. Every pixel is written, the bars included.
//
// The build puts the FD and TrackData blocks in front of this text.

uniform sampler2D colorSource;

layout(location = 0) out vec4 color;

void main()
{
    vec2 uv = gl_FragCoord.xy / R0;
    vec3 c = texture(colorSource, uv).rgb;

    // Light is never negative. A negative or undefined channel would put
    // the tone curve's pole (c = -0.055) or an infinity into the picture;
    // it counts as black.
    c = mix(vec3(0.0), c, greaterThanEqual(c, vec3(0.0)));

    c = exp(-1.0 / (2.72 * c + 0.15));
    c = pow(c, vec3(1.0 / 2.2));

    float d = length((uv - vec2(0.5)) / (R0.x / R0.y));
    // pow(0, y) is undefined for y <= 0. At the exact centre take the limit
    // of the neighbouring pixels: no darkening for a positive exponent,
    // black for viggnet 0 (and below), like every other pixel then.
    // Elsewhere a weight above 1 would only push the colour below black
    // (which the window shows as black anyway), and an infinite one, from a
    // negative exponent near the centre, would make 0 x infinity: the
    // weight stops at 1.
    float darkening = d > 0.0 ? min(pow(d, viggnet), 1.0) : (viggnet > 0.0 ? 0.0 : 1.0);
    c = mix(c, vec3(0.0), darkening);
    color = vec4(c, 1.0);
}
