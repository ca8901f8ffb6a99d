#version 430
// Composite: the scene colour (opaque) plus 0.8 times the bloom image.
//
// The build puts the FD and TrackData blocks in front of this text.

layout(binding = 0) uniform sampler2D sceneColor;
layout(binding = 1) uniform sampler2D bloom;

layout(location = 0) out vec4 color;

void main()
{
    vec2 uv = gl_FragCoord.xy / R0;
    vec4 scene = vec4(texture(sceneColor, uv).rgb, 1.0);
    color = scene + 0.8 * texture(bloom, uv);
}
